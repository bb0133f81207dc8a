#pragma once
// Spectral estimates shared by the analysis and the design: a radix-2 transform and
// Hann-windowed frames of a mono signal. Used only inside this library.

#include <complex>
#include <cstddef>
#include <span>
#include <vector>

namespace korvane {

// In-place transform of n = 2^k points (forward, no scaling).
void Fft(std::vector<std::complex<double>> &data);

// The largest power of two that is at most n (1 for n < 2).
[[nodiscard]] size_t FloorPowerOfTwo(size_t n);

// Hann-windowed frames of one length, each turned into one-sided power values.
class FrameSpectra {
public:
    // frameLength a power of two; sampleRate in Hz.
    FrameSpectra(size_t frameLength, int sampleRate);

    [[nodiscard]] size_t frameLength() const { return n_; }
    [[nodiscard]] size_t bins() const { return n_ / 2 + 1; }
    [[nodiscard]] double binHz() const { return static_cast<double>(rate_) / static_cast<double>(n_); }

    // |X_k|^2 of the frame starting at samples.data() (frameLength samples), bins() values.
    void power(std::span<const float> frame, std::vector<double> &out);

    // Converts a bin's |X|^2 to a one-sided power density (full scale^2 per Hz) for noise,
    // and the peak |X|^2 of a sine to its power (amplitude^2 / 2).
    [[nodiscard]] double densityScale() const { return densityScale_; }
    [[nodiscard]] double toneScale() const { return toneScale_; }

private:
    size_t n_;
    int rate_;
    std::vector<double> window_;
    std::vector<std::complex<double>> work_;
    double densityScale_ = 0;
    double toneScale_ = 0;
};

} // namespace korvane
