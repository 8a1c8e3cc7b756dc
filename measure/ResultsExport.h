#pragma once

#include "measure/ResultsTable.h"

#include <string>

namespace kestra {

// The results table as the results file holds it: every cell followed by one
// TAB, CR LF after each row, the heads row first, the cell bytes unchanged.
[[nodiscard]] std::string ResultsText(const ResultsTable& table);

// Writes ResultsText to path. A regular file is written beside the target and
// renamed over it only once complete, so an existing file keeps its contents
// on any failure. Throws Error naming the path and the system's reason.
void ExportResults(const ResultsTable& table, const std::string& path);

} // namespace kestra
