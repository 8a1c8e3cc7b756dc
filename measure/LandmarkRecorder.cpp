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
    ResetPoints();
}

void LandmarkRecorder::ResetPoints()
{
    clearSuggestions();
    setPoints(Landmarks());
    CurrentPoint = Reset;
    statusText_ = RecordedText;
}

void LandmarkRecorder::takeLandmarks(const Landmarks& landmarks)
{
    clearSuggestions();
    setPoints(landmarks);
    stop();
}

void LandmarkRecorder::clearSuggestions()
{
    suggested_.fill(false);
    hadSuggestions_ = false;
}

void LandmarkRecorder::suggest(const Landmarks& suggestions)
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (!points.IsPointMissing(n) && !suggested_[static_cast<std::size_t>(n)])
            continue;
        const bool found = !suggestions.IsPointMissing(n);
        points.PointX[n] = found ? suggestions.PointX[n] : 0.0;
        points.PointY[n] = found ? suggestions.PointY[n] : 0.0;
        suggested_[static_cast<std::size_t>(n)] = found;
        showCoordinates(n);
    }
    hadSuggestions_ = true;
    goOnAtFirstMissing();
}

bool LandmarkRecorder::isSuggested(int landmark) const
{
    return landmark >= 1 && landmark <= LandmarkCount &&
           suggested_[static_cast<std::size_t>(landmark)];
}

bool LandmarkRecorder::confirmSuggestions()
{
    bool any = false;
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (!isSuggested(n))
            continue;
        suggested_[static_cast<std::size_t>(n)] = false;
        showCoordinates(n);
        any = true;
    }
    return any;
}

Landmarks LandmarkRecorder::placedPoints() const
{
    Landmarks placed = points;
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (isSuggested(n))
            placed.PointX[n] = placed.PointY[n] = 0.0;
    }
    return placed;
}

Landmarks LandmarkRecorder::suggestedPoints() const
{
    Landmarks suggested;
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (!isSuggested(n))
            continue;
        suggested.PointX[n] = points.PointX[n];
        suggested.PointY[n] = points.PointY[n];
    }
    return suggested;
}

void LandmarkRecorder::reorder(const std::array<int, LandmarkCount>& from)
{
    for (const int source : from) {
        if (source < 1 || source > LandmarkCount)
            return; // not a reordering of P(1) to P(32): nothing moves
    }
    const Landmarks before = points;
    const std::array<bool, LandmarkCount + 1> wasSuggested = suggested_;
    for (int n = 1; n <= LandmarkCount; ++n) {
        const int source = from[static_cast<std::size_t>(n - 1)];
        points.PointX[n] = before.PointX[source];
        points.PointY[n] = before.PointY[source];
        suggested_[static_cast<std::size_t>(n)] = wasSuggested[static_cast<std::size_t>(source)];
        showCoordinates(n);
    }
    if (hadSuggestions_)
        goOnAtFirstMissing();
}

void LandmarkRecorder::goOnAtFirstMissing()
{
    for (int n = 1; n <= LandmarkCount; ++n) {
        if (points.IsPointMissing(n)) {
            CurrentPoint = n;
            statusText_ = readingText(CurrentPoint);
            nextPointAvailable_ = true;
            return;
        }
    }
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
    suggested_[static_cast<std::size_t>(CurrentPoint)] = false;
    showCoordinates(CurrentPoint);
    recordedText_ =
        "Recorded P(" + IntegerText(CurrentPoint) + ") at " + IntegerText(x) + "," + IntegerText(y);
    statusText_ = recordedText_;
    if (stepOnAfterClick_ && hadSuggestions_)
        stepToNextMissing();
    else if (stepOnAfterClick_ && CurrentPoint < LandmarkCount)
        nextPoint();
    return true;
}

void LandmarkRecorder::stepToNextMissing()
{
    // Cyclically after the current landmark; suggested ones are passed over,
    // as they already have a position.
    for (int step = 1; step < LandmarkCount; ++step) {
        const int n = (CurrentPoint - 1 + step) % LandmarkCount + 1;
        if (points.IsPointMissing(n)) {
            CurrentPoint = n;
            statusText_ = readingText(CurrentPoint);
            return;
        }
    }
}

void LandmarkRecorder::showCoordinates(int landmark)
{
    coordinates_.SetCell(0, landmark,
                         "P(" + IntegerText(landmark) + (isSuggested(landmark) ? ")?" : ")"));
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
