#include "app/suggest/LandmarkSuggester.h"

#include "app/suggest/LeafOutline.h"
#include "app/suggest/Veins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <type_traits>
#include <utility>

namespace kestra {

namespace {

// The index of the point of a line (an outline, a path) nearest a given one.
template <typename Point>
int NearestIndex(const std::vector<Point>& line, std::type_identity_t<Point> point)
{
    // By the squared distance, each worked out once: the line is long.
    int nearest = 0;
    double least = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < line.size(); ++i) {
        const cv::Point2d offset = line[i] - point;
        if (const double squared = offset.dot(offset); squared < least) {
            least = squared;
            nearest = static_cast<int>(i);
        }
    }
    return nearest;
}

// The first tooth tip met walking along the outline from one index towards
// another, the shorter way round: where the outline bulges out by more than
// a notch's turn. Nothing when it bulges nowhere between.
std::optional<cv::Point> FirstTooth(const std::vector<cv::Point2d>& outline,
                                    const std::vector<double>& turning, int from, int to)
{
    constexpr double Bulge = 20.0;
    const int count = static_cast<int>(outline.size());
    const int forward = (to - from + count) % count;
    const int step = forward <= count / 2 ? 1 : -1;
    const int steps = step > 0 ? forward : count - forward;
    auto turnAt = [&](int i) { return turning[static_cast<std::size_t>((i + count) % count)]; };
    // A step or two off the notch's deepest point, which may lean either way.
    for (int k = 2; k + 1 < steps; ++k) {
        const int i = from + step * k;
        if (turnAt(i) > Bulge && turnAt(i) >= turnAt(i - 1) && turnAt(i) >= turnAt(i + 1)) {
            const cv::Point2d tip = outline[static_cast<std::size_t>((i + count) % count)];
            return cv::Point(static_cast<int>(std::lround(tip.x)),
                             static_cast<int>(std::lround(tip.y)));
        }
    }
    return std::nullopt;
}

// Where the paths from the N3 and N4 tips meet only at the petiole point,
// the one from the N3 tip has left N3 for a vein running close beside it,
// while the one from the N4 tip runs down N4 and on down N3 through the
// branch point, and turns there: the branch point is the point of that path
// farthest off the straight line from the N4 tip to the petiole point. It is
// taken only as a corner, not where the path runs farther off the farther it
// goes (out to three fifths of N3's length), and only where it lies between a
// twenty-fifth and a tenth of N3's length off that line and a tenth to a
// third of the way out. On the 20 real leaves traced, that gave three branch
// points, all within 2 mm; a slighter bend (one) and one that went on
// widening (one) were no branch points. On 1000 synthetic leaves it gives
// none: where their paths meet at the petiole point, no bend lies within
// those bounds.
std::optional<cv::Point> N4Bend(const std::vector<cv::Point>& n4Path, cv::Point petiole,
                                cv::Point n4Tip, double n3Length)
{
    const cv::Point2d chord = n4Tip - petiole;
    std::optional<cv::Point> bend;
    double farthest = 0.0;
    double share = 0.0;
    for (const cv::Point at : n4Path) {
        const cv::Point2d out = at - petiole;
        const double along = cv::norm(out) / n3Length;
        const double off = std::abs(out.cross(chord)) / cv::norm(chord) / n3Length;
        if (along >= 0.05 && along <= 0.6 && off > farthest) {
            bend = at;
            farthest = off;
            share = along;
        }
    }
    if (farthest < 0.04 || farthest > 0.1 || share < 0.1 || share > 0.35)
        return std::nullopt;
    return bend;
}

// The way a path, running from its tip to the petiole point, leaves a
// junction towards its tip: to its first point the given distance out.
cv::Point2d WayOut(const std::vector<cv::Point>& path, cv::Point junction, double distance)
{
    auto at = static_cast<std::size_t>(NearestIndex(path, junction));
    while (at > 0 && cv::norm(path[at] - junction) < distance)
        --at;
    return path[at] - junction;
}

// N4 leaves N3 towards the N3 tip's side, as every vein leaves the one it
// branches from. Where the paths from the N3 and N4 tips part at more than a
// right angle, taken a tenth of N3's length out from where they meet, the
// path from the N4 tip has crossed the blade to N3 by a finer vein, as where
// N4 runs along the petiole sinus's edge, too close to it for a vein to
// show. On the real leaves in six placements, right branch points part at up
// to 80 degrees, and the 8 that part at 100 to 117 lay more than 5 mm off;
// on 1000 synthetic leaves none parts at more than 83.
bool PartsBackwards(const VeinJoin& join, double n3Length)
{
    const cv::Point2d n3 = WayOut(join.firstPath, join.junction, 0.1 * n3Length);
    const cv::Point2d n4 = WayOut(join.secondPath, join.junction, 0.1 * n3Length);
    return n3.dot(n4) < 0.0;
}

// The branch points found where the veins from two points of the margin
// join on their way to the petiole point:
// - Where N3 branches into N4: the veins from the N3 and N4 tips. On the real
//   leaves traced that lies a tenth to a quarter of the way from the petiole
//   point to the N3 tip; a junction beyond a third of the way, or nearer
//   than a tenth, is where a path left the veins. Nearer, N4Bend may still
//   find it; beyond, it is left to the user.
// - Where N2 first ramifies: a secondary vein leaves N2 the nearer the
//   petiole point the nearer its tooth lies to a sinus, so the veins from the
//   teeth beside the sinuses either side of the N2 lobe both run down N2 from
//   where they leave it, and part where the first of them does.
// - Where N1 first ramifies: the same, from the teeth beside the two upper
//   sinuses on the apex's side.
//   Such a junction is given only where it lies on the main vein (within
//   0.12 of the way off the straight line to its tip, as the vein bends:
//   right junctions on synthetic leaves lie up to 0.115 off), an eighth
//   to three fifths of the way to its tip, with both teeth at most 52
//   degrees off the vein's way from there, as secondary veins leave it at
//   about 45. A path to a tooth further round has followed another vein: on
//   400 synthetic leaves, a bound of 65 degrees let in 21 more junctions
//   more than 5 mm off for 19 more within 2 mm.
// - Where N5 leaves N4: the veins from the N4 and N5 tips. It is given only
//   where it lies near N4, two fifths to seven tenths of the way from the
//   petiole point to the N4 tip, on both halves, at shares within a tenth
//   of each other. N4 leaves N3 up to a third of the way out, so it lies up
//   to about a fifth of the way off the straight line from the petiole
//   point to its tip: a junction within 0.2 of the way off that line counts
//   as near (within 0.12, 118 fewer right on 1000 synthetic leaves, one
//   fewer more than 5 mm off). Nearer the petiole point the path from the
//   N5 tip may have run down N4 to where N4 leaves N3: down to 0.3, 4 more
//   right. Farther out, to 0.8, as many more were more than 5 mm off as
//   were right (36 and 33).
// - Where the main veins part, the petiole point itself: the veins of the
//   two N3s, from 0.65 of the way to their tips, where they run close to
//   the straight lines (from the tips, the search costs about a tenth more
//   time on the every-landmark leaf, for one more point right). Both N3s
//   leave from the petiole point, so their veins meet there whether the
//   point found from the outline lies down the sinus or the petiole (the
//   veins run on together down to it) or up the midrib (they run up it
//   together). A junction between 0.005 and 0.15 of the leaf's size from
//   the point found takes its place. On 1000 synthetic leaves, 27 more
//   petiole points within 2 mm and 17 fewer more than 5 mm off, none
//   worse; the real leaves are unchanged. Nearer, some right points moved
//   just past 2 mm; the junctions of the veins from the apex and each N3
//   corrected no point this one does not.
// The searches are independent, and run side by side.
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

    // Each junction: the two points whose veins join, and the main vein's tip
    // it is judged against.
    struct Junction {
        int landmark;
        cv::Point tipA, tipB, mainTip;
        // N3 into N4, N1's or N2's first, N4 into N5, the main veins
        enum { N4, First, N5, Petiole } kind;
        std::optional<VeinJoin> join;
    };
    std::vector<Junction> junctions;
    // The junctions whose paths come from one search: a half's N4 and N5
    // share theirs, as both start from the N4 tip.
    std::vector<std::vector<std::size_t>> searches;
    static constexpr struct {
        int n4Branch, n5Branch, n3, n4, n5;
    } Halves[] = {{2, 8, 13, 11, 9}, {6, 7, 27, 29, 31}};
    for (const auto& half : Halves) {
        if (!at.contains(half.n4))
            continue;
        std::vector<std::size_t> search;
        if (at.contains(half.n3)) {
            search.push_back(junctions.size());
            junctions.push_back(
                {half.n4Branch, at[half.n3], at[half.n4], at[half.n3], Junction::N4, {}});
        }
        if (at.contains(half.n5)) {
            search.push_back(junctions.size());
            junctions.push_back(
                {half.n5Branch, at[half.n4], at[half.n5], at[half.n4], Junction::N5, {}});
        }
        if (!search.empty())
            searches.push_back(search);
    }
    // The first ramification of a main vein, from the teeth beside the two
    // sinuses either side of its lobe, walking from each towards the tip.
    static constexpr struct {
        int branch, tip, sinusA, sinusB;
    } FirstBranches[] = {{3, 17, 19, 14}, {5, 23, 21, 26}, {4, 20, 19, 21}};
    for (const auto& vein : FirstBranches) {
        if (!at.contains(vein.tip) || !at.contains(vein.sinusA) || !at.contains(vein.sinusB))
            continue;
        const int tip = NearestIndex(leaf.outline, at[vein.tip]);
        auto toothBeside = [&](int sinus) {
            return FirstTooth(leaf.outline, leaf.turning, NearestIndex(leaf.outline, at[sinus]),
                              tip);
        };
        const std::optional<cv::Point> toothA = toothBeside(vein.sinusA);
        const std::optional<cv::Point> toothB = toothBeside(vein.sinusB);
        if (toothA && toothB) {
            searches.push_back({junctions.size()});
            junctions.push_back({vein.branch, *toothA, *toothB, at[vein.tip], Junction::First, {}});
        }
    }
    if (at.contains(13) && at.contains(27)) {
        auto partway = [&](int tip) {
            const cv::Point2d along = cv::Point2d(at[1]) + cv::Point2d(at[tip] - at[1]) * 0.65;
            return cv::Point(static_cast<int>(std::lround(along.x)),
                             static_cast<int>(std::lround(along.y)));
        };
        searches.push_back({junctions.size()});
        junctions.push_back({1, partway(13), partway(27), at[13], Junction::Petiole, {}});
    }
    const cv::Point petiole = at[1];
    cv::parallel_for_(cv::Range(0, static_cast<int>(searches.size())), [&](const cv::Range& range) {
        for (int k = range.start; k < range.end; ++k) {
            const std::vector<std::size_t>& search = searches[static_cast<std::size_t>(k)];
            std::vector<std::array<cv::Point, 2>> pairs;
            for (const std::size_t j : search)
                pairs.push_back({junctions[j].tipA, junctions[j].tipB});
            const auto joins = VeinJunctions(leaf.darkness, blade, petiole, pairs);
            for (std::size_t pair = 0; pair < search.size(); ++pair)
                junctions[search[pair]].join = joins[pair];
        }
    });

    std::vector<std::pair<int, cv::Point2d>> n5Branches;
    std::vector<double> n5Shares;
    for (const Junction& junction : junctions) {
        if (!junction.join)
            continue;
        if (junction.kind == Junction::Petiole) {
            const double moved = cv::norm(junction.join->junction - petiole) / leaf.size;
            if (moved > 0.005 && moved <= 0.15)
                branches.emplace_back(1, junction.join->junction);
            continue;
        }
        const cv::Point join = junction.join->junction;
        const cv::Point2d out = join - petiole;
        const cv::Point2d vein = junction.mainTip - petiole;
        if (junction.kind == Junction::N4) {
            if (PartsBackwards(*junction.join, cv::norm(vein)))
                continue;
            const double share = cv::norm(out) / cv::norm(vein);
            if (share >= 0.1 && share <= 0.35)
                branches.emplace_back(junction.landmark, join);
            else if (share < 0.1)
                if (const auto bend =
                        N4Bend(junction.join->secondPath, petiole, junction.tipB, cv::norm(vein)))
                    branches.emplace_back(junction.landmark, *bend);
            continue;
        }
        const double along = out.dot(vein) / vein.dot(vein);
        const double across = std::abs(out.cross(vein)) / vein.dot(vein);
        if (junction.kind == Junction::N5) {
            if (along >= 0.4 && along <= 0.7 && across <= 0.2) {
                n5Branches.emplace_back(junction.landmark, join);
                n5Shares.push_back(along);
            }
            continue;
        }
        auto offVein = [&](cv::Point tooth) {
            const cv::Point2d way = tooth - join;
            return std::acos(
                       std::clamp(way.dot(vein) / (cv::norm(way) * cv::norm(vein)), -1.0, 1.0)) *
                   180.0 / std::numbers::pi;
        };
        if (along >= 0.125 && along <= 0.6 && across <= 0.12 && offVein(junction.tipA) <= 52.0 &&
            offVein(junction.tipB) <= 52.0)
            branches.emplace_back(junction.landmark, join);
    }
    if (n5Branches.size() == 2 && std::abs(n5Shares[0] - n5Shares[1]) <= 0.1)
        branches.insert(branches.end(), n5Branches.begin(), n5Branches.end());
    return branches;
}

} // namespace

Landmarks SuggestLandmarks(const PixelRows& picture)
{
    Landmarks suggested;
    const std::optional<LeafOutline> leaf = FindLeafOutline(picture);
    if (!leaf)
        return suggested;
    const OutlinePoints outline = OutlineLandmarks(*leaf);
    const std::vector<std::pair<int, cv::Point2d>> branches =
        BranchPoints(*leaf, outline.landmarks);
    std::vector<std::pair<int, cv::Point2d>> found = outline.suggestable();
    // The veins may place the petiole point better than the outline did.
    if (std::any_of(branches.begin(), branches.end(),
                    [](const auto& entry) { return entry.first == 1; }))
        std::erase_if(found, [](const auto& entry) { return entry.first == 1; });
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
