#pragma once
// Clips and filter sets shared by the Listen tests.

#include "filterpath/audioclip.h"
#include "filterpath/filterpath.h"
#include "scripteddialog.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace korvane::test {

inline Model listenModel(int16_t type1, int16_t type2)
{
    Model m;
    m.ResetAllFilterSets();
    m.CurrentSet = 0;
    m.stage(0, 1).Type = type1;
    m.ApplyTypeDefaults(1);
    m.stage(0, 2).Type = type2;
    m.ApplyTypeDefaults(2);
    m.ValidateStage(0, 1);
    m.ValidateStage(0, 2);
    return m;
}

inline FilterPath listenPath(int16_t type1, int16_t type2)
{
    ScriptedDialog d;
    return *FilterPathForSet(listenModel(type1, type2), 0, d);
}

// Noise with two tones, 0.6 peak at most.
inline AudioClip toneNoiseClip(int rate, double seconds)
{
    AudioClip c;
    c.sampleRate = rate;
    c.channels = 1;
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> u(-0.2f, 0.2f);
    const size_t n = static_cast<size_t>(rate * seconds);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        c.samples.push_back(static_cast<float>(0.2 * std::sin(2 * std::numbers::pi * 700 * t)
                                               + 0.2 * std::sin(2 * std::numbers::pi * 3100 * t))
                            + u(rng));
    }
    return c;
}

inline AudioClip sineClip(int rate, double seconds, double hz, double amplitude)
{
    AudioClip c;
    c.sampleRate = rate;
    c.channels = 1;
    const size_t n = static_cast<size_t>(rate * seconds);
    for (size_t i = 0; i < n; ++i)
        c.samples.push_back(static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * hz * i / rate)));
    return c;
}

// Normalised correlation of a[0..n) and b[0..n).
inline double correlation(const float *a, const float *b, size_t n)
{
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
        ab += static_cast<double>(a[i]) * b[i];
        aa += static_cast<double>(a[i]) * a[i];
        bb += static_cast<double>(b[i]) * b[i];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

} // namespace korvane::test
