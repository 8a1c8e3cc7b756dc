#pragma once

#include "measure/ResultsTable.h"

#include <string>

namespace kestra {

// The results table as the results file holds it: every cell followed by one
// TAB, CR LF after each row, the heads row first, the cell bytes unchanged.
[[nodiscard]] std::string ResultsText(const ResultsTable& table);

// One line of ResultsText: row 0 is the heads.
[[nodiscard]] std::string ResultsRowText(const ResultsTable& table, int row);

// Writes ResultsText to path through ReplaceFile (FileReplace.h): only a
// regular file is written, and an existing one keeps its contents on any
// failure. Throws Error naming the path and the reason.
void ExportResults(const ResultsTable& table, const std::string& path);

} // namespace kestra
