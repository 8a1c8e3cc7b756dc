#include "measure/LandmarkRecorder.h"

#include "measure/DecimalText.h"

namespace kestra {
namespace {

constexpr const char* RecordedText = "Recorded coordinates";

std::string readingText(std::int32_t landmark)
{
    return "Reading P(" + IntegerText(landmark) + ") ...";
}

} // namespace

LandmarkRecorder::LandmarkRecorder() : coordinates_(3, LandmarkCount + 1)
{
    coordinates_.SetCell(0, 0, "Points");
    coordinates_.SetCell(1, 0, "X");
    coordinates_.SetCell(2, 0, "Y");
    for (int n = 1; n <= LandmarkCount; ++n)
        coordinates_.SetCell(0, n, "P(" + IntegerText(n) + ")");
    ResetPoints();
}

void LandmarkRecorder::ResetPoints()
{
    setPoints(Landmarks());
    CurrentPoint = Reset;
    statusText_ = RecordedText;
}

void LandmarkRecorder::takeLandmarks(const Landmarks& landmarks)
{
    setPoints(landmarks);
    stop();
}

void LandmarkRecorder::setPoints(const Landmarks& landmarks)
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        points.PointX[n] = landmarks.PointX[n];
        points.PointY[n] = landmarks.PointY[n];
        showCoordinates(n);
    }
}

void LandmarkRecorder::stop()
{
    CurrentPoint = Idle;
    statusText_ = RecordedText;
    nextPointAvailable_ = false;
}

bool LandmarkRecorder::isRecording() const
{
    return CurrentPoint >= 1 && CurrentPoint <= LandmarkCount;
}

void LandmarkRecorder::startStop()
{
    if (CurrentPoint <= LandmarkCount) {
        stop();
    } else {
        CurrentPoint = 1;
        statusText_ = readingText(CurrentPoint);
        nextPointAvailable_ = true;
    }
}

void LandmarkRecorder::nextPoint()
{
    if (!isRecording())
        return;
    CurrentPoint = CurrentPoint == LandmarkCount ? 1 : CurrentPoint + 1;
    statusText_ = readingText(CurrentPoint);
}

void LandmarkRecorder::previousPoint()
{
    if (!isRecording())
        return;
    CurrentPoint = CurrentPoint == 1 ? LandmarkCount : CurrentPoint - 1;
    statusText_ = readingText(CurrentPoint);
}

void LandmarkRecorder::jumpTo(std::int32_t landmark)
{
    if (!isRecording() || landmark < 1 || landmark > LandmarkCount)
        return;
    CurrentPoint = landmark;
    statusText_ = readingText(CurrentPoint);
}

void LandmarkRecorder::keyReleased(std::uint16_t keyCode)
{
    if (keyCode == KeyF8 && isRecording())
        nextPoint();
}

bool LandmarkRecorder::recordRelease(std::int32_t displayX, std::int32_t displayY,
                                     std::int32_t zoomPercent)
{
    if (!isRecording())
        return false;
    const std::int32_t x = DisplayToPicture(displayX, zoomPercent);
    const std::int32_t y = DisplayToPicture(displayY, zoomPercent);
    points.PointX[CurrentPoint] = x;
    points.PointY[CurrentPoint] = y;
    showCoordinates(CurrentPoint);
    recordedText_ =
        "Recorded P(" + IntegerText(CurrentPoint) + ") at " + IntegerText(x) + "," + IntegerText(y);
    statusText_ = recordedText_;
    if (stepOnAfterClick_ && CurrentPoint < LandmarkCount)
        nextPoint();
    return true;
}

void LandmarkRecorder::showCoordinates(int landmark)
{
    coordinates_.SetCell(1, landmark,
                         IntegerText(static_cast<std::int64_t>(points.PointX[landmark])));
    coordinates_.SetCell(2, landmark,
                         IntegerText(static_cast<std::int64_t>(points.PointY[landmark])));
}

std::int32_t DisplayToPicture(std::int32_t display, std::int32_t zoomPercent)
{
    // Widened so that a far-off display position cannot overflow; C++ division
    // truncates toward zero, as the view's rule wants (-3 at 200 % is -1).
    return static_cast<std::int32_t>(static_cast<std::int64_t>(display) * 100 / zoomPercent);
}

} // namespace kestra
