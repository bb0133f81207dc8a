#include "design.h"

#include "analysisdetail.h"

#include "coefgen/firdesign.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace korvane {

namespace {

constexpr double kSilentDbFs = -100.0;    // a noise region quieter than this holds no noise
constexpr double kNotchMarginDb = 10.0;   // a tone is notched this far below the noise around it
constexpr double kNotchMinDepthDb = 25.0; // and at least this far down
constexpr double kToneCutPoints = 2.0;    // curve points cut either side of a tone
constexpr int kNotchWidthMin = 3, kNotchWidthMax = 125;
constexpr int kNotchDepthMin = 10, kNotchDepthMax = 60;
constexpr int kNotchFrequencyMin = 30;
constexpr double kMaxSignalLossDb = 1.5; // what the curve may cost the signal, by the estimates
constexpr double kMaxExponent = 6.0;
// The gain sees only the signal that stands this far (3 dB) above the noise estimate: a noise
// region of a few seconds misjudges the noise by a dB or two where it is strong and slow
// (the lowest bands), and what it leaves over must not pass for signal.
constexpr double kOverSubtraction = 2.0;

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Replaces the bins a steady tone occupies (its window's main lobe and its wander) by the
// median of the bins beside them, so the density left is the broadband noise's.
void RemoveTones(NoiseSpectrum &s, const std::vector<SteadyTone> &tones)
{
    const auto bins = static_cast<long>(s.density.size());
    for (const SteadyTone &t : tones) {
        const long centre = std::lround(t.frequencyHz / s.binHz);
        const long half = 3 + std::lround(2.0 * t.frequencySpreadHz / s.binHz);
        std::vector<double> beside;
        for (long k = centre - 3 * half; k <= centre + 3 * half; ++k) {
            if (k >= 0 && k < bins && std::abs(k - centre) > half)
                beside.push_back(s.density[static_cast<size_t>(k)]);
        }
        const double fill = Median(beside);
        for (long k = std::max(0L, centre - half); k <= std::min(bins - 1, centre + half); ++k)
            s.density[static_cast<size_t>(k)] = fill;
    }
}

// The frequency response of taps (tap k at time k) at hz, complex.
std::complex<double> TapsResponse(const FirTaps &taps, double hz, double rate)
{
    std::complex<double> sum;
    const double omega = -2.0 * std::numbers::pi * hz / rate;
    for (int k = 0; k < kCoefCount; ++k)
        sum += static_cast<double>(taps[static_cast<size_t>(k)]) * std::polar(1.0, omega * k);
    return sum;
}

double Db20(double magnitude) { return 20.0 * std::log10(std::max(magnitude, 1e-12)); }

// The narrowest Notch (largest width setting) whose depth setting holds the tone at least
// required dB down across its wander; the deepest one found when none does. A notch's taps
// are (1 - g) D + g x impulse, g = 10^(-depth / 20), D the notch without its floor, so D is
// designed once per width and every depth is tried on its response.
std::optional<NotchProposal> ProposeNotch(const SteadyTone &tone, int rate, int maxHz)
{
    const long centre = std::lround(tone.frequencyHz);
    if (centre < kNotchFrequencyMin || centre > maxHz)
        return std::nullopt;
    NotchProposal p;
    p.tone = tone;
    p.frequencyHz = static_cast<int16_t>(centre);
    // The centre is a whole number of Hz; the tone wanders about its mean.
    p.wanderHz = std::abs(tone.frequencyHz - static_cast<double>(centre)) + 2.0 * tone.frequencySpreadHz + 0.25;
    const double required = std::clamp(tone.prominenceDb + kNotchMarginDb, kNotchMinDepthDb, double(kNotchDepthMax));
    const double probes[] = {-1.0, -0.5, 0.0, 0.5, 1.0};
    double bestWorst = 1e9;
    for (int width = kNotchWidthMax; width >= kNotchWidthMin; --width) {
        const auto raw = DesignFir(
            {Notch, static_cast<float>(centre), 0, static_cast<float>(width), 200.0f, static_cast<float>(rate)});
        if (!raw)
            continue;
        std::complex<double> response[std::size(probes)];
        for (size_t i = 0; i < std::size(probes); ++i)
            response[i] = TapsResponse(*raw, tone.frequencyHz + probes[i] * p.wanderHz, rate);
        for (int depth = kNotchDepthMin; depth <= kNotchDepthMax; ++depth) {
            const double g = std::pow(10.0, -depth / 20.0);
            double worst = -1e9;
            for (const std::complex<double> &r : response)
                worst = std::max(worst, Db20(std::abs((1.0 - g) * r + g)));
            if (worst < bestWorst) {
                bestWorst = worst;
                p.width = static_cast<int16_t>(width);
                p.depthDb = static_cast<int16_t>(depth);
            }
        }
        // The first width (the narrowest) that holds the tone down is the one.
        if (bestWorst <= -required)
            break;
    }
    if (p.width == 0)
        return std::nullopt;
    // What the stage as stored will do (its taps designed at the chosen depth).
    const auto taps = DesignFir({Notch, static_cast<float>(centre), 0, static_cast<float>(p.width),
                                 static_cast<float>(p.depthDb), static_cast<float>(rate)});
    if (!taps)
        return std::nullopt;
    p.expectedDb = -1e9;
    for (double at : probes)
        p.expectedDb = std::max(p.expectedDb,
                                Db20(std::abs(TapsResponse(*taps, tone.frequencyHz + at * p.wanderHz, rate))));
    return p;
}

// The steady tones that are noise: those the noise region has too and those that fill at least
// half of the signal region (a held note of the voice does neither), loudest first. A tone
// taken for signal is noted.
std::vector<SteadyTone> NoiseTones(const Analysis &noise, const Analysis &signal, QStringList &notes)
{
    std::vector<SteadyTone> tones;
    auto near = [](const std::vector<SteadyTone> &list, const SteadyTone &t) {
        return std::any_of(list.begin(), list.end(),
                           [&](const SteadyTone &o) { return std::abs(o.frequencyHz - t.frequencyHz) < 2.0; });
    };
    for (const SteadyTone &t : signal.tones) {
        if (t.presence >= 0.5 || near(noise.tones, t))
            tones.push_back(t);
        else
            notes << QStringLiteral("the tone at %1 Hz fills %2 % of the signal region and is not in the noise "
                                    "region: taken for signal")
                         .arg(t.frequencyHz, 0, 'f', 1)
                         .arg(100.0 * t.presence, 0, 'f', 0);
    }
    for (const SteadyTone &t : noise.tones) {
        if (!near(signal.tones, t))
            tones.push_back(t);
    }
    std::sort(tones.begin(), tones.end(),
              [](const SteadyTone &a, const SteadyTone &b) { return a.levelDb > b.levelDb; });
    return tones;
}

// The curve's points are sampleRate / 256 apart, from 0 Hz.
double PointSpacingHz(int sampleRate) { return static_cast<double>(sampleRate) / 256.0; }

using PointDensities = std::array<double, kSpectralPointCount>;
using Curve = std::array<float, kSpectralPointCount>;

// The densities at the curve's points (spacing Hz apart), each averaged over the point and
// half-way to its neighbours either side.
struct Densities {
    PointDensities noise{};       // the noise region's, its tones removed
    PointDensities signal{};      // the signal region's less the noise
    PointDensities clearSignal{}; // the signal region's less kOverSubtraction times the noise
};

Densities DensitiesAtPoints(const NoiseSpectrum &n, const NoiseSpectrum &p, double spacing)
{
    Densities d;
    for (size_t k = 0; k < d.noise.size(); ++k) {
        const double hz = static_cast<double>(k) * spacing;
        const double all = p.meanDensity(hz - spacing, hz + spacing);
        d.noise[k] = n.meanDensity(hz - spacing, hz + spacing);
        d.signal[k] = std::max(all - d.noise[k], 0.0);
        d.clearSignal[k] = std::max(all - kOverSubtraction * d.noise[k], 0.0);
    }
    return d;
}

// The Wiener gain raised to exponent, in dB no lower than floorDb, smoothed across frequency
// and lifted so its top is 0 dB; the points around each tone at floorDb.
Curve CurveFor(const Densities &at, const std::vector<SteadyTone> &tones, double spacing, double floorDb,
               double exponent)
{
    std::array<double, kSpectralPointCount> gain{};
    for (size_t k = 0; k < gain.size(); ++k) {
        const double all = at.clearSignal[k] + at.noise[k];
        const double wiener = all > 0.0 ? at.clearSignal[k] / all : 1.0;
        gain[k] = std::clamp(exponent * Db20(wiener), floorDb, 0.0);
    }
    // Once more across frequency: a curve that jumps from point to point rings in time.
    Curve curve{};
    std::array<double, kSpectralPointCount> smooth{};
    for (size_t k = 0; k < gain.size(); ++k)
        smooth[k] = 0.25 * gain[k > 0 ? k - 1 : 0] + 0.5 * gain[k] + 0.25 * gain[std::min(gain.size() - 1, k + 1)];
    const double top = *std::max_element(smooth.begin(), smooth.end());
    for (size_t k = 0; k < gain.size(); ++k)
        curve[k] = static_cast<float>(std::clamp(smooth[k] - top, floorDb, 0.0));
    for (const SteadyTone &t : tones) {
        const double half = kToneCutPoints * spacing + 2.0 * t.frequencySpreadHz;
        for (size_t k = 0; k < curve.size(); ++k) {
            if (std::abs(static_cast<double>(k) * spacing - t.frequencyHz) <= half)
                curve[k] = static_cast<float>(floorDb);
        }
    }
    return curve;
}

// How much of a density the curve lets through, dB.
double Through(const Curve &curve, const PointDensities &density)
{
    double in = 0, out = 0;
    for (size_t k = 0; k < curve.size(); ++k) {
        in += density[k];
        out += density[k] * std::pow(10.0, curve[k] / 10.0);
    }
    return in > 0 ? 10.0 * std::log10(std::max(out, 1e-30) / in) : 0.0;
}

// The curve of d (its exponent, what it costs the signal and cuts of the noise), from the
// noise and signal spectra with d.tones removed. A tone above the curve's top is noted.
void FitCurve(Design &d, NoiseSpectrum n, NoiseSpectrum p, double floorDb)
{
    RemoveTones(n, d.tones);
    RemoveTones(p, d.tones);
    const double spacing = PointSpacingHz(d.sampleRate);
    const Densities at = DensitiesAtPoints(n, p, spacing);
    const double curveTopHz = (kSpectralPointCount - 1) * spacing;
    // The plain Wiener gain keeps every band where signal and noise are alike at -6 dB. Raising
    // it to a power cuts those bands harder: the highest power (in quarter steps up to 6) that
    // costs the signal at most kMaxSignalLossDb by the estimates.
    d.exponent = 1.0;
    for (double e = 1.25; e <= kMaxExponent; e += 0.25) {
        if (Through(CurveFor(at, d.tones, spacing, floorDb, e), at.signal) < -kMaxSignalLossDb)
            break;
        d.exponent = e;
    }
    d.curve = CurveFor(at, d.tones, spacing, floorDb, d.exponent);
    d.signalLossDb = -Through(d.curve, at.signal);
    d.noiseCutDb = -Through(d.curve, at.noise);
    for (const SteadyTone &t : d.tones) {
        if (t.frequencyHz > curveTopHz + spacing)
            d.notes << QStringLiteral("the tone at %1 Hz lies above the curve's %2 Hz")
                           .arg(t.frequencyHz, 0, 'f', 1)
                           .arg(curveTopHz, 0, 'f', 0);
    }
}

// A Notch for each of d's tones, or a note that none reaches it.
void ProposeNotches(Design &d)
{
    Model limits;
    limits.ValidateStage(0, 1);
    for (const SteadyTone &t : d.tones) {
        if (auto proposal = ProposeNotch(t, d.sampleRate, limits.MaxFilterFrequency(0)))
            d.notches.push_back(*proposal);
        else
            d.notes << QStringLiteral("no Notch reaches the tone at %1 Hz (%2..%3 Hz)")
                           .arg(t.frequencyHz, 0, 'f', 1)
                           .arg(kNotchFrequencyMin)
                           .arg(limits.MaxFilterFrequency(0));
    }
}

} // namespace

int ValidatedSetSampleRate()
{
    Model m;
    m.ValidateStage(0, 1);
    return m.SampleRate(0);
}

std::optional<Design> DesignFromNoise(const AudioClip &clip, const DesignOptions &options, AnalysisError *error)
{
    const std::vector<float> mono = clip.mono();
    const auto noise = AnalyzeNamedRegion(mono, clip.sampleRate, options.noise, QStringLiteral("noise region"), error);
    if (!noise)
        return std::nullopt;
    if (noise->rmsDb < kSilentDbFs) {
        if (error)
            *error = {
                AnalysisError::Kind::NoNoise,
                QStringLiteral("the noise region %1 s to %2 s is silent (%3 dBFS): there is no noise to design from")
                    .arg(options.noise.fromSeconds, 0, 'f', 3)
                    .arg(options.noise.toSeconds, 0, 'f', 3)
                    .arg(noise->rmsDb, 0, 'f', 0)};
        return std::nullopt;
    }
    const ClipRegion signalRegion = options.signal.value_or(ClipRegion::whole(clip));
    const auto signal = AnalyzeNamedRegion(mono, clip.sampleRate, signalRegion, QStringLiteral("signal region"), error);
    if (!signal)
        return std::nullopt;

    Design d;
    d.sampleRate = ValidatedSetSampleRate();
    d.noise = options.noise;
    d.signal = signalRegion;
    d.tones = NoiseTones(*noise, *signal, d.notes);
    FitCurve(d, noise->spectrum, signal->spectrum, std::clamp(options.floorDb, -40.0, 0.0));
    ProposeNotches(d);
    const double curveTopHz = (kSpectralPointCount - 1) * PointSpacingHz(d.sampleRate);
    if (clip.sampleRate < 2 * curveTopHz)
        d.notes << QStringLiteral("the clip holds nothing above %1 Hz; the curve stays at 0 dB there")
                       .arg(clip.sampleRate / 2);
    return d;
}

StageConfig NotchProposal::stage(StageConfig base) const
{
    base.Type = Notch;
    base.Freq1 = frequencyHz;
    base.Freq2 = width;
    base.AttenDb = depthDb;
    return base;
}

StageConfig Design::curveStage(const StageConfig &base) const
{
    StageConfig s = base;
    s.Type = SpectralEq;
    s.SpectralGain = curve;
    return s;
}

bool ApplyDesign(Model &model, int set, const Design &design, bool withNotch, QString *why)
{
    auto fail = [&](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (set < 0 || set >= kFilterSetCount)
        return fail(QStringLiteral("filter set %1 does not exist (0..15)").arg(set));
    if (withNotch && design.notches.empty())
        return fail(QStringLiteral("no steady tone was found to put a Notch on"));
    const FilterSet before = model.FilterData[static_cast<size_t>(set)];
    model.stage(set, 1) = design.curveStage(model.stage(set, 1));
    if (withNotch)
        model.stage(set, 2) = design.notches.front().stage(model.stage(set, 2));
    model.ValidateStage(set, 1);
    model.ValidateStage(set, 2);
    if (model.SampleRate(set) != design.sampleRate) {
        model.FilterData[static_cast<size_t>(set)] = before;
        return fail(QStringLiteral("filter set %1 runs at %2 Hz, the design was made for %3 Hz")
                        .arg(set)
                        .arg(model.SampleRate(set))
                        .arg(design.sampleRate));
    }
    return true;
}

QJsonObject Design::toJson() const
{
    QJsonArray points, toneList, notchList, noteList;
    for (float v : curve)
        points.append(std::round(v * 100.0) / 100.0);
    Analysis forTones;
    forTones.tones = tones;
    toneList = AnalysisToJson(forTones).value("tones").toArray();
    for (const NotchProposal &n : notches) {
        notchList.append(QJsonObject{{"frequencyHz", n.frequencyHz},
                                     {"width", n.width},
                                     {"depthDb", n.depthDb},
                                     {"wanderHz", n.wanderHz},
                                     {"expectedDb", n.expectedDb},
                                     {"toneHz", n.tone.frequencyHz}});
    }
    for (const QString &note : notes)
        noteList.append(note);
    return {{"sampleRate", sampleRate},
            {"noise", QJsonArray{noise.fromSeconds, noise.toSeconds}},
            {"signal", QJsonArray{signal.fromSeconds, signal.toSeconds}},
            {"curve", points},
            {"exponent", exponent},
            {"signalLossDb", signalLossDb},
            {"noiseCutDb", noiseCutDb},
            {"tones", toneList},
            {"notches", notchList},
            {"notes", noteList}};
}

QString Design::describe() const
{
    QString out = QStringLiteral("Designed for %1 Hz from the noise in %2 s to %3 s and the signal in %4 s to %5 s\n")
                      .arg(sampleRate)
                      .arg(noise.fromSeconds, 0, 'f', 3)
                      .arg(noise.toSeconds, 0, 'f', 3)
                      .arg(signal.fromSeconds, 0, 'f', 3)
                      .arg(signal.toSeconds, 0, 'f', 3);
    out += QStringLiteral("Spectral Graphic Equalizer curve: Wiener gain to the power %1; by the estimates it takes "
                          "%2 dB from the signal and %3 dB from the noise\n")
               .arg(exponent, 0, 'f', 2)
               .arg(signalLossDb, 0, 'f', 1)
               .arg(noiseCutDb, 0, 'f', 1);
    out += QStringLiteral("Curve (dB, point k at k x %1 Hz):\n").arg(sampleRate / 256.0, 0, 'f', 2);
    for (int k = 0; k < kSpectralPointCount; k += 10) {
        out += QStringLiteral("  %1 Hz:").arg(k * sampleRate / 256.0, 6, 'f', 0);
        for (int j = k; j < std::min(k + 10, kSpectralPointCount); ++j)
            out += QStringLiteral(" %1").arg(curve[static_cast<size_t>(j)], 5, 'f', 1);
        out += QLatin1Char('\n');
    }
    if (tones.empty())
        out += QStringLiteral("No steady tones\n");
    for (const SteadyTone &t : tones) {
        out += QStringLiteral("Tone %1 Hz, %2 dBFS, %3 dB over the noise, steady to +-%4 Hz")
                   .arg(t.frequencyHz, 0, 'f', 2)
                   .arg(t.levelDb, 0, 'f', 1)
                   .arg(t.prominenceDb, 0, 'f', 1)
                   .arg(t.frequencySpreadHz, 0, 'f', 2);
        const auto n = std::find_if(notches.begin(), notches.end(),
                                    [&](const NotchProposal &p) { return p.tone.frequencyHz == t.frequencyHz; });
        if (n != notches.end())
            out += QStringLiteral(": Notch %1 Hz, width %2, depth %3 dB (at most %4 dB over +-%5 Hz)")
                       .arg(n->frequencyHz)
                       .arg(n->width)
                       .arg(n->depthDb)
                       .arg(n->expectedDb, 0, 'f', 1)
                       .arg(n->wanderHz, 0, 'f', 2);
        out += QLatin1Char('\n');
    }
    for (const QString &note : notes)
        out += QStringLiteral("Note: %1\n").arg(note);
    return out;
}

} // namespace korvane
