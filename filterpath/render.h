#pragma once
// Renders a clip at any file rate through a filter path: each channel is converted to the
// set's rate, filtered, and converted back to the clip's rate (libsoxr, high quality).

#include "filterpath/audioclip.h"
#include "filterpath/filterpath.h"

namespace korvane {

// The most memory the sample buffers of one render may take: 2 GiB. Clips at the usual rates
// meet kMaxClipSamples first; a clip at a low rate, which grows many times over when it is
// converted to the set's rate (up to 17.2 times for 1 kHz), meets this.
inline constexpr size_t kMaxRenderBytes = size_t{1} << 31;

// Bytes the buffers of rendering frames x channels at clipRate through a set at setRate (Hz)
// take at most, as floats: the clip and its rendered copy (2 x frames x channels), a channel
// and its converted result at the clip's rate (2 x frames), the channel at the set's rate
// and its filtered copy (2 x frames x setRate / clipRate). The Listen panel's buffers (the
// clip, its mono mix, the filtered mix and the one before it, both at the set's rate) fit
// the same sum.
[[nodiscard]] size_t RenderWorkBytes(size_t frames, int channels, int clipRate, int setRate);

// The sentence that refuses a clip whose render would take more than kMaxRenderBytes ("it is
// too long: ..."), empty when it fits.
[[nodiscard]] QString RenderTooLarge(size_t frames, int channels, int clipRate, int setRate);

// std::nullopt when progress cancelled, the resampler failed or the render would take more
// than kMaxRenderBytes (*error says which).
[[nodiscard]] std::optional<AudioClip> RenderClip(const FilterPath &path, const AudioClip &in,
                                                  StageSelection which = StageSelection::Both,
                                                  const ProgressFn &progress = {}, QString *error = nullptr);

// A magnitude spectrogram: columns x bins values in dB re full scale (a full-scale sine reads
// 0 dB), bin b at b x sampleRate / fftSize Hz, column c centred on sample c x hop. Hann window.
struct Spectrogram {
    int columns = 0;
    int bins = 0;          // fftSize / 2 + 1
    int sampleRate = 0;    // Hz
    double hopSeconds = 0; // time between columns
    std::vector<float> db; // column-major: db[c * bins + b]
    [[nodiscard]] float at(int column, int bin) const { return db[static_cast<size_t>(column) * bins + bin]; }
};

// fftSize a power of two (64 .. 8192); at most maxColumns columns, spread evenly over the clip.
[[nodiscard]] Spectrogram ComputeSpectrogram(const std::vector<float> &mono, int sampleRate, int fftSize = 512,
                                             int maxColumns = 600);

} // namespace korvane
