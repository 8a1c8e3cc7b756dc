#include "app/suggest/LandmarkSuggester.h"

#include <utility>

namespace kestra {

Landmarks SuggestLandmarks(const PixelRows&)
{
    return {};
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
