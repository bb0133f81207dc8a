// Every editor window's stage value: what it reports while open is what a save writes, an
// untouched window asks nothing and leaves the model as it was to the bit, and the live
// response never writes the model.

#include "datatable.h"
#include "editortesting.h"

#include "coefgen/spectral.h"
#include "editors/responseplot.h"
#include "scripteddialog.h"

#include <QDir>
#include <QLineEdit>
#include <QtTest>

#include <cstring>

using namespace korvane;
using namespace korvane::test;

namespace {

// Equal, and every float stored with the same bits (0.0 and -0.0 differ here).
bool sameBits(const StageConfig &a, const StageConfig &b)
{
    return a == b && std::memcmp(a.Coef.data(), b.Coef.data(), sizeof a.Coef) == 0
        && std::memcmp(a.SpectralGain.data(), b.SpectralGain.data(), sizeof a.SpectralGain) == 0;
}

bool sameBits(const Model &a, const Model &b)
{
    for (int set = 0; set < kFilterSetCount; ++set)
        for (int stage = 1; stage <= 2; ++stage)
            if (!sameBits(a.stage(set, stage), b.stage(set, stage)))
                return false;
    return true;
}

// A model around the editor's stage with values in fields no editor owns and in the other
// stages, so a stray write anywhere shows. The curve is flat at -6 dB; signedZero puts one
// point at -0.0 dB (which Normalize takes for the 0 dB peak).
Model busyModel(FilterType type, bool signedZero = false)
{
    Model m = editorModel(type);
    for (int set = 0; set < kFilterSetCount; ++set)
        for (int stage = 1; stage <= 2; ++stage) {
            StageConfig &s = m.stage(set, stage);
            s.CoefFileName = QStringLiteral("/tmp/taps %1.txt").arg(set);
            s.Coef[7] = 0.25f * float(set);
            s.Coef[9] = -0.0f;
            s.Agc = int16_t(set % 4);
            s.NoiseFilter = stage == 1 ? kTrue : kFalse;
        }
    StageConfig &r = m.currentStage();
    r.SpectralGain.fill(-6.0f);
    if (signedZero)
        r.SpectralGain[40] = -0.0f;
    r.EqBand[3] = 12;
    return m;
}

const StageConfig &stored(const Model &m) { return m.stage(m.CurrentSet, m.CurrentStage); }

QString okName(int type)
{
    return type == GraphicEq20 ? QStringLiteral("Command2")
        : type == SpectralEq   ? QStringLiteral("OKButton")
                               : QStringLiteral("Command1");
}
QString cancelName(int type)
{
    return type == GraphicEq20 ? QStringLiteral("Command3")
        : type == SpectralEq   ? QStringLiteral("CancelButton")
                               : QStringLiteral("Command2");
}

// The one field a row changes, copied from `from`.
void copyField(StageConfig &to, const StageConfig &from, const QString &field)
{
    static const std::pair<const char *, int16_t StageConfig::*> kNumbers[] = {
        {"Freq1", &StageConfig::Freq1},
        {"Freq2", &StageConfig::Freq2},
        {"Slope", &StageConfig::Slope},
        {"ModeOption", &StageConfig::ModeOption},
        {"OutputOption", &StageConfig::OutputOption}};
    for (const auto &[name, member] : kNumbers)
        if (field == QLatin1String(name)) {
            to.*member = from.*member;
            return;
        }
    if (field == QLatin1String("EqBand"))
        to.EqBand = from.EqBand;
    else if (field == QLatin1String("SpectralGain"))
        to.SpectralGain = from.SpectralGain;
    else
        qFatal("unknown field %s", qPrintable(field));
}

double fieldValue(const StageConfig &s, const QString &field)
{
    StageConfig probe;
    copyField(probe, s, field);
    return probe.Freq1 + probe.Freq2 + probe.Slope + probe.ModeOption + probe.OutputOption + probe.EqBand[7]
        + double(probe.SpectralGain[0]);
}

} // namespace

class TestEditorValue : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(inProgramDir_.entered()); }
    void changeIsWhatSaveWrites_data();
    void changeIsWhatSaveWrites();
    void untouchedWindowLeavesModel_data();
    void untouchedWindowLeavesModel();
    void curveBeingDrawnIsNoValue();

private:
    InProgramFolder inProgramDir_;
};

void TestEditorValue::changeIsWhatSaveWrites_data()
{
    // action: "max"/"min": arrow, "troughMin", "click", else text typed
    test::addColumns<int, QString, QString, QString, double>("type", "control", "action", "field", "expected");
    QTest::newRow("adaptive mode") << int(Adaptive1CH) << "optAdaptMode2"
                                   << "click"
                                   << "ModeOption" << 2.0;
    QTest::newRow("adaptive output") << int(Adaptive1CH) << "optProcessorOutput2"
                                     << "click"
                                     << "OutputOption" << 2.0;
    QTest::newRow("lowpass typed") << int(Lowpass) << "HScroll1Value"
                                   << "2700"
                                   << "Freq1" << 2700.0;
    QTest::newRow("highpass slope") << int(Highpass) << "HScroll2"
                                    << "max"
                                    << "Slope" << 65.0;
    QTest::newRow("bandpass upper") << int(Bandpass) << "HScroll4"
                                    << "troughMin"
                                    << "Freq2" << 2450.0;
    QTest::newRow("bandstop lower") << int(Bandstop) << "HScroll1"
                                    << "max"
                                    << "Freq1" << 2001.0;
    QTest::newRow("comb harmonics") << int(Comb) << "optHarmonic1"
                                    << "click"
                                    << "ModeOption" << 4.0;
    QTest::newRow("notch width") << int(Notch) << "HScroll2"
                                 << "max"
                                 << "Freq2" << 63.0;
    QTest::newRow("slot frequency") << int(Slot) << "HScroll1"
                                    << "min"
                                    << "Freq1" << 999.0;
    QTest::newRow("20-band slider") << int(GraphicEq20) << "GainSlider7"
                                    << "max"
                                    << "EqBand" << 1.0;
    QTest::newRow("spectral normalize") << int(SpectralEq) << "AutoScaleButton"
                                        << "click"
                                        << "SpectralGain" << 0.0;
}

void TestEditorValue::changeIsWhatSaveWrites()
{
    QFETCH(int, type);
    QFETCH(QString, control);
    QFETCH(QString, action);
    QFETCH(QString, field);
    QFETCH(double, expected);
    Model m = busyModel(FilterType(type));
    const Model before = m;
    ScriptedDialog d;
    auto w = showEditor(m, d, type);
    QVERIFY(w);
    QVERIFY(!w->hasUnsavedChanges());

    if (action == QLatin1String("max"))
        clickTowardsMax(bar(w.get(), control));
    else if (action == QLatin1String("min"))
        clickTowardsMin(bar(w.get(), control));
    else if (action == QLatin1String("troughMin"))
        clickTroughTowardsMin(bar(w.get(), control));
    else if (action == QLatin1String("click"))
        click(w.get(), control);
    else {
        auto *typed = named<QLineEdit>(w.get(), control);
        QVERIFY(typed);
        typed->setFocus();
        typed->selectAll();
        QTest::keyClicks(typed, action);
        QTest::keyClick(typed, Qt::Key_Return);
    }

    const StageConfig reported = w->editedStage();
    QCOMPARE(fieldValue(reported, field), expected);
    // Only the field the control holds differs from the stored record.
    StageConfig rest = reported;
    copyField(rest, stored(before), field);
    QVERIFY(sameBits(rest, stored(before)));
    QVERIFY(w->hasUnsavedChanges());

    // The live curve follows the control; computing it writes nothing.
    if (ResponsePlot *plot = w->responsePlot()) {
        w->refreshResponse();
        QVERIFY(plot->chart().curves[1].db != plot->chart().curves[0].db);
    }
    QCoreApplication::processEvents();
    QVERIFY(sameBits(m, before));

    click(w.get(), okName(type));
    QVERIFY(!w->isVisible());
    QVERIFY(d.messages.empty());
    Model expectedModel = before;
    expectedModel.currentStage() = reported;
    QVERIFY(sameBits(m, expectedModel));
}

void TestEditorValue::untouchedWindowLeavesModel_data()
{
    // mode: stored ModeOption; 0 keeps the type's default
    test::addColumns<int, QString, int, int>("type", "closeBy", "mode", "output");
    for (int type = Adaptive1CH; type <= SpectralEq; ++type)
        for (const char *how : {"ok", "cancel", "box"})
            QTest::addRow("%s, %s", qPrintable(FilterTypeDisplayText(type)), how) << type << how << 0 << 0;
    // Options outside their range select no button; that is no choice of the user's.
    QTest::newRow("adaptive, no option selected") << int(Adaptive1CH) << "box" << -1 << 3;
    QTest::newRow("adaptive, no option selected, OK") << int(Adaptive1CH) << "ok" << 7 << -1;
    QTest::newRow("comb, no harmonic selected") << int(Comb) << "cancel" << 2 << 0;
    QTest::newRow("comb, no harmonic selected, OK") << int(Comb) << "ok" << 6 << 0;
}

void TestEditorValue::untouchedWindowLeavesModel()
{
    QFETCH(int, type);
    QFETCH(QString, closeBy);
    QFETCH(int, mode);
    QFETCH(int, output);
    Model m = busyModel(FilterType(type), true);
    if (mode)
        m.currentStage().ModeOption = int16_t(mode);
    if (output)
        m.currentStage().OutputOption = int16_t(output);
    const Model before = m;
    ScriptedDialog d;
    d.answers.push_back(MessageAnswer::Ok); // a question, if asked, would store
    auto w = showEditor(m, d, type);
    QVERIFY(w);
    QVERIFY(!w->hasUnsavedChanges());
    QVERIFY(sameBits(w->editedStage(), stored(before)));
    if (closeBy == QLatin1String("ok"))
        click(w.get(), okName(type));
    else if (closeBy == QLatin1String("cancel"))
        click(w.get(), cancelName(type));
    else
        QVERIFY(w->close());
    QVERIFY(!w->isVisible());
    QCOMPARE(d.titles(), QStringList());
    QVERIFY(sameBits(m, before));
}

// While New or Edit waits for its points the window's value is the curve from before the
// operation, never the undefined points; the live plot keeps the stored curve meanwhile.
void TestEditorValue::curveBeingDrawnIsNoValue()
{
    Model m = busyModel(SpectralEq);
    const Model before = m;
    ScriptedDialog d;
    auto w = showEditor(m, d, SpectralEq);
    QVERIFY(w);
    click(w.get(), QStringLiteral("AutoScaleButton"));
    const StageConfig normalized = w->editedStage();
    QCOMPARE(normalized.SpectralGain[0], 0.0f);
    click(w.get(), QStringLiteral("NewButton"));
    QVERIFY(sameBits(w->editedStage(), normalized));
    QVERIFY(w->hasUnsavedChanges());
    w->refreshResponse();
    QCOMPARE(w->responsePlot()->chart().curves[1].db, w->responsePlot()->chart().curves[0].db);
    QVERIFY(sameBits(m, before));
    d.answers.push_back(MessageAnswer::Cancel);
    QVERIFY(w->close());
    QCOMPARE(d.titles(), QStringList{kSaveQuestionTitle});
    QVERIFY(sameBits(m, before));
}

QTEST_MAIN(TestEditorValue)
#include "test_editorvalue.moc"
