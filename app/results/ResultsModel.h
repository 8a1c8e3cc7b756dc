#pragma once

#include "app/results/ResultsJournal.h"
#include "measure/ResultsTable.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kestra {

// The results table as the window works on it: rows added, taken out and
// brought back, re-measured in place, saved, and every change kept in a
// journal on disk before the window shows it. A journal that cannot be
// written changes nothing else: the table goes on, unprotected, and says so.
class ResultsModel : public QObject {
    Q_OBJECT
public:
    ResultsModel(ResultsTable& table, std::string journalFolder, QObject* parent = nullptr);
    // A window that ends with every row saved leaves no journal behind.
    ~ResultsModel() override;

    [[nodiscard]] const ResultsTable& table() const { return table_; }

    // A new analysis's row: appended under the next number, or put in place
    // of the row being re-measured under that row's number.
    void add(TableRow row);

    // Takes rows (1..ResultCount, in any order) out as one deletion.
    void remove(std::vector<int> rows);
    [[nodiscard]] bool canUndo() const { return !deletions_.empty(); }
    // Brings back the rows of the last deletion where they were.
    void undo();

    // "Save ..." has written the table as it stands.
    void markSaved();
    [[nodiscard]] int unsavedCount() const { return static_cast<int>(unsaved_.size()); }

    // The next add replaces this row (1..ResultCount), until cancelled.
    void startReplacing(int row);
    void cancelReplacing();
    // The row the next add replaces, if any.
    [[nodiscard]] std::optional<int> replacingRow() const;

    // Appends the rows of a journal whose window is gone, numbers, landmarks
    // and saved marks as they were; numbering goes on after its last number.
    void restore(const JournalContents& contents);

    // Why the results are not protected; empty while the journal is written.
    [[nodiscard]] const QString& journalProblem() const { return journalProblem_; }
    [[nodiscard]] const std::string& journalFolder() const { return folder_; }

signals:
    // Table rows first..first + count - 1 are about to be taken out or put
    // in, and then have been; a view must hear of both. The empty row 1 of a
    // table without rows is neither: its cells only change.
    void rowsAboutToBeRemoved(int first, int count);
    void rowsRemoved();
    void rowsAboutToBeInserted(int first, int count);
    void rowsInserted();
    // Anything about the table changed, cells included.
    void changed();
    void replacingChanged();
    void journalFailed(const QString& problem);

private:
    [[nodiscard]] std::optional<int> rowNumbered(std::int32_t number) const;
    // Writes records of a change about to be made; a journal that failed is
    // made anew first, with the table as it stands.
    void record(const std::string& records);
    [[nodiscard]] std::string tableRecords() const;
    // Change the table, telling a view before and after; the empty row 1 of
    // a table without rows is no row that comes or goes.
    void takeRow(int row);
    void insertRow(int row, TableRow content);

    // One deletion: where each row stood, ascending, and whether it was unsaved.
    struct Deleted {
        int row;
        TableRow content;
        bool unsaved;
    };
    struct Deletion {
        std::vector<Deleted> rows;
        int savesBefore; // a save since then has written a table without them
    };

    ResultsTable& table_;
    std::string folder_;
    std::unique_ptr<JournalFile> journal_;
    QString journalProblem_;
    std::set<std::int32_t> unsaved_; // row numbers
    std::vector<Deletion> deletions_;
    int saves_ = 0;
    std::optional<std::int32_t> replacing_; // a row number
};

} // namespace kestra
