#pragma once

#include "measure/LeafSurface.h"

#include <QImage>
#include <QRect>
#include <QRegion>
#include <array>
#include <cstdint>

namespace kestra {

// Whether the leaf surface counts a colour as Qt gives it.
[[nodiscard]] inline bool IsLeafRgb(QRgb colour)
{
    return IsLeafColour(qBlue(colour), qGreen(colour), qRed(colour));
}

// The pixels of a picture that the leaf surface counts, read in the picture's
// own format. The leaf surface counts after converting the picture to 32 bits
// (a lasting change); this gives the same answer for every format without
// touching the picture: palettes and 16-bit pixels go through a table of
// which values count, made with Qt's own conversion; 32-bit pixels are read
// in place; other formats are converted a few rows at a time.
//
// It keeps a reference to the picture, which must outlive it unchanged.
class LeafCount {
public:
    explicit LeafCount(const QImage& picture);

    // The counted pixels inside area, clipped to the picture. Throws Error
    // "Out of memory" when a strip cannot be converted.
    [[nodiscard]] std::uint64_t pixelsIn(const QRect& area) const;

private:
    enum class Reading { Nothing, Rgb32, Indexed, Mono, MonoLsb, Words, Converted };

    // For the formats read byte by byte.
    [[nodiscard]] std::uint64_t pixelsInRow(int y, int left, int width) const;
    [[nodiscard]] std::uint64_t convertedPixelsIn(const QRect& area) const;

    const QImage& picture_;
    Reading reading_ = Reading::Nothing;
    // For palettes: whether each index counts.
    std::array<std::uint8_t, 256> leafIndex_{};
    // For 16-bit pixels: whether each of the 65536 values counts.
    const std::uint8_t* leafWord_ = nullptr;
};

// The pixels the leaf surface would count in picture (or in area of it, clipped
// to the picture), with its markers, after its conversion to 32 bits; the
// picture itself stays as it is.
[[nodiscard]] std::uint64_t CountLeafPixels(const QImage& picture);
[[nodiscard]] std::uint64_t CountLeafPixels(const QImage& picture, const QRegion& area);

} // namespace kestra
