#include "measure/Analysis.h"

#include "measure/DecimalText.h"
#include "measure/Error.h"
#include "measure/Geometry.h"
#include "measure/Measurements.h"

#include <cctype>
#include <cmath>

namespace kestra {
namespace {

bool isIndex(int index)
{
    return index >= 1 && index <= AuxiliaryPoint;
}

// The millimetres per pixel an analysis measures with.
double analysisScaleFactor(double dpi)
{
    // A DPI of 0 or less gives no lengths at all.
    if (!(dpi > 0.0))
        throw Error("The DPI must be a number greater than 0");
    const double scale = ScaleFactor(dpi);
    (void)PixelArea(scale);
    return scale;
}

} // namespace

ResultRow::ResultRow(const Landmarks& landmarks, std::string_view decimalSeparator)
    : landmarks_(landmarks), decimalSeparator_(decimalSeparator),
      cells_(static_cast<std::size_t>(ResultsTable::ColumnCount))
{}

bool ResultRow::writable(int column) const
{
    return column >= 1 && column < ResultsTable::ColumnCount;
}

void ResultRow::put(int column, std::string text)
{
    cells_.at(static_cast<std::size_t>(column)) = std::move(text);
}

void ResultRow::PutDistance(int a, int b, int column, double scaleFactor)
{
    if (!writable(column))
        return;
    if (!isIndex(a) || !isIndex(b))
        put(column, "E:NA");
    else if (landmarks_.IsPointMissing(a) || landmarks_.IsPointMissing(b))
        put(column, "NA");
    else
        // The product is formatted unrounded, in extended precision.
        put(column, DecimalText(static_cast<long double>(PointDistance(landmarks_, a, b)) *
                                    static_cast<long double>(scaleFactor),
                                decimalSeparator_));
}

void ResultRow::PutAngle(int a, int b, int c, int d, int column)
{
    if (!writable(column))
        return;
    if (!isIndex(a) || !isIndex(b) || !isIndex(c) || !isIndex(d)) {
        put(column, "E:NA");
        return;
    }
    if (landmarks_.IsPointMissing(a) || landmarks_.IsPointMissing(b) ||
        landmarks_.IsPointMissing(c) || landmarks_.IsPointMissing(d)) {
        put(column, "NA");
        return;
    }
    double angle = std::fabs(DirectionAngle(landmarks_, a, b) - DirectionAngle(landmarks_, c, d));
    if (angle > 180.0)
        angle = 360.0 - angle;
    put(column, DecimalText(angle, decimalSeparator_));
}

std::string NameCell(std::string_view path)
{
    // A drive colon counts only where a drive letter stands ("C:leaf.jpg"):
    // elsewhere a colon is an ordinary character of a file name.
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
        path.remove_prefix(2);
    const std::size_t separator = path.find_last_of("/\\");
    const std::string_view name =
        separator == std::string_view::npos ? path : path.substr(separator + 1);
    const std::size_t dot = name.rfind('.');
    // Both a base name and an extension (its dot included) must be there.
    if (dot == std::string_view::npos || dot == 0)
        return "E:Name";
    return std::string(name);
}

double SurfaceOfCount(std::uint64_t pixels, double dpi)
{
    return LeafSurfaceOf(pixels, analysisScaleFactor(dpi));
}

void RunAnalysis(ResultsTable& table, Landmarks& landmarks, const AnalysisInput& input)
{
    // Refused before anything changes.
    const double scale = analysisScaleFactor(input.Dpi);
    const double surface =
        LeafSurface(input.pictureRows ? input.pictureRows() : PixelRows{}, scale);

    // As the user placed them, before the auxiliary point is written.
    RowLandmarks measuredFrom{landmarks, input.pictureWidth, input.pictureHeight, input.Dpi,
                              input.FileName};
    const std::int32_t row = table.NextNumber();
    ResultRow cells(landmarks, input.decimalSeparator);
    cells.put(0, IntegerText(row));
    cells.put(1, NameCell(input.FileName));
    cells.put(2, DecimalText(surface, input.decimalSeparator));

    int column = FirstMeasurementColumn;
    for (const Measurement& measurement : Measurements) {
        switch (measurement.kind) {
        case Measurement::Kind::Distance:
            cells.PutDistance(measurement.a, measurement.b, column, scale);
            break;
        case Measurement::Kind::DistanceToMidpoint:
            landmarks.PointX[AuxiliaryPoint] =
                MidpointX(landmarks, measurement.midA, measurement.midB);
            landmarks.PointY[AuxiliaryPoint] =
                MidpointY(landmarks, measurement.midA, measurement.midB);
            // A midpoint of a recorded and an unrecorded landmark would lie
            // halfway to the picture's origin: no length to report.
            if (landmarks.IsPointMissing(measurement.midA) ||
                landmarks.IsPointMissing(measurement.midB))
                cells.put(column, "NA");
            else
                cells.PutDistance(measurement.a, measurement.b, column, scale);
            break;
        case Measurement::Kind::Angle:
            cells.PutAngle(measurement.a, measurement.b, measurement.a, measurement.d, column);
            break;
        }
        ++column;
    }

    // Without P(1) the differences would be absolute coordinates passing for
    // relative ones.
    const bool originMissing = landmarks.IsPointMissing(1);
    for (int n = 2; n <= LandmarkCount; ++n) {
        if (originMissing || landmarks.IsPointMissing(n)) {
            cells.put(column, "NA");
            cells.put(column + 1, "NA");
        } else {
            cells.put(column, IntegerText(static_cast<std::int64_t>(landmarks.PointX[n] -
                                                                    landmarks.PointX[1])));
            cells.put(column + 1, IntegerText(static_cast<std::int64_t>(landmarks.PointY[n] -
                                                                        landmarks.PointY[1])));
        }
        column += 2;
    }
    table.appendRow(cells.takeCells(), std::move(measuredFrom));
}

} // namespace kestra
