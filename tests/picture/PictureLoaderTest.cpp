#include "picture/PictureLoader.h"

#include "TestPictures.h"
#include "picture/BmpReader.h"
#include "picture/JpegDecoder.h"
#include "tests/measure/TestFiles.h"
#include "tools/JpegWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tuple>

namespace kestra {
namespace {

class PictureLoader : public testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder_.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static std::string loadError(const QString& path)
    {
        return test::errorOf([&] { (void)LoadPicture(path, 24); }, "loaded");
    }

    QTemporaryDir folder_;
    const QByteArray bitmap_ =
        test::makeBmp(QImage(5, 4, QImage::Format_RGB32), 24, test::BmpHeader::Info40);
    const QByteArray jpeg_ = WriteJpeg(
        16, 8, 3, [](int, std::uint8_t* row) { std::fill(row, row + 48, std::uint8_t{200}); });
};

TEST_F(PictureLoader, ChoosesTheDecoderByTheExtensionAlone)
{
    // A bitmap in a folder named jpg is still a bitmap.
    EXPECT_EQ(LoadPicture(write("jpg/leaf.bmp", bitmap_), 24).image.format(),
              QImage::Format_BGR888);
    EXPECT_EQ(LoadPicture(write("scans/LEAF.BMP", bitmap_), 24).image.size(), QSize(5, 4));
    for (const char* name : {"LEAF.JPG", "leaf.jpeg", "leaf.Jpeg", "a.bmp.jpg"}) {
        const QImage picture = LoadPicture(write(name, jpeg_), 24).image;
        EXPECT_EQ(picture.format(), QImage::Format_RGB888) << name;
        EXPECT_EQ(picture.size(), QSize(16, 8));
    }
    // A bitmap named .jpg reaches the JPEG decoder and fails there.
    EXPECT_EQ(loadError(write("leaf.jpg", bitmap_)), "JPEG error #53");
    EXPECT_EQ(loadError(write("empty.jpg", {})), "JPEG error #42");
    EXPECT_TRUE(LoadPicture(write("empty.bmp", {}), 24).image.isNull());
}

TEST_F(PictureLoader, ReadsLargeFilesAsTheirBytesDecodeInMemory)
{
    // Tall enough for several batches, and rows of every kind of finishing.
    QImage picture(1001, 1500, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 3 + y) % 256, (x ^ y) % 16 * 17, y % 251));
    const QImage fewColours =
        picture.convertToFormat(QImage::Format_Indexed8, {qRgb(0, 0, 0), qRgb(9, 90, 200)});
    // The last row of a file may lack its padding.
    QByteArray unpadded = test::makeBmp(picture, 24, test::BmpHeader::Info40);
    unpadded.chop(1);
    const std::pair<const char*, QByteArray> files[] = {
        {"bottom-up 24 bits", test::makeBmp(picture, 24, test::BmpHeader::Info40)},
        {"top-down 32 bits", test::makeBmp(picture, 32, test::BmpHeader::V5, true)},
        {"4 bits", test::makeBmp(fewColours, 4, test::BmpHeader::Info40)},
        {"last row unpadded", unpadded},
    };
    // Bitmap rows are read in batches, not one by one.
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const QImage loaded = LoadPicture(write(QStringLiteral("batches.bmp"), bytes), 24).image;
        EXPECT_EQ(loaded, ReadBmp(bytes));
    }
    // A JPEG file beyond its first read goes into memory of its own.
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    const QByteArray jpeg = WriteJpeg(rgb.width(), rgb.height(), 3, [&](int y, std::uint8_t* row) {
        std::memcpy(row, rgb.constScanLine(y), 3 * static_cast<std::size_t>(rgb.width()));
    });
    ASSERT_GT(jpeg.size(), 64 * 1024);
    EXPECT_EQ(LoadPicture(write(QStringLiteral("large.jpg"), jpeg), 24).image,
              DecodeJpeg(jpeg, 24).image);
}

TEST_F(PictureLoader, NamesTheExtensionOrTheFileItCannotRead)
{
    EXPECT_EQ(loadError(write("leaf.TIF", bitmap_)), "Unknown picture file extension (.TIF)");
    EXPECT_EQ(loadError(write("leaf", bitmap_)), "Unknown picture file extension (.)");
    EXPECT_EQ(loadError(write("jpg.d/leaf", bitmap_)), "Unknown picture file extension (.)");
    EXPECT_EQ(loadError(write("leaf.WMF", bitmap_)),
              "Metafile pictures (.WMF) cannot be decoded on this platform");
    EXPECT_EQ(loadError(write("leaf.emf", bitmap_)),
              "Metafile pictures (.emf) cannot be decoded on this platform");
    const QString missing = folder_.filePath("missing.bmp");
    EXPECT_EQ(loadError(missing),
              "Cannot open file \"" + missing.toStdString() + "\". No such file or directory");
    EXPECT_EQ(loadError(write("short.bmp", "BM")), "Stream read error");

    // Neither a pipe nor a device is waited on or read without end.
    const QString pipe = folder_.filePath("pipe.bmp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_EQ(loadError(pipe),
              "Cannot open file \"" + pipe.toStdString() + "\". Not a regular file");
    const QString device = folder_.filePath("zero.jpg");
    ASSERT_TRUE(QFile::link("/dev/zero", device));
    EXPECT_EQ(loadError(device),
              "Cannot open file \"" + device.toStdString() + "\". Not a regular file");
}

TEST_F(PictureLoader, RefusesHostilePicturesBeforeTheirMemoryOrTheWholeFile)
{
    const auto beyondBudget = [](const char* size) {
        return std::string("The picture is ") + size +
               " pixels; KESTRA opens pictures of up to 300 megapixels.";
    };
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    EXPECT_EQ(loadError(write(
                  "rle.bmp", test::makeRleBmp(40000, 40000, 8, palette, QByteArray(6000, '\x01')))),
              beyondBudget("40000 x 40000"));
    QByteArray mono = test::makeBmp(QImage(8, 8, QImage::Format_Mono), 1, test::BmpHeader::Info40);
    test::put32(mono, 18, 65535);
    test::put32(mono, 22, 65535);
    EXPECT_EQ(loadError(write("mono.bmp", mono)), beyondBudget("65535 x 65535"));

    QByteArray colour = jpeg_;
    SetJpegSize(colour, 18000, 18000);
    EXPECT_EQ(loadError(write("colour.jpg", colour)), beyondBudget("18000 x 18000"));
    QByteArray gray = WriteJpeg(
        16, 16, 1, [](int, std::uint8_t* row) { std::fill(row, row + 16, std::uint8_t{90}); });
    SetJpegSize(gray, 32000, 32000);
    EXPECT_EQ(loadError(write("gray.jpg", gray)), beyondBudget("32000 x 32000"));

    EXPECT_EQ(loadError(write("bomb.jpg", test::makeScanBomb(64, 64, 2000))),
              "The JPEG file has more than 500 scans; KESTRA opens files of up to 500 scans.");

    // Metadata segments that never end in a picture.
    QByteArray endless("\xFF\xD8", 2);
    const QByteArray comment = QByteArray("\xFF\xFE\xFF\xFF", 4) + QByteArray(65533, ' ');
    while (endless.size() < (qsizetype{33} << 20))
        endless += comment;
    EXPECT_EQ(loadError(write("endless.jpg", endless)),
              "The JPEG file's header does not end within its first 32 MB.");
}

// A file of 100 GB that holds nothing but its first bytes.
TEST_F(PictureLoader, RefusesAHugeFileFromItsHeaderWithoutReadingIt)
{
    const qint64 huge = 100'000'000'000;
    for (const auto& [name, bytes, expected] :
         {std::tuple{"leaf.bmp", bitmap_,
                     "The file is 100000000000 bytes, far more than its picture of 5 x 4 pixels "
                     "can need."},
          std::tuple{"leaf.jpg", jpeg_,
                     "The file is 100000000000 bytes, far more than its picture of 16 x 8 pixels "
                     "can need."},
          std::tuple{"zeros.bmp", QByteArray(), "Bitmap image is not valid"},
          std::tuple{"zeros.jpg", QByteArray(), "JPEG error #53"}}) {
        SCOPED_TRACE(name);
        QFile file(write(name, bytes));
        if (!file.resize(huge))
            GTEST_SKIP() << "the file system holds no sparse file of 100 GB";
        EXPECT_EQ(loadError(file.fileName()), expected);
    }
}

TEST_F(PictureLoader, SaysWhenAJpegWasCutShort)
{
    const QByteArray file = WriteJpeg(64, 64, 3, [](int y, std::uint8_t* row) {
        for (int x = 0; x < 3 * 64; ++x)
            row[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
    });
    EXPECT_FALSE(LoadPicture(write("whole.jpg", file), 24).damaged);
    const LoadedPicture cut = LoadPicture(write("cut.jpg", file.left(file.size() / 2)), 24);
    EXPECT_TRUE(cut.damaged);
    EXPECT_EQ(cut.image.size(), QSize(64, 64));
    EXPECT_FALSE(LoadPicture(write("leaf.bmp", bitmap_), 24).damaged);
}

TEST_F(PictureLoader, PassesOnWhatTheFileDeclaresOfItself)
{
    QImage picture(8, 6, QImage::Format_RGB32);
    picture.fill(Qt::white);
    picture.setDotsPerMeterX(23622); // 600 dpi
    picture.setDotsPerMeterY(23622);
    QByteArray bmp;
    QBuffer buffer(&bmp);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && picture.save(&buffer, "BMP"));
    const LoadedPicture fromBmp = LoadPicture(write("leaf.bmp", bmp), 24);
    ASSERT_TRUE(fromBmp.declaredDpi.has_value());
    EXPECT_NEAR(*fromBmp.declaredDpi, 600.0, 0.01);
    EXPECT_FALSE(fromBmp.storedTurned);

    // Qt writes the resolution into JFIF; an Exif block that asks for the
    // picture to be turned (orientation 6) goes in after the start marker.
    QByteArray jpeg;
    QBuffer jpegBuffer(&jpeg);
    ASSERT_TRUE(jpegBuffer.open(QIODevice::WriteOnly));
    if (!picture.save(&jpegBuffer, "JPEG"))
        GTEST_SKIP() << "Qt's JPEG plugin is not installed";
    const char exif[] = "\xFF\xE1\x00\x22"
                        "Exif\0\0II\x2A\0\x08\0\0\0"
                        "\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0";
    jpeg.insert(2, QByteArray(exif, sizeof exif - 1));
    const LoadedPicture fromJpeg = LoadPicture(write("leaf.jpg", jpeg), 24);
    ASSERT_TRUE(fromJpeg.declaredDpi.has_value());
    EXPECT_NEAR(*fromJpeg.declaredDpi, 600.0, 0.01);
    EXPECT_TRUE(fromJpeg.storedTurned);

    EXPECT_FALSE(LoadPicture(write("plain.jpg", jpeg_), 24).declaredDpi.has_value());
}

TEST_F(PictureLoader, ReadsIconsThroughQtOnAWhiteBackground)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    icon.setPixel(3, 4, qRgb(0, 128, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "ico").write(icon))
        GTEST_SKIP() << "Qt's icon plugin is not installed";
    const QImage picture = LoadPicture(write("leaf.ICO", bytes), 24).image;
    EXPECT_EQ(picture.size(), QSize(16, 16));
    EXPECT_EQ(picture.pixel(3, 4), qRgb(0, 128, 0));
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(loadError(write("broken.ico", "not an icon")), "Icon image is not valid");
}

} // namespace
} // namespace kestra
