#pragma once

#include "measure/Landmarks.h"
#include "measure/ResultsTable.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// One specimen as TpsText writes it: the landmarks with
// y = pictureHeight - y and "-1 -1" for one not placed, IMAGE= image, ID= id
// and, when dpi is given, SCALE= 25.4 / dpi.
[[nodiscard]] std::string TpsSpecimenText(const Landmarks& points, double pictureHeight,
                                          std::string_view image, std::string_view id,
                                          std::optional<double> dpi);

// Writes TpsText to path through ReplaceFile (FileReplace.h), with its
// safety and its messages.
void ExportTps(const ResultsTable& table, const std::string& path);

// The open picture whose landmarks a TPS file is searched for.
struct TpsPicture {
    std::string_view name; // its path; only the name the Name cell holds counts
    int width = 0;
    int height = 0;
};

// One specimen of a TPS file as it stands there: its LM= line, the number of
// landmarks that line announces, the first 32 of them (x, y and their line)
// and its IMAGE= and SCALE= values as written ("" when absent).
struct TpsSpecimen {
    struct Point {
        double x = 0.0;
        double y = 0.0;
        std::int64_t line = 0;
    };
    std::int64_t line = 0;
    std::int64_t landmarkCount = 0;
    std::array<Point, LandmarkCount> landmarks{};
    std::string image;
    std::string scale;
};

// Reads TPS text as tpsDig and geomorph write it: every specimen in file
// order. tpsPath only names the file in messages. Throws Error for text that
// is not TPS (a line that is neither KEY=value nor two numbers where
// coordinates are due, a coordinates block cut short, LM3=, no LM= at all).
[[nodiscard]] std::vector<TpsSpecimen> ReadTpsSpecimens(std::string_view text,
                                                        std::string_view tpsPath);

// The picture a specimen is for: its IMAGE= read by the Name cell's rule, as
// a picture's path is, so that a name KESTRA wrote comes back to its picture.
// Nothing for a specimen without IMAGE=.
[[nodiscard]] std::optional<std::string> PictureNameOf(const TpsSpecimen& specimen);

// Throws Error "The TPS file "<tpsPath>" holds <n> landmarks a specimen;
// KESTRA uses 32" for a specimen that does not hold 32 landmarks.
void CheckLandmarkCount(const TpsSpecimen& specimen, std::string_view tpsPath);

// The specimen's P(1) to P(32) in picture pixels, y = picture height - y; a
// landmark with a negative coordinate comes back as (0, 0), not placed. Point
// 33 is (0, 0). Throws Error for a specimen that does not hold 32 landmarks or
// places one far outside the picture (beyond FarOutside pixels).
[[nodiscard]] Landmarks SpecimenLandmarks(const TpsSpecimen& specimen, std::string_view tpsPath,
                                          const TpsPicture& picture);

// The landmarks of the last specimen that names the picture
// (SpecimenLandmarks). Throws Error as ReadTpsSpecimens and SpecimenLandmarks
// do, and for text that holds no specimen for the picture.
[[nodiscard]] Landmarks ReadTpsLandmarks(std::string_view text, std::string_view tpsPath,
                                         const TpsPicture& picture);

// "The TPS file "<tpsPath>" has no specimen for the picture "<pictureName>"".
[[nodiscard]] std::string NoSpecimenMessage(std::string_view tpsPath, std::string_view pictureName);

// The DPI a SCALE= value (millimetres per pixel) stands for: 25.4 / SCALE,
// taken at the fewest digits that give the same SCALE= back, so that the
// SCALE= KESTRA writes for 300 dpi reads as 300 exactly. Empty for text that
// is not a number greater than 0.
[[nodiscard]] std::optional<double> DpiOfScale(std::string_view scale);

// Landmarks may lie beside the picture, as a release outside it records them,
// but not beyond this many pixels from its corner.
inline constexpr double FarOutside = 10'000'000.0;

// The largest TPS file read; thousands of specimens take a few megabytes.
inline constexpr std::uintmax_t MaxTpsFileBytes = 64'000'000;

// The text of the regular file at tpsPath, at most MaxTpsFileBytes long.
// Throws Error before reading for anything else, and when it cannot be read.
[[nodiscard]] std::string ReadTpsFile(const std::string& tpsPath);

// All of standard input, at most MaxTpsFileBytes long, for a TPS file given
// as "-". Throws Error when it cannot be read or is longer.
[[nodiscard]] std::string ReadTpsStandardInput();

// ReadTpsLandmarks on the text of ReadTpsFile.
[[nodiscard]] Landmarks LoadTpsLandmarks(const std::string& tpsPath, const TpsPicture& picture);

} // namespace kestra
