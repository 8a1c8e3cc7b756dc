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

// Pixels whose blue, green and red add up to 659 or less: everything darker
// than a light background (a channel mean below 220).
[[nodiscard]] std::uint64_t CountLeafPixels(const PixelRows& pixels);

// The area of one pixel in square centimetres. Throws Error "Floating point
// overflow" when it exceeds the range of a double.
[[nodiscard]] double PixelArea(double scaleFactor);

// The leaf surface in square centimetres at the given millimetres per pixel.
// Throws Error "Floating point overflow" when the pixel area or the surface
// exceeds the range of a double.
[[nodiscard]] double LeafSurface(const PixelRows& pixels, double scaleFactor);

} // namespace kestra
