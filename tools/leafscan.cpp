// leafscan: draws a synthetic grapevine leaf scan, a full A4 page at 300 dpi
// (or at the resolution given): a five-lobed leaf with a serrated edge, veins
// and a petiole on white paper.
//
//   leafscan [--dpi N] OUTPUT...   each OUTPUT ends in .bmp (24-bit) or .jpg
//                                  (quality 92); N from 50 to 1200, 300 when
//                                  not given
//
// The drawing is deterministic, so every run gives the same pixels; at other
// resolutions the same leaf is drawn to scale.
#include "tools/JpegWriter.h"

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string_view>
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

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    int dpi = 300;
    if (argc > 2 && std::string_view(argv[1]) == "--dpi") {
        dpi = std::atoi(argv[2]);
        first = 3;
    }
    if (argc <= first || dpi < 50 || dpi > 1200) {
        std::fprintf(stderr, "usage: leafscan [--dpi 50..1200] OUTPUT.bmp|OUTPUT.jpg...\n");
        return 2;
    }
    scale = dpi / 300.0;
    const QImage page = drawLeaf();
    for (int i = first; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        bool written = false;
        if (path.endsWith(".jpg", Qt::CaseInsensitive))
            written = writeJpeg(page, argv[i], dpi);
        else if (path.endsWith(".bmp", Qt::CaseInsensitive)) {
            QImage rgb = page.convertToFormat(QImage::Format_RGB888);
            const int dotsPerMeter = qRound(dpi / 0.0254);
            rgb.setDotsPerMeterX(dotsPerMeter);
            rgb.setDotsPerMeterY(dotsPerMeter);
            written = rgb.save(path, "BMP");
        }
        if (!written) {
            std::fprintf(stderr, "leafscan: cannot write %s\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
