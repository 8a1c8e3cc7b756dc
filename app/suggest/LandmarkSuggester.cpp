#include "app/suggest/LandmarkSuggester.h"

#include "app/suggest/LeafOutline.h"

#include <utility>

namespace kestra {

Landmarks SuggestLandmarks(const PixelRows& picture)
{
    Landmarks suggested;
    const std::optional<LeafOutline> leaf = FindLeafOutline(picture);
    if (!leaf)
        return suggested;
    for (const auto& [landmark, point] : OutlineLandmarks(*leaf)) {
        // A click records whole pixels; (0, 0) would read as missing.
        const double x = std::max(1.0, std::round(point.x));
        const double y = std::max(1.0, std::round(point.y));
        suggested.PointX[landmark] = x;
        suggested.PointY[landmark] = y;
    }
    return suggested;
}

Landmarks MirroredHalves(const Landmarks& landmarks)
{
    static constexpr std::pair<int, int> Pairs[] = {{2, 6}, {3, 5}, {7, 8}};
    Landmarks mirrored = landmarks;
    auto swap = [&](int a, int b) {
        std::swap(mirrored.PointX[a], mirrored.PointX[b]);
        std::swap(mirrored.PointY[a], mirrored.PointY[b]);
    };
    for (const auto& [a, b] : Pairs)
        swap(a, b);
    for (int n = 9; n <= 19; ++n)
        swap(n, 40 - n);
    return mirrored;
}

} // namespace kestra
