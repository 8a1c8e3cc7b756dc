#include "picture/JpegDecoder.h"

#include "TestPictures.h"
#include "measure/Error.h"
#include "tests/measure/TestFiles.h"
#include "tools/JpegWriter.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::near;

std::string decodeError(const QByteArray& file, int depth = 24)
{
    return test::errorOf([&] { (void)DecodeJpeg(file, depth).image; }, "decoded");
}

// Left half red, right half blue, in whole 16-pixel blocks.
QByteArray redAndBlue(int width, int height)
{
    return WriteJpeg(width, height, 3, [width](int, std::uint8_t* row) {
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
    const QImage picture = DecodeJpeg(file, 24).image;
    ASSERT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_EQ(picture.size(), QSize(64, 32));
    EXPECT_TRUE(near(picture.pixel(8, 8), qRgb(255, 0, 0), 4));
    EXPECT_TRUE(near(picture.pixel(56, 24), qRgb(0, 0, 255), 4));

    const QImage lowColour = DecodeJpeg(file, 8).image;
    ASSERT_EQ(lowColour.format(), QImage::Format_Indexed8);
    EXPECT_LE(lowColour.colorCount(), 236);
    EXPECT_TRUE(near(lowColour.pixel(8, 8), qRgb(255, 0, 0), 16));
    EXPECT_TRUE(near(lowColour.pixel(56, 24), qRgb(0, 0, 255), 16));
}

TEST(JpegDecoder, GrayscaleGivesEightBitsWith236EvenGrays)
{
    const QByteArray file = WriteJpeg(256, 16, 1, [](int, std::uint8_t* row) {
        for (int x = 0; x < 256; ++x)
            row[x] = static_cast<std::uint8_t>(x);
    });
    for (int depth : {8, 24}) {
        const QImage picture = DecodeJpeg(file, depth).image;
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
    EXPECT_EQ(
        decodeError(huge),
        "The picture is 65000 x 65000 pixels; KESTRA opens pictures of up to 300 megapixels.");
    // The header alone, from the file's first bytes, or nothing when they end
    // inside it.
    const std::optional<JpegHeader> header = ReadJpegHeader(file.left(1000));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, 256);
    EXPECT_EQ(header->components, 3);
    EXPECT_EQ(file.mid(header->headerBytes - 14, 2), QByteArray("\xFF\xDA", 2)); // after the SOS
    EXPECT_FALSE(ReadJpegHeader(file.left(200)));
    EXPECT_THROW((void)ReadJpegHeader(QByteArray("BM\x36\x00\x00\x00", 6)), Error);
    // Cut inside the scan: libjpeg fills what is missing and only warns.
    const QImage cut = DecodeJpeg(file.left(file.size() * 2 / 3), 24).image;
    EXPECT_EQ(cut.size(), QSize(256, 256));
    EXPECT_TRUE(near(cut.pixel(8, 4), qRgb(255, 0, 0), 4));
}

TEST(JpegDecoder, SaysWhenLibjpegFilledInMissingOrCorruptData)
{
    // Detail in every block, so that any damage breaks the entropy-coded data.
    const QByteArray file =
        WriteJpeg(256, 256, 3,
                  [](int y, std::uint8_t* row) {
                      for (int x = 0; x < 3 * 256; ++x)
                          row[x] = static_cast<std::uint8_t>(x * 5 + y * 3 + (x * y) % 17);
                  },
                  {.quality = 90, .restartRows = 1});
    EXPECT_FALSE(DecodeJpeg(file, 24).damaged);
    for (int percent : {25, 50, 75}) {
        SCOPED_TRACE(percent);
        const DecodedJpeg cut = DecodeJpeg(file.left(file.size() * percent / 100), 24);
        EXPECT_TRUE(cut.damaged);
        EXPECT_EQ(cut.image.size(), QSize(256, 256));
    }
    const qsizetype restart = file.indexOf("\xFF\xD5", file.size() / 2);
    ASSERT_GT(restart, 0);
    QByteArray outOfOrder = file;
    outOfOrder[restart + 1] = '\xD1';
    EXPECT_TRUE(DecodeJpeg(outOfOrder, 24).damaged);
    QByteArray scrambled = file;
    for (qsizetype at = restart - 60; at < restart - 20; ++at)
        scrambled[at] = static_cast<char>(scrambled[at] ^ 0x5A);
    EXPECT_TRUE(DecodeJpeg(scrambled, 24).damaged);
    // Padding before the end-of-image marker, which some writers leave.
    QByteArray padded = file;
    padded.insert(padded.size() - 2, QByteArray(3, '\0'));
    EXPECT_FALSE(DecodeJpeg(padded, 24).damaged);
}

TEST(JpegDecoder, RefusesMoreScansThanEncodersWriteAndScansBeyondTheirWork)
{
    EXPECT_EQ(decodeError(test::makeScanBomb(64, 64, 500)), "decoded");
    EXPECT_EQ(decodeError(test::makeScanBomb(64, 64, 501)),
              "The JPEG file has more than 500 scans; KESTRA opens files of up to 500 scans.");
    // Every scan walks all the blocks of the picture its header declares.
    QByteArray large = test::makeScanBomb(64, 64, 300);
    EXPECT_EQ(decodeError(large), "decoded");
    SetJpegSize(large, 4000, 4000);
    EXPECT_EQ(decodeError(large),
              "The JPEG file has too many scans for its picture of 4000 x 4000 pixels.");
}

TEST(JpegDecoder, ConvertsAdobeCmykToRgb)
{
    // Adobe stores ink inverted: 255 is no ink. Left: magenta and yellow ink
    // (red); right: no ink (white).
    const QByteArray file = WriteJpeg(32, 16, 4, [](int, std::uint8_t* row) {
        for (int x = 0; x < 32; ++x) {
            const bool left = x < 16;
            const std::uint8_t cmyk[4] = {255, std::uint8_t(left ? 0 : 255),
                                          std::uint8_t(left ? 0 : 255), 255};
            std::copy(cmyk, cmyk + 4, row + 4 * x);
        }
    });
    const QImage picture = DecodeJpeg(file, 24).image;
    ASSERT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_TRUE(near(picture.pixel(4, 8), qRgb(255, 0, 0), 6));
    EXPECT_TRUE(near(picture.pixel(28, 8), qRgb(255, 255, 255), 6));
}

} // namespace
} // namespace kestra
