#pragma once

#include "app/Application.h"
#include "app/MainMenu.h"
#include "app/StringGrid.h"
#include "app/TForm1.h"
#include "app/TextGridModel.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QImage>
#include <QLocale>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

// Clicks through the widget's window, the way a real click arrives, so that
// Qt's implicit mouse grab comes into play.
inline void clickThroughWindow(QWidget* widget)
{
    QWidget* window = widget->window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                      widget->mapTo(window, widget->rect().center()));
}

// The main window, shown offscreen with its client area at the layout's size,
// its error box, beep and file dialogs replaced by recorders.
class FormFixture : public testing::Test {
protected:
    void SetUp() override
    {
        application()->setErrorBox([this](const QString& title, const QString& text) {
            boxes.push_back(title + "|" + text);
        });
        // Each test's window keeps its journal in a folder of its own.
        qputenv("XDG_STATE_HOME", folder.filePath(QStringLiteral("state")).toLocal8Bit());
        form = std::make_unique<TForm1>();
        form->setBeep([this] { ++beeps; });
        form->setDialogRunner([this](QFileDialog& dialog) {
            offered.push_back(dialog.selectedFiles().value(0));
            return choice;
        });
        form->show();
        resizeClientArea(1184, 863);
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    static kestra::Application* application() { return qobject_cast<kestra::Application*>(qApp); }

    // The layout's sizes are those of the client area below the menu bar.
    void resizeClientArea(int width, int height)
    {
        form->resize(width, height + form->MainMenu1->height());
    }

    // The text of a grid's cell, counted from 1 as the grids show them.
    [[nodiscard]] static QString cell(const kestra::StringGrid* grid, int row, int column)
    {
        const kestra::TextGridModel* model = grid->gridModel();
        return model->data(model->index(row - 1, column - 1), Qt::DisplayRole).toString();
    }
    [[nodiscard]] QString coordinate(int row, int column) const
    {
        return cell(form->StringGrid2, row, column);
    }
    [[nodiscard]] QString result(int row, int column) const
    {
        return cell(form->StringGrid1, row, column);
    }

    // An error box as recorded: the program's title, then the text.
    [[nodiscard]] static QString box(const QString& text)
    {
        return kestra::ErrorBoxTitle(QCoreApplication::applicationFilePath()) + "|" + text;
    }

    QString writePicture(const QString& name, const QImage& picture)
    {
        const QString path = folder.filePath(name);
        EXPECT_TRUE(picture.save(path, "BMP")) << path.toStdString();
        return path;
    }

    // Open ... with the file dialog answering path, or cancelled.
    void open(const std::optional<QString>& path)
    {
        choice = path;
        QTest::mouseClick(form->Button1, Qt::LeftButton);
    }

    void startRecording()
    {
        QTest::mouseClick(form->Button3, Qt::LeftButton); // reset -> idle
        QTest::mouseClick(form->Button3, Qt::LeftButton); // idle -> P(1)
    }

    QTemporaryDir folder;
    std::unique_ptr<TForm1> form;
    int beeps = 0;
    std::vector<QString> boxes;
    std::optional<QString> choice;
    std::vector<QString> offered;
};
