#include "app/suggest/HalfOutline.h"

#include <algorithm>
#include <cmath>

namespace kestra {

namespace {

// The least turn, in degrees, that makes a tooth's tip or notch.
constexpr double Turn = 25.0;

} // namespace

int ToothSpacing(const LeafOutline& leaf)
{
    return static_cast<int>(0.04 * leaf.size);
}

HalfOutline::HalfOutline(const LeafOutline& leaf, cv::Point2d petiole, const std::vector<int>& run,
                         const std::vector<double>& reach, const std::vector<double>& side,
                         const std::vector<double>& bottom)
    : leaf_(leaf), petiole_(petiole), run_(run), reach_(reach), side_(side), bottom_(bottom),
      walk_(static_cast<int>(0.15 * leaf.size)), apart_(ToothSpacing(leaf))
{}

double HalfOutline::angleAt(int k) const
{
    return std::abs(side_[index(k)]);
}

int HalfOutline::farthestBetween(int from, int to) const
{
    int best = from;
    for (int k = from; k <= to; ++k)
        if (reachAt(k) > reachAt(best))
            best = k;
    return best;
}

bool HalfOutline::rivalled(int k, int from, int to, double sign, double margin, double gap,
                           int away) const
{
    auto value = [&](int j) { return sign * reachAt(j); };
    for (const int step : {-1, 1}) {
        double dip = value(k);
        for (int j = k + step; j >= from && j <= to; j += step) {
            dip = std::min(dip, value(j));
            if (std::abs(j - k) > away && value(j) >= value(k) - margin && dip < value(j) - gap)
                return true;
        }
    }
    return false;
}

bool HalfOutline::toothTip(int k, int from, int to) const
{
    for (int j = std::max(from, k - apart_); j <= std::min(to, k + apart_); ++j)
        if (j < k ? reachAt(j) >= reachAt(k) : reachAt(j) > reachAt(k))
            return false;
    return true;
}

std::optional<int> HalfOutline::nextTurn(int from, int step, double sign) const
{
    const int end = last();
    // A hair-thin tip doubles back on itself, its turning near 180 degrees
    // either way as the pixels fall: no notch of its own.
    int k = from + step;
    while (k > 0 && k < end && std::abs(k - from) < walk_ && std::abs(turningAt(k)) >= 150.0)
        k += step;
    for (; k > 0 && k < end && std::abs(k - from) < walk_ && sign * turningAt(k) < Turn;
         k += step) {
    }
    if (k <= 0 || k >= end || std::abs(k - from) >= walk_)
        return std::nullopt;
    while (k + step > 0 && k + step < end && sign * turningAt(k + step) >= sign * turningAt(k))
        k += step;
    return k;
}

std::optional<int> HalfOutline::sharpestNotch(int from, int to) const
{
    std::optional<int> sharpest;
    for (int k = std::max(from, 1); k <= std::min(to, last() - 1); ++k)
        if (-turningAt(k) >= Turn && (!sharpest || turningAt(k) < turningAt(*sharpest)))
            sharpest = k;
    return sharpest;
}

} // namespace kestra
