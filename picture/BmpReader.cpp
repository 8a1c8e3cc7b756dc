#include "picture/BmpReader.h"

#include "measure/Error.h"
#include "picture/PictureMemory.h"

#include <QBuffer>
#include <QFile>
#include <QList>
#include <QRgb>
#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <sys/uio.h>

namespace kestra {
namespace {

// Bitmap rows are little-endian, and so are the QImage formats they are
// copied into unchanged.
static_assert(std::endian::native == std::endian::little);

constexpr std::uint32_t Uncompressed = 0;
constexpr std::uint32_t Rle8 = 1;
constexpr std::uint32_t Rle4 = 2;
constexpr std::uint32_t BitFields = 3;
constexpr std::uint32_t AlphaBitFields = 6;

constexpr std::int64_t FileHeaderSize = 14;

[[noreturn]] void failInvalid()
{
    throw Error("Bitmap image is not valid");
}

[[noreturn]] void failRead()
{
    throw Error("Stream read error");
}

// The file's first bytes, read only through bounds-checked little-endian
// fields, and the size of the whole file.
class Bytes {
public:
    Bytes(const QByteArray& head, qint64 fileSize)
        : data_(reinterpret_cast<const std::uint8_t*>(head.constData())),
          available_(std::min<qint64>(head.size(), fileSize)), size_(fileSize)
    {}

    [[nodiscard]] std::int64_t size() const { return size_; }

    void require(std::int64_t offset, std::int64_t length) const
    {
        if (offset < 0 || length < 0 || offset > available_ || length > available_ - offset)
            failInvalid();
    }

    [[nodiscard]] const std::uint8_t* at(std::int64_t offset, std::int64_t length) const
    {
        require(offset, length);
        return data_ + offset;
    }

    [[nodiscard]] std::uint16_t u16(std::int64_t offset) const
    {
        const std::uint8_t* p = at(offset, 2);
        return static_cast<std::uint16_t>(p[0] | p[1] << 8);
    }

    [[nodiscard]] std::uint32_t u32(std::int64_t offset) const
    {
        const std::uint8_t* p = at(offset, 4);
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }

    [[nodiscard]] std::int32_t i32(std::int64_t offset) const
    {
        return static_cast<std::int32_t>(u32(offset));
    }

private:
    const std::uint8_t* data_;
    std::int64_t available_;
    std::int64_t size_;
};

struct Header {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = Uncompressed;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue
    QList<QRgb> palette;                  // 2 ^ bitCount entries for 1 to 8 bits
    std::int64_t pixelOffset = 0;
};

bool isKnownInfoHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

bool isValidDepth(int bitCount, std::uint32_t compression)
{
    switch (compression) {
    case Uncompressed:
        return bitCount == 1 || bitCount == 2 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
               bitCount == 24 || bitCount == 32;
    case Rle8:
        return bitCount == 8;
    case Rle4:
        return bitCount == 4;
    case BitFields:
    case AlphaBitFields:
        return bitCount == 16 || bitCount == 32;
    default:
        return false; // embedded JPEG or PNG, Huffman 1D, RLE24
    }
}

QList<QRgb> readPalette(const Bytes& bytes, std::int64_t offset, std::int64_t storedCount,
                        int entrySize, int bitCount)
{
    // The whole stated palette must lie in the file, even the entries beyond
    // 2 ^ depth that no pixel can use.
    if (offset + storedCount * entrySize > bytes.size())
        failInvalid();
    const int entries = 1 << bitCount;
    const int used = static_cast<int>(std::min<std::int64_t>(storedCount, entries));
    QList<QRgb> palette(entries, qRgb(0, 0, 0));
    const std::uint8_t* p = bytes.at(offset, std::int64_t{used} * entrySize);
    for (int i = 0; i < used; ++i, p += entrySize)
        palette[i] = qRgb(p[2], p[1], p[0]);
    return palette;
}

Header readHeader(const Bytes& bytes)
{
    if (bytes.u16(0) != 0x4D42) // "BM"
        failInvalid();
    Header header;
    header.pixelOffset = bytes.u32(10);
    const std::uint32_t headerSize = bytes.u32(FileHeaderSize);
    std::int64_t width = 0;
    std::int64_t height = 0;
    int planes = 0;
    std::int64_t colorsUsed = 0;
    std::int64_t paletteOffset = FileHeaderSize + headerSize;
    int paletteEntrySize = 4;

    if (headerSize == 12) { // OS/2 1.x: unsigned 16-bit sizes, three-byte palette entries
        width = bytes.u16(18);
        height = bytes.u16(20);
        planes = bytes.u16(22);
        header.bitCount = bytes.u16(24);
        paletteEntrySize = 3;
    } else if (isKnownInfoHeaderSize(headerSize)) {
        bytes.require(0, FileHeaderSize + headerSize);
        width = bytes.i32(18);
        height = bytes.i32(22);
        planes = bytes.u16(26);
        header.bitCount = bytes.u16(28);
        header.compression = bytes.u32(30);
        colorsUsed = bytes.u32(46);
        // OS/2 2.x numbers its compressions differently beyond RLE.
        if (headerSize == 64 && header.compression > Rle4)
            failInvalid();
    } else {
        failInvalid();
    }

    if (planes != 1)
        failInvalid();
    if (!isValidDepth(header.bitCount, header.compression))
        failInvalid();
    header.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || width > std::numeric_limits<int>::max() ||
        height > std::numeric_limits<int>::max())
        failInvalid();
    CheckPictureBudget(width, height);
    header.width = static_cast<int>(width);
    header.height = static_cast<int>(height);
    // Run-length data always runs bottom-up.
    if (header.topDown && (header.compression == Rle4 || header.compression == Rle8))
        failInvalid();

    if (header.compression == BitFields || header.compression == AlphaBitFields) {
        // Masks follow a 40-byte header; larger headers hold them at the same place.
        header.masks = {bytes.u32(54), bytes.u32(58), bytes.u32(62)};
        if (headerSize == 40)
            paletteOffset += header.compression == BitFields ? 12 : 16;
    } else if (header.bitCount == 16) {
        header.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (header.bitCount == 24 || header.bitCount == 32) {
        header.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }

    if (header.pixelOffset < paletteOffset || header.pixelOffset > bytes.size())
        failInvalid();

    if (header.bitCount <= 8) {
        std::int64_t stored = colorsUsed;
        if (headerSize == 12) // no count field: the palette fills the gap before the pixels
            stored = std::min<std::int64_t>(1 << header.bitCount,
                                            (header.pixelOffset - paletteOffset) / 3);
        else if (stored == 0)
            stored = 1 << header.bitCount;
        header.palette =
            readPalette(bytes, paletteOffset, stored, paletteEntrySize, header.bitCount);
    }
    return header;
}

QImage allocate(const Header& header, QImage::Format format)
{
    QImage image = AllocatePicture(header.width, header.height, format);
    if (image.isNull()) // beyond what QImage can address
        failInvalid();
    if (format == QImage::Format_Mono || format == QImage::Format_Indexed8)
        image.setColorTable(header.palette);
    return image;
}

// One channel of a bit-field mask, widened to 8 bits.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
    {
        if (mask == 0)
            return;
        shift_ = std::countr_zero(mask);
        bits_ = std::popcount(mask);
        if ((mask >> shift_) != (std::uint32_t{0xFFFFFFFF} >> (32 - bits_)))
            failInvalid(); // a mask with gaps
        mask_ = mask;
    }

    [[nodiscard]] int operator()(std::uint32_t pixel) const
    {
        if (bits_ == 0)
            return 0;
        const std::uint32_t value = (pixel & mask_) >> shift_;
        if (bits_ >= 8)
            return static_cast<int>(value >> (bits_ - 8));
        const std::uint32_t maximum = (std::uint32_t{1} << bits_) - 1;
        return static_cast<int>((value * 255 + maximum / 2) / maximum);
    }

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    int bits_ = 0;
};

QImage::Format uncompressedFormat(const Header& header)
{
    const auto& m = header.masks;
    switch (header.bitCount) {
    case 1:
        return QImage::Format_Mono;
    case 16:
        if (m == std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F})
            return QImage::Format_RGB555;
        if (m == std::array<std::uint32_t, 3>{0xF800, 0x07E0, 0x001F})
            return QImage::Format_RGB16;
        return QImage::Format_RGB888;
    case 24:
        return QImage::Format_BGR888;
    case 32:
        return QImage::Format_RGB32;
    default:
        return QImage::Format_Indexed8;
    }
}

// Turns a row read straight from the file, at the start of its place in the
// picture, into the picture's format where it lies. Formats wider than the
// file's are widened from the last pixel backwards, so that every source
// byte is read before a wider pixel overwrites it.
void finishRow(const Header& header, QImage::Format format, std::uint8_t* row)
{
    const int width = header.width;
    switch (format) {
    case QImage::Format_Indexed8: {
        const int bits = header.bitCount;
        if (bits == 8)
            return;
        const int perByte = 8 / bits;
        const int indexMask = (1 << bits) - 1;
        for (int x = width - 1; x >= 0; --x) {
            const int shift = 8 - bits * (x % perByte + 1);
            row[x] = static_cast<std::uint8_t>(row[x / perByte] >> shift & indexMask);
        }
        return;
    }
    case QImage::Format_RGB555:
        // Qt wants the unused top bit of 5-5-5 clear.
        for (int x = 0; x < width; ++x)
            row[2 * x + 1] &= 0x7F;
        return;
    case QImage::Format_RGB888: { // 16-bit masks Qt has no format for
        const Channel red(header.masks[0]);
        const Channel green(header.masks[1]);
        const Channel blue(header.masks[2]);
        for (int x = width - 1; x >= 0; --x) {
            const std::uint32_t pixel = row[2 * x] | std::uint32_t{row[2 * x + 1]} << 8;
            row[3 * x] = static_cast<std::uint8_t>(red(pixel));
            row[3 * x + 1] = static_cast<std::uint8_t>(green(pixel));
            row[3 * x + 2] = static_cast<std::uint8_t>(blue(pixel));
        }
        return;
    }
    case QImage::Format_RGB32: {
        // Format_RGB32 needs its fourth byte at 0xFF, whatever the file stored there.
        if (header.masks == std::array<std::uint32_t, 3>{0xFF0000, 0x00FF00, 0x0000FF}) {
            // Whole pixels at a time, which the compiler turns into vector
            // operations; a byte at a time took as long as reading the file.
            for (int x = 0; x < width; ++x) {
                std::uint32_t pixel;
                std::memcpy(&pixel, row + 4 * x, 4);
                pixel |= 0xFF000000u;
                std::memcpy(row + 4 * x, &pixel, 4);
            }
            return;
        }
        const Channel red(header.masks[0]);
        const Channel green(header.masks[1]);
        const Channel blue(header.masks[2]);
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, row + 4 * x, 4);
            const QRgb rgb = qRgb(red(pixel), green(pixel), blue(pixel));
            std::memcpy(row + 4 * x, &rgb, 4);
        }
        return;
    }
    default: // Mono, RGB16 and BGR888 hold the file's own bytes
        return;
    }
}

// The most rows one readv takes (IOV_MAX).
constexpr int MaxRowsPerCall = 1024;

// Fills the rows with the file's bytes from offset on, across short reads.
void readFully(int handle, iovec* rows, int count, std::int64_t offset)
{
    while (count > 0) {
        const ssize_t read = ::preadv(handle, rows, count, offset);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            failRead();
        offset += read;
        for (auto left = static_cast<std::size_t>(read); left > 0;) {
            const std::size_t taken = std::min(left, rows->iov_len);
            rows->iov_base = static_cast<char*>(rows->iov_base) + taken;
            rows->iov_len -= taken;
            left -= taken;
            if (rows->iov_len == 0) {
                ++rows;
                --count;
            }
        }
    }
}

QImage readUncompressed(const Header& header, qint64 fileSize, QIODevice& file)
{
    const std::int64_t bitsPerRow = std::int64_t{header.width} * header.bitCount;
    const std::int64_t stride = (bitsPerRow + 31) / 32 * 4;
    const std::int64_t rowBytes = (bitsPerRow + 7) / 8;
    // The last row may lack its padding; every other row must be whole.
    const std::int64_t available = fileSize - header.pixelOffset;
    if (rowBytes > available || header.height - 1 > (available - rowBytes) / stride)
        failInvalid();
    CheckFileSize(fileSize, header.pixelOffset + stride * header.height, header.width,
                  header.height);

    QImage image = allocate(header, uncompressedFormat(header));
    // Each row is read straight into its place in the picture, whose rows are
    // at least as long as the file's, and finished there while it is fresh.
    std::uint8_t* const pixels = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const auto rowAt = [&](int row) {
        return pixels + (header.topDown ? row : header.height - 1 - row) * bytesPerLine;
    };
    const auto lengthOf = [&](int row) { return std::min(stride, available - row * stride); };

    // A file's rows go to their places a batch in one call, the batch about
    // as large as a cache holds for finishing them: a call a row costs more
    // than the copying at 1200 dpi.
    auto* const opened = qobject_cast<QFile*>(&file);
    if (const int handle = opened != nullptr ? opened->handle() : -1; handle >= 0) {
        const int batch = static_cast<int>(std::clamp<std::int64_t>(
            (std::int64_t{1} << 20) / stride, 1, static_cast<std::int64_t>(MaxRowsPerCall)));
        std::array<iovec, MaxRowsPerCall> rows;
        for (int first = 0; first < header.height; first += batch) {
            const int count = std::min(batch, header.height - first);
            for (int i = 0; i < count; ++i)
                rows[i] = {rowAt(first + i), static_cast<std::size_t>(lengthOf(first + i))};
            readFully(handle, rows.data(), count, header.pixelOffset + first * stride);
            for (int i = 0; i < count; ++i)
                finishRow(header, image.format(), rowAt(first + i));
        }
        return image;
    }
    if (!file.seek(header.pixelOffset))
        failRead();
    for (int row = 0; row < header.height; ++row) {
        const qint64 length = lengthOf(row);
        if (file.read(reinterpret_cast<char*>(rowAt(row)), length) != length)
            failRead();
        finishRow(header, image.format(), rowAt(row));
    }
    return image;
}

// Runs of RLE4 and RLE8. Pixels the data never reaches (after an end of line,
// a jump or an early end) keep index 0.
QImage readRunLength(const Header& header, qint64 fileSize, QIODevice& file)
{
    const bool fourBits = header.compression == Rle4;
    const std::int64_t dataSize = fileSize - header.pixelOffset;
    // Two bytes encode at most 255 pixels. A picture larger than its data
    // could fill that way is not a plausible bitmap, and refusing it keeps
    // the allocation in proportion to the file.
    const std::int64_t pixels = std::int64_t{header.width} * header.height;
    if (pixels / 128 > std::max<std::int64_t>(dataSize, 2))
        failInvalid();
    // The longest data a writer makes: each pixel a run of its own, and an
    // end of line after each row.
    CheckFileSize(fileSize, header.pixelOffset + 2 * pixels + 2 * header.height + 2, header.width,
                  header.height);
    if (!file.seek(header.pixelOffset))
        failRead();
    const QByteArray bytes = file.read(dataSize);
    if (bytes.size() != dataSize)
        failRead();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());

    QImage image = allocate(header, QImage::Format_Indexed8);
    image.fill(0);
    const int width = header.width;
    const int height = header.height;
    std::int64_t x = 0;
    std::int64_t row = 0; // counted from the bottom
    std::int64_t at = 0;
    auto pixelsAt = [&](std::int64_t count) {
        if (row >= height || count > width - x)
            failInvalid(); // a run beyond the row or below the last row
        std::uint8_t* line = image.scanLine(height - 1 - static_cast<int>(row));
        return line + x;
    };

    while (dataSize - at >= 2) {
        const int count = data[at];
        const int value = data[at + 1];
        at += 2;
        if (count > 0) {
            std::uint8_t* out = pixelsAt(count);
            for (int i = 0; i < count; ++i)
                out[i] = static_cast<std::uint8_t>(
                    fourBits ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            x += count;
        } else if (value == 0) { // end of line
            x = 0;
            ++row;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // jump right and up
            if (dataSize - at < 2)
                break;
            x += data[at];
            row += data[at + 1];
            at += 2;
            if (x > width || row > height)
                failInvalid();
        } else { // a literal stretch, padded to an even number of bytes
            const std::int64_t length = fourBits ? (value + 1) / 2 : value;
            if (length > dataSize - at)
                failInvalid();
            std::uint8_t* out = pixelsAt(value);
            for (int i = 0; i < value; ++i)
                out[i] = fourBits ? static_cast<std::uint8_t>(i % 2 == 0 ? data[at + i / 2] >> 4
                                                                         : data[at + i / 2] & 0x0F)
                                  : data[at + i];
            x += value;
            at += length + length % 2;
        }
    }
    return image;
}

} // namespace

QImage ReadBmp(const QByteArray& head, QIODevice& file)
{
    const qint64 fileSize = file.size();
    if (fileSize == 0)
        return {};
    if (fileSize < FileHeaderSize)
        failRead();
    const Header header = readHeader(Bytes(head, fileSize));
    if (header.compression == Rle4 || header.compression == Rle8)
        return readRunLength(header, fileSize, file);
    return readUncompressed(header, fileSize, file);
}

QImage ReadBmp(const QByteArray& file)
{
    QByteArray shared = file;
    QBuffer buffer(&shared);
    buffer.open(QIODevice::ReadOnly);
    return ReadBmp(file, buffer);
}

} // namespace kestra
