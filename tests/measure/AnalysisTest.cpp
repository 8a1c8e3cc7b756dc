#include "measure/Analysis.h"

#include "TestFiles.h"
#include "measure/Measurements.h"

#include <gtest/gtest.h>
#include <random>

using namespace kestra;

namespace {

int columnOf(const std::string& head)
{
    const std::vector<std::string>& heads = ResultHeads();
    for (std::size_t column = 0; column < heads.size(); ++column)
        if (heads[column] == head)
            return static_cast<int>(column);
    ADD_FAILURE() << "no column " << head;
    return 0;
}

class Analysis : public testing::Test {
protected:
    void place(int index, double x, double y)
    {
        landmarks.PointX[index] = x;
        landmarks.PointY[index] = y;
    }
    const std::string& cell(const std::string& head, int row = 0) const
    {
        return table.Cells(columnOf(head), row == 0 ? table.ResultCount() : row);
    }
    void run(double dpi = 300.0, std::string fileName = "/scans/leaf07.jpg",
             std::string_view separator = ".")
    {
        const auto rows = [this] {
            ++pictureAsked;
            return picture;
        };
        RunAnalysis(table, landmarks, {std::move(fileName), dpi, rows, separator});
    }

    ResultsTable table;
    Landmarks landmarks;
    PixelRows picture;
    int pictureAsked = 0;
};

} // namespace

TEST_F(Analysis, HeadsOfAllColumns)
{
    const std::vector<std::string>& heads = ResultHeads();
    ASSERT_EQ(heads.size(), 119u);
    EXPECT_EQ(heads[0], "No.");
    EXPECT_EQ(heads[1], "Name");
    EXPECT_EQ(heads[2], "Surface, cm2");
    EXPECT_EQ(heads[3], "OIV 601");
    EXPECT_EQ(heads[16], "OIV 612R");
    EXPECT_EQ(heads[21], "OIV 614L");
    EXPECT_EQ(heads[28], "OIV 607R");
    EXPECT_EQ(heads[37], "OIV 618aL");
    EXPECT_EQ(heads[38], "D 01-02");
    EXPECT_EQ(heads[56], "D 27-29");
    EXPECT_EQ(heads[57], "P(2).X");
    EXPECT_EQ(heads[58], "P(2).Y");
    EXPECT_EQ(heads[59], "P(3).X");
    EXPECT_EQ(heads[117], "P(32).X");
    EXPECT_EQ(heads[118], "P(32).Y");
    for (int column = 0; column < table.ColCount(); ++column)
        EXPECT_EQ(table.Cells(column, 0), heads[static_cast<std::size_t>(column)]);
}

TEST_F(Analysis, RowsAreAppendedOnePerRun)
{
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.Cells(0, 1), "");
    run();
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.ResultCount(), 1);
    run();
    run();
    EXPECT_EQ(table.RowCount(), 4);
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(table.Cells(0, row), std::to_string(row));
        for (int column = 1; column < table.ColCount(); ++column)
            EXPECT_EQ(table.Cells(column, row), table.Cells(column, 1)) << column;
    }
}

TEST_F(Analysis, EachRowKeepsTheLandmarksItWasMeasuredFrom)
{
    place(1, 100, 100);
    place(16, 10, 20);
    place(18, 30, 40);
    place(28, 50, 60);
    place(30, 70, 80);
    place(32, 640, 1);
    RunAnalysis(table, landmarks,
                {.FileName = "/scans/a.jpg",
                 .Dpi = 600.0,
                 .pictureRows = {},
                 .pictureWidth = 641,
                 .pictureHeight = 480});
    const Landmarks first = landmarks;
    place(1, 5, 5);
    RunAnalysis(table, landmarks, {.FileName = "b.bmp", .Dpi = 300.0, .pictureRows = {}});

    const RowLandmarks& kept = table.rowLandmarks(1);
    for (int n = 1; n <= LandmarkCount; ++n) {
        EXPECT_EQ(kept.points.PointX[n], first.PointX[n]) << n;
        EXPECT_EQ(kept.points.PointY[n], first.PointY[n]) << n;
    }
    // The midpoint the analysis left there is no landmark of the user's.
    EXPECT_NE(landmarks.PointX[AuxiliaryPoint], 0.0);
    EXPECT_TRUE(kept.points.IsPointMissing(AuxiliaryPoint));
    EXPECT_EQ(kept.pictureWidth, 641);
    EXPECT_EQ(kept.pictureHeight, 480);
    EXPECT_EQ(kept.Dpi, 600.0);
    EXPECT_EQ(kept.FileName, "/scans/a.jpg");
    EXPECT_EQ(table.rowLandmarks(2).points.PointX[1], 5.0);
    EXPECT_EQ(table.rowLandmarks(2).FileName, "b.bmp");
    EXPECT_THROW((void)table.rowLandmarks(0), std::out_of_range);
    EXPECT_THROW((void)table.rowLandmarks(3), std::out_of_range);
}

TEST_F(Analysis, NoLandmarksGiveNaEverywhereButNumberNameAndSurface)
{
    run();
    EXPECT_EQ(cell("No."), "1");
    EXPECT_EQ(cell("Name"), "leaf07.jpg");
    EXPECT_EQ(cell("Surface, cm2"), "0.00");
    for (int column = 3; column < table.ColCount(); ++column)
        EXPECT_EQ(table.Cells(column, 1), "NA") << column;
}

TEST_F(Analysis, DistancesScaleWithDpi)
{
    place(1, 100, 100);
    place(20, 100, 400);
    run(300.0);
    EXPECT_EQ(cell("OIV 601"), "25.40");
    run(254.0);
    EXPECT_EQ(cell("OIV 601"), "30.00");
    run(254.0, "/scans/leaf07.jpg", ",");
    EXPECT_EQ(cell("OIV 601"), "30,00");
}

TEST_F(Analysis, AnglesFoldIntoZeroTo180)
{
    place(1, 100, 100);
    place(20, 100, 0);
    place(3, 200, 100);
    run();
    EXPECT_EQ(cell("OIV 607R"), "90.00");
    place(20, 90, 200);
    place(3, 90, 0);
    run();
    EXPECT_EQ(cell("OIV 607R"), "168.58");
    place(3, 100, 200);
    place(20, 100, 300);
    run();
    EXPECT_EQ(cell("OIV 607R"), "0.00");
    place(20, 100, 0);
    run();
    EXPECT_EQ(cell("OIV 607R"), "180.00");
}

TEST_F(Analysis, AnglesStayWithinZeroTo180)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<int> coordinate(1, 3000);
    for (int round = 0; round < 50; ++round) {
        for (int n = 1; n <= LandmarkCount; ++n)
            place(n, coordinate(random), coordinate(random));
        run();
        for (int column = columnOf("OIV 607R"); column <= columnOf("OIV 618aL"); ++column) {
            const double angle = std::stod(table.Cells(column, table.ResultCount()));
            EXPECT_TRUE(angle >= 0.0 && angle <= 180.0) << angle;
        }
    }
}

TEST_F(Analysis, AuxiliaryMidpointNeedsBothLandmarks)
{
    place(17, 100, 100);
    run();
    EXPECT_EQ(cell("OIV 612R"), "NA"); // both ends of the midpoint missing
    place(16, 200, 100);
    run();
    EXPECT_EQ(cell("OIV 612R"), "NA"); // one end missing
    place(18, 200, 400);
    run(254.0);
    EXPECT_EQ(cell("OIV 612R"), "18.03"); // (100,100) to (200,250): 180.28 px
    place(28, 10, 20);
    place(30, 30, 40);
    run();
    EXPECT_EQ(landmarks.PointX[AuxiliaryPoint], 20.0);
    EXPECT_EQ(landmarks.PointY[AuxiliaryPoint], 30.0);
}

TEST_F(Analysis, RelativePositionsNeedP1)
{
    place(5, 130, 90);
    run();
    EXPECT_EQ(cell("P(5).X"), "NA");
    EXPECT_EQ(cell("P(5).Y"), "NA");
    place(1, 100, 100);
    run();
    EXPECT_EQ(cell("P(5).X"), "30");
    EXPECT_EQ(cell("P(5).Y"), "-10");
    EXPECT_EQ(cell("P(6).X"), "NA");
    EXPECT_EQ(cell("P(32).Y"), "NA");
}

TEST_F(Analysis, NameOfThePicture)
{
    EXPECT_EQ(NameCell("C:\\scans\\leaf07.jpg"), "leaf07.jpg");
    EXPECT_EQ(NameCell("/home/ana/scans/leaf07.jpg"), "leaf07.jpg");
    EXPECT_EQ(NameCell("C:leaf.bmp"), "leaf.bmp");
    EXPECT_EQ(NameCell("/scans/12:30 leaf.bmp"), "12:30 leaf.bmp");
    EXPECT_EQ(NameCell("/scans/levél.jpg"), "levél.jpg");
    EXPECT_EQ(NameCell("/scans/leaf"), "E:Name");
    EXPECT_EQ(NameCell("/scans.d/leaf"), "E:Name");
    EXPECT_EQ(NameCell("/scans/.jpg"), "E:Name");
    EXPECT_EQ(NameCell(""), "E:Name");
    run(300.0, "");
    EXPECT_EQ(cell("Name"), "E:Name");
}

TEST_F(Analysis, PutDistanceAndPutAngleMarkers)
{
    place(1, 10, 10);
    place(2, 20, 10);
    ResultRow row(landmarks, ".");
    row.PutDistance(1, 34, 5, 1.0);
    row.PutDistance(0, 2, 6, 1.0);
    row.PutDistance(1, 3, 7, 1.0);
    row.PutDistance(1, 2, 8, 1.0);
    row.PutAngle(1, 2, 1, 40, 9);
    row.PutAngle(1, 2, 1, 3, 10);
    row.PutAngle(1, 2, 1, 2, 11);
    row.PutDistance(1, 2, 0, 1.0);   // column 0 is the row number: not written
    row.PutDistance(1, 2, 119, 1.0); // beyond the table
    row.PutAngle(1, 2, 1, 2, -1);
    const std::vector<std::string>& cells = row.cells();
    EXPECT_EQ(cells[5], "E:NA");
    EXPECT_EQ(cells[6], "E:NA");
    EXPECT_EQ(cells[7], "NA");
    EXPECT_EQ(cells[8], "10.00");
    EXPECT_EQ(cells[9], "E:NA");
    EXPECT_EQ(cells[10], "NA");
    EXPECT_EQ(cells[11], "0.00");
    EXPECT_EQ(cells[0], "");
}

TEST_F(Analysis, SurfaceIsCountedFromThePicture)
{
    std::vector<std::uint8_t> pixels(10 * 10 * 4, 0xff);
    for (int i = 0; i < 25; ++i)
        pixels[static_cast<std::size_t>(i * 4 + 1)] = 0;
    picture = {pixels.data(), 10, 10, 40};
    run(254.0, "/a/b.bmp", ",");
    EXPECT_EQ(cell("Surface, cm2"), "0,00");
    run(2.54);
    EXPECT_EQ(cell("Surface, cm2"), "25.00");
}

TEST_F(Analysis, ImpossibleDpiChangesNothing)
{
    place(1, 100, 100);
    place(20, 100, 400);
    place(16, 1, 1);
    place(18, 3, 3);
    landmarks.PointX[AuxiliaryPoint] = 7.0;
    std::vector<std::uint8_t> black(4, 0);
    picture = {black.data(), 1, 1, 4};
    const std::pair<double, const char*> refused[] = {
        {0.0, "The DPI must be a number greater than 0"},
        {-300.0, "The DPI must be a number greater than 0"},
        {1e-310, "Floating point overflow"}, // the scale factor
        {1e-160, "Floating point overflow"}, // the area of one pixel
    };
    for (const auto& [dpi, message] : refused) {
        EXPECT_EQ(test::errorOf([&] { run(dpi); }), message) << dpi;
        EXPECT_EQ(table.ResultCount(), 0);
        EXPECT_EQ(table.RowCount(), 2);
        EXPECT_EQ(table.Cells(0, 1), "");
        EXPECT_EQ(landmarks.PointX[AuxiliaryPoint], 7.0);
        EXPECT_THROW((void)table.rowLandmarks(1), std::out_of_range);
    }
    EXPECT_EQ(pictureAsked, 0); // refused before the picture was touched
    run(300.0);
    EXPECT_EQ(table.ResultCount(), 1);
}
