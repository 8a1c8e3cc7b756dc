#include "picture/PictureView.h"

#include "picture/LeafCount.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace kestra {
namespace {

// Formats whose rows the view reads pixel by pixel, getting the colours that
// Qt's conversion to 32 bits gives; the others (the palette and 16-bit
// pictures) have just the painted part converted first. Either way the view
// shows the colours the leaf surface counts, so the tint can go by them.
bool readsDirectly(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_RGB888 || format == QImage::Format_BGR888;
}

// Control pixel p shows picture pixel p * length / shown, the rule the mouse
// conversion uses too, so the pixel under the cross-hair is the one recorded.
int sampleOf(int controlPixel, int length, int shown)
{
    return static_cast<int>(std::int64_t{controlPixel} * length / shown);
}

QRgb pixelAt(const uchar* row, int x, QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB888:
        return qRgb(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    case QImage::Format_BGR888:
        return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    default:
        return reinterpret_cast<const QRgb*>(row)[x] | 0xff000000u;
    }
}

// Magenta, the complement of leaf green, so a tinted leaf turns grey-violet
// and a counted speck on white shows plainly; a red cross turns pink.
constexpr QRgb Tint = 0xffff00ff;

// A colour that the leaf surface counts, shown half its own and half the tint.
QRgb tintedIfCounted(QRgb colour)
{
    const QRgb half = (colour & Tint) + (((colour ^ Tint) & 0x00fefefe) >> 1);
    return IsLeafRgb(colour) ? half : colour;
}

// The stretched picture under area, sampled by whole rows and columns, with
// the counted pixels tinted when asked.
QImage sampleStretched(const QImage& picture, QSize shown, const QRect& area, bool tint)
{
    const int firstColumn = sampleOf(area.left(), picture.width(), shown.width());
    const int lastColumn = sampleOf(area.right(), picture.width(), shown.width());
    const int firstRow = sampleOf(area.top(), picture.height(), shown.height());
    const int lastRow = sampleOf(area.bottom(), picture.height(), shown.height());
    QImage source = picture;
    QPoint origin(0, 0);
    if (!readsDirectly(picture.format())) {
        origin = QPoint(firstColumn, firstRow);
        source = picture.copy(QRect(origin, QPoint(lastColumn, lastRow)))
                     .convertToFormat(QImage::Format_RGB32);
    }

    // Picture columns, counted from firstColumn.
    std::vector<int> columns(static_cast<std::size_t>(area.width()));
    for (int i = 0; i < area.width(); ++i)
        columns[static_cast<std::size_t>(i)] =
            sampleOf(area.left() + i, picture.width(), shown.width()) - firstColumn;
    const int sourceLeft = firstColumn - origin.x();
    const QImage::Format format = source.format();
    const auto colourAt = [&](const uchar* from, int column) {
        const QRgb colour = pixelAt(from, sourceLeft + column, format);
        return tint ? tintedIfCounted(colour) : colour;
    };
    // Enlarged, each picture pixel shows on several columns and is read once.
    const int span = lastColumn - firstColumn + 1;
    std::vector<QRgb> spanColours(span < area.width() ? static_cast<std::size_t>(span) : 0);

    QImage sampled(area.size(), QImage::Format_RGB32);
    int previousRow = -1;
    for (int i = 0; i < area.height(); ++i) {
        const int row = sampleOf(area.top() + i, picture.height(), shown.height()) - origin.y();
        auto* to = reinterpret_cast<QRgb*>(sampled.scanLine(i));
        // And each picture row on several rows in a row.
        if (row == previousRow) {
            std::memcpy(to, sampled.constScanLine(i - 1), sizeof(QRgb) * area.width());
            continue;
        }
        previousRow = row;
        const uchar* from = source.constScanLine(row);
        if (spanColours.empty()) {
            for (int x = 0; x < area.width(); ++x)
                to[x] = colourAt(from, columns[static_cast<std::size_t>(x)]);
        } else {
            for (int column = 0; column < span; ++column)
                spanColours[static_cast<std::size_t>(column)] = colourAt(from, column);
            for (int x = 0; x < area.width(); ++x)
                to[x] = spanColours[static_cast<std::size_t>(columns[static_cast<std::size_t>(x)])];
        }
    }
    return sampled;
}

// A suggestion's ring: dark outside and bright inside, so that it shows on a
// dark leaf and on light paper alike, and unlike the red crosses.
constexpr double RingRadius = 7.0;
const QColor RingOutside(0, 0, 0);
const QColor RingInside(255, 214, 0);

} // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    // Moves are reported with no button held as well, as panning checks the
    // Ctrl key rather than the buttons.
    setMouseTracking(true);
}

void PictureView::setStretch(bool stretch)
{
    if (stretch_ == stretch)
        return;
    stretch_ = stretch;
    update();
}

void PictureView::setShowCounted(bool show)
{
    if (showCounted_ == show)
        return;
    showCounted_ = show;
    update();
}

void PictureView::setSuggested(const Landmarks& suggested)
{
    std::vector<QPoint> points;
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (!suggested.IsPointMissing(n))
            points.emplace_back(static_cast<int>(suggested.PointX[n]),
                                static_cast<int>(suggested.PointY[n]));
    }
    if (points == suggested_)
        return;
    suggested_ = std::move(points);
    update();
}

void PictureView::paintSuggested(QPainter& painter) const
{
    const QSize picture = bitmap_.image().size();
    if (suggested_.empty() || picture.isEmpty())
        return;
    // The centre of the picture pixel as the control shows it, by the rule
    // that maps the mouse back to it.
    const QSize shown = stretch_ ? size() : picture;
    const double scaleX = double(shown.width()) / picture.width();
    const double scaleY = double(shown.height()) / picture.height();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    for (const QPoint& point : suggested_) {
        const QPointF centre((point.x() + 0.5) * scaleX, (point.y() + 0.5) * scaleY);
        painter.setPen(QPen(RingOutside, 4.0));
        painter.drawEllipse(centre, RingRadius, RingRadius);
        painter.setPen(QPen(RingInside, 2.0));
        painter.drawEllipse(centre, RingRadius, RingRadius);
    }
    painter.restore();
}

void PictureView::paintRegion(QPainter& painter, const QRect& region) const
{
    const QImage& picture = bitmap_.image();
    const QRect area = region & rect();
    // Only an unstretched picture smaller than the control leaves a margin.
    QRect covered = area;
    if (picture.isNull())
        covered = QRect();
    else if (!stretch_)
        covered &= picture.rect();
    for (const QRect& margin : QRegion(region) - covered)
        painter.fillRect(margin, palette().window());
    if (covered.isEmpty())
        return;

    if (stretch_) {
        painter.drawImage(covered.topLeft(),
                          sampleStretched(picture, size(), covered, showCounted_));
    } else if (showCounted_) {
        // Sampled one to one, so the tint is laid on in the same pass.
        painter.drawImage(covered.topLeft(),
                          sampleStretched(picture, picture.size(), covered, true));
    } else if (readsDirectly(picture.format())) {
        painter.drawImage(covered.topLeft(), picture, covered);
    } else {
        painter.drawImage(covered.topLeft(),
                          picture.copy(covered).convertToFormat(QImage::Format_RGB32));
    }
}

void PictureView::paintEvent(QPaintEvent* event)
{
    // The frame of the panel that holds the view stays visible over the picture.
    QRegion region = event->region();
    if (const QWidget* frame = parentWidget())
        region &= frame->contentsRect().translated(-pos());
    QPainter painter(this);
    for (const QRect& part : region)
        paintRegion(painter, part);
    painter.setClipRegion(region);
    paintSuggested(painter);
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mousePressed(event->button(), event->modifiers(), at.x(), at.y());
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mouseMoved(event->buttons(), event->modifiers(), at.x(), at.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit mouseReleased(event->button(), event->modifiers(), at.x(), at.y());
}

} // namespace kestra
