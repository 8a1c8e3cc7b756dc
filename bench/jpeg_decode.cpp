// Decoding a colour A4 page scanned at 300 dpi (2480 x 3508) through
// DecodeJpeg, beside a bare libjpeg decode of the same file with the same
// settings into fresh pages (as every open writes a new picture). Goal:
// DecodeJpeg within 1.1 times the bare decode, and the load's peak memory
// within the file size plus 1.1 times the bitmap; the DecodeJpeg run reports
// that peak, the resident memory the decode adds, as counters.
#include "ProcessMemory.h"
#include "picture/JpegDecoder.h"
#include "tools/JpegWriter.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <jpeglib.h>
#include <sys/mman.h>

namespace {

constexpr int Width = 2480;
constexpr int Height = 3508;

// A light page with a dark green, textured leaf-like ellipse: enough detail
// for a scan-like file size, written row by row so that no whole raw page is
// ever held.
const QByteArray& pageFile()
{
    static const QByteArray file = kestra::WriteJpeg(
        Width, Height, 3,
        [](int y, std::uint8_t* row) {
            for (int x = 0; x < Width; ++x) {
                const double dx = (x - Width / 2) / 900.0;
                const double dy = (y - Height / 2) / 1300.0;
                const unsigned noise =
                    (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >>
                    27;
                const bool leaf = dx * dx + dy * dy < 1.0;
                row[3 * x] =
                    static_cast<std::uint8_t>(leaf ? 40 + noise + (x + y) % 23 : 235 + noise / 4);
                row[3 * x + 1] = static_cast<std::uint8_t>(leaf ? 90 + noise + (x * y) % 31 : 238);
                row[3 * x + 2] = static_cast<std::uint8_t>(leaf ? 30 + noise : 232 + noise / 4);
            }
        },
        {.quality = 90});
    return file;
}

void DecodeJpegPage(benchmark::State& state)
{
    const QByteArray& file = pageFile();
    for (auto _ : state) {
        QImage picture = kestra::DecodeJpeg(file, 32).image;
        benchmark::DoNotOptimize(picture.constBits());
    }
    QImage picture;
    const long long peakOfLoad =
        bench::peakAbove([&] { picture = kestra::DecodeJpeg(file, 32).image; }) + file.size();
    const double bitmap = static_cast<double>(3 * Width + 3) / 4 * 4 * Height;
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
    state.counters["bitmap_MB"] = bitmap / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peakOfLoad) / 1e6;
    state.counters["peak_to_goal"] =
        static_cast<double>(peakOfLoad) / (static_cast<double>(file.size()) + 1.1 * bitmap);
}

// libjpeg alone, with DecodeJpeg's settings, into fresh pages each time.
void BareLibjpegPage(benchmark::State& state)
{
    const QByteArray& file = pageFile();
    const std::size_t stride = (3 * Width + 3) / 4 * 4;
    for (auto _ : state) {
        auto* pixels = static_cast<JSAMPLE*>(::mmap(
            nullptr, stride * Height, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        jpeg_decompress_struct decoder{};
        jpeg_error_mgr errors{};
        decoder.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&decoder);
        jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(file.constData()),
                     static_cast<unsigned long>(file.size()));
        jpeg_read_header(&decoder, TRUE);
        decoder.scale_num = 1;
        decoder.scale_denom = 1;
        decoder.dct_method = JDCT_FLOAT;
        decoder.do_fancy_upsampling = TRUE;
        decoder.do_block_smoothing = TRUE;
        decoder.buffered_image = FALSE;
        decoder.quantize_colors = FALSE;
        jpeg_start_decompress(&decoder);
        while (decoder.output_scanline < decoder.output_height) {
            JSAMPROW row = pixels + decoder.output_scanline * stride;
            jpeg_read_scanlines(&decoder, &row, 1);
        }
        jpeg_finish_decompress(&decoder);
        jpeg_destroy_decompress(&decoder);
        benchmark::DoNotOptimize(pixels);
        ::munmap(pixels, stride * Height);
    }
}

} // namespace

BENCHMARK(BareLibjpegPage)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeJpegPage)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
