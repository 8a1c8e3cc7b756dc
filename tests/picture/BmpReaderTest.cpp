#include "picture/BmpReader.h"

#include "TestPictures.h"
#include "tests/measure/TestFiles.h"

#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::BmpHeader;
using test::makeBmp;
using test::makeRleBmp;
using test::put16;
using test::put32;
using Masks = std::array<std::uint32_t, 3>;

// Odd width so that every depth needs row padding; channels 0 or 255 so that
// every mask depth holds the colours exactly.
QImage fourColours()
{
    QImage picture(7, 3, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 0)};
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, colours[(x + 2 * y) % 4]);
    return picture;
}

QImage twoColours()
{
    QImage picture(13, 3, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, (x * y) % 3 == 0 ? qRgb(0, 96, 0) : qRgb(250, 250, 200));
    return picture;
}

std::string readError(const QByteArray& file)
{
    return test::errorOf([&] { (void)ReadBmp(file); }, "loaded");
}

TEST(BmpReader, KeepsEveryDepthAndHeaderWithItsPixels)
{
    struct Case {
        int bitCount;
        Masks masks;
        QImage::Format format;
    };
    const Case cases[] = {
        {1, {}, QImage::Format_Mono},
        {4, {}, QImage::Format_Indexed8},
        {8, {}, QImage::Format_Indexed8},
        {16, {}, QImage::Format_RGB555},
        {16, {0xF800, 0x07E0, 0x001F}, QImage::Format_RGB16},
        {16, {0x0F00, 0x00F0, 0x000F}, QImage::Format_RGB888},
        {24, {}, QImage::Format_BGR888},
        {32, {}, QImage::Format_RGB32},
        {32, {0x0000FF00, 0x00FF0000, 0xFF000000}, QImage::Format_RGB32},
    };
    for (BmpHeader header : {BmpHeader::Core12, BmpHeader::Info40, BmpHeader::V4, BmpHeader::V5})
        for (const Case& c : cases)
            for (bool topDown : {false, true}) {
                const bool bitFields = c.masks != Masks{};
                if (header == BmpHeader::Core12 &&
                    (topDown || bitFields || c.bitCount == 16 || c.bitCount == 32))
                    continue; // the OS/2 header has neither signed heights nor masks
                SCOPED_TRACE(testing::Message()
                             << "header " << static_cast<int>(header) << ", " << c.bitCount
                             << " bits, masks " << bitFields << ", top-down " << topDown);
                const QImage expected = c.bitCount == 1 ? twoColours() : fourColours();
                const QByteArray file = makeBmp(expected, c.bitCount, header, topDown, c.masks);
                ASSERT_EQ(readError(file), "loaded");
                const QImage picture = ReadBmp(file);
                ASSERT_EQ(picture.format(), c.format);
                EXPECT_EQ(test::colourDifference(picture, expected), "");
                if (c.bitCount == 1) {
                    EXPECT_EQ(picture.colorTable(),
                              QList<QRgb>({qRgb(0, 96, 0), qRgb(250, 250, 200)}));
                }
            }
}

TEST(BmpReader, RefusesDamagedFilesWithTheirMessage)
{
    const QByteArray good = makeBmp(fourColours(), 8, BmpHeader::Info40);
    const std::string invalid = "Bitmap image is not valid";
    auto patched = [&](auto change) {
        QByteArray file = good;
        change(file);
        return file;
    };
    EXPECT_TRUE(ReadBmp(QByteArray()).isNull());
    EXPECT_EQ(ReadBmp(QByteArray()).size(), QSize(0, 0));
    EXPECT_EQ(readError(good.left(1)), "Stream read error");
    EXPECT_EQ(readError(good.left(13)), "Stream read error");
    EXPECT_EQ(readError(good.left(14)), invalid);
    EXPECT_EQ(readError(good.left(good.size() - 4)), invalid); // pixel rows cut short
    EXPECT_EQ(readError(patched([](QByteArray& f) { f[1] = 'X'; })), invalid);
    EXPECT_EQ(readError(patched([](QByteArray& f) { put16(f, 26, 2); })), invalid); // planes
    EXPECT_EQ(readError(patched([](QByteArray& f) { put16(f, 28, 7); })), invalid); // depth
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 14, 20); })), invalid);
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 18, 0); })), invalid);
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 18, 0x80000000); })), invalid);
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 22, 0x80000000); })), invalid);
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 30, 4); })), invalid); // JPEG
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 10, 0x7FFFFFFF); })), invalid);
    EXPECT_EQ(readError(patched([](QByteArray& f) { put32(f, 46, 0x10000000); })), invalid);
    // Far more pixels than the file holds: beyond the budget, as a size
    // product that would overflow, and within it.
    EXPECT_EQ(readError(patched([](QByteArray& f) {
                  put32(f, 18, 0x7FFFFFFF);
                  put32(f, 22, 0x7FFFFFFF);
              })),
              "The picture is 2147483647 x 2147483647 pixels; KESTRA opens pictures of up to 300 "
              "megapixels.");
    EXPECT_EQ(readError(patched([](QByteArray& f) {
                  put32(f, 18, 10000);
                  put32(f, 22, 10000);
              })),
              invalid);
}

TEST(BmpReader, DecodesRunLengthsAndRefusesRunsThatOverrun)
{
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 0, 255)};
    // Bottom row: a run of two 1s, then a jump one right and one up to a single
    // 2; an end of line, and the top row as a literal 2 0 1 (padded); the end.
    const QByteArray rle8("\x02\x01\x00\x02\x01\x01\x01\x02\x00\x00\x00\x03\x02\x00\x01\x00"
                          "\x00\x01",
                          18);
    const QImage picture = ReadBmp(makeRleBmp(4, 3, 8, palette, rle8));
    ASSERT_EQ(picture.format(), QImage::Format_Indexed8);
    const auto indices = [](const QImage& image, int y) {
        std::vector<int> row;
        for (int x = 0; x < image.width(); ++x)
            row.push_back(image.pixelIndex(x, y));
        return row;
    };
    EXPECT_EQ(indices(picture, 2), (std::vector<int>{1, 1, 0, 0}));
    EXPECT_EQ(indices(picture, 1), (std::vector<int>{0, 0, 0, 2}));
    EXPECT_EQ(indices(picture, 0), (std::vector<int>{2, 0, 1, 0}));

    // RLE4: a run alternates its two nibbles; a literal of 3 nibbles takes 2 bytes.
    const QByteArray rle4("\x05\x12\x00\x00\x00\x03\x21\x20\x00\x01", 10);
    const QImage four = ReadBmp(makeRleBmp(5, 2, 4, palette, rle4));
    EXPECT_EQ(indices(four, 1), (std::vector<int>{1, 2, 1, 2, 1}));
    EXPECT_EQ(indices(four, 0), (std::vector<int>{2, 1, 2, 0, 0}));

    // Data that stops without an end marker keeps what it reached.
    EXPECT_EQ(indices(ReadBmp(makeRleBmp(4, 3, 8, palette, rle8.left(2))), 2),
              (std::vector<int>{1, 1, 0, 0}));

    const std::string invalid = "Bitmap image is not valid";
    EXPECT_EQ(readError(makeRleBmp(4, 3, 8, palette, QByteArray("\x05\x01", 2))), invalid);
    EXPECT_EQ(readError(makeRleBmp(4, 3, 8, palette, QByteArray("\x00\x04\x01\x01", 4))),
              invalid); // literal beyond the data
    EXPECT_EQ(readError(makeRleBmp(4, 3, 8, palette, QByteArray("\x00\x02\x05\x00", 4))),
              invalid); // jump beyond the row
    EXPECT_EQ(readError(makeRleBmp(4, 1, 8, palette, QByteArray("\x00\x00\x01\x01", 4))),
              invalid); // run below the last row
    // A few bytes cannot fill 100 million pixels, so they are never allocated.
    EXPECT_EQ(readError(makeRleBmp(10000, 10000, 8, palette, QByteArray("\x00\x01", 2))), invalid);
}

} // namespace
} // namespace kestra
