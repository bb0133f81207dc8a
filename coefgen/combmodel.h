#pragma once
// Our model of the processor's comb filter, the one used wherever the program shows or plays
// a comb: the response view (response.cpp) and the filter-path renderer (filterpath/). It runs
// after the stage's 256-tap band-limiting lowpass.
//
// The block gives the delay D (header byte 2 | tail high byte << 8) and the feedback word F
// (Q14, a = F / 16384). We take the comb as a normalised feedback comb over a loop of D + 1
// samples:
//     y[n] = (1 - |a|) * x[n] + a * y[n - (D + 1)]
// The loop length D + 1 is what puts the notches where the editor says they are: "All"
// (D = N, a < 0) notches every multiple of fs / (N + 1); "Odd" (D = (N + 1) / 2 - 1, a > 0)
// the odd multiples; "Even" (same D, a < 0) the even ones. The gain (1 - |a|) puts the peaks
// between the notches at 0 dB, so the notch depth is 20 log10((1 + |a|) / (1 - |a|)), which
// is what the feedback table encodes (30 dB -> 15350 gives 29.7 dB, 52..54 dB -> 16319 gives
// 54.0 dB). Its magnitude at angular frequency w (radians per sample) is
//     |H| = (1 - |a|) / sqrt(1 - 2 a cos(w (D + 1)) + a^2).
// The processor's own scaling is not known to this program; this is a model.

#include <cstdint>

namespace korvane {

struct CombModel {
    int loop = 1;           // D + 1, samples
    double feedback = 0.0;  // a = F / 16384, |a| < 1 for every word the image builder writes
    double inputGain = 1.0; // 1 - |a|

    [[nodiscard]] static CombModel FromWords(int delay, int16_t feedbackWord);

    // |H| at c = cos(w (D + 1)).
    [[nodiscard]] double gainAtLoopCosine(double c) const;
    // |H| at hz for sample rate fs (Hz).
    [[nodiscard]] double magnitude(double hz, double fs) const;
    // Level between the peaks and the notches, dB.
    [[nodiscard]] double depthDb() const;
};

} // namespace korvane
