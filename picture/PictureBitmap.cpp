#include "picture/PictureBitmap.h"

#include "measure/Error.h"
#include "picture/PictureMemory.h"

#include <QPainter>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <limits>

namespace kestra {
namespace {

constexpr int ArmLength = 5;
// Room around a cross for the pen's width and its square caps.
constexpr int PenMargin = 4;

// Landmarks hold whole picture pixels; anything beyond this is far outside
// every picture, and clamping keeps the conversion and x +- 5 defined.
constexpr double CoordinateLimit = 1 << 30;

int truncated(double coordinate)
{
    return static_cast<int>(std::clamp(coordinate, -CoordinateLimit, CoordinateLimit));
}

bool isPalettePicture(const QImage& image)
{
    return image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
           image.format() == QImage::Format_MonoLSB;
}

int nearestIndex(const QList<QRgb>& palette, QRgb colour)
{
    int best = 0;
    long bestDistance = std::numeric_limits<long>::max();
    for (int i = 0; i < palette.size(); ++i) {
        const long red = qRed(palette[i]) - qRed(colour);
        const long green = qGreen(palette[i]) - qGreen(colour);
        const long blue = qBlue(palette[i]) - qBlue(colour);
        const long distance = red * red + green * green + blue * blue;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void paintCross(QPainter& painter, int x, int y)
{
    painter.drawLine(x - ArmLength, y, x + ArmLength, y);
    painter.drawLine(x, y - ArmLength, x, y + ArmLength);
}

// The box a cross at (x, y) can touch, its pen included.
QRect markerBox(int x, int y)
{
    const int reach = ArmLength + PenMargin;
    return {x - reach, y - reach, 2 * reach + 1, 2 * reach + 1};
}

// Calls at(x, y) for the pixel of each placed landmark.
template <typename At> void forEachMarker(const Landmarks& landmarks, At&& at)
{
    for (int i = 1; i <= LandmarkCount; ++i) {
        // Also skips what was never recorded: both coordinates start at 0.0.
        if (!(landmarks.PointX[i] + landmarks.PointY[i] > 0.0))
            continue;
        at(truncated(landmarks.PointX[i]), truncated(landmarks.PointY[i]));
    }
}

} // namespace

QRegion MarkerBoxes(const Landmarks& landmarks)
{
    QRegion boxes;
    forEachMarker(landmarks, [&boxes](int x, int y) { boxes += markerBox(x, y); });
    return boxes;
}

void PictureBitmap::takeOver(QImage picture)
{
    image_ = std::move(picture);
    markerPen_ = QPen(QColor(255, 0, 0), 3, Qt::SolidLine);
    loaded_ = true;
}

void PictureBitmap::ensureBlank(QSize controlSize)
{
    if (loaded_ || !image_.isNull() || controlSize.isEmpty())
        return;
    QImage blank(controlSize, QImage::Format_RGB32);
    if (blank.isNull())
        return;
    blank.fill(Qt::white);
    image_ = std::move(blank);
}

void PictureBitmap::DrawMarkers(const Landmarks& landmarks)
{
    if (image_.isNull())
        return;
    forEachMarker(landmarks, [this](int x, int y) {
        if (isPalettePicture(image_))
            drawCrossByIndex(x, y);
        else
            drawCross(x, y);
    });
}

void PictureBitmap::drawCross(int x, int y)
{
    QPainter painter(&image_);
    painter.setPen(markerPen_);
    paintCross(painter, x, y);
}

// QPainter cannot paint into palette pictures, so the cross is painted as a
// mask on a scratch image of its own small box, and the mask's pixels take the
// palette index.
void PictureBitmap::drawCrossByIndex(int x, int y)
{
    const QRect box = markerBox(x, y).intersected(image_.rect());
    if (box.isEmpty())
        return;
    QImage mask(box.size(), QImage::Format_ARGB32);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        QPen pen = markerPen_;
        pen.setColor(Qt::black);
        painter.setPen(pen);
        painter.translate(-box.left(), -box.top());
        paintCross(painter, x, y);
    }
    const int index = nearestIndex(image_.colorTable(), markerPen_.color().rgb());
    const bool mono = image_.format() != QImage::Format_Indexed8;
    for (int row = 0; row < box.height(); ++row) {
        const auto* maskLine = reinterpret_cast<const QRgb*>(mask.constScanLine(row));
        for (int column = 0; column < box.width(); ++column) {
            if (qAlpha(maskLine[column]) == 0)
                continue;
            const int px = box.left() + column;
            const int py = box.top() + row;
            if (mono)
                image_.setPixel(px, py, static_cast<uint>(index));
            else
                image_.scanLine(py)[px] = static_cast<uchar>(index);
        }
    }
}

PixelRows PictureBitmap::rgb32Rows()
{
    if (image_.isNull())
        return {};
    if (!WidenToRgb32(image_))
        throw Error("Out of memory");
    return {image_.constBits(), image_.width(), image_.height(), image_.bytesPerLine()};
}

} // namespace kestra
