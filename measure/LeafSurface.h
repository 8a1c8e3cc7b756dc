#pragma once

#include <cstddef>
#include <cstdint>

namespace kestra {

// Rows of 32-bit pixels, bytes blue, green, red and one ignored, top row first.
// The picture side hands its bitmap over in this form, so the count needs no
// picture type.
struct PixelRows {
    const std::uint8_t* base = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t bytesPerRow = 0;
};

// Blue, green and red adding up to less than this count as leaf: everything
// darker than a light background (a channel mean below 220).
inline constexpr unsigned LeafThreshold = 660;

// The one rule of what counts as leaf, shared by the count and by whatever
// shows the counted pixels.
[[nodiscard]] constexpr bool IsLeafColour(unsigned blue, unsigned green, unsigned red)
{
    return blue + green + red < LeafThreshold;
}

// Pixels whose blue, green and red add up to 659 or less.
[[nodiscard]] std::uint64_t CountLeafPixels(const PixelRows& pixels);

// The area of one pixel in square centimetres. Throws Error "Floating point
// overflow" when it exceeds the range of a double.
[[nodiscard]] double PixelArea(double scaleFactor);

// The surface in square centimetres of a count of leaf pixels. Throws Error
// "Floating point overflow" when the pixel area or the surface exceeds the
// range of a double.
[[nodiscard]] double LeafSurfaceOf(std::uint64_t pixels, double scaleFactor);

// The leaf surface in square centimetres at the given millimetres per pixel.
// Throws Error "Floating point overflow" when the pixel area or the surface
// exceeds the range of a double.
[[nodiscard]] double LeafSurface(const PixelRows& pixels, double scaleFactor);

} // namespace kestra
