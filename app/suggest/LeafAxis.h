#pragma once

#include "app/suggest/LeafOutline.h"

#include <opencv2/core.hpp>
#include <optional>
#include <vector>

namespace kestra {

// The leaf's mirror line: a point on it and its direction.
struct MirrorLine {
    cv::Point2d point;
    cv::Point2d direction;
    double overlap = 0.0; // of the mask with its mirror image, 0..1
};

// The two halves of a vine leaf mirror each other about the line from the
// petiole point to the apex. A lobed leaf has other near-mirrors too (through
// a lateral lobe), so the best few, in clearly different directions, are
// searched coarsely over every direction and then finely.
[[nodiscard]] std::vector<MirrorLine> FindMirrorLines(const cv::Mat& mask);

// The leaf's axis: the petiole point and the way from it to the apex.
struct Axis {
    cv::Point2d petiole;
    cv::Point2d apexward;
    double score = 0.0;
};

// The leaf's axis along a mirror line: the apex at the end that reaches
// farther from the blade's middle, unless only the other end shows a deep
// petiole sinus, and the petiole point just inside the sinus's head.
// Nothing where no sinus's head lies on the line.
[[nodiscard]] std::optional<Axis> AxisAlong(const LeafOutline& leaf, const MirrorLine& line);

// A petiole that lies over the blade, across a petiole sinus its lobes have
// closed, hides the sinus's head: the petiole point is where the petiole's
// band ends, the midrib going on from there narrower. Nothing when the cut
// petiole does not run on over the blade.
[[nodiscard]] std::optional<cv::Point2d> PetioleEnd(const LeafOutline& leaf,
                                                    const CutPetiole& petiole);

// A petiole cut off at the blade's margin leaves no stalk to cut off, yet it
// may lie on over the blade, across a petiole sinus its lobes have closed,
// with the head found at its side. Then a band as wide as a petiole, lighter
// or darker than the blade beside it, crosses the axis there: its line, as a
// cut petiole's would be, starting a little short of the head. Nothing where
// no such band crosses within a few pixels.
[[nodiscard]] std::optional<CutPetiole> PetioleAcross(const LeafOutline& leaf, const Axis& axis);

} // namespace kestra
