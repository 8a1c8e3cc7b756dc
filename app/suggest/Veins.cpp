#include "app/suggest/Veins.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace kestra {

Veins FindVeins(const LeafOutline& leaf)
{
    const double sigma = std::max(1.0, 0.004 * leaf.size);
    cv::Mat darkness;
    leaf.darkness.convertTo(darkness, CV_32F);
    cv::GaussianBlur(darkness, darkness, cv::Size(), sigma);
    cv::Mat xx;
    cv::Mat yy;
    cv::Mat xy;
    cv::Sobel(darkness, xx, CV_32F, 2, 0, 3);
    cv::Sobel(darkness, yy, CV_32F, 0, 2, 3);
    cv::Sobel(darkness, xy, CV_32F, 1, 1, 3);

    // Away from the blade's edge, where the step to the background would read as a vein.
    cv::Mat inside;
    cv::erode(leaf.mask, inside,
              cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                        cv::Size(2 * static_cast<int>(4 * sigma) + 1,
                                                 2 * static_cast<int>(4 * sigma) + 1)));
    Veins veins;
    veins.strength = cv::Mat::zeros(darkness.size(), CV_32F);
    veins.direction = cv::Mat::zeros(darkness.size(), CV_32FC2);
    for (int y = 0; y < darkness.rows; ++y) {
        const auto* inRow = inside.ptr<std::uint8_t>(y);
        const auto* xxRow = xx.ptr<float>(y);
        const auto* yyRow = yy.ptr<float>(y);
        const auto* xyRow = xy.ptr<float>(y);
        auto* strengthRow = veins.strength.ptr<float>(y);
        auto* directionRow = veins.direction.ptr<cv::Vec2f>(y);
        for (int x = 0; x < darkness.cols; ++x) {
            if (!inRow[x])
                continue;
            // A light line in the darkness is a valley: strong upward curvature
            // across it, little along it.
            const float mean = 0.5f * (xxRow[x] + yyRow[x]);
            const float half = 0.5f * (xxRow[x] - yyRow[x]);
            const float root = std::sqrt(half * half + xyRow[x] * xyRow[x]);
            const float across = mean + root;
            const float along = mean - root;
            const float strength = across - std::abs(along);
            if (strength <= 0.0f)
                continue;
            strengthRow[x] = strength;
            // The eigenvector of the curvature across, turned a right angle.
            float ax = xyRow[x];
            float ay = across - xxRow[x];
            if (std::abs(ax) + std::abs(ay) < 1e-6f) {
                ax = across - yyRow[x];
                ay = xyRow[x];
            }
            const float length = std::hypot(ax, ay);
            if (length > 0.0f)
                directionRow[x] = cv::Vec2f(-ay / length, ax / length);
        }
    }
    return veins;
}

std::optional<cv::Point2d> VeinConvergence(const LeafOutline& leaf, const Veins& veins,
                                           cv::Point2d linePoint, cv::Point2d lineDirection)
{
    const cv::Point2d across(-lineDirection.y, lineDirection.x);
    // Rings round a candidate cross the main veins that leave it; the cones
    // along the midrib are left out, since every point of the midrib has those.
    constexpr int Angles = 120;
    std::vector<cv::Point2d> ring;
    const double radii[] = {0.04 * leaf.size, 0.06 * leaf.size, 0.08 * leaf.size};
    for (int a = 0; a < Angles; ++a) {
        const double angle = 2.0 * CV_PI * a / Angles;
        const cv::Point2d way(std::cos(angle), std::sin(angle));
        const double along = std::abs(way.x * lineDirection.x + way.y * lineDirection.y);
        if (along > std::cos(25.0 * CV_PI / 180.0))
            continue;
        for (const double radius : radii)
            ring.push_back(way * radius);
    }
    auto strengthAt = [&](cv::Point2d at) {
        const int x = static_cast<int>(std::lround(at.x));
        const int y = static_cast<int>(std::lround(at.y));
        if (x < 0 || y < 0 || x >= veins.strength.cols || y >= veins.strength.rows)
            return 0.0f;
        return veins.strength.at<float>(y, x);
    };
    const double length = std::hypot(veins.strength.cols, veins.strength.rows);
    std::optional<cv::Point2d> best;
    double bestScore = 0.0;
    for (double t = -length / 2; t <= length / 2; t += 1.0) {
        for (int shift = -3; shift <= 3; ++shift) {
            const cv::Point2d centre =
                linePoint + lineDirection * t + across * (shift * 0.01 * leaf.size);
            const int cx = static_cast<int>(std::lround(centre.x));
            const int cy = static_cast<int>(std::lround(centre.y));
            if (cx < 0 || cy < 0 || cx >= leaf.mask.cols || cy >= leaf.mask.rows)
                continue;
            double score = 0.0;
            for (const cv::Point2d& offset : ring)
                score += strengthAt(centre + offset);
            if (score > bestScore) {
                bestScore = score;
                best = centre;
            }
        }
    }
    return best;
}

} // namespace kestra
