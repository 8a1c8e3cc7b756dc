#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>

namespace kestra {

struct JpegWriting {
    int quality = 100;
    // A restart marker after every so many rows of blocks; 0 for none.
    int restartRows = 0;
    // libjpeg's standard progression of scans instead of one scan.
    bool progressive = false;
    // Written into the JFIF header as dots per inch; 0 declares none.
    int dpi = 0;
    // Every component at full resolution, without chroma subsampling.
    bool fullChroma = false;
};

// Compresses a picture with libjpeg, row by row, so that no whole raw
// picture need be held: fill writes row y (width x components bytes).
// Components 1 (gray), 3 (RGB) or 4 (CMYK, written as Adobe's, so fill gives
// the bytes as stored: inverted).
[[nodiscard]] QByteArray WriteJpeg(int width, int height, int components,
                                   const std::function<void(int y, std::uint8_t* row)>& fill,
                                   const JpegWriting& writing = {});

// Writes width and height into a JPEG file's first frame header, so that a
// tiny file can declare a huge picture.
void SetJpegSize(QByteArray& file, int width, int height);

} // namespace kestra
