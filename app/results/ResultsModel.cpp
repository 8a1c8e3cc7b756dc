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
    try {
        if (journal_ && journalProblem_.isEmpty()) {
            journal_->write(Grouped(records));
            return;
        }
        // Made at the first change, so that a window that measures nothing
        // writes nothing; made anew, whole, once a failed one can be replaced.
        auto fresh = std::make_unique<JournalFile>(folder_);
        try {
            fresh->write(Grouped(tableRecords() + records));
        } catch (const Error&) {
            fresh->remove();
            throw;
        }
        if (journal_)
            journal_->remove();
        journal_ = std::move(fresh);
        if (!journalProblem_.isEmpty()) {
            journalProblem_.clear();
            emit journalFailed(journalProblem_);
        }
    } catch (const Error& error) {
        // The failed journal stays as it is, with what it held: a crash
        // before it is replaced still finds those rows.
        journalProblem_ = QString::fromStdString(error.what());
        emit journalFailed(journalProblem_);
    }
}

std::string ResultsModel::tableRecords() const
{
    std::string records;
    std::vector<std::int32_t> saved;
    for (int row = 1; row <= table_.ResultCount(); ++row) {
        const TableRow content = table_.copyRow(row);
        records += RowRecord(content);
        if (unsaved_.count(RowNumber(content)) == 0)
            saved.push_back(RowNumber(content));
    }
    if (!saved.empty())
        records += SavedRecord(saved);
    return records + NumberingRecord(table_.NextNumber() - 1);
}

void ResultsModel::takeRow(int row)
{
    // The last row leaves the empty row 1 behind: no row goes.
    const bool rowGoes = table_.ResultCount() > 1;
    if (rowGoes)
        emit rowsAboutToBeRemoved(row, 1);
    (void)table_.takeRow(row);
    if (rowGoes)
        emit rowsRemoved();
}

void ResultsModel::insertRow(int row, TableRow content)
{
    // The first row takes the place of the empty row 1.
    const bool rowComes = table_.ResultCount() > 0;
    if (rowComes)
        emit rowsAboutToBeInserted(row, 1);
    table_.insertRow(row, std::move(content));
    if (rowComes)
        emit rowsInserted();
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
    insertRow(table_.ResultCount() + 1, std::move(row));
    table_.continueNumberingAfter(number);
    unsaved_.insert(number);
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
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        takeRow(*row);
    for (const std::int32_t number : numbers) {
        unsaved_.erase(number);
        if (replacing_ == number)
            cancelReplacing();
    }
    deletions_.push_back({std::move(deleted), saves_});
    emit changed();
}

void ResultsModel::undo()
{
    if (deletions_.empty())
        return;
    Deletion deletion = std::move(deletions_.back());
    deletions_.pop_back();
    // A save since the deletion wrote a table without these rows.
    const bool savedSince = deletion.savesBefore != saves_;
    std::string records;
    std::vector<std::int32_t> saved;
    for (Deleted& row : deletion.rows) {
        row.unsaved = row.unsaved || savedSince;
        records += RowRecord(row.content);
        if (!row.unsaved)
            saved.push_back(RowNumber(row.content));
    }
    if (!saved.empty())
        records += SavedRecord(saved);
    record(records);
    for (Deleted& row : deletion.rows) {
        const std::int32_t number = RowNumber(row.content);
        insertRow(row.row, std::move(row.content));
        if (row.unsaved)
            unsaved_.insert(number);
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
    ++saves_;
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
    record(records + NumberingRecord(contents.lastNumber));

    for (const JournalRow& row : contents.rows) {
        insertRow(table_.ResultCount() + 1, row.row);
        if (!row.saved)
            unsaved_.insert(RowNumber(row.row));
    }
    table_.continueNumberingAfter(contents.lastNumber);
    emit changed();
}

} // namespace kestra
