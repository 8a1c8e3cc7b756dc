#include "picture/LeafCount.h"

#include "measure/Error.h"
#include "measure/LeafSurface.h"
#include "picture/PictureMemory.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kestra {
namespace {

// Rows converted at a time for the formats read through Qt's conversion: a
// strip of about a megabyte once converted, whatever the picture's size, so
// that it is counted while still in the cache.
constexpr int StripPixels = 1 << 18;

// Whether each pixel value of a palette or 16-bit picture counts, as the
// leaf surface would find after its conversion to 32 bits.
std::vector<std::uint8_t> leafValues(const QImage& picture)
{
    std::vector<std::uint8_t> leaf;
    for (const QRgb colour : WidenedValues(picture))
        leaf.push_back(IsLeafRgb(colour));
    return leaf;
}

// The 16-bit tables depend on the format alone and are made once.
const std::uint8_t* leafWords(QImage::Format format)
{
    if (format == QImage::Format_RGB555) {
        static const std::vector<std::uint8_t> rgb555 = leafValues(QImage(1, 1, format));
        return rgb555.data();
    }
    static const std::vector<std::uint8_t> rgb16 = leafValues(QImage(1, 1, format));
    return rgb16.data();
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
    case QImage::Format_MonoLSB: {
        const std::vector<std::uint8_t> leaf = leafValues(picture);
        std::copy(leaf.begin(), leaf.end(), leafIndex_.begin());
        reading_ = picture.format() == QImage::Format_Indexed8 ? Reading::Indexed
                   : picture.format() == QImage::Format_Mono   ? Reading::Mono
                                                               : Reading::MonoLsb;
        return;
    }
    case QImage::Format_RGB555:
    case QImage::Format_RGB16:
        leafWord_ = leafWords(picture.format());
        reading_ = Reading::Words;
        return;
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

std::uint64_t CountLeafPixels(const QImage& picture, const QRegion& area)
{
    // A region's rectangles never overlap.
    const LeafCount leaf(picture);
    std::uint64_t count = 0;
    for (const QRect& box : area)
        count += leaf.pixelsIn(box);
    return count;
}

} // namespace kestra
