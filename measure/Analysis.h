#pragma once

#include "measure/Landmarks.h"
#include "measure/LeafSurface.h"
#include "measure/ResultsTable.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestra {

// What one analysis reads besides the landmarks.
struct AnalysisInput {
    std::string FileName; // full path of the picture, UTF-8
    double Dpi = 300.0;
    // The picture bitmap's rows at 32 bits a pixel, asked for only once the
    // DPI has been accepted, since handing them out may convert the picture.
    std::function<PixelRows()> pictureRows;
    std::string_view decimalSeparator = ".";
    // The picture's size in pixels, kept with the row's landmarks.
    int pictureWidth = 0;
    int pictureHeight = 0;
};

// One results row under construction. The row is appended only once every
// cell has been computed, so an error never leaves a half-filled row behind.
class ResultRow {
public:
    ResultRow(const Landmarks& landmarks, std::string_view decimalSeparator);

    // Distance from P(a) to P(b) in millimetres: "E:NA" for an index outside
    // 1..33, "NA" for a missing landmark. A column outside 1..118 is ignored.
    void PutDistance(int a, int b, int column, double scaleFactor);

    // Angle between the rays P(a)-P(b) and P(c)-P(d), folded into 0..180
    // degrees, with the same markers as PutDistance.
    void PutAngle(int a, int b, int c, int d, int column);

    void put(int column, std::string text);

    [[nodiscard]] const std::vector<std::string>& cells() const { return cells_; }
    [[nodiscard]] std::vector<std::string> takeCells() { return std::move(cells_); }

private:
    [[nodiscard]] bool writable(int column) const;

    const Landmarks& landmarks_;
    std::string decimalSeparator_;
    std::vector<std::string> cells_;
};

// The surface in square centimetres that a count of leaf pixels gives at a
// DPI, as the analysis would write it. Throws Error as the analysis does: for
// a DPI that is not greater than 0, or so small that the scale, the pixel area
// or the surface overflows.
[[nodiscard]] double SurfaceOfCount(std::uint64_t pixels, double dpi);

// Runs one analysis: appends row ResultCount + 1, numbered NextNumber, to the
// table, with the landmarks P(1) to P(32), the picture's size, the DPI and the
// picture's path kept beside it (ResultsTable::rowLandmarks), and leaves the
// last midpoint it formed in the auxiliary point. Throws Error, and changes
// nothing, for a DPI that is not greater than 0 or so small that the scale,
// the pixel area or the surface overflows.
void RunAnalysis(ResultsTable& table, Landmarks& landmarks, const AnalysisInput& input);

// The file-name part of a path (after the last '/', '\\' or drive colon) when
// it has both a base name and an extension; "E:Name" otherwise.
[[nodiscard]] std::string NameCell(std::string_view path);

} // namespace kestra
