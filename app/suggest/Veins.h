#pragma once

#include "app/suggest/LeafOutline.h"

#include <opencv2/core.hpp>
#include <optional>

namespace kestra {

// The blade's veins as a ridge filter sees them: lines lighter than the
// tissue beside them, on a light box and on most scans alike.
struct Veins {
    cv::Mat strength;  // float, 0 off the veins
    cv::Mat direction; // float pairs (x, y): the unit direction along each vein
};

[[nodiscard]] Veins FindVeins(const LeafOutline& leaf);

// Where the main veins part: the point on the leaf's mirror line that most
// veins leave sideways. Points on the midrib above it see only side veins,
// which are thinner; points beyond it see the petiole sinus.
[[nodiscard]] std::optional<cv::Point2d> VeinConvergence(const LeafOutline& leaf,
                                                         const Veins& veins, cv::Point2d linePoint,
                                                         cv::Point2d lineDirection);

} // namespace kestra
