#include "TestPictures.h"
#include "measure/Error.h"
#include "picture/BmpReader.h"
#include "picture/JpegDecoder.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <gtest/gtest.h>

namespace kestra {
namespace {

const QString Suite = QStringLiteral(KESTRA_TEST_DATA "/bmpsuite");

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The suite draws several files from one reference picture.
QString referenceFor(const QString& baseName)
{
    static const QMap<QString, QString> shared = {
        {"pal1wb", "pal1"},
        {"pal4rle", "pal4"},
        {"pal8-0", "pal8"},
        {"pal8os2", "pal8"},
        {"pal8rle", "pal8"},
        {"pal8topdown", "pal8"},
        {"pal8v4", "pal8"},
        {"pal8v5", "pal8"},
        {"pal8nonsquare", "pal8nonsquare-e"},
        {"rgb16bfdef", "rgb16"},
        {"rgb16-565pal", "rgb16-565"},
        {"rgb24pal", "rgb24"},
        {"rgb32", "rgb24"},
        {"rgb32bf", "rgb24"},
        {"rgb32bfdef", "rgb24"},
    };
    return Suite + "/reference/" + shared.value(baseName, baseName) + ".png";
}

// Outcome of reading one file: the picture, or the message it failed with.
struct Outcome {
    QImage picture;
    std::string message;
};

Outcome read(const QString& path)
{
    try {
        return {ReadBmp(contents(path)), {}};
    } catch (const Error& error) {
        return {{}, error.what()};
    }
}

QStringList filesIn(const QString& folder)
{
    QStringList paths;
    const QDir dir(Suite + "/" + folder);
    for (const QString& name : dir.entryList({"*.bmp"}, QDir::Files))
        paths << dir.filePath(name);
    return paths;
}

TEST(BmpSuite, GoodFilesLoadWithTheirReferencePixels)
{
    const QStringList files = filesIn("g");
    ASSERT_EQ(files.size(), 27);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const Outcome outcome = read(path);
        ASSERT_EQ(outcome.message, "");
        const QImage reference(referenceFor(QFileInfo(path).completeBaseName()));
        ASSERT_FALSE(reference.isNull());
        // Qt widens 5 and 6 bits by repeating their top bits, the reference by
        // rounding: the two differ by at most 1.
        const int tolerance = outcome.picture.depth() == 16 ? 1 : 0;
        EXPECT_EQ(test::colourDifference(outcome.picture, reference, tolerance), "");
    }
}

// Bad files fail with the bitmap's message (or, for a picture beyond the
// budget, the budget's) or load something sensible; questionable ones likewise. Neither may crash,
// hang or allocate wildly (the sanitizers and ctest's timeout watch for that).
TEST(BmpSuite, BadAndQuestionableFilesFailClearlyOrLoadSensibly)
{
    const QStringList files = filesIn("b") + filesIn("q");
    ASSERT_EQ(files.size(), 20 + 43);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        const Outcome outcome = read(path);
        if (outcome.message.empty()) {
            EXPECT_EQ(outcome.picture.width(), 127);
            EXPECT_TRUE(outcome.picture.height() == 64 || outcome.picture.height() == 32);
        } else if (path.endsWith("reallybig.bmp")) {
            EXPECT_EQ(outcome.message, "The picture is 3000000 x 2000000 pixels; KESTRA opens "
                                       "pictures of up to 300 megapixels.");
        } else {
            EXPECT_EQ(outcome.message, "Bitmap image is not valid");
        }
    }
}

// Every input the fuzzers found to crash or trip a sanitizer, kept.
TEST(FuzzFindings, FailClearlyOrLoad)
{
    const auto failsClearly = [](auto decode) {
        try {
            decode();
        } catch (const Error& error) {
            const std::string message = error.what();
            const auto startsWith = [&](const char* start) { return message.rfind(start, 0) == 0; };
            return message == "Bitmap image is not valid" || message == "Stream read error" ||
                   startsWith("JPEG error #") || startsWith("The picture is ") ||
                   startsWith("The file is ") || startsWith("The JPEG file has ");
        }
        return true;
    };
    for (const char* target : {"bmp", "jpeg"}) {
        const QDir dir(QStringLiteral(KESTRA_TEST_DATA "/fuzz/") + target);
        for (const QString& name : dir.entryList(QDir::Files)) {
            SCOPED_TRACE(name.toStdString());
            const QByteArray file = contents(dir.filePath(name));
            if (target == std::string("bmp")) {
                EXPECT_TRUE(failsClearly([&] { (void)ReadBmp(file); }));
            } else {
                for (int depth : {8, 24}) {
                    EXPECT_TRUE(failsClearly([&] { (void)DecodeJpeg(file, depth); }));
                }
            }
        }
    }
}

} // namespace
} // namespace kestra
