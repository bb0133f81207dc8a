// The response engine: curves of the taps the processor receives, the comb model, the
// adaptive and unbuildable cases, and the conditions the image builder would have shown.

#include "currentfolder.h"
#include "datatable.h"
#include "imagetestutil.h"

#include "coefgen/response.h"
#include "coefgen/spectral.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include <algorithm>
#include <cmath>

using namespace korvane;
using namespace korvane::test;

namespace {

// A set with the given bandwidth code in both stage records, both stages Pass Thru.
Model modelAt(int16_t bandwidth)
{
    Model m = passThruModel();
    for (int stage = 1; stage <= 2; ++stage)
        m.stage(0, stage).Bandwidth = bandwidth;
    return m;
}

// Frequency in lo..hi where the stage's decoded taps cross level dB, by bisection; the
// response must fall through the level once in the range.
double crossing(const StageResponse &r, double level, double lo, double hi, double fs)
{
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (TapsMagnitudeDb(r.taps, mid, fs) > level ? lo : hi) = mid;
    }
    return (lo + hi) / 2;
}

// Largest and smallest value of curve over the points whose frequency lies in lo..hi.
std::pair<double, double> range(const SetResponse &r, const std::vector<double> &curve, double lo, double hi)
{
    double mx = -1e9, mn = 1e9;
    for (int j = 0; j < r.points(); ++j) {
        if (r.frequency[j] < lo || r.frequency[j] > hi)
            continue;
        mx = std::max(mx, curve[j]);
        mn = std::min(mn, curve[j]);
    }
    return {mn, mx};
}

} // namespace

class TestResponse : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        SetKorvanesLocation(programDir());
        QVERIFY(inProgramDir_.emplace(programDir()).entered()); // the program folder's 20Band
    }
    void cleanupTestCase() { inProgramDir_.reset(); }

    void gridAndPassThru()
    {
        ResponseEngine engine;
        QCOMPARE(engine.points(), 513);
        const SetResponse r = engine.setResponse(modelAt(1), 0);
        QCOMPARE(r.sampleRate, 12000);
        QCOMPARE(r.points(), 513);
        QCOMPARE(r.frequency.front(), 0.0);
        QCOMPARE(r.frequency.back(), 6000.0);
        QVERIFY(r.blockBuilt);
        QVERIFY(r.problems.isEmpty());
        for (const StageResponse &s : r.stages) {
            QCOMPARE(s.kind, StageResponse::Kind::PassThru);
            QVERIFY(std::all_of(s.db.begin(), s.db.end(), [](double v) { return v == 0.0; }));
        }
        QCOMPARE(ResponseEngine(600).points(), 1025);
    }

    // A unit impulse in tap 0 is 7F FF FF, which decodes to exactly 1.0: 0 dB everywhere.
    void importedImpulseDecodesToUnity()
    {
        Model m = modelAt(2);
        setType(m, 0, 1, ImportedCoef);
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        QCOMPARE(r.stages[0].kind, StageResponse::Kind::Fir);
        QCOMPARE(r.stages[0].taps[0], 1.0);
        const auto [mn, mx] = range(r, r.stages[0].db, 0, 8600);
        QVERIFY(mn > -1e-9 && mx < 1e-9);
    }

    void defaultLowpass()
    {
        Model m = modelAt(0);
        setType(m, 0, 1, Lowpass);
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        QCOMPARE(r.sampleRate, 9000);
        const StageResponse &lp = r.stages[0];
        QCOMPARE(lp.kind, StageResponse::Kind::Fir);
        const double f6 = crossing(lp, -6.0, 1500, 3500, 9000);
        QVERIFY2(std::abs(f6 - 2500) <= 50, qPrintable(QString::number(f6)));
        const auto [passMin, passMax] = range(r, lp.db, 0, 2000);
        QVERIFY(passMin > -0.5 && passMax < 0.5);
        // The floor blend holds the whole stopband about 30 dB down.
        const auto [stopMin, stopMax] = range(r, lp.db, 3200, 4500);
        QVERIFY2(stopMin > -31.5 && stopMax < -28.5, qPrintable(QStringLiteral("%1 %2").arg(stopMin).arg(stopMax)));
        // The grid curve agrees with a direct evaluation.
        QVERIFY(std::abs(lp.db[100] - TapsMagnitudeDb(lp.taps, r.frequency[100], 9000)) < 1e-9);
    }

    // The bottom sits at the centre and AttenDb down. The notch's bandpass is normalised for
    // 2M taps while the window spans 2M + 1, so its gain at the centre is (2M + 1) / 2M and a
    // short notch goes a little deeper than asked: the default (M 64, 30 dB) reaches 32.4 dB.
    void notchAtCentre_data()
    {
        test::addColumns<int, int, int, double, double>("centre", "width", "depth", "expectedDepth", "tolerance");
        QTest::newRow("default") << 400 << 64 << 30 << 32.4 << 0.2;
        QTest::newRow("longest") << 400 << 125 << 30 << 31.15 << 0.2;
        QTest::newRow("shallow") << 1000 << 32 << 12 << 12.0 << 1.0;
        QTest::newRow("high") << 6000 << 125 << 20 << 20.0 << 1.0;
    }
    void notchAtCentre()
    {
        QFETCH(int, centre);
        QFETCH(int, width);
        QFETCH(int, depth);
        QFETCH(double, expectedDepth);
        QFETCH(double, tolerance);
        Model m = modelAt(2);
        setType(m, 0, 2, Notch);
        m.stage(0, 2).Freq1 = static_cast<int16_t>(centre);
        m.stage(0, 2).Freq2 = static_cast<int16_t>(width);
        m.stage(0, 2).AttenDb = static_cast<int16_t>(depth);
        ResponseEngine engine(4097); // 4.2 Hz steps
        const SetResponse r = engine.setResponse(m, 0);
        const auto &db = r.stages[1].db;
        const auto lowest = std::min_element(db.begin(), db.end()) - db.begin();
        QVERIFY2(std::abs(r.frequency[lowest] - centre) < 4.3, qPrintable(QString::number(r.frequency[lowest])));
        const double atCentre = TapsMagnitudeDb(r.stages[1].taps, centre, r.sampleRate);
        QVERIFY2(std::abs(atCentre + expectedDepth) < tolerance, qPrintable(QString::number(atCentre)));
        QVERIFY(std::abs(db[0]) < 0.5); // far from the notch the signal passes
    }

    // The trace reaches 114 fs/256 and is zero beyond. The Hann window of the synthesis blends
    // neighbouring points, so the response is flat up to point 113 and already 2.5 dB down at
    // the trace's last point, half way (6 dB) at 114.5.
    void flatSpectralTrace()
    {
        Model m = modelAt(2);
        m.stage(0, 1).Type = SpectralEq;
        m.stage(0, 1).SpectralGain.fill(0.0f);
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        QVERIFY2(r.blockBuilt, qPrintable(r.problems.join('\n')));
        const double fs = r.sampleRate;
        const auto [mn, mx] = range(r, r.stages[0].db, 0, 113 * fs / 256);
        QVERIFY2(mn > -0.1 && mx < 0.1, qPrintable(QStringLiteral("%1 %2").arg(mn).arg(mx)));
        const auto &taps = r.stages[0].taps;
        QVERIFY(std::abs(TapsMagnitudeDb(taps, 113 * fs / 256, fs)) < 0.1);
        QVERIFY(std::abs(TapsMagnitudeDb(taps, 114 * fs / 256, fs) + 2.5) < 0.3);
        QVERIFY(std::abs(TapsMagnitudeDb(taps, 114.5 * fs / 256, fs) + 6.0) < 0.3);
        QVERIFY(TapsMagnitudeDb(taps, 118 * fs / 256, fs) < -20.0);
    }

    void flatTwentyBand()
    {
        Model m = modelAt(2);
        m.stage(0, 2).Type = GraphicEq20;
        m.stage(0, 2).EqBand.fill(0);
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        QVERIFY2(r.problems.isEmpty(), qPrintable(r.problems.join('\n')));
        QCOMPARE(r.stages[1].kind, StageResponse::Kind::Fir);
        const auto [mn, mx] = range(r, r.stages[1].db, 100, 7400);
        QVERIFY2(mn > -0.5 && mx < 0.5, qPrintable(QStringLiteral("%1 %2").arg(mn).arg(mx)));
        // Cutting band 10 (2200 Hz) by 40 dB pulls its centre about as far down.
        m.stage(0, 2).EqBand[10] = 40;
        const SetResponse cut = engine.setResponse(m, 0);
        QVERIFY(TapsMagnitudeDb(cut.stages[1].taps, 2200, 17200) < -35.0);
        QVERIFY(std::abs(TapsMagnitudeDb(cut.stages[1].taps, 3200, 17200)) < 0.5);
    }

    // Without a "20Band" file the block carries Pass Thru; the live view says so instead of
    // opening the builder's message box.
    void missingTwentyBandIsReported()
    {
        QTemporaryDir empty;
        QVERIFY(QDir::setCurrent(empty.path()));
        Model m = modelAt(2);
        m.stage(0, 1).Type = GraphicEq20;
        m.stage(0, 2).Type = GraphicEq20;
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        QVERIFY(QDir::setCurrent(programDir()));
        QVERIFY(r.blockBuilt);
        QCOMPARE(r.stages[0].kind, StageResponse::Kind::PassThru);
        QCOMPARE(r.stages[1].kind, StageResponse::Kind::PassThru);
        QCOMPARE(r.problems.size(), 1);
        QVERIFY(r.problems[0].startsWith(QStringLiteral("File Error: Error reading 20-Band Equalizer")));
        QVERIFY(!r.problems[0].contains('\r'));
    }

    // A coefficient the converter rejects makes the block unsendable; that stage has no
    // curve, the other stage is still shown.
    void unconvertibleStage()
    {
        Model m = modelAt(2);
        setType(m, 0, 1, Lowpass);
        setType(m, 0, 2, ImportedCoef);
        m.stage(0, 2).Coef[10] = 300.0f;
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        QVERIFY(!r.blockBuilt);
        QCOMPARE(r.stages[0].kind, StageResponse::Kind::Fir);
        QVERIFY(r.stages[0].hasFixedResponse());
        QCOMPARE(r.stages[1].kind, StageResponse::Kind::Unavailable);
        QCOMPARE(r.stages[1].note(), QStringLiteral("not available"));
        QVERIFY(r.cascade.empty());
        QVERIFY(r.problems.contains(QStringLiteral("Conversion Error: Error generated in Single To Fixed")));
        QVERIFY(r.problems.join(' ').contains(QStringLiteral("Stage 2")));

        // A Notch with width 0 divides by zero in the design.
        setType(m, 0, 2, Notch);
        m.stage(0, 2).Freq2 = 0;
        std::swap(m.stage(0, 1), m.stage(0, 2));
        const SetResponse n = engine.setResponse(m, 0);
        QCOMPARE(n.stages[0].kind, StageResponse::Kind::Unavailable);
        QCOMPARE(n.stages[1].kind, StageResponse::Kind::Fir);
        QVERIFY(n.problems.join(' ').contains(QStringLiteral("Stage 1")));
    }

    void adaptiveAndCascade()
    {
        Model m = modelAt(2);
        setType(m, 0, 1, Adaptive1CH);
        setType(m, 0, 2, Highpass);
        ResponseEngine engine;
        SetResponse r = engine.setResponse(m, 0);
        QCOMPARE(r.stages[0].kind, StageResponse::Kind::Adaptive);
        QVERIFY(!r.stages[0].hasFixedResponse());
        QCOMPARE(r.stages[0].note(), QStringLiteral("no fixed response"));
        QCOMPARE(r.cascade, r.stages[1].db);

        setType(m, 0, 2, Adaptive1CH);
        r = engine.setResponse(m, 0);
        QVERIFY(r.cascade.empty());

        setType(m, 0, 1, Lowpass);
        setType(m, 0, 2, Highpass);
        r = engine.setResponse(m, 0);
        QCOMPARE(r.cascade.size(), size_t(513));
        for (int j = 0; j < r.points(); ++j)
            QCOMPARE(r.cascade[j], r.stages[0].db[j] + r.stages[1].db[j]);
        // 300 Hz highpass and 2500 Hz lowpass: a band between them, both ends down.
        QVERIFY(r.cascade[60] > -1.0); // 1008 Hz
        QVERIFY(r.cascade[0] < -25.0);
        QVERIFY(r.cascade[400] < -25.0); // 6719 Hz
    }

    void combModel_data()
    {
        test::addColumns<int, int, bool, bool>("mode", "delay", "notchAtFundamental", "notchAtSecond");
        QTest::newRow("all") << 3 << 286 << true << true;
        QTest::newRow("odd") << 4 << 142 << true << false;
        QTest::newRow("even") << 5 << 142 << false << true;
    }
    void combModel()
    {
        QFETCH(int, mode);
        QFETCH(int, delay);
        QFETCH(bool, notchAtFundamental);
        QFETCH(bool, notchAtSecond);
        Model m = modelAt(2);
        setType(m, 0, 1, Comb);
        m.stage(0, 1).ModeOption = static_cast<int16_t>(mode);
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        const StageResponse &c = r.stages[0];
        QCOMPARE(c.kind, StageResponse::Kind::Comb);
        QCOMPARE(c.combDelay, delay);
        QCOMPARE(std::abs(c.combFeedback), int16_t(15350));
        const double fundamental = 17200.0 / 287;
        const double atF = CombMagnitudeDb(c.combDelay, c.combFeedback, fundamental, 17200);
        const double at2F = CombMagnitudeDb(c.combDelay, c.combFeedback, 2 * fundamental, 17200);
        // 15350 stands for a 30 dB notch: 20 log10((1 + a) / (1 - a)) = 29.7 dB.
        QVERIFY(std::abs((notchAtFundamental ? atF : at2F) + 29.74) < 0.05);
        // The other one is a notch too, or a peak near 0 dB ("Odd" and "Even" halve N + 1 = 287
        // by truncation, so their notches sit at multiples of fs/286, a little off).
        if (notchAtFundamental == notchAtSecond)
            QVERIFY(at2F < -29.0);
        else
            QVERIFY(std::abs(notchAtFundamental ? at2F : atF) < 1.0);
        // The curve is the comb on top of the band-limiting lowpass (2500 Hz).
        const int j = 300; // 5039 Hz
        QCOMPARE(c.db[j],
                 TapsMagnitudeDb(c.taps, r.frequency[j], 17200)
                     + CombMagnitudeDb(c.combDelay, c.combFeedback, r.frequency[j], 17200));
        QVERIFY(c.db[j] < -50.0);
        // 60 Hz repetitions are finer than the 16.8 Hz grid: the band spans peak to notch.
        const int k = 60; // 1008 Hz, in the lowpass's passband
        QVERIFY(std::abs(c.dbHigh[k] - TapsMagnitudeDb(c.taps, r.frequency[k], 17200)) < 1e-9);
        QVERIFY(std::abs(c.dbHigh[k] - c.dbLow[k] - c.combDepthDb()) < 1e-9);
        QVERIFY(c.dbLow[k] <= c.db[k] && c.db[k] <= c.dbHigh[k]);
        QCOMPARE(r.cascadeLow[k], c.dbLow[k]); // Stage 2 is Pass Thru
        QVERIFY(std::abs(c.combSpacingHz(17200) - (mode == 3 ? 17200.0 / 287 : 17200.0 / 143)) < 1e-9);
    }

    // A short comb repeats slowly enough for the grid: its band stays close to the line.
    void shortCombIsResolved()
    {
        Model m = modelAt(2);
        setType(m, 0, 1, Comb);
        m.stage(0, 1).Freq1 = 5; // notches every 2867 Hz
        m.stage(0, 1).Freq2 = 7000;
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 0);
        const StageResponse &c = r.stages[0];
        const int notch = static_cast<int>(std::lround(17200.0 / 6 / 17200 * 1024)); // 2866.7 Hz
        QVERIFY(c.db[notch] < -20.0);
        QVERIFY(c.dbHigh[notch] - c.dbLow[notch] < 20.0);
        QVERIFY(std::abs(c.db[notch + 85]) < 1.0); // the peak midway, 4300 Hz
    }

    void editedStageLeavesModel()
    {
        Model m = modelAt(2);
        setType(m, 0, 1, Lowpass);
        setType(m, 0, 2, Notch);
        const Model before = m;
        StageConfig edited = m.stage(0, 2);
        edited.Freq1 = 3000;
        ResponseEngine engine;
        const SetResponse live = engine.stageResponse(m, 0, 2, edited);
        QVERIFY(m.FilterData == before.FilterData);
        Model written = m;
        written.stage(0, 2) = edited;
        const SetResponse stored = engine.setResponse(written, 0);
        QCOMPARE(live.stages[1].db, stored.stages[1].db);
        QCOMPARE(live.stages[0].db, stored.stages[0].db);
        QVERIFY(live.stages[1].db != engine.setResponse(m, 0).stages[1].db);
        // Out-of-range arguments give an empty result, not a crash.
        QCOMPARE(engine.stageResponse(m, 16, 1, edited).points(), 0);
        QCOMPARE(engine.stageResponse(m, 0, 3, edited).points(), 0);
    }

private:
    std::optional<CurrentFolder> inProgramDir_;
};

QTEST_GUILESS_MAIN(TestResponse)
#include "test_response.moc"
