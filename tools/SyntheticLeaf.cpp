#include "tools/SyntheticLeaf.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <tuple>
#include <utility>
#include <vector>

namespace kestra {

namespace {

constexpr double Pi = std::numbers::pi;

double degrees(double value)
{
    return value * Pi / 180.0;
}

// splitmix64: its output is fixed by the seed alone, unlike the std::
// distributions, which differ between library versions.
class Random {
public:
    explicit Random(std::uint64_t seed) : state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    bool chance(double probability) { return uniform() < probability; }

private:
    std::uint64_t state;
};

double dot(QPointF a, QPointF b)
{
    return a.x() * b.x() + a.y() * b.y();
}

double cross(QPointF a, QPointF b)
{
    return a.x() * b.y() - a.y() * b.x();
}

double norm(QPointF a)
{
    return std::hypot(a.x(), a.y());
}

QPointF lerp(QPointF a, QPointF b, double t)
{
    return a + (b - a) * t;
}

double smoothstep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3 - 2 * x);
}

// The petiole sinus wall of a half, from its head near P(1) down to the N5
// tip, as the half-width of the sinus at each depth below the head. Real
// sinuses reach in to the petiole point, so the head lies on the midrib's
// line just below P(1); a width below 0 puts the lobe past that line, over
// the other half's lobe, which closes the sinus.
struct SinusWall {
    double head = 0;     // below P(1)
    double depth = 0;    // head to the N5 tip
    double round = 0;    // radius of the rounded head
    double mouth = 0;    // half-width at the N5 tip
    double power = 1;    // below 1 the wall opens at once, above 1 late
    double scale = 1;    // the halves differ a little
    double corner = 0.2; // share of the depth the lobe takes to turn into the wall
    // A pinch drawn in between lets the lobes touch and part again.
    double pinch = 0;
    double riseEnd = 0.1;
    double fallFrom = 1;
    double fallTo = 1;

    double bump(double s) const
    {
        const double rise = smoothstep(s / riseEnd);
        const double fall =
            fallTo > fallFrom ? 1 - smoothstep((s - fallFrom) / (fallTo - fallFrom)) : 1;
        return rise * fall;
    }
    // Half-width from the straight part alone, s its share of the wall.
    double open(double s) const { return round + (mouth - round) * std::pow(s, power); }
    double width(double d) const
    {
        if (d < round)
            return scale * std::sqrt(std::max(0.0, round * round - (round - d) * (round - d)));
        const double s = depth > round ? (d - round) / (depth - round) : 1;
        return scale * (open(s) - pinch * bump(s));
    }
};

// The blade is modelled with the petiole point at the origin, y up, the apex
// at (0, 1), and radii r(psi) of a smooth outline round it, psi the angle from
// the midrib. Each half has knots: the N1 to N5 tips and the petiole sinus;
// the lateral sinus bases are dips between knots. The petiole sinus wall runs
// from the N5 tip to the sinus head in plain coordinates instead, since a
// slot or a closed sinus has no single radius in each direction. Teeth are cut
// into that outline afterwards, with their tips on it, so the vein tips stay
// where the knots are.
enum Knot { N1Tip, N2Tip, N3Tip, N4Tip, N5Tip, PetioleSinus, KnotCount };
constexpr int PolarSectors = KnotCount - 2; // N1 tip to N5 tip

struct HalfShape {
    int side = -1; // -1: the half at x < 0 in the model, +1: x > 0
    std::array<double, KnotCount> angle{};
    std::array<double, KnotCount> radius{};
    std::array<double, PolarSectors> bulge{};
    double n4Narrowing = 0; // how far the lobes pull in on either side of the N4 tip
    // Sinus in a sector: where (0..1 across it), its radius, its width.
    std::array<double, PolarSectors> sinusAt{-1, -1, -1, -1};
    std::array<double, PolarSectors> sinusRadius{};
    std::array<double, PolarSectors> sinusWidth{};
    // A lateral sinus closed by its lobes: where along the notch they meet
    // (share of its depth; below 0 open), how far each passes the axis there,
    // and how far out they stay together (share of the depth).
    std::array<double, 2> closeAt{-1, -1};
    std::array<double, 2> closePast{};
    std::array<double, 2> closeReach{};
    SinusWall wall;

    double smoothRadius(int sector, double u) const
    {
        const double blend = (1 - std::cos(Pi * u)) / 2;
        const double r = radius[sector] + (radius[sector + 1] - radius[sector]) * blend;
        // The narrowing is greatest towards the N4 tip and fades to nothing,
        // with no kink, at the N3 and N5 tips.
        const double towardsN4 = sector == N3Tip ? u : sector == N4Tip ? 1 - u : 0;
        return r * (1 + bulge[sector] * std::sin(Pi * u)) *
               (1 - n4Narrowing * towardsN4 * std::sin(Pi * u));
    }

    // How much of the sinus dip reaches u: 1 at the base, 0 at the knots.
    double window(int sector, double u, double sigma) const
    {
        const double at = sinusAt[sector];
        const double v = u < at ? (at - u) / at : (u - at) / (1 - at);
        const double floor = std::exp(-1 / (sigma * sigma));
        return (std::exp(-(v * v) / (sigma * sigma)) - floor) / (1 - floor);
    }

    double radiusAt(int sector, double u) const
    {
        const double r = smoothRadius(sector, u);
        const double at = sinusAt[sector];
        if (at < 0)
            return r;
        const double depth = smoothRadius(sector, at) - sinusRadius[sector];
        return r - depth * window(sector, u, sinusWidth[sector]);
    }

    QPointF point(double psi, double r) const
    {
        return {side * r * std::sin(psi), r * std::cos(psi)};
    }
};

// Feature positions along a half's margin, from the petiole sinus to the apex.
enum Feature {
    PetioleSinusBase,
    N5Tooth,
    N4Tooth,
    N3Tooth,
    LowerSinusBase,
    N2Tooth,
    UpperSinusBase,
    Apex,
    FeatureCount
};

struct MarginNode {
    double at = 0; // arc length from the petiole sinus
    bool main = false;
    bool toothTip = true;
};

struct Interval {
    double depth = 0; // notch depth; 0 for a toothless stretch
    double notchAt = 0.5;
    double sharpness = 1.4;
    double straight = 0.4;

    // How far in the margin lies at x (0 at a tip, 1 at the notch): the
    // straight share keeps the tip pointed, the power bows the edge outwards.
    double inset(double x) const { return straight * x + (1 - straight) * std::pow(x, sharpness); }
};

struct Vein {
    Vein(QPointF from, QPointF to, double fromWidth = 0, double toWidth = 0, QPointF bow = {})
        : from(from), to(to), fromWidth(fromWidth), toWidth(toWidth), bow(bow)
    {}

    QPointF from;
    QPointF to;
    double fromWidth;
    double toWidth;
    // How far a curved vein's control point lies off its chord's middle;
    // none for a straight vein.
    QPointF bow;

    // The vein's point at a share of the way along it, from 0 to 1.
    QPointF at(double t) const
    {
        if (bow.isNull())
            return lerp(from, to, t);
        const QPointF control = lerp(from, to, 0.5) + bow;
        return (1 - t) * (1 - t) * from + 2 * t * (1 - t) * control + t * t * to;
    }
};

struct Half {
    HalfShape shape;
    std::vector<QPointF> curve; // the smooth outline, petiole sinus to apex
    std::vector<double> arc;
    std::array<double, FeatureCount> feature{};
    std::vector<MarginNode> nodes;
    std::vector<Interval> intervals; // between nodes i and i + 1
    std::vector<QPointF> margin;     // the toothed outline
    std::vector<double> marginArc;   // where each margin point lies on the curve
    std::array<QPointF, 5> tip{};    // N1..N5 tips
    QPointF n4Base;                  // P2 / P6
    QPointF n4Bow;                   // N4's bend round the petiole sinus
    QPointF n5Base;                  // P8 / P7
    QPointF firstN2Branch;           // P3 / P5
    double firstN2BranchAt = 2;
    QPointF n2Secondary;                // P15 / P25
    std::array<QPointF, 4> toothBase{}; // N4 petiole side, apex side; N2 same
    QPointF upperSinus;
    QPointF lowerSinus;

    QPointF curveAt(double s) const
    {
        s = std::clamp(s, 0.0, arc.back());
        const auto found = std::upper_bound(arc.begin(), arc.end(), s);
        const std::size_t i = std::clamp<std::size_t>(static_cast<std::size_t>(found - arc.begin()),
                                                      1, arc.size() - 1);
        const double span = arc[i] - arc[i - 1];
        const double t = span > 0 ? (s - arc[i - 1]) / span : 0;
        return lerp(curve[i - 1], curve[i], t);
    }

    QPointF outwardAt(double s, double step) const
    {
        const QPointF tangent = curveAt(s + step) - curveAt(s - step);
        const double length = std::max(norm(tangent), 1e-12);
        // Petiole to apex runs clockwise on the x < 0 half, anticlockwise on
        // the other.
        const QPointF left(-tangent.y(), tangent.x());
        return (shape.side < 0 ? left : -left) / length;
    }
};

// Draws the walls of a lateral sinus together across its axis, so that its
// lobes touch, or lie a little over each other, some way out from the base
// and leave a hole inside. The pull acts near the walls and fades along the
// axis and towards the vein tips, which stay put, as does the base.
void closeLateralSinus(const HalfShape& shape, int sector, std::vector<QPointF>& points,
                       const std::vector<double>& us)
{
    const double at = shape.sinusAt[sector];
    const auto baseIndex =
        static_cast<std::size_t>(std::lower_bound(us.begin(), us.end(), at) - us.begin());
    if (baseIndex == 0 || baseIndex + 1 >= points.size())
        return;
    const QPointF base = points[baseIndex];
    const QPointF axis = base / norm(base);
    const double depth = shape.smoothRadius(sector, at) - shape.sinusRadius[sector];
    const double meet = shape.closeAt[sector] * depth;
    const double reach = shape.closeReach[sector] * depth;
    // Half-width of the sinus where the walls should meet, on each side.
    std::array<double, 2> gap{};
    for (int part = 0; part < 2; ++part) {
        const std::ptrdiff_t step = part == 0 ? -1 : 1;
        for (auto i = static_cast<std::ptrdiff_t>(baseIndex);
             i >= 0 && i < static_cast<std::ptrdiff_t>(points.size()); i += step) {
            const QPointF d = points[static_cast<std::size_t>(i)] - base;
            if (dot(d, axis) >= meet) {
                gap[static_cast<std::size_t>(part)] = std::abs(cross(axis, d));
                break;
            }
        }
    }
    const double widest = std::max(gap[0], gap[1]);
    if (widest <= 0)
        return;
    // Wide enough that the pull never folds a wall over itself.
    const double spread = 3 * widest;
    auto falloff = [&](double across) { return std::exp(-(across * across) / (spread * spread)); };
    for (std::size_t i = 0; i < points.size(); ++i) {
        const auto part = static_cast<std::size_t>(i < baseIndex ? 0 : 1);
        const QPointF d = points[i] - base;
        const double along = dot(d, axis);
        if (along <= 0)
            continue;
        const double across = cross(axis, d);
        const double pull = (gap[part] + shape.closePast[sector]) / falloff(gap[part]) *
                            smoothstep(along / meet) *
                            std::exp(-std::pow(std::max(0.0, along - meet) / reach, 2)) *
                            falloff(across) * shape.window(sector, us[i], 1.0);
        const QPointF sideways(-axis.y(), axis.x()); // cross(axis, sideways) = 1
        points[i] -= sideways * (across < 0 ? -pull : pull);
    }
}

void sampleCurve(Half& half)
{
    const HalfShape& shape = half.shape;
    // Sampled from the apex round to the petiole sinus, reversed below.
    std::vector<QPointF> points;
    std::vector<int> knotIndex(KnotCount + 2, 0);
    int lowerSinusIndex = 0;
    int upperSinusIndex = 0;
    constexpr int Steps = 1500;
    for (int sector = 0; sector < PolarSectors; ++sector) {
        const double a = shape.angle[sector];
        const double b = shape.angle[sector + 1];
        std::vector<double> breaks{0.0};
        if (shape.sinusAt[sector] >= 0)
            breaks.push_back(shape.sinusAt[sector]);
        breaks.push_back(1.0);
        knotIndex[sector] = static_cast<int>(points.size());
        std::vector<QPointF> sectorPoints;
        std::vector<double> us;
        for (std::size_t part = 0; part + 1 < breaks.size(); ++part) {
            if (part == 1) {
                (sector == 0 ? upperSinusIndex : lowerSinusIndex) =
                    static_cast<int>(points.size() + sectorPoints.size());
            }
            for (int step = 0; step < Steps; ++step) {
                const double u = breaks[part] + (breaks[part + 1] - breaks[part]) * step / Steps;
                sectorPoints.push_back(shape.point(a + (b - a) * u, shape.radiusAt(sector, u)));
                us.push_back(u);
            }
        }
        if (sector < 2 && shape.closeAt[sector] >= 0 && shape.sinusAt[sector] >= 0)
            closeLateralSinus(shape, sector, sectorPoints, us);
        points.insert(points.end(), sectorPoints.begin(), sectorPoints.end());
    }
    // The petiole sinus wall, N5 tip to head. The lobe turns into the wall
    // along a curve that follows both, since a corner under the N5 tooth
    // would fold its flanks over each other. The round head gets its own
    // steps, so that a narrow slot keeps its shape.
    knotIndex[N5Tip] = static_cast<int>(points.size());
    const SinusWall& wall = shape.wall;
    auto wallPoint = [&](double d) { return QPointF(shape.side * wall.width(d), -wall.head - d); };
    const QPointF tip = wallPoint(wall.depth);
    const QPointF arriving = tip - points.back();
    const double turnEnd = wall.depth - std::max(wall.round, wall.corner * wall.depth);
    const QPointF turnTo = wallPoint(turnEnd);
    const QPointF wallDown = wallPoint(turnEnd + 1e-4) - turnTo;
    const double reach = 0.45 * norm(turnTo - tip);
    const QPointF c1 = tip + arriving / norm(arriving) * reach;
    const QPointF c2 = turnTo + wallDown / norm(wallDown) * reach;
    for (int step = 0; step < Steps / 2; ++step) {
        const double t = static_cast<double>(step) / (Steps / 2);
        const double r = 1 - t;
        points.push_back(tip * (r * r * r) + c1 * (3 * r * r * t) + c2 * (3 * r * t * t) +
                         turnTo * (t * t * t));
    }
    for (int step = 0; step < Steps; ++step)
        points.push_back(wallPoint(turnEnd - (turnEnd - wall.round) * step / Steps));
    constexpr int HeadSteps = 200;
    for (int step = 0; step < HeadSteps; ++step) {
        const double angle = Pi / 2 * step / HeadSteps;
        points.push_back(wallPoint(wall.round * (1 - std::sin(angle))));
    }
    knotIndex[PetioleSinus] = static_cast<int>(points.size());
    points.push_back(QPointF(0, -wall.head));

    const int last = static_cast<int>(points.size()) - 1;
    half.curve.assign(points.rbegin(), points.rend());
    half.arc.assign(half.curve.size(), 0.0);
    for (std::size_t i = 1; i < half.curve.size(); ++i)
        half.arc[i] = half.arc[i - 1] + norm(half.curve[i] - half.curve[i - 1]);
    auto arcOf = [&](int index) { return half.arc[static_cast<std::size_t>(last - index)]; };
    half.feature[PetioleSinusBase] = 0;
    half.feature[N5Tooth] = arcOf(knotIndex[N5Tip]);
    half.feature[N4Tooth] = arcOf(knotIndex[N4Tip]);
    half.feature[N3Tooth] = arcOf(knotIndex[N3Tip]);
    half.feature[LowerSinusBase] = arcOf(lowerSinusIndex);
    half.feature[N2Tooth] = arcOf(knotIndex[N2Tip]);
    half.feature[UpperSinusBase] = arcOf(upperSinusIndex);
    half.feature[Apex] = half.arc.back();
    for (int knot = N1Tip; knot <= N5Tip; ++knot)
        half.tip[static_cast<std::size_t>(knot)] =
            half.curve[static_cast<std::size_t>(last - knotIndex[knot])];
    half.upperSinus = half.curve[static_cast<std::size_t>(last - upperSinusIndex)];
    half.lowerSinus = half.curve[static_cast<std::size_t>(last - lowerSinusIndex)];
}

// The lobes on either side of the N4 tip narrow to its tooth, which reaches
// farthest of its lobe on real leaves; the bulges drawn for those stretches
// mostly bulge outwards. The stretches are redrawn but keep the arc lengths of
// the first drawing, by which the teeth are laid with their random draws: a
// change of length would change the teeth of every leaf of a set.
void narrowN4Lobe(Half& half)
{
    Half narrowed = half;
    narrowed.shape.n4Narrowing = 0.15;
    sampleCurve(narrowed);
    half.shape = narrowed.shape;
    half.curve = narrowed.curve;
}

struct Teeth {
    double spacing = 0.03;     // between small teeth, in model units
    double mainSpacing = 0.05; // either side of a vein tip
    double depth = 0.4;        // notch depth over spacing
    double notchAt = 0.55;
    double sharpness = 1.4;
    double straight = 0.4;
    double clearance = 0.03; // toothless stretch at a sinus base
};

// Lays teeth between two features: tips at both ends when neither is a sinus,
// otherwise the main tooth at the vein tip, small teeth, and a toothless
// stretch down to the sinus base.
void layTeeth(Half& half, Random& random, const Teeth& teeth, double from, double to,
              bool fromSinus, bool toSinus)
{
    const double length = to - from;
    std::vector<double> widths;
    std::vector<double> depths;
    auto jitter = [&] { return random.uniform(0.85, 1.15); };
    if (!fromSinus && !toSinus) {
        double main = std::min(teeth.mainSpacing, length / 2);
        const double middle = length - 2 * main;
        const int count = static_cast<int>(std::lround(middle / teeth.spacing));
        if (count < 1) {
            widths = {length};
            depths = {length / 2 * teeth.depth};
        } else {
            widths.push_back(main);
            depths.push_back(main * teeth.depth * 1.2 * jitter());
            for (int i = 0; i < count; ++i) {
                widths.push_back(middle / count);
                depths.push_back(middle / count * teeth.depth * jitter());
            }
            widths.push_back(main);
            depths.push_back(main * teeth.depth * 1.2 * jitter());
        }
    } else {
        // Built from the vein tip towards the sinus, then turned if needed.
        const double main = std::min(teeth.mainSpacing, 0.4 * length);
        widths.push_back(main);
        depths.push_back(main * teeth.depth * 1.2 * jitter());
        double rest = length - main;
        const double small = std::min(teeth.spacing, rest / 2);
        do {
            const double width = small * random.uniform(0.9, 1.1);
            widths.push_back(width);
            depths.push_back(width * teeth.depth * jitter());
            rest -= width;
        } while (rest > teeth.clearance + small);
        widths.push_back(rest);
        depths.push_back(0);
        if (fromSinus) {
            std::reverse(widths.begin(), widths.end());
            std::reverse(depths.begin(), depths.end());
        }
    }
    double at = from;
    for (std::size_t i = 0; i < widths.size(); ++i) {
        half.intervals.push_back({depths[i],
                                  std::clamp(teeth.notchAt + random.uniform(-0.06, 0.06), 0.3, 0.8),
                                  teeth.sharpness, teeth.straight});
        at += widths[i];
        const bool end = i + 1 == widths.size();
        half.nodes.push_back({end ? to : at, end && !toSinus, !(end && toSinus)});
    }
}

void cutMargin(Half& half, Random& random, const Teeth& teeth)
{
    const auto& f = half.feature;
    half.nodes = {{0, false, false}};
    half.intervals.clear();
    // The petiole sinus wall is smooth for much of its way in from the N5
    // tooth, as on real leaves.
    Teeth wallTeeth = teeth;
    wallTeeth.clearance =
        std::max(teeth.clearance, (f[N5Tooth] - f[PetioleSinusBase]) * random.uniform(0.3, 0.7));
    layTeeth(half, random, wallTeeth, f[PetioleSinusBase], f[N5Tooth], true, false);
    layTeeth(half, random, teeth, f[N5Tooth], f[N4Tooth], false, false);
    layTeeth(half, random, teeth, f[N4Tooth], f[N3Tooth], false, false);
    layTeeth(half, random, teeth, f[N3Tooth], f[LowerSinusBase], false, true);
    layTeeth(half, random, teeth, f[LowerSinusBase], f[N2Tooth], true, false);
    layTeeth(half, random, teeth, f[N2Tooth], f[UpperSinusBase], false, true);
    layTeeth(half, random, teeth, f[UpperSinusBase], f[Apex], true, false);

    const double step = teeth.spacing / 50;
    half.margin.clear();
    half.marginArc.clear();
    for (std::size_t i = 0; i + 1 < half.nodes.size(); ++i) {
        const double a = half.nodes[i].at;
        const double b = half.nodes[i + 1].at;
        const Interval& interval = half.intervals[i];
        const int samples =
            interval.depth > 0 ? 24 : std::max(4, static_cast<int>(std::ceil((b - a) / step)));
        for (int j = 0; j < samples; ++j) {
            const double t = static_cast<double>(j) / samples;
            const double s = a + (b - a) * t;
            const double inset = t < interval.notchAt
                                     ? interval.inset(t / interval.notchAt)
                                     : interval.inset((1 - t) / (1 - interval.notchAt));
            half.margin.push_back(half.curveAt(s) -
                                  half.outwardAt(s, step) * interval.depth * inset);
            half.marginArc.push_back(s);
        }
    }
    half.margin.push_back(half.curveAt(half.arc.back()));
    half.marginArc.push_back(half.arc.back());

    auto notch = [&](std::size_t i) {
        const Interval& interval = half.intervals[i];
        const double s =
            half.nodes[i].at + (half.nodes[i + 1].at - half.nodes[i].at) * interval.notchAt;
        return half.curveAt(s) - half.outwardAt(s, step) * interval.depth;
    };
    // A tooth's bases, petiole side first. At a lobe tip sharper than the
    // tooth is deep, the notches set in from either flank cross over, and the
    // one laid out on the petiole side lies on the apex side of the tooth as
    // drawn: each base is named by the side it lies on.
    auto bases = [&](std::size_t i) {
        const double at = half.nodes[i].at;
        const QPointF apexward = half.curveAt(at + step) - half.curveAt(at - step);
        const QPointF petioleSide = notch(i - 1);
        const QPointF apexSide = notch(i);
        if (dot(apexSide - petioleSide, apexward) < 0)
            return std::pair{apexSide, petioleSide};
        return std::pair{petioleSide, apexSide};
    };
    for (std::size_t i = 1; i + 1 < half.nodes.size(); ++i) {
        const double at = half.nodes[i].at;
        if (at == f[N4Tooth]) {
            std::tie(half.toothBase[0], half.toothBase[1]) = bases(i);
        } else if (at == f[N2Tooth]) {
            std::tie(half.toothBase[2], half.toothBase[3]) = bases(i);
            half.n2Secondary = half.curveAt(half.nodes[i - 1].at);
        }
    }
}

struct Model {
    std::array<Half, 2> halves;   // x < 0, x > 0
    std::vector<QPointF> outline; // clockwise, y up
    std::vector<Vein> veins;
    // Where lobes lie over each other: double tissue.
    std::vector<QPainterPath> overlaps;
    QPointF firstN1Branch;
    bool hasN1Branch = false;
};

double psiOf(const Half& half, QPointF p)
{
    const double psi = std::atan2(half.shape.side * p.x(), p.y());
    // A basal lobe that reaches past the midrib's line stays past 180 degrees.
    return psi < -Pi / 2 ? psi + 2 * Pi : psi;
}

// The secondary veins: one from a main vein to every small tooth, leaving
// the main vein at about 45 degrees towards the margin.
void addSecondaries(Model& model, Half& half, const QPolygonF& blade, double width,
                    double& firstN1Branch, Random& random)
{
    const HalfShape& shape = half.shape;
    const QPointF origin(0, 0);
    const Vein n1{origin, half.tip[0]}, n2{origin, half.tip[1]}, n3{origin, half.tip[2]},
        n4{half.n4Base, half.tip[3], 0, 0, half.n4Bow}, n5{half.n5Base, half.tip[4]};
    auto distance = [](const Vein& vein, QPointF p) {
        if (!vein.bow.isNull()) {
            double least = norm(p - vein.from);
            for (int i = 1; i <= 32; ++i)
                least = std::min(least, norm(p - vein.at(i / 32.0)));
            return least;
        }
        const QPointF v = vein.to - vein.from;
        const double t = std::clamp(dot(p - vein.from, v) / dot(v, v), 0.0, 1.0);
        return norm(p - lerp(vein.from, vein.to, t));
    };
    const double upperSinusPsi = psiOf(half, half.upperSinus);
    const double lowerSinusPsi = psiOf(half, half.lowerSinus);
    for (const MarginNode& node : half.nodes) {
        if (node.main || !node.toothTip)
            continue;
        const QPointF tooth = half.curveAt(node.at);
        const double psi = psiOf(half, tooth);
        int which = 0;
        if (psi < upperSinusPsi)
            which = 1;
        else if (psi < lowerSinusPsi)
            which = 2;
        else if (psi < shape.angle[N3Tip])
            which = 3;
        else if (psi < shape.angle[N4Tip])
            which = distance(n3, tooth) < distance(n4, tooth) ? 3 : 4;
        else if (psi < shape.angle[N5Tip])
            which = distance(n4, tooth) < distance(n5, tooth) ? 4 : 5;
        else
            which = 5;
        const Vein& vein = which == 1   ? n1
                           : which == 2 ? n2
                           : which == 3 ? n3
                           : which == 4 ? n4
                                        : n5;
        const QPointF v = vein.to - vein.from;
        const double lengthSquared = dot(v, v);
        const double along = dot(tooth - vein.from, v) / lengthSquared;
        const double across = std::abs(cross(v, tooth - vein.from)) / lengthSquared;
        const double wanted = along - across * random.uniform(0.8, 1.1);
        // Teeth that only a vein from the main vein's very base could reach
        // would fan out from one point; they go without.
        if (wanted < 0.08)
            continue;
        double t = std::clamp(wanted, 0.12, 0.92);
        // A vein that would cut across a sinus leaves its main vein further out.
        auto inside = [&](QPointF from) {
            for (int i = 1; i < 12; ++i) {
                if (!blade.containsPoint(lerp(from, tooth, i / 12.0), Qt::WindingFill))
                    return false;
            }
            return true;
        };
        while (t < 0.95 && !inside(vein.at(t)))
            t += 0.04;
        if (t >= 0.95)
            continue;
        const QPointF branch = vein.at(t);
        model.veins.push_back({branch, tooth, width, width * 0.35});
        if (which == 1 && t < firstN1Branch) {
            firstN1Branch = t;
            model.firstN1Branch = branch;
            model.hasN1Branch = true;
        }
        if (which == 2 && t < half.firstN2BranchAt) {
            half.firstN2BranchAt = t;
            half.firstN2Branch = branch;
        }
    }
}

// The petiole sinus's form, common to both halves.
enum class SinusForm { V, U, Slot, HoleOverlap, HoleTouch, OverlapFromHead };

// Draws the form and the wall's shape; depth and mouth follow per half from
// where its N5 tip lies. Shares: open V 30 %, U 28 %, narrow slot 22 %, and
// closed 20 %: a hole at the head with the lobes over each other below it
// (7 %), lobes that touch below a hole and part again (7 %), or lobes over
// each other from the head on, the gap ending short of it (6 %).
SinusWall drawSinusWall(Random& random, double unitsPerMm, SinusForm& form, double& angle)
{
    const double pick = random.uniform();
    form = pick < 0.30   ? SinusForm::V
           : pick < 0.58 ? SinusForm::U
           : pick < 0.80 ? SinusForm::Slot
           : pick < 0.87 ? SinusForm::HoleOverlap
           : pick < 0.94 ? SinusForm::HoleTouch
                         : SinusForm::OverlapFromHead;
    SinusWall wall;
    // The head lies at P(1) or a little towards the petiole, within 3 mm.
    wall.head = random.uniform(0, 2.2) * unitsPerMm;
    angle = 0;
    switch (form) {
    case SinusForm::V:
        wall.round = random.uniform(0.0008, 0.002);
        angle = degrees(random.uniform(12, 38));
        wall.power = random.uniform(0.85, 1.2);
        break;
    case SinusForm::U:
        wall.round = random.uniform(0.025, 0.065);
        wall.mouth = wall.round * random.uniform(1.1, 2.4);
        wall.power = random.uniform(1.2, 2.5);
        break;
    case SinusForm::Slot:
        wall.round = random.uniform(0.003, 0.01);
        wall.mouth = wall.round * random.uniform(1.0, 2.2);
        wall.power = random.uniform(1.0, 2.0);
        break;
    case SinusForm::HoleOverlap:
        wall.round = random.uniform(0.012, 0.035);
        wall.mouth = -random.uniform(0.01, 0.05);
        wall.power = random.uniform(0.6, 1.0);
        break;
    case SinusForm::HoleTouch:
    case SinusForm::OverlapFromHead: {
        const bool hole = form == SinusForm::HoleTouch;
        wall.round = hole ? random.uniform(0.012, 0.03) : random.uniform(0.002, 0.006);
        wall.mouth = random.uniform(0.02, 0.09);
        wall.power = random.uniform(1.0, 1.6);
        const double meet = random.uniform(0.3, 0.6);
        wall.riseEnd = hole ? meet : 0.05;
        wall.fallFrom = meet;
        wall.fallTo = std::min(1.0, meet + random.uniform(0.2, 0.4));
        // How far the lobes pass each other where they meet.
        const double past = random.uniform(0.002, 0.012);
        if (hole) {
            // The least pinch that brings the walls to -past somewhere.
            wall.pinch = 1e9;
            for (int i = 1; i < 200; ++i) {
                const double s = i / 200.0;
                if (wall.bump(s) > 0.2)
                    wall.pinch = std::min(wall.pinch, (wall.open(s) + past) / wall.bump(s));
            }
        } else {
            double widest = 0;
            for (int i = 0; i <= 100; ++i)
                widest =
                    std::max(widest, wall.open(wall.riseEnd + (meet - wall.riseEnd) * i / 100));
            wall.pinch = widest + past;
        }
        break;
    }
    }
    return wall;
}

// Builds a leaf in model units (N1 of length 1). lobing 0 is deeply lobed,
// 1 nearly entire. unitsPerMm is a rough scale, for sizes real leaves give in
// millimetres.
Model buildModel(Random& random, double toothScale, double unitsPerMm)
{
    Model model;
    const double lobing = random.uniform();
    const double upperRatio = 0.3 + 0.65 * lobing;
    const double lowerRatio = std::min(0.96, upperRatio + random.uniform(-0.02, 0.12));
    const double deep = 1 - lobing;

    HalfShape common;
    common.angle[N1Tip] = 0;
    common.angle[N2Tip] = degrees(random.uniform(42, 62));
    common.angle[N3Tip] = common.angle[N2Tip] + degrees(random.uniform(38, 55));
    common.angle[N4Tip] = common.angle[N3Tip] + degrees(random.uniform(22, 36));
    common.angle[PetioleSinus] = Pi;
    common.radius[N1Tip] = 1;
    common.radius[N2Tip] = random.uniform(0.82, 1.0);
    common.radius[N3Tip] = common.radius[N2Tip] * random.uniform(0.7, 0.88);
    common.radius[N4Tip] = common.radius[N3Tip] * random.uniform(0.62, 0.8);
    common.radius[N5Tip] = common.radius[N4Tip] * random.uniform(0.7, 0.9);
    SinusForm form = SinusForm::V;
    double vAngle = 0;
    common.wall = drawSinusWall(random, unitsPerMm, form, vAngle);
    // Below 0, so that a lobe narrows to its vein's tooth.
    const double lobeBulge = random.uniform(-0.2, -0.05);
    // Wide sinus windows taper the lobes; narrow ones leave fans.
    const double sinusWidth = random.uniform(0.28, 0.55);
    const double basalBulge = random.uniform(0.0, 0.1);
    // Now and then two lobes close a lateral sinus of a lobed leaf.
    const bool closeLateral = random.chance(0.15) && upperRatio < 0.75;
    const int closedSector = static_cast<int>(random.next() % 2);
    // Both halves' sinus, or the one of half 0 or 1.
    const int closedHalf = random.chance(0.3) ? -1 : static_cast<int>(random.next() % 2);

    for (int index = 0; index < 2; ++index) {
        Half& half = model.halves[static_cast<std::size_t>(index)];
        HalfShape shape = common;
        shape.side = index == 0 ? -1 : 1;
        // The halves differ a little, as real ones do.
        for (int knot = N2Tip; knot <= N5Tip; ++knot) {
            shape.angle[static_cast<std::size_t>(knot)] += degrees(random.uniform(-3, 3));
            shape.radius[static_cast<std::size_t>(knot)] *= random.uniform(0.96, 1.04);
        }
        // The N5 tip ends the petiole sinus wall, at the sinus's mouth.
        SinusWall& wall = shape.wall;
        const double r5 = shape.radius[N5Tip];
        wall.scale = random.uniform(0.92, 1.08);
        wall.corner = random.uniform(0.12, 0.25);
        if (form == SinusForm::V) {
            const double c = std::cos(vAngle);
            const double along =
                -wall.head * c + std::sqrt(wall.head * wall.head * (c * c - 1) + r5 * r5);
            wall.mouth = along * std::sin(vAngle) / wall.scale;
        }
        const double mouth = wall.scale * wall.mouth;
        wall.depth = std::sqrt(r5 * r5 - mouth * mouth) - wall.head;
        shape.angle[N5Tip] = Pi - std::atan2(mouth, wall.head + wall.depth);
        // The lobes' veins keep their order towards it.
        const double room = shape.angle[N5Tip] - degrees(10);
        if (shape.angle[N4Tip] > room) {
            const double squeeze = room / shape.angle[N4Tip];
            for (int knot = N2Tip; knot <= N4Tip; ++knot)
                shape.angle[static_cast<std::size_t>(knot)] *= squeeze;
        }
        shape.bulge = {lobeBulge + random.uniform(-0.03, 0.03),
                       lobeBulge + random.uniform(-0.03, 0.03), random.uniform(-0.03, 0.08),
                       basalBulge + random.uniform(-0.03, 0.03)};
        for (int sector = 0; sector < 2; ++sector) {
            const auto s = static_cast<std::size_t>(sector);
            shape.sinusAt[s] = random.uniform(0.4, 0.6);
            shape.sinusWidth[s] = sinusWidth * random.uniform(0.9, 1.1);
            const double ratio =
                (sector == 0 ? upperRatio : lowerRatio) + random.uniform(-0.03, 0.03);
            const double wanted = ratio * shape.radius[s + 1];
            shape.sinusRadius[s] =
                std::min(wanted, 0.97 * shape.smoothRadius(sector, shape.sinusAt[s]));
        }
        if (closeLateral && (closedHalf < 0 || closedHalf == index)) {
            const auto s = static_cast<std::size_t>(closedSector);
            shape.closeAt[s] = random.uniform(0.15, 0.45);
            shape.closePast[s] = random.uniform(0.0, 0.006);
            shape.closeReach[s] = random.uniform(0.1, 0.3);
        }
        half.shape = shape;
        sampleCurve(half);
        narrowN4Lobe(half);
    }

    Teeth teeth;
    teeth.spacing = toothScale;
    teeth.mainSpacing = toothScale * random.uniform(1.3, 1.9);
    teeth.depth = random.uniform(0.3, 0.75);
    teeth.notchAt = random.uniform(0.4, 0.7);
    teeth.sharpness = random.uniform(1.2, 2.0);
    teeth.straight = random.uniform(0.5, 0.9);
    teeth.clearance = toothScale * random.uniform(0.6, 1.2) * (0.5 + deep);

    const double n4At = random.uniform(0.14, 0.3);
    const double n5At = random.uniform(0.3, 0.5);
    const double veinWidth = random.uniform(0.008, 0.012);
    for (Half& half : model.halves)
        cutMargin(half, random, teeth);
    const auto& left = model.halves[0].margin;
    const auto& right = model.halves[1].margin;
    model.outline.assign(left.begin(), left.end());
    model.outline.insert(model.outline.end(), right.rbegin() + 1, right.rend());
    const QPolygonF blade(model.outline.begin(), model.outline.end());

    // Double tissue where lobes cross: the common part of the two lobes, each
    // cut out of its half's margin and closed through P(1).
    auto lobe = [](const Half& half, double from, double to) {
        QPolygonF polygon{QPointF(0, 0)};
        for (std::size_t i = 0; i < half.margin.size(); ++i) {
            if (half.marginArc[i] >= from && half.marginArc[i] <= to)
                polygon.append(half.margin[i]);
        }
        QPainterPath path;
        path.addPolygon(polygon);
        path.closeSubpath();
        return path;
    };
    auto addOverlap = [&](const QPainterPath& a, const QPainterPath& b) {
        const QPainterPath common = a.intersected(b);
        if (!common.isEmpty())
            model.overlaps.push_back(common);
    };
    if (form == SinusForm::HoleOverlap || form == SinusForm::HoleTouch ||
        form == SinusForm::OverlapFromHead) {
        const Half& a = model.halves[0];
        const Half& b = model.halves[1];
        addOverlap(lobe(a, 0, a.feature[N4Tooth]), lobe(b, 0, b.feature[N4Tooth]));
    }
    for (const Half& half : model.halves) {
        const auto& f = half.feature;
        if (half.shape.closeAt[0] >= 0)
            addOverlap(lobe(half, f[UpperSinusBase], f[Apex]),
                       lobe(half, f[N2Tooth], f[UpperSinusBase]));
        if (half.shape.closeAt[1] >= 0)
            addOverlap(lobe(half, f[LowerSinusBase], f[N2Tooth]),
                       lobe(half, f[N3Tooth], f[LowerSinusBase]));
    }

    double firstN1Branch = 2;
    for (Half& half : model.halves) {
        // Whether a vein stays on the blade, up to three quarters of the way
        // out: a straight line into a tooth's tip may graze its flanks, and
        // only a vein that leaves the blade before has crossed a sinus.
        auto inside = [&](const Vein& vein) {
            for (int i = 1; i <= 12; ++i) {
                if (!blade.containsPoint(vein.at(i / 16.0), Qt::WindingFill))
                    return false;
            }
            return true;
        };
        // Where a straight N4 would cross the petiole sinus, it bends round
        // it towards N3, as on real leaves, and leaves N3 where it would
        // anyway. Failing that, it leaves N3 further out, and N5 leaves N4
        // further out the same way.
        double n4Share = n4At * random.uniform(0.9, 1.1);
        half.n4Base = lerp(QPointF(0, 0), half.tip[2], n4Share);
        Vein n4{half.n4Base, half.tip[3]};
        if (!inside(n4)) {
            const QPointF chord = n4.to - n4.from;
            QPointF towardsN3(-chord.y(), chord.x());
            if (dot(towardsN3, half.tip[2] - n4.from) < 0)
                towardsN3 = -towardsN3;
            for (double bow = 0.05; bow <= 0.4 && !inside(n4); bow += 0.05)
                n4.bow = towardsN3 * bow;
            if (!inside(n4))
                n4.bow = QPointF();
        }
        while (n4Share < 0.6 && !inside(n4)) {
            n4Share += 0.03;
            half.n4Base = lerp(QPointF(0, 0), half.tip[2], n4Share);
            n4.from = half.n4Base;
        }
        half.n4Bow = n4.bow;
        double n5Share = n5At * random.uniform(0.9, 1.1);
        half.n5Base = n4.at(n5Share);
        while (n5Share < 0.85 && !inside({half.n5Base, half.tip[4]})) {
            n5Share += 0.03;
            half.n5Base = n4.at(n5Share);
        }
        model.veins.push_back({QPointF(0, 0), half.tip[1], veinWidth * 0.85, veinWidth * 0.2});
        model.veins.push_back({QPointF(0, 0), half.tip[2], veinWidth * 0.75, veinWidth * 0.2});
        model.veins.push_back(
            {half.n4Base, half.tip[3], veinWidth * 0.5, veinWidth * 0.18, n4.bow});
        model.veins.push_back({half.n5Base, half.tip[4], veinWidth * 0.35, veinWidth * 0.15});
        addSecondaries(model, half, blade, veinWidth * 0.3, firstN1Branch, random);
    }
    model.veins.insert(model.veins.begin(),
                       {QPointF(0, 0), model.halves[0].tip[0], veinWidth, veinWidth * 0.2});
    return model;
}

double diameter(const std::vector<QPointF>& points)
{
    const std::size_t stride = std::max<std::size_t>(1, points.size() / 400);
    double widest = 0;
    for (std::size_t i = 0; i < points.size(); i += stride) {
        for (std::size_t j = i + stride; j < points.size(); j += stride)
            widest = std::max(widest, norm(points[i] - points[j]));
    }
    return widest;
}

// Model units to picture pixels (y down, as QPainter draws).
struct Placement {
    double scale = 1; // pixels per model unit
    double cosine = 1;
    double sine = 0;
    bool mirrored = false;
    QPointF offset;

    QTransform transform() const
    {
        const double m = mirrored ? -1 : 1;
        return QTransform(scale * cosine * m, -scale * sine * m, -scale * sine, -scale * cosine,
                          offset.x(), offset.y());
    }

    QPointF operator()(QPointF p) const
    {
        const double x = mirrored ? -p.x() : p.x();
        // Rotated with y up, then turned to rows.
        const double rx = cosine * x - sine * p.y();
        const double ry = sine * x + cosine * p.y();
        return QPointF(rx * scale, -ry * scale) + offset;
    }
};

QPolygonF placed(const std::vector<QPointF>& points, const Placement& placement)
{
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (QPointF p : points)
        polygon.append(placement(p));
    return polygon;
}

void drawVein(QPainter& painter, QPointF from, QPointF to, double fromWidth, double toWidth)
{
    const QPointF direction = to - from;
    const double length = norm(direction);
    if (length <= 0)
        return;
    const QPointF across = QPointF(-direction.y(), direction.x()) / length;
    painter.drawPolygon(QPolygonF{from + across * fromWidth / 2, to + across * toWidth / 2,
                                  to - across * toWidth / 2, from - across * fromWidth / 2});
}

QColor shifted(const QColor& colour, int red, int green, int blue)
{
    return QColor(std::clamp(colour.red() + red, 0, 255),
                  std::clamp(colour.green() + green, 0, 255),
                  std::clamp(colour.blue() + blue, 0, 255));
}

struct Look {
    bool lightBox = false;
    QColor paper;
    QColor paperEdge;
    QColor blade;
    QColor bladeOther; // the far end of a gradient across the blade
    QColor vein;
    QColor edge;
};

Look chooseLook(Random& random)
{
    Look look;
    look.lightBox = random.chance(0.5);
    const double kind = random.uniform();
    if (look.lightBox) {
        const int cream = static_cast<int>(random.uniform(228, 246));
        look.paper = QColor(cream, cream - static_cast<int>(random.uniform(0, 6)),
                            cream - static_cast<int>(random.uniform(18, 34)));
        look.paperEdge = shifted(look.paper, -14, -14, -14);
        if (kind < 0.75)
            look.blade = QColor(static_cast<int>(random.uniform(120, 180)),
                                static_cast<int>(random.uniform(175, 210)),
                                static_cast<int>(random.uniform(30, 80)));
        else
            look.blade = QColor(static_cast<int>(random.uniform(150, 185)),
                                static_cast<int>(random.uniform(140, 175)),
                                static_cast<int>(random.uniform(50, 80)));
        look.bladeOther = shifted(look.blade, static_cast<int>(random.uniform(-30, 20)),
                                  static_cast<int>(random.uniform(-30, 10)), 0);
        look.vein = shifted(look.blade, 45, 35, 50);
        look.edge = shifted(look.blade, -50, -50, -20);
    } else {
        const int white = static_cast<int>(random.uniform(244, 255));
        look.paper = QColor(white, white, white - static_cast<int>(random.uniform(0, 5)));
        look.paperEdge = look.paper;
        if (kind < 0.8)
            look.blade = QColor(static_cast<int>(random.uniform(35, 85)),
                                static_cast<int>(random.uniform(75, 130)),
                                static_cast<int>(random.uniform(20, 55)));
        else
            look.blade = QColor(static_cast<int>(random.uniform(80, 115)),
                                static_cast<int>(random.uniform(55, 80)),
                                static_cast<int>(random.uniform(35, 55)));
        look.bladeOther = shifted(look.blade, static_cast<int>(random.uniform(-15, 25)),
                                  static_cast<int>(random.uniform(-15, 25)), 0);
        look.vein = shifted(look.blade, 60, 60, 45);
        look.edge = shifted(look.blade, -20, -25, -10);
    }
    return look;
}

void drawBlade(QPainter& painter, const Model& model, const Placement& placement, const Look& look,
               Random& random, bool withVeins)
{
    const QPolygonF outline = placed(model.outline, placement);
    const QRectF box = outline.boundingRect();
    const double turn = random.uniform(0, 2 * Pi);
    const QPointF reach =
        QPointF(std::cos(turn), std::sin(turn)) * std::max(box.width(), box.height()) / 2;
    QLinearGradient gradient(box.center() - reach, box.center() + reach);
    gradient.setColorAt(0, look.blade);
    gradient.setColorAt(1, look.bladeOther);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    // Winding fill keeps crossed lobes filled; the hole they leave stays open.
    painter.drawPolygon(outline, Qt::WindingFill);
    if (!model.overlaps.empty()) {
        // Double tissue lets less light through and looks darker on a scan.
        painter.setBrush(QColor(0, 0, 0, look.lightBox ? 90 : 45));
        const QTransform transform = placement.transform();
        for (const QPainterPath& overlap : model.overlaps)
            painter.drawPath(transform.map(overlap));
    }
    painter.setPen(QPen(look.edge, std::max(1.0, placement.scale * 0.002)));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(outline);
    if (!withVeins)
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.vein);
    // A vein whose straight line leaves a narrow lobe shows only on the blade.
    QPainterPath blade;
    blade.addPolygon(outline);
    blade.setFillRule(Qt::WindingFill);
    painter.save();
    painter.setClipPath(blade);
    for (const Vein& vein : model.veins) {
        const double fromWidth = std::max(1.0, vein.fromWidth * placement.scale);
        const double toWidth = std::max(0.7, vein.toWidth * placement.scale);
        if (vein.bow.isNull()) {
            drawVein(painter, placement(vein.from), placement(vein.to), fromWidth, toWidth);
            continue;
        }
        // One outline for a curved vein: pieces drawn apart would leave
        // light seams where their smoothed edges meet.
        constexpr int Pieces = 24;
        QPolygonF sides(2 * (Pieces + 1));
        for (int i = 0; i <= Pieces; ++i) {
            const double t = static_cast<double>(i) / Pieces;
            const QPointF at = placement(vein.at(t));
            const QPointF ahead = placement(vein.at(std::min(1.0, t + 0.01))) -
                                  placement(vein.at(std::max(0.0, t - 0.01)));
            const QPointF across = QPointF(-ahead.y(), ahead.x()) / norm(ahead);
            const double half = (fromWidth + (toWidth - fromWidth) * t) / 2;
            sides[i] = at + across * half;
            sides[2 * (Pieces + 1) - 1 - i] = at - across * half;
        }
        painter.drawPolygon(sides);
    }
    painter.restore();
}

// A strip of rule along one border, millimetre ticks.
void drawRuler(QPainter& painter, QRectF strip, bool horizontal, double pixelsPerMm)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(238, 236, 222));
    painter.drawRect(strip);
    painter.setPen(QPen(QColor(30, 30, 30), std::max(1.0, pixelsPerMm * 0.15)));
    const double extent = horizontal ? strip.width() : strip.height();
    const double depth = horizontal ? strip.height() : strip.width();
    for (int mm = 1; mm * pixelsPerMm < extent; ++mm) {
        const double tick = depth * (mm % 10 == 0 ? 0.5 : mm % 5 == 0 ? 0.35 : 0.2);
        const double at = mm * pixelsPerMm;
        if (horizontal)
            painter.drawLine(QPointF(strip.left() + at, strip.top()),
                             QPointF(strip.left() + at, strip.top() + tick));
        else
            painter.drawLine(QPointF(strip.left(), strip.top() + at),
                             QPointF(strip.left() + tick, strip.top() + at));
    }
}

// A paper label with lines of dark marks where its writing would be.
void drawLabel(QPainter& painter, QRectF label, Random& random)
{
    painter.setPen(QPen(QColor(150, 150, 140), 1));
    painter.setBrush(QColor(250, 250, 244));
    painter.drawRect(label);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 40, 60));
    const int lines = 3;
    const double lineHeight = label.height() / (lines + 1);
    for (int line = 0; line < lines; ++line) {
        double x = label.left() + label.width() * 0.08;
        const double y = label.top() + lineHeight * (line + 0.7);
        const double end = label.left() + label.width() * random.uniform(0.5, 0.92);
        while (x < end) {
            const double word = label.width() * random.uniform(0.05, 0.16);
            painter.drawRect(QRectF(x, y, std::min(word, end - x), lineHeight * 0.45));
            x += word + label.width() * 0.04;
        }
    }
}

std::uint32_t grain(std::uint64_t seed, int x, int y)
{
    std::uint64_t z = seed ^ (static_cast<std::uint64_t>(static_cast<std::uint32_t>(y)) << 32 |
                              static_cast<std::uint32_t>(x));
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return static_cast<std::uint32_t>(z ^ (z >> 31));
}

} // namespace

SyntheticLeaf DrawSyntheticLeaf(std::uint64_t seed, int dpi)
{
    Random random(seed);
    // Drawn whether or not it is used, so that a fixed dpi keeps the leaf.
    const double dpiDraw = random.uniform();
    SyntheticLeaf leaf;
    leaf.dpi = dpi > 0 ? dpi : static_cast<int>(std::lround(150 * std::pow(8.0, dpiDraw)));
    const double pixelsPerMm = leaf.dpi / 25.4;

    const double acrossMm = random.uniform(80, 200);
    // Tooth spacing in millimetres, from fine to coarse.
    const double toothMm = 2.5 * std::pow(3.6, random.uniform());
    // The tooth size must be known in model units before the outline is
    // measured; the smooth outline's diameter is close to 1.75 model units.
    Model model = buildModel(random, toothMm * 1.75 / acrossMm, 1.75 / acrossMm);
    const double unitMm = acrossMm / diameter(model.outline);

    Placement placement;
    placement.scale = unitMm * pixelsPerMm;
    const double turn = random.uniform(0, 2 * Pi);
    placement.cosine = std::cos(turn);
    placement.sine = std::sin(turn);
    placement.mirrored = random.chance(0.5);

    const QRectF box = placed(model.outline, placement).boundingRect();
    const double across = acrossMm * pixelsPerMm;
    const double margin = across * random.uniform(0.06, 0.15) + 8;
    double marginLeft = margin * random.uniform(0.7, 1.3);
    double marginRight = margin * random.uniform(0.7, 1.3);
    double marginTop = margin * random.uniform(0.7, 1.3);
    double marginBottom = margin * random.uniform(0.7, 1.3);
    // Keeps a 20 cm leaf at 1200 dpi within 12000 pixels a side.
    constexpr double MaxSide = 12000;
    const double roomX = std::max(0.0, MaxSide - box.width());
    const double roomY = std::max(0.0, MaxSide - box.height());
    if (marginLeft + marginRight > roomX) {
        const double shrink = roomX / (marginLeft + marginRight);
        marginLeft *= shrink;
        marginRight *= shrink;
    }
    if (marginTop + marginBottom > roomY) {
        const double shrink = roomY / (marginTop + marginBottom);
        marginTop *= shrink;
        marginBottom *= shrink;
    }
    const int width = static_cast<int>(std::ceil(box.width() + marginLeft + marginRight));
    const int height = static_cast<int>(std::ceil(box.height() + marginTop + marginBottom));
    placement.offset = QPointF(marginLeft, marginTop) - box.topLeft();

    const Look look = chooseLook(random);
    const bool petiole = random.chance(0.7);
    const double petioleTurn = degrees(random.uniform(-20, 20));
    const double petioleLength = random.uniform(0.25, 0.6);
    const double petioleWidthMm = random.uniform(1.5, 3.0) * acrossMm / 140;
    const bool neighbour = random.chance(0.35);
    const int neighbourSide = static_cast<int>(random.next() % 4);
    const bool ruler = random.chance(0.3);
    const int rulerSide = (neighbourSide + 1 + static_cast<int>(random.next() % 3)) % 4;
    const bool label = random.chance(0.25);
    const double noise = random.uniform(2, 7);

    leaf.picture = QImage(width, height, QImage::Format_RGB32);
    QImage& picture = leaf.picture;
    picture.fill(look.paper);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    if (look.lightBox) {
        QRadialGradient light(
            QPointF(width * random.uniform(0.3, 0.7), height * random.uniform(0.3, 0.7)),
            std::hypot(width, height) * 0.7);
        light.setColorAt(0, look.paper);
        light.setColorAt(1, look.paperEdge);
        painter.fillRect(QRectF(0, 0, width, height), light);
    }

    const double sideMargin[4] = {marginLeft, marginTop, marginRight, marginBottom};
    if (ruler) {
        const double depth = std::min(sideMargin[rulerSide] * 0.6, 15 * pixelsPerMm);
        const double gap = sideMargin[rulerSide] * random.uniform(0.0, 0.25);
        const bool horizontal = rulerSide == 1 || rulerSide == 3;
        QRectF strip;
        if (rulerSide == 0)
            strip = QRectF(gap, 0, depth, height);
        else if (rulerSide == 2)
            strip = QRectF(width - gap - depth, 0, depth, height);
        else if (rulerSide == 1)
            strip = QRectF(0, gap, width, depth);
        else
            strip = QRectF(0, height - gap - depth, width, depth);
        drawRuler(painter, strip, horizontal, pixelsPerMm);
    }
    if (label) {
        // In a corner of the widest margin band, clear of the leaf's box.
        const double band = std::min(marginTop, marginBottom) * 0.8;
        const double labelWidth = std::min(45 * pixelsPerMm, width * 0.3);
        const double labelHeight = std::min(band, 20 * pixelsPerMm);
        if (labelHeight > 6 * pixelsPerMm) {
            const double x = random.chance(0.5) ? width * 0.03 : width * 0.97 - labelWidth;
            const double y =
                marginTop < marginBottom ? height - labelHeight - band * 0.1 : band * 0.1;
            drawLabel(painter, QRectF(x, y, labelWidth, labelHeight), random);
        }
    }
    if (neighbour) {
        Random other(seed ^ 0x5851f42d4c957f2dull);
        Model next = buildModel(other, toothMm * 1.75 / acrossMm, 1.75 / acrossMm);
        Placement there;
        there.scale = placement.scale * other.uniform(0.8, 1.2);
        const double otherTurn = other.uniform(0, 2 * Pi);
        there.cosine = std::cos(otherTurn);
        there.sine = std::sin(otherTurn);
        const QRectF otherBox = placed(next.outline, there).boundingRect();
        const double intrusion = sideMargin[neighbourSide] * other.uniform(0.2, 0.7);
        const double along = other.uniform(0.1, 0.9);
        QPointF topLeft;
        if (neighbourSide == 0)
            topLeft = QPointF(intrusion - otherBox.width(), height * along - otherBox.height() / 2);
        else if (neighbourSide == 2)
            topLeft = QPointF(width - intrusion, height * along - otherBox.height() / 2);
        else if (neighbourSide == 1)
            topLeft = QPointF(width * along - otherBox.width() / 2, intrusion - otherBox.height());
        else
            topLeft = QPointF(width * along - otherBox.width() / 2, height - intrusion);
        there.offset = topLeft - otherBox.topLeft();
        drawBlade(painter, next, there, look, other, true);
    }

    drawBlade(painter, model, placement, look, random, true);
    if (petiole) {
        const QPointF direction(std::sin(petioleTurn), -std::cos(petioleTurn));
        const double widthPx = petioleWidthMm * pixelsPerMm;
        painter.setPen(Qt::NoPen);
        painter.setBrush(shifted(look.vein, -25, -25, -25));
        drawVein(painter, placement(QPointF(0, 0)), placement(direction * petioleLength), widthPx,
                 widthPx * 0.8);
    }
    painter.end();

    const std::uint64_t grainSeed = random.next();
    const int amplitude = static_cast<int>(std::lround(noise));
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::uint32_t g = grain(grainSeed, x, y);
            const int shift =
                static_cast<int>(g % static_cast<std::uint32_t>(2 * amplitude + 1)) - amplitude;
            const QRgb pixel = row[x];
            row[x] = qRgb(std::clamp(qRed(pixel) + shift, 0, 255),
                          std::clamp(qGreen(pixel) + shift, 0, 255),
                          std::clamp(qBlue(pixel) + shift, 0, 255));
        }
    }

    // Landmarks in picture order: a mirror swaps which model half is on the
    // screen's left with the apex up, and the numbers follow the screen.
    auto truth = [&](QPointF model) {
        const QPointF p = placement(model);
        return QPointF(p.x() - 0.5, height - (p.y() - 0.5));
    };
    leaf.landmarks.fill(QPointF(-1, -1));
    auto set = [&](int number, QPointF model) {
        leaf.landmarks[static_cast<std::size_t>(number - 1)] = truth(model);
    };
    set(1, QPointF(0, 0));
    if (model.hasN1Branch)
        set(4, model.firstN1Branch);
    set(20, model.halves[0].tip[0]);
    struct Numbers {
        int n4Base, n2Branch, n5Base, n5Tip, n4Petiole, n4Tip, n4Apex, n3Tip, lowerSinus, secondary,
            n2Petiole, n2Tip, n2Apex, upperSinus;
    };
    constexpr Numbers ScreenLeft{2, 3, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    constexpr Numbers ScreenRight{6, 5, 7, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21};
    for (int index = 0; index < 2; ++index) {
        const Half& half = model.halves[static_cast<std::size_t>(index)];
        const bool onLeft = (index == 0) != placement.mirrored;
        const Numbers& n = onLeft ? ScreenLeft : ScreenRight;
        set(n.n4Base, half.n4Base);
        if (half.firstN2BranchAt <= 1)
            set(n.n2Branch, half.firstN2Branch);
        set(n.n5Base, half.n5Base);
        set(n.n5Tip, half.tip[4]);
        set(n.n4Petiole, half.toothBase[0]);
        set(n.n4Tip, half.tip[3]);
        set(n.n4Apex, half.toothBase[1]);
        set(n.n3Tip, half.tip[2]);
        set(n.lowerSinus, half.lowerSinus);
        set(n.secondary, half.n2Secondary);
        set(n.n2Petiole, half.toothBase[2]);
        set(n.n2Tip, half.tip[1]);
        set(n.n2Apex, half.toothBase[3]);
        set(n.upperSinus, half.upperSinus);
    }
    return leaf;
}

} // namespace kestra
