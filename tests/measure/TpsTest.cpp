#include "measure/Tps.h"

#include "TestFiles.h"
#include "measure/Analysis.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace kestra;
using test::errorOf;
using test::readFile;
using test::writeFile;
namespace fs = std::filesystem;

namespace {

void place(Landmarks& landmarks, int n, double x, double y)
{
    landmarks.PointX[n] = x;
    landmarks.PointY[n] = y;
}

void expectSame(const Landmarks& read, const Landmarks& expected, const std::string& what)
{
    for (int n = 1; n <= AuxiliaryPoint; ++n) {
        EXPECT_EQ(read.PointX[n], expected.PointX[n]) << what << " P(" << n << ")";
        EXPECT_EQ(read.PointY[n], expected.PointY[n]) << what << " P(" << n << ")";
    }
}

std::string readError(std::string_view text)
{
    return errorOf([&] {
        (void)ReadTpsLandmarks(text, "/data/leaves.tps", {"/scans/a.jpg", 400, 300});
    });
}

// 32 coordinate lines "x y" of a specimen for a.jpg, line end included.
std::string coordinates(std::string_view lineEnd = "\n")
{
    std::string text;
    for (int n = 1; n <= LandmarkCount; ++n)
        text += std::to_string(n) + " " + std::to_string(n + 100) + std::string(lineEnd);
    return text;
}

// The two rows of tests/data/measure/two-rows.tps.
ResultsTable twoRows()
{
    ResultsTable table;
    Landmarks first;
    for (int n = 1; n <= LandmarkCount; ++n)
        place(first, n, 10 * n, 5 * n);
    place(first, 3, 0, 0);
    place(first, 32, 0, 0);
    place(first, 31, 0, 120); // on the left edge, still placed
    place(first, 30, 250, 0); // on the top row
    RunAnalysis(table, first, {"/scans/levél 1.jpg", 300.0, {}, ",", 400, 300});
    Landmarks second;
    place(second, 1, 1, 99);
    place(second, 2, 199, 1);
    RunAnalysis(table, second, {"/other/leaf2.bmp", 254.0, {}, ".", 200, 100});
    return table;
}

} // namespace

TEST(Tps, WritesOneSpecimenPerRow)
{
    EXPECT_EQ(TpsText(twoRows()), readFile(KESTRA_TEST_DATA "/measure/two-rows.tps"));
    EXPECT_EQ(TpsText(ResultsTable()), "");
}

TEST(Tps, ReadsBackWhatItWrote)
{
    ResultsTable table;
    Landmarks leaf;
    for (int n = 1; n <= LandmarkCount; n += 2)
        place(leaf, n, 3 * n + 1, 7 * n);
    place(leaf, 2, 0, 5);
    place(leaf, 4, 5, 0);
    RunAnalysis(table, leaf, {"/a/one.jpg", 300.0, {}, ".", 1000, 800});
    const Landmarks one = table.rowLandmarks(1).points;
    place(leaf, 1, 999, 799);
    RunAnalysis(table, leaf, {"/a/two.bmp", 600.0, {}, ".", 1000, 800});
    const Landmarks two = table.rowLandmarks(2).points;
    leaf = Landmarks();
    place(leaf, 32, 1000, 800);
    // Beside the picture: right of it and above it come back as saved; left
    // of it the TPS coordinate is negative, which reads as not placed.
    place(leaf, 5, 1040, -30);
    place(leaf, 6, -3, 400);
    RunAnalysis(table, leaf, {"/b/one.jpg", 1200.0, {}, ".", 1000, 800});
    Landmarks oneAgain = table.rowLandmarks(3).points;
    place(oneAgain, 6, 0, 0);
    // A name the Name cell cannot hold is saved as its "E:Name" and still
    // comes back to its picture.
    Landmarks unnamed = two;
    RunAnalysis(table, unnamed, {"/c/.jpg", 300.0, {}, ".", 1000, 800});

    const test::TempFolder folder;
    const fs::path file = folder / "leaves.tps";
    ExportTps(table, file.string());
    expectSame(LoadTpsLandmarks(file.string(), {"/a/two.bmp", 1000, 800}), two, "two");
    // The later row of the same picture wins.
    expectSame(LoadTpsLandmarks(file.string(), {"one.jpg", 1000, 800}), oneAgain, "one");
    expectSame(LoadTpsLandmarks(file.string(), {"/c/.jpg", 1000, 800}), two, "unnamed");
    EXPECT_NE(oneAgain.PointX[1], one.PointX[1]);
}

TEST(Tps, ReadsWhatTpsDigWrites)
{
    const std::string crlf = "\r\n";
    std::string landmarks;
    for (int n = 1; n <= LandmarkCount; ++n)
        landmarks += std::to_string(n * 10) + ".4\t" + std::to_string(n) + "E1" + crlf;
    std::string last = landmarks;
    last.replace(last.find("50.4\t5E1"), 8, "-1 -1");
    last.replace(last.find("60.4\t6E1"), 8, "-0.5 60");
    last.replace(last.find("70.4\t7E1"), 8, " +70 \t 70.5 ");
    const std::string text = "\xEF\xBB\xBF"
                             "LM=32" +
                             crlf + landmarks + "CURVES=0" + crlf + "IMAGE=leaf7.jpg" + crlf +
                             "ID=0" + crlf + "SCALE=0.084667" + crlf + crlf + "lm=32" + crlf +
                             coordinates(crlf) + "curves=1" + crlf + "points=3" + crlf + "1 2" +
                             crlf + "3.5 4" + crlf + "5 6" + crlf + "image=C:\\scans\\other.jpg" +
                             crlf + "id=1" + crlf + "comment=second leaf" + crlf + "Lm = 32" +
                             crlf + last + "Image=D:\\photos\\leaf7.jpg" + crlf + "Id=2" + crlf +
                             "Scale=8.4667e-2" + crlf;

    const Landmarks read = ReadTpsLandmarks(text, "leaves.tps", {"/scans/leaf7.jpg", 400, 500});
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (n >= 5 && n <= 7)
            continue;
        EXPECT_EQ(read.PointX[n], 10 * n) << n;
        EXPECT_EQ(read.PointY[n], 500 - 10 * n) << n;
    }
    EXPECT_TRUE(read.IsPointMissing(5));
    EXPECT_TRUE(read.IsPointMissing(6));
    EXPECT_EQ(read.PointX[7], 70.0);
    EXPECT_EQ(read.PointY[7], 500 - 71.0); // halves round away from zero
    EXPECT_TRUE(read.IsPointMissing(AuxiliaryPoint));

    // Every specimen, for a run over many pictures.
    const std::vector<TpsSpecimen> specimens = ReadTpsSpecimens(text, "leaves.tps");
    ASSERT_EQ(specimens.size(), 3u);
    EXPECT_EQ(specimens[1].line, 39);
    EXPECT_EQ(specimens[1].landmarks[31].line, 71);
    EXPECT_EQ(PictureNameOf(specimens[1]), "other.jpg");
    EXPECT_EQ(specimens[1].scale, "");
    EXPECT_EQ(PictureNameOf(specimens[2]), "leaf7.jpg");
    EXPECT_EQ(specimens[2].scale, "8.4667e-2");
    EXPECT_EQ(PictureNameOf(TpsSpecimen{}), std::nullopt);

    // Unix line ends, a lone CR, and a picture named without its folder.
    expectSame(ReadTpsLandmarks("LM=32\r" + coordinates() + "IMAGE=/x/other.jpg\n", "t",
                                {"other.jpg", 40, 200}),
               ReadTpsLandmarks(text, "t", {"other.jpg", 40, 200}), "other");
}

TEST(Tps, ScaleGivesBackTheDpiItWasWrittenFrom)
{
    for (const double dpi :
         {300.0, 600.0, 1200.0, 72.0, 96.0, 147.0, 254.0, 299.5, 150.25, 2400.0, 0.5, 12345.67}) {
        ResultsTable table;
        Landmarks leaf = test::landmarksAt({{1, 5, 5}});
        RunAnalysis(table, leaf, {"/s/a.bmp", dpi, {}, ".", 10, 10});
        const std::string text = TpsText(table);
        const std::size_t scale = text.find("SCALE=") + 6;
        EXPECT_EQ(DpiOfScale(text.substr(scale, text.size() - scale - 1)), dpi) << text;
    }
    // Rounded by another writer: the quotient as it stands, no DPI made up.
    EXPECT_NEAR(*DpiOfScale("0.084667"), 299.9988, 1e-4);
    for (const char* bad : {"", "0", "-0.1", "abc", "1e-320", "0.1 mm"})
        EXPECT_EQ(DpiOfScale(bad), std::nullopt) << bad;
}

TEST(Tps, BadInputIsNamed)
{
    const std::string lm = "LM=32\n" + coordinates();
    const std::string allButFirst = coordinates().substr(coordinates().find('\n') + 1);
    const std::string file = "\"/data/leaves.tps\"";
    const std::pair<std::string, std::string> cases[] = {
        {lm + "IMAGE=a.jpg\nthis is not TPS\n",
         "The file " + file + " is not a TPS file: line 35 reads \"this is not TPS\""},
        {std::string(100, 'x') + "\x01\n", "The file " + file +
                                               " is not a TPS file: line 1 reads \"" +
                                               std::string(40, 'x') + "...\""},
        {"\xFF\xD8\xFF\xE0\x10JFIF",
         "The file " + file + " is not a TPS file: line 1 reads \"\xFF\xD8\xFF\xE0?JFIF\""},
        {"LM=many\n", "The file " + file + " is not a TPS file: line 1 reads \"LM=many\""},
        {"L M=32\n", "The file " + file + " is not a TPS file: line 1 reads \"L M=32\""},
        {"", "The file " + file + " is not a TPS file: it has no LM= line"},
        {"ID=1\nIMAGE=a.jpg\n", "The file " + file + " is not a TPS file: it has no LM= line"},
        {"LM3=32\n",
         "The TPS file " + file + " holds landmarks in three dimensions (line 1); KESTRA uses two"},
        {"LM=2\n1 1\n2 2\nIMAGE=a.jpg\n",
         "The TPS file " + file + " holds 2 landmarks a specimen; KESTRA uses 32"},
        {lm + "IMAGE=b.jpg\n",
         "The TPS file " + file + " has no specimen for the picture \"a.jpg\""},
        {"LM=32\n1 1\n12,5 40\n",
         "The coordinates on line 3 of the TPS file " + file + " are not two numbers: \"12,5 40\""},
        {"LM=32\n1 1\n1 2 3\n",
         "The coordinates on line 3 of the TPS file " + file + " are not two numbers: \"1 2 3\""},
        {"LM=32\nnan 1\n",
         "The coordinates on line 2 of the TPS file " + file + " are not two numbers: \"nan 1\""},
        {"LM=32\n1 1\nIMAGE=a.jpg\n",
         "Line 1 of the TPS file " + file + " announces 32 coordinate lines, but 1 follow"},
        {lm + "CURVES=1\nPOINTS=4\n1 1\n",
         "Line 35 of the TPS file " + file + " announces 4 coordinate lines, but 1 follow"},
        {"LM=32\n480 330\n" + allButFirst + "IMAGE=a.jpg\n", ""},
        {"LM=32\n1e7 0\n" + allButFirst + "IMAGE=a.jpg\n", ""},
        {"LM=32\n10000000.5 0\n" + allButFirst + "IMAGE=a.jpg\n",
         "Landmark 1 (line 2) of the TPS file " + file +
             " lies far outside the picture of 400 x 300 pixels"},
        {"LM=32\n1 1e300\n" + allButFirst + "IMAGE=a.jpg\n",
         "Landmark 1 (line 2) of the TPS file " + file +
             " lies far outside the picture of 400 x 300 pixels"},
    };
    for (const auto& [text, message] : cases)
        EXPECT_EQ(readError(text), message) << text;
}

TEST(Tps, OnlyARegularFileOfSensibleSizeIsRead)
{
    const test::TempFolder folder;
    const fs::path fifo = folder / "pipe.tps";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path large = folder / "large.tps";
    std::ofstream(large) << "LM=32\n";
    fs::resize_file(large, MaxTpsFileBytes + 1); // sparse: costs no disk
    const fs::path missing = folder / "missing.tps";
    const TpsPicture picture{"a.jpg", 400, 300};
    const std::pair<fs::path, std::string> cases[] = {
        {fifo, "Cannot open file \"" + fifo.string() + "\". Not a regular file"},
        {folder, "Cannot open file \"" + folder.string() + "\". Not a regular file"},
        {large,
         "The file \"" + large.string() + "\" is larger than 64 MB, too large for a TPS file"},
        {missing, "Cannot open file \"" + missing.string() + "\". No such file or directory"},
    };
    for (const auto& [path, message] : cases)
        EXPECT_EQ(errorOf([&] { (void)LoadTpsLandmarks(path.string(), picture); }), message)
            << path;
}

TEST(Tps, FuzzFindingsStayMended)
{
    const fs::path findings = KESTRA_TEST_DATA "/fuzz/tps";
    if (!fs::exists(findings))
        GTEST_SKIP() << "no findings kept";
    for (const fs::directory_entry& entry : fs::directory_iterator(findings))
        (void)errorOf([&] {
            (void)ReadTpsLandmarks(readFile(entry.path()), "f.tps", {"a.jpg", 100, 100});
        });
}
