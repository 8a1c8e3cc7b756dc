#pragma once

#include "measure/Landmarks.h"
#include "measure/LeafSurface.h"

#include <QString>
#include <array>
#include <functional>

namespace kestra {

struct MainState;
class PictureBitmap;

// The window's suggested landmarks: asks the suggester about the picture the
// window already holds, places what it finds among the landmarks, and keeps
// the run's choice of which half of the leaf is R.
class SuggestionControl {
public:
    using Suggester = std::function<Landmarks(const PixelRows& picture)>;
    using Notice = std::function<void(const QString& text)>;

    // notice tells the user of a suggestion that failed after an open;
    // changed shows the landmarks again (crosses, list, view) after a change
    // made here.
    SuggestionControl(MainState& state, Notice notice, std::function<void()> changed);

    // SuggestLandmarks until replaced; tests give one that knows the answer.
    void setSuggester(Suggester suggester);

    // Suggest landmarks: the suggestions for the open picture, mirrored when
    // asked, placed where no landmark of the user's stands. Does nothing
    // until a picture has been opened. Throws Error, with nothing changed,
    // when the picture's pixels cannot be had.
    void suggest(PictureBitmap& bitmap);

    // After a picture opened, before the window shows its landmarks:
    // suggests when asked to. A failure is told through the notice and
    // leaves the picture open without suggestions.
    void pictureOpened(PictureBitmap& bitmap, bool suggestOnOpening);

    // Before an analysis: the suggested landmarks count as placed, and their
    // crosses go into the picture as clicks there would have drawn them, so
    // that the row is the one the clicks give.
    void confirm();

    // Mirror suggestions: a change swaps the halves of the current leaf's
    // landmarks, and the choice holds for every later suggestion of the run.
    void setMirror(bool mirror);
    [[nodiscard]] bool mirror() const { return mirror_; }

private:
    // Whether there was a picture to suggest for.
    bool place(PictureBitmap& bitmap);

    MainState& state_;
    Notice notice_;
    std::function<void()> changed_;
    Suggester suggester_;
    bool mirror_ = false;
};

// The landmarks MirroredHalves moves, as reorder takes them: landmark n takes
// what landmark from[n - 1] held.
[[nodiscard]] std::array<int, LandmarkCount> MirroredOrder();

} // namespace kestra
