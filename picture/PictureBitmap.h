#pragma once

#include "measure/Landmarks.h"
#include "measure/LeafSurface.h"

#include <QImage>
#include <QPen>
#include <QRegion>
#include <QSize>

namespace kestra {

// The parts of a picture that the markers of the recorded landmarks can
// touch: one box a cross, its arms and pen included.
[[nodiscard]] QRegion MarkerBoxes(const Landmarks& landmarks);

// The one loaded picture, with the pen its landmark markers are drawn with.
// Only takeOver replaces the picture; markers stay in it until then.
class PictureBitmap {
public:
    // For showing: paint from here each time rather than keeping a copy, which
    // would go stale at the next marker and make that marker copy the picture.
    [[nodiscard]] const QImage& image() const { return image_; }
    [[nodiscard]] const QPen& markerPen() const { return markerPen_; }

    // Takes over a freshly loaded picture and sets the marker pen: pure red,
    // 3 pixels wide, solid.
    void takeOver(QImage picture);

    // Until the first picture loads, markers go into a white picture the size
    // of the image control, drawn with Qt's default pen. The view calls this
    // before DrawMarkers; it makes that picture once and does nothing after a
    // load or when the size is empty.
    void ensureBlank(QSize controlSize);

    // Draws the cross of every recorded landmark 1..32 into the picture,
    // clipped to it. In a palette picture the crosses take the palette entry
    // nearest to the pen's colour; the palette itself never changes.
    void DrawMarkers(const Landmarks& landmarks);

    // Converts the picture to 32 bits a pixel (kept until the next load) and
    // hands out its rows for the leaf count. A decoded picture is widened where
    // it lies (WidenToRgb32), so it is never held twice. Throws Error "Out of
    // memory" when another picture's 32-bit copy cannot be made; the picture is
    // then as before.
    [[nodiscard]] PixelRows rgb32Rows();

private:
    void drawCross(int x, int y);
    void drawCrossByIndex(int x, int y);

    QImage image_;
    QPen markerPen_;
    bool loaded_ = false;
};

} // namespace kestra
