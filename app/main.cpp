#include "app/Application.h"
#include "app/TForm1.h"
#include "app/command/CommandLine.h"
#include "app/results/ResultsPanel.h"

#include <QMetaObject>
#include <exception>
#include <optional>
#include <variant>

int main(int argc, char** argv)
{
    // The commands, the help and the version need no display.
    if (const std::optional<int> status = kestra::RunCommand(argc, argv))
        return *status;

    kestra::Application application(argc, argv);
    const auto scan = kestra::WindowScan(QCoreApplication::arguments());
    if (const int* status = std::get_if<int>(&scan))
        return *status;
    try {
        TForm1 Form1;
        Form1.show();
        // Once the window shows, so that the boxes of both stand over it.
        QMetaObject::invokeMethod(
            &Form1,
            [&Form1, path = std::get<std::optional<QString>>(scan)] {
                kestra::RunHandler([&] { Form1.resultsPanel().offerRestore(); });
                if (path)
                    kestra::RunHandler([&] { Form1.openPicture(*path); });
            },
            Qt::QueuedConnection);
        QApplication::exec();
    } catch (...) {
        // What escapes start-up is shown like any handler's error; the
        // program still ends normally.
        application.reportError(std::current_exception());
    }
    return 0;
}
