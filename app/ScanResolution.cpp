#include "app/ScanResolution.h"

#include "picture/DeclaredResolution.h"

#include <cmath>

namespace kestra {
namespace {

// More apart than this, relative to the DPI in use, and the lengths are off
// by more than a careful user would accept.
constexpr double Tolerance = 0.005;

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
    const QString scan = DpiText(DeclaredValue(*declared), decimalSeparator);
    const QString caveat = IsDeviceDefaultDpi(*declared)
                               ? QStringLiteral(" (probably not the scan's resolution)")
                               : QString();
    return ResolutionWarning{QStringLiteral("This scan declares %1 dpi%2; the DPI field says %3.")
                                 .arg(scan, caveat, DpiText(dpi, decimalSeparator)),
                             QStringLiteral("Use the scan's resolution (%1 dpi)").arg(scan), scan};
}

} // namespace kestra
