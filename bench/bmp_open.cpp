// Opening an uncompressed BMP leaf scan through the window (WindowOpen.h) at
// 300 and 1200 dpi, with 24 and 32 bits a pixel (the 32-bit file is the
// 24-bit one rewritten into a temporary folder), beside the least an open can
// do: reading the same file as cat does, through one small buffer. Each
// iteration runs both, and LoadPicture alone, the loader's part of the open
// (load_ratio). Goals: the open within 2 times the read (ratio), and the
// open's peak memory within 1.1 times the picture (peak_ratio). BmpOpenPlain
// shows the same open with the picture's memory had the plain way, a page
// fault at each page's first touch.
#include "BenchSupport.h"
#include "ProcessMemory.h"
#include "WindowOpen.h"
#include "picture/PictureLoader.h"
#include "picture/PictureMemory.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

using bench::scanPath;
using bench::secondsOf;

void put32(QByteArray& bytes, int at, qint64 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> 8 * i & 0xFF);
}

// The scan at 32 bits a pixel, bottom-up, written once.
std::string scanPath(long dpi, long bits)
{
    if (bits == 24)
        return scanPath(dpi);
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("leaf-%1dpi-32bit.bmp").arg(dpi));
    if (!QFile::exists(path)) {
        const QImage picture = kestra::LoadPicture(QString::fromLocal8Bit(scanPath(dpi)), 24).image;
        const qint64 rowBytes = qint64{picture.width()} * 4;
        QByteArray header(54, '\0');
        header[0] = 'B';
        header[1] = 'M';
        put32(header, 2, 54 + rowBytes * picture.height());
        put32(header, 10, 54);
        put32(header, 14, 40);
        put32(header, 18, picture.width());
        put32(header, 22, picture.height());
        header[26] = 1;
        header[28] = 32;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(header);
        QByteArray row(rowBytes, '\0');
        for (int y = picture.height() - 1; y >= 0; --y) {
            const uchar* from = picture.constScanLine(y); // blue, green, red
            for (int x = 0; x < picture.width(); ++x)
                std::memcpy(row.data() + 4 * x, from + 3 * x, 3);
            file.write(row);
        }
    }
    return path.toStdString();
}

// The whole file read through one buffer of cat's size, its bytes summed so
// that the read cannot be left out; the file is in the page cache, as a
// scan opened again or just written is.
std::uint64_t readAsCat(const char* path)
{
    static char buffer[128 * 1024];
    const int file = ::open(path, O_RDONLY);
    std::uint64_t sum = 0;
    for (ssize_t read; (read = ::read(file, buffer, sizeof buffer)) > 0;)
        sum += static_cast<unsigned char>(buffer[read - 1]);
    ::close(file);
    return sum;
}

// The open with the picture's memory had the plain way, against the same
// read: run after every BmpOpen, since memory faulted in and freed page by
// page leaves the machine slower to hand out huge pages for a while.
void BmpOpenPlain(benchmark::State& state)
{
    const std::string file = scanPath(state.range(0), state.range(1));
    const QString name = QString::fromStdString(file);
    bench::WindowOpen& window = bench::WindowOpen::get();
    const kestra::PictureMemoryWay before =
        kestra::UsePictureMemoryWay(kestra::PictureMemoryWay::Plain);
    double opening = 0;
    double reading = 0;
    for (auto _ : state) {
        std::uint64_t sum = 0;
        reading += secondsOf([&] { sum = readAsCat(file.c_str()); });
        benchmark::DoNotOptimize(sum);
        const double seconds = secondsOf([&] { window.open(name); });
        window.letGo();
        opening += seconds;
        state.SetIterationTime(seconds);
    }
    kestra::UsePictureMemoryWay(before);
    state.counters["read_ms"] = reading / static_cast<double>(state.iterations()) * 1e3;
    state.counters["ratio"] = opening / reading;
}

void BmpOpen(benchmark::State& state)
{
    const std::string file = scanPath(state.range(0), state.range(1));
    const char* path = file.c_str();
    const QString name = QString::fromStdString(file);
    double opening = 0;
    double reading = 0;
    double loading = 0;
    bench::WindowOpen& window = bench::WindowOpen::get();
    for (auto _ : state) {
        std::uint64_t sum = 0;
        reading += secondsOf([&] { sum = readAsCat(path); });
        benchmark::DoNotOptimize(sum);
        {
            kestra::LoadedPicture loaded;
            loading += secondsOf([&] { loaded = kestra::LoadPicture(name, 24); });
        }
        const double seconds = secondsOf([&] { window.open(name); });
        window.letGo();
        opening += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["read_ms"] = reading / iterations * 1e3;
    state.counters["load_ms"] = loading / iterations * 1e3;
    state.counters["ratio"] = opening / reading;
    state.counters["load_ratio"] = loading / reading;

    QImage picture;
    const long long peak = bench::peakAbove([&] { picture = kestra::LoadPicture(name, 24).image; });
    const double pictureBytes = static_cast<double>(picture.sizeInBytes());
    state.counters["picture_MB"] = pictureBytes / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["peak_ratio"] = static_cast<double>(peak) / pictureBytes;
}

} // namespace

BENCHMARK(BmpOpen)
    ->ArgsProduct({{300, 1200}, {24, 32}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BmpOpenPlain)
    ->ArgsProduct({{300, 1200}, {24, 32}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
