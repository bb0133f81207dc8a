#pragma once
// Renders a clip at any file rate through a filter path: each channel is converted to the
// set's rate, filtered, and converted back to the clip's rate (libsoxr, high quality).

#include "filterpath/audioclip.h"
#include "filterpath/filterpath.h"

namespace korvane {

// std::nullopt when progress cancelled or the resampler failed (*error says which).
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
