#pragma once
// A software model of the processor's filter path, driven by one 1792-byte filter-set block
// exactly as it goes into filter.bin (coefgen/coefimage.h has the layout), at the set's sample
// rate (9000, 12000 or 17200 Hz).
//
// Stage 1 runs, then Stage 2, each as the processor reads its 8-byte header:
//   - FIR (every designed, 20-band, spectral and imported type): convolution with the block's
//     256 taps, tap k read as its signed 24-bit value / 2^23, tap 0 applied to the newest
//     sample.
//   - Comb: the same 256-tap convolution (the band-limiting lowpass), then the comb recursion
//     of CombModel (coefgen/combmodel.h) from the block's delay and feedback words; the
//     response view draws the same model.
//   - Pass Thru: the samples pass unchanged, bit for bit.
//   - 1CH Adaptive: an APPROXIMATION. The processor's adaptation rule is not known; we run a
//     linear predictor of FilterSize taps that predicts x[n] from x[n - span] .. x[n - span -
//     size + 1] (span = prediction span), with step mu = AdaptRate x 2^-14. "Auto" adapts with
//     a step normalised by the input power (NLMS, mu x size / (eps + |x|^2), at most 1),
//     "Fixed" with the plain LMS step mu. "Residue" outputs x[n] - prediction, "Predict" the
//     prediction.
// The AGC and the broadband noise filter are not known either: they are passed through, and
// notes() says so.
//
// Samples are floats, full scale +-1.0. Every call starts from rest (zero history).

#include "coefgen/combmodel.h"
#include "config/model.h"
#include "config/userdialog.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace korvane {

inline constexpr int kPathTapCount = 256;

struct AdaptiveSettings {
    int filterSize = 4;     // taps, 1..256
    int predictionSpan = 1; // samples, 1..256
    int adaptRate = 0;      // mu = adaptRate x 2^-14
    bool residueOutput = true;
    bool autoMode = false;
};

struct PathStage {
    enum class Kind { Fir, Comb, PassThru, Adaptive };
    Kind kind = Kind::PassThru;
    std::array<int32_t, kPathTapCount> rawTaps{}; // as stored, -8388608 .. 8388607
    std::array<float, kPathTapCount> taps{};      // rawTaps / 2^23, exact in a float
    CombModel comb;                               // Comb only
    AdaptiveSettings adaptive;                    // Adaptive only

    // "FIR, 256 taps", "Comb ...", "Pass Thru", "1CH Adaptive (approximation) ..."
    [[nodiscard]] QString describe(int sampleRate) const;
};

enum class StageSelection { Stage1, Stage2, Both };

// Called with the fraction done (0..1); returning false cancels the work.
using ProgressFn = std::function<bool(double)>;

class FilterPath {
public:
    // block: one 1792-byte filter-set block; sampleRate: 9000, 12000 or 17200. std::nullopt
    // (with the reason in *why) when the block is not 1792 bytes, lacks its magic word, fails
    // its checksum or carries a stage header the processor would not recognise, or the rate is
    // not one of the three.
    [[nodiscard]] static std::optional<FilterPath> FromBlock(std::span<const uint8_t> block, int sampleRate,
                                                             QString *why = nullptr);

    [[nodiscard]] int sampleRate() const { return m_rate; }
    [[nodiscard]] const PathStage &stage(int index) const { return m_stages[index]; } // 0 or 1
    [[nodiscard]] int agcCode() const { return m_agc; }                               // 0..3 ("No AGC" .. "30dB AGC")
    [[nodiscard]] bool noiseFilter() const { return m_noise; }

    // What the renderer does not model exactly, one sentence each: an adaptive stage is an
    // approximation, the AGC and the noise filter are passed through. Empty when the path is
    // exact.
    [[nodiscard]] QStringList notes() const;

    // Filters samples (at sampleRate()) in place through the chosen stages, from rest.
    // False when progress cancelled (samples are then partly processed).
    bool process(std::span<float> samples, StageSelection which = StageSelection::Both,
                 const ProgressFn &progress = {}) const;

private:
    std::array<PathStage, 2> m_stages;
    int m_rate = 0;
    int m_agc = 0;
    bool m_noise = false;
};

// Builds filter set 0..15 of model into its block exactly as filter.bin would carry it (the
// "20Band" file from the current folder, korvanes where coefgen finds it; the builder's
// messages go to dialog) and returns its path at the set's sample rate. std::nullopt with the
// reason when the block cannot be built.
[[nodiscard]] std::optional<FilterPath> FilterPathForSet(const Model &model, int set, UserDialog &dialog,
                                                         QString *why = nullptr);

// One stage, fed block by block, keeping its history between calls (the streaming form of
// FilterPath::process, for callers that work in pieces).
class StageRunner {
public:
    explicit StageRunner(const PathStage &stage);
    // in and out may be the same span; both hold n samples.
    void run(const float *in, float *out, size_t n);

private:
    void runFir(const float *in, float *out, size_t n);
    void runComb(float *io, size_t n);
    void runAdaptive(const float *in, float *out, size_t n);

    PathStage m_stage;
    std::vector<float> m_reversed;  // taps in reverse order (tap 255 first)
    std::vector<int> m_nonZero;     // indexes into m_reversed of the non-zero taps
    std::vector<float> m_work;      // 255 samples of history + the current piece
    std::vector<double> m_combLoop; // the last D + 1 outputs of the comb
    size_t m_combPos = 0;
    std::vector<double> m_weights;      // adaptive predictor
    std::vector<double> m_adaptHistory; // newest last
};

} // namespace korvane
