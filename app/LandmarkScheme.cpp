#include "app/LandmarkScheme.h"

#include "measure/Landmarks.h"

#include <array>

namespace kestra {

namespace {

// The two halves mirror each other about N1, so only the R half is laid out
// here; the L half is its mirror image.
constexpr QPointF Mirrored(QPointF point)
{
    return {SchemeSize.width() - point.x(), point.y()};
}

// Inside the blade, R half and axis.
constexpr QPointF PetiolePoint{500, 500};
constexpr QPointF N3Fork{367, 543}; // N4 leaves N3
constexpr QPointF N2Base{402, 431};
constexpr QPointF N1Base{500, 395};
constexpr QPointF N4Fork{328, 646}; // N5 leaves N4
constexpr QPointF N2SecondaryFork{290, 357};

// The margin of the R half, from the petiole sinus to the apex.
constexpr QPointF PetioleSinus{500, 530};
constexpr QPointF N5Tip{400, 868};
constexpr QPointF N4BasePetiole{340, 838};
constexpr QPointF N4Tip{255, 885};
constexpr QPointF N4BaseApex{215, 815};
constexpr QPointF N3Tip{100, 630};
constexpr QPointF LowerSinus{273, 466};
constexpr QPointF N2SecondaryTip{85, 355};
constexpr QPointF N2BasePetiole{140, 292};
constexpr QPointF N2Tip{96, 206};
constexpr QPointF N2BaseApex{185, 212};
constexpr QPointF UpperSinus{387, 277};
constexpr QPointF Apex{500, 40};

// Free of the leaf, since the user chooses where it goes.
constexpr QPointF FreePoint{760, 960};

constexpr std::array<LandmarkEntry, LandmarkCount> Table{{
    {1, "petiole point, where the petiole meets the blade", PetiolePoint, LabelSide::East},
    {2, "N3 R where N4 R branches off", N3Fork, LabelSide::SouthEast},
    {3, "a point on N2 R near its base, for the direction of N2 R", N2Base, LabelSide::North},
    {4, "a point on N1 near its base, for the distance D 01-04", N1Base, LabelSide::West},
    {5, "a point on N2 L near its base, for the direction of N2 L", Mirrored(N2Base),
     LabelSide::North},
    {6, "N3 L where N4 L branches off", Mirrored(N3Fork), LabelSide::SouthWest},
    {7, "N5 L where it leaves N4 L", Mirrored(N4Fork), LabelSide::East},
    {8, "N5 R where it leaves N4 R", N4Fork, LabelSide::West},
    {9, "tooth tip of N5 R", N5Tip, LabelSide::South},
    {10, "base of the N4 R tooth, petiole side", N4BasePetiole, LabelSide::North},
    {11, "tooth tip of N4 R", N4Tip, LabelSide::South},
    {12, "base of the N4 R tooth, apex side", N4BaseApex, LabelSide::North},
    {13, "tooth tip of N3 R", N3Tip, LabelSide::West},
    {14, "base of the lower lateral sinus R", LowerSinus, LabelSide::West},
    {15, "tooth tip of the first secondary vein of N2 R", N2SecondaryTip, LabelSide::West},
    {16, "base of the N2 R tooth, petiole side", N2BasePetiole, LabelSide::East},
    {17, "tooth tip of N2 R", N2Tip, LabelSide::NorthWest},
    {18, "base of the N2 R tooth, apex side", N2BaseApex, LabelSide::South},
    {19, "base of the upper lateral sinus R", UpperSinus, LabelSide::South},
    {20, "tooth tip of N1 (the apex)", Apex, LabelSide::East},
    {21, "base of the upper lateral sinus L", Mirrored(UpperSinus), LabelSide::South},
    {22, "base of the N2 L tooth, apex side", Mirrored(N2BaseApex), LabelSide::South},
    {23, "tooth tip of N2 L", Mirrored(N2Tip), LabelSide::NorthEast},
    {24, "base of the N2 L tooth, petiole side", Mirrored(N2BasePetiole), LabelSide::West},
    {25, "tooth tip of the first secondary vein of N2 L", Mirrored(N2SecondaryTip),
     LabelSide::East},
    {26, "base of the lower lateral sinus L", Mirrored(LowerSinus), LabelSide::East},
    {27, "tooth tip of N3 L", Mirrored(N3Tip), LabelSide::East},
    {28, "base of the N4 L tooth, apex side", Mirrored(N4BaseApex), LabelSide::North},
    {29, "tooth tip of N4 L", Mirrored(N4Tip), LabelSide::South},
    {30, "base of the N4 L tooth, petiole side", Mirrored(N4BasePetiole), LabelSide::North},
    {31, "tooth tip of N5 L", Mirrored(N5Tip), LabelSide::South},
    {FreeLandmark, "a free landmark of your choice, for the distance D 01-32", FreePoint,
     LabelSide::East},
}};

// The R half's margin from the petiole sinus to the apex, teeth included.
constexpr std::array MarginR{
    PetioleSinus,
    QPointF{470, 620},
    QPointF{445, 720},
    QPointF{430, 790},
    QPointF{425, 815},
    N5Tip,
    N4BasePetiole,
    N4Tip,
    N4BaseApex,
    QPointF{160, 795},
    QPointF{158, 752},
    QPointF{115, 738},
    QPointF{135, 690},
    N3Tip,
    QPointF{140, 605},
    QPointF{160, 555},
    QPointF{215, 520},
    LowerSinus,
    QPointF{225, 438},
    QPointF{175, 405},
    N2SecondaryTip,
    N2BasePetiole,
    N2Tip,
    N2BaseApex,
    QPointF{235, 192},
    QPointF{252, 215},
    QPointF{300, 205},
    QPointF{340, 228},
    UpperSinus,
    QPointF{355, 225},
    QPointF{328, 170},
    QPointF{357, 160},
    QPointF{342, 100},
    QPointF{385, 100},
    QPointF{410, 62},
    QPointF{452, 88},
    Apex,
};

} // namespace

std::span<const LandmarkEntry> LandmarkTable()
{
    return Table;
}

const LandmarkEntry* FindLandmark(int landmark)
{
    if (landmark < 1 || landmark > LandmarkCount) {
        return nullptr;
    }
    return &Table[static_cast<std::size_t>(landmark - 1)];
}

QString LandmarkDescription(int landmark)
{
    const LandmarkEntry* entry = FindLandmark(landmark);
    return entry != nullptr ? QString::fromLatin1(entry->description) : QString();
}

QPolygonF LeafOutline()
{
    QPolygonF outline;
    for (const QPointF& point : MarginR) {
        outline << point;
    }
    // Back down the L half, without repeating the apex.
    for (auto point = MarginR.rbegin() + 1; point != MarginR.rend(); ++point) {
        outline << Mirrored(*point);
    }
    return outline;
}

std::vector<Vein> LeafVeins()
{
    std::vector<Vein> veins{
        {QStringLiteral("N1"), {PetiolePoint, N1Base, Apex}, true, QPointF{532, 200}}};
    for (bool mirrored : {false, true}) {
        const auto side = [mirrored](QPointF point) { return mirrored ? Mirrored(point) : point; };
        veins.push_back({QStringLiteral("N2"),
                         {side(PetiolePoint), side(N2Base), side(N2Tip)},
                         true,
                         side({255, 282})});
        veins.push_back({QStringLiteral("N3"),
                         {side(PetiolePoint), side(N3Fork), side(N3Tip)},
                         true,
                         side({225, 622})});
        veins.push_back({QStringLiteral("N4"),
                         {side(N3Fork), side(N4Fork), side(N4Tip)},
                         true,
                         side({260, 742})});
        veins.push_back(
            {QStringLiteral("N5"), {side(N4Fork), side(N5Tip)}, true, side({398, 735})});
        veins.push_back(
            {QString(), {side(N2SecondaryFork), side(N2SecondaryTip)}, false, QPointF()});
    }
    return veins;
}

QPolygonF LeafPetiole()
{
    return {PetiolePoint, QPointF{500, 1000}};
}

} // namespace kestra
