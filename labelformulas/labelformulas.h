#pragma once
// The figures the editor windows show beside their bars, kept apart from the widgets so they
// can be checked without a display. S is the set's sample rate in Hz (9000, 12000 or 17200).

#include <QString>

#include <array>

namespace korvane {

// x rounded to `decimals` places, halves away from zero, as fixed-point text: the number
// formats "0", "0.0" and "0.00". A result that rounds to zero never shows a minus sign.
[[nodiscard]] QString FormatFixed(double x, int decimals);

// Transition slope in dB/Octave of a slope setting n (3..125) at frequency f (Hz):
// (2n - 1) * 37 * f / (3 S) + 0.5, shown as a whole number.
[[nodiscard]] QString SlopeLabel(int n, double f, int sampleRate);

// Notch or slot width in Hz of a width setting n (3..125): S * k / (2 (n + 1)) + 0.5,
// shown as a whole number; k is kNotchWidthFactor or kSlotWidthFactor.
inline constexpr double kNotchWidthFactor = 3.0;
inline constexpr double kSlotWidthFactor = 1.709;
[[nodiscard]] QString WidthLabel(int n, double factor, int sampleRate);

// Comb fundamental in Hz of the fundamental setting n (5..509): S / (n + 1), two decimals;
// the setting 286 reads 60.00 where S / 287 rounds to 60 Hz (at 17200 Hz), as the mains-hum
// comb it is there.
[[nodiscard]] QString CombFundamentalLabel(int n, int sampleRate);

// Duration of `samples` samples in milliseconds, samples * 1000 / S, as "0000.000".
[[nodiscard]] QString MillisecondsLabel(int samples, int sampleRate);

// Lower and upper cutoff of a band filter stay at least 100 Hz apart; the bar that moved gives
// way. Returns the value the moved bar must take.
[[nodiscard]] int ConstrainLowerCutoff(int lower, int upper);
[[nodiscard]] int ConstrainUpperCutoff(int upper, int lower);
// The lower cutoff 0 means "no lower edge" and reads "(Out)".
[[nodiscard]] QString LowerCutoffLabel(int lower);

// The 20-band equalizer: band cuts 0..40 dB, band 0 the lowest.
using EqBands = std::array<int, 20>;
[[nodiscard]] QString EqGainLabel(int cut);               // the cut negated: 5 -> "-5", 0 -> "0"
[[nodiscard]] EqBands EqAllDown1dB(const EqBands &bands); // +1 dB cut, bands at 40 stay
[[nodiscard]] EqBands EqNormalize(const EqBands &bands);  // least-cut band to 0, spacing kept
// Band centre texts by the stage's Bandwidth index (0, 2, anything else as 1).
[[nodiscard]] std::array<QString, 20> EqFrequencyLabels(int bandwidth);

} // namespace korvane
