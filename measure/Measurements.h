#pragma once

#include <array>

namespace kestra {

// The measured columns 3 to 56 of a results row, in column order.
struct Measurement {
    enum class Kind {
        Distance,           // P(a) to P(b)
        DistanceToMidpoint, // P(a) to the midpoint of P(midA) and P(midB)
        Angle,              // at P(a), between the rays to P(b) and to P(d)
    };
    const char* head;
    Kind kind;
    int a;
    int b;
    int d = 0;
    int midA = 0;
    int midB = 0;
};

inline constexpr int FirstMeasurementColumn = 3;

namespace measurement_table {
using K = Measurement::Kind;
inline constexpr std::array<Measurement, 54> Measurements = {{
    {"OIV 601", K::Distance, 1, 20},
    {"OIV 602R", K::Distance, 1, 17},
    {"OIV 602L", K::Distance, 1, 23},
    {"OIV 603R", K::Distance, 1, 13},
    {"OIV 603L", K::Distance, 1, 27},
    {"OIV 604R", K::Distance, 2, 11},
    {"OIV 604L", K::Distance, 6, 29},
    {"OIV 605R", K::Distance, 1, 19},
    {"OIV 605L", K::Distance, 1, 21},
    {"OIV 606R", K::Distance, 1, 14},
    {"OIV 606L", K::Distance, 1, 26},
    {"OIV 611R", K::Distance, 8, 9},
    {"OIV 611L", K::Distance, 7, 31},
    {"OIV 612R", K::DistanceToMidpoint, 17, 33, 0, 16, 18},
    {"OIV 612L", K::DistanceToMidpoint, 23, 33, 0, 22, 24},
    {"OIV 613R", K::Distance, 16, 18},
    {"OIV 613L", K::Distance, 22, 24},
    {"OIV 614R", K::DistanceToMidpoint, 11, 33, 0, 10, 12},
    {"OIV 614L", K::DistanceToMidpoint, 29, 33, 0, 28, 30},
    {"OIV 615R", K::Distance, 10, 12},
    {"OIV 615L", K::Distance, 28, 30},
    {"OIV 617R", K::Distance, 15, 17},
    {"OIV 617L", K::Distance, 25, 23},
    {"OIV 618R", K::Distance, 29, 11},
    {"OIV 618L", K::Distance, 31, 9},
    {"OIV 607R", K::Angle, 1, 20, 3},
    {"OIV 607L", K::Angle, 1, 20, 5},
    {"OIV 608R", K::Angle, 1, 3, 2},
    {"OIV 608L", K::Angle, 1, 5, 6},
    {"OIV 609R", K::Angle, 2, 11, 13},
    {"OIV 609L", K::Angle, 6, 29, 27},
    {"OIV 610R", K::Angle, 1, 13, 9},
    {"OIV 610L", K::Angle, 1, 27, 31},
    {"OIV 618aR", K::Angle, 1, 29, 11},
    {"OIV 618aL", K::Angle, 1, 31, 9},
    {"D 01-02", K::Distance, 1, 2},
    {"D 01-03", K::Distance, 1, 3},
    {"D 01-04", K::Distance, 1, 4},
    {"D 01-05", K::Distance, 1, 5},
    {"D 01-06", K::Distance, 1, 6},
    {"D 01-31", K::Distance, 1, 31},
    {"D 01-09", K::Distance, 1, 9},
    {"D 01-29", K::Distance, 1, 29},
    {"D 01-11", K::Distance, 1, 11},
    {"D 01-32", K::Distance, 1, 32},
    {"D 27-13", K::Distance, 27, 13},
    {"D 25-15", K::Distance, 25, 15},
    {"D 23-17", K::Distance, 23, 17},
    {"D 11-13", K::Distance, 11, 13},
    {"D 13-17", K::Distance, 13, 17},
    {"D 17-20", K::Distance, 17, 20},
    {"D 20-23", K::Distance, 20, 23},
    {"D 23-27", K::Distance, 23, 27},
    {"D 27-29", K::Distance, 27, 29},
}};
} // namespace measurement_table

using measurement_table::Measurements;

// Columns 57 to 118: P(n).X and P(n).Y for n = 2 to 32, relative to P(1).
inline constexpr int FirstRelativeColumn = FirstMeasurementColumn + int(Measurements.size());

} // namespace kestra
