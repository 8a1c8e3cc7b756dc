#include "app/results/ResultsModel.h"

#include "measure/DecimalText.h"
#include "measure/Error.h"

#include <algorithm>
#include <utility>

namespace kestra {

ResultsModel::ResultsModel(ResultsTable& table, std::string journalFolder, QObject* parent)
    : QObject(parent), table_(table), folder_(std::move(journalFolder))
{}

ResultsModel::~ResultsModel()
{
    if (journal_ && unsaved_.empty())
        journal_->remove();
}

void ResultsModel::record(const std::string& records)
{
    if (!journalProblem_.isEmpty())
        return;
    try {
        // Made at the first change, so that a window that measures nothing
        // writes nothing.
        if (!journal_)
            journal_ = std::make_unique<JournalFile>(folder_);
        journal_->write(records);
    } catch (const Error& error) {
        // Once broken, the file may not hold every change: no more is added
        // to it, and it is not removed, since it may hold what the table lost.
        journalProblem_ = QString::fromStdString(error.what());
        emit journalFailed(journalProblem_);
    }
}

std::optional<int> ResultsModel::rowNumbered(std::int32_t number) const
{
    for (int row = 1; row <= table_.ResultCount(); ++row)
        if (table_.Cells(0, row) == IntegerText(number))
            return row;
    return std::nullopt;
}

void ResultsModel::add(TableRow row)
{
    const std::optional<int> replaced = replacing_ ? rowNumbered(*replacing_) : std::nullopt;
    if (replaced) {
        row.cells.at(0) = IntegerText(*replacing_);
        unsaved_.insert(*replacing_);
        record(RowRecord(row));
        table_.replaceRow(*replaced, std::move(row));
        cancelReplacing();
        emit changed();
        return;
    }
    const std::int32_t number = table_.NextNumber();
    row.cells.at(0) = IntegerText(number);
    record(RowRecord(row));
    const bool firstRow = table_.ResultCount() == 0;
    table_.appendRow(std::move(row.cells), std::move(row.measuredFrom));
    unsaved_.insert(number);
    // The first row takes the place of the empty row the table starts with.
    if (!firstRow)
        emit rowsInserted(table_.ResultCount(), 1);
    emit changed();
}

void ResultsModel::remove(std::vector<int> rows)
{
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [this](int row) { return row < 1 || row > table_.ResultCount(); });
    if (rows.empty())
        return;
    std::vector<Deleted> deleted;
    std::vector<std::int32_t> numbers;
    for (const int row : rows) {
        TableRow content = table_.copyRow(row);
        const std::int32_t number = RowNumber(content);
        numbers.push_back(number);
        deleted.push_back({row, std::move(content), unsaved_.count(number) > 0});
    }
    record(DeleteRecord(numbers));
    // From the bottom up, so that the rows still to go keep their places.
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        const bool lastRow = table_.ResultCount() == 1;
        (void)table_.takeRow(*row);
        if (!lastRow)
            emit rowsRemoved(*row, 1);
    }
    for (const std::int32_t number : numbers) {
        unsaved_.erase(number);
        if (replacing_ == number)
            cancelReplacing();
    }
    deletions_.push_back(std::move(deleted));
    emit changed();
}

void ResultsModel::undo()
{
    if (deletions_.empty())
        return;
    std::vector<Deleted> deleted = std::move(deletions_.back());
    deletions_.pop_back();
    std::string records;
    std::vector<std::int32_t> saved;
    for (const Deleted& row : deleted) {
        records += RowRecord(row.content);
        if (!row.unsaved)
            saved.push_back(RowNumber(row.content));
    }
    if (!saved.empty())
        records += SavedRecord(saved);
    record(records);
    for (Deleted& row : deleted) {
        const std::int32_t number = RowNumber(row.content);
        const bool intoEmpty = table_.ResultCount() == 0;
        table_.insertRow(row.row, std::move(row.content));
        if (row.unsaved)
            unsaved_.insert(number);
        if (!intoEmpty)
            emit rowsInserted(row.row, 1);
    }
    emit changed();
}

void ResultsModel::markSaved()
{
    std::vector<std::int32_t> numbers;
    for (int row = 1; row <= table_.ResultCount(); ++row)
        numbers.push_back(RowNumber(table_.copyRow(row)));
    record(SavedRecord(numbers));
    unsaved_.clear();
}

void ResultsModel::startReplacing(int row)
{
    replacing_ = RowNumber(table_.copyRow(row));
    emit replacingChanged();
}

void ResultsModel::cancelReplacing()
{
    if (!replacing_)
        return;
    replacing_.reset();
    emit replacingChanged();
}

std::optional<int> ResultsModel::replacingRow() const
{
    return replacing_ ? rowNumbered(*replacing_) : std::nullopt;
}

void ResultsModel::restore(const JournalContents& contents)
{
    std::string records;
    std::vector<std::int32_t> saved;
    for (const JournalRow& row : contents.rows) {
        records += RowRecord(row.row);
        if (row.saved)
            saved.push_back(RowNumber(row.row));
    }
    if (!saved.empty())
        records += SavedRecord(saved);
    records += NumberingRecord(contents.lastNumber);
    record(records);

    const int before = table_.ResultCount();
    for (const JournalRow& row : contents.rows) {
        TableRow copy = row.row;
        table_.appendRow(std::move(copy.cells), std::move(copy.measuredFrom));
        if (!row.saved)
            unsaved_.insert(RowNumber(row.row));
    }
    table_.continueNumberingAfter(contents.lastNumber);
    const int added = table_.ResultCount() - before - (before == 0 ? 1 : 0);
    if (added > 0)
        emit rowsInserted(table_.ResultCount() - added + 1, added);
    emit changed();
}

} // namespace kestra
