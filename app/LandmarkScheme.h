#pragma once

#include <QPointF>
#include <QPolygonF>
#include <QSizeF>
#include <QString>
#include <span>
#include <vector>

namespace kestra {

// The schematic leaf that the landmark guide draws, in the scheme's own
// coordinates: a box of SchemeSize units, y growing downwards, N1 pointing
// up. The guide scales this box to its window, so nothing here depends on
// the screen.
inline constexpr QSizeF SchemeSize{1000.0, 1000.0};

// The landmark the user may place anywhere; the scheme shows it off the leaf.
inline constexpr int FreeLandmark = 32;

// Where a landmark's number stands relative to its marker.
enum class LabelSide { North, NorthEast, East, SouthEast, South, SouthWest, West, NorthWest };

struct LandmarkEntry {
    int number;
    const char* description; // completes "P(n): ..."
    QPointF place;           // the marker's centre on the scheme
    LabelSide label;
};

// The one table of the 32 landmarks, P(1) first.
[[nodiscard]] std::span<const LandmarkEntry> LandmarkTable();

// The table's row for landmark n, or nullptr outside 1..32.
[[nodiscard]] const LandmarkEntry* FindLandmark(int landmark);

// One line on what landmark n (1..32) marks, e.g. "tooth tip of N2 R"; empty
// outside 1..32.
[[nodiscard]] QString LandmarkDescription(int landmark);

// The blade's margin as a closed polygon through every margin landmark.
[[nodiscard]] QPolygonF LeafOutline();

struct Vein {
    QString name; // "N1" to "N5", empty for a secondary vein
    QPolygonF path;
    bool main;         // drawn heavier than the secondary veins
    QPointF namePlace; // beside the vein, clear of the landmarks' numbers
};

[[nodiscard]] std::vector<Vein> LeafVeins();

// The petiole, from the petiole point down out of the petiole sinus.
[[nodiscard]] QPolygonF LeafPetiole();

} // namespace kestra
