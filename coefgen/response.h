#pragma once
// Frequency response of a filter set as the processor will run it. The set's 1792-byte block
// is built by the same code that builds filter.bin, its 24-bit taps are decoded back (two's
// complement / 8388607) and the magnitude is evaluated on a grid of frequencies from 0 Hz to
// fs/2, fs being the set's sample rate. What is shown is therefore exactly what is sent,
// fixed-point rounding and a missing "20Band" file included.
//
// The grid: point j (0 .. points - 1) lies at j * fs / (2 * (points - 1)) Hz. Magnitudes are
// in dB re unit gain, limited below at kResponseFloorDb (a tap set of all zeros would
// otherwise give minus infinity).

#include "config/model.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace korvane {

inline constexpr int kDefaultResponsePoints = 513; // 0..fs/2 in steps of fs/1024
inline constexpr double kResponseFloorDb = -160.0;

// Magnitude in dB of 256 taps (tap k at time k) at frequency hz for sample rate fs. For single
// points (tests, read-outs); whole curves come from ResponseEngine.
[[nodiscard]] double TapsMagnitudeDb(const std::array<double, kCoefCount> &taps, double hz, double fs);

// The comb model is CombModel (combmodel.h), shared with the filter-path renderer.
// Magnitude in dB of the comb alone at frequency hz.
[[nodiscard]] double CombMagnitudeDb(int delay, int16_t feedback, double hz, double fs);

struct StageResponse {
    enum class Kind {
        Fir,        // 256 taps
        Comb,       // 256-tap lowpass and the comb (CombModel)
        PassThru,   // 0 dB (also a 20-band stage whose data file could not be read)
        Adaptive,   // 1CH Adaptive: adapts to the signal, no fixed response
        Unavailable // the block could not be built for this stage
    };
    Kind kind = Kind::Unavailable;
    // points values in dB; empty for Adaptive and Unavailable.
    std::vector<double> db;
    // The decoded taps (value / 8388607), all zero for PassThru and Adaptive.
    std::array<double, kCoefCount> taps{};
    int combDelay = 0;        // D, Comb only
    int16_t combFeedback = 0; // F in Q14, Comb only
    // Comb only: the lowest and highest level around each point, over half a grid step either
    // side when the grid has eight or more points per repetition of the comb, else over one
    // whole repetition. A long comb's peaks are far narrower than any grid (a loop of 287
    // samples at 17200 Hz repeats every 60 Hz, its peaks about 1 Hz wide), so the samples in
    // db alone alias; a chart draws this band instead.
    std::vector<double> dbLow, dbHigh;

    [[nodiscard]] bool hasFixedResponse() const { return !db.empty(); }
    // Comb only: the spacing of its notches in Hz, fs / (D + 1), and the level between its
    // peaks and its notches in dB.
    [[nodiscard]] double combSpacingHz(int sampleRate) const;
    [[nodiscard]] double combDepthDb() const;
    // "no fixed response" for Adaptive, "not available" when unbuilt, else empty.
    [[nodiscard]] QString note() const;
};

struct SetResponse {
    int set = 0;
    int sampleRate = 0;                            // Hz
    std::vector<double> frequency;                 // Hz, one per point
    std::array<StageResponse, kStageCount> stages; // indexed by StageIndex(stage)
    // Stage 1 + Stage 2 in dB where both have a fixed response. When one stage is Adaptive
    // the cascade is the other stage's response (the adaptive part is left out, not taken as
    // 0 dB of a known filter); empty when neither stage has a fixed response or a stage is
    // Unavailable.
    std::vector<double> cascade;
    // The cascade's band when a Comb stage is part of it (the comb's band plus the other
    // stage at the point); empty otherwise.
    std::vector<double> cascadeLow, cascadeHigh;
    // What the image builder would have shown ("title: text"), e.g. the 20-band "File Error"
    // or "Conversion Error", and why a stage is unavailable. Empty when all is well.
    QStringList problems;
    // True when the block was built as it will be sent.
    bool blockBuilt = false;

    [[nodiscard]] int points() const { return static_cast<int>(frequency.size()); }
};

// Computes responses; keeps the frequency tables and a scratch model between calls so that a
// live update does no allocation of tables. Not thread-safe: one engine per thread.
class ResponseEngine {
public:
    // points: 2^k + 1 with 9 <= k <= 14 (513 .. 16385); other values are rounded up to the
    // next such size.
    explicit ResponseEngine(int points = kDefaultResponsePoints);

    [[nodiscard]] int points() const { return points_; }

    // The response of filter set 0..15 of model as it stands. The "20Band" file is read from
    // the current folder, korvanes from where coefgen looks for it; no message is shown.
    [[nodiscard]] SetResponse setResponse(const Model &model, int set);

    // The same with stage 1..2 of the set replaced by edited (an editor's values not yet
    // written back). The model is not changed.
    [[nodiscard]] SetResponse stageResponse(const Model &model, int set, int stage, const StageConfig &edited);

private:
    // model is always scratch_, with the set to compute in place.
    [[nodiscard]] SetResponse compute(const Model &model, int set);
    void fillStage(StageResponse &r);

    int points_ = 0;
    int grid_ = 0;                  // 2 * (points - 1), the number of points around the circle
    std::vector<double> cos_, sin_; // cos/sin(2 pi i / grid), i = 0 .. grid - 1
    Model scratch_;
};

} // namespace korvane
