#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace kestra {

// Runs what the command line asks for when that is a command (`kestra
// measure`, `kestra suggest`), the help or the version, and gives the exit status. Nothing
// when the window is to start. Needs no display and no application object.
[[nodiscard]] std::optional<int> RunCommand(int argc, char** argv);

// What the window is asked to do at start, read from the arguments Qt leaves
// after taking its own options: open one scan, or none. An exit status when
// the arguments are not for the window, said on standard error.
[[nodiscard]] std::variant<std::optional<QString>, int> WindowScan(const QStringList& arguments);

// What `kestra --help` prints.
[[nodiscard]] QString ProgramHelp();

} // namespace kestra
