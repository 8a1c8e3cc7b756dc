#pragma once

#include <QString>
#include <optional>

namespace kestra {

// A resolution as the window writes it: at most two decimals, without
// trailing zeros, with the locale's decimal separator.
[[nodiscard]] QString DpiText(double dpi, const QString& decimalSeparator);

// What the window says when the resolution a scan declares and the DPI in use
// disagree by more than 0.5 %.
struct ResolutionWarning {
    QString text;      // "This scan declares 600 dpi; the DPI field says 300."
    QString menuText;  // "Use the scan's resolution (600 dpi)"
    QString fieldText; // "600": what choosing it types into the DPI field
};

// Nothing when the scan declares no resolution or one close enough to dpi. A
// declared value within a twentieth of a whole number is read as that number
// (pixels per metre give 299.9994 for 300).
[[nodiscard]] std::optional<ResolutionWarning>
CompareResolution(std::optional<double> declared, double dpi, const QString& decimalSeparator);

} // namespace kestra
