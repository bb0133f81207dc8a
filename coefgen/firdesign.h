#pragma once
// Windowed-sinc FIR design for the parametric stage types: 256 taps centred on tap 127, a
// Blackman-form window over the 2M+1 taps around the centre, and a blend with a unit impulse
// that puts the stopband (or the notch bottom) A dB down.

#include "config/model.h"

#include <array>
#include <optional>

namespace korvane {

using FirTaps = std::array<float, kCoefCount>;

// Parameters of one design, in the units the stage stores them.
struct FirDesignInput {
    int16_t type = Lowpass; // Lowpass, Highpass, Bandpass, Bandstop, Notch, Slot or Comb
    float f1 = 0;           // Hz: cutoff, lower cutoff, or notch/slot centre
    float f2 = 0;           // Hz: upper cutoff (Bandpass, Bandstop)
    float halfLength = 0;   // M in taps: the window spans taps 127 - M .. 127 + M
    float attenDb = 0;      // A: stopband attenuation or notch depth in dB
    float sampleRate = 0;   // fs in Hz
};

// The design inputs of a stage of a set sampled at sampleRate Hz (9000, 12000 or 17200):
// Notch and Slot take M from Freq2; a Comb designs its band-limiting lowpass at Freq2 with
// M = 125 and A = 60 dB whatever Slope and AttenDb hold.
[[nodiscard]] FirDesignInput FirInputFromStage(const StageConfig &stage, int sampleRate);

// The 256 taps, each rounded to single precision; std::nullopt on a floating-point fault
// (a division by zero such as a Notch or Slot with M = 0, an overflow, an invalid
// operation) or for a type that is not designed here.
[[nodiscard]] std::optional<FirTaps> DesignFir(const FirDesignInput &input);

// DesignFir(FirInputFromStage(stage, sampleRate)).
[[nodiscard]] std::optional<FirTaps> DesignStageFir(const StageConfig &stage, int sampleRate);

} // namespace korvane
