#include "app/CountedPixels.h"

#include "app/ScanResolution.h"
#include "measure/Analysis.h"
#include "measure/DecimalText.h"
#include "measure/Error.h"
#include "picture/LeafCount.h"

#include <QLocale>
#include <QRegion>

namespace kestra {

template <typename Count> void CountedPixels::count(Count&& count)
{
    if (!shown_)
        return;
    try {
        count();
    } catch (const Error& error) {
        pixels_.reset();
        failure_ = QString::fromUtf8(error.what());
    }
}

void CountedPixels::show(const QImage& picture)
{
    shown_ = true;
    count([&] {
        pixels_ = CountLeafPixels(picture);
        failure_.clear();
    });
}

void CountedPixels::hide()
{
    shown_ = false;
    pixels_.reset();
}

void CountedPixels::recount(const QImage& picture)
{
    if (shown_)
        show(picture);
}

void CountedPixels::beforeMarkers(const QImage& picture, const QRegion& boxes)
{
    if (!pixels_)
        return;
    count([&] { *pixels_ -= CountLeafPixels(picture, boxes); });
}

void CountedPixels::afterMarkers(const QImage& picture, const QRegion& boxes)
{
    if (!pixels_)
        return;
    count([&] { *pixels_ += CountLeafPixels(picture, boxes); });
}

QString CountedPixels::note(double dpi, const std::string& decimalSeparator) const
{
    if (!shown_)
        return {};
    if (!pixels_)
        return QStringLiteral("The counted pixels are unknown: %1").arg(failure_);
    QString surface;
    try {
        surface = QStringLiteral(": %1 cm2 at %2 dpi")
                      .arg(QString::fromStdString(
                               DecimalText(SurfaceOfCount(*pixels_, dpi), decimalSeparator)),
                           DpiText(dpi, QString::fromStdString(decimalSeparator)));
    } catch (const Error& error) {
        surface = QStringLiteral(" (no surface: %1)").arg(QString::fromUtf8(error.what()));
    }
    return QStringLiteral("Counted %1 pixels%2")
        .arg(QLocale().toString(static_cast<qulonglong>(*pixels_)), surface);
}

} // namespace kestra
