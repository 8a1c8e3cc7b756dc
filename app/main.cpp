#include "app/Application.h"
#include "app/TForm1.h"

#include <exception>

int main(int argc, char** argv)
{
    kestra::Application application(argc, argv);
    try {
        TForm1 Form1;
        Form1.show();
        QApplication::exec();
    } catch (...) {
        // What escapes start-up is shown like any handler's error; the
        // program still ends normally.
        application.reportError(std::current_exception());
    }
    return 0;
}
