#include "app/results/ResultsJournal.h"

#include "measure/DecimalText.h"
#include "measure/Error.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace kestra {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view Header = "KESTRA results journal 1\n";
constexpr std::string_view Ending = ".journal";

[[noreturn]] void fail(const std::string& path, int error)
{
    throw Error("Cannot write file \"" + path + "\". " + std::strerror(error));
}

// FNV-1a: enough to tell a line that was cut or garbled from a whole one.
std::uint64_t checksum(std::string_view text)
{
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char byte : text) {
        hash ^= static_cast<unsigned char>(byte);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string hex(std::uint64_t value)
{
    std::array<char, 17> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + 16, value, 16);
    return std::string(16 - static_cast<std::size_t>(written.ptr - digits.data()), '0') +
           std::string(digits.data(), written.ptr);
}

void appendEscaped(std::string& line, std::string_view field)
{
    for (const char byte : field) {
        switch (byte) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += byte;
        }
    }
}

std::optional<std::string> unescaped(std::string_view field)
{
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field[i]) {
        case '\\':
            text += '\\';
            break;
        case 't':
            text += '\t';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

std::string numberText(double value)
{
    std::array<char, 64> digits{};
    const auto written = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return std::string(digits.data(), written.ptr);
}

template <typename Number> std::optional<Number> numberOf(std::string_view text)
{
    Number value{};
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size())
        return std::nullopt;
    return value;
}

// One record: its fields, the checksum of all of them added.
class Record {
public:
    explicit Record(std::string_view kind) { line_ = kind; }

    Record& add(std::string_view field)
    {
        line_ += '\t';
        appendEscaped(line_, field);
        return *this;
    }

    [[nodiscard]] std::string line() const { return line_ + '\t' + hex(checksum(line_)) + '\n'; }

private:
    std::string line_;
};

std::string numbersRecord(std::string_view kind, const std::vector<std::int32_t>& numbers)
{
    Record record(kind);
    for (const std::int32_t number : numbers)
        record.add(IntegerText(number));
    return record.line();
}

// The fields of a whole, undamaged line; nothing for any other.
std::optional<std::vector<std::string>> fieldsOf(std::string_view line)
{
    const std::size_t last = line.rfind('\t');
    if (last == std::string_view::npos ||
        line.substr(last + 1) != hex(checksum(line.substr(0, last))))
        return std::nullopt;
    std::vector<std::string> fields;
    const std::string_view content = line.substr(0, last);
    for (std::size_t start = 0;;) {
        const std::size_t end = content.find('\t', start);
        const std::optional<std::string> field =
            unescaped(content.substr(start, end == std::string_view::npos ? end : end - start));
        if (!field)
            return std::nullopt;
        fields.push_back(*field);
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

constexpr std::size_t RowFields = 1 + 4 + 2 * LandmarkCount + ResultsTable::ColumnCount;

std::optional<TableRow> rowOf(const std::vector<std::string>& fields)
{
    if (fields.size() != RowFields)
        return std::nullopt;
    TableRow row;
    const auto width = numberOf<int>(fields[1]);
    const auto height = numberOf<int>(fields[2]);
    const auto dpi = numberOf<double>(fields[3]);
    if (!width || !height || !dpi)
        return std::nullopt;
    row.measuredFrom = {{}, *width, *height, *dpi, fields[4]};
    for (int n = 1; n <= LandmarkCount; ++n) {
        const auto x = numberOf<double>(fields[static_cast<std::size_t>(3 + 2 * n)]);
        const auto y = numberOf<double>(fields[static_cast<std::size_t>(4 + 2 * n)]);
        if (!x || !y)
            return std::nullopt;
        row.measuredFrom.points.PointX[n] = *x;
        row.measuredFrom.points.PointY[n] = *y;
    }
    row.cells.assign(fields.end() - ResultsTable::ColumnCount, fields.end());
    if (RowNumber(row) <= 0)
        return std::nullopt;
    return row;
}

// Applies one record; false for one that is not a journal's.
bool apply(const std::vector<std::string>& fields, std::map<std::int32_t, JournalRow>& rows,
           std::int32_t& lastNumber)
{
    const std::string& kind = fields.front();
    if (kind == "row") {
        const std::optional<TableRow> row = rowOf(fields);
        if (!row)
            return false;
        const std::int32_t number = RowNumber(*row);
        rows[number] = {*row, false};
        lastNumber = std::max(lastNumber, number);
        return true;
    }
    std::vector<std::int32_t> numbers;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const auto number = numberOf<std::int32_t>(fields[i]);
        if (!number)
            return false;
        numbers.push_back(*number);
    }
    if (kind == "delete") {
        for (const std::int32_t number : numbers)
            rows.erase(number);
    } else if (kind == "saved") {
        for (const std::int32_t number : numbers)
            if (const auto found = rows.find(number); found != rows.end())
                found->second.saved = true;
    } else if (kind == "numbering" && numbers.size() == 1) {
        lastNumber = std::max(lastNumber, numbers.front());
    } else {
        return false;
    }
    return true;
}

std::string timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::array<char, 32> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%Y%m%d-%H%M%S", &local);
    return std::string(text.data(), length);
}

// Writes all of text at the end of the file.
int writeAll(int descriptor, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// A new file's name must reach the disk too, or a power cut can lose the file.
void syncFolder(const std::string& folder)
{
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        ::fsync(descriptor);
        ::close(descriptor);
    }
}

std::optional<std::string> readAll(int descriptor)
{
    std::string text;
    std::array<char, 65536> piece{};
    for (;;) {
        const ssize_t read = ::read(descriptor, piece.data(), piece.size());
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0)
            return std::nullopt;
        if (read == 0)
            return text;
        text.append(piece.data(), static_cast<std::size_t>(read));
    }
}

} // namespace

int JournalContents::unsavedCount() const
{
    return static_cast<int>(
        std::count_if(rows.begin(), rows.end(), [](const JournalRow& row) { return !row.saved; }));
}

std::int32_t RowNumber(const TableRow& row)
{
    if (row.cells.empty())
        return 0;
    return numberOf<std::int32_t>(row.cells.front()).value_or(0);
}

std::string RowRecord(const TableRow& row)
{
    const RowLandmarks& from = row.measuredFrom;
    Record record("row");
    record.add(IntegerText(from.pictureWidth))
        .add(IntegerText(from.pictureHeight))
        .add(numberText(from.Dpi))
        .add(from.FileName);
    for (int n = 1; n <= LandmarkCount; ++n)
        record.add(numberText(from.points.PointX[n])).add(numberText(from.points.PointY[n]));
    for (const std::string& cell : row.cells)
        record.add(cell);
    return record.line();
}

std::string DeleteRecord(const std::vector<std::int32_t>& numbers)
{
    return numbersRecord("delete", numbers);
}

std::string SavedRecord(const std::vector<std::int32_t>& numbers)
{
    return numbersRecord("saved", numbers);
}

std::string NumberingRecord(std::int32_t lastNumber)
{
    return numbersRecord("numbering", {lastNumber});
}

std::string Grouped(const std::string& records)
{
    const auto count = std::count(records.begin(), records.end(), '\n');
    if (count < 2)
        return records;
    return numbersRecord("group", {static_cast<std::int32_t>(count)}) + records;
}

JournalContents ReadJournal(std::string_view text)
{
    JournalContents contents;
    if (!text.starts_with(Header)) {
        contents.whole = text.empty();
        return contents;
    }
    text.remove_prefix(Header.size());
    std::map<std::int32_t, JournalRow> rows;
    // Only whole lines count: the last one may have been cut by a power cut.
    // A group's records count only all together.
    std::vector<std::vector<std::string>> group;
    std::int64_t groupLeft = 0;
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;
         text.remove_prefix(end + 1)) {
        const std::optional<std::vector<std::string>> fields = fieldsOf(text.substr(0, end));
        if (fields && groupLeft == 0 && fields->size() == 2 && fields->front() == "group") {
            groupLeft = numberOf<std::int32_t>((*fields)[1]).value_or(0);
            if (groupLeft > 0)
                continue;
        }
        if (!fields) {
            contents.whole = false;
            break;
        }
        group.push_back(*fields);
        if (groupLeft > 0 && --groupLeft > 0)
            continue;
        for (const std::vector<std::string>& record : group) {
            if (!apply(record, rows, contents.lastNumber)) {
                contents.whole = false;
                text = {};
                break;
            }
        }
        if (!contents.whole)
            break;
        group.clear();
    }
    if (!text.empty() || !group.empty())
        contents.whole = false;
    // Rows keep their order by number: appends come at the end, and a row
    // brought back returns to where it was.
    for (auto& [number, row] : rows)
        contents.rows.push_back(std::move(row));
    return contents;
}

std::string JournalFolder()
{
    // Relative paths in these variables are to be ignored, as for every
    // XDG base directory.
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/')
        return (fs::path(state) / "kestra").string();
    const char* home = std::getenv("HOME");
    return (fs::path(home != nullptr ? home : "/") / ".local" / "state" / "kestra").string();
}

JournalFile::JournalFile(const std::string& folder)
{
    std::error_code error;
    const bool made = fs::create_directories(folder, error);
    std::random_device entropy;
    const std::string name = "results-" + timestamp() + "-" + std::to_string(::getpid()) + "-" +
                             std::to_string(entropy() % 100000);
    path_ = (fs::path(folder) / (name + std::string(Ending))).string();
    if (error)
        fail(path_, error.value());
    if (made)
        syncFolder(fs::path(folder).parent_path().string());
    // Made under another name and locked before it is named a journal, so that
    // a window starting meanwhile never takes it for one whose window is gone.
    const std::string making = (fs::path(folder) / ("." + name + ".new")).string();
    descriptor_ = ::open(making.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (descriptor_ < 0)
        fail(path_, errno);
    // Held as long as this process lives, also when it is killed: the lock
    // tells a running window's journal from one whose window is gone.
    int failure = ::flock(descriptor_, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    if (failure == 0)
        failure = writeAll(descriptor_, Header);
    if (failure == 0 && ::fdatasync(descriptor_) != 0)
        failure = errno;
    if (failure == 0 && ::rename(making.c_str(), path_.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(making.c_str());
        ::close(descriptor_);
        descriptor_ = -1;
        fail(path_, failure);
    }
    size_ = static_cast<long long>(Header.size());
    syncFolder(folder);
}

JournalFile::~JournalFile()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

void JournalFile::write(std::string_view records)
{
    if (descriptor_ < 0 || broken_)
        fail(path_, EIO);
    int error = writeAll(descriptor_, records);
    if (error == 0 && ::fdatasync(descriptor_) != 0)
        error = errno;
    if (error != 0) {
        // A record cut short would end the reading there, and every record
        // after it would be lost with it. Should that fail too, the file
        // stays open: its lock still says that its window runs.
        if (::ftruncate(descriptor_, static_cast<off_t>(size_)) != 0)
            broken_ = true;
        fail(path_, error);
    }
    size_ += static_cast<long long>(records.size());
}

void JournalFile::remove()
{
    ::unlink(path_.c_str());
    if (descriptor_ >= 0)
        ::close(descriptor_);
    descriptor_ = -1;
}

AbandonedJournal::AbandonedJournal(std::string path, int descriptor, std::time_t endedAt,
                                   JournalContents contents)
    : path_(std::move(path)), descriptor_(descriptor), endedAt_(endedAt),
      contents_(std::move(contents))
{}

AbandonedJournal::AbandonedJournal(AbandonedJournal&& other) noexcept
    : path_(std::move(other.path_)), descriptor_(std::exchange(other.descriptor_, -1)),
      endedAt_(other.endedAt_), contents_(std::move(other.contents_))
{}

AbandonedJournal& AbandonedJournal::operator=(AbandonedJournal&& other) noexcept
{
    if (this != &other) {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        path_ = std::move(other.path_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        endedAt_ = other.endedAt_;
        contents_ = std::move(other.contents_);
    }
    return *this;
}

AbandonedJournal::~AbandonedJournal()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

std::string AbandonedJournal::moveAside(std::string_view ending)
{
    std::string aside = path_.substr(0, path_.size() - Ending.size()) + std::string(ending);
    if (::rename(path_.c_str(), aside.c_str()) != 0)
        fail(path_, errno);
    path_ = aside;
    syncFolder(fs::path(path_).parent_path().string());
    return aside;
}

void AbandonedJournal::remove()
{
    ::unlink(path_.c_str());
    syncFolder(fs::path(path_).parent_path().string());
}

std::vector<AbandonedJournal> FindAbandonedJournals(const std::string& folder)
{
    std::vector<AbandonedJournal> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string path = entry.path().string();
        if (!path.ends_with(Ending) || !entry.is_regular_file(error))
            continue;
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (descriptor < 0)
            continue;
        struct stat status {};
        std::optional<std::string> text;
        // A lock that is held belongs to a running window.
        if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0 || ::fstat(descriptor, &status) != 0 ||
            !(text = readAll(descriptor))) {
            ::close(descriptor);
            continue;
        }
        AbandonedJournal journal(path, descriptor, status.st_mtime, ReadJournal(*text));
        if (journal.contents().unsavedCount() > 0)
            found.push_back(std::move(journal));
        else if (journal.contents().whole)
            journal.remove();
        else
            try {
                (void)journal.moveAside(".unreadable");
            } catch (const Error&) {
                // Looked at again at the next start.
            }
    }
    std::sort(found.begin(), found.end(), [](const AbandonedJournal& a, const AbandonedJournal& b) {
        return a.endedAt() > b.endedAt();
    });
    return found;
}

} // namespace kestra
