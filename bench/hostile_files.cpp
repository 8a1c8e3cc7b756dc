// How long the loader takes to answer the hostile files it must refuse or
// bound, each written once into a temporary folder: the time is LoadPicture's
// own, and the label says how it answered. The worst cases that remain
// accepted are here too: the costliest scans up to the bound on scans, and
// the largest picture the budget allows, decoded from a file cut to a few
// hundred bytes.
#include "picture/PictureLoader.h"
#include "tools/JpegWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <functional>
#include <vector>

namespace {

// Stripes, or a flat grey whose scans are little more than end-of-band runs.
QByteArray encodeJpeg(int width, int height, int components, bool progressive, bool flat = false)
{
    const int length = width * components;
    return kestra::WriteJpeg(width, height, components,
                             [flat, length](int y, std::uint8_t* row) {
                                 for (int x = 0; x < length; ++x)
                                     row[x] = static_cast<std::uint8_t>(
                                         flat ? 128 : (x * 7 + y * 3) % 200);
                             },
                             {.quality = 90, .progressive = progressive});
}

// A progressive grayscale file whose scan number `repeated` (counted from 0)
// is written again until the file holds `scans` scans. The last scan of the
// standard progression refines the whole AC band, the costliest to walk.
QByteArray scanBomb(int width, int height, int scans, int repeated)
{
    const QByteArray file = encodeJpeg(width, height, 1, true, true);
    std::vector<qsizetype> starts;
    for (qsizetype at = file.indexOf("\xFF\xDA"); at >= 0; at = file.indexOf("\xFF\xDA", at + 2))
        starts.push_back(at);
    const qsizetype end =
        repeated + 1 < static_cast<int>(starts.size()) ? starts[repeated + 1] : file.size() - 2;
    const QByteArray scan = file.mid(starts[repeated], end - starts[repeated]);
    QByteArray bomb = file.left(file.size() - 2);
    for (int i = static_cast<int>(starts.size()); i < scans; ++i)
        bomb += scan;
    return bomb + QByteArray("\xFF\xD9", 2);
}

QByteArray bitmapHeader(int width, int height, int bitCount, int compression)
{
    QByteArray file(62, '\0');
    const auto put32 = [&file](int at, qint64 value) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<char>(value >> 8 * i & 0xFF);
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(10, 62);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    file[26] = 1;
    file[28] = static_cast<char>(bitCount);
    put32(30, compression);
    put32(46, 2);
    put32(54, 0xFFFFFF); // the second palette entry white
    return file;
}

struct Case {
    const char* name;
    std::function<QByteArray()> contents;
    qint64 sparseSize = 0; // the file is extended to this size without data
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"rle8-40000.bmp", [] { return bitmapHeader(40000, 40000, 8, 1) + QByteArray(4096, 1); }},
        {"mono-65535.bmp", [] { return bitmapHeader(65535, 65535, 1, 0); }},
        {"colour-18000.jpg",
         [] {
             QByteArray file = encodeJpeg(64, 64, 3, false);
             kestra::SetJpegSize(file, 18000, 18000);
             return file;
         }},
        {"gray-32000.jpg",
         [] {
             QByteArray file = encodeJpeg(64, 64, 1, false);
             kestra::SetJpegSize(file, 32000, 32000);
             return file;
         }},
        {"scans-2000-8000.jpg", [] { return scanBomb(8000, 8000, 2000, 1); }},
        {"refine-500-8000.jpg", [] { return scanBomb(8000, 8000, 500, 5); }},
        {"refine-500-2400.jpg", [] { return scanBomb(2400, 2400, 500, 5); }},
        {"sparse-3GB.jpg", [] { return QByteArray(); }, qint64{3} << 30},
        {"sparse-100GB.bmp", [] { return bitmapHeader(640, 480, 24, 0); }, 100'000'000'000},
        {"sparse-100GB.jpg", [] { return encodeJpeg(64, 64, 3, false); }, 100'000'000'000},
        {"cut-17320.jpg",
         [] {
             QByteArray file = encodeJpeg(64, 64, 3, false);
             kestra::SetJpegSize(file, 17320, 17320);
             return file.left(file.size() / 2);
         }},
        {"cut-progressive-17320.jpg",
         [] {
             QByteArray file = encodeJpeg(64, 64, 3, true);
             kestra::SetJpegSize(file, 17320, 17320);
             return file.left(file.size() / 2);
         }},
    };
    return all;
}

void HostileFile(benchmark::State& state)
{
    const Case& hostile = cases()[static_cast<std::size_t>(state.range(0))];
    QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromLatin1(hostile.name));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(hostile.contents());
        if (hostile.sparseSize > 0 && !file.resize(hostile.sparseSize)) {
            state.SkipWithError("no sparse file here");
            return;
        }
    }
    std::string outcome;
    for (auto _ : state) {
        try {
            const kestra::LoadedPicture picture = kestra::LoadPicture(path, 24);
            outcome = "loaded " + std::to_string(picture.image.width()) + " x " +
                      std::to_string(picture.image.height()) + (picture.damaged ? ", damaged" : "");
        } catch (const std::exception& error) {
            outcome = error.what();
        }
    }
    state.SetLabel(std::string(hostile.name) + ": " + outcome);
}

} // namespace

BENCHMARK(HostileFile)
    ->DenseRange(0, 11)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK_MAIN();
