#pragma once

#include <cstdint>
#include <optional>

namespace kestra {

// The view's integer arithmetic, kept apart from the widgets that show it.

// The slider position of 100 %.
inline constexpr int SliderPositionAtFullSize = 3;

// The zoom of a slider position: 0 to 7 give 25 % to 200 %.
[[nodiscard]] std::int32_t ZoomPercentAt(int sliderPosition);

// A picture length on screen at a zoom: the product first, the division
// truncating (1001 pixels at 75 % show as 750).
[[nodiscard]] std::int32_t ZoomedLength(std::int32_t pictureLength, std::int32_t zoomPercent);

// A scroll bar's range for a zoomed picture length against the length of the
// panel that shows it: enabled, with the hidden part as maximum, when the
// picture is longer; otherwise disabled with the picture's length as maximum.
struct ScrollRange {
    bool enabled = false;
    std::int32_t maximum = 0;
};
[[nodiscard]] ScrollRange ScrollRangeFor(std::int32_t zoomedLength, std::int32_t visibleLength);

// One axis of a Ctrl-drag: the scroll position that brings the picture after
// the mouse, or nothing when it would leave the open range between 0 and the
// maximum (both ends are reached only with the scroll bars).
[[nodiscard]] std::optional<std::int32_t> PanPosition(std::int32_t dragScroll,
                                                      std::int32_t dragStart, std::int32_t mouse,
                                                      std::int32_t maximum);

} // namespace kestra
