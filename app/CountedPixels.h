#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

class QImage;
class QRegion;

namespace kestra {

// The pixels the leaf surface counts in the picture as it stands, kept while
// they are shown: counted whole when shown and when a picture loads, and box
// by box as markers are drawn into it, so that the figure is always the one
// the next analysis will use. The count itself is measure/'s rule, read here
// from the picture in its own format (picture/LeafCount).
class CountedPixels {
public:
    void show(const QImage& picture);
    void hide();

    // Counts a new picture again, while shown.
    void recount(const QImage& picture);

    // Around drawing markers into the picture: the boxes they can touch are
    // counted before and after.
    void beforeMarkers(const QImage& picture, const QRegion& boxes);
    void afterMarkers(const QImage& picture, const QRegion& boxes);

    // "Counted 1,631,143 pixels: 116.93 cm2 at 300 dpi" in the user's locale,
    // or why there is no surface or no count; empty while hidden.
    [[nodiscard]] QString note(double dpi, const std::string& decimalSeparator) const;

private:
    // A count that fails leaves the figure unknown and says why; it never
    // stops the drawing of markers half-way.
    template <typename Count> void count(Count&& count);

    bool shown_ = false;
    std::optional<std::uint64_t> pixels_; // unknown after a failed count
    QString failure_;
};

} // namespace kestra
