#include "picture/JpegDecoder.h"

#include "measure/Error.h"
#include "picture/PictureMemory.h"

// libjpeg's header needs size_t and FILE declared first.
#include <QList>
#include <QRgb>
#include <QScopeGuard>
#include <QString>
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <jpeglib.h>
#include <string>
#include <vector>

// After jpeglib.h, whose configuration decides which messages (the
// arithmetic decoder's) jerror.h numbers.
#include <jerror.h>

namespace kestra {
namespace {

constexpr int PaletteColors = 236;

// The blocks that all scans of a file may visit together. Each scan visits
// every block of its components, whatever its data; the costliest, a
// refinement of the whole AC band, takes 45 to 65 ns a block on these
// machines, so no file keeps libjpeg at its scans for more than about 3 s.
// The standard progression of a 300-megapixel 4:2:0 picture visits 37.5
// million blocks, that of an A4 page at 1200 dpi without chroma subsampling
// 30.4 million; a picture in one scan at most 19 million.
constexpr qint64 MaxScanBlocks = 48'000'000;

// libjpeg's whole-picture buffers (the coefficients of a progressive file,
// the picture for two-pass quantizing) may take as much as the picture.
constexpr long MaxLibjpegBytes = MaxPicturePixels * 4;

struct ErrorManager {
    jpeg_error_mgr manager; // first, so libjpeg's pointer is ours too
    std::jmp_buf jump;
    bool ranOut = false;
    bool damaged = false;
};

void jumpBack(j_common_ptr decoder)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(decoder->err)->jump, 1);
}

// The warnings that say picture data went missing or wrong and libjpeg
// filled the blocks in: the data ends early, a segment ends inside a block,
// a code is not in its table, restart markers are missing or out of order,
// or a restart interval holds more data than its blocks (its bytes were
// scrambled). Extra bytes before other markers are common harmless padding
// (before the end of the file, between segments); warnings about metadata
// (ICC, JFIF version, Adobe transform) or the order of scans leave the
// picture's data as the file holds it.
bool isDamage(const jpeg_error_mgr& message)
{
    switch (message.msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        return true;
    case JWRN_EXTRANEOUS_DATA: {
        const int marker = message.msg_parm.i[1];
        return marker >= 0xD0 && marker <= 0xD7; // RST0 to RST7
    }
    default:
        return false;
    }
}

// Warnings are neither shown nor fatal; the damage they tell of is noted.
void noteWarning(j_common_ptr decoder, int level)
{
    if (level >= 0) // trace messages
        return;
    auto* errors = reinterpret_cast<ErrorManager*>(decoder->err);
    errors->ranOut = errors->ranOut || errors->manager.msg_code == JWRN_JPEG_EOF;
    errors->damaged = errors->damaged || isDamage(errors->manager);
}

void ignoreOutput(j_common_ptr) {}

void useErrorManager(jpeg_decompress_struct& decoder, ErrorManager& errors)
{
    decoder.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    errors.manager.emit_message = noteWarning;
    errors.manager.output_message = ignoreOutput;
}

enum class Output { Rgb, Indexed, Cmyk };

// Why a decode stopped that libjpeg itself did not stop.
enum class Refusal { None, Libjpeg, Budget, Scans, ScanBlocks };

// Everything the decode writes that must outlive a libjpeg error. It lives in
// DecodeJpeg's frame, which longjmp never leaves.
struct Target {
    int displayColorDepth = 0;
    Output output = Output::Rgb;
    QImage image;
    std::vector<JSAMPLE> cmykRow;
    Refusal refusal = Refusal::None;
    int failure = 0; // a libjpeg message code, for Refusal::Libjpeg
    int width = 0;
    int height = 0;
};

// Counts scans as libjpeg reaches them. libjpeg calls the monitor at least
// once for every row of blocks it decodes, so a scan beyond the limits is
// stopped at its first row.
struct ScanWatch {
    jpeg_progress_mgr manager; // first, so libjpeg's pointer is ours too
    ErrorManager* errors = nullptr;
    Target* target = nullptr;
    int scans = 0;
    qint64 blocks = 0;
};

void watchScans(j_common_ptr common)
{
    auto* decoder = reinterpret_cast<j_decompress_ptr>(common);
    auto* watch = reinterpret_cast<ScanWatch*>(decoder->progress);
    if (decoder->input_scan_number <= watch->scans)
        return;
    watch->scans = decoder->input_scan_number;
    for (int i = 0; i < decoder->comps_in_scan; ++i)
        watch->blocks += qint64{decoder->cur_comp_info[i]->width_in_blocks} *
                         decoder->cur_comp_info[i]->height_in_blocks;
    const Refusal refusal = watch->scans > MaxJpegScans     ? Refusal::Scans
                            : watch->blocks > MaxScanBlocks ? Refusal::ScanBlocks
                                                            : Refusal::None;
    if (refusal == Refusal::None)
        return;
    watch->target->refusal = refusal;
    std::longjmp(watch->errors->jump, 1);
}

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
// own buffers for them; false leaves target.refusal set.
bool allocate(const jpeg_decompress_struct& decoder, Target& target)
{
    const int components = decoder.out_color_components;
    const bool supported = target.output == Output::Indexed
                               ? (components == 1 || components == 3)
                               : components == (target.output == Output::Cmyk ? 4 : 3);
    if (!supported) {
        target.refusal = Refusal::Libjpeg;
        target.failure = JERR_CONVERSION_NOTIMPL;
        return false;
    }
    const qsizetype width = decoder.output_width;
    const qsizetype height = decoder.output_height;
    target.image = AllocatePicture(static_cast<int>(width), static_cast<int>(height),
                                   target.output == Output::Indexed ? QImage::Format_Indexed8
                                                                    : QImage::Format_RGB888);
    if (target.image.isNull()) {
        target.refusal = Refusal::Libjpeg;
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
bool decode(jpeg_decompress_struct& decoder, ErrorManager& errors, ScanWatch& watch,
            const QByteArray& file, Target& target)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&decoder);
    decoder.mem->max_memory_to_use = MaxLibjpegBytes;
    decoder.progress = &watch.manager;
    jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(file.constData()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&decoder, TRUE);
    target.width = static_cast<int>(decoder.image_width);
    target.height = static_cast<int>(decoder.image_height);
    // Before libjpeg or the bitmap allocate anything for the picture.
    if (!WithinPictureBudget(target.width, target.height)) {
        target.refusal = Refusal::Budget;
        return false;
    }
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

// Like decode, for the header alone.
bool readHeader(jpeg_decompress_struct& decoder, ErrorManager& errors, const unsigned char* bytes,
                qsizetype size)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&decoder, TRUE);
    return true;
}

} // namespace

std::optional<JpegHeader> ReadJpegHeader(const QByteArray& head)
{
    jpeg_decompress_struct decoder{};
    ErrorManager errors{};
    useErrorManager(decoder, errors);
    const auto destroy = qScopeGuard([&decoder] { jpeg_destroy_decompress(&decoder); });
    JpegHeader header;
    const auto* bytes = reinterpret_cast<const unsigned char*>(head.constData());
    const bool read = readHeader(decoder, errors, bytes, head.size());
    if (read && !errors.ranOut) {
        header.width = static_cast<int>(decoder.image_width);
        header.height = static_cast<int>(decoder.image_height);
        header.components = decoder.num_components;
        header.headerBytes = decoder.src->next_input_byte - bytes;
    }
    // Running out of bytes, libjpeg reads on as if the file ended there, and
    // whatever it then reports says nothing about the file.
    if (errors.ranOut)
        return std::nullopt;
    if (!read)
        throw Error("JPEG error #" + std::to_string(errors.manager.msg_code));
    return header;
}

qint64 JpegFileNeed(const JpegHeader& header)
{
    return header.headerBytes + 3 * qint64{header.width} * header.height * header.components;
}

DecodedJpeg DecodeJpeg(const QByteArray& file, int displayColorDepth)
{
    jpeg_decompress_struct decoder{};
    ErrorManager errors{};
    useErrorManager(decoder, errors);
    ScanWatch watch;
    watch.manager.progress_monitor = watchScans;
    watch.errors = &errors;
    Target target;
    target.displayColorDepth = displayColorDepth;
    watch.target = &target;

    // Also when the picture's memory or palette throws out of decode.
    const auto destroy = qScopeGuard([&decoder] { jpeg_destroy_decompress(&decoder); });
    const bool decoded = decode(decoder, errors, watch, file, target);
    if (decoded)
        return {std::move(target.image), errors.damaged};
    switch (target.refusal) {
    case Refusal::Budget:
        CheckPictureBudget(target.width, target.height); // throws: the picture is over it
        break;
    case Refusal::Scans:
        throw Error(QStringLiteral("The JPEG file has more than %1 scans; KESTRA opens files of "
                                   "up to %1 scans.")
                        .arg(MaxJpegScans)
                        .toStdString());
    case Refusal::ScanBlocks:
        throw Error(QStringLiteral("The JPEG file has too many scans for its picture of %1 x %2 "
                                   "pixels.")
                        .arg(target.width)
                        .arg(target.height)
                        .toStdString());
    case Refusal::Libjpeg:
        throw Error("JPEG error #" + std::to_string(target.failure));
    case Refusal::None:
        break;
    }
    throw Error("JPEG error #" + std::to_string(errors.manager.msg_code));
}

} // namespace kestra
