#include "app/suggest/LeafOutline.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <opencv2/imgproc.hpp>

namespace kestra {
namespace {

// The first look finds the leaf on a picture this many pixels on its longer
// side; the second works on the leaf alone at about WorkSide.
constexpr int OverviewSide = 512;
constexpr int WorkSide = 900;

// An integer reduction, which OpenCV's area resampling does in one fast pass.
cv::Mat Reduced(const cv::Mat& picture, int factor)
{
    if (factor <= 1)
        return picture.clone();
    const cv::Mat whole =
        picture(cv::Rect(0, 0, picture.cols / factor * factor, picture.rows / factor * factor));
    cv::Mat reduced;
    cv::resize(whole, reduced, cv::Size(whole.cols / factor, whole.rows / factor), 0, 0,
               cv::INTER_AREA);
    return reduced;
}

// The background's colour: the median of each channel over a ring along the
// picture's border, where paper or light box shows more than anything else.
cv::Scalar BackgroundColour(const cv::Mat& picture)
{
    const int ring = std::max(2, std::min(picture.cols, picture.rows) / 25);
    std::array<std::array<int, 256>, 3> histograms{};
    int count = 0;
    for (int y = 0; y < picture.rows; ++y) {
        const auto* row = picture.ptr<cv::Vec4b>(y);
        const bool edgeRow = y < ring || y >= picture.rows - ring;
        for (int x = 0; x < picture.cols; ++x) {
            if (!edgeRow && x >= ring && x < picture.cols - ring)
                continue;
            for (int c = 0; c < 3; ++c)
                ++histograms[c][row[x][c]];
            ++count;
        }
    }
    cv::Scalar colour;
    for (int c = 0; c < 3; ++c) {
        int seen = 0;
        int value = 0;
        while (value < 255 && (seen += histograms[c][value]) < count / 2)
            ++value;
        colour[c] = value;
    }
    return colour;
}

// How much darker than the background each pixel is, in its darkest channel
// relative to the background: a green leaf on a cream light box differs most
// in blue, a dark leaf on paper in every channel.
cv::Mat Darkness(const cv::Mat& picture, const cv::Scalar& background)
{
    std::array<cv::Mat, 4> channels;
    cv::split(picture, channels.data());
    cv::Mat darkness;
    for (int c = 0; c < 3; ++c) {
        cv::Mat below;
        cv::subtract(cv::Scalar(background[c]), channels[c], below); // saturates at 0
        darkness = c == 0 ? below : cv::max(darkness, below);
    }
    return darkness;
}

// The largest connected object of a mask, alone.
cv::Mat LargestObject(const cv::Mat& mask)
{
    cv::Mat labels;
    cv::Mat stats;
    cv::Mat centroids;
    const int count = cv::connectedComponentsWithStats(mask, labels, stats, centroids, 8);
    int largest = 0;
    for (int label = 1; label < count; ++label) {
        if (largest == 0 ||
            stats.at<int>(label, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA))
            largest = label;
    }
    cv::Mat object = cv::Mat::zeros(mask.size(), CV_8U);
    if (largest != 0)
        object.setTo(255, labels == largest);
    return object;
}

// The mask with every hole filled: the outer outline drawn solid.
cv::Mat Filled(const cv::Mat& mask)
{
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    cv::Mat filled = cv::Mat::zeros(mask.size(), CV_8U);
    cv::drawContours(filled, contours, -1, cv::Scalar(255), cv::FILLED);
    return filled;
}

cv::Mat Disc(double radius)
{
    const int r = std::max(1, static_cast<int>(std::lround(radius)));
    return cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(2 * r + 1, 2 * r + 1));
}

// Cuts a petiole off the blade: the long, thin part that an opening as wide
// as a petiole removes, where teeth removed by it are short. Returns where it
// met the blade.
std::optional<cv::Point2d> CutPetiole(cv::Mat& mask, double size)
{
    const double radius = 0.025 * size;
    // An opening by a disc, from two distance transforms: the disc's centres
    // that fit, then all that lies within the radius of one. Much faster than
    // a morphological opening with a disc this large.
    cv::Mat distance;
    cv::distanceTransform(mask, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    const cv::Mat centres = distance > radius;
    cv::distanceTransform(~centres, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    const cv::Mat opened = (distance <= radius) & mask;
    const cv::Mat residue = mask & ~opened;
    std::vector<std::vector<cv::Point>> parts;
    cv::findContours(residue, parts, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    const std::vector<cv::Point>* petiole = nullptr;
    double longest = 0.0;
    for (const auto& part : parts) {
        if (part.size() < 5)
            continue;
        const cv::RotatedRect box = cv::minAreaRect(part);
        const double length = std::max(box.size.width, box.size.height);
        const double width = std::min(box.size.width, box.size.height);
        if (length > 0.12 * size && length > 3.0 * width && length > longest) {
            longest = length;
            petiole = &part;
        }
    }
    if (!petiole)
        return std::nullopt;
    cv::Mat cut = cv::Mat::zeros(mask.size(), CV_8U);
    cv::drawContours(cut, std::vector<std::vector<cv::Point>>{*petiole}, -1, cv::Scalar(255),
                     cv::FILLED);
    // Where the petiole touches what stays of the blade.
    cv::Mat touching;
    cv::dilate(cut, touching, Disc(2));
    touching &= opened;
    mask &= ~cut;
    mask = LargestObject(mask);
    const cv::Moments moments = cv::moments(touching, true);
    if (moments.m00 <= 0)
        return std::nullopt;
    return cv::Point2d(moments.m10 / moments.m00, moments.m01 / moments.m00);
}

} // namespace

std::optional<LeafOutline> FindLeafOutline(const PixelRows& picture)
{
    if (!picture.base || picture.width < 16 || picture.height < 16)
        return std::nullopt;
    const cv::Mat full(picture.height, picture.width, CV_8UC4,
                       const_cast<std::uint8_t*>(picture.base),
                       static_cast<std::size_t>(picture.bytesPerRow));

    // A first look over the whole picture: the background and where the leaf lies.
    const int overviewFactor =
        std::max(1, (std::max(picture.width, picture.height) + OverviewSide - 1) / OverviewSide);
    const cv::Mat overview = Reduced(full, overviewFactor);
    const cv::Scalar background = BackgroundColour(overview);
    const cv::Mat overviewDarkness = Darkness(overview, background);
    cv::Mat overviewMask;
    const double threshold = std::max(24.0, cv::threshold(overviewDarkness, overviewMask, 0, 255,
                                                          cv::THRESH_BINARY | cv::THRESH_OTSU));
    overviewMask = LargestObject(overviewDarkness > threshold);
    const cv::Rect found = cv::boundingRect(overviewMask);
    if (found.area() < 64)
        return std::nullopt;

    // The leaf with a margin, at the work resolution.
    const int margin = std::max(found.width, found.height) / 20 + 2;
    const cv::Rect overviewBox =
        (found + cv::Point(-margin, -margin) + cv::Size(2 * margin, 2 * margin)) &
        cv::Rect(0, 0, overview.cols, overview.rows);
    const cv::Rect box(overviewBox.x * overviewFactor, overviewBox.y * overviewFactor,
                       overviewBox.width * overviewFactor, overviewBox.height * overviewFactor);
    const int workFactor =
        std::max(1, static_cast<int>(std::lround(std::max(box.width, box.height) /
                                                 static_cast<double>(WorkSide))));
    const cv::Mat work = Reduced(full(box & cv::Rect(0, 0, full.cols, full.rows)), workFactor);

    LeafOutline leaf;
    leaf.scale = workFactor;
    leaf.origin = cv::Point2d(box.x, box.y);
    leaf.darkness = Darkness(work, background);
    cv::Mat mask = LargestObject(leaf.darkness > threshold);
    double size = std::sqrt(cv::countNonZero(mask));
    // Bright veins on a light box can fall under the threshold; closing bridges them.
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, Disc(0.006 * size));
    mask = LargestObject(mask);
    const cv::Mat unfilled = mask.clone();
    mask = Filled(mask);
    size = std::sqrt(cv::countNonZero(mask));
    if (size < 40)
        return std::nullopt;
    leaf.petioleJunction = CutPetiole(mask, size);
    leaf.mask = mask;
    leaf.size = std::sqrt(cv::countNonZero(mask));

    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    if (contours.empty())
        return std::nullopt;
    const auto& outer =
        *std::max_element(contours.begin(), contours.end(),
                          [](const auto& a, const auto& b) { return a.size() < b.size(); });
    leaf.outline.assign(outer.begin(), outer.end());

    std::vector<std::vector<cv::Point>> holes;
    cv::findContours(mask & ~unfilled, holes, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    for (const auto& hole : holes) {
        if (cv::contourArea(hole) > 0.0005 * leaf.size * leaf.size)
            leaf.holes.emplace_back(hole.begin(), hole.end());
    }
    return leaf;
}

} // namespace kestra
