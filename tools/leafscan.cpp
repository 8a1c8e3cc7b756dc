// leafscan: draws synthetic grapevine leaf scans.
//
//   leafscan [--dpi N] OUTPUT...
//       A full A4 page at 300 dpi (or at N, 50 to 1200): one fixed five-lobed
//       leaf with a serrated edge, veins and a petiole on white paper. The
//       pixels never change; tests and benchmarks rely on them.
//
//   leafscan --seed S [--dpi N] [--truth FILE.tps] OUTPUT...
//       One varied leaf drawn from seed S, cropped with a margin; its 32
//       landmarks go to FILE.tps. N fixes the resolution (50 to 1200);
//       otherwise the seed draws it, 150 to 1200 dpi, log-uniform.
//
//   leafscan --set COUNT [--first-seed S] [--dpi N] [--format jpg|bmp]
//            [--jobs J] DIR
//       COUNT varied leaves, seeds S, S+1, ... (S is 1 when not given), as
//       DIR/leaf001.jpg ... with DIR/truth.tps, one specimen per leaf in
//       order, ID = its number in the set. J pictures are drawn at a time
//       (2 when not given).
//
// Each OUTPUT ends in .bmp (24-bit) or .jpg (quality 92); both declare the
// resolution. What a seed varies: lobing from deeply lobed to nearly entire,
// rotation by any angle, mirror image, size 8 to 20 cm across, tooth size and
// shape, a petiole sinus that reaches in to the petiole point as an open V, a
// U or a slot, or closed by lobes that touch or lie over each other (now and
// then a lateral sinus too), a scanner look (dark leaf on white paper) or a
// light-box look (translucent light leaf, bright veins, cream background), a
// petiole or none, a neighbouring leaf, a ruler or a label at the border, and
// noise.
//
// The truth is TPS as the public leaf set has it: x = column, y = height -
// row, in pixels with a pixel's centre at whole numbers; SCALE = 25.4 / dpi.
// The landmarks follow the screen: numbers run clockwise round the leaf as
// the picture shows it, so a mirrored leaf swaps its halves' numbers. P32 is
// free and written -1 -1. The drawing is deterministic: a seed gives the
// same pixels on every run, and at another --dpi the same leaf to scale.
#include "tools/JpegWriter.h"
#include "tools/SyntheticLeaf.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// Sizes at 300 dpi.
constexpr int PageWidth = 2480;
constexpr int PageHeight = 3508;
// Placed towards the top-left corner, where a leaf is laid against the scanner's
// guides, so that part of it shows at 100 % without scrolling.
constexpr QPointF PetioleJunction{1000.0, 1120.0};
constexpr double LeafRadius = 1050.0;

// The drawing's scale: the resolution over 300 dpi.
double scale = 1.0;

// Lobe tips as directions from the petiole junction (degrees, y downwards:
// -90 points to the top of the page) with their relative lengths.
struct Lobe {
    double degrees;
    double length;
};
constexpr Lobe Lobes[] = {
    {-90.0, 1.0}, {-30.0, 0.92}, {-150.0, 0.92}, {35.0, 0.72}, {145.0, 0.72},
};

double radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

// Leaf outline radius in a direction: lobes as smooth bumps, sinuses between
// them, the petiolar sinus at the bottom, and small teeth all round.
double outlineRadius(double degrees)
{
    double reach = 0.5;
    for (const Lobe& lobe : Lobes) {
        double delta = std::remainder(degrees - lobe.degrees, 360.0);
        reach = std::max(reach, lobe.length * std::exp(-(delta * delta) / (2 * 28.0 * 28.0)));
    }
    const double fromBottom = std::remainder(degrees - 90.0, 360.0);
    reach *= 1.0 - 0.85 * std::exp(-(fromBottom * fromBottom) / (2 * 12.0 * 12.0));
    const double tooth = std::fmod(degrees + 360.0, 3.0) / 3.0; // a saw tooth every 3 degrees
    return scale * LeafRadius * reach * (0.975 + 0.035 * tooth);
}

QPointF along(double degrees, double radius)
{
    return PetioleJunction * scale +
           QPointF(std::cos(radians(degrees)), std::sin(radians(degrees))) * radius;
}

QImage drawLeaf()
{
    const int width = qRound(PageWidth * scale);
    const int height = qRound(PageHeight * scale);
    QImage page(width, height, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::Antialiasing);

    const QPointF junction = PetioleJunction * scale;
    painter.setPen(QPen(QColor(40, 70, 30), 28 * scale, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(junction, junction + QPointF(40, 700) * scale);

    QPainterPath outline;
    for (int step = 0; step <= 3600; ++step) {
        const double degrees = step * 0.1;
        const QPointF point = along(degrees, outlineRadius(degrees));
        step == 0 ? outline.moveTo(point) : outline.lineTo(point);
    }
    painter.setPen(QPen(QColor(35, 75, 25), 4 * scale));
    painter.setBrush(QColor(70, 125, 45));
    painter.drawPath(outline);

    // Main veins to each lobe tip, with side veins; lighter than the blade but
    // still far darker than the paper.
    painter.setBrush(Qt::NoBrush);
    for (const Lobe& lobe : Lobes) {
        const double tip = outlineRadius(lobe.degrees) * 0.97;
        painter.setPen(QPen(QColor(150, 185, 110), 14 * scale, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(junction, along(lobe.degrees, tip));
        painter.setPen(QPen(QColor(140, 175, 100), 6 * scale, Qt::SolidLine, Qt::RoundCap));
        for (double share = 0.3; share < 0.9; share += 0.15) {
            const QPointF start = along(lobe.degrees, tip * share);
            for (const double side : {-38.0, 38.0}) {
                const double degrees = lobe.degrees + side;
                const double length = tip * (1.0 - share) * 0.55;
                painter.drawLine(
                    start, start + QPointF(std::cos(radians(degrees)), std::sin(radians(degrees))) *
                                       length);
            }
        }
    }
    painter.end();

    // A scanner's faint paper grain, light enough to stay background.
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(page.scanLine(y));
        for (int x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            if (row[x] == 0xffffffffu) {
                const int grain = 246 + static_cast<int>((noise >> 16) % 10);
                row[x] = qRgb(grain, grain, grain - 2);
            }
        }
    }
    return page;
}

bool writeJpeg(const QImage& page, const char* path, int dpi)
{
    const QImage rgb = page.convertToFormat(QImage::Format_RGB888);
    const QByteArray jpeg = kestra::WriteJpeg(
        rgb.width(), rgb.height(), 3,
        [&rgb](int y, std::uint8_t* row) {
            std::memcpy(row, rgb.constScanLine(y), static_cast<std::size_t>(rgb.width()) * 3);
        },
        {.quality = 92, .dpi = dpi});
    std::FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(jpeg.constData(), 1, static_cast<std::size_t>(jpeg.size()),
                                     file) == static_cast<std::size_t>(jpeg.size());
    return std::fclose(file) == 0 && written;
}

bool writePicture(const QImage& page, const char* path, int dpi)
{
    const QString name = QString::fromLocal8Bit(path);
    if (name.endsWith(".jpg", Qt::CaseInsensitive))
        return writeJpeg(page, path, dpi);
    if (name.endsWith(".bmp", Qt::CaseInsensitive)) {
        QImage rgb = page.convertToFormat(QImage::Format_RGB888);
        const int dotsPerMeter = qRound(dpi / 0.0254);
        rgb.setDotsPerMeterX(dotsPerMeter);
        rgb.setDotsPerMeterY(dotsPerMeter);
        return rgb.save(name, "BMP");
    }
    return false;
}

std::string tpsSpecimen(const kestra::SyntheticLeaf& leaf, const std::string& image, int id)
{
    std::string text = "LM=32\n";
    char line[96];
    for (const QPointF& point : leaf.landmarks) {
        if (point.x() < 0 || point.y() < 0)
            std::snprintf(line, sizeof line, "-1 -1\n");
        else
            std::snprintf(line, sizeof line, "%.2f %.2f\n", point.x(), point.y());
        text += line;
    }
    std::snprintf(line, sizeof line, "ID=%d\nSCALE=%.9g\n", id, 25.4 / leaf.dpi);
    return text + "IMAGE=" + image + "\n" + line;
}

bool writeText(const std::string& path, const std::string& text)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

// The draft page of old, its pixels unchanged.
int drawPage(int dpi, int first, int argc, char** argv)
{
    scale = dpi / 300.0;
    const QImage page = drawLeaf();
    for (int i = first; i < argc; ++i) {
        if (!writePicture(page, argv[i], dpi)) {
            std::fprintf(stderr, "leafscan: cannot write %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}

int drawOne(std::uint64_t seed, int dpi, const char* truth, int first, int argc, char** argv)
{
    const kestra::SyntheticLeaf leaf = kestra::DrawSyntheticLeaf(seed, dpi);
    for (int i = first; i < argc; ++i) {
        if (!writePicture(leaf.picture, argv[i], leaf.dpi)) {
            std::fprintf(stderr, "leafscan: cannot write %s\n", argv[i]);
            return 1;
        }
    }
    if (truth) {
        const std::string image = std::filesystem::path(argv[first]).filename().string();
        if (!writeText(truth, tpsSpecimen(leaf, image, 1))) {
            std::fprintf(stderr, "leafscan: cannot write %s\n", truth);
            return 1;
        }
    }
    return 0;
}

int drawSet(int count, std::uint64_t firstSeed, int dpi, const std::string& format, int jobs,
            const std::string& directory)
{
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    const int digits = std::max(3, static_cast<int>(std::to_string(count).size()));
    std::vector<std::string> specimens(static_cast<std::size_t>(count));
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (int index = next++; index < count && !failed; index = next++) {
            const kestra::SyntheticLeaf leaf =
                kestra::DrawSyntheticLeaf(firstSeed + static_cast<std::uint64_t>(index), dpi);
            std::string number = std::to_string(index + 1);
            number.insert(0, static_cast<std::size_t>(digits) - number.size(), '0');
            const std::string name = "leaf" + number + "." + format;
            const std::string path = (std::filesystem::path(directory) / name).string();
            if (!writePicture(leaf.picture, path.c_str(), leaf.dpi)) {
                std::fprintf(stderr, "leafscan: cannot write %s\n", path.c_str());
                failed = true;
                return;
            }
            specimens[static_cast<std::size_t>(index)] = tpsSpecimen(leaf, name, index + 1);
        }
    };
    std::vector<std::thread> workers;
    for (int i = 1; i < jobs; ++i)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    if (failed)
        return 1;
    std::string text;
    for (const std::string& specimen : specimens)
        text += specimen;
    const std::string truth = (std::filesystem::path(directory) / "truth.tps").string();
    if (!writeText(truth, text)) {
        std::fprintf(stderr, "leafscan: cannot write %s\n", truth.c_str());
        return 1;
    }
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: leafscan [--dpi 50..1200] OUTPUT.bmp|OUTPUT.jpg...\n"
                         "       leafscan --seed S [--dpi 50..1200] [--truth FILE.tps] OUTPUT...\n"
                         "       leafscan --set COUNT [--first-seed S] [--dpi 50..1200]\n"
                         "                [--format jpg|bmp] [--jobs J] DIR\n");
    return 2;
}

bool number(const char* text, long long& value)
{
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0';
}

} // namespace

int main(int argc, char** argv)
{
    long long dpi = 0;
    long long seed = -1;
    long long count = -1;
    long long firstSeed = 1;
    long long jobs = 2;
    const char* truth = nullptr;
    std::string format = "jpg";
    int first = 1;
    while (first + 1 < argc && std::string_view(argv[first]).starts_with("--")) {
        const std::string_view option = argv[first];
        const char* value = argv[first + 1];
        bool good = true;
        if (option == "--dpi")
            good = number(value, dpi) && dpi >= 50 && dpi <= 1200;
        else if (option == "--seed")
            good = number(value, seed) && seed >= 0;
        else if (option == "--set")
            good = number(value, count) && count >= 1 && count <= 100000;
        else if (option == "--first-seed")
            good = number(value, firstSeed) && firstSeed >= 0;
        else if (option == "--jobs")
            good = number(value, jobs) && jobs >= 1 && jobs <= 64;
        else if (option == "--truth")
            truth = value;
        else if (option == "--format") {
            format = value;
            good = format == "jpg" || format == "bmp";
        } else
            good = false;
        if (!good)
            return usage();
        first += 2;
    }
    if (count > 0) {
        if (seed >= 0 || truth || first + 1 != argc)
            return usage();
        return drawSet(static_cast<int>(count), static_cast<std::uint64_t>(firstSeed),
                       static_cast<int>(dpi), format, static_cast<int>(jobs), argv[first]);
    }
    if (argc <= first)
        return usage();
    if (seed >= 0)
        return drawOne(static_cast<std::uint64_t>(seed), static_cast<int>(dpi), truth, first, argc,
                       argv);
    if (truth)
        return usage();
    return drawPage(dpi > 0 ? static_cast<int>(dpi) : 300, first, argc, argv);
}
