#include "render.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace korvane {

size_t RenderWorkBytes(size_t frames, int channels, int clipRate, int setRate)
{
    if (clipRate <= 0 || setRate <= 0)
        return 0;
    // In doubles: a hostile frame count must not wrap round to a small number.
    const double atSetRate = static_cast<double>(frames) * setRate / clipRate;
    const double floats = 2.0 * static_cast<double>(frames) * std::max(channels, 1) + 2.0 * static_cast<double>(frames)
        + 2.0 * atSetRate;
    const double bytes = floats * sizeof(float);
    return bytes >= static_cast<double>(SIZE_MAX / 2) ? SIZE_MAX / 2 : static_cast<size_t>(bytes);
}

QString RenderTooLarge(size_t frames, int channels, int clipRate, int setRate)
{
    const size_t bytes = RenderWorkBytes(frames, channels, clipRate, setRate);
    if (bytes <= kMaxRenderBytes)
        return {};
    return QStringLiteral("it is too long: rendering %1 s at %2 Hz through a filter set at %3 Hz would take %4 MiB "
                          "of memory, more than the %5 MiB this program allows itself. Cut it into shorter pieces")
        .arg(static_cast<double>(frames) / clipRate, 0, 'f', 0)
        .arg(clipRate)
        .arg(setRate)
        .arg(static_cast<qulonglong>(bytes >> 20))
        .arg(static_cast<qulonglong>(kMaxRenderBytes >> 20));
}

std::optional<AudioClip> RenderClip(const FilterPath &path, const AudioClip &in, StageSelection which,
                                    const ProgressFn &progress, QString *error)
{
    if (const QString tooLarge = RenderTooLarge(in.frames(), in.channels, in.sampleRate, path.sampleRate());
        !tooLarge.isEmpty()) {
        if (error)
            *error = tooLarge;
        return std::nullopt;
    }
    // Fractions of the work: conversion in, filtering, conversion out, per channel.
    const double channels = in.channels;
    AudioClip out;
    out.sampleRate = in.sampleRate;
    out.channels = in.channels;
    out.fileFormat = in.fileFormat;
    out.samples.resize(in.channels == 1 ? 0 : in.samples.size());
    std::vector<float> channel, atSetRate, back;
    for (int c = 0; c < in.channels; ++c) {
        auto phase = [&](double from, double width) -> ProgressFn {
            if (!progress)
                return {};
            return [&, from, width](double f) { return progress((c + from + width * f) / channels); };
        };
        // A mono clip is used where it lies and its result becomes the output: fresh pages
        // cost as much as the filtering here.
        if (in.channels > 1)
            channel = in.channel(c);
        const std::vector<float> &source = in.channels == 1 ? in.samples : channel;
        if (!ResampleInto(source.data(), source.size(), 1, in.sampleRate, path.sampleRate(), ResampleQuality::High,
                          atSetRate, phase(0.0, 0.2), error))
            return std::nullopt;
        if (!path.process(atSetRate, which, phase(0.2, 0.6))) {
            if (error)
                *error = QStringLiteral("cancelled");
            return std::nullopt;
        }
        std::vector<float> &target = in.channels == 1 ? out.samples : back;
        if (!ResampleInto(atSetRate.data(), atSetRate.size(), 1, path.sampleRate(), in.sampleRate,
                          ResampleQuality::High, target, phase(0.8, 0.2), error))
            return std::nullopt;
        target.resize(in.frames(), 0.0f);
        if (in.channels > 1) {
            for (size_t f = 0; f < back.size(); ++f)
                out.samples[f * static_cast<size_t>(in.channels) + static_cast<size_t>(c)] = back[f];
        }
    }
    return out;
}

namespace {

// In-place iterative radix-2 transform of n = 2^k points, real and imaginary parts apart (a
// std::complex product calls into the library to handle infinities; these values are finite).
void fft(std::vector<float> &re, std::vector<float> &im, const std::vector<float> &cosTable,
         const std::vector<float> &sinTable)
{
    const size_t n = re.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const size_t half = len / 2, stride = n / len;
        for (size_t i = 0; i < n; i += len) {
            for (size_t k = 0; k < half; ++k) {
                const float wr = cosTable[k * stride], wi = sinTable[k * stride];
                const size_t a = i + k, b = i + k + half;
                const float vr = re[b] * wr - im[b] * wi, vi = re[b] * wi + im[b] * wr;
                re[b] = re[a] - vr;
                im[b] = im[a] - vi;
                re[a] += vr;
                im[a] += vi;
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
    const size_t hop = std::max<size_t>(
        1, (mono.size() + static_cast<size_t>(maxColumns) - 1) / static_cast<size_t>(maxColumns));
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
    const double scale = 2.0 / windowSum;
    const float powerOffset = static_cast<float>(20.0 * std::log10(scale));
    std::vector<float> cosTable(static_cast<size_t>(fftSize / 2)), sinTable(cosTable.size());
    for (size_t k = 0; k < cosTable.size(); ++k) {
        cosTable[k] = static_cast<float>(std::cos(-2.0 * std::numbers::pi * static_cast<double>(k) / fftSize));
        sinTable[k] = static_cast<float>(std::sin(-2.0 * std::numbers::pi * static_cast<double>(k) / fftSize));
    }
    std::vector<float> re(static_cast<size_t>(fftSize)), im(re.size());
    for (int c = 0; c < s.columns; ++c) {
        const std::ptrdiff_t centre = static_cast<std::ptrdiff_t>(static_cast<size_t>(c) * hop);
        for (int i = 0; i < fftSize; ++i) {
            const std::ptrdiff_t at = centre - fftSize / 2 + i;
            const float v = at >= 0 && at < static_cast<std::ptrdiff_t>(mono.size()) ? mono[static_cast<size_t>(at)]
                                                                                     : 0.0f;
            re[i] = v * window[i];
            im[i] = 0.0f;
        }
        fft(re, im, cosTable, sinTable);
        for (int b = 0; b < s.bins; ++b) {
            const float power = std::max(re[b] * re[b] + im[b] * im[b], 1e-20f);
            s.db[static_cast<size_t>(c) * s.bins + b] = 10.0f * std::log10(power) + powerOffset;
        }
    }
    return s;
}

} // namespace korvane
