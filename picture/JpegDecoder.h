#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace kestra {

// More scans than any encoder writes: libjpeg-turbo's own tools stop at 500.
inline constexpr int MaxJpegScans = 500;

// What a JPEG file's header declares.
struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    // Where the first scan's data begins: the header with all its metadata.
    qint64 headerBytes = 0;
};

// Reads the header, everything before the first scan's data, from a JPEG
// file's first bytes. Empty when the header runs beyond them; a fatal libjpeg
// error throws Error "JPEG error #<msg_code>".
[[nodiscard]] std::optional<JpegHeader> ReadJpegHeader(const QByteArray& head);

// The most a file with this header can take: its header and 3 bytes a
// sample, twice what libjpeg writes for random noise at quality 100.
[[nodiscard]] qint64 JpegFileNeed(const JpegHeader& header);

struct DecodedJpeg {
    QImage image;
    // libjpeg met missing or corrupt data and filled parts of the picture in.
    bool damaged = false;
};

// Decodes a JPEG file held in memory at full size, straight into the bitmap's
// rows: 24 bits a pixel (Format_RGB888) for colour, 8 bits (Format_Indexed8)
// with a palette of 236 evenly spaced grays for grayscale, and 8 bits with at
// most 236 colours for three-component files when the display colour depth is
// 8 or less. Four-component files (CMYK, YCCK) are converted to 24-bit RGB,
// Adobe's inverted CMYK included, whatever the display depth: libjpeg cannot
// quantize them to a colour palette. The picture's memory has room for its
// 32-bit form (AllocatePicture).
//
// A fatal libjpeg error throws Error "JPEG error #<msg_code>"; an output this
// decoder cannot hold throws libjpeg's code for an unsupported conversion.
// Warnings do not stop the decode: a file cut short decodes as libjpeg fills
// it, and the result says it is damaged. Refused before the picture is
// allocated: a picture beyond the budget (CheckPictureBudget's message).
// Refused as soon as its scans go too far: more than MaxJpegScans scans
// ("The JPEG file has more than 500 scans; KESTRA opens files of up to 500
// scans."), or scans that would visit more blocks in all than a few seconds
// of decoding allow ("The JPEG file has too many scans for its picture of
// <width> x <height> pixels."). libjpeg's own buffers (progressive files,
// two-pass quantizing) are held to the picture budget's bytes.
[[nodiscard]] DecodedJpeg DecodeJpeg(const QByteArray& file, int displayColorDepth);

} // namespace kestra
