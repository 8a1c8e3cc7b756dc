#include "measure/Geometry.h"

#include "measure/Error.h"

#include <cmath>

namespace kestra {
namespace {

constexpr double DegreesPerRadian = 57.29577951308232;

bool isLandmark(int index)
{
    return index >= 1 && index <= LandmarkCount;
}

} // namespace

double PointDistance(const Landmarks& landmarks, int a, int b)
{
    if (a < 1 || a > AuxiliaryPoint || b < 1 || b > AuxiliaryPoint)
        return -1.0;
    const long double dx = landmarks.PointX[a] - landmarks.PointX[b];
    const long double dy = landmarks.PointY[a] - landmarks.PointY[b];
    return static_cast<double>(std::sqrt(dx * dx + dy * dy));
}

double MidpointX(const Landmarks& landmarks, int a, int b)
{
    if (!isLandmark(a) || !isLandmark(b))
        return -1.0;
    return (landmarks.PointX[a] + landmarks.PointX[b]) * 0.5;
}

double MidpointY(const Landmarks& landmarks, int a, int b)
{
    if (!isLandmark(a) || !isLandmark(b))
        return -1.0;
    return (landmarks.PointY[a] + landmarks.PointY[b]) * 0.5;
}

double DirectionAngle(const Landmarks& landmarks, int a, int b)
{
    if (!isLandmark(a) || !isLandmark(b))
        return -1.0;
    const double dx = landmarks.PointX[b] - landmarks.PointX[a];
    const double dy = landmarks.PointY[b] - landmarks.PointY[a];
    return std::atan2(dy, dx) * DegreesPerRadian;
}

double ScaleFactor(double dpi)
{
    if (dpi == 0.0)
        throw Error("Floating point division by zero");
    const double millimetresPerPixel = 25.4 / dpi;
    if (!std::isfinite(millimetresPerPixel))
        throw Error("Floating point overflow");
    return millimetresPerPixel;
}

} // namespace kestra
