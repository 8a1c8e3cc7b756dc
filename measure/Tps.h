#pragma once

#include "measure/Landmarks.h"
#include "measure/ResultsTable.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestra {

// Landmarks in TPS, the text format that morphometrics programs exchange:
// per specimen "LM=32", then one "x y" line a landmark in pixels with the
// origin at the picture's bottom-left corner, then IMAGE=, ID= and SCALE=
// (millimetres per pixel).

// One specimen per results row, in row order: the row's landmarks with
// y = picture height - y and "-1 -1" for one not placed, IMAGE= the row's
// Name cell, ID= the row number and SCALE= 25.4 / DPI in the shortest form
// that reads back as the same double. "." is the decimal separator whatever
// the locale, and lines end in LF.
[[nodiscard]] std::string TpsText(const ResultsTable& table);

// Writes TpsText to path through ReplaceFile (FileReplace.h), with its
// safety and its messages.
void ExportTps(const ResultsTable& table, const std::string& path);

// The open picture whose landmarks a TPS file is searched for.
struct TpsPicture {
    std::string_view name; // its path; only the name the Name cell holds counts
    int width = 0;
    int height = 0;
};

// Reads TPS text as tpsDig and geomorph write it and returns P(1) to P(32) of
// the last specimen whose IMAGE= names the picture (both read by the Name
// cell's rule, so that a name KESTRA wrote comes back to its picture), in
// picture pixels with y = picture height - y; a landmark with a negative
// coordinate comes back as (0, 0), not placed. Point 33 is (0, 0). tpsPath only names the file in
// messages. Throws Error for text that is not TPS, that holds no specimen for
// the picture, whose specimen does not hold 32 landmarks or places one far
// outside the picture (beyond FarOutside pixels).
[[nodiscard]] Landmarks ReadTpsLandmarks(std::string_view text, std::string_view tpsPath,
                                         const TpsPicture& picture);

// Landmarks may lie beside the picture, as a release outside it records them,
// but not beyond this many pixels from its corner.
inline constexpr double FarOutside = 10'000'000.0;

// The largest TPS file read; thousands of specimens take a few megabytes.
inline constexpr std::uintmax_t MaxTpsFileBytes = 64'000'000;

// Reads the regular file at tpsPath (at most MaxTpsFileBytes long) with
// ReadTpsLandmarks. Throws Error before reading for anything else.
[[nodiscard]] Landmarks LoadTpsLandmarks(const std::string& tpsPath, const TpsPicture& picture);

} // namespace kestra
