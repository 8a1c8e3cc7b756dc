#include "app/suggest/Veins.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace kestra {
namespace {

constexpr double Sigma = 1.5; // work pixels, about a vein's half-width
constexpr int Tolerance = 2;  // how far a vein may stray from the line
constexpr double From = 0.1;  // shares of the way from the tip
constexpr double To = 0.7;

// The larger magnitude of the Hessian's eigenvalues of the smoothed darkness,
// over a part of it; ridges and valleys alike.
cv::Mat Curvature(const cv::Mat& darkness, cv::Rect area)
{
    // Padding that keeps the smoothing and the derivatives clear of the part's edge.
    const int pad = static_cast<int>(std::ceil(3 * Sigma)) + Tolerance + 2;
    const cv::Rect padded =
        cv::Rect(area.x - pad, area.y - pad, area.width + 2 * pad, area.height + 2 * pad) &
        cv::Rect(0, 0, darkness.cols, darkness.rows);
    cv::Mat smooth;
    darkness(padded).convertTo(smooth, CV_32F);
    cv::GaussianBlur(smooth, smooth, cv::Size(), Sigma);
    cv::Mat xx, yy, xy;
    cv::Sobel(smooth, xx, CV_32F, 2, 0, 3);
    cv::Sobel(smooth, yy, CV_32F, 0, 2, 3);
    cv::Sobel(smooth, xy, CV_32F, 1, 1, 3);
    // Eigenvalues (xx + yy) / 2 +- root; the larger magnitude is |mean| + root.
    cv::Mat difference = (xx - yy) * 0.5;
    cv::Mat root;
    cv::sqrt(difference.mul(difference) + xy.mul(xy), root);
    cv::Mat strength = cv::abs((xx + yy) * 0.5) + root;
    cv::dilate(strength, strength,
               cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                         cv::Size(2 * Tolerance + 1, 2 * Tolerance + 1)));
    return strength(area - padded.tl());
}

// The pixels of the line's middle, one a step.
std::vector<cv::Point> MiddleOfLine(cv::Point2d tip, cv::Point2d petiole)
{
    const cv::Point2d from = tip + (petiole - tip) * From;
    const cv::Point2d to = tip + (petiole - tip) * To;
    const int steps = std::max(1, static_cast<int>(std::hypot(to.x - from.x, to.y - from.y)));
    std::vector<cv::Point> pixels;
    for (int i = 0; i <= steps; ++i) {
        const cv::Point2d point = from + (to - from) * (static_cast<double>(i) / steps);
        pixels.emplace_back(static_cast<int>(std::lround(point.x)),
                            static_cast<int>(std::lround(point.y)));
    }
    return pixels;
}

} // namespace

VeinStrength::VeinStrength(const cv::Mat& darkness, cv::Rect area)
    : area(area & cv::Rect(0, 0, darkness.cols, darkness.rows))
{
    if (!this->area.empty())
        strength = Curvature(darkness, this->area);
}

double VeinStrength::Towards(cv::Point2d tip, cv::Point2d petiole) const
{
    double sum = 0.0;
    int samples = 0;
    for (const cv::Point& pixel : MiddleOfLine(tip, petiole)) {
        if (area.contains(pixel)) {
            sum += strength.at<float>(pixel - area.tl());
            ++samples;
        }
    }
    return samples > 0 ? sum / samples : 0.0;
}

double VeinTowards(const cv::Mat& darkness, cv::Point2d tip, cv::Point2d petiole)
{
    return VeinStrength(darkness, cv::boundingRect(MiddleOfLine(tip, petiole)))
        .Towards(tip, petiole);
}

bool VeinInsideBlade(const cv::Mat& mask, cv::Point2d tip, cv::Point2d petiole)
{
    for (const cv::Point& at : MiddleOfLine(tip, petiole))
        if (at.x < 0 || at.y < 0 || at.x >= mask.cols || at.y >= mask.rows ||
            mask.at<std::uint8_t>(at) == 0)
            return false;
    return true;
}

} // namespace kestra
