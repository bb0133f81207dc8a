#pragma once
// Filters designed from a recording: a Spectral Graphic Equalizer curve that suppresses the
// noise of a noise-only region where the signal does not need the band, and Notch stages on
// the steady tones.
//
// The curve is a Wiener-like gain per point: with N the noise density of the noise region and
// P the density of the signal region (the whole clip unless given), both averaged over the
// point and half-way to its neighbours, the signal's density is taken as S = max(P - 2N, 0)
// (a few seconds of noise misjudge it by a dB or two; what is left over must not pass for
// signal) and the gain is (S / (S + N))^e in dB, limited to the curve's -40..0 dB, smoothed
// once more across frequency and raised so its highest point is 0 dB. The power e (1 is the
// plain Wiener gain) is the highest in quarter steps up to 6 that costs the signal at most
// 1.5 dB by these estimates: bands where signal and noise are alike are cut harder than the
// plain gain would. Steady tones that are noise (heard in the noise region, or filling at
// least half of the signal region; a held note of a voice is neither) are taken out of N
// before and cut into the curve at -40 dB over two points either side afterwards, so a tone
// costs a few points of the curve, not a broad band.

#include "analysis/analysis.h"
#include "config/model.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace korvane {

struct DesignOptions {
    ClipRegion noise;                 // noise only, seconds
    std::optional<ClipRegion> signal; // the whole clip when not given
    double floorDb = -40.0;           // lowest gain of the curve, -40..0 dB
};

// A Notch stage for one tone (Freq1 the centre in Hz, Freq2 the width setting 3..125 (the
// half-length in taps: larger is narrower), AttenDb the depth 10..60 dB), with what the
// designed taps do over the tone's wander: expectedDb is the highest level of the notch
// across frequencyHz +- wanderHz (negative, dB).
struct NotchProposal {
    SteadyTone tone;
    int16_t frequencyHz = 0;
    int16_t width = 0;
    int16_t depthDb = 0;
    double wanderHz = 0;
    double expectedDb = 0;

    // base as a Notch stage with this frequency, width and depth (not yet validated).
    [[nodiscard]] StageConfig stage(StageConfig base = {}) const;
};

struct Design {
    int sampleRate = 0; // Hz, of the set the stages are designed for (a validated set's)
    ClipRegion noise, signal;
    std::array<float, kSpectralPointCount> curve{}; // dB, -40..0, point k at k x sampleRate / 256 Hz
    double exponent = 1;                // the Wiener gain's power (1 plain Wiener; more cuts noisy bands harder)
    double signalLossDb = 0;            // what the curve takes from the signal's power, by the estimates
    double noiseCutDb = 0;              // and from the broadband noise's (tones left out)
    std::vector<SteadyTone> tones;      // found in the signal region, strongest first
    std::vector<NotchProposal> notches; // one per tone a Notch can reach, strongest first
    QStringList notes;                  // what was left out and why

    // The Spectral Graphic Equalizer stage of the curve (only Type and SpectralGain set).
    [[nodiscard]] StageConfig curveStage(const StageConfig &base = {}) const;
    // {"sampleRate", "noise": [from, to], "signal": [from, to], "curve": [115 dB values],
    //  "tones": [...as AnalysisToJson], "notches": [{"frequencyHz", "width", "depthDb",
    //  "wanderHz", "expectedDb", "toneHz"}], "notes": [...]}
    [[nodiscard]] QJsonObject toJson() const;
    // What was designed, as lines of text.
    [[nodiscard]] QString describe() const;
};

// Designs from clip. std::nullopt with *error when either region is empty, reaches outside
// the clip or is shorter than one analysis frame, or when the noise region is silent
// (AnalysisError::Kind::NoNoise).
[[nodiscard]] std::optional<Design> DesignFromNoise(const AudioClip &clip, const DesignOptions &options,
                                                    AnalysisError *error = nullptr);

// Writes the design into filter set 0..15: Stage 1 becomes the curve; Stage 2 the Notch on the
// strongest tone when withNotch (and one was proposed), else it stays as it was. Both stages
// are then validated (which also sets the set's bandwidth). False with *why, the model
// unchanged, when the set does not exist, withNotch finds no proposal, or the validated set
// runs at another rate than the design's.
[[nodiscard]] bool ApplyDesign(Model &model, int set, const Design &design, bool withNotch, QString *why = nullptr);

// The rate a validated filter set runs at (Hz); designs are made for it.
[[nodiscard]] int ValidatedSetSampleRate();

} // namespace korvane
