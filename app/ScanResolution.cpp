#include "app/ScanResolution.h"

#include <cmath>

namespace kestra {
namespace {

// More apart than this, relative to the DPI in use, and the lengths are off
// by more than a careful user would accept.
constexpr double Tolerance = 0.005;

// Within this of a whole number, a resolution is that number: pixels per
// metre, as bitmaps store them, give 299.9994 for 300 and 96.012 for 96.
constexpr double WholeEnough = 0.05;

// Cameras and screens write these when they know nothing of a scan's size.
bool isDeviceDefault(double dpi)
{
    return std::fabs(dpi - 72.0) < WholeEnough || std::fabs(dpi - 96.0) < WholeEnough;
}

// What a file declares, read as the whole number it stands for when it is
// close enough to one.
double declaredValue(double dpi)
{
    return std::fabs(dpi - std::round(dpi)) < WholeEnough ? std::round(dpi) : dpi;
}

} // namespace

QString DpiText(double dpi, const QString& decimalSeparator)
{
    QString text = std::fabs(dpi) < 1e9 ? QString::number(dpi, 'f', 2) : QString::number(dpi, 'g');
    if (text.contains(u'.') && !text.contains(u'e')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    if (text == u"-0")
        text = QStringLiteral("0");
    return text.replace(u'.', decimalSeparator);
}

std::optional<ResolutionWarning> CompareResolution(std::optional<double> declared, double dpi,
                                                   const QString& decimalSeparator)
{
    if (!declared || !(std::fabs(*declared - dpi) > Tolerance * std::fabs(dpi)))
        return std::nullopt;
    const QString scan = DpiText(declaredValue(*declared), decimalSeparator);
    const QString caveat = isDeviceDefault(*declared)
                               ? QStringLiteral(" (probably not the scan's resolution)")
                               : QString();
    return ResolutionWarning{QStringLiteral("This scan declares %1 dpi%2; the DPI field says %3.")
                                 .arg(scan, caveat, DpiText(dpi, decimalSeparator)),
                             QStringLiteral("Use the scan's resolution (%1 dpi)").arg(scan), scan};
}

} // namespace kestra
