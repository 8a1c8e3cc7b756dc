#include "app/suggest/LeafOutline.h"
#include "app/suggest/Veins.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <opencv2/imgproc.hpp>

namespace kestra {
namespace {

double Dot(cv::Point2d a, cv::Point2d b)
{
    return a.x * b.x + a.y * b.y;
}

double Degrees(double radians)
{
    return radians * 180.0 / std::numbers::pi;
}

// The leaf's mirror line: a point on it and its direction.
struct MirrorLine {
    cv::Point2d point;
    cv::Point2d direction;
    double overlap = 0.0; // of the mask with its mirror image, 0..1
};

// How well the mask matches its own mirror image about a line.
double MirrorOverlap(const cv::Mat& mask, cv::Point2d point, cv::Point2d direction)
{
    const cv::Point2d normal(-direction.y, direction.x);
    const double reach = 2.0 * Dot(point, normal);
    const cv::Matx23d reflection(1 - 2 * normal.x * normal.x, -2 * normal.x * normal.y,
                                 reach * normal.x, -2 * normal.x * normal.y,
                                 1 - 2 * normal.y * normal.y, reach * normal.y);
    cv::Mat mirrored;
    cv::warpAffine(mask, mirrored, reflection, mask.size(), cv::INTER_NEAREST);
    const double both = cv::countNonZero(mask & mirrored);
    const double either = cv::countNonZero(mask | mirrored);
    return either > 0 ? both / either : 0.0;
}

// The two halves of a vine leaf mirror each other about the line from the
// petiole point to the apex. A lobed leaf has other near-mirrors too (through
// a lateral lobe), so the best few, in clearly different directions, are
// searched coarsely over every direction and then finely.
std::vector<MirrorLine> FindMirrorLines(const cv::Mat& mask)
{
    const int factor = std::max(1, std::max(mask.cols, mask.rows) / 80);
    cv::Mat small;
    cv::resize(mask, small, cv::Size(mask.cols / factor, mask.rows / factor), 0, 0, cv::INTER_AREA);
    small = small > 127;
    const cv::Moments moments = cv::moments(small, true);
    const cv::Point2d centre(moments.m10 / moments.m00, moments.m01 / moments.m00);
    const double size = std::sqrt(moments.m00);

    auto search = [&](double fromDegrees, double toDegrees, double stepDegrees, double shiftFrom,
                      double shiftTo, double shiftStep, const MirrorLine& around) {
        MirrorLine found = around;
        for (double degrees = fromDegrees; degrees <= toDegrees; degrees += stepDegrees) {
            const double radians = degrees * std::numbers::pi / 180.0;
            const cv::Point2d direction(std::cos(radians), std::sin(radians));
            const cv::Point2d normal(-direction.y, direction.x);
            for (double shift = shiftFrom; shift <= shiftTo; shift += shiftStep) {
                const cv::Point2d point = around.point + normal * shift;
                const double overlap = MirrorOverlap(small, point, direction);
                if (overlap > found.overlap)
                    found = {point, direction, overlap};
            }
        }
        return found;
    };
    constexpr int Step = 3;
    std::vector<MirrorLine> coarse;
    for (int degrees = 0; degrees < 180; degrees += Step)
        coarse.push_back(search(degrees, degrees, 1.0, -0.12 * size, 0.12 * size, 0.03 * size,
                                {centre, {1.0, 0.0}, 0.0}));
    const int directions = static_cast<int>(coarse.size());
    std::vector<MirrorLine> lines;
    for (int i = 0; i < directions; ++i) {
        bool peak = true;
        for (int k = 1; k <= 20 / Step; ++k)
            peak = peak && coarse[i].overlap >= coarse[(i + k) % directions].overlap &&
                   coarse[i].overlap > coarse[(i - k + directions) % directions].overlap;
        if (!peak)
            continue;
        const double degrees = Degrees(std::atan2(coarse[i].direction.y, coarse[i].direction.x));
        MirrorLine line = search(degrees - Step, degrees + Step, 0.5, -0.03 * size, 0.03 * size,
                                 0.0075 * size, coarse[i]);
        line.point = (line.point + cv::Point2d(0.5, 0.5)) * factor - cv::Point2d(0.5, 0.5);
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end(),
              [](const MirrorLine& a, const MirrorLine& b) { return a.overlap > b.overlap; });
    if (lines.size() > 3)
        lines.resize(3);
    return lines;
}

// The leaf's axis: the petiole point and the way from it to the apex.
struct Axis {
    cv::Point2d petiole;
    cv::Point2d apexward;
    double score = 0.0;
};

// The deep notches of an outline: for each, the outline index of its
// deepest point and how deep it lies under the convex hull.
struct Notch {
    int index;
    double depth;
};

std::vector<Notch> Notches(const std::vector<cv::Point2d>& outline, double minimumDepth)
{
    std::vector<cv::Point> points;
    points.reserve(outline.size());
    for (const auto& point : outline)
        points.emplace_back(static_cast<int>(point.x), static_cast<int>(point.y));
    std::vector<int> hull;
    cv::convexHull(points, hull, false, false);
    std::vector<Notch> notches;
    if (hull.size() < 3)
        return notches;
    // convexityDefects wants the hull's indices in the outline's own order.
    std::sort(hull.begin(), hull.end());
    std::vector<cv::Vec4i> defects;
    try {
        cv::convexityDefects(points, hull, defects);
    } catch (const cv::Exception&) {
        return notches;
    }
    for (const auto& defect : defects) {
        const double depth = defect[3] / 256.0;
        if (depth >= minimumDepth)
            notches.push_back({defect[2], depth});
    }
    return notches;
}

std::optional<Axis> AxisAlong(const LeafOutline& leaf, const MirrorLine& line)
{
    const auto& outline = leaf.outline;
    if (line.overlap < 0.6)
        return std::nullopt;

    // The apex end of the mirror line reaches farther from the blade's middle
    // than the petiole end, where the lower lobes stop short of it.
    const cv::Moments moments = cv::moments(leaf.mask, true);
    const cv::Point2d middle(moments.m10 / moments.m00, moments.m01 / moments.m00);
    auto support = [&](cv::Point2d from, cv::Point2d direction) {
        double far = 0.0;
        for (const auto& point : outline)
            far = std::max(far, Dot(point - from, direction));
        return far;
    };
    const cv::Point2d apexward = support(middle, line.direction) > support(middle, -line.direction)
                                     ? line.direction
                                     : -line.direction;
    const cv::Point2d onLine = line.point + apexward * Dot(middle - line.point, apexward);
    // The petiole sinus's head: the outline point near the mirror line that
    // reaches deepest into the blade from the petiole end.
    const cv::Point2d across(apexward.y, -apexward.x);
    // A petiole sinus closed by touching lobes is a hole.
    std::optional<cv::Point2d> head;
    auto consider = [&](const std::vector<cv::Point2d>& edge) {
        for (const auto& point : edge) {
            const cv::Point2d offset = point - onLine;
            if (Dot(offset, apexward) < 0 && std::abs(Dot(offset, across)) < 0.05 * leaf.size &&
                (!head || Dot(offset, apexward) > Dot(*head - onLine, apexward)))
                head = point;
        }
    };
    consider(outline);
    for (const auto& hole : leaf.holes)
        consider(hole);
    if (!head)
        return std::nullopt;
    // The petiole meets the blade a little inside the sinus's head.
    const cv::Point2d petiole = *head + apexward * (0.02 * leaf.size);
    // A true petiole sinus cuts deep into the blade at the mirror line's end;
    // a mirror line through a lateral lobe meets none.
    const double depth = (support(onLine, -apexward) + Dot(*head - onLine, apexward)) / leaf.size;
    return Axis{petiole, apexward, line.overlap + 0.5 * std::min(depth, 0.3)};
}

} // namespace

std::vector<std::pair<int, cv::Point2d>> OutlineLandmarks(const LeafOutline& leaf)
{
    std::vector<std::pair<int, cv::Point2d>> found;
    const auto& outline = leaf.outline;
    const int count = static_cast<int>(outline.size());
    if (count < 50)
        return found;
    std::optional<Axis> axis;
    for (const MirrorLine& line : FindMirrorLines(leaf.mask)) {
        const std::optional<Axis> along = AxisAlong(leaf, line);
        if (along && (!axis || along->score > axis->score))
            axis = along;
    }
    if (!axis)
        return found;
    const cv::Point2d petiole = axis->petiole;
    const cv::Point2d apexward = axis->apexward;
    // Left as the screen shows it when the apex points up.
    const cv::Point2d left(apexward.y, -apexward.x);

    std::vector<double> reach(static_cast<std::size_t>(count));
    std::vector<double> side(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const cv::Point2d offset = outline[static_cast<std::size_t>(i)] - petiole;
        reach[static_cast<std::size_t>(i)] = std::hypot(offset.x, offset.y);
        side[static_cast<std::size_t>(i)] =
            Degrees(std::atan2(Dot(offset, left), Dot(offset, apexward)));
    }
    auto farthest = [&](auto&& among) {
        int best = -1;
        for (int i = 0; i < count; ++i)
            if (among(i) && (best < 0 || reach[static_cast<std::size_t>(i)] >
                                             reach[static_cast<std::size_t>(best)]))
                best = i;
        return best;
    };
    const int apex =
        farthest([&](int i) { return std::abs(side[static_cast<std::size_t>(i)]) < 20.0; });
    // The head of the petiole sinus: the outline's nearest approach to the petiole point.
    int sinus = 0;
    for (int i = 1; i < count; ++i)
        if (reach[static_cast<std::size_t>(i)] < reach[static_cast<std::size_t>(sinus)])
            sinus = i;
    if (apex < 0)
        return found;
    found.emplace_back(1, leaf.toPicture(petiole));
    found.emplace_back(20, leaf.toPicture(outline[static_cast<std::size_t>(apex)]));

    const std::vector<Notch> notches = Notches(outline, 0.04 * leaf.size);
    // Each half from the apex to the petiole sinus, as a run of outline indices.
    for (const int direction : {1, -1}) {
        std::vector<int> run;
        std::vector<int> position(static_cast<std::size_t>(count), -1);
        for (int i = apex;; i = (i + direction + count) % count) {
            position[static_cast<std::size_t>(i)] = static_cast<int>(run.size());
            run.push_back(i);
            if (i == sinus || run.size() >= static_cast<std::size_t>(count))
                break;
        }
        double meanSide = 0.0;
        for (const int i : run)
            meanSide += side[static_cast<std::size_t>(i)];
        const bool onLeft = meanSide > 0;
        auto at = [&](int k) {
            return leaf.toPicture(
                outline[static_cast<std::size_t>(run[static_cast<std::size_t>(k)])]);
        };
        auto reachAt = [&](int k) {
            return reach[static_cast<std::size_t>(run[static_cast<std::size_t>(k)])];
        };
        auto angleAt = [&](int k) {
            return std::abs(side[static_cast<std::size_t>(run[static_cast<std::size_t>(k)])]);
        };
        // The lateral sinuses: the deepest notch in the upper and then the
        // lower range of directions, away from the petiole sinus.
        const int last = static_cast<int>(run.size()) - 1;
        auto deepestNotch = [&](int from, double fromDegrees, double toDegrees) {
            int best = -1;
            double depth = 0.0;
            for (const Notch& notch : notches) {
                const int k = position[static_cast<std::size_t>(notch.index)];
                if (k <= from || k >= last - count / 50 || angleAt(k) < fromDegrees ||
                    angleAt(k) > toDegrees || reachAt(k) < 0.15 * leaf.size)
                    continue;
                if (notch.depth > depth) {
                    depth = notch.depth;
                    best = k;
                }
            }
            return best;
        };
        const int upperSinus = deepestNotch(0, 5.0, 90.0);
        if (upperSinus < 0)
            continue;
        const int lowerSinus = deepestNotch(upperSinus, angleAt(upperSinus) + 15.0, 150.0);
        if (lowerSinus < 0)
            continue;
        auto farthestBetween = [&](int from, int to) {
            int best = from;
            for (int k = from; k <= to; ++k)
                if (reachAt(k) > reachAt(best))
                    best = k;
            return best;
        };
        const int n2 = farthestBetween(upperSinus, lowerSinus);
        const int n3 = farthestBetween(lowerSinus, last);
        // The N4 tips are left to the user: the lower lobe's corners fool every
        // rule tried on real leaves.
        const int numbers[2][4] = {{21, 23, 26, 27}, {19, 17, 14, 13}};
        const int* names = numbers[onLeft ? 1 : 0];
        found.emplace_back(names[0], at(upperSinus));
        found.emplace_back(names[1], at(n2));
        found.emplace_back(names[2], at(lowerSinus));
        found.emplace_back(names[3], at(n3));
    }
    return found;
}

} // namespace kestra
