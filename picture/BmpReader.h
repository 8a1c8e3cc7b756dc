#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>

namespace kestra {

// Decodes a Windows bitmap file in its own depth. head holds the file's
// first bytes, at least its headers and palette (or the whole file);
// the pixel rows are read from file, a random-access device, straight into
// the picture in one pass, and uncompressed rows are never held twice.
//
// An empty file gives an empty 0 x 0 picture; a file of 1 to 13 bytes, or one
// that cannot be read to its end, throws Error "Stream read error"; anything
// else that is not a valid bitmap throws Error "Bitmap image is not valid".
// Before any pixel memory is allocated, a picture beyond the budget and a file
// far larger than its picture can need are refused with the messages of
// CheckPictureBudget and CheckFileSize.
//
// Headers: the 12-byte OS/2 one, the 40-byte information header (and the
// 64-byte OS/2 2.x one, read as its first 40 bytes), and the 52, 56, 108 (V4)
// and 124 (V5) byte forms; rows bottom-up or top-down.
//
// The picture keeps the depth the file gives it:
//  1 bit            Format_Mono with the file's two colours
//  2, 4 and 8 bits  Format_Indexed8 with the file's palette (RLE4 and RLE8 too)
//  16 bits          Format_RGB555 or Format_RGB16 when the bit masks are the
//                   usual 5-5-5 or 5-6-5; Qt has no 16-bit format for other
//                   masks, so those are widened to Format_RGB888, losing nothing
//  24 bits          Format_BGR888, the file's own byte order
//  32 bits          Format_RGB32 (other bit masks are decoded into it)
// Palettes always hold 2 ^ depth entries (missing ones black), so every index
// a file can store stands for a colour.
//
// The picture's memory has room for its 32-bit form (AllocatePicture).
[[nodiscard]] QImage ReadBmp(const QByteArray& head, QIODevice& file);

// The same for a whole file held in memory.
[[nodiscard]] QImage ReadBmp(const QByteArray& file);

} // namespace kestra
