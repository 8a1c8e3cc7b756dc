#include "picture/PictureView.h"

#include "picture/LeafCount.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestra {
namespace {

// Formats whose rows the view reads pixel by pixel; the others (the palette
// and 16-bit pictures) have just the painted part converted first.
bool readsDirectly(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied || format == QImage::Format_RGB888 ||
           format == QImage::Format_BGR888;
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

// Half the pixel's colour and half the tint's, channel by channel.
QRgb tinted(QRgb pixel)
{
    return (pixel & Tint) + (((pixel ^ Tint) & 0x00fefefe) >> 1);
}

// Tints the pixels of shown, an RGB32 copy of the picture's area at 100 %,
// whose picture pixels count.
void tintCounted(QImage& shown, const LeafCount& leaf, QPoint origin)
{
    std::vector<std::uint8_t> counted(static_cast<std::size_t>(shown.width()));
    for (int y = 0; y < shown.height(); ++y) {
        leaf.markRow(origin.y() + y, origin.x(), shown.width(), counted.data());
        auto* pixels = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            if (counted[static_cast<std::size_t>(x)] != 0)
                pixels[x] = tinted(pixels[x]);
    }
}

// The stretched picture under area, sampled by whole rows and columns, with
// the counted pixels tinted when leaf is given.
QImage sampleStretched(const QImage& picture, QSize shown, const QRect& area, const LeafCount* leaf)
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

    QImage sampled(area.size(), QImage::Format_RGB32);
    const QImage::Format format = source.format();
    const int sourceLeft = firstColumn - origin.x();
    // Enlarged, a picture row is shown several times: it is marked once.
    std::vector<std::uint8_t> counted(leaf ? static_cast<std::size_t>(lastColumn - firstColumn + 1)
                                           : 0);
    int markedRow = -1;
    for (int i = 0; i < area.height(); ++i) {
        const int row = sampleOf(area.top() + i, picture.height(), shown.height());
        const uchar* from = source.constScanLine(row - origin.y());
        auto* to = reinterpret_cast<QRgb*>(sampled.scanLine(i));
        for (int x = 0; x < area.width(); ++x)
            to[x] = pixelAt(from, sourceLeft + columns[static_cast<std::size_t>(x)], format);
        if (leaf == nullptr)
            continue;
        if (row != markedRow) {
            leaf->markRow(row, firstColumn, lastColumn - firstColumn + 1, counted.data());
            markedRow = row;
        }
        for (int x = 0; x < area.width(); ++x)
            if (counted[static_cast<std::size_t>(columns[static_cast<std::size_t>(x)])] != 0)
                to[x] = tinted(to[x]);
    }
    return sampled;
}

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
        std::optional<LeafCount> leaf;
        if (showCounted_)
            leaf.emplace(picture);
        painter.drawImage(covered.topLeft(),
                          sampleStretched(picture, size(), covered, leaf ? &*leaf : nullptr));
    } else if (showCounted_) {
        QImage shown = picture.copy(covered).convertToFormat(QImage::Format_RGB32);
        tintCounted(shown, LeafCount(picture), covered.topLeft());
        painter.drawImage(covered.topLeft(), shown);
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
