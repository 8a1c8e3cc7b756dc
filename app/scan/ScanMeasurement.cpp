#include "app/scan/ScanMeasurement.h"

#include "measure/Analysis.h"
#include "measure/DecimalText.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"

#include <QLocale>
#include <utility>

namespace kestra {
namespace {

// What a display needs to show a JPEG in true colour: no palette quantizing.
constexpr int TrueColourDepth = 24;

} // namespace

std::string LocaleDecimalSeparator()
{
    // QLocale() is the user's regional setting unless a default was set, and
    // Qt renews it when the system announces a change.
    const QString separator = QLocale().decimalPoint();
    return separator.isEmpty() ? std::string(".") : separator.toStdString();
}

TableRow AnalyzePicture(Landmarks& landmarks, PictureBitmap& bitmap, const std::string& fileName,
                        double dpi, std::string_view decimalSeparator)
{
    const QSize size = bitmap.image().size();
    ResultsTable table;
    RunAnalysis(table, landmarks,
                {.FileName = fileName,
                 .Dpi = dpi,
                 .pictureRows = [&bitmap] { return bitmap.rgb32Rows(); },
                 .decimalSeparator = decimalSeparator,
                 .pictureWidth = size.width(),
                 .pictureHeight = size.height()});
    return table.takeRow(1);
}

MeasuredRow MeasureScan(const QString& scanPath, const ScanLandmarks& landmarks, double dpi,
                        std::string_view decimalSeparator)
{
    LoadedPicture loaded = LoadPicture(scanPath, TrueColourDepth);
    PictureBitmap bitmap;
    bitmap.takeOver(std::move(loaded.image));
    const std::string fileName = scanPath.toStdString();
    Landmarks points =
        SpecimenLandmarks(landmarks.specimen, landmarks.tpsPath,
                          {fileName, bitmap.image().width(), bitmap.image().height()});
    bitmap.DrawMarkers(points);
    return {AnalyzePicture(points, bitmap, fileName, dpi, decimalSeparator), loaded.damaged};
}

void AppendRow(ResultsTable& table, TableRow row)
{
    row.cells.at(0) = IntegerText(table.NextNumber());
    table.appendRow(std::move(row.cells), std::move(row.measuredFrom));
}

} // namespace kestra
