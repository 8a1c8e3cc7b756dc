// Opening an uncompressed BMP leaf scan through LoadPicture at 300 and 1200
// dpi, with 24 and 32 bits a pixel (the 32-bit file is the 24-bit one
// rewritten into a temporary folder), beside the least an open can do: reading the same file with
// read(2) into fresh memory of its size, which first-touches every page a picture of that size
// needs. Each iteration runs both. Goals: the open within 1.5 times the read (ratio), and the
// open's peak memory within 1.1 times the picture (peak_ratio).
#include "BenchSupport.h"
#include "ProcessMemory.h"
#include "picture/PictureLoader.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <span>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
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

// The whole file into fresh pages of its size, which the caller unmaps. Not
// malloc: for blocks under 32 MB glibc soon hands back pages touched before.
std::span<char> readWhole(const char* path)
{
    const int file = ::open(path, O_RDONLY);
    struct stat status {};
    ::fstat(file, &status);
    const auto size = static_cast<std::size_t>(status.st_size);
    auto* bytes = static_cast<char*>(
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    for (std::size_t at = 0; at < size;) {
        const ssize_t read = ::read(file, bytes + at, size - at);
        if (read <= 0)
            break;
        at += static_cast<std::size_t>(read);
    }
    ::close(file);
    return {bytes, size};
}

void BmpOpen(benchmark::State& state)
{
    const std::string file = scanPath(state.range(0), state.range(1));
    const char* path = file.c_str();
    const QString name = QString::fromStdString(file);
    double opening = 0;
    double reading = 0;
    for (auto _ : state) {
        std::span<char> bytes;
        reading += secondsOf([&] { bytes = readWhole(path); });
        benchmark::DoNotOptimize(bytes.data());
        ::munmap(bytes.data(), bytes.size());
        QImage picture;
        const double seconds = secondsOf([&] { picture = kestra::LoadPicture(name, 24).image; });
        opening += seconds;
        state.SetIterationTime(seconds);
        benchmark::DoNotOptimize(picture.constBits());
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["read_ms"] = reading / iterations * 1e3;
    state.counters["ratio"] = opening / reading;

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
BENCHMARK_MAIN();
