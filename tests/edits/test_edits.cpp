// The tools behind undo, copy and paste, the stage summaries, typed values and recent files,
// without a display.

#include "config/settingsfile.h"
#include "datatable.h"
#include "edits/clipboardtext.h"
#include "edits/edithistory.h"
#include "edits/recentfiles.h"
#include "edits/stagesummary.h"
#include "edits/typedvalue.h"
#include "labelformulas/labelformulas.h"
#include "modeltesting.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace korvane;

namespace {

// A read-in configuration: every set validated (17200 Hz), as after File > Open.
Model readModel()
{
    Model m = test::openedModel();
    m.CurrentSet = 0;
    return m;
}

void setType(Model &m, int set, int stage, FilterType type)
{
    m.CurrentSet = int16_t(set);
    m.stage(set, stage).Type = type;
    m.ApplyTypeDefaults(stage);
}

// The typed-value mapping of one field of an editor, at a sample rate, with the other bars'
// values given by name.
int typedSetting(int type, const QString &fieldName, double typed, int sampleRate, int minimum, int maximum,
                 int current, QMap<QString, int> bars = {})
{
    for (const TypedFieldDef &def : TypedFieldsOfEditor(type, sampleRate))
        if (def.fieldName == fieldName) {
            const BarValueLookup lookup = [&bars](const QString &n) { return bars.value(n); };
            return NearestSetting(typed, def.decimals, minimum, maximum, current,
                                  [&](int n) { return def.shown(n, lookup); });
        }
    qWarning("no field %s", qPrintable(fieldName));
    return -1;
}

} // namespace

class EditsTest : public QObject {
    Q_OBJECT

private slots:
    void historyUndoesAndRedoesExactly()
    {
        Model m = readModel();
        EditHistory h(m, 3);
        const QByteArray start = SettingsFileContent(m);
        {
            const EditStep step(h, m, QStringLiteral("Lowpass type of Filter 3 Stage 1"), 3);
            setType(m, 3, 1, Lowpass);
        }
        {
            const EditStep unchanged(h, m, QStringLiteral("nothing"), 3); // records no step
        }
        QCOMPARE(h.stepCount(), 1);
        const QByteArray afterFirst = SettingsFileContent(m);
        {
            const EditStep step(h, m, QStringLiteral("New"), 0);
            m.ResetAllFilterSets();
        }
        QCOMPARE(h.undoName(), QStringLiteral("New"));
        QCOMPARE(h.undo(), 0);
        QCOMPARE(SettingsFileContent(m), afterFirst);
        QCOMPARE(h.undo(), 3);
        QCOMPARE(SettingsFileContent(m), start);
        QVERIFY(!h.canUndo());
        QCOMPARE(h.undo(), -1);
        QCOMPARE(h.redoName(), QStringLiteral("Lowpass type of Filter 3 Stage 1"));
        QCOMPARE(h.redo(), 3);
        QCOMPARE(SettingsFileContent(m), afterFirst);

        // A new change drops the undone "New"; the limit drops the oldest steps.
        for (int set = 4; set < 8; ++set) {
            const EditStep step(h, m, SetStepName(QStringLiteral("AGC"), set), set);
            m.stage(set, 1).Agc = m.stage(set, 2).Agc = 2;
        }
        QCOMPARE(h.stepCount(), 3);
        QVERIFY(!h.canRedo());
        QCOMPARE(h.undoName(), QStringLiteral("AGC of Filter 7"));

        // An edit after an Undo takes the undone step's place: two Undos are not possible.
        EditHistory fresh(m);
        for (int16_t hz : {1234, 2345}) {
            {
                const EditStep step(fresh, m, QStringLiteral("cutoff"), 0);
                m.stage(0, 1).Freq1 = hz;
            }
            fresh.undo();
        }
        QVERIFY(!fresh.canUndo());
    }

    void cleanMarkerFollowsContentNotSteps()
    {
        Model m = readModel();
        EditHistory h(m);
        QVERIFY(h.isClean());
        {
            const EditStep step(h, m, QStringLiteral("x"), 0);
            setType(m, 0, 2, Notch);
        }
        QVERIFY(!h.isClean());
        h.undo();
        QVERIFY(h.isClean());
        h.redo();
        h.setClean(); // saved
        QVERIFY(h.isClean());
        h.undo();
        QVERIFY(!h.isClean());
    }

    void stagePasteKeepsIntegersAndSetWideValues()
    {
        Model source = readModel();
        setType(source, 2, 1, Lowpass);
        source.stage(2, 1).Freq1 = 6800; // fine at 17200 Hz
        source.stage(2, 1).Agc = source.stage(2, 2).Agc = 3;
        const QString text = StageClipboardText(source, 2, 1);
        QVERIFY(text.startsWith(QStringLiteral("\"Korvane-S Stage\"\r\n1\r\n\"\"\r\n"))); // header, Type, file
        QCOMPARE(text.count(QStringLiteral("\r\n")), 1 + kStageBlockLines);

        // Onto a set just reset by New (5.0 kHz, never validated) of another program.
        Model target;
        target.ResetAllFilterSets();
        target.stage(5, 1).Agc = target.stage(5, 2).Agc = 1;
        QVERIFY(PasteStage(target, 5, 2, text).ok);
        const StageConfig &s = target.stage(5, 2);
        QCOMPARE(s.Type, int16_t(Lowpass));
        QCOMPARE(s.Freq1, int16_t(6800));
        QCOMPARE(s.Slope, int16_t(64));
        QCOMPARE(s.Agc, int16_t(1)); // the set's own AGC
        // Validated as a read file is: both records of the set at 7.5 kHz.
        QCOMPARE(target.stage(5, 1).Bandwidth, int16_t(2));
        QCOMPARE(s.Bandwidth, int16_t(2));

        // A value beyond the limits (edited by hand in the text) is brought into them.
        QString edited = text;
        edited.replace(QStringLiteral("\r\n6800\r\n"), QStringLiteral("\r\n9000\r\n"));
        QVERIFY(PasteStage(target, 5, 1, edited).ok);
        QCOMPARE(target.stage(5, 1).Freq1, int16_t(7000));
        // So is one in either stage of a pasted set.
        Model twice = source;
        twice.stage(2, 2) = twice.stage(2, 1);
        QVERIFY(
            PasteSet(target, 6,
                     SetClipboardText(twice, 2).replace(QStringLiteral("\r\n6800\r\n"), QStringLiteral("\r\n9000\r\n")))
                .ok);
        QCOMPARE(target.stage(6, 1).Freq1, int16_t(7000));
        QCOMPARE(target.stage(6, 2).Freq1, int16_t(7000));
    }

    void setPasteAndBadTextsLeaveModelAlone()
    {
        Model m = readModel();
        setType(m, 3, 1, Bandpass);
        setType(m, 3, 2, Comb);
        m.stage(3, 1).NoiseFilter = m.stage(3, 2).NoiseFilter = kTrue;
        const QString set3 = SetClipboardText(m, 3);
        QVERIFY(PasteSet(m, 7, set3).ok);
        QVERIFY(m.FilterData[7] == m.FilterData[3]);

        const QByteArray before = SettingsFileContent(m);
        const QString stage = StageClipboardText(m, 3, 1);
        const struct {
            QString text;
            bool set;
            QString mentions;
        } bad[] = {
            {QString(), true, QStringLiteral("no complete Korvane-S filter set")},
            {QStringLiteral("hello"), false, QStringLiteral("no complete Korvane-S stage")},
            {set3.left(set3.size() - 20), true, QStringLiteral("cut short")},
            {stage, true, QStringLiteral("a single stage")},
            {set3, false, QStringLiteral("a whole filter set")},
            {QString(stage).replace(QStringLiteral("\r\n64\r\n"), QStringLiteral("\r\nx64\r\n")), false,
             QStringLiteral("not a number")},
        };
        for (const auto &b : bad) {
            const PasteResult r = b.set ? PasteSet(m, 9, b.text) : PasteStage(m, 9, 1, b.text);
            QVERIFY(!r.ok);
            QCOMPARE(r.title, QStringLiteral("Unable to paste"));
            QVERIFY2(r.text.contains(b.mentions), qPrintable(r.text));
        }
        QCOMPARE(SettingsFileContent(m), before);
    }

    void summariesOfEveryType_data()
    {
        test::addColumns<int, QString>("type", "summary");
        QTest::newRow("adaptive") << int(Adaptive1CH) << "1CH Adaptive 128 taps, span 3, Mu 10, Auto, Residue";
        QTest::newRow("lowpass") << int(Lowpass) << "Lowpass 2500 Hz, 228 dB/Octave, 30 dB";
        QTest::newRow("highpass") << int(Highpass) << "Highpass 300 Hz, 28 dB/Octave, 30 dB";
        QTest::newRow("bandpass") << int(Bandpass) << "Bandpass 300 to 2500 Hz, 14/228 dB/Octave, 30 dB";
        QTest::newRow("bandstop") << int(Bandstop) << "Bandstop 2000 to 2500 Hz, 92/228 dB/Octave, 30 dB";
        QTest::newRow("comb") << int(
            Comb) << "Comb " + CombFundamentalLabel(286, 17200) + " Hz, All harmonics, limit 2500 Hz, 30 dB";
        QTest::newRow("notch") << int(Notch) << "Notch 400 Hz, 397 Hz wide, 30 dB";
        QTest::newRow("slot") << int(Slot) << "Slot 1000 Hz, 227 Hz wide, 30 dB";
        QTest::newRow("20-band flat") << int(GraphicEq20) << "20-band: flat 0 dB";
        QTest::newRow("spectral flat") << int(SpectralEq) << "Spectral: flat 0.0 dB";
        QTest::newRow("imported, no file") << int(ImportedCoef) << "Imported: no file (unit impulse)";
        QTest::newRow("pass thru") << int(PassThru) << "Pass Thru";
    }
    void summariesOfEveryType()
    {
        QFETCH(int, type);
        QFETCH(QString, summary);
        Model m = readModel();
        setType(m, 4, 2, FilterType(type));
        QCOMPARE(StageSummary(m, 4, 2), summary);
        QCOMPARE(IsPassThroughSet(m, 4), type == PassThru);
    }

    void summariesOfShapedStages()
    {
        Model m = readModel();
        StageConfig &s = m.stage(1, 1);
        s.Type = GraphicEq20;
        s.EqBand[1] = 6;                              // 300 Hz
        s.EqBand[5] = s.EqBand[6] = s.EqBand[7] = 12; // 1.1K..1.5K
        s.EqBand[8] = 40;                             // 1.7K
        QCOMPARE(StageSummary(m, 1, 1),
                 QStringLiteral("20-band: -6 dB at 300 Hz, -12 dB at 1.1-1.5 kHz, "
                                "-40 dB at 1.7 kHz, elsewhere 0 dB"));
        s.Type = SpectralEq;
        s.SpectralGain.fill(-10.0f);
        s.SpectralGain[9] = -2.5f;   // 9 * 17200 / 256 = 604.7 Hz
        s.SpectralGain[57] = -40.0f; // 3829.7 Hz, as the editor's read-out shows it
        QCOMPARE(StageSummary(m, 1, 1), QStringLiteral("Spectral: -2.5 dB at 605 Hz down to -40.0 dB at 3830 Hz"));
        s.Type = ImportedCoef;
        s.CoefFileName = QStringLiteral("C:\\filters\\cw500.txt"); // stored by another machine
        QCOMPARE(StageSummary(m, 1, 1), QStringLiteral("Imported: cw500.txt"));
        s.CoefFileName = QStringLiteral("/home/op/cw500.txt");
        QCOMPARE(StageSummary(m, 1, 1), QStringLiteral("Imported: cw500.txt"));
        s.Type = Bandpass;
        s.Freq1 = 0;
        s.Freq2 = 2500;
        s.Slope = 64;
        // The lower slope at 0 Hz reads 1, as the editor's "Lower:" label shows it.
        QVERIFY(StageSummary(m, 1, 1).startsWith(QStringLiteral("Bandpass (Out) to 2500 Hz, 1/228 dB/Octave")));

        // AGC or the noise filter alone make a set act on the signal.
        QVERIFY(IsPassThroughSet(m, 2));
        m.stage(2, 1).Agc = 1;
        QVERIFY(!IsPassThroughSet(m, 2));
    }

    void typedValuesLandOnTheSettingThatShowsThem()
    {
        // Plain values: the integer itself, clamped into the bar's range.
        QCOMPARE(typedSetting(Lowpass, "HScroll1Value", 2700, 17200, 100, 7000, 2500), 2700);
        QCOMPARE(typedSetting(Lowpass, "HScroll1Value", 9000, 17200, 100, 7000, 2500), 7000);
        QCOMPARE(typedSetting(Lowpass, "HScroll1Value", 2699.6, 17200, 100, 7000, 2500), 2700); // rounded, not cut
        // A slope of 228 dB/Octave at 2500 Hz is the setting 64 (the editor's own example).
        QCOMPARE(typedSetting(Lowpass, "HScroll2Value", 228, 17200, 3, 125, 10, {{"HScroll1", 2500}}), 64);
        QCOMPARE(typedSetting(Lowpass, "HScroll2Value", 436, 9000, 3, 125, 10, {{"HScroll1", 2500}}), 64);
        // Bandpass: lower and upper slopes from the one bar.
        QCOMPARE(typedSetting(Bandpass, "HScroll2ValueUpper", 228, 17200, 3, 125, 3,
                              {{"HScroll1", 300}, {"HScroll4", 2500}}),
                 64);
        QCOMPARE(typedSetting(Bandpass, "HScroll1Value", 0, 17200, 0, 6900, 300), 0);
        // Widths on the reversed bars: 397 Hz notch and 227 Hz slot are the setting 64.
        QCOMPARE(typedSetting(Notch, "HScroll2Value", 397, 17200, 125, 3, 100), 64);
        QCOMPARE(typedSetting(Slot, "HScroll2Value", 227, 17200, 125, 3, 100), 64);
        // At a low cutoff several settings show one slope: the one nearest the bar's present
        // value is taken, so the bar moves as little as it can.
        const QMap<QString, int> at100{{"HScroll1", 100}};
        const int fromBelow = typedSetting(Lowpass, "HScroll2Value", 5, 17200, 3, 125, 3, at100);
        const int fromAbove = typedSetting(Lowpass, "HScroll2Value", 5, 17200, 3, 125, 125, at100);
        QVERIFY(fromBelow < fromAbove);
        QCOMPARE(SlopeLabel(fromBelow, 100, 17200), QStringLiteral("5"));
        QCOMPARE(SlopeLabel(fromBelow - 1, 100, 17200), QStringLiteral("4"));
        QCOMPARE(SlopeLabel(fromAbove, 100, 17200), QStringLiteral("5"));
        QCOMPARE(SlopeLabel(fromAbove + 1, 100, 17200), QStringLiteral("6"));
        // No setting shows 6450 Hz of width: the nearest figure, 6451 (setting 3), is taken.
        QCOMPARE(typedSetting(Notch, "HScroll2Value", 6450, 17200, 125, 3, 125), 3);
        // Comb: S / (N + 1) to two decimals.
        QCOMPARE(typedSetting(Comb, "hscrlFundFreqValue", 2866.67, 17200, 509, 5, 100), 5);
        QCOMPARE(typedSetting(Comb, "hscrlFundFreqValue", 33.73, 17200, 509, 5, 100), 509);
        QCOMPARE(typedSetting(Comb, "hscrlFundFreqValue", 60.14, 17200, 509, 5, 100), 285);
        // 20-band: the label shows the cut negated.
        QCOMPARE(typedSetting(GraphicEq20, "GainSlider4Value", -6, 17200, 0, 40, 0), 6);
        QCOMPARE(typedSetting(Adaptive1CH, "HScroll1Value", 200, 17200, 4, 256, 128), 200);
        QVERIFY(TypedFieldsOfEditor(SpectralEq, 17200).empty());
    }

    void typedTextsParse_data()
    {
        test::addColumns<QString, double, bool>("text", "value", "ok");
        QTest::newRow("plain") << "2700" << 2700.0 << true;
        QTest::newRow("unit") << " 2700 Hz " << 2700.0 << true;
        QTest::newRow("comma") << "60,14" << 60.14 << true;
        QTest::newRow("kilo") << "2.7 kHz" << 2700.0 << true;
        QTest::newRow("band label") << "1.1K" << 1100.0 << true;
        QTest::newRow("negative dB") << "-6 dB" << -6.0 << true;
        QTest::newRow("slope unit") << "228 dB/Octave" << 228.0 << true;
        QTest::newRow("out") << "(Out)" << 0.0 << true;
        QTest::newRow("words") << "abc" << 0.0 << false;
        QTest::newRow("empty") << "" << 0.0 << false;
        QTest::newRow("two points") << "1.2.3" << 0.0 << false;
    }
    void typedTextsParse()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QFETCH(bool, ok);
        const std::optional<double> v = ParseTypedValue(text);
        QCOMPARE(v.has_value(), ok);
        if (ok)
            QCOMPARE(*v, value);
    }

    void recentFilesSurviveARestartAndNamesAreCompleted()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        {
            RecentFiles r;
            QVERIFY(r.files().isEmpty());
            for (const char *name : {"/a/one.min", "/a/two.min", "/a/three.min", "/a/four.min", "/a/five.min"})
                r.add(QString::fromLatin1(name));
            r.add(QStringLiteral("/a/three.min")); // opened again: first, not twice
        }
        RecentFiles again;
        QCOMPARE(again.files(), QStringList({"/a/three.min", "/a/five.min", "/a/four.min", "/a/two.min"}));
        QVERIFY(QFile::exists(config.path() + QStringLiteral("/korvane-s/korvane-s.conf")));
        again.remove(QStringLiteral("/a/five.min"));
        QCOMPARE(RecentFiles().files().size(), 3);

        QCOMPARE(CompleteSettingsFileName(QStringLiteral("/x/cw")), QStringLiteral("/x/cw.min"));
        QCOMPARE(CompleteSettingsFileName(QStringLiteral("/x/cw.min")), QStringLiteral("/x/cw.min"));
        QCOMPARE(CompleteSettingsFileName(QStringLiteral("/x/cw.txt")), QStringLiteral("/x/cw.txt"));
        QCOMPARE(CompleteSettingsFileName(QStringLiteral("/x.d/cw")), QStringLiteral("/x.d/cw.min"));
    }
};

QTEST_GUILESS_MAIN(EditsTest)
#include "test_edits.moc"
