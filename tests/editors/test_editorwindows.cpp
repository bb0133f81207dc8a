// The parametric, adaptive and 20-band editor windows driven offscreen with mouse and keys.

#include "datatable.h"
#include "editortesting.h"

#include "labelformulas/labelformulas.h"
#include "scripteddialog.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>

using namespace korvane;
using namespace korvane::test;

class TestEditorWindows : public QObject {
    Q_OBJECT
private slots:
    void lowpassLabelsAndRange_data();
    void lowpassLabelsAndRange();
    void bandpassSlopesAndPair();
    void lowerCutoffOut();
    void notchAndSlotWidths();
    void combFundamentalAndHarmonics();
    void closeProtocol_data();
    void closeProtocol();
    void adaptiveLabelsAndOptions();
    void equalizerLabelsAndBulk();
    void equalizerDiscardKeepsBands();
    void openStageEditorWindow();
};

void TestEditorWindows::lowpassLabelsAndRange_data()
{
    test::addColumns<int, int, QString, int>("type", "bandwidth", "slope", "top");
    QTest::newRow("lowpass 17200") << int(Lowpass) << 2 << "228" << 7000;
    QTest::newRow("lowpass 9000") << int(Lowpass) << 0 << "436" << 3400;
    QTest::newRow("highpass 17200") << int(Highpass) << 2 << "228" << 7000;
}

void TestEditorWindows::lowpassLabelsAndRange()
{
    QFETCH(int, type);
    QFETCH(int, bandwidth);
    QFETCH(QString, slope);
    QFETCH(int, top);
    Model m = editorModel(FilterType(type), bandwidth);
    m.currentStage().Freq1 = 2500;
    ScriptedDialog d;
    auto w = showEditor(m, d, type);
    QVERIFY(w);
    QCOMPARE(textOf(w.get(), "Cutoff"), QStringLiteral("2500"));
    QCOMPARE(textOf(w.get(), "Slope"), slope);
    QCOMPARE(textOf(w.get(), "Atten"), QStringLiteral("30"));
    QCOMPARE(bar(w.get(), "HScroll1")->maximum(), top);

    // The slope follows the cutoff as the thumb is dragged to the top of the range.
    SettingBar *cutoff = bar(w.get(), "HScroll1");
    dragThumb(cutoff, 1000);
    QCOMPARE(cutoff->value(), top);
    QCOMPARE(textOf(w.get(), "Cutoff"), QString::number(top));
    QCOMPARE(textOf(w.get(), "Slope"), SlopeLabel(64, top, m.SampleRate(3)));
    clickTowardsMax(bar(w.get(), "HScroll2"));
    QCOMPARE(textOf(w.get(), "Slope"), SlopeLabel(65, top, m.SampleRate(3)));
    clickTroughTowardsMax(bar(w.get(), "HScroll3"));
    QCOMPARE(textOf(w.get(), "Atten"), QStringLiteral("33"));
    w->reject();
}

void TestEditorWindows::bandpassSlopesAndPair()
{
    for (int bw : {0, 2}) {
        Model m = editorModel(Bandpass, bw);
        ScriptedDialog d;
        auto w = showEditor(m, d, Bandpass);
        QVERIFY(w);
        QCOMPARE(bar(w.get(), "HScroll1")->maximum(), bw == 0 ? 3300 : 6900);
        QCOMPARE(bar(w.get(), "HScroll4")->maximum(), bw == 0 ? 3400 : 7000);
        if (bw == 2) {
            QCOMPARE(textOf(w.get(), "Slope1"), QStringLiteral("14"));
            QCOMPARE(textOf(w.get(), "Slope2"), QStringLiteral("228"));
        }
        w->reject();
    }

    Model m = editorModel(Bandstop);
    m.currentStage().Freq1 = 900;
    m.currentStage().Freq2 = 1000;
    ScriptedDialog d;
    auto w = showEditor(m, d, Bandstop);
    QVERIFY(w);
    SettingBar *lower = bar(w.get(), "HScroll1");
    SettingBar *upper = bar(w.get(), "HScroll4");
    // The lower cutoff cannot come within 100 Hz of the upper one: the moved bar gives way.
    clickTowardsMax(lower);
    QCOMPARE(lower->value(), 900);
    dragThumb(lower, 200);
    QCOMPARE(lower->value(), 900);
    QCOMPARE(textOf(w.get(), "LoCutoff"), QStringLiteral("900"));
    clickTroughTowardsMin(upper); // 1000 - 50 = 950
    QCOMPARE(upper->value(), 1000);
    QCOMPARE(textOf(w.get(), "HiCutoff"), QStringLiteral("1000"));
    QCOMPARE(lower->value(), 900);
    // The slopes follow both cutoffs.
    clickTroughTowardsMax(upper);
    QCOMPARE(textOf(w.get(), "HiCutoff"), QStringLiteral("1050"));
    QCOMPARE(textOf(w.get(), "Slope2"), SlopeLabel(64, 1050, 17200));
    clickTroughTowardsMin(lower);
    QCOMPARE(textOf(w.get(), "Slope1"), SlopeLabel(64, 850 / 2.0, 17200));
    w->reject();
}

void TestEditorWindows::lowerCutoffOut()
{
    Model m = editorModel(Bandpass);
    m.currentStage().Freq1 = 0;
    ScriptedDialog d;
    auto w = showEditor(m, d, Bandpass);
    QVERIFY(w);
    QCOMPARE(textOf(w.get(), "LoCutoff"), QStringLiteral("(Out)"));
    SettingBar *lower = bar(w.get(), "HScroll1");
    clickTowardsMax(lower);
    QCOMPARE(textOf(w.get(), "LoCutoff"), QStringLiteral("1"));
    clickTroughTowardsMin(lower);
    QCOMPARE(lower->value(), 0);
    QCOMPARE(textOf(w.get(), "LoCutoff"), QStringLiteral("(Out)"));
    QTest::keyClick(w.get(), Qt::Key_Escape); // back to the stored value: no question
    QVERIFY(d.messages.empty());
    QVERIFY(!w->isVisible());
}

void TestEditorWindows::notchAndSlotWidths()
{
    Model m = editorModel(Notch);
    ScriptedDialog d;
    auto notch = showEditor(m, d, Notch);
    QVERIFY(notch);
    QCOMPARE(textOf(notch.get(), "NWidth"), QStringLiteral("397"));
    QCOMPARE(bar(notch.get(), "HScroll1")->minimum(), 0);
    SettingBar *width = bar(notch.get(), "HScroll2");
    // Reversed bar: the right arrow lowers the setting and widens the notch.
    clickTowardsMax(width);
    QCOMPARE(width->value(), 63);
    QCOMPARE(textOf(notch.get(), "NWidth"), QStringLiteral("404"));
    clickTroughTowardsMax(width);
    QCOMPARE(width->value(), 55);
    notch->reject();
    QCOMPARE(d.messages.size(), std::size_t(1));

    Model s = editorModel(Slot);
    s.currentStage().Freq2 = 64;
    ScriptedDialog ds;
    auto slot = showEditor(s, ds, Slot);
    QVERIFY(slot);
    QCOMPARE(textOf(slot.get(), "SWidth"), QStringLiteral("227"));
    QCOMPARE(textOf(slot.get(), "Freq"), QStringLiteral("1000"));
    QCOMPARE(bar(slot.get(), "HScroll1")->minimum(), 30);
    QCOMPARE(bar(slot.get(), "HScroll3")->minimum(), 10);
    slot->reject();
    QVERIFY(ds.messages.empty());
}

void TestEditorWindows::combFundamentalAndHarmonics()
{
    // The default setting 286 is 60 Hz only at 17200 Hz; at the other rates the label shows
    // where the notches really fall.
    const char *const expected[3] = {"31.36", "41.81", "60.00"};
    for (int bw : {0, 1, 2}) {
        Model m = editorModel(Comb, bw);
        ScriptedDialog d;
        auto w = showEditor(m, d, Comb);
        QVERIFY(w);
        QCOMPARE(textOf(w.get(), "lblFreq"), QString::fromLatin1(expected[bw]));
        w->reject();
    }
    Model m = editorModel(Comb);
    m.currentStage().ModeOption = 4;
    ScriptedDialog d;
    auto w = showEditor(m, d, Comb);
    QVERIFY(w);
    QCOMPARE(textOf(w.get(), "lblLimit"), QStringLiteral("2500"));
    QCOMPARE(textOf(w.get(), "lblDepth"), QStringLiteral("30"));
    QVERIFY(named<QAbstractButton>(w.get(), "optHarmonic1")->isChecked());
    SettingBar *fund = bar(w.get(), "hscrlFundFreq");
    clickTowardsMax(fund);
    QCOMPARE(fund->value(), 285);
    QCOMPARE(textOf(w.get(), "lblFreq"), QStringLiteral("60.14"));
    dragThumb(fund, 1000);
    QCOMPARE(fund->value(), 5);
    QCOMPARE(textOf(w.get(), "lblFreq"), QStringLiteral("2866.67"));
    dragThumb(fund, -1000);
    QCOMPARE(fund->value(), 509);
    QCOMPARE(textOf(w.get(), "lblFreq"), QStringLiteral("33.73"));
    clickTowardsMax(bar(w.get(), "hscrlNotchDepth"));
    QCOMPARE(textOf(w.get(), "lblDepth"), QStringLiteral("33"));
    click(w.get(), "optHarmonic2");
    click(w.get(), "Command1");
    QVERIFY(d.messages.empty());
    QCOMPARE(m.currentStage().ModeOption, 5);
    QCOMPARE(m.currentStage().Freq1, 509);
    QCOMPARE(m.currentStage().AttenDb, 33);
    QCOMPARE(m.currentStage().Freq2, 2500);
}

void TestEditorWindows::closeProtocol_data()
{
    // closeBy: "ok", "cancel", "box", "esc"
    // answer: MessageAnswer given to the question
    test::addColumns<bool, QString, int, bool, bool>("moveBack", "closeBy", "answer", "asked", "stored");
    QTest::newRow("moved back, Cancel") << true << "cancel" << int(MessageAnswer::Ok) << false << false;
    QTest::newRow("moved, close box, OK") << false << "box" << int(MessageAnswer::Ok) << true << true;
    QTest::newRow("moved, close box, Cancel") << false << "box" << int(MessageAnswer::Cancel) << true << false;
    QTest::newRow("moved, Esc, Cancel") << false << "esc" << int(MessageAnswer::Cancel) << true << false;
    QTest::newRow("moved, OK button") << false << "ok" << int(MessageAnswer::Cancel) << false << true;
    QTest::newRow("moved, Enter") << false << "enter" << int(MessageAnswer::Cancel) << false << true;
}

void TestEditorWindows::closeProtocol()
{
    QFETCH(bool, moveBack);
    QFETCH(QString, closeBy);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, stored);
    for (int type : {int(Lowpass), int(Bandpass), int(Notch), int(Comb), int(Adaptive1CH), int(GraphicEq20)}) {
        Model m = editorModel(FilterType(type));
        const StageConfig before = m.currentStage();
        ScriptedDialog d;
        d.answers.push_back(MessageAnswer(answer));
        auto w = showEditor(m, d, type);
        QVERIFY(w);
        const QString barName = type == Comb ? "hscrlNotchDepth" : type == GraphicEq20 ? "GainSlider7" : "HScroll3";
        SettingBar *b = bar(w.get(), barName);
        const int original = b->value();
        clickTowardsMax(b);
        QVERIFY(b->value() != original);
        const int moved = b->value();
        if (moveBack)
            clickTowardsMin(b);
        if (closeBy == "ok")
            click(w.get(), type == GraphicEq20 ? "Command2" : "Command1");
        else if (closeBy == "cancel")
            click(w.get(), type == GraphicEq20 ? "Command3" : "Command2");
        else if (closeBy == "esc")
            QTest::keyClick(w.get(), Qt::Key_Escape);
        else if (closeBy == "enter")
            QTest::keyClick(b, Qt::Key_Return); // from the focused bar to the default button
        else
            QVERIFY(w->close());
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
        QCOMPARE(d.messages.size(), std::size_t(asked ? 1 : 0));
        if (asked) {
            QCOMPARE(d.messages[0].title, QStringLiteral("Do you want to save your changes ?"));
            QCOMPARE(d.messages[0].text, QStringLiteral("Press OK to save changes or Cancel to discard."));
            QCOMPARE(d.messages[0].icon, MessageIcon::Exclamation);
            QCOMPARE(d.messages[0].buttons, MessageButtons::OkCancel);
        }
        StageConfig expected = before;
        if (stored && !moveBack) {
            if (type == GraphicEq20)
                expected.EqBand[7] = int16_t(moved);
            else if (type == Adaptive1CH)
                expected.AdaptRate = int16_t(moved);
            else
                expected.AttenDb = int16_t(moved);
        }
        QVERIFY2(m.currentStage() == expected, qPrintable(w->objectName()));
    }
}

void TestEditorWindows::adaptiveLabelsAndOptions()
{
    Model m = editorModel(Adaptive1CH);
    m.currentStage().ModeOption = 2;
    m.currentStage().OutputOption = 2;
    ScriptedDialog d;
    auto w = showEditor(m, d, Adaptive1CH);
    QVERIFY(w);
    QCOMPARE(textOf(w.get(), "lblFilterSize"), QStringLiteral("128"));
    QCOMPARE(textOf(w.get(), "lblFilterSizeTime"), QStringLiteral("0007.442"));
    QCOMPARE(textOf(w.get(), "lblPspanTime"), QStringLiteral("0000.174"));
    QCOMPARE(textOf(w.get(), "lblAdaptRate"), QStringLiteral("10"));
    QVERIFY(named<QAbstractButton>(w.get(), "optAdaptMode2")->isChecked());
    QVERIFY(named<QAbstractButton>(w.get(), "optProcessorOutput2")->isChecked());
    click(w.get(), "Command1");
    QVERIFY(d.messages.empty());
    QCOMPARE(m.currentStage().ModeOption, 2);
    QCOMPARE(m.currentStage().OutputOption, 2);

    Model slow = editorModel(Adaptive1CH, 0);
    ScriptedDialog ds;
    ds.answers.push_back(MessageAnswer::Cancel);
    auto w2 = showEditor(slow, ds, Adaptive1CH);
    QVERIFY(w2);
    QCOMPARE(textOf(w2.get(), "lblFilterSizeTime"), QStringLiteral("0014.222"));
    SettingBar *size = bar(w2.get(), "HScroll1");
    dragThumb(size, 1000);
    QCOMPARE(textOf(w2.get(), "lblFilterSize"), QStringLiteral("256"));
    QCOMPARE(textOf(w2.get(), "lblFilterSizeTime"), QStringLiteral("0028.444"));
    dragThumb(bar(w2.get(), "HScroll2"), 1000);
    QCOMPARE(textOf(w2.get(), "lblPspanTime"), QStringLiteral("0007.111"));
    clickTroughTowardsMax(bar(w2.get(), "HScroll3"));
    QCOMPARE(textOf(w2.get(), "lblAdaptRate"), QStringLiteral("26"));
    // Only the option changed in the end: still a question, and Cancel keeps the model.
    size->setValue(128);
    bar(w2.get(), "HScroll2")->setValue(3);
    bar(w2.get(), "HScroll3")->setValue(10);
    click(w2.get(), "optAdaptMode2");
    QVERIFY(w2->close());
    QCOMPARE(ds.messages.size(), std::size_t(1));
    QCOMPARE(slow.currentStage().ModeOption, 1);
}

void TestEditorWindows::equalizerLabelsAndBulk()
{
    for (int bw : {0, 1, 2}) {
        Model m = editorModel(GraphicEq20, bw);
        ScriptedDialog d;
        auto w = showEditor(m, d, GraphicEq20);
        QVERIFY(w);
        QCOMPARE(textOf(w.get(), "Frequency0"), EqFrequencyLabels(bw)[0]);
        QCOMPARE(textOf(w.get(), "Frequency19"), bw == 0 ? "3.7K" : bw == 1 ? "4.9K" : "7.4K");
        w->reject();
    }

    Model m = editorModel(GraphicEq20);
    StageConfig &r = m.currentStage();
    r.EqBand.fill(10);
    r.EqBand[0] = 3;
    r.EqBand[1] = 7;
    ScriptedDialog d;
    auto w = showEditor(m, d, GraphicEq20);
    QVERIFY(w);
    QCOMPARE(textOf(w.get(), "Gain0"), QStringLiteral("-3"));
    click(w.get(), "Command6"); // Normalize
    QCOMPARE(bar(w.get(), "GainSlider0")->value(), 0);
    QCOMPARE(bar(w.get(), "GainSlider1")->value(), 4);
    QCOMPARE(bar(w.get(), "GainSlider19")->value(), 7);
    QCOMPARE(textOf(w.get(), "Gain0"), QStringLiteral("0"));
    QCOMPARE(textOf(w.get(), "Gain19"), QStringLiteral("-7"));

    dragThumb(bar(w.get(), "GainSlider5"), 1000); // to the bottom: -40 dB
    QCOMPARE(textOf(w.get(), "Gain5"), QStringLiteral("-40"));
    click(w.get(), "Command7"); // All Down 1dB
    QCOMPARE(bar(w.get(), "GainSlider5")->value(), 40);
    QCOMPARE(bar(w.get(), "GainSlider0")->value(), 1);
    QCOMPARE(textOf(w.get(), "Gain1"), QStringLiteral("-5"));

    clickTowardsMin(bar(w.get(), "GainSlider9"));
    QCOMPARE(textOf(w.get(), "Gain9"), QStringLiteral("-7"));
    click(w.get(), "Command2"); // OK
    QVERIFY(d.messages.empty());
    QCOMPARE(r.EqBand[0], 1);
    QCOMPARE(r.EqBand[1], 5);
    QCOMPARE(r.EqBand[5], 40);
    QCOMPARE(r.EqBand[9], 7);
    QCOMPARE(r.EqBand[19], 8);
}

void TestEditorWindows::equalizerDiscardKeepsBands()
{
    Model m = editorModel(GraphicEq20);
    m.currentStage().EqBand[12] = 6;
    const auto before = m.currentStage().EqBand;
    ScriptedDialog d;
    d.answers.push_back(MessageAnswer::Cancel);
    auto w = showEditor(m, d, GraphicEq20);
    QVERIFY(w);
    click(w.get(), "Command1"); // Make All 0dB
    for (int i = 0; i < 20; ++i)
        QCOMPARE(textOf(w.get(), QStringLiteral("Gain%1").arg(i)), QStringLiteral("0"));
    click(w.get(), "Command3");
    QCOMPARE(d.messages.size(), std::size_t(1));
    QCOMPARE(m.currentStage().EqBand, before);

    // Already all 0: Make All 0dB changes nothing and Cancel asks nothing.
    Model z = editorModel(GraphicEq20);
    ScriptedDialog dz;
    auto wz = showEditor(z, dz, GraphicEq20);
    QVERIFY(wz);
    click(wz.get(), "Command1");
    click(wz.get(), "Command3");
    QVERIFY(dz.messages.empty());
}

void TestEditorWindows::openStageEditorWindow()
{
    const char *const captions[10] = {"1-Channel Adaptive",
                                      "Lowpass",
                                      "Highpass",
                                      "Bandpass",
                                      "Bandstop",
                                      "Comb",
                                      "Notch",
                                      "Slot",
                                      "20-Band Graphic Equalizer",
                                      "Spectral Graphic Equalizer"};
    for (int type = 0; type < 10; ++type) {
        Model m = editorModel(FilterType(type));
        ScriptedDialog d;
        QString seenTitle;
        bool wasModal = false;
        QPointer<QWidget> editor;
        QTimer::singleShot(0, [&] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w)
                return;
            editor = w;
            seenTitle = w->windowTitle();
            wasModal = w->isModal();
            w->close();
        });
        QVERIFY(OpenStageEditorWindow(nullptr, m, d, type, QStringLiteral(" Stage 2")));
        QCOMPARE(seenTitle, QString::fromLatin1(captions[type]) + " Stage 2");
        QVERIFY(wasModal);
        QVERIFY(editor.isNull()); // destroyed on close; the next opening builds a new one
        QVERIFY(QApplication::topLevelWidgets().isEmpty()
                || std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                                [](QWidget *w) { return w->isVisible(); }));
    }
    Model m;
    ScriptedDialog d;
    for (int type : {10, 11, -1, 12})
        QVERIFY(!OpenStageEditorWindow(nullptr, m, d, type, QStringLiteral(" Stage 1")));
}

QTEST_MAIN(TestEditorWindows)
#include "test_editorwindows.moc"
