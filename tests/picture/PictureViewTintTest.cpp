#include "TestPictures.h"
#include "picture/BmpReader.h"
#include "picture/PictureView.h"

#include <QApplication>
#include <QPainter>
#include <gtest/gtest.h>

namespace kestra {
namespace {

// Leaf green, the markers' red, white, and colours on both sides of the
// threshold; the picture is as wide as no multiple of 8.
QImage scene(int colours)
{
    const QRgb palette[] = {qRgb(70, 125, 45),   qRgb(255, 255, 255), qRgb(255, 0, 0),
                            qRgb(220, 220, 219), qRgb(220, 220, 220), qRgb(230, 230, 230),
                            qRgb(0, 0, 0),       qRgb(255, 255, 0)};
    QImage picture(45, 31, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, palette[(x * 5 + y * 3 + x * y) % colours]);
    return picture;
}

// Paints the view in four parts that meet at odd places, as paint events do.
QImage paint(PictureView& view, bool tinted)
{
    view.setShowCounted(tinted);
    QImage shown(view.size(), QImage::Format_RGB32);
    shown.fill(Qt::transparent);
    QPainter painter(&shown);
    const QPoint split(view.width() / 3 + 1, view.height() / 2 + 1);
    for (const QRect& part : {QRect(QPoint(0, 0), split), QRect(split, view.rect().bottomRight()),
                              QRect(0, split.y(), split.x(), view.height()),
                              QRect(split.x(), 0, view.width(), split.y())})
        view.paintRegion(painter, part);
    return shown;
}

// Half the colour and half magenta.
QRgb magentaOver(QRgb colour)
{
    return qRgb((qRed(colour) + 255) / 2, qGreen(colour) / 2, (qBlue(colour) + 255) / 2);
}

TEST(PictureViewTint, MarksExactlyTheCountedPixelsAtEveryZoomAndLeavesThePictureAlone)
{
    struct Kind {
        int bits;
        int colours;
        std::array<std::uint32_t, 3> masks;
    };
    for (const Kind& kind :
         {Kind{1, 2, {}}, Kind{4, 8, {}}, Kind{16, 8, {}}, Kind{16, 8, {0xF800, 0x07E0, 0x001F}},
          Kind{24, 8, {}}, Kind{32, 8, {}}}) {
        PictureView view;
        view.bitmap().takeOver(ReadBmp(test::makeBmp(scene(kind.colours), kind.bits,
                                                     test::BmpHeader::Info40, false, kind.masks)));
        Landmarks landmarks;
        landmarks.PointX[1] = 20;
        landmarks.PointY[1] = 12;
        view.bitmap().DrawMarkers(landmarks);
        const QImage& picture = view.bitmap().image();
        SCOPED_TRACE(testing::Message() << kind.bits << " bits, format " << picture.format());
        const QImage before = picture.copy();
        const uchar* bits = picture.constBits();
        const QImage counted = picture.convertToFormat(QImage::Format_RGB32);

        for (int zoom : {100, 200, 75}) {
            SCOPED_TRACE(zoom);
            view.resize(picture.size() * zoom / 100);
            view.setStretch(zoom != 100);
            const QImage plain = paint(view, false);
            const QImage tinted = paint(view, true);
            int wrong = 0;
            for (int y = 0; y < view.height(); ++y) {
                for (int x = 0; x < view.width(); ++x) {
                    const QRgb source = counted.pixel(x * picture.width() / view.width(),
                                                      y * picture.height() / view.height());
                    const bool leaf = IsLeafColour(qBlue(source), qGreen(source), qRed(source));
                    const QRgb expected = leaf ? magentaOver(source) : source;
                    if ((plain.pixel(x, y) != source || tinted.pixel(x, y) != expected) &&
                        wrong++ == 0)
                        ADD_FAILURE() << "at " << x << "," << y << ": " << std::hex
                                      << plain.pixel(x, y) << " and " << tinted.pixel(x, y)
                                      << " instead of " << source << " and " << expected;
                }
            }
            EXPECT_EQ(wrong, 0);
        }
        EXPECT_EQ(picture.constBits(), bits);
        EXPECT_EQ(picture.format(), before.format());
        EXPECT_EQ(picture.colorTable(), before.colorTable());
        EXPECT_EQ(
            QByteArray(reinterpret_cast<const char*>(bits), picture.sizeInBytes()),
            QByteArray(reinterpret_cast<const char*>(before.constBits()), before.sizeInBytes()));
    }
}

} // namespace
} // namespace kestra

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
