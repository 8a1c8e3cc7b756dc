#include "app/command/CommandLine.h"

#include "app/AboutBox.h"
#include "app/command/CommandOptions.h"
#include "app/command/MeasureCommand.h"
#include "app/command/SuggestCommand.h"

#include <QFileInfo>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kestra {
namespace {

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

QString ProgramHelp()
{
    return QStringLiteral(R"(Usage: kestra [SCAN]
       kestra measure --landmarks FILE.tps [OPTION...] SCAN...
       kestra suggest [--dpi N] [--mirror] SCAN...

Measures grapevine leaves from scanned pictures (BMP or JPEG): the leaf
surface, the lengths and angles of the OIV descriptors, further distances and
the landmark positions, from 32 landmarks placed on each scan.

Without a command, starts the window; a SCAN given is opened in it as
"Open ..." opens it.

Commands:
  measure    measure scans from their landmarks in a TPS file, without the
             window; see 'kestra measure --help'
  suggest    suggest the landmarks of scans and write them as TPS, which
             'kestra measure --landmarks -' reads; see 'kestra suggest --help'

Options:
  -h, --help     show this help and exit
      --version  show the version and exit

The window also takes Qt's own options, such as -platform and -style.
)");
}

std::optional<int> RunCommand(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    if (!arguments.empty() && arguments.front() == "measure")
        return RunMeasureCommand({arguments.begin() + 1, arguments.end()});
    if (!arguments.empty() && arguments.front() == "suggest")
        return RunSuggestCommand({arguments.begin() + 1, arguments.end()});
    for (const std::string& argument : arguments) {
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help")
            return WriteToStandardOutput(ProgramHelp().toLocal8Bit().toStdString());
        if (argument == "--version")
            return WriteToStandardOutput(std::string(ProgramCaption) + "\n");
    }
    return std::nullopt;
}

std::variant<std::optional<QString>, int> WindowScan(const QStringList& arguments)
{
    QStringList scans;
    bool optionsEnded = false;
    for (const QString& argument : arguments.mid(1)) {
        if (!optionsEnded && argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(u'-') && argument != u"-") {
            print(stderr, QStringLiteral("kestra: unknown option '%1'\nTry 'kestra --help' for "
                                         "more.\n")
                              .arg(argument));
            return UsageStatus;
        }
        scans.append(argument);
    }
    if (scans.size() > 1) {
        print(stderr, QStringLiteral("kestra: the window opens one scan at a time; to measure "
                                     "several, see 'kestra measure --help'\n"));
        return UsageStatus;
    }
    if (scans.isEmpty())
        return std::optional<QString>();
    // A word that names no file and could not be a scan's name is a command
    // mistyped, better said here than by the window's box.
    const QString& scan = scans.front();
    if (!QFileInfo::exists(scan) && !scan.contains(u'.') && !scan.contains(u'/')) {
        print(stderr, QStringLiteral("kestra: '%1' is neither a command nor a scan\nTry 'kestra "
                                     "--help' for more.\n")
                          .arg(scan));
        return UsageStatus;
    }
    // As the open dialog gives it, so that the title shows where the scan is.
    return std::optional<QString>(QFileInfo(scan).absoluteFilePath());
}

} // namespace kestra
