#pragma once
// Clips and filter sets shared by the Listen tests.

#include "filterpath/audioclip.h"
#include "filterpath/filterpath.h"
#include "modeltesting.h"
#include "pathtesting.h"

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace korvane::test {

inline Model listenModel(int16_t type1, int16_t type2) { return twoStageModel(0, type1, type2); }

inline FilterPath listenPath(int16_t type1, int16_t type2) { return pathOf(listenModel(type1, type2)); }

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

// A recording to design from, at rate Hz: noise alone for the first 1.5 s, then bursts of a
// voice-like harmonic sound as well, a steady tone at toneHz throughout, and digital
// silence in the last 0.5 s. 6 s long.
inline AudioClip designClip(int rate, double toneHz)
{
    AudioClip c;
    c.sampleRate = rate;
    c.channels = 1;
    std::mt19937 rng(27);
    std::normal_distribution<float> noise(0.0f, 0.03f);
    const size_t n = static_cast<size_t>(rate * 6.0), quiet = static_cast<size_t>(rate * 5.5);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = noise(rng) + 0.05 * std::sin(2 * std::numbers::pi * toneHz * t);
        // Each burst on its own pitch of 110..178 Hz, gliding up a fifth of it: no steady tone.
        const double s = std::fmod(t, 0.6), f0 = 110 + 17 * (static_cast<int>(t / 0.6) % 5);
        if (t > 1.5 && s < 0.35)
            for (int h = 1; h <= 12; ++h)
                v += 0.12 / h * std::sin(2 * std::numbers::pi * f0 * h * (s + 0.3 * s * s));
        c.samples.push_back(i < quiet ? static_cast<float>(v) : 0.0f);
    }
    return c;
}

// RMS of x in dB of full scale (a full-scale square wave 0 dB).
inline double rmsDb(const std::vector<float> &x)
{
    double sum = 0;
    for (float v : x)
        sum += static_cast<double>(v) * v;
    return 10.0 * std::log10(sum / static_cast<double>(std::max<size_t>(1, x.size())));
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
