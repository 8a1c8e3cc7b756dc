#pragma once

#include <QImage>
#include <QPointF>
#include <array>
#include <cstdint>

namespace kestra {

// A leaf drawn from a seed, with its 32 landmarks where they lie in the
// picture.
struct SyntheticLeaf {
    QImage picture; // RGB32
    int dpi = 0;
    // P(1) to P(32) as TPS writes them: x = column, y = picture height - row,
    // in pixels (a pixel's centre is at whole numbers); (-1, -1) for none.
    std::array<QPointF, 32> landmarks{};
};

// The same seed gives the same leaf and picture. dpi 0 draws the resolution
// from the seed (150 to 1200, log-uniform); any other value fixes it, and the
// leaf is then the one the seed gives at its own resolution, drawn to scale.
[[nodiscard]] SyntheticLeaf DrawSyntheticLeaf(std::uint64_t seed, int dpi = 0);

} // namespace kestra
