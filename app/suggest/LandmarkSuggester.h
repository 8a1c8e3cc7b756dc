#pragma once

#include "measure/Landmarks.h"
#include "measure/LeafSurface.h"

namespace kestra {

// Finds the leaf in a 32-bit picture (the rows rgb32Rows hands out) and
// suggests the landmarks it can place with confidence, in whole picture
// pixels as a click records them. The others stay missing (0, 0): a wrong
// suggestion costs the user more than none.
//
// The halves are numbered clockwise round the leaf as the picture shows it:
// with the apex up, P(9) to P(19) lie on the left. MirroredHalves gives the
// other convention.
[[nodiscard]] Landmarks SuggestLandmarks(const PixelRows& picture);

// The same landmarks with the leaf's halves swapped: P(2) with P(6), P(3)
// with P(5), P(7) with P(8), and P(9)..P(19) with P(31)..P(21).
[[nodiscard]] Landmarks MirroredHalves(const Landmarks& landmarks);

} // namespace kestra
