#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace kestra {

// The message as the error box shows it: a full stop is added when the
// message is not empty and its last character sorts after '.'.
[[nodiscard]] QString ErrorBoxText(const QString& message);

// The error box's title: the program file's name up to its first dot.
[[nodiscard]] QString ErrorBoxTitle(const QString& programFilePath);

// The user's text of an exception: what() of a standard exception, empty for
// anything else.
[[nodiscard]] QString ErrorMessage(const std::exception_ptr& error);

// The application object with the program's one error box. An exception that
// escapes a handler ends that handler only: it is shown in a modal box once
// the event in progress has been delivered, and the event loop goes on.
class Application : public QApplication {
    Q_OBJECT
public:
    // Shows the box; replaceable so that tests need not answer a modal box.
    using ErrorBox = std::function<void(const QString& title, const QString& text)>;

    Application(int& argc, char** argv);

    void setErrorBox(ErrorBox box);

    // Takes an exception caught at the edge of a handler. Shown when the
    // outermost event being delivered has been, or at once outside any event.
    void reportError(std::exception_ptr error);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void showError(const std::exception_ptr& error);

    ErrorBox errorBox_;
    std::exception_ptr pending_;
    int depth_ = 0;
};

// Hands an exception to the application's error box; with an application
// object of another kind, shows the box at once.
void ReportError(std::exception_ptr error);

// Runs a handler so that nothing it throws unwinds through Qt's own frames:
// Qt's widget libraries are built without exception support, and unwinding
// through them skips their clean-up (the event being delivered leaks).
template <typename Handler> void RunHandler(Handler&& handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ReportError(std::current_exception());
    }
}

} // namespace kestra
