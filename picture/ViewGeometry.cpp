#include "picture/ViewGeometry.h"

#include <algorithm>
#include <limits>

namespace kestra {

std::int32_t ZoomPercentAt(int sliderPosition)
{
    return sliderPosition * 25 + 25;
}

std::int32_t ZoomedLength(std::int32_t pictureLength, std::int32_t zoomPercent)
{
    // Widened: a picture of a billion pixels must not wrap around.
    const std::int64_t zoomed = std::int64_t{pictureLength} * zoomPercent / 100;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(zoomed, std::numeric_limits<std::int32_t>::max()));
}

ScrollRange ScrollRangeFor(std::int32_t zoomedLength, std::int32_t visibleLength)
{
    if (zoomedLength > visibleLength)
        return {true, zoomedLength - visibleLength};
    return {false, zoomedLength};
}

std::optional<std::int32_t> PanPosition(std::int32_t dragScroll, std::int32_t dragStart,
                                        std::int32_t mouse, std::int32_t maximum)
{
    const std::int64_t position = std::int64_t{dragScroll} + dragStart - mouse;
    if (position > 0 && position < maximum)
        return static_cast<std::int32_t>(position);
    return std::nullopt;
}

} // namespace kestra
