#pragma once

#include <QByteArray>
#include <QImage>
#include <array>
#include <cstdint>
#include <string>

namespace kestra::test {

enum class BmpHeader { Core12, Info40, V4, V5 };

// Writes picture as a bitmap file of the given depth. Up to 8 bits, the
// palette is the picture's distinct colours in order of first appearance;
// 16 and 32 bits use the masks (red, green, blue) with BI_BITFIELDS when
// any is given, else the file's defaults.
[[nodiscard]] QByteArray makeBmp(const QImage& picture, int bitCount, BmpHeader header,
                                 bool topDown = false, std::array<std::uint32_t, 3> masks = {});

// A 40-byte-header bitmap with the given RLE8 (bitCount 8) or RLE4 (4) data.
[[nodiscard]] QByteArray makeRleBmp(int width, int height, int bitCount, const QList<QRgb>& palette,
                                    const QByteArray& data);

void put16(QByteArray& file, int offset, std::uint16_t value);
void put32(QByteArray& file, int offset, std::uint32_t value);

// A progressive grayscale JPEG of a flat picture whose second scan (a few
// bytes of end-of-band runs that every block of the picture still walks
// through) is repeated until the file holds `scans` scans.
[[nodiscard]] QByteArray makeScanBomb(int width, int height, int scans);

// Each channel of actual within tolerance of expected.
[[nodiscard]] bool near(QRgb actual, QRgb expected, int tolerance);

// Empty when both pictures hold the same colours (each channel within the
// tolerance), else where they differ first.
[[nodiscard]] std::string colourDifference(const QImage& actual, const QImage& expected,
                                           int tolerance = 0);

// A dark leaf on white paper with a light patch inside, 240 x 180 pixels,
// or drawn to scale that many times larger.
[[nodiscard]] QImage leafPicture(int scale = 1);

} // namespace kestra::test
