#pragma once

#include "app/suggest/LandmarkSuggester.h"
#include "measure/Landmarks.h"

#include <cmath>

namespace kestra {

// The suggester's answer as the window and `kestra suggest` both place it:
// its halves swapped when the user numbers them the other way, and each
// point kept only where a click could have placed it, on a whole pixel of
// the picture. Anything else (off the picture, not a number) is left out.
[[nodiscard]] inline Landmarks SuggestionPoints(const Landmarks& found, int width, int height,
                                                bool mirror)
{
    const Landmarks numbered = mirror ? MirroredHalves(found) : found;
    Landmarks kept;
    for (int n = 1; n <= LandmarkCount; ++n) {
        const double x = std::round(numbered.PointX[n]);
        const double y = std::round(numbered.PointY[n]);
        if (!(x >= 0.0 && x < width && y >= 0.0 && y < height))
            continue;
        kept.PointX[n] = x;
        kept.PointY[n] = y;
    }
    return kept;
}

} // namespace kestra
