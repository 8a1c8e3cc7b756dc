#pragma once

#include "app/suggest/LeafOutline.h"

#include <opencv2/core.hpp>
#include <optional>
#include <vector>

namespace kestra {

// About a tooth's spacing along a leaf's outline, in steps.
[[nodiscard]] int ToothSpacing(const LeafOutline& leaf);

// One half of a leaf's outline, walked from the apex round to the head of the
// petiole sinus: for each step k along it, where the outline lies, how far it
// reaches from the petiole point, how many degrees round from the apex it
// lies, and how sharply it turns there, at the teeth's scale and at the
// lobes'. The walks the rules for the landmarks take along it are here too.
// It refers to the leaf and to the measures of the whole outline, which must
// outlive it.
class HalfOutline {
public:
    // run: the outline's indices from the apex to the sinus's head. reach,
    // side and bottom: for each outline index, its distance from the petiole
    // point, its angle from the apex (signed by side), and its turning at the
    // lobes' scale.
    HalfOutline(const LeafOutline& leaf, cv::Point2d petiole, const std::vector<int>& run,
                const std::vector<double>& reach, const std::vector<double>& side,
                const std::vector<double>& bottom);

    [[nodiscard]] const LeafOutline& leaf() const { return leaf_; }
    [[nodiscard]] cv::Point2d petiole() const { return petiole_; }
    // The step of the sinus's head, the half's last.
    [[nodiscard]] int last() const { return static_cast<int>(run_.size()) - 1; }
    // About a tooth's spacing, in steps.
    [[nodiscard]] int apart() const { return apart_; }

    [[nodiscard]] cv::Point2d at(int k) const { return leaf_.outline[index(k)]; }
    [[nodiscard]] double reachAt(int k) const { return reach_[index(k)]; }
    [[nodiscard]] double angleAt(int k) const;
    [[nodiscard]] double turningAt(int k) const { return leaf_.turning[index(k)]; }
    [[nodiscard]] double bottomAt(int k) const { return bottom_[index(k)]; }

    // The step of from..to that reaches farthest, the first of equals.
    [[nodiscard]] int farthestBetween(int from, int to) const;
    // Whether another step of from..to, beyond a dip (or, for a nearest
    // point, sign -1, a rise) deeper than gap and more than away steps off,
    // comes within a margin of the reach at k.
    [[nodiscard]] bool rivalled(int k, int from, int to, double sign, double margin, double gap,
                                int away) const;
    // Whether k is a tooth's tip, as seen from the petiole point: the
    // farthest point a tooth's spacing either way within from..to, the first
    // of a level top.
    [[nodiscard]] bool toothTip(int k, int from, int to) const;
    // Teeth: a notch is where the outline turns inwards at the teeth's scale
    // (sign -1), a tip where it turns outwards (sign 1). Walking from a tip,
    // the first of each is the tooth's base on that side and, after it, the
    // next tip. Nothing when none lies within a few teeth.
    [[nodiscard]] std::optional<int> nextTurn(int from, int step, double sign) const;
    // Where the outline turns inwards most sharply over from..to, if that is
    // a notch at all.
    [[nodiscard]] std::optional<int> sharpestNotch(int from, int to) const;

private:
    [[nodiscard]] std::size_t index(int k) const
    {
        return static_cast<std::size_t>(run_[static_cast<std::size_t>(k)]);
    }

    const LeafOutline& leaf_;
    cv::Point2d petiole_;
    const std::vector<int>& run_;
    const std::vector<double>& reach_;
    const std::vector<double>& side_;
    const std::vector<double>& bottom_;
    int walk_;  // the farthest a walk to the next turn goes
    int apart_; // about a tooth's spacing
};

} // namespace kestra
