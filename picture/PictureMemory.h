#pragma once

#include <QImage>
#include <QtGlobal>
#include <vector>

namespace kestra {

// The largest picture KESTRA opens, in pixels: 1.2 GB at the 32 bits a pixel
// that the first analysis converts it to. It holds a full A4 page at 1200 dpi
// (9920 x 14032, 139 million pixels) twice over and an A3 page at 1200 dpi
// (278 million); nothing a scanner makes of a leaf comes near it.
inline constexpr qint64 MaxPicturePixels = 300'000'000;

// What a file may hold beyond the most its picture can take: colour
// profiles, thumbnails, a writer's trailing bytes.
inline constexpr qint64 FileSlackBytes = qint64{16} << 20;

// Throws Error "The picture is <width> x <height> pixels; KESTRA opens
// pictures of up to 300 megapixels." when a header declares more pixels than
// the budget. Called before any pixel memory is allocated.
void CheckPictureBudget(qint64 width, qint64 height);

// Throws Error "The file is <size> bytes, far more than its picture of
// <width> x <height> pixels can need." when fileSize exceeds need, the most
// the declared picture's data can take, by more than FileSlackBytes.
void CheckFileSize(qint64 fileSize, qint64 need, qint64 width, qint64 height);

// Each pixel value of a palette or 16-bit picture's format (2, 256 or 65536
// of them) as QImage::convertToFormat(Format_RGB32) widens it, palette rules
// (missing entries, alpha) and 5- and 6-bit widening included. Throws Error
// "Out of memory" when the table cannot be made.
[[nodiscard]] std::vector<QRgb> WidenedValues(const QImage& picture);

// Whether a header's picture fits the budget.
[[nodiscard]] bool WithinPictureBudget(qint64 width, qint64 height);

// A picture of the given size and format, its pixels uninitialised, whose
// memory has room for the same picture at 32 bits a pixel: WidenToRgb32 then
// converts it where it lies. Only the pages written are backed by memory, so
// the picture costs its own depth until it is widened. Null when the size
// exceeds the budget or the memory cannot be had.
[[nodiscard]] QImage AllocatePicture(int width, int height, QImage::Format format);

// Converts the picture to Format_RGB32 with the colours
// QImage::convertToFormat gives. A picture made by AllocatePicture that no
// other QImage shares is widened in place, from its last pixel backwards, so
// that it is never held twice; any other goes through a copy. False, with the
// picture unchanged, when that copy cannot be made.
[[nodiscard]] bool WidenToRgb32(QImage& picture);

} // namespace kestra
