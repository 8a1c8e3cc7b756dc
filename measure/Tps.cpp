#include "measure/Tps.h"

#include "measure/Analysis.h"
#include "measure/DecimalText.h"
#include "measure/Error.h"
#include "measure/FileReplace.h"
#include "measure/Geometry.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace kestra {
namespace {

namespace fs = std::filesystem;

// A double as the shortest text that reads back as the same value; fixed
// form only where asked, since a whole pixel count should never read "1e+05".
void appendNumber(std::string& text, double value, std::optional<std::chars_format> format = {})
{
    // Room for the longest fixed form of any double.
    std::array<char, 400> buffer{};
    const std::to_chars_result written =
        format ? std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, *format)
               : std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    text.append(buffer.data(), written.ptr);
}

constexpr std::size_t QuotedBytes = 40;

std::string_view trimmed(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A line for a message: at most QuotedBytes bytes, cut between two UTF-8
// characters, with control bytes shown as '?'.
std::string quoted(std::string_view line)
{
    std::string text;
    std::size_t length = line.size();
    if (length > QuotedBytes) {
        length = QuotedBytes;
        while (length > 0 && (static_cast<unsigned char>(line[length]) & 0xC0) == 0x80)
            --length;
    }
    for (const char byte : line.substr(0, length))
        text += static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F ? '?' : byte;
    if (length < line.size())
        text += "...";
    return "\"" + text + "\"";
}

// Splits text into lines at LF, CR LF or a lone CR, and counts them from 1.
class Lines {
public:
    explicit Lines(std::string_view text) : rest_(text) {}

    bool next(std::string_view& line)
    {
        if (rest_.empty())
            return false;
        const std::size_t end = rest_.find_first_of("\r\n");
        line = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end);
        if (rest_.starts_with("\r\n"))
            rest_.remove_prefix(2);
        else if (!rest_.empty())
            rest_.remove_prefix(1);
        ++number_;
        return true;
    }
    [[nodiscard]] std::int64_t number() const { return number_; }

private:
    std::string_view rest_;
    std::int64_t number_ = 0;
};

std::optional<double> numberOf(std::string_view text)
{
    // from_chars takes no '+', which some writers put before a number.
    if (text.starts_with('+') && !text.substr(1).starts_with('-'))
        text.remove_prefix(1);
    double value = 0.0;
    const std::from_chars_result read =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::int64_t> countOf(std::string_view text)
{
    std::int64_t count = 0;
    const std::from_chars_result read =
        std::from_chars(text.data(), text.data() + text.size(), count);
    if (read.ec != std::errc() || read.ptr != text.data() + text.size() || count < 0)
        return std::nullopt;
    return count;
}

class TpsParser {
public:
    explicit TpsParser(std::string_view tpsPath) : tpsPath_(tpsPath) {}

    // Every specimen in file order, after the whole text has been checked.
    std::vector<TpsSpecimen> read(std::string_view text)
    {
        if (text.starts_with("\xEF\xBB\xBF"))
            text.remove_prefix(3);
        Lines lines(text);
        for (std::string_view line; lines.next(line);)
            readLine(trimmed(line), lines.number());
        if (pending_ > 0)
            blockCutShort();
        endSpecimen();
        if (specimens_.empty())
            fail("The file \"" + std::string(tpsPath_) +
                 "\" is not a TPS file: it has no LM= line");
        return std::move(specimens_);
    }

private:
    [[noreturn]] static void fail(const std::string& message) { throw Error(message); }

    [[noreturn]] void notTps(std::string_view line, std::int64_t number) const
    {
        fail("The file \"" + std::string(tpsPath_) + "\" is not a TPS file: line " +
             IntegerText(number) + " reads " + quoted(line));
    }

    [[noreturn]] void blockCutShort() const
    {
        fail("Line " + IntegerText(blockLine_) + " of the TPS file \"" + std::string(tpsPath_) +
             "\" announces " + IntegerText(blockCount_) + " coordinate lines, but " +
             IntegerText(blockCount_ - pending_) + " follow");
    }

    void readLine(std::string_view line, std::int64_t number)
    {
        if (line.empty())
            return;
        const std::size_t equals = line.find('=');
        if (pending_ > 0) {
            if (equals != std::string_view::npos)
                blockCutShort();
            readCoordinates(line, number);
            return;
        }
        if (equals == std::string_view::npos)
            notTps(line, number);
        std::string key(trimmed(line.substr(0, equals)));
        const std::string_view value = trimmed(line.substr(equals + 1));
        if (key.empty())
            notTps(line, number);
        for (char& letter : key) {
            if (!std::isalnum(static_cast<unsigned char>(letter)))
                notTps(line, number);
            letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
        }

        if (key == "LM") {
            endSpecimen();
            const std::optional<std::int64_t> count = countOf(value);
            if (!count)
                notTps(line, number);
            current_.emplace();
            current_->line = number;
            current_->landmarkCount = *count;
            startBlock(*count, number, true);
        } else if (key == "LM3") {
            fail("The TPS file \"" + std::string(tpsPath_) +
                 "\" holds landmarks in three dimensions (line " + IntegerText(number) +
                 "); KESTRA uses two");
        } else if (key == "POINTS") {
            // The points of one curve or outline: read past, as KESTRA keeps
            // landmarks only.
            const std::optional<std::int64_t> count = countOf(value);
            if (!current_ || !count)
                notTps(line, number);
            startBlock(*count, number, false);
        } else if (key == "IMAGE") {
            if (current_)
                current_->image = value;
        } else if (key == "SCALE") {
            if (current_)
                current_->scale = value;
        }
        // CURVES=, OUTLINES=, ID=, COMMENT=, VARIABLES= and keys yet unknown
        // say nothing about the landmarks.
    }

    void startBlock(std::int64_t count, std::int64_t line, bool landmarks)
    {
        pending_ = count;
        blockCount_ = count;
        blockLine_ = line;
        inLandmarks_ = landmarks;
    }

    void readCoordinates(std::string_view line, std::int64_t number)
    {
        const std::size_t gap = line.find_first_of(" \t");
        const std::optional<double> x =
            gap == std::string_view::npos ? std::nullopt : numberOf(line.substr(0, gap));
        const std::optional<double> y =
            gap == std::string_view::npos ? std::nullopt : numberOf(trimmed(line.substr(gap)));
        if (!x || !y)
            fail("The coordinates on line " + IntegerText(number) + " of the TPS file \"" +
                 std::string(tpsPath_) + "\" are not two numbers: " + quoted(line));
        const std::int64_t index = blockCount_ - pending_;
        if (inLandmarks_ && index < LandmarkCount)
            current_->landmarks[static_cast<std::size_t>(index)] = {*x, *y, number};
        --pending_;
    }

    void endSpecimen()
    {
        if (!current_)
            return;
        specimens_.push_back(std::move(*current_));
        current_.reset();
    }

    std::string_view tpsPath_;
    std::optional<TpsSpecimen> current_;
    std::vector<TpsSpecimen> specimens_;
    std::int64_t pending_ = 0; // coordinate lines still owed to the open block
    std::int64_t blockCount_ = 0;
    std::int64_t blockLine_ = 0;
    bool inLandmarks_ = false;
};

} // namespace

std::string TpsSpecimenText(const Landmarks& points, double pictureHeight, std::string_view image,
                            std::string_view id, std::optional<double> dpi)
{
    std::string text = "LM=32\n";
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (points.IsPointMissing(n)) {
            // Negative coordinates are the field's mark of a landmark not placed.
            text += "-1 -1\n";
            continue;
        }
        appendNumber(text, points.PointX[n], std::chars_format::fixed);
        text += ' ';
        appendNumber(text, pictureHeight - points.PointY[n], std::chars_format::fixed);
        text += '\n';
    }
    text.append("IMAGE=").append(image).append("\nID=").append(id).append("\n");
    if (dpi) {
        text += "SCALE=";
        appendNumber(text, ScaleFactor(*dpi));
        text += '\n';
    }
    return text;
}

std::string TpsText(const ResultsTable& table)
{
    std::string text;
    for (int row = 1; row <= table.ResultCount(); ++row) {
        const RowLandmarks& measured = table.rowLandmarks(row);
        text += TpsSpecimenText(measured.points, measured.pictureHeight, table.Cells(1, row),
                                table.Cells(0, row), measured.Dpi);
    }
    return text;
}

void ExportTps(const ResultsTable& table, const std::string& path)
{
    ReplaceFile(path, TpsText(table));
}

std::string NoSpecimenMessage(std::string_view tpsPath, std::string_view pictureName)
{
    return "The TPS file \"" + std::string(tpsPath) + "\" has no specimen for the picture \"" +
           std::string(pictureName) + "\"";
}

std::vector<TpsSpecimen> ReadTpsSpecimens(std::string_view text, std::string_view tpsPath)
{
    return TpsParser(tpsPath).read(text);
}

std::optional<std::string> PictureNameOf(const TpsSpecimen& specimen)
{
    // tpsDig may write the picture's full path, on either kind of system;
    // the Name cell's rule reads the name out of it as it was written.
    if (specimen.image.empty())
        return std::nullopt;
    return NameCell(specimen.image);
}

void CheckLandmarkCount(const TpsSpecimen& specimen, std::string_view tpsPath)
{
    if (specimen.landmarkCount != LandmarkCount)
        throw Error("The TPS file \"" + std::string(tpsPath) + "\" holds " +
                    IntegerText(specimen.landmarkCount) + " landmarks a specimen; KESTRA uses " +
                    IntegerText(LandmarkCount));
}

Landmarks SpecimenLandmarks(const TpsSpecimen& specimen, std::string_view tpsPath,
                            const TpsPicture& picture)
{
    CheckLandmarkCount(specimen, tpsPath);

    Landmarks landmarks;
    for (int n = 1; n <= LandmarkCount; ++n) {
        const TpsSpecimen::Point& read = specimen.landmarks[static_cast<std::size_t>(n - 1)];
        if (read.x < 0.0 || read.y < 0.0)
            continue; // not placed: stays (0, 0)
        // KESTRA places landmarks on whole pixels; a digitizer may not.
        const double x = std::round(read.x);
        const double y = picture.height - std::round(read.y);
        // KESTRA records a release wherever it happens, also beside the
        // picture: one right of it or above it comes back as it was saved
        // (one left of it or below it has a negative TPS coordinate, the
        // format's own mark of a landmark not placed). Only a place no click
        // could give is refused.
        if (std::fabs(x) > FarOutside || std::fabs(y) > FarOutside)
            throw Error("Landmark " + IntegerText(n) + " (line " + IntegerText(read.line) +
                        ") of the TPS file \"" + std::string(tpsPath) +
                        "\" lies far outside the picture of " + IntegerText(picture.width) + " x " +
                        IntegerText(picture.height) + " pixels");
        landmarks.PointX[n] = x;
        landmarks.PointY[n] = y;
    }
    return landmarks;
}

Landmarks ReadTpsLandmarks(std::string_view text, std::string_view tpsPath,
                           const TpsPicture& picture)
{
    const std::vector<TpsSpecimen> specimens = ReadTpsSpecimens(text, tpsPath);
    const std::string pictureName = NameCell(picture.name);
    const auto chosen =
        std::find_if(specimens.rbegin(), specimens.rend(), [&](const TpsSpecimen& specimen) {
            return PictureNameOf(specimen) == pictureName;
        });
    if (chosen == specimens.rend())
        throw Error(NoSpecimenMessage(tpsPath, pictureName));
    return SpecimenLandmarks(*chosen, tpsPath, picture);
}

std::optional<double> DpiOfScale(std::string_view scale)
{
    const std::optional<double> millimetres = numberOf(scale);
    if (!millimetres || !(*millimetres > 0.0))
        return std::nullopt;
    const double dpi = 25.4 / *millimetres;
    if (!std::isfinite(dpi))
        return std::nullopt;
    // SCALE= is written from a DPI the user typed, rounded to the shortest
    // text of 25.4 / DPI: the DPI with the fewest digits that writes the same
    // SCALE= is that DPI, where 25.4 / SCALE may be off in its last bit.
    std::array<char, 64> digits{};
    for (int precision = 1; precision <= 17; ++precision) {
        const std::to_chars_result written =
            std::to_chars(digits.data(), digits.data() + digits.size(), dpi,
                          std::chars_format::general, precision);
        double candidate = 0.0;
        std::from_chars(digits.data(), written.ptr, candidate);
        if (candidate > 0.0 && 25.4 / candidate == *millimetres)
            return candidate;
    }
    return dpi;
}

std::string ReadTpsFile(const std::string& tpsPath)
{
    const std::string tooLarge =
        "The file \"" + tpsPath + "\" is larger than 64 MB, too large for a TPS file";
    std::error_code error;
    const fs::file_status status = fs::status(tpsPath, error);
    // A pipe would block the open, a device could be read for ever.
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw Error("Cannot open file \"" + tpsPath + "\". Not a regular file");
    if (const std::uintmax_t size = fs::file_size(tpsPath, error); !error && size > MaxTpsFileBytes)
        throw Error(tooLarge);

    errno = 0;
    std::ifstream file(tpsPath, std::ios::binary);
    if (!file)
        throw Error("Cannot open file \"" + tpsPath + "\". " +
                    std::strerror(errno != 0 ? errno : EIO));
    // In pieces, and no further than the limit should the file grow meanwhile.
    std::string text;
    std::array<char, 65536> piece{};
    while (file.read(piece.data(), piece.size()) || file.gcount() > 0) {
        text.append(piece.data(), static_cast<std::size_t>(file.gcount()));
        if (text.size() > MaxTpsFileBytes)
            throw Error(tooLarge);
    }
    if (file.bad())
        throw Error("Cannot read file \"" + tpsPath + "\". " +
                    std::strerror(errno != 0 ? errno : EIO));
    return text;
}

std::string ReadTpsStandardInput()
{
    std::string text;
    std::array<char, 65536> piece{};
    errno = 0;
    for (std::size_t read; (read = std::fread(piece.data(), 1, piece.size(), stdin)) > 0;) {
        text.append(piece.data(), read);
        if (text.size() > MaxTpsFileBytes)
            throw Error("Standard input holds more than 64 MB, too much for a TPS file");
    }
    if (std::ferror(stdin))
        throw Error(std::string("Cannot read standard input. ") +
                    std::strerror(errno != 0 ? errno : EIO));
    return text;
}

Landmarks LoadTpsLandmarks(const std::string& tpsPath, const TpsPicture& picture)
{
    return ReadTpsLandmarks(ReadTpsFile(tpsPath), tpsPath, picture);
}

} // namespace kestra
