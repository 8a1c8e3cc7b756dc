#pragma once

#include <cstdint>
#include <vector>

namespace kestra {

// A sine tone as 16-bit mono samples, faded in and out over a few
// milliseconds so that it starts and ends without a click.
[[nodiscard]] std::vector<std::int16_t> ToneSamples(int sampleRate, int frequency,
                                                    int milliseconds);

// Plays a tone on an ALSA device and returns once it has been heard. False
// when the device cannot be opened or set up.
[[nodiscard]] bool PlayTone(const char* device, int frequency, int milliseconds);

// The system beep: the tone on ALSA's default device, or the toolkit's beep
// where no audio device can be opened. Returns after the tone has played.
void Beep(int frequency, int milliseconds);

} // namespace kestra
