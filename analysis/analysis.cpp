#include "analysis.h"

#include "analysisdetail.h"
#include "spectrum.h"

#include <QJsonArray>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

namespace korvane {

namespace {

constexpr double kPowerFloor = 1e-30;          // keeps logarithms finite on digital silence
constexpr size_t kMaxNoiseFrames = 1000;       // a longer region spreads this many over its length
constexpr size_t kMaxToneFrames = 400;         // long frames for the tone statistics
constexpr size_t kMaxToneCandidates = 32;      // peaks of the average followed frame by frame
constexpr size_t kMaxTones = 16;               // reported
constexpr double kCandidateOverFloorDb = 12.0; // an average peak this far over the median around it
constexpr double kPresentOverFloorDb = 10.0;   // a frame's peak this far over the same median
constexpr double kSteadySeconds = 1.0;         // a tone present this long in all is reported
constexpr double kProminenceBandHz = 100.0;

double Db(double power) { return 10.0 * std::log10(std::max(power, kPowerFloor)); }

// A full-scale sine has power 0.5: dBFS of a power (or a density, per Hz).
double DbFs(double power) { return Db(2.0 * power); }

size_t NearestPowerOfTwo(double n)
{
    return static_cast<size_t>(1) << static_cast<int>(std::lround(std::log2(std::max(n, 2.0))));
}

double Percentile(std::vector<float> &values, double fraction)
{
    if (values.empty())
        return 0.0;
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

// Median of values[k - half .. k + half] for every k (clamped at the ends).
std::vector<double> RunningMedian(const std::vector<double> &values, size_t half)
{
    std::vector<double> out(values.size()), window;
    for (size_t k = 0; k < values.size(); ++k) {
        const size_t lo = k > half ? k - half : 0, hi = std::min(values.size(), k + half + 1);
        window.assign(values.begin() + static_cast<std::ptrdiff_t>(lo),
                      values.begin() + static_cast<std::ptrdiff_t>(hi));
        std::nth_element(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(window.size() / 2), window.end());
        out[k] = window[window.size() / 2];
    }
    return out;
}

// Offset of a peak from bin k in bins (-0.5 .. 0.5) and its interpolated height, from a
// parabola through the logarithms of three powers.
std::pair<double, double> InterpolatePeak(double left, double centre, double right)
{
    const double a = std::log(std::max(left, kPowerFloor)), b = std::log(std::max(centre, kPowerFloor)),
                 c = std::log(std::max(right, kPowerFloor));
    const double denominator = a - 2.0 * b + c;
    if (denominator >= 0.0)
        return {0.0, centre};
    const double offset = std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5);
    return {offset, std::exp(b - 0.25 * (a - c) * offset)};
}

NoiseSpectrum WelchSpectrum(std::span<const float> x, int sampleRate)
{
    NoiseSpectrum s;
    FrameSpectra frames(NearestPowerOfTwo(sampleRate / 20.0), sampleRate);
    const size_t n = frames.frameLength(), bins = frames.bins();
    const size_t count = std::min(kMaxNoiseFrames, (x.size() - n) / (n / 2) + 1);
    const double hop = count > 1 ? static_cast<double>(x.size() - n) / static_cast<double>(count - 1) : 0.0;
    s.binHz = frames.binHz();
    s.frames = static_cast<int>(count);
    s.density.assign(bins, 0.0);
    std::vector<float> levels(count * bins); // frame-major: levels[f * bins + k]
    std::vector<double> power;
    for (size_t f = 0; f < count; ++f) {
        frames.power(x.subspan(static_cast<size_t>(std::lround(hop * static_cast<double>(f))), n), power);
        for (size_t k = 0; k < bins; ++k) {
            s.density[k] += power[k];
            const size_t lo = k >= 2 ? k - 2 : 0, hi = std::min(bins, k + 3);
            const double local = std::accumulate(power.begin() + static_cast<std::ptrdiff_t>(lo),
                                                 power.begin() + static_cast<std::ptrdiff_t>(hi), 0.0)
                / static_cast<double>(hi - lo);
            levels[f * bins + k] = static_cast<float>(DbFs(local * frames.densityScale()));
        }
    }
    s.lowDb.resize(bins);
    s.highDb.resize(bins);
    std::vector<float> column(count);
    for (size_t k = 0; k < bins; ++k) {
        s.density[k] *= frames.densityScale() / static_cast<double>(count);
        for (size_t f = 0; f < count; ++f)
            column[f] = levels[f * bins + k];
        s.lowDb[k] = Percentile(column, 0.1);
        s.highDb[k] = Percentile(column, 0.9);
    }
    return s;
}

struct ToneTrack {
    size_t bin = 0;
    std::vector<double> hz, powers; // per frame it is present in
};

// The long frames the tone search reads: count frames of length samples spread evenly over x.
struct ToneFrames {
    std::span<const float> x;
    size_t length = 0;
    size_t count = 0;
    double hop = 0; // samples from one frame's start to the next, 0 for a single frame

    [[nodiscard]] std::span<const float> at(size_t f) const
    {
        return x.subspan(static_cast<size_t>(std::lround(hop * static_cast<double>(f))), length);
    }
};

// The average power of the frames, per bin.
std::vector<double> AveragePower(FrameSpectra &spectra, const ToneFrames &frames)
{
    std::vector<double> average(spectra.bins(), 0.0), power;
    for (size_t f = 0; f < frames.count; ++f) {
        spectra.power(frames.at(f), power);
        for (size_t k = 0; k < average.size(); ++k)
            average[k] += power[k] / static_cast<double>(frames.count);
    }
    return average;
}

// A track for each peak of the average that stands out of its local floor, the most prominent
// first, none within three bins of one before, at most kMaxToneCandidates.
std::vector<ToneTrack> CandidateTracks(const std::vector<double> &average, const std::vector<double> &floor)
{
    const size_t bins = average.size();
    const double candidateRatio = std::pow(10.0, kCandidateOverFloorDb / 10.0);
    std::vector<size_t> peaks;
    for (size_t k = 2; k + 2 < bins; ++k) {
        if (average[k] >= average[k - 1] && average[k] > average[k + 1] && average[k] > candidateRatio * floor[k])
            peaks.push_back(k);
    }
    std::sort(peaks.begin(), peaks.end(),
              [&](size_t a, size_t b) { return average[a] / floor[a] > average[b] / floor[b]; });
    std::vector<ToneTrack> tracks;
    for (size_t k : peaks) {
        const bool near = std::any_of(tracks.begin(), tracks.end(),
                                      [&](const ToneTrack &t) { return (t.bin > k ? t.bin - k : k - t.bin) <= 3; });
        if (!near)
            tracks.push_back({k, {}, {}});
        if (tracks.size() == kMaxToneCandidates)
            break;
    }
    return tracks;
}

// Each track frame by frame, within two bins of where the average has it: the interpolated
// frequency and power of every frame it stands out in.
void FollowTracks(std::vector<ToneTrack> &tracks, FrameSpectra &spectra, const ToneFrames &frames,
                  const std::vector<double> &floor)
{
    const size_t bins = spectra.bins();
    const double presentRatio = std::pow(10.0, kPresentOverFloorDb / 10.0);
    std::vector<double> power;
    for (size_t f = 0; f < frames.count; ++f) {
        spectra.power(frames.at(f), power);
        for (ToneTrack &t : tracks) {
            size_t k = t.bin;
            for (size_t j = t.bin - 2; j <= t.bin + 2; ++j)
                k = power[j] > power[k] ? j : k;
            if (power[k] < presentRatio * floor[k] || k == 0 || k + 1 >= bins)
                continue;
            const auto [offset, peak] = InterpolatePeak(power[k - 1], power[k], power[k + 1]);
            t.hz.push_back((static_cast<double>(k) + offset) * spectra.binHz());
            t.powers.push_back(peak * spectra.toneScale());
        }
    }
}

// The tone a track followed, when it was present kSteadySeconds or more in all; count frames
// hopSeconds apart; floorDensity the noise density around it.
std::optional<SteadyTone> SteadyToneOf(const ToneTrack &t, size_t count, double hopSeconds, double floorDensity)
{
    const double present = static_cast<double>(t.hz.size()) / static_cast<double>(count);
    SteadyTone tone;
    tone.presence = present;
    // Every sample of a tone counts in the frames over it by their window weights, which add
    // up to one hop's worth: the frames' amplitudes relative to a whole frame's, summed,
    // give the tone's length in hops (a little short at the region's ends).
    const double whole = t.powers.empty() ? 0.0 : *std::max_element(t.powers.begin(), t.powers.end());
    for (double p : t.powers)
        tone.seconds += hopSeconds * std::sqrt(p / whole);
    if (tone.seconds < kSteadySeconds)
        return std::nullopt;
    const double n = static_cast<double>(t.hz.size());
    const double meanHz = std::accumulate(t.hz.begin(), t.hz.end(), 0.0) / n;
    const double meanPower = std::accumulate(t.powers.begin(), t.powers.end(), 0.0) / n;
    double hzSquares = 0, dbSquares = 0;
    for (size_t i = 0; i < t.hz.size(); ++i) {
        hzSquares += (t.hz[i] - meanHz) * (t.hz[i] - meanHz);
        dbSquares += (Db(t.powers[i]) - Db(meanPower)) * (Db(t.powers[i]) - Db(meanPower));
    }
    tone.frequencySpreadHz = std::sqrt(hzSquares / n);
    tone.levelSpreadDb = std::sqrt(dbSquares / n);
    tone.frequencyHz = meanHz;
    tone.levelDb = DbFs(meanPower);
    tone.prominenceDb = Db(meanPower) - Db(floorDensity * kProminenceBandHz);
    return tone;
}

std::vector<SteadyTone> FindTones(std::span<const float> x, int sampleRate)
{
    const size_t length = std::min(FloorPowerOfTwo(static_cast<size_t>(sampleRate)), FloorPowerOfTwo(x.size()));
    if (length < 1024)
        return {};
    FrameSpectra spectra(length, sampleRate);
    ToneFrames frames{x, length, std::min(kMaxToneFrames, (x.size() - length) / (length / 4) + 1)};
    frames.hop = frames.count > 1 ? static_cast<double>(x.size() - length) / static_cast<double>(frames.count - 1)
                                  : 0.0;

    // Pass 1: the average, its local floor, and the peaks standing out of it.
    const std::vector<double> average = AveragePower(spectra, frames);
    const size_t half = std::max<size_t>(8, static_cast<size_t>(std::lround(40.0 / spectra.binHz())));
    const std::vector<double> floor = RunningMedian(average, half);
    std::vector<ToneTrack> tracks = CandidateTracks(average, floor);
    if (tracks.empty())
        return {};

    // Pass 2: each peak frame by frame.
    FollowTracks(tracks, spectra, frames, floor);

    const double hopSeconds = (frames.count > 1 ? frames.hop : static_cast<double>(length)) / sampleRate;
    std::vector<SteadyTone> tones;
    for (const ToneTrack &t : tracks) {
        const auto tone = SteadyToneOf(t, frames.count, hopSeconds, floor[t.bin] * spectra.densityScale());
        if (!tone)
            continue;
        const bool duplicate = std::any_of(tones.begin(), tones.end(), [&](const SteadyTone &o) {
            return std::abs(o.frequencyHz - tone->frequencyHz) < 2.0 * spectra.binHz();
        });
        if (!duplicate)
            tones.push_back(*tone);
    }
    std::sort(tones.begin(), tones.end(),
              [](const SteadyTone &a, const SteadyTone &b) { return a.levelDb > b.levelDb; });
    if (tones.size() > kMaxTones)
        tones.resize(kMaxTones);
    return tones;
}

} // namespace

double NoiseSpectrum::levelDb(size_t bin) const { return DbFs(density.at(bin)); }

double NoiseSpectrum::meanDensity(double loHz, double hiHz) const
{
    if (binHz <= 0 || density.empty())
        return 0.0;
    // Bin k covers [(k - 0.5) binHz, (k + 0.5) binHz); partly covered bins count by their share.
    double sum = 0, width = 0;
    for (size_t k = 0; k < density.size(); ++k) {
        const double lo = std::max(loHz, (static_cast<double>(k) - 0.5) * binHz);
        const double hi = std::min(hiHz, (static_cast<double>(k) + 0.5) * binHz);
        if (hi > lo) {
            sum += density[k] * (hi - lo);
            width += hi - lo;
        }
    }
    return width > 0 ? sum / width : 0.0;
}

std::optional<Analysis> AnalyzeNamedRegion(const std::vector<float> &mono, int sampleRate, const ClipRegion &region,
                                           const QString &label, AnalysisError *error)
{
    auto fail = [&](AnalysisError::Kind kind, const QString &reason) -> std::optional<Analysis> {
        if (error)
            *error = {kind, reason};
        return std::nullopt;
    };
    if (mono.empty() || sampleRate <= 0)
        return fail(AnalysisError::Kind::NoAudio, QStringLiteral("the clip holds no audio"));
    const double clipSeconds = static_cast<double>(mono.size()) / sampleRate;
    const QString span
        = QStringLiteral("%1 s to %2 s").arg(region.fromSeconds, 0, 'f', 3).arg(region.toSeconds, 0, 'f', 3);
    if (!(region.toSeconds > region.fromSeconds))
        return fail(AnalysisError::Kind::EmptyRegion, QStringLiteral("the %1 %2 is empty").arg(label, span));
    // Durations are shown to the millisecond: a region typed from one may end just past the clip.
    const double slack = std::max(0.5 / sampleRate, 0.0005);
    if (region.fromSeconds < -slack || region.toSeconds > clipSeconds + slack)
        return fail(AnalysisError::Kind::RegionOutsideClip,
                    QStringLiteral("the %1 %2 lies outside the clip (0 s to %3 s)")
                        .arg(label, span)
                        .arg(clipSeconds, 0, 'f', 3));
    const auto first = static_cast<size_t>(std::max(0L, std::lround(region.fromSeconds * sampleRate)));
    const auto last = std::min(mono.size(), static_cast<size_t>(std::lround(region.toSeconds * sampleRate)));
    const std::span<const float> x(mono.data() + first, last > first ? last - first : 0);
    if (x.size() < NearestPowerOfTwo(sampleRate / 20.0))
        return fail(AnalysisError::Kind::RegionTooShort,
                    QStringLiteral("the %1 %2 is shorter than one analysis frame (about 50 ms)").arg(label, span));

    Analysis a;
    a.sampleRate = sampleRate;
    a.region = region;
    double sum = 0;
    for (float v : x)
        sum += static_cast<double>(v) * v;
    a.rmsDb = DbFs(sum / static_cast<double>(x.size()));
    a.spectrum = WelchSpectrum(x, sampleRate);
    a.tones = FindTones(x, sampleRate);
    return a;
}

std::optional<Analysis> AnalyzeSamples(const std::vector<float> &mono, int sampleRate, const ClipRegion &region,
                                       AnalysisError *error)
{
    return AnalyzeNamedRegion(mono, sampleRate, region, QStringLiteral("region"), error);
}

std::optional<Analysis> AnalyzeClip(const AudioClip &clip, const ClipRegion &region, AnalysisError *error)
{
    return AnalyzeSamples(clip.mono(), clip.sampleRate, region, error);
}

namespace {

struct Band {
    double hz, meanDb, lowDb, highDb;
};

// The spectrum in bands of 1/6 octave (at least one bin each), for reading.
std::vector<Band> Bands(const NoiseSpectrum &s)
{
    std::vector<Band> out;
    const size_t bins = s.density.size();
    for (size_t k = 1; k < bins;) {
        const double lo = (static_cast<double>(k) - 0.5) * s.binHz;
        const size_t end = std::min(
            bins, std::max(k + 1, static_cast<size_t>(std::ceil(lo * std::pow(2.0, 1.0 / 6.0) / s.binHz + 0.5))));
        double density = 0, low = 0, high = 0;
        for (size_t j = k; j < end; ++j) {
            density += s.density[j];
            low += s.lowDb[j];
            high += s.highDb[j];
        }
        const double n = static_cast<double>(end - k);
        out.push_back({0.5 * static_cast<double>(k + end - 1) * s.binHz, DbFs(density / n), low / n, high / n});
        k = end;
    }
    return out;
}

} // namespace

QJsonObject AnalysisToJson(const Analysis &analysis)
{
    QJsonArray tones;
    for (const SteadyTone &t : analysis.tones) {
        tones.append(QJsonObject{{"frequencyHz", t.frequencyHz},
                                 {"levelDb", t.levelDb},
                                 {"prominenceDb", t.prominenceDb},
                                 {"frequencySpreadHz", t.frequencySpreadHz},
                                 {"levelSpreadDb", t.levelSpreadDb},
                                 {"presence", t.presence},
                                 {"seconds", t.seconds}});
    }
    QJsonArray bins;
    for (const Band &b : Bands(analysis.spectrum))
        bins.append(QJsonArray{b.hz, b.meanDb, b.lowDb, b.highDb});
    return {{"sampleRate", analysis.sampleRate},
            {"from", analysis.region.fromSeconds},
            {"to", analysis.region.toSeconds},
            {"rmsDb", analysis.rmsDb},
            {"tones", tones},
            {"noise",
             QJsonObject{{"binHz", analysis.spectrum.binHz}, {"frames", analysis.spectrum.frames}, {"bins", bins}}}};
}

QString DescribeAnalysis(const Analysis &analysis)
{
    QString out = QStringLiteral("Region %1 s to %2 s at %3 Hz, level %4 dBFS\n")
                      .arg(analysis.region.fromSeconds, 0, 'f', 3)
                      .arg(analysis.region.toSeconds, 0, 'f', 3)
                      .arg(analysis.sampleRate)
                      .arg(analysis.rmsDb, 0, 'f', 1);
    if (analysis.tones.empty())
        out += QStringLiteral("No steady tones\n");
    for (const SteadyTone &t : analysis.tones) {
        out += QStringLiteral("Tone %1 Hz, %2 dBFS, %3 dB over the noise, steady to +-%4 Hz and +-%5 dB, "
                              "present %6 % (%7 s)\n")
                   .arg(t.frequencyHz, 0, 'f', 2)
                   .arg(t.levelDb, 0, 'f', 1)
                   .arg(t.prominenceDb, 0, 'f', 1)
                   .arg(t.frequencySpreadHz, 0, 'f', 2)
                   .arg(t.levelSpreadDb, 0, 'f', 1)
                   .arg(100.0 * t.presence, 0, 'f', 0)
                   .arg(t.seconds, 0, 'f', 1);
    }
    out += QStringLiteral("Noise (Hz: mean, 10th..90th percentile, dBFS/Hz):\n");
    for (const Band &b : Bands(analysis.spectrum)) {
        out += QStringLiteral("  %1: %2, %3..%4\n")
                   .arg(b.hz, 7, 'f', 0)
                   .arg(b.meanDb, 0, 'f', 1)
                   .arg(b.lowDb, 0, 'f', 1)
                   .arg(b.highDb, 0, 'f', 1);
    }
    return out;
}

} // namespace korvane
