#include "measure/ResultsExport.h"

#include "TestFiles.h"
#include "measure/Analysis.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace kestra;
using test::readFile;
using test::writeFile;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        result.push_back(text.substr(start, end - start));
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return result;
}

class Export : public testing::Test {
protected:
    void analyse(const std::string& fileName, std::string_view separator = ".")
    {
        RunAnalysis(table, landmarks, {fileName, 254.0, {}, separator});
    }
    std::string errorOf(const std::string& path)
    {
        return test::errorOf([&] { ExportResults(table, path); });
    }

    const test::TempFolder folder;
    ResultsTable table;
    Landmarks landmarks;
};

} // namespace

TEST_F(Export, HeadsAndAnEmptyRowBeforeAnyAnalysis)
{
    const std::string text = ResultsText(table);
    const std::vector<std::string> all = lines(text);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].rfind("No.\tName\tSurface, cm2\tOIV 601\t", 0), 0u);
    EXPECT_TRUE(all[0].ends_with("\tP(32).X\tP(32).Y\t"));
    EXPECT_EQ(all[1], std::string(119, '\t'));
}

TEST_F(Export, EveryLineHolds119TabsAndRowsKeepTheirOrder)
{
    landmarks.PointX[1] = 100;
    landmarks.PointY[1] = 100;
    landmarks.PointX[20] = 100;
    landmarks.PointY[20] = 400;
    analyse("/scans/levél 1.jpg", ",");
    analyse("/scans/leaf");
    analyse("/scans/leaf2.bmp");
    const std::vector<std::string> all = lines(ResultsText(table));
    ASSERT_EQ(all.size(), 4u);
    for (const std::string& line : all) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 119);
        EXPECT_EQ(line.back(), '\t');
    }
    EXPECT_EQ(all[1].rfind("1\tlevél 1.jpg\t0,00\t30,00\tNA\t", 0), 0u);
    EXPECT_EQ(all[2].rfind("2\tE:Name\t0.00\t30.00\t", 0), 0u);
    EXPECT_EQ(all[3].rfind("3\tleaf2.bmp\t", 0), 0u);
}

TEST_F(Export, TheFileHoldsTheSameBytesAsEver)
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        landmarks.PointX[n] = 100 + 7 * n;
        landmarks.PointY[n] = 900 - 13 * n + (n % 3) * 5;
    }
    landmarks.PointX[5] = 0;
    landmarks.PointY[5] = 0;
    RunAnalysis(table, landmarks, {"/scans/levél 1.jpg", 300.0, {}, ","});
    landmarks.PointX[20] = 0;
    landmarks.PointY[20] = 0;
    RunAnalysis(table, landmarks, {"/scans/leaf", 254.0, {}, "."});
    landmarks.PointX[1] = 0;
    landmarks.PointY[1] = 0;
    RunAnalysis(table, landmarks, {"C:leaf2.bmp", 600.0, {}, "."});
    const fs::path target = folder / "results.txt";
    ExportResults(table, target.string());
    EXPECT_EQ(readFile(target), readFile(KESTRA_TEST_DATA "/measure/results-three-rows.txt"));
}

TEST_F(Export, WritesTheFileAndReplacesAnOldOneWhole)
{
    analyse("/scans/a.jpg");
    const fs::path target = folder / "results.txt";
    writeFile(target, std::string(100000, 'x'));
    ExportResults(table, target.string());
    EXPECT_EQ(readFile(target), ResultsText(table));
    ExportResults(table, target.string());
    EXPECT_EQ(readFile(target), ResultsText(table)); // saving twice gives the same bytes
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(Export, ReplacesTheFileALinkPointsTo)
{
    const fs::path real = folder / "real.txt";
    const fs::path link = folder / "link.txt";
    writeFile(real, "old");
    fs::create_symlink(real, link);
    ExportResults(table, link.string());
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(real), ResultsText(table));
}

TEST_F(Export, FailuresAreReportedAndKeepTheOldFile)
{
    const fs::path missingFolder = folder / "gone" / "results.txt";
    EXPECT_EQ(errorOf(missingFolder.string()),
              "Cannot write file \"" + missingFolder.string() + "\". No such file or directory");
    EXPECT_EQ(errorOf(folder.string()),
              "Cannot write file \"" + folder.string() + "\". Not a regular file");
    EXPECT_EQ(errorOf(""), "Cannot write file \"\". No such file or directory");
}

TEST_F(Export, ReadOnlyFileKeepsItsContents)
{
    const fs::path target = folder / "kept.txt";
    writeFile(target, "old results");
    fs::permissions(target, fs::perms::owner_read);
    if (std::ofstream(target, std::ios::app)) {
        fs::permissions(target, fs::perms::owner_all);
        GTEST_SKIP() << "running with rights that write to read-only files";
    }
    EXPECT_EQ(errorOf(target.string()),
              "Cannot write file \"" + target.string() + "\". Permission denied");
    EXPECT_EQ(readFile(target), "old results");
}
