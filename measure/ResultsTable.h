#pragma once

#include "measure/TextGrid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

// The results table: 119 columns, row 0 the heads, row r the r-th analysis
// since start-up. It starts with an empty row 1 and only ever grows.
class ResultsTable {
public:
    static constexpr int ColumnCount = 119;

    ResultsTable();

    [[nodiscard]] int ColCount() const { return grid_.ColCount(); }
    [[nodiscard]] int RowCount() const { return grid_.RowCount(); }
    [[nodiscard]] const std::string& Cells(int column, int row) const
    {
        return grid_.Cell(column, row);
    }
    [[nodiscard]] const TextGrid& grid() const { return grid_; }

    // Rows appended so far; also the row the latest analysis wrote.
    [[nodiscard]] std::int32_t ResultCount() const { return ResultCount_; }

    // Appends a complete row of ColumnCount cells as row ResultCount + 1.
    void appendRow(std::vector<std::string> cells);

private:
    TextGrid grid_;
    std::int32_t ResultCount_ = 0;
};

// The head of every column, "No." to "P(32).Y".
[[nodiscard]] const std::vector<std::string>& ResultHeads();

} // namespace kestra
