#include "spectrum.h"

#include <cmath>
#include <numbers>

namespace korvane {

void Fft(std::vector<std::complex<double>> &data)
{
    const size_t n = data.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> v = data[i + k + len / 2] * w;
                data[i + k + len / 2] = data[i + k] - v;
                data[i + k] += v;
                w *= step;
            }
        }
    }
}

size_t FloorPowerOfTwo(size_t n)
{
    size_t p = 1;
    while (p * 2 <= n)
        p *= 2;
    return p;
}

FrameSpectra::FrameSpectra(size_t frameLength, int sampleRate)
    : n_(frameLength), rate_(sampleRate), window_(frameLength), work_(frameLength)
{
    double sum = 0, sumSquares = 0;
    for (size_t i = 0; i < n_; ++i) {
        window_[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n_));
        sum += window_[i];
        sumSquares += window_[i] * window_[i];
    }
    // One-sided density: 2 |X|^2 / (fs sum w^2). A sine of amplitude a peaks at |X| = a sum w / 2,
    // so its power a^2 / 2 is 2 |X|^2 / (sum w)^2.
    densityScale_ = 2.0 / (sampleRate * sumSquares);
    toneScale_ = 2.0 / (sum * sum);
}

void FrameSpectra::power(std::span<const float> frame, std::vector<double> &out)
{
    for (size_t i = 0; i < n_; ++i)
        work_[i] = window_[i] * static_cast<double>(frame[i]);
    Fft(work_);
    out.resize(bins());
    for (size_t k = 0; k < out.size(); ++k)
        out[k] = std::norm(work_[k]);
}

} // namespace korvane
