// The spectral equalizer stage through the real korvanes, and the build's behaviour when the
// library or its function is missing.

#include "imagetestutil.h"

#include "coefgen/spectral.h"
#include "scripteddialog.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace korvane;
using namespace korvane::test;

namespace {

StageConfig spectralStage(float db)
{
    StageConfig s;
    s.Type = SpectralEq;
    s.SpectralGain.fill(db);
    return s;
}

} // namespace

class TestSpectral : public QObject {
    Q_OBJECT
private slots:
    void init() { SetKorvanesLocation(programDir(), QStringLiteral("korvanes"), false); }
    void cleanupTestCase() { SetKorvanesLocation(QString()); }

    void flatTrace()
    {
        IfftBuffer buf = MakeIfftBuffer();
        QVERIFY(SynthesizeSpectralStage(spectralStage(0.0f), buf));
        QVERIFY(std::abs(buf[127] - 0.894497f) < 2e-6f);
        QVERIFY(std::abs(buf[126] - 0.103517f) < 2e-6f);
        QVERIFY(std::abs(buf[128] - 0.103548f) < 2e-6f);
        QCOMPARE(buf[0], 0.0f);
        QCOMPARE(buf[255], 0.0f);

        Model m = passThruModel();
        m.stage(7, 2) = spectralStage(0.0f);
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        QVERIFY(std::abs(tapAt(blockAt(*image, 7), 1, 127) - 0x727EE3) <= 1);
    }

    void minus40IsOneHundredth()
    {
        IfftBuffer flat = MakeIfftBuffer();
        IfftBuffer low = MakeIfftBuffer();
        QVERIFY(SynthesizeSpectralStage(spectralStage(0.0f), flat));
        QVERIFY(SynthesizeSpectralStage(spectralStage(-40.0f), low));
        QVERIFY(std::abs(low[127] - 0.00894497f) < 1e-7f);
        for (int k = 0; k < kCoefCount; ++k)
            QVERIFY(std::abs(low[k] - flat[k] / 100.0f) <= 1e-6f * std::abs(flat[k]) + 1e-9f);
    }

    // Both stages of a set share the buffer; the second must not depend on the first, and
    // the bandwidth changes nothing.
    void stagesOfOneBlockAreIndependent()
    {
        StageConfig shaped = spectralStage(0.0f);
        for (int k = 0; k < kSpectralPointCount; ++k)
            shaped.SpectralGain[k] = -40.0f * k / 114.0f;
        Model m = passThruModel();
        m.stage(3, 1) = spectralStage(-6.0f);
        m.stage(3, 2) = shaped;
        m.stage(4, 2) = shaped;
        m.stage(4, 1).Bandwidth = 2;
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        for (int k = 0; k < kCoefCount; ++k)
            QCOMPARE(tapAt(blockAt(*image, 3), 1, k), tapAt(blockAt(*image, 4), 1, k));
    }

    void missingLibraryFailsTheBuild()
    {
        QTemporaryDir empty;
        SetKorvanesLocation(empty.path(), QStringLiteral("korvanes"), false);
        QString why;
        QVERIFY(!BindCalculateIfft(&why));
        QVERIFY(!why.isEmpty());
        Model m = passThruModel();
        m.stage(2, 1) = spectralStage(0.0f);
        ScriptedDialog dialog;
        QVERIFY(!BuildFilterImageBytes(m, dialog));
        const QString path = empty.filePath(QStringLiteral("filter.bin"));
        QVERIFY(!BuildFilterImage(m, path, dialog));
        QVERIFY(!QFile::exists(path));

        // Without a spectral stage the library is not needed.
        QVERIFY(BuildFilterImageBytes(passThruModel(), dialog));
    }

    void missingFunctionFailsTheBuild()
    {
        SetKorvanesLocation(qEnvironmentVariable("KORVANE_NOSYMBOL_DIR"), QStringLiteral("korvanes"), false);
        QString why;
        QVERIFY(!BindCalculateIfft(&why));
        QVERIFY2(why.contains(QStringLiteral("CalculateIFFT")), qPrintable(why)); // loaded, symbol missing
        Model m = passThruModel();
        m.stage(0, 2) = spectralStage(0.0f);
        ScriptedDialog dialog;
        QVERIFY(!BuildFilterImageBytes(m, dialog));
    }

    void bindingIsKept()
    {
        QVERIFY(BindCalculateIfft());
        IfftBuffer buf = MakeIfftBuffer();
        QVERIFY(SynthesizeSpectralStage(spectralStage(0.0f), buf));
        QVERIFY(SynthesizeSpectralStage(spectralStage(0.0f), buf));
        QVERIFY(BindCalculateIfft());
    }
};

QTEST_GUILESS_MAIN(TestSpectral)
#include "test_spectral.moc"
