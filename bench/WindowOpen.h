#pragma once

// The main window that the open benchmarks open scans through, as Open ...
// does: TForm1::openPicture and the events it leaves behind (the view's
// paint), offscreen unless a platform is set. Between two timed opens the
// window lets go of its scan by opening a one-pixel picture, so that no open
// pays for freeing the one before.
#include "app/Application.h"
#include "app/TForm1.h"

#include <QCoreApplication>
#include <QImage>
#include <QTemporaryDir>
#include <memory>

namespace bench {

class WindowOpen {
public:
    WindowOpen()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // The window's results journal stays out of the user's.
        qputenv("XDG_STATE_HOME", folder_.filePath(QStringLiteral("state")).toLocal8Bit());
        application_ = std::make_unique<kestra::Application>(argc_, argv_);
        form_ = std::make_unique<TForm1>();
        form_->resize(1184, 900);
        form_->show();
        QCoreApplication::processEvents();
        QImage pixel(1, 1, QImage::Format_RGB32);
        pixel.fill(Qt::white);
        pixel.save(pixelPath());
    }

    void open(const QString& path)
    {
        form_->openPicture(path);
        QCoreApplication::processEvents();
    }

    void letGo() { open(pixelPath()); }

    static WindowOpen& get()
    {
        static WindowOpen window;
        return window;
    }

private:
    [[nodiscard]] QString pixelPath() const
    {
        return folder_.filePath(QStringLiteral("pixel.bmp"));
    }

    QTemporaryDir folder_;
    int argc_ = 1;
    char name_[6] = "bench";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<kestra::Application> application_;
    std::unique_ptr<TForm1> form_;
};

} // namespace bench
