#include "firdesign.h"

#include <cmath>

namespace korvane {

namespace {

// The constants the processor's filters were tuned with; not to be replaced by more precise
// values.
constexpr double TwoPi = 6.2831854;
constexpr double Pi = 3.1415927;
constexpr double FourPi = 12.5663708;
constexpr float K = 4.7619f; // normalises the windowed cosine of Notch and Slot to unit gain at f0
constexpr float CentreTap = 127.0f;

bool finite(double v) { return std::isfinite(v); }

bool isDesignedType(int16_t type)
{
    switch (type) {
    case Lowpass:
    case Highpass:
    case Bandpass:
    case Bandstop:
    case Notch:
    case Slot:
    case Comb:
        return true;
    default:
        return false;
    }
}

// The ideal response at the centre tap (n = 0, where sin(x)/x is taken at its limit).
// twoM: 2M, the window's span less one.
float idealCentreTap(const FirDesignInput &in, float twoM)
{
    const float fs = in.sampleRate;
    const float f1 = in.f1;
    const float f2 = in.f2;
    switch (in.type) {
    case Lowpass:
    case Comb:
        return 2.0f * f1 / fs;
    case Highpass:
        return 1.0f - 2.0f * f1 / fs;
    case Bandpass: {
        const float a = 2.0f * f2 / fs;
        const float b = 2.0f * f1 / fs;
        const float stop = 1.0f - a + b;
        return 1.0f - stop;
    }
    case Bandstop: {
        const float a = 2.0f * f2 / fs;
        const float b = 2.0f * f1 / fs;
        return 1.0f - a + b;
    }
    case Notch:
        return static_cast<float>(1.0 - std::cos(0.0) * K / twoM);
    case Slot:
        return static_cast<float>(std::cos(0.0) * K / twoM);
    default:
        return 0.0f;
    }
}

// The ideal (unwindowed) response at n taps from the centre, n != 0, in double.
double idealTap(const FirDesignInput &in, double n, float twoM)
{
    const float fs = in.sampleRate;
    const float f1 = in.f1;
    const float f2 = in.f2;
    switch (in.type) {
    case Lowpass:
    case Comb:
        return std::sin(f1 * TwoPi * n / fs) / (Pi * n);
    case Highpass:
        return -std::sin(f1 * TwoPi * n / fs) / (Pi * n);
    case Bandpass:
        return (std::sin(f2 * TwoPi * n / fs) - std::sin(f1 * TwoPi * n / fs)) / (Pi * n);
    case Bandstop:
        return (std::sin(f1 * TwoPi * n / fs) - std::sin(f2 * TwoPi * n / fs)) / (Pi * n);
    case Notch: {
        const float f0OverFs = f1 / fs;
        return -std::cos(n * TwoPi * f0OverFs) * K / twoM;
    }
    case Slot: {
        const float f0OverFs = f1 / fs;
        return std::cos(n * TwoPi * f0OverFs) * K / twoM;
    }
    default:
        return 0.0;
    }
}

// Tap k (inside the window, not the centre) windowed: the ideal value rounded to single,
// times the Blackman-form weight. std::nullopt on a floating-point fault.
std::optional<float> windowedTap(const FirDesignInput &in, int k)
{
    const float M = in.halfLength;
    const float twoM = 2.0f * M;
    const float spanTaps = twoM + 1.0f;
    const float kf = static_cast<float>(k);
    const double raw = idealTap(in, k - 127, twoM);
    const float value = static_cast<float>(raw);
    // Zero at tap 127 - M; tap 127 + M keeps the small weight at u = 2M/(2M+1).
    const float u = (kf - CentreTap + M) / spanTaps;
    // The weight stays double; only the product is rounded to single (rounding the weight
    // first moves an occasional tap by one 24-bit step).
    const double w = 0.42 - 0.5 * std::cos(TwoPi * u) + 0.08 * std::cos(FourPi * u);
    if (!finite(raw) || !finite(value) || !finite(u))
        return std::nullopt;
    return static_cast<float>(static_cast<double>(value) * w);
}

// Blends designed tap d with the unit impulse so that the stopband sits at g (10^(-A/20)):
// out = d + g (impulse - d).
float blendWithFloor(float d, float g, bool centre)
{
    if (centre) {
        const float rest = 1.0f - d;
        const float floor = rest * g;
        return floor + d;
    }
    const float floor = (-d) * g;
    return floor + d;
}

} // namespace

FirDesignInput FirInputFromStage(const StageConfig &stage, int sampleRate)
{
    FirDesignInput in;
    in.type = stage.Type;
    in.sampleRate = static_cast<float>(sampleRate);
    in.f1 = stage.Freq1;
    in.f2 = stage.Freq2;
    in.halfLength = stage.Slope;
    in.attenDb = stage.AttenDb;
    switch (stage.Type) {
    case Notch:
    case Slot:
        in.halfLength = stage.Freq2;
        break;
    case Comb:
        in.f1 = stage.Freq2;
        in.halfLength = 125;
        in.attenDb = 60;
        break;
    default:
        break;
    }
    return in;
}

// Each tap: the ideal response (the centre tap, a windowed tap inside 127 - M .. 127 + M, or
// zero outside), then blended with the unit impulse up to the stopband floor g.
std::optional<FirTaps> DesignFir(const FirDesignInput &in)
{
    if (!isDesignedType(in.type))
        return std::nullopt;
    // g = 10^(-A/20), the floor the stopband is blended up to.
    const float minusAOver20 = -in.attenDb / 20.0f;
    const float g = static_cast<float>(std::exp(std::log(10.0) * minusAOver20));
    if (!finite(g))
        return std::nullopt;

    const float M = in.halfLength;
    const float lower = CentreTap - M;
    const float upper = CentreTap + M;

    FirTaps h{};
    for (int k = 0; k < kCoefCount; ++k) {
        const float kf = static_cast<float>(k);
        float d = 0.0f;
        if (k == 127) {
            d = idealCentreTap(in, 2.0f * M);
        } else if (lower <= kf && kf <= upper) {
            const std::optional<float> windowed = windowedTap(in, k);
            if (!windowed)
                return std::nullopt;
            d = *windowed;
        }
        if (!finite(d))
            return std::nullopt;
        const float out = blendWithFloor(d, g, k == 127);
        if (!finite(out))
            return std::nullopt;
        h[k] = out;
    }
    return h;
}

std::optional<FirTaps> DesignStageFir(const StageConfig &stage, int sampleRate)
{
    return DesignFir(FirInputFromStage(stage, sampleRate));
}

} // namespace korvane
