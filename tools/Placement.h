#pragma once

#include "measure/Landmarks.h"

#include <QImage>
#include <QTransform>

namespace kestra {

// A picture placed otherwise: turned or mirrored as Qt transforms it (the
// result moved to start at the origin), or moved right and down by whole
// pixels, its first row and column repeated so that the paper goes on.
[[nodiscard]] QImage PlacedPicture(const QImage& picture, const QTransform& transform);

// Where the points of a picture of the given size go when it is placed so.
[[nodiscard]] Landmarks PlacedLandmarks(const Landmarks& points, const QTransform& transform,
                                        const QSize& size);

} // namespace kestra
