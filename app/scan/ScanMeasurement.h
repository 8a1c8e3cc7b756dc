#pragma once

#include "measure/Landmarks.h"
#include "measure/ResultsTable.h"
#include "measure/Tps.h"

#include <QString>
#include <string>
#include <string_view>

namespace kestra {

class PictureBitmap;

// The decimal separator of the user's regional settings, which the DPI text
// and every decimal number of the results take.
[[nodiscard]] std::string LocaleDecimalSeparator();

// Analyze: the row of the picture as the bitmap holds it, the markers drawn
// into it included, measured at dpi (RunAnalysis), made apart from any table:
// its number cell reads "1" until a table numbers it. Throws as RunAnalysis.
[[nodiscard]] TableRow AnalyzePicture(Landmarks& landmarks, PictureBitmap& bitmap,
                                      const std::string& fileName, double dpi,
                                      std::string_view decimalSeparator);

// A scan's row, with what the scan said about itself.
struct MeasuredRow {
    TableRow row;
    // The JPEG decoder filled in parts of the picture, which the surface counted.
    bool damaged = false;
};

// The specimen of a TPS file that holds a scan's landmarks.
struct ScanLandmarks {
    const TpsSpecimen& specimen;
    std::string_view tpsPath; // names the file in messages
};

// What Open, Load landmarks and Analyze give for one scan in the window on a
// true-colour display: the scan is opened with the window's loader, the
// specimen's landmarks are placed and their crosses drawn into the picture,
// which the surface counts, and the picture is analysed at dpi. Throws Error
// with the window's message when any step fails.
[[nodiscard]] MeasuredRow MeasureScan(const QString& scanPath, const ScanLandmarks& landmarks,
                                      double dpi, std::string_view decimalSeparator);

// Appends a row made apart as the table's next one, numbered as such.
void AppendRow(ResultsTable& table, TableRow row);

} // namespace kestra
