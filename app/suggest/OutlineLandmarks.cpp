#include "app/suggest/HalfOutline.h"
#include "app/suggest/LeafAxis.h"
#include "app/suggest/LeafOutline.h"
#include "app/suggest/Veins.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <opencv2/imgproc.hpp>
#include <optional>

namespace kestra {
namespace {

double Degrees(double radians)
{
    return radians * 180.0 / std::numbers::pi;
}

// The landmarks found from the N2 tip P(17): the bases of its tooth and the
// first secondary tip below it; and from the N4 tip P(11), the bases of its
// tooth. The other half's are numbered 40 - n.
const std::vector<int> N2Teeth = {15, 16, 18};
const std::vector<int> N4Teeth = {10, 12};

// A landmark of the screen's left half, or its partner on the right.
int Numbered(int n, bool mirrored)
{
    return mirrored ? 40 - n : n;
}

// Whether two points of either half, each given by its angle from the apex
// as seen from the petiole point and its reach from there, mirror each other:
// within the given degrees round, and reaching within a quarter as far.
bool Mirrored(double angleA, double reachA, double angleB, double reachB, double degrees)
{
    return std::abs(angleA - angleB) <= degrees &&
           std::min(reachA, reachB) >= 0.75 * std::max(reachA, reachB);
}

// The leaf's axis, and the petiole point to suggest. The angles and reaches
// of the outline stay measured from the axis's petiole point, as found from
// the sinus's head, the reference their bounds were set on, but where a
// petiole over the blade hides the head.
struct AxisAndPetiole {
    Axis axis;
    cv::Point2d petiolePoint;
};

AxisAndPetiole WithPetiolePoint(const LeafOutline& leaf, Axis axis)
{
    cv::Point2d petiolePoint = axis.petiole;
    // A petiole lying over the blade ends deeper in it than the head found,
    // and on the mirror line; the main veins part there, and both points
    // move to it. Where no stalk was cut off to show the petiole, its band ends within
    // a fifth of the leaf's size of the head: one that runs on is the midrib.
    // A band under a twentieth of the leaf's size long barely hides the head,
    // from which the outline's bounds stay measured: only the point to
    // suggest moves. On 1000 synthetic leaves, 13 petiole points came within
    // 2 mm and 2 went 2.7 and 3.5 mm off, and none more than 5 mm; moving
    // the head too changed the N4 tips found on some leaves, for 12 fewer
    // landmarks within 2 mm on 200 of them.
    auto moveToEnd = [&](const CutPetiole& band, double deepest) {
        const std::optional<cv::Point2d> end = PetioleEnd(leaf, band);
        if (!end)
            return false;
        const cv::Point2d offset = *end - axis.petiole;
        const cv::Point2d across(-axis.apexward.y, axis.apexward.x);
        const double deeper = offset.dot(axis.apexward);
        if (std::abs(offset.dot(across)) >= 0.06 * leaf.size || deeper <= 0 || deeper >= deepest)
            return false;
        if (cv::norm(*end - band.base) >= 0.05 * leaf.size)
            axis.petiole = *end;
        petiolePoint = *end;
        return true;
    };
    if (leaf.petiole) {
        const CutPetiole& cut = *leaf.petiole;
        if (!moveToEnd(cut, std::numeric_limits<double>::infinity())) {
            // A petiole lying in the sinus hides one side of its head, and
            // the head found lies beside the petiole's end; the main veins
            // part on the petiole's centre line.
            const cv::Point2d fromBase = axis.petiole - cut.base;
            const cv::Point2d aside(-cut.inward.y, cut.inward.x);
            const double off = fromBase.dot(aside);
            if (std::hypot(fromBase.x, fromBase.y) < 0.1 * leaf.size &&
                std::abs(off) < 0.04 * leaf.size)
                petiolePoint -= aside * off;
        }
    } else if (const std::optional<CutPetiole> band = PetioleAcross(leaf, axis)) {
        moveToEnd(*band, 0.2 * leaf.size);
    }
    return AxisAndPetiole{axis, petiolePoint};
}

// The deep notches of an outline: for each, the outline index of its
// deepest point and how deep it lies under the convex hull.
struct Notch {
    int index; // on the outline, where the notch opens
    double depth;
    cv::Point2d point; // its deepest point
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
            notches.push_back({defect[2], depth, outline[static_cast<std::size_t>(defect[2])]});
    }
    return notches;
}

// A sinus that touching lobes have closed is a hole that runs from near
// the outline in towards the petiole point; its base is the hole's end.
// Where one lobe lies over its neighbour, an open notch leads to the
// hole across the overlap, and the sinus runs on into it. Such sinuses are
// added to the notches, or deepen the notch that leads to them. A slit may
// break into a chain of holes, all leading to one notch: the deepest gives
// its base.
void AddClosedSinuses(std::vector<Notch>& notches, const LeafOutline& leaf, cv::Point2d petiole)
{
    const auto& outline = leaf.outline;
    const int count = static_cast<int>(outline.size());
    const std::size_t openNotches = notches.size();
    std::vector<double> openDepths;
    for (const Notch& notch : notches)
        openDepths.push_back(notch.depth);
    auto reachOf = [&](cv::Point2d point) {
        return std::hypot(point.x - petiole.x, point.y - petiole.y);
    };
    for (const auto& hole : leaf.holes) {
        const auto [inner, outer] =
            std::minmax_element(hole.begin(), hole.end(), [&](cv::Point2d a, cv::Point2d b) {
                return reachOf(a) < reachOf(b);
            });
        const double depth = reachOf(*outer) - reachOf(*inner);
        if (depth <= 0.02 * leaf.size)
            continue;
        int mouth = 0;
        double nearest = 0.0; // squared, the root taken once
        for (int i = 0; i < count; ++i) {
            const cv::Point2d offset = outline[static_cast<std::size_t>(i)] - *outer;
            const double distance = offset.dot(offset);
            if (i == 0 || distance < nearest) {
                nearest = distance;
                mouth = i;
            }
        }
        const double gap = std::sqrt(nearest);
        const cv::Point2d mouthPoint = outline[static_cast<std::size_t>(mouth)];
        const auto leading = std::find_if(notches.begin(), notches.end(), [&](const Notch& notch) {
            const cv::Point2d opens = outline[static_cast<std::size_t>(notch.index)];
            return std::hypot(opens.x - mouthPoint.x, opens.y - mouthPoint.y) < 0.02 * leaf.size;
        });
        const auto open = static_cast<std::size_t>(leading - notches.begin());
        if (open < openNotches) {
            const Notch deepened = {leading->index, openDepths[open] + gap + depth, *inner};
            if (gap < 0.15 * leaf.size && deepened.depth > leading->depth)
                *leading = deepened;
        } else if (gap < 0.08 * leaf.size) {
            const Notch closed = {mouth, depth + gap, *inner};
            if (leading == notches.end())
                notches.push_back(closed);
            else if (closed.depth > leading->depth)
                *leading = closed;
        }
    }
}

// A lateral sinus found on one half: where it lies along the half, its
// deepest point, its direction from the apex seen from the petiole point,
// and its depth.
struct Sinus {
    int at = -1;
    cv::Point2d point;
    double angle = 0.0;
    double depth = 0.0;
};

struct SinusPair {
    Sinus upper;
    Sinus lower;
};

// The likely upper and lower sinuses of a half among its deep notches,
// best first. Usually the upper sinus is the deepest notch in the upper
// directions and the lower one the deepest beyond it; on leaves whose upper
// sinus is shallow the two deepest of all are the pair instead. With
// everyPair, every other pair in order round the half follows.
std::vector<SinusPair> SinusPairs(const std::vector<Sinus>& notches, bool everyPair)
{
    auto deepest = [&](auto&& among) {
        const Sinus* best = nullptr;
        for (const Sinus& notch : notches)
            if (among(notch) && (!best || notch.depth > best->depth))
                best = &notch;
        return best;
    };
    std::vector<SinusPair> pairs;
    auto add = [&](const Sinus* one, const Sinus* other) {
        if (!one || !other)
            return;
        const bool ordered = one->at < other->at;
        const SinusPair pair{ordered ? *one : *other, ordered ? *other : *one};
        if (pair.upper.angle > 90.0)
            return;
        for (const SinusPair& known : pairs)
            if (known.upper.at == pair.upper.at && known.lower.at == pair.lower.at)
                return;
        pairs.push_back(pair);
    };
    const Sinus* first = deepest([](const Sinus&) { return true; });
    if (first)
        add(first, deepest([&](const Sinus& notch) {
                return std::abs(notch.angle - first->angle) >= 15.0;
            }));
    const Sinus* upper = deepest([](const Sinus& notch) { return notch.angle <= 90.0; });
    if (upper)
        add(upper, deepest([&](const Sinus& notch) {
                return notch.at > upper->at && notch.angle >= upper->angle + 15.0;
            }));
    if (everyPair) {
        // A vine leaf's half has a few deep notches. A ragged outline can
        // have hundreds, and its pairs, matched against the other half's,
        // would grow as the fourth power of their count: only the deepest
        // dozen are paired.
        constexpr std::size_t Most = 12;
        std::vector<const Sinus*> deep;
        for (const Sinus& notch : notches)
            deep.push_back(&notch);
        if (deep.size() > Most) {
            std::nth_element(deep.begin(), deep.begin() + Most, deep.end(),
                             [](const Sinus* a, const Sinus* b) { return a->depth > b->depth; });
            deep.resize(Most);
        }
        for (const Sinus* one : deep)
            for (const Sinus* other : deep)
                if (one->at < other->at && other->angle >= one->angle + 15.0)
                    add(one, other);
    }
    return pairs;
}

// One pair of sinuses for each half, chosen together since the halves mirror
// each other: deep notches in the directions the other half has them. A pair
// must be deeper by a fiftieth of the leaf's size for every ten degrees more
// that the halves disagree. A half with no pair gets none; a half whose
// partner has none gets its own best.
std::array<const SinusPair*, 2> MirroredSinuses(const std::vector<SinusPair>& one,
                                                const std::vector<SinusPair>& other, double size)
{
    std::array<const SinusPair*, 2> chosen{one.empty() ? nullptr : &one.front(),
                                           other.empty() ? nullptr : &other.front()};
    double best = 0.0;
    bool paired = false;
    for (const SinusPair& a : one)
        for (const SinusPair& b : other) {
            const double apart =
                std::abs(a.upper.angle - b.upper.angle) + std::abs(a.lower.angle - b.lower.angle);
            const double score =
                (a.upper.depth + a.lower.depth + b.upper.depth + b.lower.depth) / size -
                0.002 * apart;
            if (!paired || score > best) {
                chosen = {&a, &b};
                best = score;
                paired = true;
            }
        }
    return chosen;
}

// A sinus's base is in doubt where the outline turns less than the given
// degrees round it, over a few teeth each way, since an open bottom has no
// clear deepest point; and where another point of the sinus, a tooth away,
// comes as near the petiole point within a two-hundredth. A base across an
// overlap lies in a hole: neither.
bool DoubtfulBase(const HalfOutline& margin, const Sinus& base, int from, int to, double degrees)
{
    const int k = base.at;
    if (base.point != margin.at(k))
        return false;
    if (-margin.bottomAt(k) < degrees)
        return true;
    const double tolerance = 0.005 * margin.leaf().size;
    return margin.rivalled(k, from, to, -1.0, tolerance, tolerance, 0);
}

// In a shallow bay, a tooth's notch beside the bottom can come nearer
// the petiole point than the bottom does, and be taken for the base.
// With the teeth bridged (the farthest reach a tooth's spacing either
// way) the bay shows its bottom at the lobes' scale. A base more than
// a fortieth of the leaf's size from there, where the bridged outline
// lies higher than at the bottom, is in doubt. A flat bottom bridges
// level, so its base, wherever it lies, stands, as does a base across
// an overlap. On 800 synthetic leaves, 42 fewer landmarks more than
// 5 mm off and 8 fewer within 2 mm; on the real leaves, one fewer of
// each.
bool BesideBottom(const HalfOutline& margin, const Sinus& base, int from, int to)
{
    const LeafOutline& leaf = margin.leaf();
    if (base.point != margin.at(base.at))
        return false;
    std::vector<float> reaches;
    for (int k = from; k <= to; ++k)
        reaches.push_back(static_cast<float>(margin.reachAt(k)));
    cv::Mat bridged;
    cv::dilate(cv::Mat(reaches), bridged,
               cv::getStructuringElement(cv::MORPH_RECT, cv::Size(1, 2 * margin.apart() + 1)));
    cv::Point lowest;
    double floor = 0.0;
    cv::minMaxLoc(bridged, &floor, nullptr, &lowest);
    const cv::Point2d off = margin.at(from + lowest.y) - margin.at(base.at);
    return std::hypot(off.x, off.y) > 0.025 * leaf.size &&
           bridged.at<float>(base.at - from) - floor > 0.002 * leaf.size;
}

// The N3 vein need not end at the lower lobe's farthest tooth: an
// oblique lobe reaches farthest at a neighbour of its tip, a broad one
// about as far at several teeth. Of the teeth within three hundredths
// of the farthest (each the farthest a tooth's spacing either way),
// one whose vein runs 1.7 times as strongly as any other's is the
// tip (on 400 synthetic leaves, 51 more landmarks within 2 mm and one
// more than 5 mm off than twice; at 1.4, a real leaf's N3 tip goes
// 13 mm wrong). Failing that, the farthest is, unless the lobe ends
// broad, with a rival as far within a hundredth a dip away: the tip
// is in doubt.
std::optional<int> LowerTip(const HalfOutline& margin, int from, int to, int farthest)
{
    const LeafOutline& leaf = margin.leaf();
    const cv::Point2d petiole = margin.petiole();
    std::vector<std::pair<double, int>> veins;
    for (int k = from; k <= to; ++k)
        if (margin.reachAt(k) >= 0.97 * margin.reachAt(farthest) && margin.toothTip(k, from, to))
            veins.emplace_back(0.0, k);
    if (veins.size() >= 2) {
        for (auto& [strength, k] : veins)
            strength = VeinTowards(leaf.darkness, margin.at(k), petiole);
        std::sort(veins.rbegin(), veins.rend());
        if (veins[0].first > 1.7 * veins[1].first)
            return veins[0].second;
    }
    if (margin.rivalled(farthest, from, to, 1.0, 0.01 * margin.reachAt(farthest), 0.01 * leaf.size,
                        margin.apart()))
        return std::nullopt;
    return farthest;
}

// Where the lower lobe gives no tip, as on a nearly entire leaf whose
// lower sinus is too shallow to bound it, N3 still shows as a main
// vein: of the teeth 33 to 72 degrees round from the N2 tip (37 to 70
// on the real leaves) that reach 0.6 times as far, the one whose vein
// runs 1.3 times as strongly as any other's, and at least 0.55 times
// as strongly as N2's, since a secondary vein or N4 may be the
// strongest of weak ones. A line must lie on the blade, off which an
// edge shows as a vein, from a twentieth of the way in: a hair-thin
// tip's stalk bends off the line. On 1000 synthetic leaves, 571 more
// landmarks within 2 mm (the N3 tips and the N4 points found from
// them) and 10 more more than 5 mm off; the real leaves are unchanged.
std::optional<int> N3TipByVein(const HalfOutline& margin, int n2)
{
    const LeafOutline& leaf = margin.leaf();
    const cv::Point2d petiole = margin.petiole();
    const int last = margin.last();
    const double n2Angle = margin.angleAt(n2);
    std::vector<std::pair<double, int>> veins;
    for (int k = n2 + 1; k < last; ++k) {
        const double past = margin.angleAt(k) - n2Angle;
        if (past >= 33.0 && past <= 72.0 && margin.angleAt(k) <= 145.0 &&
            margin.reachAt(k) >= 0.6 * margin.reachAt(n2) && margin.toothTip(k, n2, last) &&
            VeinInsideBlade(leaf.mask, margin.at(k) + (petiole - margin.at(k)) * 0.05, petiole))
            veins.emplace_back(VeinTowards(leaf.darkness, margin.at(k), petiole), k);
    }
    if (veins.empty())
        return std::nullopt;
    std::sort(veins.rbegin(), veins.rend());
    if ((veins.size() >= 2 && veins[0].first <= 1.3 * veins[1].first) ||
        veins[0].first < 0.55 * VeinTowards(leaf.darkness, margin.at(n2), petiole))
        return std::nullopt;
    return veins[0].second;
}

// The N4 vein leaves N3 near its base, a twentieth to a third of the
// way out, and ends at a tooth 12 to 60 degrees further round than
// N3's that reaches 0.63 to 0.95 as far (0.65 to 0.83 on the real
// leaves); on a half with no such tooth, as little as 0.58, where the
// shortest synthetic N4 lobes end: on 1000 synthetic leaves, 672 more
// landmarks within 2 mm and 29 more more than 5 mm off. As the one
// bound, 0.6 put short teeth among the others and lost 81 right
// landmarks on 800 leaves. Each such tooth's vein strength is the
// strongest of its lines to that stretch of N3; only lines inside the
// blade count, as one across the petiole sinus takes the sinus's edge
// for a vein. Of the teeth whose veins run within 1.15 times as
// strongly as the strongest, the farthest round is the likeliest tip,
// and comes first: a tooth of the N3 lobe sends its line alongside
// N3's own vein. Within 1.3, the N4 lobe's next tooth round, whose
// line runs along a secondary vein of N4, came first on both halves
// of some leaves (on 800 synthetic leaves, 22 more more than 5 mm off
// and 16 fewer within 2 mm); within 1.08, a real leaf's N4 tips go
// wrong.
//
// Where N4 bends round the petiole sinus, every straight line from its tip
// leaves the blade, and the tip goes unweighed. The N4 lobe reaches
// farthest at its tip, so where an unweighed tooth further round than the
// likeliest tip reaches at least as far, the tip is in doubt.
// On 1000 synthetic leaves, 8 fewer landmarks more than 5 mm off and 2 fewer
// within 2 mm; the real leaves are unchanged.
struct N4Candidates {
    std::vector<int> tips; // the farthest round first
    bool inDoubt = false;
};
N4Candidates N4Tips(const HalfOutline& margin, int n3Tip, double least)
{
    const LeafOutline& leaf = margin.leaf();
    const cv::Point2d petiole = margin.petiole();
    const int last = margin.last();
    const double n3Angle = margin.angleAt(n3Tip);
    const cv::Point2d n3Point = margin.at(n3Tip);
    std::vector<std::pair<double, int>> veins;
    std::vector<cv::Point> reached{petiole + (n3Point - petiole) * 0.05,
                                   petiole + (n3Point - petiole) * 0.35};
    for (int k = n3Tip + 1; k < last; ++k) {
        const double angle = margin.angleAt(k);
        const double share = margin.reachAt(k) / margin.reachAt(n3Tip);
        if (angle >= n3Angle + 12.0 && angle <= n3Angle + 60.0 && share >= least && share <= 0.95 &&
            margin.toothTip(k, 0, last)) {
            veins.emplace_back(0.0, k);
            reached.push_back(margin.at(k));
        }
    }
    if (veins.empty())
        return {};
    const VeinStrength strength(leaf.darkness, cv::boundingRect(reached));
    std::optional<int> unweighed; // the furthest round: the teeth come in order round
    for (auto& [strongest, k] : veins) {
        const cv::Point2d tooth = margin.at(k);
        bool weighed = false;
        for (int step = 0; step <= 10; ++step) {
            const cv::Point2d branch = petiole + (n3Point - petiole) * (0.05 + 0.03 * step);
            if (VeinInsideBlade(leaf.mask, tooth, branch)) {
                weighed = true;
                strongest = std::max(strongest, strength.Towards(tooth, branch));
            }
        }
        if (!weighed)
            unweighed = k;
    }
    const auto strongest = std::max_element(veins.begin(), veins.end());
    if (strongest->first <= 0.0)
        return {};
    N4Candidates candidates;
    for (const auto& [strength, k] : veins)
        if (1.15 * strength >= strongest->first)
            candidates.tips.push_back(k);
    std::sort(candidates.tips.rbegin(), candidates.tips.rend());
    if (unweighed && *unweighed > candidates.tips.front() &&
        margin.reachAt(*unweighed) >= margin.reachAt(candidates.tips.front()))
        return {{}, true};
    return candidates;
}

// A tooth's base on the apex side, from its tip and its base on the petiole
// side. On the long flank of a lobe narrowing to its tip, a vein along the
// edge or a shallow bend turns before the notch does. A tooth is about as
// wide either side of its tip, so that base is the sharpest notch at 0.6 to
// 1 / 0.6 times the petiole side's distance from the tip: for the N4 tooth,
// on 400 synthetic leaves, 223 more within 2 mm and 9 more than 5 mm off
// than taking the first notch where it lay within 0.75. Nothing where no
// notch turns there.
std::optional<int> ApexSideBase(const HalfOutline& margin, int tip, int petioleSide)
{
    const int wide = petioleSide - tip;
    return margin.sharpestNotch(tip - static_cast<int>(std::ceil(wide / 0.6)),
                                tip - static_cast<int>(std::floor(wide * 0.6)));
}

// The N5 vein ends at the tooth where the basal lobe's margin turns
// from the N4 tip into the petiole sinus: of the teeth beyond the N4
// tooth's petiole-side base, the one nearest the outline's sharpest
// turn at a lobe's scale, and reaching no farther than the N4 tip. It is
// sure only where that corner is clear: the outline turns at least 80
// degrees round it, a tooth lies within three quarters of a tooth's
// spacing of it, and that tooth reaches at least 0.66 times as far as
// the N4 tip. On 400 synthetic leaves, these bounds and the check
// against the other half's take the N5 tips more than 5 mm off from 71
// down to 9, and those within 2 mm from 361 to 256. A tip not sure is
// not suggested, but it still guides the search for where N5 leaves N4,
// as the veins of the teeth round the corner run into N5 all the same,
// and it still stands as its partner's in the mirror check. On 1000
// synthetic leaves that gave 240 more branch points within 2 mm and 5
// more than 5 mm off, and 134 more N5 tips within 2 mm and 12 more than
// 5 mm off.
struct N5Found {
    int tip;
    bool sure;
};
std::optional<N5Found> N5Tip(const HalfOutline& margin, int n4Tip, int n4Base)
{
    const int last = margin.last();
    std::vector<int> teeth;
    int k = n4Base;
    while (const auto next = margin.nextTurn(k, 1, 1.0)) {
        teeth.push_back(*next);
        const auto notch = margin.nextTurn(*next, 1, -1.0);
        if (!notch)
            break;
        k = *notch;
    }
    if (teeth.empty())
        return std::nullopt;
    int corner = teeth.front();
    for (int j = teeth.front(); j < last; ++j)
        if (margin.bottomAt(j) > margin.bottomAt(corner))
            corner = j;
    const int tip = *std::min_element(teeth.begin(), teeth.end(), [&](int a, int b) {
        return std::abs(a - corner) < std::abs(b - corner);
    });
    if (margin.reachAt(tip) > margin.reachAt(n4Tip))
        return std::nullopt;
    const bool sure = margin.bottomAt(corner) >= 80.0 &&
                      std::abs(tip - corner) <= 0.75 * margin.apart() &&
                      margin.reachAt(tip) >= 0.66 * margin.reachAt(n4Tip);
    return N5Found{tip, sure};
}

// An N4 tip candidate of one half, with the landmarks it would give.
struct N4Choice {
    double angle = 0.0;
    double reach = 0.0;
    std::vector<std::pair<int, cv::Point2d>> landmarks;
    std::vector<int> inDoubt; // among the landmarks, but only to guide the branch search
};

// The landmarks of the N4 tips chosen from each half's candidates, which
// come the farthest round first.
//
// The N4 tip is the farthest round of the strongly veined teeth on each
// half. But where a half's true tip shows its vein a little weaker, a
// tooth further round (of the petiole sinus's wall, or the N5 tooth) is
// taken, and the halves fail the mirror check. So the pair of candidates
// nearest the front of both lists that mirror each other within 14
// degrees is taken; failing one, the first of each, for the mirror check
// to judge. On 400 synthetic leaves this gives 29 more landmarks within
// 2 mm and none more than 5 mm off; within 20 degrees, 30 and 4.
//
// A half with several such teeth and none of them paired leaves its N4
// tip to the user: its first is right under twice as often as wrong,
// where a half's only candidate is right 27 times as often. On 1000
// synthetic leaves, 13 fewer landmarks more than 5 mm off and 3 more
// within 2 mm; the real leaves are unchanged.
OutlinePoints ChosenN4Tips(const std::array<std::vector<N4Choice>, 2>& choices)
{
    std::array<std::size_t, 2> pick = {0, 0};
    bool paired = false;
    if (!choices[0].empty() && !choices[1].empty()) {
        auto mirror = [&](std::size_t i, std::size_t j) {
            const N4Choice& a = choices[0][i];
            const N4Choice& b = choices[1][j];
            return Mirrored(a.angle, a.reach, b.angle, b.reach, 14.0);
        };
        const std::size_t ranks = choices[0].size() + choices[1].size() - 1;
        for (std::size_t rank = 0; rank < ranks && !paired; ++rank)
            for (std::size_t i = 0; i <= rank && !paired; ++i)
                if (i < choices[0].size() && rank - i < choices[1].size() && mirror(i, rank - i)) {
                    pick = {i, rank - i};
                    paired = true;
                }
    }
    OutlinePoints chosen;
    for (std::size_t h = 0; h < 2; ++h)
        if (!choices[h].empty() && (choices[h].size() == 1 || paired)) {
            const N4Choice& choice = choices[h][pick[h]];
            chosen.landmarks.insert(chosen.landmarks.end(), choice.landmarks.begin(),
                                    choice.landmarks.end());
            chosen.inDoubt.insert(chosen.inDoubt.end(), choice.inDoubt.begin(),
                                  choice.inDoubt.end());
        }
    return chosen;
}

// What one half's outline gives from its pair of lateral sinuses: the
// landmarks found, those of them left out once the mirror check has judged
// them, and the N4 tip's candidates, the farthest round first, for the halves
// to choose between.
struct HalfPoints {
    std::vector<std::pair<int, cv::Point2d>> found;
    std::vector<int> doubtfulBases;
    std::vector<int> partnerNeeded; // left out where the other half has no partner
    std::vector<N4Choice> n4Choices;
};

// The landmarks of a half from its chosen sinuses: the sinus bases, the N2,
// N3, N4 and N5 tips and the bases of the N2 and N4 teeth. onLeft: whether
// the half lies on the screen's left with the apex up, which numbers its
// points. bothMirrored: whether both halves' sinuses were chosen only to
// mirror the other's. apex: the apex found, whose distance from the N2 tip
// scales how near a sinus may come to the N2 tooth's own base.
HalfPoints LandmarksOfHalf(const HalfOutline& margin, const SinusPair& sinuses, bool onLeft,
                           bool bothMirrored, cv::Point2d apex)
{
    HalfPoints points;
    const int last = margin.last();
    const Sinus& upper = sinuses.upper;
    const Sinus& lower = sinuses.lower;
    const int n2 = margin.farthestBetween(upper.at, lower.at);
    const int n3 = margin.farthestBetween(lower.at, last);
    const int numbers[2][4] = {{21, 23, 26, 27}, {19, 17, 14, 13}};
    const int* names = numbers[onLeft ? 1 : 0];
    // A base beside a bay's bottom still counts in the check that the
    // halves mirror each other, where its partner is judged against it,
    // and goes after it. Where neither half showed a likely pair, as on
    // nearly entire leaves, the lower sinus found is often an N4 lobe's
    // notch: no sinus is suggested from such pairs. On 400 synthetic
    // leaves, these pairs give 192 more landmarks within 2 mm and 4 fewer
    // more than 5 mm off; keeping their lower lobes, 84 more within 2 mm
    // but 23 more off.
    // An upper sinus's bottom is open only below 40 degrees: of the
    // bases turning 40 to 50 on 400 synthetic leaves, 37 of the upper
    // sinuses' lay within 2 mm and 6 more than 5 mm off, against 12 and
    // 7 of the lower ones'. On 1000 leaves, 148 more landmarks within
    // 2 mm (P(3) to P(5) with them) and 17 more more than 5 mm off; the
    // real leaves are unchanged.
    // A shallow upper sinus is a wide bay on a nearly entire leaf, where a
    // notch on its flank can pass for its bottom; only its partner on the
    // other half can vouch for it. Below 0.14 of the leaf's size, on 1000
    // synthetic leaves, such bases without a partner lay more than 5 mm off
    // 31 times, within 2 mm 24 times (P(3) and P(5) found from them
    // included); the real leaves' upper sinuses without a partner lie 0.20
    // to 0.48 deep, and none changes in any placement.
    if (!bothMirrored && !DoubtfulBase(margin, upper, 0, n2, 40.0)) {
        points.found.emplace_back(names[0], upper.point);
        if (BesideBottom(margin, upper, 0, n2))
            points.doubtfulBases.push_back(names[0]);
        if (upper.depth < 0.14 * margin.leaf().size)
            points.partnerNeeded.push_back(names[0]);
    }
    points.found.emplace_back(names[1], margin.at(n2));
    // The lower sinus lies 33 to 59 degrees round from the N2 tip on the
    // real leaves. One further round is an N4 lobe's notch, taken where a
    // nearly entire leaf's own lower sinus is too shallow to tell: the
    // N3 tip found beyond it is then wrong too, and both are left out.
    // So where the lobe beyond reaches less than 0.58 times as far as
    // the N2 tip, as an N4 lobe does: the N3 tip reaches 0.59 to 0.77 as
    // far on the real leaves, 0.66 to 0.93 on the synthetic ones.
    const double n2Angle = margin.angleAt(n2);
    const bool farLower =
        lower.angle - n2Angle > 65.0 || margin.reachAt(n3) < 0.58 * margin.reachAt(n2);
    if (!bothMirrored && !farLower && !DoubtfulBase(margin, lower, n2, n3, 50.0)) {
        points.found.emplace_back(names[2], lower.point);
        if (BesideBottom(margin, lower, n2, n3))
            points.doubtfulBases.push_back(names[2]);
    }
    // The lower lobe is not looked at where the lower sinus found lies
    // too far round, nor where neither half showed a likely pair: that
    // sinus may be an N4 lobe's notch, and the lobe beyond it the N4 lobe.
    std::optional<int> n3Tip;
    if (!farLower && !bothMirrored)
        n3Tip = LowerTip(margin, lower.at, last, n3);
    const bool byVein = !n3Tip;
    if (byVein)
        n3Tip = N3TipByVein(margin, n2);
    // The N3 tip lies further round than the lower sinus; one far round
    // towards the petiole is an N4 lobe's tooth.
    const int n4Names[2][4] = {{29, 28, 30, 31}, {11, 12, 10, 9}};
    if (n3Tip) {
        const double n3Angle = margin.angleAt(*n3Tip);
        if ((byVein || n3Angle > lower.angle) && n3Angle <= 145.0) {
            points.found.emplace_back(names[3], margin.at(*n3Tip));
            const int* n4 = n4Names[onLeft ? 1 : 0];
            N4Candidates candidates = N4Tips(margin, *n3Tip, 0.63);
            if (candidates.tips.empty() && !candidates.inDoubt)
                candidates = N4Tips(margin, *n3Tip, 0.58);
            for (const int tip : candidates.tips) {
                N4Choice& choice = points.n4Choices.emplace_back();
                choice.angle = margin.angleAt(tip);
                choice.reach = margin.reachAt(tip);
                choice.landmarks.emplace_back(n4[0], margin.at(tip));
                // Where no notch turns where the apex-side base usually
                // lies, the tooth is lopsided, its apex side up to three
                // times as wide as the other: the sharpest notch out to
                // there (on 1000 synthetic leaves, 62 more within 2 mm
                // and 9 fewer more than 5 mm off; on 200, the first look
                // widened to three times lost 194 right bases and put 86
                // more more than 5 mm off).
                if (const auto petioleSide = margin.nextTurn(tip, 1, -1.0)) {
                    choice.landmarks.emplace_back(n4[2], margin.at(*petioleSide));
                    std::optional<int> apexSide = ApexSideBase(margin, tip, *petioleSide);
                    if (!apexSide) {
                        const int wide = *petioleSide - tip;
                        apexSide = margin.sharpestNotch(
                            tip - 3 * wide, tip - static_cast<int>(std::ceil(wide / 0.6)) - 1);
                    }
                    if (apexSide)
                        choice.landmarks.emplace_back(n4[1], margin.at(*apexSide));
                    if (const auto n5 = N5Tip(margin, tip, *petioleSide)) {
                        choice.landmarks.emplace_back(n4[3], margin.at(n5->tip));
                        if (!n5->sure)
                            choice.inDoubt.push_back(n4[3]);
                    }
                }
            }
        }
    }
    const int toothNames[2][4] = {{22, 24, 25, 0}, {18, 16, 15, 0}};
    const int* teeth = toothNames[onLeft ? 1 : 0];
    // The N2 tooth's bases are the first notches either side of its tip,
    // but on the apex side the sharpest where it usually lies, where one
    // turns there: on 1000 synthetic leaves, 86 more within 2 mm and 10
    // more more than 5 mm off, most of them where the petiole side's base
    // was wrong already.
    const std::optional<int> petioleBase = margin.nextTurn(n2, 1, -1.0);
    std::optional<int> apexBase;
    if (petioleBase)
        apexBase = ApexSideBase(margin, n2, *petioleBase);
    if (!apexBase)
        apexBase = margin.nextTurn(n2, -1, -1.0);
    if (apexBase)
        points.found.emplace_back(teeth[0], margin.at(*apexBase));
    if (const auto base = petioleBase) {
        points.found.emplace_back(teeth[1], margin.at(*base));
        // The first outward turn may be a shoulder where a long tooth
        // meets its lobe; the tip is the sharpest before the next notch.
        if (auto tip = margin.nextTurn(*base, 1, 1.0)) {
            if (const auto notch = margin.nextTurn(*tip, 1, -1.0))
                for (int k = *tip; k < *notch; ++k)
                    if (margin.turningAt(k) > margin.turningAt(*tip))
                        tip = k;
            points.found.emplace_back(teeth[2], margin.at(*tip));
        }
    }
    // A lateral sinus is a notch between lobes, never the N2 tooth's
    // own base: where the two fall together, the lobes' notch was too
    // shallow to tell from the tooth's, and the sinus found is the
    // tooth's. It still counts in the mirror check, as a base beside a
    // bay's bottom does. On 1000 synthetic leaves, 14 such sinuses, all
    // more than 17 mm off; none on the real leaves.
    const double near = 0.03 * cv::norm(margin.at(n2) - apex);
    for (const auto& [sinus, base] : {std::pair{names[0], apexBase}, {names[2], petioleBase}})
        if (base && std::any_of(points.found.begin(), points.found.end(), [&](const auto& entry) {
                return entry.first == sinus && cv::norm(entry.second - margin.at(*base)) <= near;
            }))
            points.doubtfulBases.push_back(sinus);
    return points;
}

// Where a landmark was found, or nothing.
const cv::Point2d* FoundAt(const std::vector<std::pair<int, cv::Point2d>>& found, int landmark)
{
    for (const auto& [n, point] : found)
        if (n == landmark)
            return &point;
    return nullptr;
}

// The angle in degrees between two points seen from a third.
double DegreesApart(cv::Point2d from, cv::Point2d a, cv::Point2d b)
{
    const cv::Point2d u = a - from;
    const cv::Point2d v = b - from;
    return Degrees(std::atan2(std::abs(u.cross(v)), u.dot(v)));
}

// The tips that guide the searches for branch points on their veins even
// where they are not suggested: those of N3, N4 and N5.
constexpr std::array GuideTips = {9, 11, 13, 27, 29, 31};

// Takes the given landmarks out of those found, leaving them to the user.
void LeaveOut(std::vector<std::pair<int, cv::Point2d>>& found, const std::vector<int>& landmarks)
{
    std::erase_if(found, [&](const auto& entry) {
        return std::find(landmarks.begin(), landmarks.end(), entry.first) != landmarks.end();
    });
}

// The halves of a vine leaf mirror each other closely: a sinus or a tip
// whose partner on the other half lies in a clearly different direction or
// distance from the petiole point has been taken for another, on one half
// or the other, so both are left to the user along with the teeth found
// from them. Points without a partner found stay as they are, but for the
// N5 tips. Returns those left out.
std::vector<std::pair<int, cv::Point2d>>
LeaveOutUnmirrored(std::vector<std::pair<int, cv::Point2d>>& found, cv::Point2d petiole,
                   cv::Point2d apexward)
{
    auto find = [&](int landmark) { return FoundAt(found, landmark); };
    const cv::Point2d left(apexward.y, -apexward.x);
    std::vector<int> doubtful;
    // An N5 tip alone cannot be judged, and may be where a lobe lying over
    // its neighbour crosses the neighbour's edge: it goes without a partner.
    // An N4 tip one tooth round on one half still lies within 20 degrees of
    // its partner; within 14, as its candidates are paired, on 1000 synthetic
    // leaves 21 fewer landmarks more than 5 mm off and 46 fewer within 2 mm.
    struct Partners {
        int landmark;
        std::vector<int> teeth; // found from it, and left out with it
        bool alone;             // whether it stays without a partner found
        double degrees;         // the most the partners' directions may differ
    };
    const Partners partners[] = {{19, {}, true, 20.0},          {17, N2Teeth, true, 20.0},
                                 {14, {}, true, 20.0},          {13, {11, 10, 12, 9}, true, 20.0},
                                 {11, {10, 12, 9}, true, 14.0}, {9, {}, false, 20.0}};
    for (const auto& [landmark, teeth, alone, degrees] : partners) {
        const cv::Point2d* one = find(landmark);
        const cv::Point2d* other = find(40 - landmark);
        if (!one || !other) {
            if (!alone)
                for (const int n : {landmark, 40 - landmark})
                    doubtful.push_back(n);
            continue;
        }
        const cv::Point2d a = *one - petiole;
        const cv::Point2d b = *other - petiole;
        const double angleA = Degrees(std::atan2(std::abs(a.dot(left)), a.dot(apexward)));
        const double angleB = Degrees(std::atan2(std::abs(b.dot(left)), b.dot(apexward)));
        if (Mirrored(angleA, std::hypot(a.x, a.y), angleB, std::hypot(b.x, b.y), degrees))
            continue;
        for (const int n : {landmark, 40 - landmark})
            doubtful.push_back(n);
        for (const int n : teeth)
            for (const int m : {n, 40 - n})
                doubtful.push_back(m);
    }
    // The teeth beside the N2 and N4 tips mirror each other as seen from the
    // tips, to within a share of their distance from the tip. The small N4
    // tooth's bases mirror less closely: on 400 synthetic leaves, half rather
    // than a third lets in 19 more within 2 mm, and none more than 5 mm off.
    struct ToothOf {
        int tip;
        std::vector<int> teeth;
        double tolerance;
    };
    const ToothOf teethOf[] = {{17, N2Teeth, 0.35}, {11, N4Teeth, 0.5}};
    for (const auto& [tip, teeth, tolerance] : teethOf) {
        const cv::Point2d* tips[2] = {find(tip), find(40 - tip)};
        if (!tips[0] || !tips[1])
            continue;
        for (const int tooth : teeth) {
            const cv::Point2d* one = find(tooth);
            const cv::Point2d* other = find(40 - tooth);
            if (!one || !other)
                continue;
            const cv::Point2d a = *one - *tips[0];
            const cv::Point2d b = *other - *tips[1];
            const cv::Point2d apart(a.dot(apexward) - b.dot(apexward), a.dot(left) + b.dot(left));
            if (std::hypot(apart.x, apart.y) >
                tolerance * std::max(std::hypot(a.x, a.y), std::hypot(b.x, b.y)))
                for (const int n : {tooth, 40 - tooth})
                    doubtful.push_back(n);
        }
    }
    std::vector<std::pair<int, cv::Point2d>> leftOut;
    for (const auto& entry : found)
        if (std::find(doubtful.begin(), doubtful.end(), entry.first) != doubtful.end())
            leftOut.push_back(entry);
    LeaveOut(found, doubtful);
    return leftOut;
}

// The apex is the tooth that reaches farthest near the axis, but an oblique
// apex lobe can reach farthest at a neighbour of its tip, and a hair-thin
// tip too faint to be outlined leaves its neighbours to reach farthest.
// Near its tip the midrib shows more strongly than the fine veins of the
// teeth beside it, so the tip found is in doubt where its line towards the
// petiole point, over its first quarter (4 to 28 hundredths of the way),
// runs under 0.8 times as strongly along a vein as that of another tooth
// within 40 degrees of the axis reaching 0.9 times as far. On 1000
// synthetic leaves, 9 apexes more than 5 mm off and 4 within 2 mm are in
// doubt; of the real leaves, none in any placement. The strongest line is
// no better a tip: taking it put 15 more more than 5 mm off, and 21 more
// on the real leaves in their placements.
bool ApexInDoubt(const LeafOutline& leaf, const std::vector<double>& reach,
                 const std::vector<double>& side, int apex, cv::Point2d petiole)
{
    const int count = static_cast<int>(leaf.outline.size());
    const int apart = ToothSpacing(leaf);
    auto reachAt = [&](int i) { return reach[static_cast<std::size_t>((i + count) % count)]; };
    std::vector<int> rivals;
    for (int i = 0; i < count; ++i) {
        if (i == apex || std::abs(side[static_cast<std::size_t>(i)]) >= 40.0 ||
            reachAt(i) < 0.9 * reachAt(apex))
            continue;
        // A tooth's tip: the farthest point a tooth's spacing either way.
        bool tip = true;
        for (int j = i - apart; j <= i + apart && tip; ++j)
            tip = j < i ? reachAt(j) < reachAt(i) : j == i || reachAt(j) <= reachAt(i);
        if (tip)
            rivals.push_back(i);
    }
    if (rivals.empty())
        return false;
    // The lines lie close together: their strengths come from one part.
    std::vector<cv::Point> ends;
    auto lineOf = [&](int i) {
        const cv::Point2d tip = leaf.outline[static_cast<std::size_t>(i)];
        return std::pair{tip, tip + (petiole - tip) * 0.4};
    };
    for (const int i : rivals) {
        const auto [tip, end] = lineOf(i);
        ends.emplace_back(tip);
        ends.emplace_back(end);
    }
    const auto [apexTip, apexEnd] = lineOf(apex);
    ends.emplace_back(apexTip);
    ends.emplace_back(apexEnd);
    cv::Rect area = cv::boundingRect(ends);
    area = cv::Rect(area.x - 1, area.y - 1, area.width + 2, area.height + 2);
    const VeinStrength strength(leaf.darkness, area);
    const double apexVein = strength.Towards(apexTip, apexEnd);
    return std::any_of(rivals.begin(), rivals.end(), [&](int i) {
        const auto [tip, end] = lineOf(i);
        return apexVein < 0.8 * strength.Towards(tip, end);
    });
}

// The midrib and the two N2s are the leaf's strongest veins, and the lines
// of their tips towards the petiole point run along them. Where one line
// runs far more weakly than the others, its tip was taken from a tooth
// beside it, as where a hair-thin tip too faint to be outlined leaves its
// neighbour reaching farthest; its line crosses the blade between veins.
// - An N2 tip whose line runs under an eighth as strongly as the apex's is
//   in doubt, with the teeth found from it. On 1000 synthetic leaves the
//   lines of right N2 tips run at least 0.157 times as strongly, on the
//   real leaves at least 0.28 times: 17 N2 tips in doubt, all more than
//   5 mm off (45 landmarks with their teeth). A bound of 0.15, too near the
//   right tips' lowest to trust, would take 18 more landmarks more than
//   5 mm off and one within 2 mm.
// - So is an N2 tip whose line runs under 0.2 times as strongly as the
//   other N2 tip's, as the two N2s are alike. On the real leaves in six
//   placements the weaker runs at least 0.29 times as strongly: on 1000
//   synthetic leaves, 11 more N2 tips in doubt, all more than 5 mm off (20
//   landmarks with their teeth), and 9 landmarks on 400 sheared out of
//   symmetry. At 0.25, 6 more far off and none right, but too near the
//   real leaves' lowest.
// - An apex whose line runs under 0.3 times as strongly as the stronger N2
//   tip's is in doubt. On 1000 synthetic leaves, 4 apexes, all more than
//   10 mm off; on 200 of them, every other apex's line runs at least 0.8
//   times as strongly, and on the real leaves in six placements at least
//   0.4 times.
// The real leaves are unchanged. Nothing without the apex or the petiole
// point to measure from.
std::vector<int> MainTipsInDoubt(const LeafOutline& leaf,
                                 const std::vector<std::pair<int, cv::Point2d>>& found)
{
    std::vector<int> inDoubt;
    const cv::Point2d* petiole = FoundAt(found, 1);
    const cv::Point2d* apex = FoundAt(found, 20);
    if (!petiole || !apex)
        return inDoubt;
    const double midrib = VeinTowards(leaf.darkness, *apex, *petiole);
    std::array<std::optional<double>, 2> n2; // each half's N2 tip's line, where found
    for (const bool mirrored : {false, true})
        if (const cv::Point2d* tip = FoundAt(found, Numbered(17, mirrored)))
            n2[mirrored] = VeinTowards(leaf.darkness, *tip, *petiole);
    for (const bool mirrored : {false, true}) {
        const std::optional<double>& line = n2[mirrored];
        const std::optional<double>& other = n2[!mirrored];
        if (!line || (*line >= 0.125 * midrib && (!other || *line >= 0.2 * *other)))
            continue;
        inDoubt.push_back(Numbered(17, mirrored));
        for (const int n : N2Teeth)
            inDoubt.push_back(Numbered(n, mirrored));
    }
    if (midrib < 0.3 * std::max(n2[0].value_or(0.0), n2[1].value_or(0.0)))
        inDoubt.push_back(20);
    return inDoubt;
}

// N2 leaves the midrib at 39 to 69 degrees on the real leaves traced, at
// most 65 on synthetic ones. An apex found more than 72 degrees round from
// an N2 tip, seen from the petiole point, is a lateral lobe that reached as
// far as the apex lobe: on 1000 synthetic leaves, 4 apexes, all more than
// 9 mm off; the real leaves are unchanged. At 68 degrees a right one went
// too. Nothing without the petiole point to measure from.
bool ApexOffN2Tips(const std::vector<std::pair<int, cv::Point2d>>& found)
{
    const cv::Point2d* petiole = FoundAt(found, 1);
    const cv::Point2d* apex = FoundAt(found, 20);
    if (!petiole || !apex)
        return false;
    static constexpr int N2Tips[] = {17, 23};
    return std::ranges::any_of(N2Tips, [&](int n2) {
        const cv::Point2d* tip = FoundAt(found, n2);
        return tip && DegreesApart(*petiole, *apex, *tip) > 72.0;
    });
}

// N3 leaves the petiole point 33 to 60 degrees round from N2 on synthetic
// leaves, 37 to 70 on the real leaves traced. An N3 tip found within 25
// degrees of its half's N2 tip, seen from the petiole point, is a tooth of
// a lobe taken where the N3 tip was not outlined, and the N4 tooth found
// from it is wrong with it: both are in doubt. On 1000 synthetic leaves, 2
// such tips, 33 and 38 mm off: with their N4 teeth, 6 landmarks more than
// 5 mm off. On 400 sheared out of symmetry, 3 tips and 9 such landmarks.
// None was within 2 mm, and the real leaves are unchanged.
std::vector<int> N3TipsBesideN2(const std::vector<std::pair<int, cv::Point2d>>& found)
{
    std::vector<int> inDoubt;
    const cv::Point2d* petiole = FoundAt(found, 1);
    if (!petiole)
        return inDoubt;
    for (const bool mirrored : {false, true}) {
        const cv::Point2d* n3 = FoundAt(found, Numbered(13, mirrored));
        const cv::Point2d* n2 = FoundAt(found, Numbered(17, mirrored));
        if (!n3 || !n2 || DegreesApart(*petiole, *n3, *n2) >= 25.0)
            continue;
        for (const int n : {13, 11})
            inDoubt.push_back(Numbered(n, mirrored));
        for (const int n : N4Teeth)
            inDoubt.push_back(Numbered(n, mirrored));
    }
    return inDoubt;
}

// The landmarks on the outline, their angles measured round the axis's
// petiole point from the given way towards the apex.
OutlinePoints LandmarksAlong(const LeafOutline& leaf, const AxisAndPetiole& placed,
                             cv::Point2d apexward)
{
    std::vector<std::pair<int, cv::Point2d>> found;
    const auto& outline = leaf.outline;
    const int count = static_cast<int>(outline.size());
    const cv::Point2d petiole = placed.axis.petiole;
    // Left as the screen shows it when the apex points up.
    const cv::Point2d left(apexward.y, -apexward.x);

    std::vector<double> reach(static_cast<std::size_t>(count));
    std::vector<double> side(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const cv::Point2d offset = outline[static_cast<std::size_t>(i)] - petiole;
        reach[static_cast<std::size_t>(i)] = std::hypot(offset.x, offset.y);
        side[static_cast<std::size_t>(i)] =
            Degrees(std::atan2(offset.dot(left), offset.dot(apexward)));
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
        farthest([&](int i) { return std::abs(side[static_cast<std::size_t>(i)]) < 40.0; });
    // The head of the petiole sinus, where the halves part: the outline's
    // nearest approach to the petiole point behind it. Where touching lobes
    // have closed the sinus into a hole, the nearest approach of all can be
    // a lateral notch, which would hand a lobe to the other half.
    int sinus = -1;
    for (int i = 0; i < count; ++i)
        if (std::abs(side[static_cast<std::size_t>(i)]) >= 135.0 &&
            (sinus < 0 ||
             reach[static_cast<std::size_t>(i)] < reach[static_cast<std::size_t>(sinus)]))
            sinus = i;
    if (apex < 0 || sinus < 0)
        return {};
    // The main veins part well inside the blade, a quarter of its size or
    // more inside its convex hull on every leaf seen. A head nearer the
    // hull is where a petiole lying over the blade crosses its edge, or the
    // mouth of a sinus its lobes have closed: the petiole point is hidden.
    std::vector<cv::Point2f> hull;
    cv::convexHull(std::vector<cv::Point2f>(outline.begin(), outline.end()), hull);
    if (cv::pointPolygonTest(hull, cv::Point2f(petiole), true) >= 0.25 * leaf.size)
        found.emplace_back(1, placed.petiolePoint);
    found.emplace_back(20, outline[static_cast<std::size_t>(apex)]);

    std::vector<Notch> notches = Notches(outline, 0.04 * leaf.size);
    AddClosedSinuses(notches, leaf, petiole);
    const std::vector<double> bottom =
        Turning(outline, std::max(2, static_cast<int>(0.06 * leaf.size)));
    // Each half from the apex to the petiole sinus, as a run of outline indices.
    struct Half {
        std::vector<int> run;
        std::vector<int> position; // along the run, of each outline index; -1 off it
        bool onLeft = false;
        bool mirrored = false;          // its sinuses chosen to mirror the other half's
        std::vector<SinusPair> sinuses; // the likely pairs of lateral sinuses, best first
    };
    std::vector<Half> halves;
    // A half's likely pairs of lateral sinuses, best first.
    auto sinusPairs = [&](const Half& half, bool everyPair) {
        // The lateral sinuses are deep notches away from the petiole sinus.
        std::vector<Sinus> candidates;
        const int last = static_cast<int>(half.run.size()) - 1;
        for (const Notch& notch : notches) {
            const int k = half.position[static_cast<std::size_t>(notch.index)];
            const cv::Point2d offset = notch.point - petiole;
            const double angle =
                std::abs(Degrees(std::atan2(offset.dot(left), offset.dot(apexward))));
            if (k > 0 && k < last - count / 50 && angle >= 5.0 && angle <= 150.0 &&
                reach[static_cast<std::size_t>(half.run[static_cast<std::size_t>(k)])] >=
                    0.15 * leaf.size)
                candidates.push_back({k, notch.point, angle, notch.depth});
        }
        std::vector<SinusPair> pairs = SinusPairs(candidates, everyPair);
        // The N2 vein leaves the midrib at well under a right angle, and the
        // lower sinus opens short of the petiole's direction. A pair that
        // puts the N2 tip further round has taken the lower lobe for the
        // upper one; a lower sinus further round is a notch of the N4 lobe.
        std::erase_if(pairs, [&](const SinusPair& pair) {
            const auto tip = std::max_element(
                half.run.begin() + pair.upper.at, half.run.begin() + pair.lower.at + 1,
                [&](int a, int b) {
                    return reach[static_cast<std::size_t>(a)] < reach[static_cast<std::size_t>(b)];
                });
            return std::abs(side[static_cast<std::size_t>(*tip)]) > 80.0 ||
                   pair.lower.angle > 130.0;
        });
        return pairs;
    };
    for (const int direction : {1, -1}) {
        Half& half = halves.emplace_back();
        half.position.assign(static_cast<std::size_t>(count), -1);
        for (int i = apex;; i = (i + direction + count) % count) {
            half.position[static_cast<std::size_t>(i)] = static_cast<int>(half.run.size());
            half.run.push_back(i);
            if (i == sinus || half.run.size() >= static_cast<std::size_t>(count))
                break;
        }
        double meanSide = 0.0;
        for (const int i : half.run)
            meanSide += side[static_cast<std::size_t>(i)];
        half.onLeft = meanSide > 0;
        half.sinuses = sinusPairs(half, false);
    }
    // A half can show no likely pair, as where its deepest notch is the lower
    // sinus and the next beyond it an N4 lobe's. Any pair of its notches then
    // will do that lies within 15 degrees of one the other half shows or,
    // where neither half shows one, of any pair of the other's notches. Each
    // point found from such a pair needs its partner on the other half
    // (below).
    const std::array<bool, 2> showed = {!halves[0].sinuses.empty(), !halves[1].sinuses.empty()};
    std::array<std::vector<SinusPair>, 2> every;
    for (std::size_t h = 0; h < 2; ++h)
        if (!showed[h])
            every[h] = sinusPairs(halves[h], true);
    for (std::size_t h = 0; h < 2; ++h) {
        if (showed[h])
            continue;
        const std::vector<SinusPair>& others = showed[1 - h] ? halves[1 - h].sinuses : every[1 - h];
        for (const SinusPair& pair : every[h])
            if (std::any_of(others.begin(), others.end(), [&](const SinusPair& other) {
                    return std::abs(pair.upper.angle - other.upper.angle) <= 15.0 &&
                           std::abs(pair.lower.angle - other.lower.angle) <= 15.0;
                }))
                halves[h].sinuses.push_back(pair);
        halves[h].mirrored = !halves[h].sinuses.empty();
    }
    const std::array<const SinusPair*, 2> chosen =
        MirroredSinuses(halves[0].sinuses, halves[1].sinuses, leaf.size);
    // Each half's N4 tip candidates, the farthest round first.
    std::array<std::vector<N4Choice>, 2> n4Choices;
    const bool bothMirrored = halves[0].mirrored && halves[1].mirrored;
    std::vector<int> doubtfulBases; // left out after the mirror check
    std::vector<int> partnerNeeded; // left out last where the other half has no partner
    for (std::size_t h = 0; h < 2; ++h) {
        if (!chosen[h])
            continue;
        const Half& half = halves[h];
        const HalfOutline margin(leaf, petiole, half.run, reach, side, bottom);
        HalfPoints points = LandmarksOfHalf(margin, *chosen[h], half.onLeft, bothMirrored,
                                            outline[static_cast<std::size_t>(apex)]);
        found.insert(found.end(), points.found.begin(), points.found.end());
        doubtfulBases.insert(doubtfulBases.end(), points.doubtfulBases.begin(),
                             points.doubtfulBases.end());
        partnerNeeded.insert(partnerNeeded.end(), points.partnerNeeded.begin(),
                             points.partnerNeeded.end());
        n4Choices[h] = std::move(points.n4Choices);
    }
    const OutlinePoints n4 = ChosenN4Tips(n4Choices);
    found.insert(found.end(), n4.landmarks.begin(), n4.landmarks.end());
    // A half whose sinuses were chosen to mirror the other's keeps only the
    // points whose partners the other half shows.
    for (const Half& half : halves) {
        if (!half.mirrored)
            continue;
        auto ours = [&](int n) { return half.onLeft ? n >= 9 && n <= 19 : n >= 21 && n <= 31; };
        auto partnered = [&](int n) { return FoundAt(found, 40 - n) != nullptr; };
        std::vector<std::pair<int, cv::Point2d>> kept;
        for (const auto& entry : found)
            if (!ours(entry.first) || partnered(entry.first))
                kept.push_back(entry);
        found = std::move(kept);
    }
    const std::vector<std::pair<int, cv::Point2d>> unmirrored =
        LeaveOutUnmirrored(found, petiole, apexward);
    LeaveOut(found, doubtfulBases);
    // Only after the others: a partner left out vouches for nothing.
    std::vector<int> unpartnered;
    for (const int n : partnerNeeded)
        if (!FoundAt(found, 40 - n))
            unpartnered.push_back(n);
    LeaveOut(found, unpartnered);
    std::vector<int> inDoubt = n4.inDoubt;
    // An N3, N4 or N5 tip the mirror check left out may be one tooth off, or
    // its partner may be, but the vein of a tooth beside the tip runs into
    // the tip's own vein: such tips still guide the searches for the branch
    // points on their veins, which judge the junctions found. On 1000
    // synthetic leaves, 84 more branch points within 2 mm and 2 more than
    // 5 mm off; on the real leaves in six placements, 7 more within 2 mm.
    for (const auto& [landmark, point] : unmirrored)
        if (std::ranges::find(GuideTips, landmark) != GuideTips.end()) {
            found.emplace_back(landmark, point);
            inDoubt.push_back(landmark);
        }
    if (ApexInDoubt(leaf, reach, side, apex, petiole))
        inDoubt.push_back(20);
    return {found, inDoubt};
}

// A result found along an axis in doubt is taken only where its halves agree
// on at least this many points. On 400 synthetic leaves sheared out of mirror
// symmetry, the results taken from such axes gave 917 more landmarks within
// 2 mm and 23 more more than 5 mm off; at 11 points, 18 more within 2 mm and
// 41 more off. Only the points a result would suggest count: a tip the
// mirror check left out, kept to guide the branch searches, is no agreement
// of the halves. Counted as one, on 400 synthetic leaves sheared out of
// symmetry, it put 27 more landmarks more than 5 mm off, 11 of them on a
// leaf whose wrong line it made pass.
constexpr std::size_t Agreeing = 12;

// The points a result's halves agree on: those whose partner on the other
// half was found too, as a pair that fails to mirror is left out.
int PairedPoints(const std::vector<std::pair<int, cv::Point2d>>& found)
{
    return static_cast<int>(std::count_if(found.begin(), found.end(), [&](const auto& entry) {
        return entry.first >= 9 && entry.first <= 31 && entry.first != 20 &&
               FoundAt(found, 40 - entry.first);
    }));
}

// The landmarks along an axis or, where the apex found lies well off it,
// along the midrib. A real leaf's halves differ, and its midrib can run to an
// apex well off the line its outline mirrors best about, by 15 to 30 degrees
// on 3 of the 20 real leaves. Measured from that line, the halves' points
// then fail to mirror each other and are left out. Where the apex lies more
// than 10 degrees off, the points are found along the midrib too, and the
// way whose halves agree on more points is taken: on the real leaves, 5 more
// within 2 mm; on 1000 synthetic ones, whose midribs lie on their mirror
// lines, 25 more within 2 mm and 10 fewer more than 5 mm off.
OutlinePoints AlongAxisOrMidrib(const LeafOutline& leaf, const AxisAndPetiole& placed)
{
    OutlinePoints found = LandmarksAlong(leaf, placed, placed.axis.apexward);
    const cv::Point2d* apex = FoundAt(found.landmarks, 20);
    if (!apex)
        return found;
    const cv::Point2d toApex = *apex - placed.axis.petiole;
    const cv::Point2d midrib = toApex / std::hypot(toApex.x, toApex.y);
    if (midrib.dot(placed.axis.apexward) >= std::cos(10.0 * std::numbers::pi / 180.0))
        return found;
    OutlinePoints alongMidrib = LandmarksAlong(leaf, placed, midrib);
    const std::size_t points = alongMidrib.suggestable().size();
    return points > found.suggestable().size() && points >= Agreeing ? alongMidrib : found;
}

// The outline's landmarks about the leaf's axis, where one can be told.
OutlinePoints LandmarksOfTheAxis(const LeafOutline& leaf)
{
    if (leaf.outline.size() < 50)
        return {};
    // A vine leaf's halves cover each other's mirror image by about four
    // fifths. About a line that mirrors it by three quarters or more, the
    // best scored is the leaf's axis.
    std::optional<Axis> trusted;
    std::vector<Axis> doubtful;
    for (const MirrorLine& line : FindMirrorLines(leaf.mask)) {
        const std::optional<Axis> along = AxisAlong(leaf, line);
        if (!along)
            continue;
        if (line.overlap >= 0.75) {
            if (!trusted || along->score > trusted->score)
                trusted = along;
        } else if (line.overlap >= 0.6) {
            doubtful.push_back(*along);
        }
    }
    if (trusted)
        return AlongAxisOrMidrib(leaf, WithPetiolePoint(leaf, *trusted));
    // A leaf whose halves differ more mirrors itself less about every line,
    // its axis not always the best. A wrong axis would mislabel every
    // landmark, but it leaves halves whose points fail to mirror each other:
    // the line whose halves agree on the most points is taken where it gives
    // Agreeing points or more, or where its halves agree on 8 points or more
    // with both N2 and both N3 tips among them: the main lobes mirror each
    // other about the right axis alone. On about 400 synthetic leaves sheared
    // out of symmetry, the second way gave 22 more landmarks within 2 mm and
    // none more than 5 mm off (without the main lobes, 9 more off, on a leaf
    // whose N3 tips went unfound); on the real leaves, 5 more within 2 mm.
    // One real leaf of 20 and none of 1000 synthetic ones mirrors itself so
    // poorly, but leaves sheared out of symmetry do.
    OutlinePoints best;
    std::vector<std::pair<int, cv::Point2d>> bestAgreed;
    int bestPaired = -1;
    for (const Axis& axis : doubtful) {
        OutlinePoints found = AlongAxisOrMidrib(leaf, WithPetiolePoint(leaf, axis));
        std::vector<std::pair<int, cv::Point2d>> agreed = found.suggestable();
        const int paired = PairedPoints(agreed);
        if (paired > bestPaired || (paired == bestPaired && agreed.size() > bestAgreed.size())) {
            bestPaired = paired;
            best = std::move(found);
            bestAgreed = std::move(agreed);
        }
    }
    auto at = [&](int landmark) { return FoundAt(bestAgreed, landmark) != nullptr; };
    const bool mainLobesAgree = at(13) && at(27) && at(17) && at(23);
    if (bestAgreed.size() < Agreeing && !(bestPaired >= 8 && mainLobesAgree))
        return {};
    return best;
}

// The outline's points along the picture's edge where the edge cuts the
// leaf off, rather than a tooth merely touching it: a stretch of an edge as
// long as a twentieth of the leaf's size or longer, along which the outline
// keeps coming back to the edge. A tooth's tip at the edge was traced there
// on a real leaf (a stretch of 0.043 of the size).
std::vector<cv::Point2d> CutByTheEdge(const LeafOutline& leaf)
{
    const int right = leaf.mask.cols - 1;
    const int bottom = leaf.mask.rows - 1;
    // Each edge's points, by where they lie along it.
    std::array<std::vector<std::pair<double, cv::Point2d>>, 4> edges;
    for (const cv::Point2d& point : leaf.outline) {
        if (point.x < 0.5)
            edges[0].emplace_back(point.y, point);
        if (point.x > right - 0.5)
            edges[1].emplace_back(point.y, point);
        if (point.y < 0.5)
            edges[2].emplace_back(point.x, point);
        if (point.y > bottom - 0.5)
            edges[3].emplace_back(point.x, point);
    }
    std::vector<cv::Point2d> cut;
    for (auto& edge : edges) {
        std::sort(edge.begin(), edge.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::size_t first = 0;
        for (std::size_t i = 1; i <= edge.size(); ++i) {
            if (i < edge.size() && edge[i].first - edge[i - 1].first <= 0.02 * leaf.size)
                continue;
            if (edge[i - 1].first - edge[first].first >= 0.05 * leaf.size)
                for (std::size_t k = first; k < i; ++k)
                    cut.push_back(edge[k].second);
            first = i;
        }
    }
    return cut;
}

} // namespace

std::vector<std::pair<int, cv::Point2d>> OutlinePoints::suggestable() const
{
    std::vector<std::pair<int, cv::Point2d>> suggested;
    for (const auto& entry : landmarks)
        if (std::ranges::find(inDoubt, entry.first) == inDoubt.end())
            suggested.push_back(entry);
    return suggested;
}

// A tip found at a cut, or at a tooth beside it (within a tenth of the
// leaf's size, a tooth's spacing or two), is where the picture ends rather
// than the lobe: such points are left to the user. What was found from them
// elsewhere stays: on a leaf sheared past the picture's edge, the N4 tooth
// found from an N3 tip at the cut was right. Main tips whose lines run far
// more weakly than the others' are in doubt, as are N3 tips too near an N2
// tip, with their N4 teeth, and an apex too far round from an N2 tip.
OutlinePoints OutlineLandmarks(const LeafOutline& leaf)
{
    OutlinePoints found = LandmarksOfTheAxis(leaf);
    const std::vector<cv::Point2d> cut = CutByTheEdge(leaf);
    std::erase_if(found.landmarks, [&](const auto& entry) {
        return std::any_of(cut.begin(), cut.end(), [&](const cv::Point2d& at) {
            return cv::norm(at - entry.second) < 0.1 * leaf.size;
        });
    });
    const std::vector<int> main = MainTipsInDoubt(leaf, found.landmarks);
    found.inDoubt.insert(found.inDoubt.end(), main.begin(), main.end());
    const std::vector<int> n3 = N3TipsBesideN2(found.landmarks);
    found.inDoubt.insert(found.inDoubt.end(), n3.begin(), n3.end());
    if (ApexOffN2Tips(found.landmarks))
        found.inDoubt.push_back(20);
    return found;
}

} // namespace kestra
