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

// A results row: its cells, the number first, and what it was measured from.
struct TableRow {
    std::vector<std::string> cells;
    RowLandmarks measuredFrom;
};

// The results table: 119 columns, row 0 the heads, then one row an analysis
// in the order they were made. Each row keeps the number it was given, also
// when rows before it are taken out. Without rows, row 1 is there, empty.
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

    // Rows in the table; also the row the latest analysis wrote, until a row
    // is taken out.
    [[nodiscard]] std::int32_t ResultCount() const { return ResultCount_; }

    // The number the next analysis gives its row: one more than the highest
    // any row has had, so that numbers are never given twice.
    [[nodiscard]] std::int32_t NextNumber() const { return lastNumber_ + 1; }

    // Appends a complete row of ColumnCount cells as row ResultCount + 1,
    // with what it was measured from, and counts its number as given.
    void appendRow(std::vector<std::string> cells, RowLandmarks landmarks);

    // What row 1..ResultCount was measured from; throws std::out_of_range for
    // any other row.
    [[nodiscard]] const RowLandmarks& rowLandmarks(int row) const;

    // Row 1..ResultCount, taken out or copied; the rows below move up.
    // Throws std::out_of_range for any other row.
    [[nodiscard]] TableRow takeRow(int row);
    [[nodiscard]] TableRow copyRow(int row) const;

    // Puts a complete row back in at 1..ResultCount + 1, or in place of row
    // 1..ResultCount. Neither counts a number.
    void insertRow(int row, TableRow content);
    void replaceRow(int row, TableRow content);

    // Numbers go on after this one, as in the table rows were restored from.
    void continueNumberingAfter(std::int32_t number);

private:
    void checkRow(int row) const;
    static void checkCells(const std::vector<std::string>& cells);
    void setCells(int row, std::vector<std::string> cells);

    TextGrid grid_;
    std::vector<RowLandmarks> rowLandmarks_; // [0] belongs to row 1
    std::int32_t ResultCount_ = 0;
    std::int32_t lastNumber_ = 0;
};

// The head of every column, "No." to "P(32).Y".
[[nodiscard]] const std::vector<std::string>& ResultHeads();

} // namespace kestra
