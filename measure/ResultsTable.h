#pragma once

#include "measure/Landmarks.h"
#include "measure/TextGrid.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestra {

// What a results row was measured from, kept beside its cells so that the
// landmarks outlive the picture they were placed on.
struct RowLandmarks {
    // P(1) to P(32) in picture pixels as they were at the analysis, (0, 0)
    // for one not placed; the auxiliary point 33 is always (0, 0).
    Landmarks points;
    int pictureWidth = 0;
    int pictureHeight = 0;
    double Dpi = 0.0;
    std::string FileName; // full path of the picture, UTF-8, as the analysis had it
};

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

    // Appends a complete row of ColumnCount cells as row ResultCount + 1,
    // with what it was measured from.
    void appendRow(std::vector<std::string> cells, RowLandmarks landmarks);

    // What row 1..ResultCount was measured from; throws std::out_of_range for
    // any other row.
    [[nodiscard]] const RowLandmarks& rowLandmarks(int row) const;

private:
    TextGrid grid_;
    std::vector<RowLandmarks> rowLandmarks_; // [0] belongs to row 1
    std::int32_t ResultCount_ = 0;
};

// The head of every column, "No." to "P(32).Y".
[[nodiscard]] const std::vector<std::string>& ResultHeads();

} // namespace kestra
