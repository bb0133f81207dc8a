#pragma once
// The processor's coefficient format: signed 24-bit two's complement, high byte first, with
// 8388607 (2^23 - 1) standing for 1.0; and the Q14 feedback word of the comb filter.

#include <array>
#include <cstdint>
#include <optional>

namespace korvane {

using Tap24 = std::array<uint8_t, 3>;

// Scales v by 8388607 (as a single), rounds to the nearest integer with ties to even and
// clamps to -8388608..8388607: 1.0 -> 7F FF FF, -1.0 -> 80 00 01, 0.5 -> 40 00 00, any value
// of 1.0 or more -> 7F FF FF. std::nullopt when the scaled value does not fit a 32-bit
// integer (about 256.0 or more in magnitude) or is not a number; the caller reports it.
[[nodiscard]] std::optional<Tap24> SingleToFixed(float v);

// The signed value of a 24-bit tap stored high byte first (3 bytes at bytes), sign-extended:
// 7F FF FF -> 8388607, 80 00 00 -> -8388608, FF FF FF -> -1. The inverse of Wrap24.
[[nodiscard]] constexpr int32_t DecodeTap24(const uint8_t *bytes)
{
    const int32_t v = (bytes[0] << 16) | (bytes[1] << 8) | bytes[2];
    return (v & 0x800000) ? v - 0x1000000 : v;
}
[[nodiscard]] constexpr int32_t DecodeTap24(const Tap24 &tap) { return DecodeTap24(tap.data()); }

// The low 24 bits of value, high byte first: the form in which sums beyond the 24-bit range
// wrap instead of saturating.
[[nodiscard]] Tap24 Wrap24(int32_t value);

// Comb feedback in Q14 (16384 = 1.0): magnitude from the notch depth in dB by the processor's
// table (0..12 dB -> 8173 ... 52..54 dB -> 16319; negative or 55 and above -> 16383), sign +
// for mode 4 ("Odd") and - for every other mode.
[[nodiscard]] int16_t CombFeedbackCoefficient(int16_t depth, int16_t mode);

} // namespace korvane
