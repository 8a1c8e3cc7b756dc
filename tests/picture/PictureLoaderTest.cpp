#include "picture/PictureLoader.h"

#include "TestPictures.h"
#include "measure/Error.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
        try {
            (void)LoadPicture(path, 24);
        } catch (const Error& error) {
            return error.what();
        }
        return "loaded";
    }

    QTemporaryDir folder_;
    const QByteArray bitmap_ =
        test::makeBmp(QImage(5, 4, QImage::Format_RGB32), 24, test::BmpHeader::Info40);
    const QByteArray jpeg_ = test::makeJpeg(
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
