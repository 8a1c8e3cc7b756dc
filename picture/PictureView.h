#pragma once

#include "picture/PictureBitmap.h"

#include <QWidget>

namespace kestra {

// Image2: holds the picture bitmap and reports mouse presses, moves and
// releases in display pixels relative to its own top-left corner. Between a
// press and its release Qt keeps the mouse on this control, so a release
// outside it reports a position outside (possibly negative).
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    [[nodiscard]] PictureBitmap& bitmap() { return bitmap_; }
    [[nodiscard]] const PictureBitmap& bitmap() const { return bitmap_; }

signals:
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseMoved(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void mouseReleased(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    PictureBitmap bitmap_;
};

} // namespace kestra
