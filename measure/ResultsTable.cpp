#include "measure/ResultsTable.h"

#include "measure/DecimalText.h"
#include "measure/Landmarks.h"
#include "measure/Measurements.h"

#include <algorithm>
#include <stdexcept>

namespace kestra {

const std::vector<std::string>& ResultHeads()
{
    static const std::vector<std::string> heads = [] {
        std::vector<std::string> list = {"No.", "Name", "Surface, cm2"};
        for (const Measurement& measurement : Measurements)
            list.emplace_back(measurement.head);
        for (int n = 2; n <= LandmarkCount; ++n) {
            list.push_back("P(" + IntegerText(n) + ").X");
            list.push_back("P(" + IntegerText(n) + ").Y");
        }
        return list;
    }();
    return heads;
}

ResultsTable::ResultsTable() : grid_(ColumnCount, 2)
{
    const std::vector<std::string>& heads = ResultHeads();
    for (int column = 0; column < ColumnCount; ++column)
        grid_.SetCell(column, 0, heads[static_cast<std::size_t>(column)]);
}

void ResultsTable::checkCells(const std::vector<std::string>& cells)
{
    if (cells.size() != static_cast<std::size_t>(ColumnCount))
        throw std::invalid_argument("a results row holds every column");
}

void ResultsTable::checkRow(int row) const
{
    if (row < 1 || row > ResultCount_)
        throw std::out_of_range("no results row " + std::to_string(row));
}

void ResultsTable::setCells(int row, std::vector<std::string> cells)
{
    for (int column = 0; column < ColumnCount; ++column)
        grid_.SetCell(column, row, std::move(cells[static_cast<std::size_t>(column)]));
}

void ResultsTable::appendRow(std::vector<std::string> cells, RowLandmarks landmarks)
{
    checkCells(cells);
    const std::int32_t row = ResultCount_ + 1;
    // Room first, so that a failure leaves the cells and the landmarks in step;
    // by doubling, so that appending stays cheap over a long session.
    if (rowLandmarks_.size() == rowLandmarks_.capacity())
        rowLandmarks_.reserve(std::max<std::size_t>(16, 2 * rowLandmarks_.capacity()));
    grid_.GrowTo(row + 1);
    setCells(row, std::move(cells));
    landmarks.points.PointX[AuxiliaryPoint] = 0.0;
    landmarks.points.PointY[AuxiliaryPoint] = 0.0;
    rowLandmarks_.push_back(std::move(landmarks));
    ResultCount_ = row;
    ++lastNumber_;
}

const RowLandmarks& ResultsTable::rowLandmarks(int row) const
{
    checkRow(row);
    return rowLandmarks_[static_cast<std::size_t>(row - 1)];
}

TableRow ResultsTable::copyRow(int row) const
{
    checkRow(row);
    TableRow copy{{}, rowLandmarks_[static_cast<std::size_t>(row - 1)]};
    for (int column = 0; column < ColumnCount; ++column)
        copy.cells.push_back(grid_.Cell(column, row));
    return copy;
}

TableRow ResultsTable::takeRow(int row)
{
    TableRow taken = copyRow(row);
    // The last row leaves the empty row 1 behind, as at start-up.
    if (ResultCount_ == 1)
        setCells(row, std::vector<std::string>(ColumnCount));
    else
        grid_.RemoveRow(row);
    rowLandmarks_.erase(rowLandmarks_.begin() + (row - 1));
    --ResultCount_;
    return taken;
}

void ResultsTable::insertRow(int row, TableRow content)
{
    checkCells(content.cells);
    if (row < 1 || row > ResultCount_ + 1)
        throw std::out_of_range("no place for results row " + std::to_string(row));
    rowLandmarks_.insert(rowLandmarks_.begin() + (row - 1), std::move(content.measuredFrom));
    if (ResultCount_ > 0)
        grid_.InsertRow(row);
    setCells(row, std::move(content.cells));
    ++ResultCount_;
}

void ResultsTable::replaceRow(int row, TableRow content)
{
    checkRow(row);
    checkCells(content.cells);
    setCells(row, std::move(content.cells));
    rowLandmarks_[static_cast<std::size_t>(row - 1)] = std::move(content.measuredFrom);
}

void ResultsTable::continueNumberingAfter(std::int32_t number)
{
    lastNumber_ = std::max(lastNumber_, number);
}

} // namespace kestra
