#include "measure/LandmarkRecorder.h"

#include "measure/MainState.h"

#include <array>
#include <gtest/gtest.h>
#include <utility>

using namespace kestra;

namespace {

void expectListAllZero(const LandmarkRecorder& recorder)
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        EXPECT_EQ(recorder.coordinates().Cell(1, n), "0") << n;
        EXPECT_EQ(recorder.coordinates().Cell(2, n), "0") << n;
    }
}

LandmarkRecorder recordingAt(int landmark)
{
    LandmarkRecorder recorder;
    recorder.startStop();
    recorder.startStop();
    while (recorder.CurrentPoint != landmark)
        recorder.nextPoint();
    return recorder;
}

} // namespace

TEST(MainState, StartValues)
{
    const MainState state;
    EXPECT_EQ(state.FileName, "");
    EXPECT_EQ(state.Dpi, 300.0);
    EXPECT_EQ(state.Landmarks.CurrentPoint, -1);
    EXPECT_EQ(state.ZoomPercent, 100);
    EXPECT_EQ(state.Results.ResultCount(), 0);
    EXPECT_EQ(state.Pan.DragStartX, 0);
    EXPECT_EQ(state.Pan.DragScrollY, 0);
    EXPECT_FALSE(state.Pan.Dragging);
    for (int i = 1; i <= AuxiliaryPoint; ++i)
        EXPECT_TRUE(state.Landmarks.points.PointX[i] == 0.0 &&
                    state.Landmarks.points.PointY[i] == 0.0);
}

TEST(LandmarkRecorder, FirstStartStopOnlyStopsTheSecondStarts)
{
    LandmarkRecorder recorder;
    const TextGrid& list = recorder.coordinates();
    EXPECT_EQ(list.ColCount(), 3);
    EXPECT_EQ(list.RowCount(), 33);
    EXPECT_EQ(list.Cell(0, 0), "Points");
    EXPECT_EQ(list.Cell(1, 0), "X");
    EXPECT_EQ(list.Cell(2, 0), "Y");
    EXPECT_EQ(list.Cell(0, 1), "P(1)");
    EXPECT_EQ(list.Cell(0, 32), "P(32)");
    expectListAllZero(recorder);
    EXPECT_EQ(recorder.statusText(), "Recorded coordinates");
    EXPECT_FALSE(recorder.nextPointAvailable());

    recorder.startStop();
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Idle);
    EXPECT_EQ(recorder.statusText(), "Recorded coordinates");
    EXPECT_FALSE(recorder.nextPointAvailable());

    recorder.startStop();
    EXPECT_EQ(recorder.CurrentPoint, 1);
    EXPECT_EQ(recorder.statusText(), "Reading P(1) ...");
    EXPECT_TRUE(recorder.nextPointAvailable());
}

TEST(LandmarkRecorder, NextPointAndF8StepAndWrapOnlyWhileRecording)
{
    LandmarkRecorder recorder;
    recorder.keyReleased(LandmarkRecorder::KeyF8);
    recorder.nextPoint();
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Reset);
    recorder.startStop();
    recorder.keyReleased(LandmarkRecorder::KeyF8);
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Idle);

    recorder.startStop();
    recorder.keyReleased(118); // F7
    EXPECT_EQ(recorder.CurrentPoint, 1);
    recorder.keyReleased(LandmarkRecorder::KeyF8);
    EXPECT_EQ(recorder.statusText(), "Reading P(2) ...");
    for (int i = 0; i < 30; ++i)
        recorder.nextPoint();
    EXPECT_EQ(recorder.statusText(), "Reading P(32) ...");
    recorder.nextPoint();
    EXPECT_EQ(recorder.statusText(), "Reading P(1) ...");
}

TEST(LandmarkRecorder, PreviousPointAndJumpMoveOnlyWhileRecording)
{
    LandmarkRecorder recorder;
    for (const std::int32_t idleOrReset : {LandmarkRecorder::Reset, LandmarkRecorder::Idle}) {
        recorder.previousPoint();
        recorder.jumpTo(17);
        EXPECT_EQ(recorder.CurrentPoint, idleOrReset);
        EXPECT_EQ(recorder.statusText(), "Recorded coordinates");
        recorder.startStop();
    }

    ASSERT_EQ(recorder.CurrentPoint, 1);
    recorder.previousPoint();
    EXPECT_EQ(recorder.statusText(), "Reading P(32) ...");
    recorder.previousPoint();
    EXPECT_EQ(recorder.statusText(), "Reading P(31) ...");
    recorder.jumpTo(17);
    EXPECT_EQ(recorder.statusText(), "Reading P(17) ...");
    for (const std::int32_t outside : {0, 33, -1, 99}) {
        recorder.jumpTo(outside);
        EXPECT_EQ(recorder.CurrentPoint, 17) << outside;
    }
    EXPECT_TRUE(recorder.recordRelease(40, 50, 100));
    EXPECT_EQ(recorder.points.PointX[17], 40.0);
    EXPECT_EQ(recorder.coordinates().Cell(2, 17), "50");
}

TEST(LandmarkRecorder, SteppingOnMovesAfterEachRecordingAndStopsAtTheLast)
{
    LandmarkRecorder recorder = recordingAt(31);
    recorder.setStepOnAfterClick(true);
    EXPECT_TRUE(recorder.recordRelease(10, 20, 100));
    EXPECT_EQ(recorder.recordedText(), "Recorded P(31) at 10,20");
    EXPECT_EQ(recorder.statusText(), "Reading P(32) ...");
    EXPECT_TRUE(recorder.recordRelease(30, 40, 50));
    EXPECT_EQ(recorder.statusText(), "Recorded P(32) at 60,80");
    EXPECT_EQ(recorder.CurrentPoint, 32);
    // A stray click overwrites P(32) again, never P(1).
    EXPECT_TRUE(recorder.recordRelease(1, 2, 100));
    EXPECT_EQ(recorder.CurrentPoint, 32);
    EXPECT_EQ(recorder.coordinates().Cell(1, 1), "0");
    // F8 still skips, and wraps.
    recorder.nextPoint();
    EXPECT_EQ(recorder.statusText(), "Reading P(1) ...");

    recorder.setStepOnAfterClick(false);
    EXPECT_TRUE(recorder.recordRelease(5, 5, 100));
    EXPECT_EQ(recorder.statusText(), "Recorded P(1) at 5,5");
    EXPECT_EQ(recorder.CurrentPoint, 1);
}

TEST(LandmarkRecorder, TakenLandmarksReplaceAllAndStopRecording)
{
    LandmarkRecorder recorder = recordingAt(5);
    recorder.recordRelease(7, 8, 100);
    Landmarks loaded;
    loaded.PointX[1] = 120;
    loaded.PointY[1] = 340;
    loaded.PointX[32] = 5;
    loaded.PointX[AuxiliaryPoint] = 99; // not a landmark: never taken
    recorder.takeLandmarks(loaded);
    EXPECT_EQ(recorder.coordinates().Cell(1, 1), "120");
    EXPECT_EQ(recorder.coordinates().Cell(2, 1), "340");
    EXPECT_EQ(recorder.coordinates().Cell(1, 5), "0");
    EXPECT_EQ(recorder.coordinates().Cell(1, 32), "5");
    EXPECT_TRUE(recorder.points.IsPointMissing(5));
    EXPECT_EQ(recorder.points.PointX[AuxiliaryPoint], 0.0);
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Idle);
    EXPECT_EQ(recorder.statusText(), "Recorded coordinates");
    EXPECT_FALSE(recorder.nextPointAvailable());
    recorder.startStop();
    EXPECT_EQ(recorder.statusText(), "Reading P(1) ...");
}

TEST(LandmarkRecorder, ReleaseOverwritesTheCurrentLandmarkWithoutMovingOn)
{
    LandmarkRecorder recorder = recordingAt(5);
    EXPECT_TRUE(recorder.recordRelease(40, 50, 100));
    EXPECT_TRUE(recorder.recordRelease(101, 33, 50));
    EXPECT_EQ(recorder.CurrentPoint, 5);
    EXPECT_EQ(recorder.points.PointX[5], 202.0);
    EXPECT_EQ(recorder.points.PointY[5], 66.0);
    EXPECT_EQ(recorder.coordinates().Cell(1, 5), "202");
    EXPECT_EQ(recorder.coordinates().Cell(2, 5), "66");
    EXPECT_EQ(recorder.statusText(), "Recorded P(5) at 202,66");

    // Not clamped to the picture: negative and far-off positions stand as they are.
    EXPECT_TRUE(recorder.recordRelease(-3, 900000, 200));
    EXPECT_EQ(recorder.coordinates().Cell(1, 5), "-1");
    EXPECT_EQ(recorder.coordinates().Cell(2, 5), "450000");
    EXPECT_EQ(recorder.statusText(), "Recorded P(5) at -1,450000");

    // (0, 0) is recorded like any position but counts as missing.
    EXPECT_TRUE(recorder.recordRelease(0, 0, 100));
    EXPECT_TRUE(recorder.points.IsPointMissing(5));
    EXPECT_EQ(recorder.coordinates().Cell(1, 5), "0");
}

TEST(LandmarkRecorder, ReleasesOutsideRecordingRecordNothing)
{
    LandmarkRecorder recorder;
    EXPECT_FALSE(recorder.recordRelease(10, 10, 100));
    recorder.startStop();
    EXPECT_FALSE(recorder.recordRelease(10, 10, 100));
    EXPECT_TRUE(recorder.points.IsPointMissing(1));
    EXPECT_EQ(recorder.statusText(), "Recorded coordinates");
}

TEST(LandmarkRecorder, ResetDuringRecordingKeepsNextPointAvailable)
{
    LandmarkRecorder recorder = recordingAt(7);
    EXPECT_TRUE(recorder.recordRelease(12, 13, 100));
    recorder.points.PointX[AuxiliaryPoint] = 4.5;
    recorder.ResetPoints();
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Reset);
    EXPECT_EQ(recorder.statusText(), "Recorded coordinates");
    EXPECT_TRUE(recorder.nextPointAvailable());
    EXPECT_EQ(recorder.points.PointX[AuxiliaryPoint], 4.5); // reset leaves point 33
    expectListAllZero(recorder);

    recorder.nextPoint();
    recorder.keyReleased(LandmarkRecorder::KeyF8);
    EXPECT_FALSE(recorder.recordRelease(1, 1, 100));
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Reset);

    recorder.startStop();
    EXPECT_FALSE(recorder.nextPointAvailable());
    recorder.startStop();
    EXPECT_EQ(recorder.statusText(), "Reading P(1) ...");
}

TEST(LandmarkRecorder, StopAndStartKeepRecordedLandmarks)
{
    LandmarkRecorder recorder = recordingAt(3);
    EXPECT_TRUE(recorder.recordRelease(30, 40, 100));
    recorder.startStop();
    recorder.startStop();
    EXPECT_EQ(recorder.CurrentPoint, 1);
    EXPECT_EQ(recorder.points.PointX[3], 30.0);
    EXPECT_EQ(recorder.coordinates().Cell(2, 3), "40");
}

TEST(LandmarkRecorder, SuggestionsFillOnlyWhatTheUserLeftAndAClickConfirmsThem)
{
    LandmarkRecorder recorder = recordingAt(2);
    EXPECT_TRUE(recorder.recordRelease(70, 80, 100)); // P(2), the user's own
    recorder.setStepOnAfterClick(true);
    Landmarks found;
    for (const int n : {1, 2, 3, 9, 31, 32}) {
        found.PointX[n] = 10.0 * n;
        found.PointY[n] = 5.0;
    }
    recorder.suggest(found);
    EXPECT_EQ(recorder.points.PointX[2], 70.0);
    EXPECT_FALSE(recorder.isSuggested(2));
    EXPECT_TRUE(recorder.isSuggested(3));
    EXPECT_EQ(recorder.coordinates().Cell(0, 3), "P(3)?");
    EXPECT_EQ(recorder.coordinates().Cell(0, 2), "P(2)");
    EXPECT_EQ(recorder.placedPoints().PointX[3], 0.0);
    EXPECT_EQ(recorder.suggestedPoints().PointX[3], 30.0);
    EXPECT_EQ(recorder.suggestedPoints().PointX[2], 0.0);
    // Recording goes on at the first landmark still missing.
    EXPECT_EQ(recorder.CurrentPoint, 4);
    EXPECT_EQ(recorder.statusText(), "Reading P(4) ...");

    // A suggestion corrected: confirmed, and on to the next one missing.
    recorder.jumpTo(3);
    EXPECT_TRUE(recorder.recordRelease(33, 6, 100));
    EXPECT_FALSE(recorder.isSuggested(3));
    EXPECT_EQ(recorder.coordinates().Cell(0, 3), "P(3)");
    EXPECT_EQ(recorder.CurrentPoint, 4);

    // Halves swapped with their marks; P(2)'s partner is P(6).
    std::array<int, LandmarkCount> swapped{};
    for (int n = 1; n <= LandmarkCount; ++n)
        swapped[static_cast<std::size_t>(n - 1)] = n;
    std::swap(swapped[1], swapped[5]);
    std::swap(swapped[8], swapped[30]);
    recorder.reorder(swapped);
    EXPECT_EQ(recorder.points.PointX[6], 70.0);
    EXPECT_FALSE(recorder.isSuggested(6));
    EXPECT_EQ(recorder.points.PointX[31], 90.0);
    EXPECT_TRUE(recorder.isSuggested(31));
    EXPECT_EQ(recorder.points.PointX[9], 310.0);
    EXPECT_TRUE(recorder.isSuggested(9));
    EXPECT_EQ(recorder.CurrentPoint, 2);

    // A new suggestion replaces the old ones, not the user's; with nothing
    // missing, recording stops, so that a stray click changes nothing.
    Landmarks everywhere;
    for (int n = 1; n <= LandmarkCount; ++n)
        everywhere.PointX[n] = everywhere.PointY[n] = n + 100.0;
    recorder.suggest(everywhere);
    EXPECT_EQ(recorder.points.PointX[6], 70.0);
    EXPECT_EQ(recorder.points.PointX[31], 131.0);
    EXPECT_EQ(recorder.CurrentPoint, LandmarkRecorder::Idle);
    EXPECT_FALSE(recorder.recordRelease(1, 1, 100));

    // Analyze takes them as they stand; a reset forgets every mark.
    EXPECT_TRUE(recorder.confirmSuggestions());
    EXPECT_FALSE(recorder.confirmSuggestions());
    EXPECT_EQ(recorder.placedPoints().PointX[31], 131.0);
    recorder.suggest(found);
    recorder.ResetPoints();
    for (int n = 1; n <= LandmarkCount; ++n)
        EXPECT_FALSE(recorder.isSuggested(n)) << n;
    EXPECT_EQ(recorder.coordinates().Cell(0, 1), "P(1)");
}

TEST(DisplayToPicture, TruncatesTowardZeroAtEveryZoom)
{
    EXPECT_EQ(DisplayToPicture(101, 50), 202);
    EXPECT_EQ(DisplayToPicture(33, 50), 66);
    EXPECT_EQ(DisplayToPicture(10, 75), 13);
    EXPECT_EQ(DisplayToPicture(3, 25), 12);
    EXPECT_EQ(DisplayToPicture(10, 125), 8);
    EXPECT_EQ(DisplayToPicture(1, 175), 0);
    EXPECT_EQ(DisplayToPicture(-3, 200), -1);
    // Inside a control of width floor(w * zoom / 100) every x lands on a picture column.
    const int width = 1001;
    for (int zoom = 25; zoom <= 200; zoom += 25) {
        const int displayWidth = width * zoom / 100;
        for (int x = 0; x < displayWidth; ++x) {
            const int picture = DisplayToPicture(x, zoom);
            ASSERT_TRUE(picture >= 0 && picture < width) << zoom << " " << x;
        }
    }
}
