#pragma once

#include <QByteArray>
#include <QImage>

namespace kestra {

// Decodes a JPEG file held in memory at full size: 24 bits a pixel for colour,
// 8 bits with a palette of 236 grays for grayscale, and 8 bits with at most 236
// colours for every file when the display colour depth is 8 or less. A fatal
// libjpeg error throws Error "JPEG error #<msg_code>".
[[nodiscard]] QImage DecodeJpeg(const QByteArray& file, int displayColorDepth);

} // namespace kestra
