#pragma once

#include <string>
#include <vector>

namespace kestra {

// A rectangular grid of text cells, addressed as Cells[column, row] with
// row 0 holding the heads.
class TextGrid {
public:
    TextGrid(int columnCount, int rowCount);

    [[nodiscard]] int ColCount() const { return columnCount_; }
    [[nodiscard]] int RowCount() const { return rowCount_; }

    // Empty text for a cell never written. Throws std::out_of_range outside
    // the grid.
    [[nodiscard]] const std::string& Cell(int column, int row) const;
    void SetCell(int column, int row, std::string text);

    // Grows the grid to rowCount rows; a smaller count is ignored.
    void GrowTo(int rowCount);

    // Takes row 1..RowCount - 1 out, or puts an empty one in at row
    // 1..RowCount; the rows below move. Throws std::out_of_range for another row.
    void RemoveRow(int row);
    void InsertRow(int row);

private:
    [[nodiscard]] std::size_t indexOf(int column, int row) const;

    int columnCount_;
    int rowCount_;
    std::vector<std::string> cells_;
};

} // namespace kestra
