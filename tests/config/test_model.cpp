#include "config/model.h"
#include "datatable.h"

#include <QTest>

#include <map>

using namespace korvane;

class TestModel : public QObject {
    Q_OBJECT
private slots:
    void resetGivesPassThroughAt12k();
    void validateCombFloor_data();
    void validateCombFloor();
    void validateUnknownTypeBecomesAdaptive();
    void validateBandpassPair();
    void validateArrays();
    void validateFieldLimits_data();
    void validateFieldLimits();
    void typeDefaults();
};

void TestModel::resetGivesPassThroughAt12k()
{
    Model m;
    m.stage(3, 2).Type = Lowpass;
    m.stage(3, 2).Freq1 = 1234;
    m.stage(3, 1).NoiseFilter = kTrue;
    m.ResetAllFilterSets();
    QCOMPARE(m.CurrentSet, 15);
    for (int set = 0; set < kFilterSetCount; ++set) {
        QCOMPARE(m.SampleRate(set), 12000);
        QCOMPARE(m.MaxFilterFrequency(set), 5000);
        for (int st = 1; st <= 2; ++st) {
            QCOMPARE(m.stage(set, st).Type, PassThru);
            QCOMPARE(m.stage(set, st).Agc, 0);
            QCOMPARE(m.stage(set, st).NoiseFilter, kFalse);
        }
    }
    QCOMPARE(m.stage(3, 2).Freq1, 1234); // other fields keep their values
}

void TestModel::validateCombFloor_data()
{
    test::addColumns<int, int, int, int>("freq1", "freq2", "wantFreq1", "wantFreq2");
    QTest::newRow("floor 150 raises 100") << 286 << 100 << 286 << 150;
    QTest::newRow("2500 stays") << 286 << 2500 << 286 << 2500;
    // Fundamental 17200 / (N + 1) = 819 Hz, floor 2048 (17200 / N would give 860 and 2150).
    QTest::newRow("N=20 keeps 2100") << 20 << 2100 << 20 << 2100;
    QTest::newRow("N=20 raises 2000 to 2048") << 20 << 2000 << 20 << 2048;
    QTest::newRow("N=5 floor capped at 7000") << 5 << 2500 << 5 << 7000;
    QTest::newRow("N=4 clamps to 5") << 4 << 7000 << 5 << 7000;
    QTest::newRow("N=600 clamps to 509") << 600 << 2500 << 509 << 2500;
    QTest::newRow("above max") << 286 << 9000 << 286 << 7000;
}

void TestModel::validateCombFloor()
{
    QFETCH(int, freq1);
    QFETCH(int, freq2);
    QFETCH(int, wantFreq1);
    QFETCH(int, wantFreq2);
    Model m;
    m.stage(0, 1).Type = Comb;
    m.stage(0, 1).Freq1 = static_cast<int16_t>(freq1);
    m.stage(0, 1).Freq2 = static_cast<int16_t>(freq2);
    m.stage(0, 1).ModeOption = 9;
    m.ValidateStage(0, 1);
    QCOMPARE(m.stage(0, 1).Bandwidth, 2);
    QCOMPARE(m.stage(0, 1).Freq1, wantFreq1);
    QCOMPARE(m.stage(0, 1).Freq2, wantFreq2);
    QCOMPARE(m.stage(0, 1).ModeOption, 5);
    QCOMPARE(m.stage(0, 1).AttenDb, 12);
}

void TestModel::validateUnknownTypeBecomesAdaptive()
{
    for (int16_t type : {int16_t(12), int16_t(-1)}) {
        Model m;
        StageConfig &s = m.stage(7, 2);
        s.Type = type;
        s.Freq1 = 4321;
        s.Agc = 9;
        m.ValidateStage(7, 2);
        QCOMPARE(s.Type, Adaptive1CH);
        QCOMPARE(s.FilterSize, 128);
        QCOMPARE(s.PredictionSpan, 3);
        QCOMPARE(s.AdaptRate, 10);
        QCOMPARE(s.ModeOption, 1);
        QCOMPARE(s.OutputOption, 1);
        QCOMPARE(s.Bandwidth, 2);
        QCOMPARE(s.Agc, 3);
        QCOMPARE(s.Freq1, 4321);
    }
}

void TestModel::validateBandpassPair()
{
    Model m;
    m.stage(1, 1).Bandwidth = 2;
    StageConfig &s = m.stage(1, 1);
    s.Type = Bandpass;
    s.Freq1 = 6950;
    s.Freq2 = 6000;
    m.ValidateStage(1, 1);
    QCOMPARE(s.Freq1, 6900);
    QCOMPARE(s.Freq2, 7000);
}

void TestModel::validateArrays()
{
    Model m;
    StageConfig &eq = m.stage(0, 1);
    eq.Type = GraphicEq20;
    eq.EqBand[0] = -1;
    eq.EqBand[19] = 45;
    m.ValidateStage(0, 1);
    QCOMPARE(eq.EqBand[0], 0);
    QCOMPARE(eq.EqBand[19], 40);

    StageConfig &sg = m.stage(0, 2);
    sg.Type = SpectralEq;
    sg.SpectralGain[0] = 3.0f;
    sg.SpectralGain[114] = -55.0f;
    sg.SpectralGain[50] = -12.5f;
    m.ValidateStage(0, 2);
    QCOMPARE(sg.SpectralGain[0], 0.0f);
    QCOMPARE(sg.SpectralGain[114], -40.0f);
    QCOMPARE(sg.SpectralGain[50], -12.5f);

    StageConfig &ic = m.stage(2, 1);
    ic.Type = ImportedCoef;
    ic.Coef[5] = 1.5f;
    ic.Coef[6] = -2.0f;
    ic.CoefFileName = QString(513, QLatin1Char('x'));
    m.ValidateStage(2, 1);
    QCOMPARE(ic.Coef[5], 1.0f);
    QCOMPARE(ic.Coef[6], -1.0f);
    QVERIFY(ic.CoefFileName.isEmpty());
}

// Each type's scalar fields at both edges of their range: a value just inside stays, one just
// outside comes back to the edge. A limit copied from a neighbouring type shows here.
void TestModel::validateFieldLimits_data()
{
    test::addColumns<int, QString, int, int>("type", "field", "value", "want");
    const struct {
        int type;
        const char *field;
        int low;
        int high;
    } limits[] = {
        {Adaptive1CH, "FilterSize", 4, 256}, {Adaptive1CH, "PredictionSpan", 1, 64},
        {Adaptive1CH, "AdaptRate", 1, 256},  {Adaptive1CH, "OutputOption", 1, 2},
        {Lowpass, "AttenDb", 12, 60},        {Highpass, "Slope", 3, 125},
        {Bandstop, "AttenDb", 12, 60},       {Notch, "AttenDb", 10, 60},
        {Slot, "AttenDb", 10, 60},           {Notch, "Freq2", 3, 125},
        {Comb, "AttenDb", 12, 60},           {Comb, "ModeOption", 3, 5},
    };
    for (const auto &l : limits) {
        const QByteArray name = FilterTypeDisplayText(l.type).toLatin1() + " " + l.field;
        QTest::newRow(name + " low") << l.type << l.field << l.low << l.low;
        QTest::newRow(name + " below") << l.type << l.field << l.low - 1 << l.low;
        QTest::newRow(name + " high") << l.type << l.field << l.high << l.high;
        QTest::newRow(name + " above") << l.type << l.field << l.high + 1 << l.high;
    }
}

void TestModel::validateFieldLimits()
{
    QFETCH(int, type);
    QFETCH(QString, field);
    QFETCH(int, value);
    QFETCH(int, want);
    Model m;
    m.CurrentSet = 5;
    StageConfig &s = m.stage(5, 2);
    s.Type = static_cast<int16_t>(type);
    m.ApplyTypeDefaults(2);
    const std::map<QString, int16_t *> fields = {{"FilterSize", &s.FilterSize}, {"PredictionSpan", &s.PredictionSpan},
                                                 {"AdaptRate", &s.AdaptRate},   {"OutputOption", &s.OutputOption},
                                                 {"AttenDb", &s.AttenDb},       {"Slope", &s.Slope},
                                                 {"Freq2", &s.Freq2},           {"ModeOption", &s.ModeOption}};
    *fields.at(field) = static_cast<int16_t>(value);
    m.ValidateStage(5, 2);
    QCOMPARE(int(*fields.at(field)), want);
}

void TestModel::typeDefaults()
{
    Model m;
    m.CurrentSet = 4;
    StageConfig &s = m.stage(4, 2);
    s.Type = ImportedCoef;
    s.CoefFileName = QStringLiteral("/tmp/x.txt");
    s.Coef.fill(0.25f);
    m.ApplyTypeDefaults(2);
    QVERIFY(s.CoefFileName.isEmpty());
    QCOMPARE(s.Coef[0], 1.0f);
    QCOMPARE(s.Coef[1], 0.0f);
    QCOMPARE(s.Coef[255], 0.0f);

    s.Type = GraphicEq20;
    s.EqBand[3] = 17;
    s.SpectralGain[2] = -7.0f;
    m.ApplyTypeDefaults(2);
    QCOMPARE(s.EqBand[3], 17);
    s.Type = SpectralEq;
    m.ApplyTypeDefaults(2);
    QCOMPARE(s.SpectralGain[2], -7.0f);

    s.Type = Comb;
    m.ApplyTypeDefaults(2);
    QCOMPARE(s.Freq1, 286);
    QCOMPARE(s.Freq2, 2500);
    QCOMPARE(s.AttenDb, 30);
    QCOMPARE(s.ModeOption, 3);
}

QTEST_APPLESS_MAIN(TestModel)
#include "test_model.moc"
