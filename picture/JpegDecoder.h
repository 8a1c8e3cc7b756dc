#pragma once

#include <QByteArray>
#include <QImage>

namespace kestra {

// Decodes a JPEG file held in memory at full size, straight into the bitmap's
// rows: 24 bits a pixel (Format_RGB888) for colour, 8 bits (Format_Indexed8)
// with a palette of 236 evenly spaced grays for grayscale, and 8 bits with at
// most 236 colours for three-component files when the display colour depth is
// 8 or less. Four-component files (CMYK, YCCK) are converted to 24-bit RGB,
// Adobe's inverted CMYK included, whatever the display depth: libjpeg cannot
// quantize them to a colour palette.
//
// A fatal libjpeg error throws Error "JPEG error #<msg_code>"; warnings are
// ignored, so a file cut short decodes as libjpeg fills it. A bitmap over
// 1 GiB is refused with libjpeg's code for an image too big, and an output
// this decoder cannot hold with its code for an unsupported conversion.
[[nodiscard]] QImage DecodeJpeg(const QByteArray& file, int displayColorDepth);

} // namespace kestra
