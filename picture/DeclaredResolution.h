#pragma once

#include <cstddef>
#include <optional>

namespace kestra {

// What a picture file says about how it was made, beside its pixels.
struct Declaration {
    // Dots per inch, when the file declares a believable resolution.
    std::optional<double> dpi;
    // The file asks for the picture to be shown turned or mirrored.
    bool storedTurned = false;
};

// Reads a JPEG file's markers from SOI up to the first SOS: the density of a
// JFIF APP0 segment (units 1 dots per inch, 2 dots per centimetre; units 0
// give only an aspect ratio), else XResolution and ResolutionUnit of an Exif
// APP1 segment's first IFD; the Exif Orientation 2 to 8 sets storedTurned.
// Only the horizontal density counts. Malformed or cut data declares nothing
// and never reads outside the buffer.
[[nodiscard]] Declaration ReadJpegDeclaration(const unsigned char* data, std::size_t size);

// Reads a BMP file's horizontal pixels per metre from an information header of
// 40 bytes or more (the 12-byte OS/2 header has none). The first bytes of the
// file, up to the end of that header, are enough.
[[nodiscard]] std::optional<double> ReadBmpDeclaredDpi(const unsigned char* data, std::size_t size);

// A declared resolution within a twentieth of a whole number stands for that
// number (pixels per metre give 299.9994 for 300 and 96.012 for 96); any
// other is taken as declared.
[[nodiscard]] double DeclaredValue(double dpi);

// Whether a declared resolution is one that cameras and screens write when
// they know nothing of a scan's size: 72 or 96.
[[nodiscard]] bool IsDeviceDefaultDpi(double dpi);

} // namespace kestra
