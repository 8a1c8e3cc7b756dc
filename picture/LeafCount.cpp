#include "picture/LeafCount.h"

#include "measure/Error.h"
#include "measure/LeafSurface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestra {
namespace {

constexpr int WordValues = 1 << 16;
// Rows converted at a time for the formats read through Qt's conversion: a
// strip of about a megabyte once converted, whatever the picture's size, so
// that it is counted while still in the cache.
constexpr int StripPixels = 1 << 18;

bool countsAsLeaf(QRgb colour)
{
    return IsLeafColour(qBlue(colour), qGreen(colour), qRed(colour));
}

// Whether each of the 65536 pixel values of a 16-bit format counts, found by
// converting all of them the way the leaf surface converts the picture.
std::vector<std::uint8_t> wordTable(QImage::Format format)
{
    QImage every(256, 256, format);
    if (every.isNull())
        return {};
    for (int high = 0; high < 256; ++high) {
        uchar* row = every.scanLine(high);
        for (int low = 0; low < 256; ++low) {
            const auto value = static_cast<std::uint16_t>(high << 8 | low);
            std::memcpy(row + 2 * low, &value, sizeof value);
        }
    }
    const QImage converted = every.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull())
        return {};
    std::vector<std::uint8_t> table(WordValues);
    for (int high = 0; high < 256; ++high) {
        const auto* row = reinterpret_cast<const QRgb*>(converted.constScanLine(high));
        for (int low = 0; low < 256; ++low)
            table[static_cast<std::size_t>(high << 8 | low)] = countsAsLeaf(row[low]);
    }
    return table;
}

const std::uint8_t* leafWords(QImage::Format format)
{
    if (format == QImage::Format_RGB555) {
        static const std::vector<std::uint8_t> rgb555 = wordTable(QImage::Format_RGB555);
        return rgb555.empty() ? nullptr : rgb555.data();
    }
    static const std::vector<std::uint8_t> rgb16 = wordTable(QImage::Format_RGB16);
    return rgb16.empty() ? nullptr : rgb16.data();
}

// Whether each palette index counts, found by converting a picture of every
// index with the same palette, so that indices past its end and the alpha of
// its entries come out as the leaf surface's conversion makes them.
bool fillIndexTable(const QImage& picture, std::array<std::uint8_t, 256>& table)
{
    const bool indexed8 = picture.format() == QImage::Format_Indexed8;
    QImage every(indexed8 ? 256 : 2, 1, picture.format());
    if (every.isNull())
        return false;
    every.setColorTable(picture.colorTable());
    if (indexed8) {
        for (int i = 0; i < 256; ++i)
            every.scanLine(0)[i] = static_cast<uchar>(i);
    } else {
        every.setPixel(0, 0, 0);
        every.setPixel(1, 0, 1);
    }
    const QImage converted = every.convertToFormat(QImage::Format_RGB32);
    if (converted.isNull())
        return false;
    const auto* colours = reinterpret_cast<const QRgb*>(converted.constScanLine(0));
    for (int i = 0; i < converted.width(); ++i)
        table[static_cast<std::size_t>(i)] = countsAsLeaf(colours[i]);
    return true;
}

// Rows of a picture that Qt converts itself, read in place without a copy.
// The count adds blue, green and red alike, so blue-first pixels are read as
// red-first ones, whose conversion Qt has fast.
QImage rowsOf(const QImage& picture, int top, int rows)
{
    const QImage::Format format =
        picture.format() == QImage::Format_BGR888 ? QImage::Format_RGB888 : picture.format();
    return QImage(picture.constScanLine(top), picture.width(), rows, picture.bytesPerLine(),
                  format);
}

} // namespace

LeafCount::LeafCount(const QImage& picture) : picture_(picture)
{
    switch (picture.format()) {
    case QImage::Format_Invalid:
        return;
    // The conversion to 32 bits only sets the fourth byte of these.
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        reading_ = Reading::Rgb32;
        return;
    // Three-byte pixels defeat the vectorizer; Qt's conversion of a strip
    // that stays in the cache, and the vectorized count over it, read a page
    // faster than a byte-by-byte loop.
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        reading_ = Reading::Converted;
        return;
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        if (fillIndexTable(picture, leafIndex_)) {
            reading_ = picture.format() == QImage::Format_Indexed8 ? Reading::Indexed
                       : picture.format() == QImage::Format_Mono   ? Reading::Mono
                                                                   : Reading::MonoLsb;
            return;
        }
        break;
    case QImage::Format_RGB555:
    case QImage::Format_RGB16:
        leafWord_ = leafWords(picture.format());
        if (leafWord_ != nullptr) {
            reading_ = Reading::Words;
            return;
        }
        break;
    default:
        break;
    }
    reading_ = Reading::Converted;
}

std::uint64_t LeafCount::pixelsInRow(int y, int left, int width) const
{
    const uchar* row = picture_.constScanLine(y);
    const int end = left + width;
    std::uint64_t count = 0;
    switch (reading_) {
    case Reading::Indexed:
        for (int x = left; x < end; ++x)
            count += leafIndex_[row[x]];
        break;
    case Reading::Mono:
        for (int x = left; x < end; ++x)
            count += leafIndex_[row[x >> 3] >> (7 - (x & 7)) & 1];
        break;
    case Reading::MonoLsb:
        for (int x = left; x < end; ++x)
            count += leafIndex_[row[x >> 3] >> (x & 7) & 1];
        break;
    case Reading::Words:
        for (int x = left; x < end; ++x) {
            std::uint16_t value;
            std::memcpy(&value, row + 2 * x, sizeof value);
            count += leafWord_[value];
        }
        break;
    default: // whole areas at a time, in pixelsIn
        break;
    }
    return count;
}

std::uint64_t LeafCount::convertedPixelsIn(const QRect& area) const
{
    const int stripRows = std::max(1, StripPixels / picture_.width());
    std::uint64_t count = 0;
    for (int top = area.top(); top <= area.bottom(); top += stripRows) {
        const int rows = std::min(stripRows, area.bottom() + 1 - top);
        const QImage strip = rowsOf(picture_, top, rows).convertToFormat(QImage::Format_RGB32);
        if (strip.isNull())
            throw Error("Out of memory");
        count += CountLeafPixels(PixelRows{strip.constScanLine(0) + 4 * area.left(), area.width(),
                                           rows, strip.bytesPerLine()});
    }
    return count;
}

std::uint64_t LeafCount::pixelsIn(const QRect& area) const
{
    const QRect inside = area & picture_.rect();
    if (inside.isEmpty() || reading_ == Reading::Nothing)
        return 0;
    if (reading_ == Reading::Rgb32)
        return CountLeafPixels(PixelRows{picture_.constScanLine(inside.top()) + 4 * inside.left(),
                                         inside.width(), inside.height(), picture_.bytesPerLine()});
    if (reading_ == Reading::Converted)
        return convertedPixelsIn(inside);
    std::uint64_t count = 0;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        count += pixelsInRow(y, inside.left(), inside.width());
    return count;
}

std::uint64_t CountLeafPixels(const QImage& picture)
{
    return LeafCount(picture).pixelsIn(picture.rect());
}

std::uint64_t CountLeafPixels(const QImage& picture, const QRect& area)
{
    return LeafCount(picture).pixelsIn(area);
}

} // namespace kestra
