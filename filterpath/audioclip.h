#pragma once
// Audio files in and out (libsndfile: WAV, FLAC, Ogg Vorbis and the other formats it reads)
// and sample-rate conversion (libsoxr). Samples are floats, full scale +-1.0, interleaved.

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace korvane {

struct AudioClip {
    int sampleRate = 0; // Hz
    int channels = 0;
    std::vector<float> samples; // interleaved, frames() x channels
    int fileFormat = 0;         // libsndfile's SF_FORMAT_* of the file it came from, 0 if none

    [[nodiscard]] size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
    [[nodiscard]] double seconds() const { return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0; }
    // One channel of the clip (0 .. channels - 1).
    [[nodiscard]] std::vector<float> channel(int index) const;
    // The channels averaged into one.
    [[nodiscard]] std::vector<float> mono() const;
};

// Reads a whole audio file. std::nullopt with a sentence in *error (what went wrong and what
// to do) for a missing or unreadable file, a format libsndfile does not know (a text file
// named .wav, a truncated header), no channels, no sample rate or no samples.
[[nodiscard]] std::optional<AudioClip> ReadAudioFile(const QString &path, QString *error = nullptr);

// Writes clip to path in the format its name ends in (.wav 16-bit PCM, .flac 16-bit, .ogg
// Vorbis; a WAV that came from a float WAV stays float). Samples beyond full scale are
// clipped. The file is written beside the target and renamed over it, so a failed write
// leaves an old file intact. False with a sentence in *error.
[[nodiscard]] bool WriteAudioFile(const QString &path, const AudioClip &clip, QString *error = nullptr);

enum class ResampleQuality {
    High, // libsoxr's high quality (20-bit), for rendering to a file
    Quick // libsoxr's medium quality, for re-rendering while a clip plays
};

// Converts interleaved frames from one rate to another (libsoxr). The output is aligned with
// the input (the converter's own delay removed) and holds round(frames x to / from) frames.
// progress (fraction 0..1) may cancel; std::nullopt then or on a converter error.
[[nodiscard]] std::optional<std::vector<float>> Resample(const std::vector<float> &in, int channels, double fromRate,
                                                         double toRate, ResampleQuality quality = ResampleQuality::High,
                                                         const std::function<bool(double)> &progress = {},
                                                         QString *error = nullptr);

// The same into out, whose memory is reused when it is large enough (a caller that converts
// again and again keeps its buffer instead of faulting in fresh pages each time). False on a
// converter error or when progress cancelled.
[[nodiscard]] bool ResampleInto(const float *in, size_t frames, int channels, double fromRate, double toRate,
                                ResampleQuality quality, std::vector<float> &out,
                                const std::function<bool(double)> &progress = {}, QString *error = nullptr);

} // namespace korvane
