#include "picture/DeclaredResolution.h"

#include "TestPictures.h"
#include "tools/JpegWriter.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <vector>

namespace kestra {
namespace {

using Bytes = std::vector<unsigned char>;

// Exactly as many bytes as the file has, so that a read past the end trips
// the address sanitizer.
Bytes bytesOf(const QByteArray& file, qsizetype size = -1)
{
    const qsizetype length = size < 0 ? file.size() : size;
    return Bytes(file.begin(), file.begin() + length);
}

Declaration jpegDeclaration(const QByteArray& file)
{
    const Bytes bytes = bytesOf(file);
    return ReadJpegDeclaration(bytes.data(), bytes.size());
}

std::optional<double> bmpDpi(const QByteArray& file, qsizetype prefix = -1)
{
    const Bytes bytes = bytesOf(file, prefix);
    return ReadBmpDeclaredDpi(bytes.data(), bytes.size());
}

// libjpeg writes a JFIF APP0 segment right after SOI: units at byte 13, the
// horizontal density at 14 and the vertical one at 16.
QByteArray jpeg()
{
    return WriteJpeg(8, 8, 3, [](int, std::uint8_t* row) { std::fill_n(row, 24, 90); });
}

void putBig16(QByteArray& file, int offset, unsigned value)
{
    file[offset] = static_cast<char>(value >> 8);
    file[offset + 1] = static_cast<char>(value & 0xFF);
}

QByteArray withJfif(unsigned units, unsigned horizontal, unsigned vertical)
{
    QByteArray file = jpeg();
    EXPECT_EQ(file.mid(6, 5), QByteArray("JFIF\0", 5));
    file[13] = static_cast<char>(units);
    putBig16(file, 14, horizontal);
    putBig16(file, 16, vertical);
    return file;
}

QByteArray withoutJfif(QByteArray file)
{
    return file.remove(2, 18);
}

// Puts a segment right after SOI.
QByteArray withSegment(QByteArray file, unsigned marker, const QByteArray& payload)
{
    QByteArray segment(4, '\0');
    segment[0] = static_cast<char>(0xFF);
    segment[1] = static_cast<char>(marker);
    putBig16(segment, 2, static_cast<unsigned>(payload.size() + 2));
    return file.insert(2, segment + payload);
}

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value; // a SHORT goes in the first two bytes
};

constexpr std::uint16_t Short = 3;
constexpr std::uint16_t Rational = 5;
constexpr std::uint16_t Orientation = 0x0112;
constexpr std::uint16_t XResolution = 0x011A;
constexpr std::uint16_t ResolutionUnit = 0x0128;

// Where the data after an IFD of n entries at offset 8 begins.
constexpr std::uint32_t dataAfter(std::uint32_t entries)
{
    return 8 + 2 + 12 * entries + 4;
}

// An Exif APP1 payload: a TIFF block with one IFD at offset 8, its next-IFD
// offset, then data as 32-bit words.
QByteArray exif(bool bigEndian, const std::vector<Entry>& entries,
                const std::vector<std::uint32_t>& data = {}, std::uint32_t nextIfd = 0,
                std::uint32_t firstIfd = 8)
{
    QByteArray tiff;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            tiff.append(static_cast<char>(value >> shift & 0xFF));
        }
    };
    tiff += bigEndian ? "MM" : "II";
    put(42, 2);
    put(firstIfd, 4);
    put(static_cast<std::uint32_t>(entries.size()), 2);
    for (const Entry& entry : entries) {
        put(entry.tag, 2);
        put(entry.type, 2);
        put(entry.count, 4);
        if (entry.type == Short) {
            put(entry.value, 2);
            put(0, 2);
        } else {
            put(entry.value, 4);
        }
    }
    put(nextIfd, 4);
    for (std::uint32_t word : data)
        put(word, 4);
    return QByteArray("Exif\0\0", 6) + tiff;
}

// XResolution numerator / denominator in the given unit, then orientation.
QByteArray resolutionExif(bool bigEndian, std::uint32_t numerator, std::uint32_t denominator,
                          unsigned unit, unsigned orientation = 1)
{
    return exif(bigEndian,
                {{Orientation, Short, 1, orientation},
                 {XResolution, Rational, 1, dataAfter(3)},
                 {ResolutionUnit, Short, 1, unit}},
                {numerator, denominator});
}

TEST(DeclaredResolution, JpegDeclaresJfifDensityElseExif)
{
    EXPECT_EQ(jpegDeclaration(withJfif(1, 300, 300)).dpi, 300.0);
    EXPECT_EQ(jpegDeclaration(withJfif(1, 600, 300)).dpi, 600.0); // the horizontal one
    EXPECT_DOUBLE_EQ(jpegDeclaration(withJfif(2, 118, 118)).dpi.value(), 118 * 2.54);
    // Units 0 give an aspect ratio; libjpeg's own default is 1:1 in units 0.
    EXPECT_EQ(jpegDeclaration(withJfif(0, 300, 300)).dpi, std::nullopt);
    EXPECT_EQ(jpegDeclaration(jpeg()).dpi, std::nullopt);
    EXPECT_EQ(jpegDeclaration(withoutJfif(jpeg())).dpi, std::nullopt);
    // A placeholder density and an empty one declare nothing.
    EXPECT_EQ(jpegDeclaration(withJfif(1, 1, 1)).dpi, std::nullopt);
    EXPECT_EQ(jpegDeclaration(withJfif(1, 0, 0)).dpi, std::nullopt);

    const QByteArray exif400 = resolutionExif(false, 400, 1, 2);
    EXPECT_EQ(jpegDeclaration(withSegment(withoutJfif(jpeg()), 0xE1, exif400)).dpi, 400.0);
    // 118.11 dots per centimetre, which JFIF's whole numbers cannot hold; big-endian.
    EXPECT_NEAR(
        jpegDeclaration(withSegment(jpeg(), 0xE1, resolutionExif(true, 11811, 100, 3))).dpi.value(),
        300.0, 0.001);
    // Exif stands in for JFIF units 0, and gives way to a JFIF density.
    EXPECT_EQ(jpegDeclaration(withSegment(withJfif(0, 1, 1), 0xE1, exif400)).dpi, 400.0);
    EXPECT_EQ(jpegDeclaration(withSegment(withJfif(1, 300, 300), 0xE1, exif400)).dpi, 300.0);
    // Inch is the default unit; unit 1 means no unit at all.
    EXPECT_EQ(jpegDeclaration(
                  withSegment(jpeg(), 0xE1,
                              exif(false, {{XResolution, Rational, 1, dataAfter(1)}}, {400, 1})))
                  .dpi,
              400.0);
    EXPECT_EQ(jpegDeclaration(withSegment(jpeg(), 0xE1, resolutionExif(false, 400, 1, 1))).dpi,
              std::nullopt);
}

TEST(DeclaredResolution, ExifOrientationTellsWhetherThePictureIsStoredTurned)
{
    for (unsigned orientation = 0; orientation <= 9; ++orientation) {
        const Declaration declaration =
            jpegDeclaration(withSegment(jpeg(), 0xE1, resolutionExif(true, 72, 1, 2, orientation)));
        EXPECT_EQ(declaration.storedTurned, orientation >= 2 && orientation <= 8) << orientation;
        EXPECT_EQ(declaration.dpi, 72.0);
    }
    EXPECT_FALSE(jpegDeclaration(withJfif(1, 300, 300)).storedTurned);
}

TEST(DeclaredResolution, MalformedExifDeclaresNothing)
{
    const std::uint32_t data = dataAfter(2);
    const std::vector<std::uint32_t> at400 = {400, 1};
    const auto unitAndResolutionAt = [&](std::uint32_t offset, std::uint32_t count = 1) {
        return std::vector<Entry>{{ResolutionUnit, Short, 1, 2},
                                  {XResolution, Rational, count, offset}};
    };
    const std::vector<std::pair<const char*, QByteArray>> blocks = {
        {"value past the end", exif(false, unitAndResolutionAt(data + 4), at400)},
        {"value offset wrapping round", exif(false, unitAndResolutionAt(0xFFFFFFFC), at400)},
        {"value inside the header", exif(false, unitAndResolutionAt(0), at400)},
        {"huge value count", exif(false, unitAndResolutionAt(data, 0xFFFFFFFF), at400)},
        {"zero denominator", exif(false, unitAndResolutionAt(data), {400, 0})},
        {"resolution as a SHORT", exif(false, {{XResolution, Short, 1, 400}})},
        {"IFD past the end", exif(false, unitAndResolutionAt(data), at400, 0, 4096)},
        {"IFD pointing into the header", exif(false, unitAndResolutionAt(data), at400, 0, 4)},
        {"IFD whose next one is itself", exif(false, {{Orientation, Short, 1, 1}}, {}, 8)},
        {"not TIFF", QByteArray("Exif\0\0XX*\0\x08\0\0\0", 14)},
        {"cut after the byte order", QByteArray("Exif\0\0II", 8)},
    };
    for (const auto& [what, block] : blocks) {
        const QByteArray file = withSegment(jpeg(), 0xE1, block);
        EXPECT_EQ(jpegDeclaration(file).dpi, std::nullopt) << what;
        // Ending the buffer with the block shows any read past it.
        EXPECT_EQ(jpegDeclaration(file.left(2 + 4 + block.size())).dpi, std::nullopt) << what;
    }

    // More entries than the block holds.
    QByteArray huge = exif(false, unitAndResolutionAt(data), at400);
    huge[6 + 8] = static_cast<char>(0xFF);
    huge[6 + 9] = static_cast<char>(0xFF);
    EXPECT_EQ(jpegDeclaration(withSegment(jpeg(), 0xE1, huge)).dpi, std::nullopt);

    // An APP1 segment longer than the file.
    QByteArray cut = withSegment(withoutJfif(jpeg()), 0xE1, resolutionExif(false, 400, 1, 2));
    EXPECT_EQ(jpegDeclaration(cut.left(30)).dpi, std::nullopt);

    // Every cut of a file that declares something, down to nothing: the Exif
    // segment counts once it is whole.
    const QByteArray segment = resolutionExif(true, 400, 1, 2, 6);
    const QByteArray whole = withSegment(withJfif(0, 1, 1), 0xE1, segment);
    const qsizetype exifEnd = 2 + 4 + segment.size();
    for (qsizetype size = 0; size <= whole.size(); ++size) {
        const Bytes bytes = bytesOf(whole, size);
        const Declaration declaration = ReadJpegDeclaration(bytes.data(), bytes.size());
        EXPECT_EQ(declaration.dpi, size >= exifEnd ? std::optional(400.0) : std::nullopt) << size;
        EXPECT_EQ(declaration.storedTurned, size >= exifEnd) << size;
    }
    EXPECT_EQ(ReadJpegDeclaration(nullptr, 0).dpi, std::nullopt);
}

TEST(DeclaredResolution, BmpDeclaresItsHorizontalPixelsPerMetre)
{
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QByteArray file = test::makeBmp(picture, 24, test::BmpHeader::Info40);
    test::put32(file, 38, 11811);
    test::put32(file, 42, 5906);
    EXPECT_NEAR(bmpDpi(file).value(), 299.9994, 1e-9);
    // The file header and the information header are enough.
    EXPECT_NEAR(bmpDpi(file, 54).value(), 299.9994, 1e-9);
    EXPECT_EQ(bmpDpi(file, 41), std::nullopt);

    test::put32(file, 38, 0);
    EXPECT_EQ(bmpDpi(file), std::nullopt);
    test::put32(file, 38, static_cast<std::uint32_t>(-11811));
    EXPECT_EQ(bmpDpi(file), std::nullopt);
    test::put32(file, 38, 0x7FFFFFFF); // 54 million dpi
    EXPECT_EQ(bmpDpi(file), std::nullopt);

    QByteArray v5 = test::makeBmp(picture, 32, test::BmpHeader::V5);
    test::put32(v5, 38, 23622);
    EXPECT_NEAR(bmpDpi(v5).value(), 599.9988, 1e-9);

    // The OS/2 header holds none: offset 38 is in its pixels.
    QByteArray core = test::makeBmp(picture, 24, test::BmpHeader::Core12);
    test::put32(core, 38, 11811);
    EXPECT_EQ(bmpDpi(core), std::nullopt);
    EXPECT_EQ(ReadBmpDeclaredDpi(nullptr, 0), std::nullopt);
}

// Inputs the fuzzer kept, read again under the sanitizers.
TEST(DeclaredResolution, FuzzFindingsDeclareOnlyBelievableResolutions)
{
    const QDir dir(QStringLiteral(KESTRA_TEST_DATA "/fuzz/resolution"));
    for (const QString& name : dir.entryList(QDir::Files)) {
        SCOPED_TRACE(name.toStdString());
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const Bytes bytes = bytesOf(file.readAll());
        for (const std::optional<double> dpi : {ReadJpegDeclaration(bytes.data(), bytes.size()).dpi,
                                                ReadBmpDeclaredDpi(bytes.data(), bytes.size())})
            EXPECT_TRUE(!dpi || (*dpi >= 10.0 && *dpi <= 100000.0));
    }
}

} // namespace
} // namespace kestra
