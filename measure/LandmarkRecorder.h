#pragma once

#include "measure/Landmarks.h"
#include "measure/TextGrid.h"

#include <array>
#include <cstdint>
#include <string>

namespace kestra {

// The recording cursor and the three outputs the window shows: the status
// text (Label2), the coordinates list (StringGrid2) and whether "Next point"
// is available (Button4).
//
// CurrentPoint is -1 after a reset, 1..32 while recording that landmark, and
// 99 once recording has been stopped.
class LandmarkRecorder {
public:
    static constexpr std::int32_t Reset = -1;
    static constexpr std::int32_t Idle = 99;
    static constexpr std::uint16_t KeyF8 = 119;

    LandmarkRecorder();

    // Clears landmarks 1 to 32, their list cells and every suggestion; the
    // auxiliary point and the Next point availability stay as they are.
    void ResetPoints();

    // Takes landmarks 1 to 32 from elsewhere (a landmark file) in place of the
    // recorded ones, with their list cells, and stops recording, so that
    // Start/Stop begins at P(1) and a click can record any of them again.
    // None of them counts as suggested.
    void takeLandmarks(const Landmarks& landmarks);

    // Places the suggestions (those not at (0, 0)) where a landmark is missing
    // or still suggested, never over one the user placed; an earlier
    // suggestion that the new ones leave out goes. Recording then goes on at
    // the first landmark still missing, or stops when none is, so that a
    // stray click changes nothing. From here until the next reset, stepping
    // on after a click goes to the next landmark still missing.
    void suggest(const Landmarks& suggestions);

    // Whether landmark n (1..32) holds a suggestion the user has not confirmed.
    [[nodiscard]] bool isSuggested(int landmark) const;

    // Makes every suggested landmark a placed one, as Analyze takes them as
    // they stand. Whether there was any.
    bool confirmSuggestions();

    // The landmarks with the suggested ones missing: those whose crosses go
    // into the picture.
    [[nodiscard]] Landmarks placedPoints() const;
    // Only the suggested landmarks, the others missing.
    [[nodiscard]] Landmarks suggestedPoints() const;

    // Landmark n takes the position and the suggested mark that landmark
    // from[n - 1] had (a swap of the leaf's halves). After suggestions,
    // recording goes on at the first landmark then missing, as after suggest.
    void reorder(const std::array<int, LandmarkCount>& from);

    // Start/Stop: a single signed comparison, so the reset state (-1) stops
    // like recording does; only from idle does it start again at P(1).
    void startStop();

    // Next point: steps 1..32 and wraps to 1; does nothing unless recording.
    void nextPoint();

    // Previous point: steps back, from 1 to 32; does nothing unless recording.
    void previousPoint();

    // Makes landmark n (1..32) the current one, so that a landmark far back in
    // the cycle is reached at once; does nothing unless recording.
    void jumpTo(std::int32_t landmark);

    // A key release seen by the window: F8 steps while recording, whatever
    // the modifiers.
    void keyReleased(std::uint16_t keyCode);

    // Records the current landmark at a display position of the picture
    // control at the given zoom; a suggestion there counts as confirmed.
    // Returns whether a landmark was recorded (so that the caller redraws the
    // markers).
    bool recordRelease(std::int32_t displayX, std::int32_t displayY, std::int32_t zoomPercent);

    // With stepping on, a release that records a landmark then moves on as
    // Next point does, except from P(32), where the cursor stays so that a
    // stray click cannot overwrite P(1). After suggestions it moves on to the
    // next landmark still missing, and stays when there is none. Off at start.
    void setStepOnAfterClick(bool stepOn) { stepOnAfterClick_ = stepOn; }
    [[nodiscard]] bool stepOnAfterClick() const { return stepOnAfterClick_; }

    // "Recorded P(n) at x,y" of the latest recording, also once the status
    // has moved on to the next landmark; empty before the first.
    [[nodiscard]] const std::string& recordedText() const { return recordedText_; }

    [[nodiscard]] bool isRecording() const;

    [[nodiscard]] const std::string& statusText() const { return statusText_; }
    [[nodiscard]] const TextGrid& coordinates() const { return coordinates_; }
    [[nodiscard]] bool nextPointAvailable() const { return nextPointAvailable_; }

    Landmarks points;
    std::int32_t CurrentPoint = Reset;

private:
    // P(1) to P(32) become those of landmarks, in the coordinates list too.
    void setPoints(const Landmarks& landmarks);
    // To idle: nothing is recorded until Start/Stop again.
    void stop();
    void showCoordinates(int landmark);
    void clearSuggestions();
    // Recording at the first missing landmark, or idle when none is.
    void goOnAtFirstMissing();
    // To the next missing landmark after the current one, if any.
    void stepToNextMissing();

    // Indexed by landmark number; index 0 unused.
    std::array<bool, LandmarkCount + 1> suggested_{};
    bool hadSuggestions_ = false;

    TextGrid coordinates_;
    std::string statusText_;
    std::string recordedText_;
    bool nextPointAvailable_ = false;
    bool stepOnAfterClick_ = false;
};

// The view's rule from display pixels to picture pixels: 32-bit signed
// integer arithmetic, the division truncating toward zero.
[[nodiscard]] std::int32_t DisplayToPicture(std::int32_t display, std::int32_t zoomPercent);

} // namespace kestra
