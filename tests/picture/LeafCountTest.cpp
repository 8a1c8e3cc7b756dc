#include "picture/LeafCount.h"

#include "TestPictures.h"
#include "picture/BmpReader.h"
#include "picture/JpegDecoder.h"
#include "picture/PictureBitmap.h"
#include "tests/measure/TestFiles.h"
#include "tools/JpegWriter.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

// The markers' red, white, then colours whose channel sums run from about 600
// to 765, across the threshold of 660.
QRgb nearThreshold(int index)
{
    if (index == 0)
        return qRgb(255, 0, 0);
    if (index == 1)
        return qRgb(255, 255, 255);
    return qRgb(190 + index % 66, 200 + index * 7 % 56, 210 + index * 13 % 46);
}

// A picture of colours numbers 0 .. colours - 1, scattered; its width is no
// multiple of 8, so 1-bit rows end inside a byte.
QImage scene(int colours)
{
    QImage picture(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, nearThreshold((x * 7 + y * 3 + x * y) % colours));
    return picture;
}

// What the leaf surface counts in area: the picture as its conversion to
// 32 bits leaves it.
std::uint64_t countedAfterConversion(const QImage& picture, const QRect& area)
{
    const QImage converted = picture.convertToFormat(QImage::Format_RGB32);
    const QRect inside = area & converted.rect();
    if (inside.isEmpty())
        return 0;
    return CountLeafPixels(PixelRows{converted.constScanLine(inside.top()) + 4 * inside.left(),
                                     inside.width(), inside.height(), converted.bytesPerLine()});
}

// Counts the whole picture and some boxes of it, and checks that the picture
// is left exactly as it was: same bytes, format and palette, not even copied.
void expectSameCount(const QImage& picture)
{
    SCOPED_TRACE(testing::Message() << "format " << picture.format());
    const QImage before = picture.copy();
    const uchar* bits = picture.constBits();

    PictureBitmap converted;
    converted.takeOver(picture);
    EXPECT_EQ(CountLeafPixels(picture), CountLeafPixels(converted.rgb32Rows()));
    for (const QRect& box : {QRect(0, 0, 1, 1), QRect(3, 2, 9, 5), QRect(-5, -5, 20, 20),
                             QRect(30, 10, 100, 100), QRect(9, 0, 15, 23), QRect(50, 50, 3, 3)})
        EXPECT_EQ(CountLeafPixels(picture, box), countedAfterConversion(picture, box))
            << box.x() << "," << box.y() << " " << box.width() << "x" << box.height();

    EXPECT_EQ(picture.constBits(), bits);
    EXPECT_EQ(picture.format(), before.format());
    EXPECT_EQ(picture.colorTable(), before.colorTable());
    const auto bytes = [](const QImage& image) {
        return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    };
    EXPECT_EQ(bytes(picture), bytes(before));
}

TEST(LeafCount, EqualsTheCountAfterConversionForEveryBitmapDepthWithAndWithoutMarkers)
{
    struct Depth {
        int bits;
        int colours;
        std::array<std::uint32_t, 3> masks;
        QImage::Format format;
    };
    for (const Depth& depth :
         {Depth{1, 2, {}, QImage::Format_Mono}, Depth{4, 16, {}, QImage::Format_Indexed8},
          Depth{8, 256, {}, QImage::Format_Indexed8}, Depth{16, 251, {}, QImage::Format_RGB555},
          Depth{16, 251, {0xF800, 0x07E0, 0x001F}, QImage::Format_RGB16},
          Depth{24, 251, {}, QImage::Format_BGR888}, Depth{32, 251, {}, QImage::Format_RGB32}}) {
        SCOPED_TRACE(depth.bits);
        PictureBitmap bitmap;
        bitmap.takeOver(ReadBmp(test::makeBmp(scene(depth.colours), depth.bits,
                                              test::BmpHeader::Info40, false, depth.masks)));
        ASSERT_EQ(bitmap.image().format(), depth.format);
        expectSameCount(bitmap.image());
        bitmap.DrawMarkers(test::landmarksAt({{1, 8, 5}, {2, 16, 10}, {3, 24, 15}, {4, 32, 20}}));
        ASSERT_EQ(bitmap.image().format(), depth.format);
        expectSameCount(bitmap.image());
    }
}

TEST(LeafCount, EqualsTheCountAfterConversionForJpegsAndOtherFormats)
{
    const auto gray = [](int y, std::uint8_t* row) {
        for (int x = 0; x < 37; ++x)
            row[x] = static_cast<std::uint8_t>(200 + (x * 5 + y * 3) % 56);
    };
    const QImage grayJpeg = DecodeJpeg(WriteJpeg(37, 23, 1, gray), 24).image;
    ASSERT_EQ(grayJpeg.format(), QImage::Format_Indexed8);
    expectSameCount(grayJpeg);
    const auto colour = [](int y, std::uint8_t* row) {
        for (int x = 0; x < 37 * 3; ++x)
            row[x] = static_cast<std::uint8_t>(190 + (x * 11 + y * 7) % 66);
    };
    const QImage colourJpeg = DecodeJpeg(WriteJpeg(37, 23, 3, colour), 24).image;
    ASSERT_EQ(colourJpeg.format(), QImage::Format_RGB888);
    expectSameCount(colourJpeg);

    // Formats no loader gives today, some with alpha that the conversion
    // drops or divides out.
    QImage translucent = scene(251).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y)
        for (int x = 0; x < translucent.width(); ++x)
            translucent.setPixel(x, y, (translucent.pixel(x, y) & 0xFFFFFF) | (x * 7u % 256) << 24);
    for (QImage::Format format :
         {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBA8888,
          QImage::Format_Grayscale8, QImage::Format_RGB444, QImage::Format_RGB666})
        expectSameCount(translucent.convertToFormat(format));

    // Palettes shorter than their indices, and with alpha.
    QImage indexed = scene(251).convertToFormat(QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(10, 10, 10, 0), qRgb(250, 250, 250)});
    expectSameCount(indexed);
    QImage mono = scene(2).convertToFormat(QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0)}); // and white, which Qt adds
    expectSameCount(mono);
    expectSameCount(mono.convertToFormat(QImage::Format_MonoLSB));
    expectSameCount(QImage());
}

} // namespace
} // namespace kestra
