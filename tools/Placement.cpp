#include "tools/Placement.h"

#include <algorithm>

namespace kestra {
namespace {

bool Moving(const QTransform& transform)
{
    return transform.type() == QTransform::TxTranslate;
}

} // namespace

QImage PlacedPicture(const QImage& picture, const QTransform& transform)
{
    if (!Moving(transform))
        return picture.transformed(transform);
    const int dx = static_cast<int>(transform.dx());
    const int dy = static_cast<int>(transform.dy());
    const QImage from = picture.convertToFormat(QImage::Format_RGB32);
    QImage moved(from.width() + dx, from.height() + dy, QImage::Format_RGB32);
    // Clamped both ways, so that a move left or up reads no row or column
    // beyond the picture either.
    for (int y = 0; y < moved.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(
            from.constScanLine(std::clamp(y - dy, 0, from.height() - 1)));
        auto* out = reinterpret_cast<QRgb*>(moved.scanLine(y));
        for (int x = 0; x < moved.width(); ++x)
            out[x] = in[std::clamp(x - dx, 0, from.width() - 1)];
    }
    return moved;
}

Landmarks PlacedLandmarks(const Landmarks& points, const QTransform& transform, const QSize& size)
{
    const QRect whole(QPoint(0, 0), size);
    const QPoint corner = Moving(transform) ? QPoint(0, 0) : transform.mapRect(whole).topLeft();
    Landmarks placed;
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (points.IsPointMissing(n))
            continue;
        // Pixel centres, so that a quarter turn maps pixel onto pixel.
        const QPointF at = transform.map(QPointF(points.PointX[n] + 0.5, points.PointY[n] + 0.5)) -
                           corner - QPointF(0.5, 0.5);
        placed.PointX[n] = at.x();
        placed.PointY[n] = at.y();
    }
    return placed;
}

} // namespace kestra
