// Decoding a colour A4 page scanned at 300 dpi (2480 x 3508) through
// DecodeJpeg, beside a bare libjpeg decode of the same file with the same
// settings into a buffer populated the same way (AllocatePicture's). Goal:
// DecodeJpeg within 1.1 times the bare decode, and the load's peak memory
// within the file size plus 1.1 times the bitmap; the DecodeJpeg run reports
// that peak, the resident memory the decode adds, as counters.
//
// JpegOpen, the same page at 300 and 1200 dpi (9920 x 14032) as a file opened
// through the window (WindowOpen.h), beside two baselines run in the same
// iteration: the bare decode reading the file itself (ratio_bare, goal 1.15)
// and djpeg writing to /dev/null (ratio_djpeg, goal 1.3; left out without
// djpeg, from libjpeg-turbo-progs).
#include "BenchSupport.h"
#include "ProcessMemory.h"
#include "WindowOpen.h"
#include "picture/JpegDecoder.h"
#include "picture/PictureMemory.h"
#include "tools/JpegWriter.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <fcntl.h>
#include <jpeglib.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace {

using bench::secondsOf;

constexpr int Width = 2480;
constexpr int Height = 3508;

// A light page with a dark green, textured leaf-like ellipse: enough detail
// for a scan-like file size, written row by row so that no whole raw page is
// ever held. At 1200 dpi the page is four times as wide and high, its detail
// as fine.
QByteArray drawPage(int scale)
{
    const int width = Width * scale;
    const int height = Height * scale;
    return kestra::WriteJpeg(
        width, height, 3,
        [=](int y, std::uint8_t* row) {
            for (int x = 0; x < width; ++x) {
                const double dx = (x - width / 2) / (900.0 * scale);
                const double dy = (y - height / 2) / (1300.0 * scale);
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
}

const QByteArray& pageFile()
{
    static const QByteArray file = drawPage(1);
    return file;
}

// The page at 300 or 1200 dpi as a file, written once.
std::string pagePath(long dpi)
{
    static QTemporaryDir folder;
    static std::map<long, std::string> paths;
    std::string& path = paths[dpi];
    if (path.empty()) {
        path = folder.filePath(QStringLiteral("page-%1dpi.jpg").arg(dpi)).toStdString();
        const QByteArray file = dpi == 300 ? pageFile() : drawPage(static_cast<int>(dpi / 300));
        std::FILE* out = std::fopen(path.c_str(), "wb");
        std::fwrite(file.constData(), 1, static_cast<std::size_t>(file.size()), out);
        std::fclose(out);
    }
    return path;
}

// libjpeg alone, with DecodeJpeg's settings, from the source given, into a
// new picture's memory as AllocatePicture makes it resident.
template <typename Source> void decodeBare(Source&& source)
{
    jpeg_decompress_struct decoder{};
    jpeg_error_mgr errors{};
    decoder.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decoder);
    source(decoder);
    jpeg_read_header(&decoder, TRUE);
    decoder.scale_num = 1;
    decoder.scale_denom = 1;
    decoder.dct_method = JDCT_FLOAT;
    decoder.do_fancy_upsampling = TRUE;
    decoder.do_block_smoothing = TRUE;
    decoder.buffered_image = FALSE;
    decoder.quantize_colors = FALSE;
    jpeg_start_decompress(&decoder);
    QImage picture =
        kestra::AllocatePicture(static_cast<int>(decoder.output_width),
                                static_cast<int>(decoder.output_height), QImage::Format_RGB888);
    uchar* const pixels = picture.bits();
    while (decoder.output_scanline < decoder.output_height) {
        JSAMPROW row = pixels + decoder.output_scanline * picture.bytesPerLine();
        jpeg_read_scanlines(&decoder, &row, 1);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    benchmark::DoNotOptimize(picture.constBits());
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

void BareLibjpegPage(benchmark::State& state)
{
    const QByteArray& file = pageFile();
    for (auto _ : state) {
        decodeBare([&](jpeg_decompress_struct& decoder) {
            jpeg_mem_src(&decoder, reinterpret_cast<const unsigned char*>(file.constData()),
                         static_cast<unsigned long>(file.size()));
        });
    }
}

// djpeg's time for the file, its output to /dev/null; 0 without djpeg.
double djpegSeconds(const std::string& path)
{
    const char* arguments[] = {"djpeg", path.c_str(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    int status = -1;
    const double seconds = secondsOf([&] {
        pid_t child = 0;
        if (posix_spawnp(&child, "djpeg", &actions, nullptr, const_cast<char**>(arguments),
                         environ) == 0)
            waitpid(child, &status, 0);
    });
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? seconds : 0;
}

void JpegOpen(benchmark::State& state)
{
    const std::string path = pagePath(state.range(0));
    const QString name = QString::fromStdString(path);
    bench::WindowOpen& window = bench::WindowOpen::get();
    double opening = 0;
    double bare = 0;
    double djpeg = 0;
    for (auto _ : state) {
        djpeg += djpegSeconds(path);
        bare += secondsOf([&] {
            std::FILE* file = std::fopen(path.c_str(), "rb");
            decodeBare([&](jpeg_decompress_struct& decoder) { jpeg_stdio_src(&decoder, file); });
            std::fclose(file);
        });
        const double seconds = secondsOf([&] { window.open(name); });
        window.letGo();
        opening += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["bare_ms"] = bare / iterations * 1e3;
    state.counters["ratio_bare"] = opening / bare;
    if (djpeg > 0) {
        state.counters["djpeg_ms"] = djpeg / iterations * 1e3;
        state.counters["ratio_djpeg"] = opening / djpeg;
    } else {
        state.SetLabel("no djpeg");
    }
}

} // namespace

BENCHMARK(BareLibjpegPage)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeJpegPage)->Unit(benchmark::kMillisecond);
BENCHMARK(JpegOpen)->Arg(300)->Arg(1200)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
