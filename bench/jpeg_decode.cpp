// Decoding a colour A4 page scanned at 300 dpi (2480 x 3508) through
// DecodeJpeg, beside a bare libjpeg decode of the same file with the same
// settings into a buffer allocated once. Goal: DecodeJpeg within 1.1 times the
// bare decode, and the load's peak memory within the file size plus 1.1 times
// the bitmap; the DecodeJpeg run reports that peak as counters.
#include "picture/JpegDecoder.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>
#include <malloc.h>
#include <vector>

// Every allocation of the process passes through these, so the benchmark can
// see the peak of what libjpeg, Qt and the decoder hold at once.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void account(long long change)
{
    const long long now = liveBytes.fetch_add(change, std::memory_order_relaxed) + change;
    long long peak = peakBytes.load(std::memory_order_relaxed);
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

long long usable(void* block)
{
    return block == nullptr ? 0 : static_cast<long long>(malloc_usable_size(block));
}

} // namespace

extern "C" {
void* malloc(std::size_t size)
{
    void* block = __libc_malloc(size);
    account(usable(block));
    return block;
}

void* calloc(std::size_t count, std::size_t size)
{
    void* block = __libc_calloc(count, size);
    account(usable(block));
    return block;
}

void* realloc(void* block, std::size_t size)
{
    const long long before = usable(block);
    void* moved = __libc_realloc(block, size);
    if (moved != nullptr || size == 0)
        account(usable(moved) - before);
    return moved;
}

void free(void* block)
{
    account(-usable(block));
    __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    void* block = __libc_memalign(alignment, size);
    account(usable(block));
    return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    void* block = memalign(alignment, size);
    if (block == nullptr)
        return ENOMEM;
    *result = block;
    return 0;
}
}

namespace {

constexpr int Width = 2480;
constexpr int Height = 3508;

// A light page with a dark green, textured leaf-like ellipse: enough detail
// for a scan-like file size, written row by row so that no whole raw page is
// ever held.
const QByteArray& pageFile()
{
    static const QByteArray file = [] {
        jpeg_compress_struct encoder{};
        jpeg_error_mgr errors{};
        encoder.err = jpeg_std_error(&errors);
        jpeg_create_compress(&encoder);
        unsigned char* buffer = nullptr;
        unsigned long size = 0;
        jpeg_mem_dest(&encoder, &buffer, &size);
        encoder.image_width = Width;
        encoder.image_height = Height;
        encoder.input_components = 3;
        encoder.in_color_space = JCS_RGB;
        jpeg_set_defaults(&encoder);
        jpeg_set_quality(&encoder, 90, TRUE);
        jpeg_start_compress(&encoder, TRUE);
        std::vector<JSAMPLE> row(Width * 3);
        while (encoder.next_scanline < Height) {
            const int y = static_cast<int>(encoder.next_scanline);
            for (int x = 0; x < Width; ++x) {
                const double dx = (x - Width / 2) / 900.0;
                const double dy = (y - Height / 2) / 1300.0;
                const unsigned noise =
                    (static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u) >>
                    27;
                const bool leaf = dx * dx + dy * dy < 1.0;
                row[3 * x] =
                    static_cast<JSAMPLE>(leaf ? 40 + noise + (x + y) % 23 : 235 + noise / 4);
                row[3 * x + 1] = static_cast<JSAMPLE>(leaf ? 90 + noise + (x * y) % 31 : 238);
                row[3 * x + 2] = static_cast<JSAMPLE>(leaf ? 30 + noise : 232 + noise / 4);
            }
            JSAMPROW rows[] = {row.data()};
            jpeg_write_scanlines(&encoder, rows, 1);
        }
        jpeg_finish_compress(&encoder);
        jpeg_destroy_compress(&encoder);
        QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
        std::free(buffer);
        return bytes;
    }();
    return file;
}

void DecodeJpegPage(benchmark::State& state)
{
    const QByteArray& file = pageFile();
    long long peakOfLoad = 0;
    for (auto _ : state) {
        const long long before = liveBytes.load();
        peakBytes.store(before);
        QImage picture = kestra::DecodeJpeg(file, 32).image;
        peakOfLoad = peakBytes.load() - before + file.size();
        benchmark::DoNotOptimize(picture.constBits());
    }
    const double bitmap = static_cast<double>(3 * Width + 3) / 4 * 4 * Height;
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
    state.counters["bitmap_MB"] = bitmap / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peakOfLoad) / 1e6;
    state.counters["peak_to_goal"] =
        static_cast<double>(peakOfLoad) / (static_cast<double>(file.size()) + 1.1 * bitmap);
}

// libjpeg alone, with DecodeJpeg's settings, into rows allocated once.
void BareLibjpegPage(benchmark::State& state)
{
    const QByteArray& file = pageFile();
    const std::size_t stride = (3 * Width + 3) / 4 * 4;
    std::vector<JSAMPLE> pixels(stride * Height);
    for (auto _ : state) {
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
            JSAMPROW row = pixels.data() + decoder.output_scanline * stride;
            jpeg_read_scanlines(&decoder, &row, 1);
        }
        jpeg_finish_decompress(&decoder);
        jpeg_destroy_decompress(&decoder);
        benchmark::DoNotOptimize(pixels.data());
    }
}

} // namespace

BENCHMARK(BareLibjpegPage)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeJpegPage)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
