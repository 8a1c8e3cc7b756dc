#include "measure/Geometry.h"

#include "TestFiles.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace kestra;

using test::landmarksAt;

TEST(Geometry, DistanceIsSymmetricAndZeroToItself)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coordinate(-5000, 5000);
    Landmarks landmarks;
    for (int i = 1; i <= AuxiliaryPoint; ++i) {
        landmarks.PointX[i] = coordinate(random);
        landmarks.PointY[i] = coordinate(random);
    }
    for (int a = 1; a <= AuxiliaryPoint; ++a) {
        EXPECT_EQ(PointDistance(landmarks, a, a), 0.0);
        for (int b = 1; b <= AuxiliaryPoint; ++b)
            EXPECT_EQ(PointDistance(landmarks, a, b), PointDistance(landmarks, b, a));
    }
}

TEST(Geometry, DistanceAndItsIndexRange)
{
    const Landmarks landmarks = landmarksAt({{1, 100, 100}, {2, 103, 104}, {33, 100, 96}});
    EXPECT_EQ(PointDistance(landmarks, 1, 2), 5.0);
    EXPECT_EQ(PointDistance(landmarks, 1, 33), 4.0); // the auxiliary point is accepted
    EXPECT_EQ(PointDistance(landmarks, 3, 1), 141.42135623730951); // unrecorded counts as (0, 0)
    EXPECT_EQ(PointDistance(landmarks, 0, 1), -1.0);
    EXPECT_EQ(PointDistance(landmarks, 1, 34), -1.0);
}

TEST(Geometry, MidpointsAcceptOnlyUserLandmarks)
{
    const Landmarks landmarks = landmarksAt({{10, 100, 7}, {12, 105, 8}, {32, 1, 1}});
    EXPECT_EQ(MidpointX(landmarks, 10, 12), 102.5);
    EXPECT_EQ(MidpointY(landmarks, 10, 12), 7.5);
    EXPECT_EQ(MidpointX(landmarks, 16, 33), -1.0);
    EXPECT_EQ(MidpointY(landmarks, 0, 12), -1.0);
    EXPECT_EQ(MidpointX(landmarks, 32, 32), 1.0);
}

TEST(Geometry, DirectionAngleGrowsTowardsIncreasingY)
{
    const Landmarks landmarks =
        landmarksAt({{1, 10, 10}, {2, 20, 10}, {3, 10, 20}, {4, 10, 0}, {5, 0, 10}});
    EXPECT_EQ(DirectionAngle(landmarks, 1, 2), 0.0);
    EXPECT_EQ(DirectionAngle(landmarks, 1, 3), 90.0);
    EXPECT_EQ(DirectionAngle(landmarks, 1, 4), -90.0);
    EXPECT_EQ(DirectionAngle(landmarks, 1, 5), 180.0);
    EXPECT_EQ(DirectionAngle(landmarks, 1, 33), -1.0);
    for (int b = 2; b <= 5; ++b)
        EXPECT_NEAR(std::fabs(DirectionAngle(landmarks, 1, b) - DirectionAngle(landmarks, b, 1)),
                    180.0, 1e-12);
}

TEST(Geometry, ScaleFactorAndItsErrors)
{
    EXPECT_DOUBLE_EQ(ScaleFactor(300.0), 0.084666666666666667);
    EXPECT_TRUE(ScaleFactor(254.0) == 0.1 || std::nextafter(ScaleFactor(254.0), 1.0) == 0.1);
    EXPECT_NEAR(100 * ScaleFactor(254.0), 10.0, 1e-14);
    EXPECT_LT(ScaleFactor(-254.0), 0.0);
    EXPECT_EQ(test::errorOf([] { (void)ScaleFactor(0.0); }), "Floating point division by zero");
    EXPECT_EQ(test::errorOf([] { (void)ScaleFactor(1e-310); }), "Floating point overflow");
}

TEST(Geometry, MissingMeansOutOfRangeOrBothCoordinatesZero)
{
    Landmarks landmarks = landmarksAt({{4, 0, 5}, {6, 5, 0}, {7, -1, 1}});
    for (const int index : {0, 34, -5, 1, 32, 33})
        EXPECT_TRUE(landmarks.IsPointMissing(index)) << index;
    for (const int index : {4, 6, 7})
        EXPECT_FALSE(landmarks.IsPointMissing(index)) << index;
    landmarks.PointX[33] = 0.5;
    EXPECT_FALSE(landmarks.IsPointMissing(33));
}
