#pragma once

#include <array>
#include <cstdint>

namespace kestra {

// P(1) to P(32) are the landmarks the user places; 33 is the auxiliary point
// that only the analysis writes (a midpoint of two landmarks).
inline constexpr int LandmarkCount = 32;
inline constexpr int AuxiliaryPoint = 33;

// Coordinates of landmarks 1 to 33, indexed as the user numbers them. There is
// no index 0.
class LandmarkCoordinates {
public:
    double& operator[](int index) { return values_.at(static_cast<std::size_t>(index - 1)); }
    double operator[](int index) const { return values_.at(static_cast<std::size_t>(index - 1)); }

private:
    std::array<double, AuxiliaryPoint> values_{};
};

// The landmark set: picture-pixel coordinates, origin at the top-left pixel,
// y growing downwards.
struct Landmarks {
    LandmarkCoordinates PointX;
    LandmarkCoordinates PointY;

    // A landmark is missing when its index lies outside 1..33 or when both of
    // its coordinates are exactly 0.0: the arrays start at zero and reset
    // writes zero, so (0, 0) is the only mark of "not recorded". A landmark
    // placed on the top-left pixel therefore counts as missing.
    [[nodiscard]] bool IsPointMissing(std::int32_t index) const;
};

} // namespace kestra
