#pragma once
// Audio files in and out (libsndfile: WAV, FLAC, Ogg Vorbis and the other formats it reads)
// and sample-rate conversion (libsoxr). Samples are floats, full scale +-1.0, interleaved.

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace korvane {

// The sample rates a file may have: below 1 kHz a clip is no sound this program filters, and
// converting it to a filter set's rate would multiply it many thousand times; above 768 kHz
// no audio interface records.
inline constexpr int kMinAudioRate = 1000;   // Hz
inline constexpr int kMaxAudioRate = 768000; // Hz

// The most samples (frames x channels) a clip read from a file may hold: 2^26, 256 MiB as
// floats, about 11 minutes of stereo or 23 of mono at 48 kHz. Files are read in blocks as
// far as they really go: a header that claims more frames than the file holds costs only
// what it holds, and a few bytes that decode to hours of silence stop at this bound. While
// the clip grows, the reader takes at most 1.5 times this (the old block and the new one).
inline constexpr size_t kMaxClipSamples = size_t{1} << 26;

struct AudioClip {
    int sampleRate = 0; // Hz
    int channels = 0;
    std::vector<float> samples; // interleaved, frames() x channels
    int fileFormat = 0;         // libsndfile's SF_FORMAT_* of the file it came from, 0 if none
    size_t replacedSamples = 0; // samples of the file that were NaN or infinite, read as 0.0

    [[nodiscard]] size_t frames() const { return channels > 0 ? samples.size() / static_cast<size_t>(channels) : 0; }
    [[nodiscard]] double seconds() const { return sampleRate > 0 ? static_cast<double>(frames()) / sampleRate : 0.0; }
    // One channel of the clip (0 .. channels - 1).
    [[nodiscard]] std::vector<float> channel(int index) const;
    // The channels averaged into one.
    [[nodiscard]] std::vector<float> mono() const;
};

// Reads a whole audio file. std::nullopt with a sentence in *error (what went wrong and what
// to do) for a missing or unreadable file, a format libsndfile does not know (a text file
// named .wav, a truncated header), no channels, a sample rate outside kMinAudioRate ..
// kMaxAudioRate, no samples, or more than kMaxClipSamples samples. A file cut short reads
// as the frames it holds. NaN and infinite samples (a float file) are read as silence and
// counted in replacedSamples, for the caller to warn about: in a filter's feedback one of
// them would turn everything after it into NaN. Allocation failure (std::bad_alloc) is left
// to the caller.
[[nodiscard]] std::optional<AudioClip> ReadAudioFile(const QString &path, QString *error = nullptr);

// Writes clip to path in the format its name ends in (.wav 16-bit PCM, .flac 16-bit, .ogg
// Vorbis; a WAV that came from a float WAV stays float). Samples beyond full scale are
// clipped. The file replaces path all or nothing (config/replacefile.h: a failed write leaves
// an old file intact, a symbolic link stays one, permissions are kept). False with a sentence
// in *error that gives the file system's or libsndfile's reason.
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
