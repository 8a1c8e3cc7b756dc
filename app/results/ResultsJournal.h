#pragma once

#include "measure/ResultsTable.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace kestra {

// The journal keeps every change to the results table on disk as it happens,
// so that a crash, a power cut or a slip of the hand loses no row. It is text,
// one record a line after the line "KESTRA results journal 1":
//   row       a row as it now stands, new, replaced or brought back
//   delete    the numbers of rows taken out
//   saved     the numbers of the rows "Save ..." wrote, as they then stood
//   numbering the last number given, after a restore
//   group     the count of records that follow and count only all together
// Fields are separated by TAB, with TAB, LF, CR and backslash escaped, and
// each line ends in a checksum of itself: a line that a power cut cut short
// reads as damaged, and reading stops before it.

// A row as a journal has it, with whether "Save ..." has written it since.
struct JournalRow {
    TableRow row; // cells[0] holds its number
    bool saved = false;
};

// What a journal holds: the table's rows in order, and the numbering.
struct JournalContents {
    std::vector<JournalRow> rows;
    std::int32_t lastNumber = 0;
    // Every byte was read: no record was cut short or damaged.
    bool whole = true;

    [[nodiscard]] int unsavedCount() const;
};

// Records, each a line.
[[nodiscard]] std::string RowRecord(const TableRow& row);
[[nodiscard]] std::string DeleteRecord(const std::vector<std::int32_t>& numbers);
[[nodiscard]] std::string SavedRecord(const std::vector<std::int32_t>& numbers);
[[nodiscard]] std::string NumberingRecord(std::int32_t lastNumber);

// Records that belong together (a restore, an undo), headed by a group record
// when there is more than one: a power cut amid them leaves none.
[[nodiscard]] std::string Grouped(const std::string& records);

// The number a row carries in its first cell; 0 when it carries none.
[[nodiscard]] std::int32_t RowNumber(const TableRow& row);

// Reads a journal's text: everything up to the first record that is cut
// short or damaged, which is left out with all that follows it. Never throws
// for what the text holds.
[[nodiscard]] JournalContents ReadJournal(std::string_view text);

// Where journals live: $XDG_STATE_HOME/kestra, or ~/.local/state/kestra.
[[nodiscard]] std::string JournalFolder();

// A journal this process writes, locked so that no other window takes it for
// one whose window is gone.
class JournalFile {
public:
    // Creates a new journal, named after the time and the process, in folder
    // (made when missing). Throws Error "Cannot write file "<path>". <reason>".
    explicit JournalFile(const std::string& folder);
    ~JournalFile();
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Appends records and has them on the disk before it returns. Throws Error
    // as above; the file then ends where it did before.
    void write(std::string_view records);

    // Takes the file away; it is closed from then on.
    void remove();

    [[nodiscard]] const std::string& path() const { return path_; }

private:
    std::string path_;
    int descriptor_ = -1;
    long long size_ = 0;
    // A failed write could not be taken back: nothing more may follow it.
    bool broken_ = false;
};

// A journal that no running window holds, kept locked until it is dropped so
// that two windows starting at once do not both take it.
class AbandonedJournal {
public:
    AbandonedJournal(std::string path, int descriptor, std::time_t endedAt,
                     JournalContents contents);
    ~AbandonedJournal();
    AbandonedJournal(AbandonedJournal&& other) noexcept;
    AbandonedJournal& operator=(AbandonedJournal&& other) noexcept;
    AbandonedJournal(const AbandonedJournal&) = delete;

    [[nodiscard]] const std::string& path() const { return path_; }
    // When it was last written: when its window ended, as near as can be told.
    [[nodiscard]] std::time_t endedAt() const { return endedAt_; }
    [[nodiscard]] const JournalContents& contents() const { return contents_; }

    // Renames it with a new ending, out of the way of later starts; gives the
    // new path. Throws Error when it cannot be renamed.
    std::string moveAside(std::string_view ending);
    void remove();

private:
    std::string path_;
    int descriptor_;
    std::time_t endedAt_;
    JournalContents contents_;
};

// The journals in folder whose windows are gone and that hold rows never
// saved, newest first. Those with nothing unsaved are removed on the way, or
// moved aside when part of them could not be read.
[[nodiscard]] std::vector<AbandonedJournal> FindAbandonedJournals(const std::string& folder);

} // namespace kestra
