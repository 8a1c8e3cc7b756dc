#include "picture/JpegDecoder.h"

#include "measure/Error.h"

// libjpeg's header needs size_t and FILE declared first.
#include <QList>
#include <QRgb>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <string>
#include <vector>

namespace kestra {
namespace {

constexpr int PaletteColors = 236;
// A header may claim up to 65500 x 65500 pixels in a few bytes, and a cut
// file still decodes to its full size; this is several times an A3 page at
// 1200 dots per inch.
constexpr qsizetype MaxBitmapBytes = qsizetype{1} << 30;

struct ErrorManager {
    jpeg_error_mgr manager; // first, so libjpeg's pointer is ours too
    std::jmp_buf jump;
};

void jumpBack(j_common_ptr decoder)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(decoder->err)->jump, 1);
}

// Warnings (a file cut short, extra bytes) are neither shown nor fatal.
void ignoreMessage(j_common_ptr, int) {}
void ignoreOutput(j_common_ptr) {}

enum class Output { Rgb, Indexed, Cmyk };

// Everything the decode writes that must outlive a libjpeg error. It lives in
// DecodeJpeg's frame, which longjmp never leaves.
struct Target {
    int displayColorDepth = 0;
    Output output = Output::Rgb;
    QImage image;
    std::vector<JSAMPLE> cmykRow;
    int failure = 0; // a libjpeg message code for failures found outside libjpeg
};

void setParameters(jpeg_decompress_struct& decoder, Target& target)
{
    decoder.scale_num = 1;
    decoder.scale_denom = 1;
    decoder.dct_method = JDCT_FLOAT;
    decoder.do_fancy_upsampling = TRUE;
    decoder.do_block_smoothing = TRUE;
    decoder.buffered_image = FALSE;
    decoder.quantize_colors = FALSE;
    decoder.dither_mode = JDITHER_FS;
    decoder.two_pass_quantize = TRUE;
    switch (decoder.out_color_space) {
    case JCS_GRAYSCALE:
        target.output = Output::Indexed;
        break;
    case JCS_CMYK: // also what libjpeg makes of YCCK
        // libjpeg cannot quantize four components to a colour palette, so these
        // stay true colour whatever the display.
        target.output = Output::Cmyk;
        return;
    default:
        target.output = target.displayColorDepth <= 8 ? Output::Indexed : Output::Rgb;
        break;
    }
    if (target.output == Output::Indexed) {
        decoder.quantize_colors = TRUE;
        decoder.desired_number_of_colors = PaletteColors;
    }
}

// Sizes the bitmap from the output dimensions, before libjpeg allocates its
// own buffers for them; false leaves target.failure set.
bool allocate(const jpeg_decompress_struct& decoder, Target& target)
{
    const int components = decoder.out_color_components;
    const bool supported = target.output == Output::Indexed
                               ? (components == 1 || components == 3)
                               : components == (target.output == Output::Cmyk ? 4 : 3);
    if (!supported) {
        target.failure = JERR_CONVERSION_NOTIMPL;
        return false;
    }
    const qsizetype width = decoder.output_width;
    const qsizetype height = decoder.output_height;
    const int bytesPerPixel = target.output == Output::Indexed ? 1 : 3;
    if (width * height * bytesPerPixel > MaxBitmapBytes) {
        target.failure = JERR_IMAGE_TOO_BIG;
        return false;
    }
    target.image =
        QImage(static_cast<int>(width), static_cast<int>(height),
               target.output == Output::Indexed ? QImage::Format_Indexed8 : QImage::Format_RGB888);
    if (target.image.isNull()) {
        target.failure = JERR_OUT_OF_MEMORY;
        return false;
    }
    if (target.output == Output::Cmyk)
        target.cmykRow.resize(static_cast<std::size_t>(width) * 4);
    return true;
}

// With two-pass quantizing the colour map is ready only once the first pass
// has run inside jpeg_start_decompress.
void takePalette(const jpeg_decompress_struct& decoder, Target& target)
{
    QList<QRgb> palette(decoder.actual_number_of_colors);
    for (int i = 0; i < decoder.actual_number_of_colors; ++i) {
        const int red = decoder.colormap[0][i];
        palette[i] = decoder.out_color_components == 1
                         ? qRgb(red, red, red)
                         : qRgb(red, decoder.colormap[1][i], decoder.colormap[2][i]);
    }
    target.image.setColorTable(palette);
}

// Adobe writes CMYK inverted (0 is full ink), and most four-component files
// come from Adobe software; a file without its marker holds plain CMYK.
void cmykToRgb(const JSAMPLE* cmyk, std::uint8_t* rgb, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        const int k = inverted ? cmyk[3] : 255 - cmyk[3];
        for (int channel = 0; channel < 3; ++channel) {
            const int c = inverted ? cmyk[channel] : 255 - cmyk[channel];
            rgb[channel] = static_cast<std::uint8_t>((c * k + 127) / 255);
        }
    }
}

// Every libjpeg call that can fail runs here: its error_exit jumps back to the
// setjmp below, so this frame holds no object with a destructor, and nothing
// in it is read after the jump.
bool decode(jpeg_decompress_struct& decoder, ErrorManager& errors, const QByteArray& file,
            Target& target)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&decoder);
    // libjpeg's own whole-picture buffers (progressive files, two-pass
    // quantizing) obey the bitmap's bound, so a small file with a huge header
    // ends in an error instead of exhausting memory.
    decoder.mem->max_memory_to_use = MaxBitmapBytes;
    jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&decoder, TRUE);
    setParameters(decoder, target);
    jpeg_calc_output_dimensions(&decoder);
    if (!allocate(decoder, target))
        return false;
    jpeg_start_decompress(&decoder);
    if (target.output == Output::Indexed)
        takePalette(decoder, target);

    std::uint8_t* const bits = target.image.bits();
    const qsizetype bytesPerLine = target.image.bytesPerLine();
    const bool inverted = decoder.saw_Adobe_marker;
    while (decoder.output_scanline < decoder.output_height) {
        const JDIMENSION y = decoder.output_scanline;
        JSAMPROW row = bits + static_cast<qsizetype>(y) * bytesPerLine;
        if (target.output == Output::Cmyk) {
            JSAMPROW cmyk = target.cmykRow.data();
            if (jpeg_read_scanlines(&decoder, &cmyk, 1) == 1)
                cmykToRgb(cmyk, row, static_cast<int>(decoder.output_width), inverted);
        } else {
            jpeg_read_scanlines(&decoder, &row, 1);
        }
    }
    jpeg_finish_decompress(&decoder);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray& file, int displayColorDepth)
{
    jpeg_decompress_struct decoder{};
    ErrorManager errors{};
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.emit_message = ignoreMessage;
    errors.manager.output_message = ignoreOutput;
    Target target;
    target.displayColorDepth = displayColorDepth;

    const bool decoded = decode(decoder, errors, file, target);
    jpeg_destroy_decompress(&decoder);
    if (!decoded) {
        const int code = target.failure != 0 ? target.failure : errors.manager.msg_code;
        throw Error("JPEG error #" + std::to_string(code));
    }
    return std::move(target.image);
}

} // namespace kestra
