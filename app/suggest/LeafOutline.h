#pragma once

#include "measure/LeafSurface.h"

#include <opencv2/core.hpp>
#include <optional>
#include <utility>
#include <vector>

namespace kestra {

// A petiole cut off the blade: where it meets the blade, the way along it
// into the blade, and its width.
struct CutPetiole {
    cv::Point2d base;
    cv::Point2d inward; // of unit length
    double width = 0.0;
};

// The leaf found in a picture, worked on at a reduced resolution: its mask
// (the blade, holes filled, petiole cut off), its outline and its holes.
// Coordinates are those of the work images; toPicture maps them back to
// picture pixels.
struct LeafOutline {
    cv::Mat mask;                     // 8-bit, 255 on the blade
    cv::Mat darkness;                 // 8-bit, how much darker than the background
    std::vector<cv::Point2d> outline; // the blade's outer edge, closed, one pixel a step
    // The edges of large or long holes in the blade: where two lobes touch, a
    // sinus (the petiole sinus too) is closed off and shows as a hole.
    std::vector<std::vector<cv::Point2d>> holes;
    std::optional<CutPetiole> petiole;
    double scale = 1.0; // picture pixels per work pixel
    cv::Point2d origin; // the work image's corner in the picture
    double size = 0.0;  // the blade's size: the square root of its area, in work pixels
    cv::Point2d middle; // the blade's centre of area
    // How much the outline turns at each point over a tooth's scale (a
    // hundredth of the size or so), as Turning gives it.
    std::vector<double> turning;

    [[nodiscard]] cv::Point2d toPicture(cv::Point2d point) const
    {
        return origin + (point + cv::Point2d(0.5, 0.5)) * scale - cv::Point2d(0.5, 0.5);
    }
};

// The largest object that stands out from the picture's own background
// (estimated from its border), or nothing when none stands out.
[[nodiscard]] std::optional<LeafOutline> FindLeafOutline(const PixelRows& picture);

// How much the outline turns at each point, in degrees, over reach points
// either side: positive where it bulges out (a tooth tip), negative where it
// turns in (a notch), whichever way round the outline runs.
[[nodiscard]] std::vector<double> Turning(const std::vector<cv::Point2d>& outline, int reach);

// Landmarks of the outline and the petiole point, numbered clockwise as the
// picture shows the leaf, in the work images' pixels. Those in doubt are
// among them, as they still show the way of their veins to the branch
// points, but are not to be suggested.
struct OutlinePoints {
    std::vector<std::pair<int, cv::Point2d>> landmarks;
    std::vector<int> inDoubt;

    // The landmarks to suggest: those found but for those in doubt.
    [[nodiscard]] std::vector<std::pair<int, cv::Point2d>> suggestable() const;
};
[[nodiscard]] OutlinePoints OutlineLandmarks(const LeafOutline& leaf);

} // namespace kestra
