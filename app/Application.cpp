#include "app/Application.h"

#include "app/WindowStyle.h"

#include <QFileInfo>
#include <QMessageBox>
#include <utility>

namespace kestra {

namespace {

void ShowModalBox(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

} // namespace

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) {
        return message + QLatin1Char('.');
    }
    return message;
}

QString ErrorBoxTitle(const QString& programFilePath)
{
    return QFileInfo(programFilePath).fileName().section(QLatin1Char('.'), 0, 0);
}

QString ErrorMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return QString::fromUtf8(exception.what());
    } catch (...) {
        return {};
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv), errorBox_(ShowModalBox)
{
    setStyle(new WindowStyle);
}

void Application::setErrorBox(ErrorBox box)
{
    errorBox_ = std::move(box);
}

void Application::reportError(std::exception_ptr error)
{
    if (depth_ > 0) {
        // The first error of an event is the one the user needs to see.
        if (!pending_) {
            pending_ = std::move(error);
        }
        return;
    }
    showError(error);
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    ++depth_;
    bool handled = false;
    try {
        handled = QApplication::notify(receiver, event);
    } catch (...) {
        if (!pending_) {
            pending_ = std::current_exception();
        }
    }
    --depth_;
    if (depth_ == 0 && pending_) {
        showError(std::exchange(pending_, nullptr));
    }
    return handled;
}

void Application::showError(const std::exception_ptr& error)
{
    errorBox_(ErrorBoxTitle(applicationFilePath()), ErrorBoxText(ErrorMessage(error)));
}

void ReportError(std::exception_ptr error)
{
    if (auto* application = qobject_cast<Application*>(QCoreApplication::instance())) {
        application->reportError(std::move(error));
        return;
    }
    ShowModalBox(ErrorBoxTitle(QCoreApplication::applicationFilePath()),
                 ErrorBoxText(ErrorMessage(error)));
}

} // namespace kestra
