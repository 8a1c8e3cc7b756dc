// suggestreport: how close the landmark suggestions come to landmarks traced
// by hand, per kind of landmark.
//
//   suggestreport TRUTH.tps [--pictures FOLDER] [--marked FOLDER] [--each]
//                 [--placements]
//
// TRUTH.tps names each picture (IMAGE=) and gives its SCALE=; pictures are
// looked for beside it unless --pictures says where. --marked writes each
// picture reduced, with the truth in green and the suggestions in red.
// --each adds a line a picture: each traced landmark's distance in mm, "-"
// where none was suggested. --placements measures each picture also moved
// by a pixel right, down and both, and turned a quarter and a half: the
// work resolution groups a leaf's pixels differently wherever it lies, and
// a thin vein or a tooth's tip can fall either way.
#include "app/suggest/LandmarkSuggester.h"
#include "measure/Tps.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"
#include "tools/Placement.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace kestra;

struct Kind {
    const char* name;
    std::vector<int> landmarks;
    bool outline;
};

const std::vector<Kind> Kinds = {
    {"petiole point", {1}, false},
    {"apex", {20}, true},
    {"N2 tips", {17, 23}, true},
    {"N3 tips", {13, 27}, true},
    {"N4 tips", {11, 29}, true},
    {"N5 tips", {9, 31}, true},
    {"secondary tips", {15, 25}, true},
    {"sinus bases", {14, 19, 21, 26}, true},
    {"tooth bases", {10, 12, 16, 18, 22, 24, 28, 30}, true},
    {"branch points", {2, 3, 4, 5, 6, 7, 8}, false},
};

struct Tally {
    int truths = 0;
    int placed = 0;
    int within2 = 0;
    int beyond5 = 0;
};

struct Specimen {
    std::string image;
    double mmPerPixel = 0.0;
    Landmarks truth; // picture pixels, y down; missing as (0, 0)
    Landmarks suggested;
};

// Each picture as it came, moved by a pixel right, down and both, and turned.
struct Placement {
    const char* name; // added to the picture's name in the --each lines
    QTransform transform;
};

const std::vector<Placement> Placements = {
    {"", QTransform()},
    {" +x", QTransform::fromTranslate(1, 0)},
    {" +y", QTransform::fromTranslate(0, 1)},
    {" +xy", QTransform::fromTranslate(1, 1)},
    {" @90", QTransform().rotate(90)},
    {" @180", QTransform().rotate(180)},
};

double Distance(const Landmarks& a, const Landmarks& b, int n)
{
    return std::hypot(a.PointX[n] - b.PointX[n], a.PointY[n] - b.PointY[n]);
}

std::map<std::string, Tally> Score(const std::vector<Specimen>& specimens, bool mirror)
{
    std::map<std::string, Tally> tallies;
    for (const Specimen& specimen : specimens) {
        const Landmarks suggested =
            mirror ? MirroredHalves(specimen.suggested) : specimen.suggested;
        for (const Kind& kind : Kinds) {
            for (const int n : kind.landmarks) {
                if (specimen.truth.IsPointMissing(n))
                    continue;
                for (const std::string& key :
                     {std::string(kind.name), std::string(kind.outline ? "outline" : "inside"),
                      std::string("all")}) {
                    Tally& tally = tallies[key];
                    ++tally.truths;
                    if (suggested.IsPointMissing(n))
                        continue;
                    ++tally.placed;
                    const double mm = Distance(suggested, specimen.truth, n) * specimen.mmPerPixel;
                    tally.within2 += mm <= 2.0;
                    tally.beyond5 += mm > 5.0;
                }
            }
        }
    }
    return tallies;
}

void Mark(const Specimen& specimen, const QImage& picture, const QString& path)
{
    const double factor = std::min(1.0, 1000.0 / std::max(picture.width(), picture.height()));
    QImage marked =
        picture.scaled(picture.size() * factor, Qt::KeepAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB32);
    QPainter painter(&marked);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int n = 1; n <= LandmarkCount; ++n) {
        for (const auto& [points, colour] :
             {std::pair{&specimen.truth, QColor(0, 200, 0)}, {&specimen.suggested, Qt::red}}) {
            if (points->IsPointMissing(n))
                continue;
            const QPointF at(points->PointX[n] * factor, points->PointY[n] * factor);
            painter.setPen(QPen(colour, 2));
            painter.drawEllipse(at, 4, 4);
            painter.drawText(at + QPointF(5, -5), QString::number(n));
        }
    }
    painter.end();
    marked.save(path);
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: suggestreport TRUTH.tps [--pictures FOLDER] [--marked FOLDER] [--each]\n"
                 "                     [--placements]\n");
    return 2;
}

int Report(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc < 2 || argv[1][0] == '-')
        return Usage();
    const std::string truthPath = argv[1];
    QString pictures = QFileInfo(QString::fromLocal8Bit(argv[1])).absolutePath();
    QString marked;
    bool each = false;
    bool placements = false;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--each")
            each = true;
        else if (option == "--placements")
            placements = true;
        else if (option == "--pictures" && i + 1 < argc)
            pictures = QString::fromLocal8Bit(argv[++i]);
        else if (option == "--marked" && i + 1 < argc)
            marked = QString::fromLocal8Bit(argv[++i]);
        else
            return Usage();
    }

    std::vector<Specimen> specimens;
    double seconds = 0.0;
    for (const TpsSpecimen& tps : ReadTpsSpecimens(ReadTpsFile(truthPath), truthPath)) {
        const std::string image = PictureNameOf(tps).value_or("");
        const QString path = pictures + "/" + QString::fromStdString(image);
        LoadedPicture loaded = LoadPicture(path, 24);
        PictureBitmap bitmap;
        const QImage shown = loaded.image.convertToFormat(QImage::Format_RGB32);
        bitmap.takeOver(std::move(loaded.image));
        const int height = bitmap.image().height();
        Landmarks truth;
        for (int n = 1; n <= LandmarkCount; ++n) {
            const auto& point = tps.landmarks[static_cast<std::size_t>(n - 1)];
            if (point.x < 0 && point.y < 0)
                continue;
            truth.PointX[n] = point.x;
            truth.PointY[n] = height - point.y;
        }
        const double mmPerPixel = tps.scale.empty() ? 25.4 / 300.0 : std::stod(tps.scale);
        for (const Placement& placement : Placements) {
            Specimen specimen;
            specimen.image = image + placement.name;
            specimen.mmPerPixel = mmPerPixel;
            specimen.truth = PlacedLandmarks(truth, placement.transform, shown.size());
            // As the window gives it, for the picture as it came.
            const QImage placed = PlacedPicture(shown, placement.transform);
            const PixelRows rows = placement.transform.isIdentity()
                                       ? bitmap.rgb32Rows()
                                       : PixelRows{placed.constBits(), placed.width(),
                                                   placed.height(), placed.bytesPerLine()};
            const auto start = std::chrono::steady_clock::now();
            specimen.suggested = SuggestLandmarks(rows);
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!marked.isEmpty())
                Mark(specimen, placed,
                     marked + "/" + QFileInfo(path).completeBaseName() + placement.name + ".png");
            specimens.push_back(std::move(specimen));
            if (!placements)
                break;
        }
    }

    const auto asIs = Score(specimens, false);
    const auto mirrored = Score(specimens, true);
    const bool mirror = mirrored.at("all").within2 > asIs.at("all").within2;
    const auto& tallies = mirror ? mirrored : asIs;
    if (each) {
        for (const Specimen& specimen : specimens) {
            const Landmarks suggested =
                mirror ? MirroredHalves(specimen.suggested) : specimen.suggested;
            std::printf("%-36s", specimen.image.c_str());
            for (int n = 1; n <= LandmarkCount; ++n) {
                if (specimen.truth.IsPointMissing(n))
                    continue;
                if (suggested.IsPointMissing(n))
                    std::printf(" P%d:-", n);
                else
                    std::printf(" P%d:%.1f", n,
                                Distance(suggested, specimen.truth, n) * specimen.mmPerPixel);
            }
            std::printf("\n");
        }
    }
    std::printf("%zu leaves, numbered %s, %.1f ms a leaf\n", specimens.size(),
                mirror ? "the other way round" : "clockwise on screen",
                1000.0 * seconds / static_cast<double>(specimens.size()));
    std::printf("%-16s %6s %7s %10s %9s\n", "landmarks", "truths", "placed", "<= 2 mm", "> 5 mm");
    auto row = [&](const std::string& name) {
        const auto found = tallies.find(name);
        if (found == tallies.end())
            return;
        const Tally& t = found->second;
        std::printf("%-16s %6d %6.0f%% %9.0f%% %8.1f%%\n", name.c_str(), t.truths,
                    100.0 * t.placed / t.truths, 100.0 * t.within2 / t.truths,
                    100.0 * t.beyond5 / t.truths);
    };
    for (const Kind& kind : Kinds)
        row(kind.name);
    row("outline");
    row("inside");
    row("all");
    return 0;
}

} // namespace

// A truth file or picture that cannot be read ends the report with its
// reason, not an abort.
int main(int argc, char** argv)
{
    try {
        return Report(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "suggestreport: %s\n", error.what());
        return 1;
    }
}
