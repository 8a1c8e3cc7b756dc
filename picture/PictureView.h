#pragma once

#include "picture/PictureBitmap.h"

#include <QPoint>
#include <QWidget>
#include <vector>

namespace kestra {

// Image2: shows the picture bitmap and reports mouse presses, moves and
// releases in display pixels relative to its own top-left corner. Between a
// press and its release Qt keeps the mouse on this control, so a release
// outside it reports a position outside (possibly negative).
//
// With stretching on, the picture fills the control by nearest-neighbour
// sampling (whole rows and columns repeated or dropped); with it off, the
// picture stands at its natural size from the top-left corner. Each paint
// reads only the part of the picture under the region being painted.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    [[nodiscard]] PictureBitmap& bitmap() { return bitmap_; }
    [[nodiscard]] const PictureBitmap& bitmap() const { return bitmap_; }

    void setStretch(bool stretch);
    [[nodiscard]] bool stretch() const { return stretch_; }

    // Tints every shown pixel whose picture pixel the leaf surface counts:
    // half its colour, half magenta. Only the painting changes; the picture
    // bitmap stays as it is.
    void setShowCounted(bool show);
    [[nodiscard]] bool showCounted() const { return showCounted_; }

    // Marks the suggested landmarks (those not missing) over the picture with
    // a ring of a fixed size on the screen, whatever the zoom. Only the
    // painting changes: a suggestion's mark never goes into the bitmap, so
    // moving it leaves nothing behind. Repaints when they change.
    void setSuggested(const Landmarks& suggested);
    [[nodiscard]] const std::vector<QPoint>& suggested() const { return suggested_; }

    // Paints the part of the picture under region (in this control's
    // coordinates) with painter, which is set up in the same coordinates.
    void paintRegion(QPainter& painter, const QRect& region) const;

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void paintSuggested(QPainter& painter) const;

    PictureBitmap bitmap_;
    std::vector<QPoint> suggested_; // picture pixels
    bool stretch_ = false;
    bool showCounted_ = false;
};

} // namespace kestra
