#include "picture/PictureBitmap.h"

#include "TestPictures.h"
#include "picture/BmpReader.h"
#include "tests/measure/TestFiles.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::BmpHeader;
using test::landmarksAt;
using test::makeBmp;

const QRgb Red = qRgb(255, 0, 0);

QImage white(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    return picture;
}

// Where a picture holds the colour, as a one-bit-per-pixel map.
std::vector<bool> whereColour(const QImage& picture, QRgb colour)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    std::vector<bool> found;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            found.push_back(rgb.pixel(x, y) == colour);
    return found;
}

TEST(PictureBitmap, DrawsRedCrossesOfFiveAndSkipsWhatIsNotRecorded)
{
    PictureBitmap bitmap;
    bitmap.takeOver(white(200, 100));
    EXPECT_EQ(bitmap.markerPen(), QPen(QColor(255, 0, 0), 3, Qt::SolidLine));
    bitmap.DrawMarkers(landmarksAt({{1, 0, 0}, {2, 100, 40}, {3, 10, -10}, {4, 0, 7}}));
    const QImage& picture = bitmap.image();
    for (const QPoint p : {QPoint(95, 40), QPoint(105, 40), QPoint(100, 35), QPoint(100, 45),
                           QPoint(99, 39), QPoint(101, 41), QPoint(0, 7), QPoint(0, 2)})
        EXPECT_EQ(picture.pixel(p), Red) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(108, 40), QPoint(100, 48), QPoint(96, 36), QPoint(10, 0),
                           QPoint(9, 7), QPoint(0, 0)})
        EXPECT_EQ(picture.pixel(p), qRgb(255, 255, 255)) << p.x() << "," << p.y();

    // Markers stay through later calls; only a new picture removes them.
    bitmap.DrawMarkers(landmarksAt({{1, 150, 60}}));
    EXPECT_EQ(bitmap.image().pixel(100, 40), Red);
    EXPECT_EQ(bitmap.image().pixel(150, 60), Red);
    bitmap.takeOver(white(200, 100));
    EXPECT_EQ(whereColour(bitmap.image(), Red), whereColour(white(200, 100), Red));
}

TEST(PictureBitmap, BeforeTheFirstLoadDrawsWithTheDefaultPenOnABlankPicture)
{
    PictureBitmap bitmap;
    bitmap.DrawMarkers(landmarksAt({{1, 10, 10}})); // nothing to draw into yet
    bitmap.ensureBlank(QSize(40, 30));
    EXPECT_EQ(bitmap.image(), white(40, 30));
    EXPECT_EQ(bitmap.markerPen(), QPen());
    bitmap.DrawMarkers(landmarksAt({{1, 10, 10}}));
    EXPECT_EQ(bitmap.image().pixel(10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(bitmap.image().pixel(11, 11), qRgb(255, 255, 255)); // one pixel wide
    bitmap.ensureBlank(QSize(80, 80));                            // made once
    EXPECT_EQ(bitmap.image().size(), QSize(40, 30));
    bitmap.takeOver(QImage());
    bitmap.ensureBlank(QSize(80, 80)); // a load, even of an empty picture, ends the blank
    EXPECT_TRUE(bitmap.image().isNull());
}

// The same crosses, clipped alike, in every format a load can give; palette
// pictures take the entry nearest to red and keep their palette.
TEST(PictureBitmap, DrawsTheSameCrossesInEveryFormat)
{
    const Landmarks landmarks = landmarksAt({{1, 12, 8}, {2, 28, 3}});
    PictureBitmap reference;
    reference.takeOver(white(30, 20));
    reference.DrawMarkers(landmarks);
    const std::vector<bool> cross = whereColour(reference.image(), Red);

    for (int bits : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(bits);
        QImage source = white(30, 20);
        source.setPixel(3, 1, qRgb(0, 0, 0));
        if (bits > 1) {
            source.setPixel(1, 1, qRgb(128, 0, 0));
            source.setPixel(2, 1, qRgb(240, 20, 10));
        }
        const QRgb nearest = bits == 1 ? qRgb(0, 0, 0) : bits <= 8 ? qRgb(240, 20, 10) : Red;
        PictureBitmap bitmap;
        bitmap.takeOver(ReadBmp(makeBmp(source, bits, BmpHeader::Info40)));
        const QList<QRgb> palette = bitmap.image().colorTable();
        bitmap.DrawMarkers(landmarks);
        EXPECT_EQ(bitmap.image().colorTable(), palette);
        EXPECT_EQ(bitmap.image().depth(), bits == 4 ? 8 : bits);
        std::vector<bool> drawn = whereColour(bitmap.image(), nearest);
        if (bits <= 8)
            drawn[30 + (bits == 1 ? 3 : 2)] = false; // the picture's own pixel of that colour
        EXPECT_EQ(drawn, cross);
    }
    PictureBitmap jpegLike; // the JPEG decoder's byte order
    jpegLike.takeOver(white(30, 20).convertToFormat(QImage::Format_RGB888));
    jpegLike.DrawMarkers(landmarks);
    EXPECT_EQ(whereColour(jpegLike.image(), Red), cross);
}

TEST(PictureBitmap, CountsTheSameLeafInEveryDepthAndStaysAt32Bits)
{
    QImage leaf = white(23, 9);
    for (int y = 2; y < 7; ++y)
        for (int x = 3; x < 15; ++x)
            leaf.setPixel(x, y, qRgb(0, 0, 0));
    PictureBitmap rgb32;
    rgb32.takeOver(leaf);
    const std::uint64_t expected = CountLeafPixels(rgb32.rgb32Rows());
    ASSERT_EQ(expected, 60u);

    for (int bits : {1, 8, 16, 24}) {
        SCOPED_TRACE(bits);
        PictureBitmap bitmap;
        bitmap.takeOver(ReadBmp(makeBmp(leaf, bits, BmpHeader::Info40)));
        EXPECT_NE(bitmap.image().format(), QImage::Format_RGB32);
        EXPECT_EQ(CountLeafPixels(bitmap.rgb32Rows()), expected);
        EXPECT_EQ(bitmap.image().format(), QImage::Format_RGB32);
        EXPECT_EQ(bitmap.image().depth(), 32);
        // Converted for good: a marker is now pure red and adds to the count.
        bitmap.DrawMarkers(landmarksAt({{1, 20, 4}}));
        EXPECT_EQ(bitmap.image().pixel(20, 4), Red);
        EXPECT_GT(CountLeafPixels(bitmap.rgb32Rows()), expected);
    }
    PictureBitmap empty;
    EXPECT_EQ(CountLeafPixels(empty.rgb32Rows()), 0u);
}

} // namespace
} // namespace kestra
