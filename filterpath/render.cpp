#include "render.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace korvane {

std::optional<AudioClip> RenderClip(const FilterPath &path, const AudioClip &in, StageSelection which,
                                    const ProgressFn &progress, QString *error)
{
    // Fractions of the work: conversion in, filtering, conversion out, per channel.
    const double channels = in.channels;
    AudioClip out;
    out.sampleRate = in.sampleRate;
    out.channels = in.channels;
    out.fileFormat = in.fileFormat;
    out.samples.resize(in.samples.size());
    for (int c = 0; c < in.channels; ++c) {
        auto phase = [&](double from, double width) -> ProgressFn {
            if (!progress)
                return {};
            return [&, from, width](double f) { return progress((c + from + width * f) / channels); };
        };
        auto atSetRate = Resample(in.channel(c), 1, in.sampleRate, path.sampleRate(), ResampleQuality::High,
                                  phase(0.0, 0.2), error);
        if (!atSetRate)
            return std::nullopt;
        if (!path.process(*atSetRate, which, phase(0.2, 0.6))) {
            if (error)
                *error = QStringLiteral("cancelled");
            return std::nullopt;
        }
        auto back = Resample(*atSetRate, 1, path.sampleRate(), in.sampleRate, ResampleQuality::High, phase(0.8, 0.2), error);
        if (!back)
            return std::nullopt;
        back->resize(in.frames(), 0.0f);
        for (size_t f = 0; f < back->size(); ++f)
            out.samples[f * static_cast<size_t>(in.channels) + static_cast<size_t>(c)] = (*back)[f];
    }
    return out;
}

namespace {

// In-place iterative radix-2 transform of n = 2^k points.
void fft(std::vector<std::complex<float>> &a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double ang = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<float> wl(static_cast<float>(std::cos(ang)), static_cast<float>(std::sin(ang)));
        for (size_t i = 0; i < n; i += len) {
            std::complex<float> w(1.0f, 0.0f);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<float> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

} // namespace

Spectrogram ComputeSpectrogram(const std::vector<float> &mono, int sampleRate, int fftSize, int maxColumns)
{
    Spectrogram s;
    fftSize = std::clamp(fftSize, 64, 8192);
    s.bins = fftSize / 2 + 1;
    s.sampleRate = sampleRate;
    if (mono.empty() || sampleRate <= 0 || maxColumns <= 0)
        return s;
    const size_t hop = std::max<size_t>(1, (mono.size() + static_cast<size_t>(maxColumns) - 1) / static_cast<size_t>(maxColumns));
    s.columns = static_cast<int>((mono.size() + hop - 1) / hop);
    s.hopSeconds = static_cast<double>(hop) / sampleRate;
    s.db.resize(static_cast<size_t>(s.columns) * static_cast<size_t>(s.bins));
    std::vector<float> window(static_cast<size_t>(fftSize));
    double windowSum = 0;
    for (int i = 0; i < fftSize; ++i) {
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / fftSize));
        windowSum += window[i];
    }
    // A full-scale sine gives a peak of windowSum / 2.
    const float scale = static_cast<float>(2.0 / windowSum);
    std::vector<std::complex<float>> buf(static_cast<size_t>(fftSize));
    for (int c = 0; c < s.columns; ++c) {
        const std::ptrdiff_t centre = static_cast<std::ptrdiff_t>(static_cast<size_t>(c) * hop);
        for (int i = 0; i < fftSize; ++i) {
            const std::ptrdiff_t at = centre - fftSize / 2 + i;
            const float v = at >= 0 && at < static_cast<std::ptrdiff_t>(mono.size()) ? mono[static_cast<size_t>(at)] : 0.0f;
            buf[i] = {v * window[i], 0.0f};
        }
        fft(buf);
        for (int b = 0; b < s.bins; ++b)
            s.db[static_cast<size_t>(c) * s.bins + b] = 20.0f * std::log10(std::max(std::abs(buf[b]) * scale, 1e-7f));
    }
    return s;
}

} // namespace korvane
