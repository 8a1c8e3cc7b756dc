// Start-up to the first painted window, as processes: this program starts
// itself again as a child that shows KESTRA's main window (TForm1 with the
// program's Application) or a minimal window with a bare QApplication, and
// ends as soon as that window has painted. All children are the same binary,
// so they load the same libraries and differ only in the window; processes,
// because start-up is paid once a process (plugins, fonts, style) and would be
// hidden by repeating it in one. Two minimal windows of the main window's
// size: a bare QWidget, which paints no text and so never loads a font, and
// a QLabel with one word, which pays for fonts as every window with words
// does. Each iteration starts all three. Goal: within 1.3 times the minimal
// window (ratio_bare, ratio_label).
//
// Measured on two platforms: offscreen, which draws into memory and so shows
// the program's own cost most plainly, and xcb, the X11 one users run, when a
// display is open (scripts/bench opens one under Xvfb).
#include "app/Application.h"
#include "app/TForm1.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QMetaObject>
#include <QWidget>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

const char* const KestraChild = "--child=kestra";
const char* const BareChild = "--child=bare";
const char* const LabelChild = "--child=label";

// Ends the process once the window's first paint has been delivered, with
// every child widget painted in the same pass; tearing down is not start-up.
class EndAtFirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            QMetaObject::invokeMethod(
                qApp, [] { std::_Exit(0); }, Qt::QueuedConnection);
        return false;
    }
};

int showUntilPainted(QWidget& window)
{
    EndAtFirstPaint end;
    window.installEventFilter(&end);
    window.show();
    return QApplication::exec();
}

int runChild(const char* which, int argc, char** argv)
{
    if (std::strcmp(which, KestraChild) == 0) {
        kestra::Application application(argc, argv);
        TForm1 window;
        return showUntilPainted(window);
    }
    QApplication application(argc, argv);
    if (std::strcmp(which, LabelChild) == 0) {
        QLabel window(QStringLiteral("KESTRA"));
        window.resize(1184, 863); // the main window's size
        return showUntilPainted(window);
    }
    QWidget window;
    window.resize(1184, 863);
    return showUntilPainted(window);
}

double secondsToStart(const char* which)
{
    char* arguments[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(which), nullptr};
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, arguments, environ) != 0)
        return 0;
    int status = 0;
    waitpid(child, &status, 0);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void StartUp(benchmark::State& state, const char* platform)
{
    // The children take the platform from the environment they inherit.
    setenv("QT_QPA_PLATFORM", platform, 1);
    double kestra = 0;
    double bare = 0;
    double label = 0;
    for (auto _ : state) {
        bare += secondsToStart(BareChild);
        label += secondsToStart(LabelChild);
        const double seconds = secondsToStart(KestraChild);
        kestra += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = bare / iterations * 1e3;
    state.counters["label_ms"] = label / iterations * 1e3;
    state.counters["ratio_bare"] = kestra / bare;
    state.counters["ratio_label"] = kestra / label;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strncmp(argv[1], "--child=", 8) == 0)
        return runChild(argv[1], argc, argv);
    benchmark::RegisterBenchmark("StartUp/offscreen", StartUp, "offscreen")
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    if (getenv("DISPLAY") != nullptr) {
        benchmark::RegisterBenchmark("StartUp/xcb", StartUp, "xcb")
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
