#pragma once

#include <string>
#include <vector>

namespace kestra {

// `kestra suggest`: the suggested landmarks of each scan, as TPS on standard
// output, a specimen a scan in the order given. arguments are those after the
// word "suggest". Says what it leaves out on standard error, a line for each,
// and returns the exit status: 0 when every scan was read, 1 when any was
// left out, 2 for a usage error.
[[nodiscard]] int RunSuggestCommand(const std::vector<std::string>& arguments);

// What `kestra suggest --help` prints.
[[nodiscard]] std::string SuggestHelp();

} // namespace kestra
