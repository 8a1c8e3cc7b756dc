#include "measure/TextGrid.h"

#include <stdexcept>

namespace kestra {

TextGrid::TextGrid(int columnCount, int rowCount)
    : columnCount_(columnCount), rowCount_(rowCount),
      cells_(static_cast<std::size_t>(columnCount) * static_cast<std::size_t>(rowCount))
{}

std::size_t TextGrid::indexOf(int column, int row) const
{
    if (column < 0 || column >= columnCount_ || row < 0 || row >= rowCount_)
        throw std::out_of_range("cell outside the grid");
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columnCount_) +
           static_cast<std::size_t>(column);
}

const std::string& TextGrid::Cell(int column, int row) const
{
    return cells_[indexOf(column, row)];
}

void TextGrid::SetCell(int column, int row, std::string text)
{
    cells_[indexOf(column, row)] = std::move(text);
}

void TextGrid::GrowTo(int rowCount)
{
    if (rowCount <= rowCount_)
        return;
    cells_.resize(static_cast<std::size_t>(rowCount) * static_cast<std::size_t>(columnCount_));
    rowCount_ = rowCount;
}

void TextGrid::RemoveRow(int row)
{
    if (row < 1 || row >= rowCount_)
        throw std::out_of_range("no row to remove");
    const auto first = cells_.begin() + static_cast<std::ptrdiff_t>(indexOf(0, row));
    cells_.erase(first, first + columnCount_);
    --rowCount_;
}

void TextGrid::InsertRow(int row)
{
    if (row < 1 || row > rowCount_)
        throw std::out_of_range("no place to insert a row");
    const auto at = cells_.begin() + static_cast<std::ptrdiff_t>(row) * columnCount_;
    cells_.insert(at, static_cast<std::size_t>(columnCount_), std::string());
    ++rowCount_;
}

} // namespace kestra
