#include "fixedpoint.h"

#include <cmath>

namespace korvane {

std::optional<Tap24> SingleToFixed(float v)
{
    const float scale = 8388607.0f;
    const float x = scale * v;
    // A single in [-2^31, 2^31) rounds to a value that fits 32 bits; NaN fails both tests.
    if (!(x >= -2147483648.0f && x < 2147483648.0f))
        return std::nullopt;
    long long l = std::llrint(x); // current rounding mode: nearest, ties to even
    if (l > 8388607)
        l = 8388607;
    else if (l < -8388608)
        l = -8388608;
    return Wrap24(static_cast<int32_t>(l));
}

Tap24 Wrap24(int32_t value)
{
    const uint32_t l = static_cast<uint32_t>(value) & 0xFFFFFFu;
    return {static_cast<uint8_t>(l >> 16), static_cast<uint8_t>((l >> 8) & 0xFF), static_cast<uint8_t>(l & 0xFF)};
}

int16_t CombFeedbackCoefficient(int16_t depth, int16_t mode)
{
    // Index (depth - 13) / 3 + 1 for 13..54 dB; row 0 covers 0..12 dB.
    static const int16_t magnitudes[] = {8173,  10571, 12263, 13470, 14321, 14924, 15350, 15652,
                                         15866, 16017, 16124, 16200, 16254, 16292, 16319};
    int16_t magnitude = 16383;
    if (depth >= 0 && depth <= 12)
        magnitude = magnitudes[0];
    else if (depth >= 13 && depth <= 54)
        magnitude = magnitudes[(depth - 13) / 3 + 1];
    return mode == 4 ? magnitude : static_cast<int16_t>(-magnitude);
}

} // namespace korvane
