#pragma once
// What a recording holds, for designing filters from it: the averaged noise spectrum of a
// region (with how much it varies from frame to frame) and the steady tones in it (carriers,
// hum, heterodynes): frequency, level and how steady each one is.
//
// Levels: dBFS, where a full-scale sine (amplitude 1.0) is 0 dBFS. Noise is a power density,
// dBFS per Hz. The clip's channels are averaged into one before analysis.

#include "filterpath/audioclip.h"

#include <QJsonObject>
#include <QString>

#include <optional>
#include <vector>

namespace korvane {

// A stretch of a clip in seconds from its start.
struct ClipRegion {
    double fromSeconds = 0;
    double toSeconds = 0;

    [[nodiscard]] double seconds() const { return toSeconds - fromSeconds; }
    [[nodiscard]] static ClipRegion whole(const AudioClip &clip) { return {0.0, clip.seconds()}; }
};

// Why an analysis or a design could not be made; reason is one sentence for a log or a
// message (the caller chooses the words it shows).
struct AnalysisError {
    enum class Kind {
        NoAudio,           // the clip has no samples or no sample rate
        EmptyRegion,       // the region ends where it starts, or before
        RegionOutsideClip, // the region starts before 0 s or ends after the clip
        RegionTooShort,    // fewer samples than one analysis frame (about 50 ms)
        NoNoise            // the noise region is silent: nothing to design from
    };
    Kind kind = Kind::NoAudio;
    QString reason;
};

// Welch average over Hann frames of about 50 ms, half overlapping. Bin b lies at b x binHz.
struct NoiseSpectrum {
    double binHz = 0;
    int frames = 0;
    std::vector<double> density; // mean power density, full scale^2 per Hz (a full-scale sine is 0.5)
    // Spread over time: the 10th and 90th percentile of the frames' level at each bin (each
    // frame's density averaged over the five bins around), dBFS per Hz.
    std::vector<double> lowDb, highDb;

    [[nodiscard]] double levelDb(size_t bin) const; // mean density in dBFS per Hz
    // Mean density over [loHz, hiHz) (full scale^2 per Hz); 0 outside the spectrum.
    [[nodiscard]] double meanDensity(double loHz, double hiHz) const;
};

struct SteadyTone {
    double frequencyHz = 0;       // mean frequency over the frames it is present in
    double levelDb = 0;           // dBFS, its power averaged over those frames
    double prominenceDb = 0;      // its power over the noise in the 100 Hz around it
    double frequencySpreadHz = 0; // standard deviation of the frames' frequencies
    double levelSpreadDb = 0;     // standard deviation of the frames' levels
    double presence = 0;          // fraction of the region's frames it is present in, 0..1
    double seconds = 0;           // how long it is present (a little short when it fills the region)
};

struct Analysis {
    int sampleRate = 0; // Hz, the clip's
    ClipRegion region;
    double rmsDb = 0; // dBFS of the region (a full-scale sine 0 dB)
    NoiseSpectrum spectrum;
    std::vector<SteadyTone> tones; // strongest first, at most 16
};

// Analyses region of clip. A tone is reported when it stands 10 dB out of the noise around it
// in the long frames (about 1 s, bins of 1.3 Hz at 44.1 kHz) for 1 s or more in all; its
// frequency is the mean of the frames' peaks, each interpolated between bins, so a steady
// tone is placed to a few hundredths of a Hz. A held note of a voice is such a tone too:
// presence tells how much of the region a tone fills.
// std::nullopt with *error for no audio, an empty region, one reaching outside the clip
// (beyond half a millisecond) or shorter than one 50 ms frame.
[[nodiscard]] std::optional<Analysis> AnalyzeClip(const AudioClip &clip, const ClipRegion &region,
                                                  AnalysisError *error = nullptr);

// The same on mono samples at sampleRate Hz (the design works on the clip's mono mix once).
[[nodiscard]] std::optional<Analysis> AnalyzeSamples(const std::vector<float> &mono, int sampleRate,
                                                     const ClipRegion &region, AnalysisError *error = nullptr);

// For the command-line tool: {"sampleRate", "from", "to", "rmsDb", "tones": [{"frequencyHz",
// "levelDb", "prominenceDb", "frequencySpreadHz", "levelSpreadDb", "presence", "seconds"}],
// "noise": {"binHz", "frames", "bins": [[hz, meanDb, lowDb, highDb], ...]}} with the noise in
// bands of about 1/6 octave (at least one bin) so the list stays readable.
[[nodiscard]] QJsonObject AnalysisToJson(const Analysis &analysis);
// The same as lines of text.
[[nodiscard]] QString DescribeAnalysis(const Analysis &analysis);

} // namespace korvane
