#include "app/Tone.h"

#include <QApplication>
#include <algorithm>
#include <alsa/asoundlib.h>
#include <cmath>
#include <numbers>

namespace kestra {

namespace {

constexpr int SampleRate = 48000;
constexpr int FadeMilliseconds = 5;

// ALSA prints its own complaints to stderr, for instance on a machine
// without a sound card; the fallback beep covers that case silently.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}

} // namespace

std::vector<std::int16_t> ToneSamples(int sampleRate, int frequency, int milliseconds)
{
    if (sampleRate <= 0 || milliseconds <= 0) {
        return {};
    }
    const auto count = static_cast<std::size_t>(std::int64_t{sampleRate} * milliseconds / 1000);
    const double fadeLength = std::max(1.0, sampleRate * FadeMilliseconds / 1000.0);
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double fromEnd = static_cast<double>(count - 1 - i);
        const double fade =
            std::min({1.0, static_cast<double>(i) / fadeLength, fromEnd / fadeLength});
        const double phase =
            2.0 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate;
        samples[i] = static_cast<std::int16_t>(std::lround(16000.0 * fade * std::sin(phase)));
    }
    return samples;
}

bool PlayTone(const char* device, int frequency, int milliseconds)
{
    snd_lib_error_set_handler(quietAlsa);
    snd_pcm_t* pcm = nullptr;
    // Opened without blocking, so that a device held by another program fails
    // at once instead of stalling the window.
    if (snd_pcm_open(&pcm, device, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, SampleRate, 1,
                           100000) < 0) {
        snd_pcm_close(pcm);
        return false;
    }
    const std::vector<std::int16_t> samples = ToneSamples(SampleRate, frequency, milliseconds);
    const std::int16_t* next = samples.data();
    auto left = static_cast<snd_pcm_uframes_t>(samples.size());
    int failures = 0;
    while (left > 0 && failures < 3) {
        snd_pcm_sframes_t written = snd_pcm_writei(pcm, next, left);
        if (written < 0) {
            ++failures;
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0) {
                break;
            }
            continue;
        }
        next += written;
        left -= static_cast<snd_pcm_uframes_t>(written);
    }
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
    return true;
}

void Beep(int frequency, int milliseconds)
{
    if (!PlayTone("default", frequency, milliseconds)) {
        QApplication::beep();
    }
}

} // namespace kestra
