#pragma once

#include <array>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

namespace kestra {

// How strongly a vein runs along the straight line from a tooth's tip towards
// the petiole point, over the line's middle (a tenth to seven tenths of the
// way): where a vein leaves the margin it is too fine to see, and near the
// petiole point every main vein runs close. The strength is the darkness's
// sharpest curvature, bright veins (a light box) and dark ones (a scan) alike,
// taken at its strongest within two pixels of the line since veins bend a
// little. Only comparisons between teeth of one leaf mean anything.
[[nodiscard]] double VeinTowards(const cv::Mat& darkness, cv::Point2d tip, cv::Point2d petiole);

// The same measure over a part of the darkness worked out once, for the many
// lines a choice among several teeth and branch points draws; the parts of a
// line outside the area do not count.
class VeinStrength {
public:
    VeinStrength(const cv::Mat& darkness, cv::Rect area);
    [[nodiscard]] double Towards(cv::Point2d tip, cv::Point2d petiole) const;

private:
    cv::Rect area;
    cv::Mat strength;
};

// Whether the part of that line VeinTowards measures lies on the blade (mask
// 255): off it, the blade's edge shows as strongly as a vein.
[[nodiscard]] bool VeinInsideBlade(const cv::Mat& mask, cv::Point2d tip, cv::Point2d petiole);

// Where the veins from a pair of tips join on their way to the petiole
// point, and the ways the veins from each tip take there.
struct VeinJoin {
    cv::Point junction;
    std::vector<cv::Point> firstPath;  // from the first tip to the petiole point
    std::vector<cv::Point> secondPath; // from the second tip to the petiole point
};

// Where the veins from pairs of tips towards the petiole point join, in the
// darkness's pixels: the paths that run most along veins from each tip to the
// petiole point, over the blade (mask 255, holes cut out), meet there and run
// on together. The paths from all the tips come from one search, at half the
// resolution, so that a path holds every other pixel of its way. Nothing for
// any pair when a point lies outside the picture.
[[nodiscard]] std::vector<std::optional<VeinJoin>>
VeinJunctions(const cv::Mat& darkness, const cv::Mat& blade, cv::Point petiole,
              const std::vector<std::array<cv::Point, 2>>& pairs);

} // namespace kestra
