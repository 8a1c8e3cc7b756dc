#include "picture/PictureMemory.h"

#include "TestPictures.h"
#include "picture/BmpReader.h"
#include "picture/JpegDecoder.h"
#include "tests/measure/TestFiles.h"
#include "tools/JpegWriter.h"

#include <QScopeGuard>
#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace kestra {
namespace {

using test::BmpHeader;
using test::makeBmp;

// An odd width, so that every depth pads its rows, and `count` colours that
// differ in every channel.
QImage colours(int count, int width = 37, int height = 9)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const int i = (x * 7 + y * 3) % count;
            picture.setPixel(x, y, qRgb(i * 53 % 256, i * 97 % 256, 255 - i * 29 % 256));
        }
    return picture;
}

// Byte for byte, the fourth byte of every pixel included.
std::string rowsDiffer(const QImage& actual, const QImage& expected)
{
    if (actual.format() != expected.format() || actual.size() != expected.size())
        return "format or size";
    for (int y = 0; y < actual.height(); ++y)
        if (std::memcmp(actual.constScanLine(y), expected.constScanLine(y),
                        static_cast<std::size_t>(actual.width()) * 4) != 0)
            return "row " + std::to_string(y);
    return "";
}

std::string message(auto check)
{
    return test::errorOf(check, "passed");
}

TEST(PictureMemory, WidensEveryDecodedFormatWhereItLiesAsQtConvertsIt)
{
    using Masks = std::array<std::uint32_t, 3>;
    const QByteArray gray = WriteJpeg(37, 9, 1, [](int y, std::uint8_t* row) {
        for (int x = 0; x < 37; ++x)
            row[x] = static_cast<std::uint8_t>(x * 7 + y * 20);
    });
    const QByteArray colour = WriteJpeg(37, 9, 3, [](int y, std::uint8_t* row) {
        for (int x = 0; x < 3 * 37; ++x)
            row[x] = static_cast<std::uint8_t>(x * 5 + y * 31);
    });
    std::pair<const char*, QImage> cases[] = {
        {"1 bit", ReadBmp(makeBmp(colours(2), 1, BmpHeader::Info40))},
        {"2 bits", ReadBmp(makeBmp(colours(4), 2, BmpHeader::Info40))},
        {"4 bits", ReadBmp(makeBmp(colours(16), 4, BmpHeader::Info40))},
        {"8 bits", ReadBmp(makeBmp(colours(200), 8, BmpHeader::Info40))},
        {"5-5-5", ReadBmp(makeBmp(colours(300), 16, BmpHeader::Info40))},
        {"5-6-5",
         ReadBmp(makeBmp(colours(300), 16, BmpHeader::V5, false, Masks{0xF800, 0x07E0, 0x001F}))},
        {"4-4-4",
         ReadBmp(makeBmp(colours(300), 16, BmpHeader::V5, false, Masks{0x0F00, 0x00F0, 0x000F}))},
        {"24 bits", ReadBmp(makeBmp(colours(300), 24, BmpHeader::Info40, true))},
        {"32 bits", ReadBmp(makeBmp(colours(300), 32, BmpHeader::Info40))},
        {"grayscale JPEG", DecodeJpeg(gray, 24).image},
        {"colour JPEG", DecodeJpeg(colour, 24).image},
        {"low-colour JPEG", DecodeJpeg(colour, 8).image},
    };
    for (auto& [name, picture] : cases) {
        SCOPED_TRACE(name);
        const QImage expected = picture.convertToFormat(QImage::Format_RGB32);
        const uchar* const where = picture.constBits();
        ASSERT_TRUE(WidenToRgb32(picture));
        EXPECT_EQ(picture.constBits(), where);
        EXPECT_EQ(rowsDiffer(picture, expected), "");
    }

    // Indices beyond a short palette take Qt's colour for them.
    QImage shortPalette = AllocatePicture(4, 1, QImage::Format_Indexed8);
    shortPalette.setColorTable({qRgb(10, 20, 30), qRgba(40, 50, 60, 70)});
    for (int x = 0; x < 4; ++x)
        shortPalette.scanLine(0)[x] = static_cast<uchar>(x * 85);
    const QImage expected = shortPalette.convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(WidenToRgb32(shortPalette));
    EXPECT_EQ(rowsDiffer(shortPalette, expected), "");
}

TEST(PictureMemory, APictureSharedOrNotOursIsWidenedThroughACopy)
{
    QImage picture = ReadBmp(makeBmp(colours(300), 24, BmpHeader::Info40));
    const QImage copy = picture; // as a caller might hold it
    const QImage before = copy.copy();
    ASSERT_TRUE(WidenToRgb32(picture));
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);
    EXPECT_EQ(copy.format(), QImage::Format_BGR888);
    EXPECT_EQ(copy, before);
    EXPECT_EQ(rowsDiffer(picture, before.convertToFormat(QImage::Format_RGB32)), "");

    QImage qtOwn = colours(300).convertToFormat(QImage::Format_RGB888);
    const QImage expected = qtOwn.convertToFormat(QImage::Format_RGB32);
    ASSERT_TRUE(WidenToRgb32(qtOwn));
    EXPECT_EQ(rowsDiffer(qtOwn, expected), "");
}

// Pictures large enough for huge pages: 1001 x 601 at 32 bits is 2.4 MB.
constexpr int LargeWidth = 1001;
constexpr int LargeHeight = 601;

// The picture decoded and widened with memory had the given way.
QImage widenedWith(PictureMemoryWay way, const std::function<QImage()>& decode)
{
    const PictureMemoryWay before = UsePictureMemoryWay(way);
    const auto restore = qScopeGuard([before] { UsePictureMemoryWay(before); });
    QImage picture = decode();
    const uchar* const where = picture.constBits();
    EXPECT_TRUE(WidenToRgb32(picture));
    EXPECT_EQ(picture.constBits(), where);
    return picture;
}

TEST(PictureMemory, MappedAndPlainMemoryHoldTheSamePictures)
{
    const QByteArray jpeg = WriteJpeg(LargeWidth, LargeHeight, 3, [](int y, std::uint8_t* row) {
        for (int x = 0; x < 3 * LargeWidth; ++x)
            row[x] = static_cast<std::uint8_t>(x * 5 + y * 31);
    });
    const QByteArray files[] = {
        makeBmp(colours(2, LargeWidth, LargeHeight), 1, BmpHeader::Info40),
        makeBmp(colours(200, LargeWidth, LargeHeight), 8, BmpHeader::Info40),
        makeBmp(colours(300, LargeWidth, LargeHeight), 24, BmpHeader::Info40),
    };
    std::pair<const char*, std::function<QImage()>> cases[] = {
        {"1 bit", [&] { return ReadBmp(files[0]); }},
        {"8 bits", [&] { return ReadBmp(files[1]); }},
        {"24 bits", [&] { return ReadBmp(files[2]); }},
        {"colour JPEG", [&] { return DecodeJpeg(jpeg, 24).image; }},
    };
    for (const auto& [name, decode] : cases) {
        SCOPED_TRACE(name);
        const QImage mapped = widenedWith(PictureMemoryWay::Mapped, decode);
        const QImage plain = widenedWith(PictureMemoryWay::Plain, decode);
        EXPECT_EQ(rowsDiffer(mapped, plain), "");
        if (AvailablePictureMemoryWay() == PictureMemoryWay::Mapped) {
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(mapped.constBits()) % (2 << 20), 0u);
        }
    }
}

TEST(PictureMemory, AJobsNextPictureTakesItsMemoryAndAFailedOneLeavesTheHeldPicture)
{
    const QByteArray first = makeBmp(colours(300, LargeWidth, LargeHeight), 24, BmpHeader::Info40);
    const QByteArray second = makeBmp(colours(200, LargeWidth, LargeHeight), 8, BmpHeader::Info40);
    // Whole rows, enough for the data to be plausible for the picture, then a
    // run that overshoots its row, found once the picture's memory is had.
    QByteArray runs = QByteArray("\xFF\x01\xFF\x01\xFF\x01\xEC\x01\x00\x00", 10).repeated(480);
    runs += QByteArray("\xFF\x01", 2).repeated(4);
    const QByteArray overshoot =
        test::makeRleBmp(LargeWidth, LargeHeight, 8, {qRgb(1, 2, 3)}, runs);
    const QImage expected = ReadBmp(second).convertToFormat(QImage::Format_RGB32);
    QImage outliving;
    {
        const PictureMemory memory;
        QImage held = ReadBmp(first);
        ASSERT_TRUE(WidenToRgb32(held));
        const QImage heldBefore = held.copy();
        const uchar* const heldMemory = held.constBits();
        EXPECT_EQ(message([&] { (void)ReadBmp(overshoot); }), "Bitmap image is not valid");
        EXPECT_EQ(rowsDiffer(held, heldBefore), "");

        held = QImage();
        QImage next = ReadBmp(second);
        EXPECT_EQ(next.constBits(), heldMemory);
        ASSERT_TRUE(WidenToRgb32(next));
        EXPECT_EQ(rowsDiffer(next, expected), "");
        outliving = next;
    }
    // Its memory is freed with the picture, after the job's.
    EXPECT_EQ(rowsDiffer(outliving, expected), "");
}

TEST(PictureMemory, BudgetHoldsAnA3PageAt1200DpiAndRefusesBeyond300Megapixels)
{
    EXPECT_EQ(message([] { CheckPictureBudget(14032, 19842); }), "passed");
    EXPECT_EQ(message([] { CheckPictureBudget(20000, 15000); }), "passed");
    EXPECT_EQ(message([] { CheckPictureBudget(20000, 15001); }),
              "The picture is 20000 x 15001 pixels; KESTRA opens pictures of up to 300 "
              "megapixels.");
    EXPECT_TRUE(AllocatePicture(20000, 15001, QImage::Format_Mono).isNull());

    EXPECT_EQ(message([] { CheckFileSize(1000 + FileSlackBytes, 1000, 10, 10); }), "passed");
    EXPECT_EQ(message([] { CheckFileSize(1001 + FileSlackBytes, 1000, 10, 10); }),
              "The file is 16778217 bytes, far more than its picture of 10 x 10 pixels can need.");
}

} // namespace
} // namespace kestra
