#pragma once

#include <string>
#include <vector>

namespace kestra {

// `kestra measure`: the results table of scans measured from their landmarks
// in a TPS file, as "Save ..." writes it, to a file or standard output.
// arguments are those after the word "measure". Says what it leaves out on
// standard error, a line for each, and returns the exit status: 0 when every
// specimen and scan was measured, 1 when anything was left out, 2 for a usage
// error.
[[nodiscard]] int RunMeasureCommand(const std::vector<std::string>& arguments);

// What `kestra measure --help` prints.
[[nodiscard]] std::string MeasureHelp();

} // namespace kestra
