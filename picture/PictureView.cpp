#include "picture/PictureView.h"

#include <QMouseEvent>

namespace kestra {

PictureView::PictureView(QWidget* parent) : QWidget(parent)
{
    setCursor(Qt::CrossCursor);
    // Moves are reported with no button held as well, as panning checks the
    // Ctrl key rather than the buttons.
    setMouseTracking(true);
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
