// Analysis and design against recordings made here: a voice of harmonic syllables with
// pauses, pink noise at 5 dB SNR and two steady tones. The designed set is judged by what the
// processor's path does with the clean part, the noise part and each tone run through it apart.

#include "../coefgen/imagetestutil.h"
#include "datatable.h"
#include "pathtesting.h"
#include "scripteddialog.h"

#include "analysis/design.h"
#include "coefgen/spectral.h"
#include "filterpath/filterpath.h"
#include "filterpath/render.h"

#include <QtTest>

#include <cmath>
#include <numbers>
#include <random>

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr int kRate = 44100;
constexpr double kSeconds = 12.0, kVoiceFrom = 2.0; // 0..2 s is noise only
constexpr double kToneHz[2] = {1234.56, 3010.3};
constexpr double kHeldHz = 161.3;

struct Recording {
    std::vector<float> clean, noise, tone[2];

    [[nodiscard]] AudioClip mix() const
    {
        AudioClip c{kRate, 1, clean, 0};
        for (size_t i = 0; i < c.samples.size(); ++i)
            c.samples[i] += noise[i] + tone[0][i] + tone[1][i];
        return c;
    }
};

double meanSquare(const std::vector<float> &x)
{
    double sum = 0;
    for (float v : x)
        sum += static_cast<double>(v) * v;
    return sum / static_cast<double>(x.size());
}

void scaleTo(std::vector<float> &x, double power)
{
    const double g = std::sqrt(power / meanSquare(x));
    for (float &v : x)
        v = static_cast<float>(v * g);
}

// Syllables of 0.18..0.45 s on a gliding, trembling pitch of 95..210 Hz, harmonics shaped by
// two formants that move from syllable to syllable, with short gaps and longer pauses.
Recording makeRecording()
{
    const auto n = static_cast<size_t>(kSeconds * kRate);
    Recording r{std::vector<float>(n), std::vector<float>(n), {std::vector<float>(n), std::vector<float>(n)}};
    std::mt19937 rng(27);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    std::vector<double> phase(40);
    for (double t = kVoiceFrom, syllable = 0; t < kSeconds - 0.5; ++syllable) {
        // One vowel is held on one pitch: its harmonics are steady tones, but signal.
        const bool held = syllable == 6;
        const double length = held ? 1.3 : uniform(0.18, 0.45), f0 = held ? kHeldHz : uniform(95, 210),
                     glide = held ? 0.0 : uniform(-0.15, 0.15), tremble = held ? 0.0 : 0.015;
        const double f1 = uniform(300, 800), f2 = uniform(900, 2300);
        const auto first = static_cast<size_t>(t * kRate), count = static_cast<size_t>(length * kRate);
        for (size_t i = 0; i < count; ++i) {
            const double s = static_cast<double>(i) / kRate;
            const double pitch = f0 * (1.0 + glide * s / length)
                * (1.0 + tremble * std::sin(2 * std::numbers::pi * 5.5 * s));
            const double envelope = std::min({1.0, s / 0.03, (length - s) / 0.05});
            double v = 0;
            for (size_t h = 1; h < phase.size() && h * pitch < 4000; ++h) {
                const double f = static_cast<double>(h) * pitch;
                const double a = 1.0 / (1.0 + std::pow((f - f1) / 90.0, 2))
                    + 0.5 / (1.0 + std::pow((f - f2) / 140.0, 2)) + 0.1 * 150.0 / f;
                phase[h] += 2 * std::numbers::pi * f / kRate;
                v += a * std::sin(phase[h]);
            }
            r.clean[first + i] = static_cast<float>(envelope * v);
        }
        t += length + (static_cast<int>(syllable) % 4 == 3 ? uniform(0.5, 0.9) : uniform(0.06, 0.25));
    }
    scaleTo(r.clean, std::pow(10.0, -20.0 / 10.0));
    // Pink noise: white noise through a sum of first-order lowpasses (within 0.5 dB of 1/f).
    std::normal_distribution<double> white;
    double b[7] = {};
    for (float &v : r.noise) {
        const double w = white(rng);
        b[0] = 0.99886 * b[0] + w * 0.0555179;
        b[1] = 0.99332 * b[1] + w * 0.0750759;
        b[2] = 0.96900 * b[2] + w * 0.1538520;
        b[3] = 0.86650 * b[3] + w * 0.3104856;
        b[4] = 0.55000 * b[4] + w * 0.5329522;
        b[5] = -0.7616 * b[5] - w * 0.0168980;
        v = static_cast<float>(b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + w * 0.5362);
        b[6] = w * 0.115926;
    }
    scaleTo(r.noise, meanSquare(r.clean) / std::pow(10.0, 5.0 / 10.0));
    // A steady whine in the voice's band and a weaker carrier that wanders +-0.4 Hz.
    double wander = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        r.tone[0][i] = static_cast<float>(std::sin(2 * std::numbers::pi * kToneHz[0] * t));
        wander += 2 * std::numbers::pi * (kToneHz[1] + 0.4 * std::sin(2 * std::numbers::pi * 0.2 * t)) / kRate;
        r.tone[1][i] = static_cast<float>(std::sin(wander));
    }
    scaleTo(r.tone[0], meanSquare(r.clean) / std::pow(10.0, 6.0 / 10.0));
    scaleTo(r.tone[1], meanSquare(r.clean) / std::pow(10.0, 15.0 / 10.0));
    return r;
}

Model validated(Model m)
{
    m.ValidateStage(0, 1);
    m.ValidateStage(0, 2);
    return m;
}

// Mean square of x after the path, leaving out the first and last 0.1 s (the resampler's and
// the filter's start and end).
double powerThrough(const FilterPath &path, const std::vector<float> &x)
{
    QString why;
    const auto out = RenderClip(path, AudioClip{kRate, 1, x, 0}, StageSelection::Both, {}, &why);
    if (!out)
        qFatal("render failed: %s", qPrintable(why));
    const auto edge = static_cast<size_t>(0.1 * kRate);
    return meanSquare(std::vector<float>(out->samples.begin() + edge, out->samples.end() - edge));
}

double db(double ratio) { return 10.0 * std::log10(ratio); }

} // namespace

class TestAnalysis : public QObject {
    Q_OBJECT

    Recording rec_ = makeRecording();

private slots:
    void initTestCase() { SetKorvanesLocation(programDir()); }

    // Both tones within 1 Hz, and the held vowel's harmonics found as the steady tones they
    // are, but filling little of the clip.
    void findsTheTones()
    {
        AnalysisError error;
        const auto a = AnalyzeClip(rec_.mix(), {0.5, kSeconds}, &error);
        QVERIFY2(a, qPrintable(error.reason));
        qInfo().noquote() << DescribeAnalysis(*a).section(QLatin1String("Noise"), 0, 0);
        auto found = [&](double hz) {
            return std::find_if(a->tones.begin(), a->tones.end(),
                                [&](const SteadyTone &t) { return std::abs(t.frequencyHz - hz) < 1.0; });
        };
        for (int i = 0; i < 2; ++i) {
            QVERIFY2(found(kToneHz[i]) != a->tones.end(), qPrintable(QString::number(kToneHz[i])));
            qInfo("tone %d: true %.2f Hz, found %.3f Hz", i + 1, kToneHz[i], found(kToneHz[i])->frequencyHz);
            QVERIFY(found(kToneHz[i])->presence > 0.9);
        }
        int harmonics = 0;
        for (const SteadyTone &t : a->tones) {
            const double h = std::round(t.frequencyHz / kHeldHz);
            if (std::abs(t.frequencyHz - h * kHeldHz) < 1.0 && t.presence < 0.3)
                ++harmonics;
        }
        QCOMPARE(harmonics + 2, int(a->tones.size()));
        QVERIFY(harmonics > 0);
        // The steady one is steadier, and the noise spectrum is pink: about 3 dB less per octave.
        QVERIFY(found(kToneHz[0])->frequencySpreadHz < found(kToneHz[1])->frequencySpreadHz);
        const auto quiet = AnalyzeClip(rec_.mix(), {0.0, 2.0});
        QVERIFY(quiet);
        const double octaves = quiet->spectrum.meanDensity(380, 420) / quiet->spectrum.meanDensity(3040, 3360);
        QVERIFY2(std::abs(db(octaves) - 9.0) < 2.0, qPrintable(QString::number(db(octaves))));
    }

    void designedSetCleansTheVoice()
    {
        AnalysisError error;
        const auto design = DesignFromNoise(rec_.mix(), {{0.0, 2.0}, std::nullopt, -40.0}, &error);
        QVERIFY2(design, qPrintable(error.reason));
        qInfo().noquote() << design->describe();
        QCOMPARE(design->tones.size(), size_t(2)); // the held vowel is left alone
        Model m = passThruModel();
        const Model before = m;
        QVERIFY(ApplyDesign(m, 0, *design, true));
        QCOMPARE(m.stage(0, 1).Type, int16_t(SpectralEq));
        QCOMPARE(m.stage(0, 2).Type, int16_t(Notch));
        QCOMPARE(m.stage(0, 2).Freq1, int16_t(std::lround(kToneHz[0])));
        QCOMPARE(validated(m).FilterData[0], m.FilterData[0]);
        QCOMPARE(m.FilterData[1], before.FilterData[1]);

        Model bandpass = passThruModel();
        setType(bandpass, 0, 1, Bandpass); // 300..2500 Hz
        const FilterPath original = pathOf(validated(passThruModel())), designed = pathOf(m),
                         plain = pathOf(validated(bandpass));
        std::vector<float> unwanted = rec_.noise;
        for (size_t i = 0; i < unwanted.size(); ++i)
            unwanted[i] += rec_.tone[0][i] + rec_.tone[1][i];
        auto snr = [&](const FilterPath &p, const std::vector<float> &noise) {
            return db(powerThrough(p, rec_.clean) / powerThrough(p, noise));
        };
        const double snrIn = snr(original, unwanted), snrOut = snr(designed, unwanted), snrPlain = snr(plain, unwanted);
        const double hissIn = snr(original, rec_.noise), hissOut = snr(designed, rec_.noise),
                     hissPlain = snr(plain, rec_.noise);
        const double level = db(powerThrough(designed, rec_.clean) / powerThrough(original, rec_.clean));
        qInfo("SNR, noise and tones: %.1f dB in, %.1f dB designed (%+.1f), %.1f dB 300-2500 Hz Bandpass", snrIn, snrOut,
              snrOut - snrIn, snrPlain);
        qInfo("SNR, noise alone: %.1f dB in, %.1f dB designed (%+.1f), %.1f dB Bandpass", hissIn, hissOut,
              hissOut - hissIn, hissPlain);
        qInfo("clean part's level through the designed set: %+.2f dB", level);
        QVERIFY(snrOut - snrIn >= 6.0);
        QVERIFY(snrOut - snrPlain >= 3.0);
        QVERIFY(hissOut > hissPlain); // even where the Bandpass has no tone to miss
        QVERIFY(std::abs(level) <= 3.0);
        // Without the Notch (Stage 2 left Pass Thru) the curve alone holds the tones down.
        Model curveOnly = passThruModel();
        QVERIFY(ApplyDesign(curveOnly, 0, *design, false));
        QCOMPARE(curveOnly.stage(0, 2).Type, int16_t(PassThru));
        const FilterPath curve = pathOf(curveOnly);
        for (int i = 0; i < 2; ++i) {
            const double in = powerThrough(original, rec_.tone[i]);
            const double cut = db(powerThrough(designed, rec_.tone[i]) / in);
            const double curveCut = db(powerThrough(curve, rec_.tone[i]) / in);
            qInfo("tone %d (%.2f Hz): %.1f dB through the designed set, %.1f dB through its curve alone", i + 1,
                  kToneHz[i], cut, curveCut);
            QVERIFY(cut <= -25.0);
            QVERIFY(curveCut <= -25.0);
        }
    }

    void badInputFails_data()
    {
        test::addColumns<double, double, int>("from", "to", "kind");
        QTest::newRow("empty") << 1.0 << 1.0 << int(AnalysisError::Kind::EmptyRegion);
        QTest::newRow("reversed") << 2.0 << 1.0 << int(AnalysisError::Kind::EmptyRegion);
        QTest::newRow("before the start") << -0.5 << 1.0 << int(AnalysisError::Kind::RegionOutsideClip);
        QTest::newRow("past the end") << 11.0 << kSeconds + 0.01 << int(AnalysisError::Kind::RegionOutsideClip);
        QTest::newRow("one sample") << 1.0 << 1.0 + 1.0 / kRate << int(AnalysisError::Kind::RegionTooShort);
        QTest::newRow("silent noise") << 0.0 << 1.0 << int(AnalysisError::Kind::NoNoise);
    }
    void badInputFails()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, kind);
        AudioClip clip = rec_.mix();
        if (kind == int(AnalysisError::Kind::NoNoise))
            std::fill(clip.samples.begin(), clip.samples.begin() + kRate, 0.0f);
        AnalysisError error;
        QVERIFY(!DesignFromNoise(clip, {{from, to}, std::nullopt, -40.0}, &error));
        QCOMPARE(int(error.kind), kind);
        QVERIFY(error.reason.contains(QStringLiteral("noise region")));
        if (kind != int(AnalysisError::Kind::NoNoise))
            QVERIFY(!AnalyzeClip(clip, {from, to}));
    }
};

QTEST_GUILESS_MAIN(TestAnalysis)
#include "test_analysis.moc"
