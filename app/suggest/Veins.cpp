#include "app/suggest/Veins.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <opencv2/imgproc.hpp>
#include <unordered_set>
#include <vector>

namespace kestra {
namespace {

constexpr double Sigma = 1.5; // work pixels, about a vein's half-width
constexpr int Tolerance = 2;  // how far a vein may stray from the line
constexpr double From = 0.1;  // shares of the way from the tip
constexpr double To = 0.7;

// The Hessian's eigenvalues of the smoothed darkness over a part of it and a
// margin of pad pixels round it (less where the picture ends), as their mean
// and half their difference: the eigenvalues are mean +- root.
struct Hessian {
    cv::Mat mean, root;
    cv::Rect padded;
};

Hessian HessianOf(const cv::Mat& darkness, cv::Rect area, int pad)
{
    Hessian hessian;
    hessian.padded =
        cv::Rect(area.x - pad, area.y - pad, area.width + 2 * pad, area.height + 2 * pad) &
        cv::Rect(0, 0, darkness.cols, darkness.rows);
    cv::Mat smooth;
    darkness(hessian.padded).convertTo(smooth, CV_32F);
    cv::GaussianBlur(smooth, smooth, cv::Size(), Sigma);
    cv::Mat xx, yy, xy;
    cv::Sobel(smooth, xx, CV_32F, 2, 0, 3);
    cv::Sobel(smooth, yy, CV_32F, 0, 2, 3);
    cv::Sobel(smooth, xy, CV_32F, 1, 1, 3);
    hessian.mean = (xx + yy) * 0.5;
    const cv::Mat difference = (xx - yy) * 0.5;
    cv::sqrt(difference.mul(difference) + xy.mul(xy), hessian.root);
    return hessian;
}

// Padding that keeps the smoothing and the derivatives clear of a part's edge.
const int Pad = static_cast<int>(std::ceil(3 * Sigma)) + 2;

// The larger magnitude of the Hessian's eigenvalues, over a part of the
// darkness; ridges and valleys alike, at their strongest within Tolerance.
cv::Mat Curvature(const cv::Mat& darkness, cv::Rect area)
{
    const Hessian hessian = HessianOf(darkness, area, Pad + Tolerance);
    cv::Mat strength = cv::abs(hessian.mean) + hessian.root;
    cv::dilate(strength, strength,
               cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                         cv::Size(2 * Tolerance + 1, 2 * Tolerance + 1)));
    return strength(area - hessian.padded.tl());
}

// How sharply the darkness curves up across each pixel, over a part of it:
// the floor of a valley, where a vein lighter than the blade runs, as veins
// do on a light box and on a scan alike.
cv::Mat Valleys(const cv::Mat& darkness, cv::Rect area)
{
    const Hessian hessian = HessianOf(darkness, area, Pad);
    const cv::Mat strength = cv::max(hessian.mean + hessian.root, 0.0);
    return strength(area - hessian.padded.tl());
}

// The pixels of the line's middle, one a step.
std::vector<cv::Point> MiddleOfLine(cv::Point2d tip, cv::Point2d petiole)
{
    const cv::Point2d from = tip + (petiole - tip) * From;
    const cv::Point2d to = tip + (petiole - tip) * To;
    const int steps = std::max(1, static_cast<int>(std::hypot(to.x - from.x, to.y - from.y)));
    std::vector<cv::Point> pixels;
    for (int i = 0; i <= steps; ++i) {
        const cv::Point2d point = from + (to - from) * (static_cast<double>(i) / steps);
        pixels.emplace_back(static_cast<int>(std::lround(point.x)),
                            static_cast<int>(std::lround(point.y)));
    }
    return pixels;
}

// The cheapest paths over a cost grid from start to goals, each as the grid
// indices (row * cols + column) from its goal back to the start; empty where
// a goal cannot be reached. A step to one of the eight neighbours costs its
// length times the mean of the two cells' costs; cells that cost infinitely
// much are never entered. Dijkstra, stopped once every goal is reached: the
// paths form a tree rooted at the start, so once two meet they run on
// together.
std::vector<std::vector<int>> CheapestPaths(const cv::Mat& cost, cv::Point start,
                                            const std::vector<cv::Point>& goals)
{
    // A border of cells that cannot be entered spares every step a bounds check.
    constexpr float Never = std::numeric_limits<float>::infinity();
    cv::Mat padded;
    cv::copyMakeBorder(cost, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(Never));
    const int width = padded.cols;
    const auto* costs = padded.ptr<float>();
    auto indexOf = [&](cv::Point point) { return (point.y + 1) * width + point.x + 1; };
    // The eight neighbours round the clock: diagonal ones at even places.
    const std::array<int, 8> offsets = {-width - 1, -width, -width + 1, 1,
                                        width + 1,  width,  width - 1,  -1};

    // Dial's form of Dijkstra: the costs in whole eighths, and a ring of
    // buckets, one for each distance still ahead, which the costliest step
    // cannot outrun; as many as a power of two, so that a distance finds its
    // bucket by a mask rather than a division.
    std::vector<int> units(padded.total(), -1);
    int dearest = 0;
    for (std::size_t i = 0; i < units.size(); ++i)
        if (costs[i] != Never) {
            // Rounded to the nearest eighth: the costs are small and positive,
            // so adding a half is exact.
            units[i] = static_cast<int>(8.0f * costs[i] + 0.5f);
            dearest = std::max(dearest, units[i]);
        }
    const std::size_t ring = std::bit_ceil(static_cast<std::size_t>(2 * dearest + 2));
    const std::size_t bucketOf = ring - 1;
    // Each bucket is a list threaded through one array, the latest entry
    // first, rather than a vector of its own to allocate.
    struct Entry {
        int cell;
        int next;
    };
    std::vector<Entry> entries;
    entries.reserve(2 * padded.total());
    std::vector<int> buckets(ring, -1);
    auto push = [&](std::size_t bucket, int cell) {
        entries.push_back({cell, buckets[bucket]});
        buckets[bucket] = static_cast<int>(entries.size()) - 1;
    };
    std::vector<int> distance(padded.total(), std::numeric_limits<int>::max());
    std::vector<int> from(distance.size(), -1);
    distance[static_cast<std::size_t>(indexOf(start))] = 0;
    push(0, indexOf(start));
    std::size_t waiting = 1;
    std::vector<int> last;
    for (const cv::Point goal : goals)
        last.push_back(indexOf(goal));
    // When a distance's bucket comes up, every cell nearer is settled, and
    // its path final.
    auto settled = [&](int sofar) {
        return std::all_of(last.begin(), last.end(), [&](int goal) {
            return distance[static_cast<std::size_t>(goal)] < sofar;
        });
    };
    for (int sofar = 0; waiting > 0 && !settled(sofar); ++sofar) {
        int& bucket = buckets[static_cast<std::size_t>(sofar) & bucketOf];
        while (bucket >= 0) {
            const int at = entries[static_cast<std::size_t>(bucket)].cell;
            bucket = entries[static_cast<std::size_t>(bucket)].next;
            --waiting;
            if (distance[static_cast<std::size_t>(at)] != sofar)
                continue; // reached more cheaply since
            const int here = units[static_cast<std::size_t>(at)];
            for (std::size_t k = 0; k < 8; ++k) {
                const int next = at + offsets[k];
                const int there = units[static_cast<std::size_t>(next)];
                if (there < 0)
                    continue;
                // Half the two cells' sum, times the root of two (181 / 128) diagonally.
                const int through =
                    sofar + (k % 2 == 1 ? (here + there) / 2 : (here + there) * 181 / 256);
                if (through < distance[static_cast<std::size_t>(next)]) {
                    distance[static_cast<std::size_t>(next)] = through;
                    from[static_cast<std::size_t>(next)] = at;
                    push(static_cast<std::size_t>(through) & bucketOf, next);
                    ++waiting;
                }
            }
        }
    }
    std::vector<std::vector<int>> paths(goals.size());
    for (std::size_t goal = 0; goal < goals.size(); ++goal)
        if (distance[static_cast<std::size_t>(last[goal])] != std::numeric_limits<int>::max())
            for (int at = last[goal]; at >= 0; at = from[static_cast<std::size_t>(at)])
                paths[goal].push_back((at / width - 1) * cost.cols + at % width - 1);
    return paths;
}

// Where two paths from one start, as CheapestPaths gives them, meet: the
// index in the second path of its first cell that lies on the first.
std::size_t JoinAt(const std::vector<int>& first, const std::vector<int>& second)
{
    std::unordered_set<int> onFirst(first.begin(), first.end());
    std::size_t at = 0;
    while (at + 1 < second.size() && !onFirst.contains(second[at]))
        ++at;
    return at;
}

// What a step costs over a part of the darkness reduced by a factor: little
// along a vein, much across the blade between veins. The inverse of the
// valley's strength, against the blade's strongest hundredth, so that the
// darkness's own contrast does not matter.
cv::Mat VeinCost(const cv::Mat& darkness, const cv::Mat& blade, cv::Rect area, int factor)
{
    cv::Mat dark = darkness(area);
    cv::Mat onBlade = blade(area);
    cv::Mat strength;
    if (factor > 1) {
        cv::resize(dark, dark, cv::Size(), 1.0 / factor, 1.0 / factor, cv::INTER_AREA);
        cv::resize(onBlade, onBlade, dark.size(), 0, 0, cv::INTER_AREA);
        cv::threshold(onBlade, onBlade, 127, 255, cv::THRESH_BINARY);
        strength = Valleys(dark, cv::Rect(0, 0, dark.cols, dark.rows));
    } else {
        strength = Valleys(darkness, area); // smoothed with the darkness round it
    }
    std::vector<float> values;
    values.reserve(onBlade.total());
    for (int y = 0; y < dark.rows; ++y) {
        const auto* on = onBlade.ptr<std::uint8_t>(y);
        const auto* valley = strength.ptr<float>(y);
        for (int x = 0; x < dark.cols; ++x)
            if (on[x] != 0)
                values.push_back(valley[x]);
    }
    float strong = 1e-6f;
    if (!values.empty()) {
        const auto hundredth =
            values.begin() + static_cast<std::ptrdiff_t>(values.size() * 99 / 100);
        std::nth_element(values.begin(), hundredth, values.end());
        strong = std::max(*hundredth, strong);
    }
    // The blade's edge and a hole's curve the darkness as a vein does; a path
    // along them would run round the margin. Off the blade a path may go, at
    // a price, as the petiole point can lie in a hole's edge.
    cv::Mat inside;
    cv::distanceTransform(onBlade, inside, cv::DIST_L2, 3);
    const float edge =
        (static_cast<float>(std::ceil(3 * Sigma)) + 2.0f) / static_cast<float>(factor);
    cv::Mat cost(dark.size(), CV_32F);
    for (int y = 0; y < dark.rows; ++y) {
        const auto* on = onBlade.ptr<std::uint8_t>(y);
        const auto* valley = strength.ptr<float>(y);
        const auto* depth = inside.ptr<float>(y);
        auto* out = cost.ptr<float>(y);
        for (int x = 0; x < dark.cols; ++x) {
            const float vein = depth[x] <= edge ? 0.0f : std::min(1.0f, valley[x] / strong);
            const float off = on[x] != 0 ? 1.0f : 2.0f;
            out[x] = off / (0.05f + vein);
        }
    }
    return cost;
}

} // namespace

VeinStrength::VeinStrength(const cv::Mat& darkness, cv::Rect area)
    : area(area & cv::Rect(0, 0, darkness.cols, darkness.rows))
{
    if (!this->area.empty())
        strength = Curvature(darkness, this->area);
}

double VeinStrength::Towards(cv::Point2d tip, cv::Point2d petiole) const
{
    double sum = 0.0;
    int samples = 0;
    for (const cv::Point& pixel : MiddleOfLine(tip, petiole)) {
        if (area.contains(pixel)) {
            sum += strength.at<float>(pixel - area.tl());
            ++samples;
        }
    }
    return samples > 0 ? sum / samples : 0.0;
}

double VeinTowards(const cv::Mat& darkness, cv::Point2d tip, cv::Point2d petiole)
{
    return VeinStrength(darkness, cv::boundingRect(MiddleOfLine(tip, petiole)))
        .Towards(tip, petiole);
}

bool VeinInsideBlade(const cv::Mat& mask, cv::Point2d tip, cv::Point2d petiole)
{
    for (const cv::Point& at : MiddleOfLine(tip, petiole))
        if (at.x < 0 || at.y < 0 || at.x >= mask.cols || at.y >= mask.rows ||
            mask.at<std::uint8_t>(at) == 0)
            return false;
    return true;
}

std::vector<std::optional<VeinJoin>>
VeinJunctions(const cv::Mat& darkness, const cv::Mat& blade, cv::Point petiole,
              const std::vector<std::array<cv::Point, 2>>& pairs)
{
    std::vector<std::optional<VeinJoin>> junctions(pairs.size());
    std::vector<cv::Point> tips;
    for (const auto& pair : pairs)
        tips.insert(tips.end(), pair.begin(), pair.end());
    // The paths stay near the polygon of the points; veins bend, so with a
    // margin of an eighth of its size.
    std::vector<cv::Point> corners = tips;
    corners.push_back(petiole);
    const cv::Rect bounds = cv::boundingRect(corners);
    const int margin = std::max(bounds.width, bounds.height) / 8 + 2;
    const cv::Rect area = cv::Rect(bounds.x - margin, bounds.y - margin, bounds.width + 2 * margin,
                                   bounds.height + 2 * margin) &
                          cv::Rect(0, 0, darkness.cols, darkness.rows);
    for (const cv::Point point : corners)
        if (!area.contains(point))
            return junctions;

    // The paths are found at half the resolution, with four times fewer
    // pixels; two veins that run close merge there a little early, so each
    // junction is then found again at the full resolution near where they do.
    constexpr int Coarse = 2;
    const cv::Mat coarse = VeinCost(darkness, blade, area, Coarse);
    auto coarseOf = [&](cv::Point point) {
        const cv::Point at = (point - area.tl()) / Coarse;
        return cv::Point(std::min(at.x, coarse.cols - 1), std::min(at.y, coarse.rows - 1));
    };
    std::vector<cv::Point> goals;
    for (const cv::Point tip : tips)
        goals.push_back(coarseOf(tip));
    const std::vector<std::vector<int>> paths = CheapestPaths(coarse, coarseOf(petiole), goals);
    auto workOf = [&](int index) {
        const cv::Point at = cv::Point(index % coarse.cols, index / coarse.cols) * Coarse +
                             cv::Point(Coarse / 2, Coarse / 2);
        return area.tl() +
               cv::Point(std::min(at.x, area.width - 1), std::min(at.y, area.height - 1));
    };
    for (std::size_t pair = 0; pair < pairs.size(); ++pair) {
        const std::vector<int>& first = paths[2 * pair];
        const std::vector<int>& trunk = paths[2 * pair + 1];
        if (first.empty() || trunk.empty())
            continue;
        const std::size_t join = JoinAt(first, trunk);
        const cv::Point centre = workOf(trunk[join]);
        // The junction again at the full resolution, in a window round the
        // coarse one, between where the paths enter and leave it: from the
        // petiole point's side along the common path, out towards each tip
        // along its own.
        auto fineJunction = [&](int reach) -> std::optional<cv::Point> {
            const cv::Rect window =
                cv::Rect(centre.x - reach, centre.y - reach, 2 * reach + 1, 2 * reach + 1) & area;
            std::size_t in = join;
            while (in + 1 < trunk.size() && window.contains(workOf(trunk[in + 1])))
                ++in;
            std::vector<cv::Point> out;
            for (const std::vector<int>* path : {&first, &trunk}) {
                std::size_t at = path->size() - 1 - (trunk.size() - 1 - join); // the junction on it
                while (at > 0 && window.contains(workOf((*path)[at - 1])))
                    --at;
                out.push_back(workOf((*path)[at]) - window.tl());
            }
            const cv::Mat fine = VeinCost(darkness, blade, window, 1);
            const auto finePaths = CheapestPaths(fine, workOf(trunk[in]) - window.tl(), out);
            if (finePaths[0].empty() || finePaths[1].empty())
                return std::nullopt;
            const int at = finePaths[1][JoinAt(finePaths[0], finePaths[1])];
            return window.tl() + cv::Point(at % fine.cols, at / fine.cols);
        };
        // The fine junction usually lies within a few coarse pixels of the
        // coarse one. Farther off, a coarse path cut a corner off its vein
        // near the junction, so the fine paths started off the vein and met
        // early; a window three times as wide reaches back to where the
        // coarse paths still follow their veins.
        constexpr int Reach = 20;
        constexpr int Stray = 8;
        const std::optional<cv::Point> near = fineJunction(Reach);
        VeinJoin& joined = junctions[pair].emplace();
        if (near && std::hypot(near->x - centre.x, near->y - centre.y) <= Stray)
            joined.junction = *near;
        else
            joined.junction = fineJunction(3 * Reach).value_or(centre);
        for (const int at : first)
            joined.firstPath.push_back(workOf(at));
        for (const int at : trunk)
            joined.secondPath.push_back(workOf(at));
    }
    return junctions;
}

} // namespace kestra
