#include "picture/JpegDecoder.h"

#include "TestPictures.h"
#include "measure/Error.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <jerror.h>
#include <jpeglib.h>

namespace kestra {
namespace {

using test::makeJpeg;
using test::near;

std::string decodeError(const QByteArray& file, int depth = 24)
{
    try {
        (void)DecodeJpeg(file, depth);
    } catch (const Error& error) {
        return error.what();
    }
    return "decoded";
}

// Left half red, right half blue, in whole 16-pixel blocks.
QByteArray redAndBlue(int width, int height)
{
    return makeJpeg(width, height, 3, [width](int, std::uint8_t* row) {
        for (int x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            row[3 * x] = left ? 255 : 0;
            row[3 * x + 1] = 0;
            row[3 * x + 2] = left ? 0 : 255;
        }
    });
}

TEST(JpegDecoder, ColourGivesTrueColourOrAPaletteOnLowColourDisplays)
{
    const QByteArray file = redAndBlue(64, 32);
    const QImage picture = DecodeJpeg(file, 24);
    ASSERT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_EQ(picture.size(), QSize(64, 32));
    EXPECT_TRUE(near(picture.pixel(8, 8), qRgb(255, 0, 0), 4));
    EXPECT_TRUE(near(picture.pixel(56, 24), qRgb(0, 0, 255), 4));

    const QImage lowColour = DecodeJpeg(file, 8);
    ASSERT_EQ(lowColour.format(), QImage::Format_Indexed8);
    EXPECT_LE(lowColour.colorCount(), 236);
    EXPECT_TRUE(near(lowColour.pixel(8, 8), qRgb(255, 0, 0), 16));
    EXPECT_TRUE(near(lowColour.pixel(56, 24), qRgb(0, 0, 255), 16));
}

TEST(JpegDecoder, GrayscaleGivesEightBitsWith236EvenGrays)
{
    const QByteArray file = makeJpeg(256, 16, 1, [](int, std::uint8_t* row) {
        for (int x = 0; x < 256; ++x)
            row[x] = static_cast<std::uint8_t>(x);
    });
    for (int depth : {8, 24}) {
        const QImage picture = DecodeJpeg(file, depth);
        ASSERT_EQ(picture.format(), QImage::Format_Indexed8);
        const QList<QRgb> palette = picture.colorTable();
        ASSERT_EQ(palette.size(), 236);
        for (int i = 0; i < palette.size(); ++i) {
            ASSERT_EQ(qGray(palette[i]), (i * 255 + 117) / 235) << i;
            ASSERT_TRUE(qIsGray(palette[i]));
        }
        EXPECT_LE(std::abs(qGray(picture.pixel(100, 8)) - 100), 4);
    }
}

TEST(JpegDecoder, FailsWithLibjpegsCodeAndDecodesFilesCutShort)
{
    EXPECT_EQ(decodeError(QByteArray()), "JPEG error #42");
    EXPECT_EQ(decodeError(QByteArray("BM\x36\x00\x00\x00", 6)), "JPEG error #53");
    const QByteArray file = redAndBlue(256, 256);
    EXPECT_NE(decodeError(file.left(200)), "decoded"); // cut inside the header
    // A header asking for 65000 x 65000 pixels is refused before any allocation.
    QByteArray huge = file;
    const qsizetype frame = huge.indexOf("\xFF\xC0");
    ASSERT_GT(frame, 0);
    for (int at : {5, 7}) {
        huge[frame + at] = static_cast<char>(65000 >> 8);
        huge[frame + at + 1] = static_cast<char>(65000 & 0xFF);
    }
    EXPECT_EQ(decodeError(huge), "JPEG error #" + std::to_string(JERR_IMAGE_TOO_BIG));
    // Cut inside the scan: libjpeg fills what is missing and only warns.
    const QImage cut = DecodeJpeg(file.left(file.size() * 2 / 3), 24);
    EXPECT_EQ(cut.size(), QSize(256, 256));
    EXPECT_TRUE(near(cut.pixel(8, 4), qRgb(255, 0, 0), 4));
}

TEST(JpegDecoder, ConvertsAdobeCmykToRgb)
{
    // Adobe stores ink inverted: 255 is no ink. Left: magenta and yellow ink
    // (red); right: no ink (white).
    const QByteArray file = makeJpeg(32, 16, 4, [](int, std::uint8_t* row) {
        for (int x = 0; x < 32; ++x) {
            const bool left = x < 16;
            const std::uint8_t cmyk[4] = {255, std::uint8_t(left ? 0 : 255),
                                          std::uint8_t(left ? 0 : 255), 255};
            std::copy(cmyk, cmyk + 4, row + 4 * x);
        }
    });
    const QImage picture = DecodeJpeg(file, 24);
    ASSERT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_TRUE(near(picture.pixel(4, 8), qRgb(255, 0, 0), 6));
    EXPECT_TRUE(near(picture.pixel(28, 8), qRgb(255, 255, 255), 6));
}

} // namespace
} // namespace kestra
