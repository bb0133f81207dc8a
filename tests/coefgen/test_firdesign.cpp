// The parametric designs against the processor's reference figures, and their behaviour as
// filters (magnitude response), so a wrong constant or a misplaced window shows up.

#include "coefgen/firdesign.h"
#include "coefgen/fixedpoint.h"
#include "datatable.h"

#include <QtTest>

#include <cmath>
#include <complex>

using namespace korvane;

namespace {

StageConfig stageOf(int16_t type)
{
    Model m;
    m.stage(0, 1).Type = type;
    m.ApplyTypeDefaults(1);
    return m.stage(0, 1);
}

int32_t fixedValue(float v) { return DecodeTap24(*SingleToFixed(v)); }

double magnitudeDb(const FirTaps &h, double f, double fs)
{
    std::complex<double> s;
    for (int k = 0; k < kCoefCount; ++k)
        s += static_cast<double>(h[k]) * std::polar(1.0, -2.0 * M_PI * f * k / fs);
    return 20.0 * std::log10(std::abs(s));
}

} // namespace

class TestFirDesign : public QObject {
    Q_OBJECT
private slots:
    void defaultLowpassAt9000()
    {
        const auto h = DesignStageFir(stageOf(Lowpass), 9000);
        QVERIFY(h);
        QVERIFY(std::abs((*h)[127] - 0.56961f) < 1e-5f);
        QVERIFY(std::abs(fixedValue((*h)[127]) - 0x48E8FB) <= 1);
        QVERIFY(std::abs((*h)[126] - 0.30290f) < 1e-5f);
        QVERIFY(std::abs((*h)[128] - 0.30349f) < 1e-5f);
        // The window weight multiplies in double; rounded to single first it gives 0x26C557.
        QCOMPARE(fixedValue((*h)[126]), 0x26C558);
        for (int k = 0; k <= 62; ++k)
            QCOMPARE((*h)[k], 0.0f);
        for (int k = 192; k <= 255; ++k)
            QCOMPARE((*h)[k], 0.0f);
        QCOMPARE(fixedValue((*h)[63]), 0); // window weight 0 at 127 - M
        QVERIFY((*h)[191] < 0.0f && (*h)[191] > -1e-5f);
        QVERIFY(fixedValue((*h)[191]) < 0);
    }

    void defaultNotchAt9000()
    {
        const auto h = DesignStageFir(stageOf(Notch), 9000);
        QVERIFY(h);
        QVERIFY(std::abs((*h)[127] - 0.963974f) < 2e-6f);
        QVERIFY(std::abs((*h)[126] - (-0.034555f)) < 2e-6f);
    }

    void zeroAttenuationGivesUnitImpulse_data()
    {
        QTest::addColumn<int>("type");
        for (int t : {Lowpass, Highpass, Bandpass, Bandstop, Notch, Slot})
            QTest::newRow(qPrintable(FilterTypeDisplayText(t))) << t;
    }
    void zeroAttenuationGivesUnitImpulse()
    {
        QFETCH(int, type);
        StageConfig s = stageOf(static_cast<int16_t>(type));
        s.AttenDb = 0;
        const auto h = DesignStageFir(s, 12000);
        QVERIFY(h);
        for (int k = 0; k < kCoefCount; ++k)
            QCOMPARE((*h)[k], k == 127 ? 1.0f : 0.0f);
    }

    void halfLengthZero()
    {
        for (int16_t t : {Lowpass, Highpass, Bandpass, Bandstop}) {
            StageConfig s = stageOf(t);
            s.Slope = 0;
            const auto h = DesignStageFir(s, 9000);
            QVERIFY(h);
            for (int k = 0; k < kCoefCount; ++k)
                QVERIFY(k == 127 || (*h)[k] == 0.0f);
        }
        // K / (2M) divides by zero: a fault the builder must see, not NaN taps.
        for (int16_t t : {Notch, Slot}) {
            StageConfig s = stageOf(t);
            s.Freq2 = 0;
            QVERIFY(!DesignStageFir(s, 9000));
        }
    }

    void overflowingFloorIsAFault()
    {
        StageConfig s = stageOf(Lowpass);
        s.AttenDb = -32000; // 10^1600 overflows
        QVERIFY(!DesignStageFir(s, 9000));
    }

    void longWindowCoversEveryTap()
    {
        StageConfig s = stageOf(Lowpass);
        s.Slope = 128;
        const auto h = DesignStageFir(s, 9000);
        QVERIFY(h);
        // The window's zero at 127 - M = -1 lies outside; tap 0 has u = 1/257.
        for (int k = 0; k < kCoefCount; ++k)
            QVERIFY2((*h)[k] != 0.0f, qPrintable(QString::number(k)));
    }

    void highpassAtNyquistKeepsOnlyTheFloor()
    {
        StageConfig s = stageOf(Highpass);
        s.Freq1 = 4500;
        const auto h = DesignStageFir(s, 9000);
        QVERIFY(h);
        QVERIFY(std::abs((*h)[127] - 0.0316228f) < 1e-6f);
    }

    void combIgnoresSlopeAndDepth()
    {
        StageConfig a = stageOf(Comb);
        StageConfig b = a;
        b.Slope = 7;
        b.AttenDb = 12;
        const auto ha = DesignStageFir(a, 17200);
        const auto hb = DesignStageFir(b, 17200);
        QVERIFY(ha && hb);
        QCOMPARE(*ha, *hb);
        QVERIFY((*ha)[2] != 0.0f); // M = 125: taps 2..252
        QCOMPARE((*ha)[1], 0.0f);
        QVERIFY(std::abs((*ha)[127] - (0.29069767f * (1 - 0.001f) + 0.001f)) < 1e-6f);
    }

    void sampleRateEntersTheDesign()
    {
        const StageConfig s = stageOf(Bandpass);
        QVERIFY(*DesignStageFir(s, 9000) != *DesignStageFir(s, 12000));
    }

    void windowIsAsymmetric()
    {
        StageConfig s = stageOf(Slot);
        s.Freq2 = 10;
        const auto h = DesignStageFir(s, 9000);
        QVERIFY(h);
        QCOMPARE((*h)[117], 0.0f);
        // Weight at u = 20/21, not 0.
        const double u = 20.0 / 21.0;
        const double w = 0.42 - 0.5 * std::cos(6.2831854 * u) + 0.08 * std::cos(12.5663708 * u);
        const double raw = std::cos(10 * 6.2831854 * (1000.0f / 9000.0f)) * 4.7619f / 20.0;
        QVERIFY(std::abs((*h)[137] - raw * w * (1 - 0.0316228)) < 1e-6);
    }

    // An independent model of the design: d and the windowed product in single, the
    // window weight in double until the product is rounded. Every tap must agree to the
    // 24-bit step.
    void matchesIndependentModel_data()
    {
        test::addColumns<int, int>("type", "sampleRate");
        for (int fs : {9000, 12000, 17200})
            for (int t : {Lowpass, Highpass, Bandpass, Bandstop, Notch, Slot, Comb})
                QTest::addRow("%s %d", qPrintable(FilterTypeDisplayText(t)), fs) << t << fs;
    }
    void matchesIndependentModel()
    {
        QFETCH(int, type);
        QFETCH(int, sampleRate);
        const StageConfig s = stageOf(static_cast<int16_t>(type));
        const FirDesignInput in = FirInputFromStage(s, sampleRate);
        const auto h = DesignFir(in);
        QVERIFY(h);
        const double twoPi = 6.2831854, pi = 3.1415927, fourPi = 12.5663708;
        const float fs = in.sampleRate, f1 = in.f1, f2 = in.f2, M = in.halfLength;
        const float g = static_cast<float>(std::exp(std::log(10.0) * (-in.attenDb / 20.0f)));
        const float K = 4.7619f, twoM = 2.0f * M;
        for (int k = 0; k < kCoefCount; ++k) {
            if (k == 127 || k < 127 - M || k > 127 + M)
                continue; // the centre and the zeros are checked by the figures above
            const double n = k - 127;
            const auto sine = [&](float f) { return std::sin(f * twoPi * n / fs); };
            double raw = 0;
            switch (type) {
            case Lowpass:
            case Comb:
                raw = sine(f1) / (pi * n);
                break;
            case Highpass:
                raw = -sine(f1) / (pi * n);
                break;
            case Bandpass:
                raw = (sine(f2) - sine(f1)) / (pi * n);
                break;
            case Bandstop:
                raw = (sine(f1) - sine(f2)) / (pi * n);
                break;
            case Notch:
                raw = -std::cos(n * twoPi * (f1 / fs)) * K / twoM;
                break;
            case Slot:
                raw = std::cos(n * twoPi * (f1 / fs)) * K / twoM;
                break;
            }
            const float u = (k - 127.0f + M) / (2.0f * M + 1.0f);
            const double w = 0.42 - 0.5 * std::cos(twoPi * u) + 0.08 * std::cos(fourPi * u);
            const float d = static_cast<float>(static_cast<double>(static_cast<float>(raw)) * w);
            const float expected = (-d) * g + d;
            QVERIFY2(
                fixedValue((*h)[k]) == fixedValue(expected),
                qPrintable(
                    QStringLiteral("tap %1: %2 against %3").arg(k).arg((*h)[k], 0, 'g', 9).arg(expected, 0, 'g', 9)));
        }
    }

    // The designs as filters: passband near 0 dB, stopband at the floor A dB down.
    void responses_data()
    {
        test::addColumns<int, double, double>("type", "passHz", "stopHz");
        QTest::newRow("lowpass") << int(Lowpass) << 500.0 << 4000.0;
        QTest::newRow("highpass") << int(Highpass) << 2000.0 << 50.0;
        QTest::newRow("bandpass") << int(Bandpass) << 1400.0 << 4000.0;
        QTest::newRow("bandstop") << int(Bandstop) << 500.0 << 2250.0;
        QTest::newRow("notch") << int(Notch) << 2000.0 << 400.0;
        QTest::newRow("slot") << int(Slot) << 1000.0 << 3000.0;
    }
    void responses()
    {
        QFETCH(int, type);
        QFETCH(double, passHz);
        QFETCH(double, stopHz);
        StageConfig s = stageOf(static_cast<int16_t>(type));
        if (type == Bandstop)
            s.Freq1 = 1500, s.Freq2 = 3000;
        const auto h = DesignStageFir(s, 9000);
        QVERIFY(h);
        QVERIFY2(std::abs(magnitudeDb(*h, passHz, 9000)) < 0.5,
                 qPrintable(QString::number(magnitudeDb(*h, passHz, 9000))));
        QVERIFY2(magnitudeDb(*h, stopHz, 9000) < -25.0, qPrintable(QString::number(magnitudeDb(*h, stopHz, 9000))));
    }
};

QTEST_APPLESS_MAIN(TestFirDesign)
#include "test_firdesign.moc"
