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

std::optional<FirTaps> DesignFir(const FirDesignInput &in)
{
    switch (in.type) {
    case Lowpass:
    case Highpass:
    case Bandpass:
    case Bandstop:
    case Notch:
    case Slot:
    case Comb:
        break;
    default:
        return std::nullopt;
    }
    const float fs = in.sampleRate;
    const float f1 = in.f1;
    const float f2 = in.f2;
    const float M = in.halfLength;

    // g = 10^(-A/20), the floor the stopband is blended up to.
    const float minusAOver20 = -in.attenDb / 20.0f;
    const float g = static_cast<float>(std::exp(std::log(10.0) * minusAOver20));
    if (!finite(g))
        return std::nullopt;

    const float lower = CentreTap - M;
    const float upper = CentreTap + M;
    const float twoM = 2.0f * M;
    const float spanTaps = twoM + 1.0f;

    FirTaps h{};
    for (int k = 0; k < kCoefCount; ++k) {
        const float kf = static_cast<float>(k);
        float d = 0.0f;
        if (k == 127) {
            switch (in.type) {
            case Lowpass:
            case Comb:
                d = 2.0f * f1 / fs;
                break;
            case Highpass:
                d = 1.0f - 2.0f * f1 / fs;
                break;
            case Bandpass: {
                const float a = 2.0f * f2 / fs;
                const float b = 2.0f * f1 / fs;
                const float stop = 1.0f - a + b;
                d = 1.0f - stop;
                break;
            }
            case Bandstop: {
                const float a = 2.0f * f2 / fs;
                const float b = 2.0f * f1 / fs;
                d = 1.0f - a + b;
                break;
            }
            case Notch:
                d = static_cast<float>(1.0 - std::cos(0.0) * K / twoM);
                break;
            case Slot:
                d = static_cast<float>(std::cos(0.0) * K / twoM);
                break;
            }
        } else if (lower <= kf && kf <= upper) {
            const double n = k - 127;
            double raw = 0.0;
            switch (in.type) {
            case Lowpass:
            case Comb:
                raw = std::sin(f1 * TwoPi * n / fs) / (Pi * n);
                break;
            case Highpass:
                raw = -std::sin(f1 * TwoPi * n / fs) / (Pi * n);
                break;
            case Bandpass:
                raw = (std::sin(f2 * TwoPi * n / fs) - std::sin(f1 * TwoPi * n / fs)) / (Pi * n);
                break;
            case Bandstop:
                raw = (std::sin(f1 * TwoPi * n / fs) - std::sin(f2 * TwoPi * n / fs)) / (Pi * n);
                break;
            case Notch: {
                const float f0OverFs = f1 / fs;
                raw = -std::cos(n * TwoPi * f0OverFs) * K / twoM;
                break;
            }
            case Slot: {
                const float f0OverFs = f1 / fs;
                raw = std::cos(n * TwoPi * f0OverFs) * K / twoM;
                break;
            }
            }
            const float value = static_cast<float>(raw);
            // Zero at tap 127 - M; tap 127 + M keeps the small weight at u = 2M/(2M+1).
            const float u = (kf - CentreTap + M) / spanTaps;
            // The weight stays double; only the product is rounded to single (rounding the
            // weight first moves an occasional tap by one 24-bit step).
            const double w = 0.42 - 0.5 * std::cos(TwoPi * u) + 0.08 * std::cos(FourPi * u);
            if (!finite(raw) || !finite(value) || !finite(u))
                return std::nullopt;
            d = static_cast<float>(static_cast<double>(value) * w);
        }
        if (!finite(d))
            return std::nullopt;

        float out;
        if (k == 127) {
            const float rest = 1.0f - d;
            const float floor = rest * g;
            out = floor + d;
        } else {
            const float floor = (-d) * g;
            out = floor + d;
        }
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
