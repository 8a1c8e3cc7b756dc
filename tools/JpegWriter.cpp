#include "tools/JpegWriter.h"

// libjpeg's header needs size_t and FILE declared first.
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <stdexcept>
#include <vector>

namespace kestra {

QByteArray WriteJpeg(int width, int height, int components,
                     const std::function<void(int y, std::uint8_t* row)>& fill,
                     const JpegWriting& writing)
{
    jpeg_compress_struct encoder{};
    jpeg_error_mgr errors{};
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &buffer, &size);
    encoder.image_width = static_cast<JDIMENSION>(width);
    encoder.image_height = static_cast<JDIMENSION>(height);
    encoder.input_components = components;
    encoder.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, writing.quality, TRUE);
    encoder.restart_in_rows = writing.restartRows;
    if (writing.fullChroma)
        encoder.comp_info[0].h_samp_factor = encoder.comp_info[0].v_samp_factor = 1;
    if (writing.progressive)
        jpeg_simple_progression(&encoder);
    if (writing.dpi > 0) {
        encoder.density_unit = 1; // dots per inch
        encoder.X_density = static_cast<UINT16>(writing.dpi);
        encoder.Y_density = static_cast<UINT16>(writing.dpi);
    }
    jpeg_start_compress(&encoder, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * components);
    while (encoder.next_scanline < encoder.image_height) {
        fill(static_cast<int>(encoder.next_scanline), row.data());
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    QByteArray file(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    std::free(buffer);
    return file;
}

void SetJpegSize(QByteArray& file, int width, int height)
{
    // The first start-of-frame marker of any kind that libjpeg reads.
    for (qsizetype at = 2; at + 9 < file.size(); ++at) {
        const auto marker = static_cast<std::uint8_t>(file[at + 1]);
        if (static_cast<std::uint8_t>(file[at]) == 0xFF && marker >= 0xC0 && marker <= 0xC2) {
            file[at + 5] = static_cast<char>(height >> 8);
            file[at + 6] = static_cast<char>(height & 0xFF);
            file[at + 7] = static_cast<char>(width >> 8);
            file[at + 8] = static_cast<char>(width & 0xFF);
            return;
        }
    }
    throw std::invalid_argument("no frame header");
}

} // namespace kestra
