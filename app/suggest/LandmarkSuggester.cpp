#include "app/suggest/LandmarkSuggester.h"

#include "app/suggest/LeafOutline.h"
#include "app/suggest/Veins.h"

#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>
#include <utility>

namespace kestra {

namespace {

// Where N3 branches into N4 on each half: where the veins from the N3 and N4
// tips join on their way to the petiole point. On the real leaves traced that
// lies a tenth to a quarter of the way from the petiole point to the N3 tip;
// a junction beyond a third of the way, or nearer than a tenth, is where a
// path left the veins, and is left to the user.
std::vector<std::pair<int, cv::Point2d>>
BranchPoints(const LeafOutline& leaf, const std::vector<std::pair<int, cv::Point2d>>& outline)
{
    std::map<int, cv::Point> at;
    for (const auto& [landmark, point] : outline)
        at[landmark] = cv::Point(static_cast<int>(std::lround(point.x)),
                                 static_cast<int>(std::lround(point.y)));
    std::vector<std::pair<int, cv::Point2d>> branches;
    if (!at.contains(1))
        return branches;
    // The blade without its holes, whose edges would pass for veins.
    cv::Mat blade = leaf.mask.clone();
    std::vector<std::vector<cv::Point>> holes;
    for (const auto& hole : leaf.holes) {
        holes.emplace_back();
        for (const cv::Point2d& point : hole)
            holes.back().emplace_back(static_cast<int>(std::lround(point.x)),
                                      static_cast<int>(std::lround(point.y)));
    }
    cv::drawContours(blade, holes, -1, cv::Scalar(0), cv::FILLED);
    static constexpr struct {
        int branch, n3, n4;
    } Halves[] = {{2, 13, 11}, {6, 27, 29}};
    for (const auto& half : Halves) {
        if (!at.contains(half.n3) || !at.contains(half.n4))
            continue;
        const auto join = VeinJunction(leaf.darkness, blade, at[1], at[half.n3], at[half.n4]);
        if (!join)
            continue;
        const cv::Point out = *join - at[1];
        const cv::Point n3 = at[half.n3] - at[1];
        const double share = std::hypot(out.x, out.y) / std::hypot(n3.x, n3.y);
        if (share >= 0.1 && share <= 0.35)
            branches.emplace_back(half.branch, *join);
    }
    return branches;
}

} // namespace

Landmarks SuggestLandmarks(const PixelRows& picture)
{
    Landmarks suggested;
    const std::optional<LeafOutline> leaf = FindLeafOutline(picture);
    if (!leaf)
        return suggested;
    std::vector<std::pair<int, cv::Point2d>> found = OutlineLandmarks(*leaf);
    const std::vector<std::pair<int, cv::Point2d>> branches = BranchPoints(*leaf, found);
    found.insert(found.end(), branches.begin(), branches.end());
    for (const auto& [landmark, work] : found) {
        const cv::Point2d point = leaf->toPicture(work);
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
