#pragma once

#include "measure/Landmarks.h"

namespace kestra {

// Each operation returns -1.0 for an index outside the range it accepts;
// callers check indices first, since -1.0 looks like an ordinary number.

// Straight-line distance in picture pixels; accepts 1..33. Unrecorded
// landmarks take part with their stored (0, 0).
[[nodiscard]] double PointDistance(const Landmarks& landmarks, int a, int b);

// Midpoint coordinates of two user landmarks; accepts 1..32.
[[nodiscard]] double MidpointX(const Landmarks& landmarks, int a, int b);
[[nodiscard]] double MidpointY(const Landmarks& landmarks, int a, int b);

// Direction of the ray from a to b in degrees, -180..+180, growing towards
// increasing y (clockwise on screen); accepts 1..32.
[[nodiscard]] double DirectionAngle(const Landmarks& landmarks, int a, int b);

// Millimetres per picture pixel, 25.4 / dpi. Throws Error "Floating point
// division by zero" for a dpi of 0 and "Floating point overflow" when the
// quotient exceeds the range of a double.
[[nodiscard]] double ScaleFactor(double dpi);

} // namespace kestra
