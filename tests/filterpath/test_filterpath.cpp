// The filter path against known answers: an impulse comes out as the block's taps, sines come
// out at the level the response view draws, Pass Thru is bit-exact; plus the block checks,
// the adaptive approximation, piecewise running and whole-clip rendering across rates.

#include "../coefgen/imagetestutil.h"
#include "pathtesting.h"
#include "scripteddialog.h"

#include "coefgen/response.h"
#include "coefgen/spectral.h"
#include "filterpath/filterpath.h"
#include "filterpath/render.h"

#include <QDir>
#include <QtTest>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>

using namespace korvane;
using namespace korvane::test;

namespace {

int16_t bandwidthFor(int rate) { return rate == 9000 ? 0 : rate == 12000 ? 1 : 2; }

Model modelWith(int rate, int16_t type1, int16_t type2)
{
    Model m = passThruModel();
    for (int s = 1; s <= 2; ++s)
        m.stage(0, s).Bandwidth = bandwidthFor(rate);
    setType(m, 0, 1, type1);
    setType(m, 0, 2, type2);
    return m;
}

std::array<uint8_t, kFilterSetBlockSize> blockOf(const Model &m)
{
    std::array<uint8_t, kFilterSetBlockSize> b{};
    ScriptedDialog d;
    if (!BuildFilterSetBlock(m, 0, b, d))
        qFatal("block not built");
    return b;
}

// Level in dB of the component at hz of y[from .. from + n), n a whole number of its periods.
double levelDb(const std::vector<float> &y, size_t from, size_t n, double hz, double fs)
{
    std::complex<double> acc;
    for (size_t i = 0; i < n; ++i)
        acc += static_cast<double>(y[from + i])
            * std::polar(1.0, -2.0 * std::numbers::pi * hz * static_cast<double>(from + i) / fs);
    return 20.0 * std::log10(2.0 * std::abs(acc) / static_cast<double>(n));
}

// Stage settings that are not the defaults, so the curves have something to show.
void shape(Model &m, int16_t type)
{
    StageConfig &s = m.stage(0, 1);
    if (type == GraphicEq20) {
        for (int b = 0; b < 20; ++b)
            s.EqBand[b] = static_cast<int16_t>((b * 7) % 41);
    } else if (type == SpectralEq) {
        for (int k = 0; k < kSpectralPointCount; ++k)
            s.SpectralGain[k] = -40.0f * static_cast<float>(k % 23) / 22.0f;
    } else if (type == ImportedCoef) {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> u(-0.3f, 0.3f);
        for (float &c : s.Coef)
            c = u(rng);
    }
}

} // namespace

class TestFilterPath : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        SetKorvanesLocation(programDir());
        m_startDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(programDir())); // the program folder's 20Band
    }
    void cleanupTestCase() { QDir::setCurrent(m_startDir); }

    void impulseGivesTaps_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("stage");
        const int types[] = {Lowpass, Highpass, Bandpass, Bandstop, Notch, Slot, GraphicEq20, SpectralEq, ImportedCoef};
        for (int rate : {9000, 12000, 17200})
            for (int t : types)
                for (int stage : {1, 2})
                    QTest::addRow("%d Hz type %d stage %d", rate, t, stage) << rate << t << stage;
    }
    void impulseGivesTaps()
    {
        QFETCH(int, rate);
        QFETCH(int, type);
        QFETCH(int, stage);
        Model m = modelWith(rate, static_cast<int16_t>(type), PassThru);
        shape(m, static_cast<int16_t>(type));
        if (stage == 2)
            std::swap(m.stage(0, 1), m.stage(0, 2));
        // The other stage filters too: only the stage asked for may run (render --stage N).
        setType(m, 0, 3 - stage, type == Highpass ? Lowpass : Highpass);
        const auto block = blockOf(m);
        const FilterPath path = pathOf(m);
        QCOMPARE(path.sampleRate(), rate);
        QCOMPARE(path.stage(stage - 1).kind, PathStage::Kind::Fir);
        std::vector<float> x(400, 0.0f);
        x[0] = 1.0f;
        QVERIFY(path.process(x, stage == 1 ? StageSelection::Stage1 : StageSelection::Stage2));
        for (int k = 0; k < 256; ++k) {
            const float expected = static_cast<float>(tapAt(block.data(), stage - 1, k)) / 8388608.0f;
            if (x[k] != expected)
                QFAIL(qPrintable(QStringLiteral("tap %1: %2, block says %3").arg(k).arg(x[k]).arg(expected)));
        }
        QVERIFY(std::all_of(x.begin() + 256, x.end(), [](float v) { return v == 0.0f; }));
    }

    void sineLevelsMatchResponseView_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("type1");
        QTest::addColumn<int>("type2");
        QTest::newRow("Lowpass 9000") << 9000 << int(Lowpass) << int(PassThru);
        QTest::newRow("Bandpass 12000") << 12000 << int(Bandpass) << int(PassThru);
        QTest::newRow("Notch 17200") << 17200 << int(Notch) << int(PassThru);
        QTest::newRow("20-band 17200") << 17200 << int(GraphicEq20) << int(PassThru);
        QTest::newRow("spectral 17200") << 17200 << int(SpectralEq) << int(PassThru);
        QTest::newRow("Comb 17200") << 17200 << int(Comb) << int(PassThru);
        QTest::newRow("Comb 9000") << 9000 << int(Comb) << int(PassThru);
        QTest::newRow("Bandpass then Notch") << 17200 << int(Bandpass) << int(Notch);
        QTest::newRow("Lowpass then Comb") << 12000 << int(Lowpass) << int(Comb);
    }
    void sineLevelsMatchResponseView()
    {
        QFETCH(int, rate);
        QFETCH(int, type1);
        QFETCH(int, type2);
        Model m = modelWith(rate, static_cast<int16_t>(type1), static_cast<int16_t>(type2));
        shape(m, static_cast<int16_t>(type1));
        ResponseEngine engine;
        const SetResponse view = engine.setResponse(m, 0);
        QVERIFY(view.blockBuilt);
        QCOMPARE(view.points(), 513);
        const FilterPath path = pathOf(m);
        const bool comb = type1 == Comb || type2 == Comb;
        // A comb's loop rings for a while: let it settle to far below the tolerance.
        const size_t settle = comb ? 80000 : 512;
        const size_t span = 1024; // a whole number of periods of every grid frequency
        double worst = 0;
        for (int i = 0; i < 40; ++i) {
            const int j = 5 + 12 * i; // grid points 5 .. 473, fs/1024 apart
            const double hz = view.frequency[j];
            std::vector<float> x(settle + span);
            for (size_t n = 0; n < x.size(); ++n)
                x[n] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * static_cast<double>(n) / rate));
            QVERIFY(path.process(x));
            const double got = levelDb(x, settle, span, hz, rate) - 20.0 * std::log10(0.5);
            const double diff = std::abs(got - view.cascade[j]);
            worst = std::max(worst, diff);
            if (diff > 0.05)
                QFAIL(qPrintable(QStringLiteral("%1 Hz: %2 dB, the response view shows %3 dB")
                                     .arg(hz)
                                     .arg(got)
                                     .arg(view.cascade[j])));
        }
        qInfo("worst difference %.5f dB", worst);
    }

    void passThruIsBitExact()
    {
        Model m = modelWith(17200, PassThru, PassThru);
        m.stage(0, 1).Agc = m.stage(0, 2).Agc = 2;
        m.stage(0, 1).NoiseFilter = m.stage(0, 2).NoiseFilter = -1;
        const FilterPath path = pathOf(m);
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> u(-1.5f, 1.5f);
        std::vector<float> x(70000);
        for (float &v : x)
            v = u(rng);
        x[5] = 1e-42f; // a subnormal survives too
        const std::vector<float> before = x;
        QVERIFY(path.process(x));
        QCOMPARE(std::memcmp(x.data(), before.data(), x.size() * sizeof(float)), 0);
        // What is not modelled is said.
        const QString notes = path.notes().join(QLatin1Char('\n'));
        QVERIFY2(notes.contains(QLatin1String("AGC (20 dB) is passed through")), qPrintable(notes));
        QVERIFY2(notes.contains(QLatin1String("Broadband Noise Filter is passed through")), qPrintable(notes));
    }

    void rejectsWhatTheProcessorWouldNot()
    {
        const auto good = blockOf(modelWith(12000, Lowpass, PassThru));
        QString why;
        QVERIFY(FilterPath::FromBlock(good, 12000, &why));
        QVERIFY(!FilterPath::FromBlock(good, 44100, &why));
        QVERIFY(why.contains(QLatin1String("44100")));
        QVERIFY(!FilterPath::FromBlock(std::span<const uint8_t>(good.data(), 1000), 12000, &why));
        QVERIFY(why.contains(QLatin1String("1792")));
        auto bad = good;
        bad[100] ^= 1;
        QVERIFY(!FilterPath::FromBlock(bad, 12000, &why));
        QVERIFY(why.contains(QLatin1String("checksum")));
        bad = good;
        bad[kStageHeaderOffset[1] + 7] = 9; // header byte 7 is always 4
        const uint16_t c = FilterSetBlockChecksum(bad);
        bad[kChecksumOffset] = static_cast<uint8_t>(c >> 8);
        bad[kChecksumOffset + 1] = static_cast<uint8_t>(c);
        QVERIFY(!FilterPath::FromBlock(bad, 12000, &why));
        QVERIFY(why.contains(QLatin1String("stage 2")));
    }

    // A sine buried in noise: the residue loses the sine, the prediction keeps it.
    void adaptivePredictorApproximation_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("Auto") << 1;
        QTest::newRow("Fixed") << 2;
    }
    void adaptivePredictorApproximation()
    {
        QFETCH(int, mode);
        Model m = modelWith(12000, Adaptive1CH, PassThru);
        m.stage(0, 1).ModeOption = static_cast<int16_t>(mode);
        m.stage(0, 1).AdaptRate = 64;
        const double hz = 12000.0 * 60 / 1024;
        std::mt19937 rng(11);
        std::normal_distribution<float> noise(0.0f, 0.1f);
        std::vector<float> x(60000);
        for (size_t n = 0; n < x.size(); ++n)
            x[n] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hz * n / 12000.0)) + noise(rng);
        const size_t from = x.size() - 8192;
        const double inLevel = levelDb(x, from, 8192, hz, 12000);
        std::vector<float> residue = x, predict = x;
        QVERIFY(pathOf(m).process(residue));
        m.stage(0, 1).OutputOption = 2;
        const FilterPath predictor = pathOf(m);
        QCOMPARE(predictor.stage(0).kind, PathStage::Kind::Adaptive);
        QVERIFY(predictor.stage(0).describe(12000).contains(QLatin1String("approximation")));
        QVERIFY(predictor.notes().join(' ').contains(QLatin1String("approximation")));
        QVERIFY(predictor.process(predict));
        const double residueLevel = levelDb(residue, from, 8192, hz, 12000);
        const double predictLevel = levelDb(predict, from, 8192, hz, 12000);
        QVERIFY2(residueLevel < inLevel - 15, qPrintable(QStringLiteral("%1 vs %2").arg(residueLevel).arg(inLevel)));
        QVERIFY2(std::abs(predictLevel - inLevel) < 1.5,
                 qPrintable(QStringLiteral("%1 vs %2").arg(predictLevel).arg(inLevel)));
        QVERIFY(std::all_of(predict.begin(), predict.end(), [](float v) { return std::isfinite(v); }));
    }

    // Work cut into pieces of any size gives the same samples as one piece.
    void piecesEqualWhole_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("Lowpass") << int(Lowpass);
        QTest::newRow("Comb") << int(Comb);
        QTest::newRow("Adaptive") << int(Adaptive1CH);
    }
    void piecesEqualWhole()
    {
        QFETCH(int, type);
        const FilterPath path = pathOf(modelWith(17200, static_cast<int16_t>(type), PassThru));
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> u(-1, 1);
        std::vector<float> x(20000);
        for (float &v : x)
            v = u(rng);
        std::vector<float> whole(x.size()), pieces(x.size());
        StageRunner(path.stage(0)).run(x.data(), whole.data(), x.size());
        StageRunner runner(path.stage(0));
        size_t at = 0, n = 1;
        while (at < x.size()) {
            const size_t len = std::min(n, x.size() - at);
            runner.run(x.data() + at, pieces.data() + at, len);
            at += len;
            n = n * 3 + 1;
        }
        QCOMPARE(std::memcmp(whole.data(), pieces.data(), x.size() * sizeof(float)), 0);
    }

    // A 44.1 kHz clip rendered through a 17200 Hz lowpass: a tone in the passband keeps the
    // level the response view gives, one above the set's band is gone; length and channels
    // stay.
    void rendersAtTheFileRate()
    {
        Model m = modelWith(17200, Lowpass, PassThru);
        const FilterPath path = pathOf(m);
        ResponseEngine engine;
        const SetResponse view = engine.setResponse(m, 0);
        const double pass = 1000.0, stop = 12000.0;
        AudioClip clip;
        clip.sampleRate = 44100;
        clip.channels = 2;
        const size_t frames = 44100;
        for (size_t n = 0; n < frames; ++n) {
            clip.samples.push_back(static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * pass * n / 44100.0)));
            clip.samples.push_back(static_cast<float>(0.4 * std::sin(2 * std::numbers::pi * stop * n / 44100.0)));
        }
        double last = -1;
        bool monotonic = true;
        const auto out = RenderClip(path, clip, StageSelection::Both, [&](double f) {
            monotonic = monotonic && f >= last;
            last = f;
            return true;
        });
        QVERIFY(out);
        QVERIFY(monotonic);
        QCOMPARE(last, 1.0);
        QCOMPARE(out->channels, 2);
        QCOMPARE(out->sampleRate, 44100);
        QCOMPARE(out->frames(), frames);
        const auto left = out->channel(0), right = out->channel(1);
        const double expected = TapsMagnitudeDb(view.stages[0].taps, pass, 17200);
        QVERIFY(std::abs(levelDb(left, 4410, 22050, pass, 44100) - 20 * std::log10(0.4) - expected) < 0.05);
        QVERIFY(levelDb(right, 4410, 22050, stop, 44100) < -80);
        // The Listen tab's spectrogram reads a sine (on a bin) at its level in dB of full scale.
        std::vector<float> sine(8192);
        for (size_t n = 0; n < sine.size(); ++n)
            sine[n] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * 512.0 * n / 8192.0));
        const Spectrogram gram = ComputeSpectrogram(sine, 8192, 1024, 8);
        QVERIFY2(std::abs(gram.at(4, 64) - 20 * std::log10(0.5)) < 0.1, qPrintable(QString::number(gram.at(4, 64))));
        // Cancelling stops the work.
        QVERIFY(!RenderClip(path, clip, StageSelection::Both, [](double f) { return f < 0.3; }));
    }

private:
    QString m_startDir;
};

QTEST_GUILESS_MAIN(TestFilterPath)
#include "test_filterpath.moc"
