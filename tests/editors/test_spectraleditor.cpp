// The spectral equalizer editor and its drop-trace dialog, driven by mouse input at plot
// coordinates.

#include "editortesting.h"

#include "editors/spectraleditor.h"
#include "scripteddialog.h"

#include <QAccessible>
#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

using namespace korvane;
using namespace korvane::test;
using G = SpectralPlotGeometry;

namespace {
// Mouse events at exact plot units (x, y), which need not fall on whole pixels.
void sendMouse(QWidget *plot, QEvent::Type type, double x, double y, Qt::MouseButton button)
{
    const QPointF local(x / G::kUnitsPerPixel, y / G::kUnitsPerPixel);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
        ? Qt::MouseButtons{}
        : Qt::MouseButtons{button};
    QMouseEvent e(type, local, plot->mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(plot, &e);
}

// A click in point k's column at level dB.
void clickPoint(QWidget *plot, int k, float dB)
{
    const double x = k >= kLastPoint ? 6900.0 : 500 + (k + 0.5) * 6400.0 / 114.0;
    const double y = -dB * 2380.0 / 40.0 + 90.0;
    sendMouse(plot, QEvent::MouseButtonPress, x, y, Qt::LeftButton);
    sendMouse(plot, QEvent::MouseButtonRelease, x, y, Qt::LeftButton);
}

bool shown(QWidget *w, const char *name) { return named(w, name)->isVisible(); }

// Answers the drop-trace dialog once it is up: picks option `choice` (or none) and presses
// Proceed or Cancel.
void answerDrop(int choice, bool proceed)
{
    QTimer::singleShot(0, [choice, proceed] {
        auto *drop = qobject_cast<EDGEDrop *>(QApplication::activeModalWidget());
        if (!drop)
            return;
        if (choice >= 0)
            click(drop, QStringLiteral("DropSelect%1").arg(choice));
        click(drop, proceed ? "Command1" : "Command2");
    });
}

std::unique_ptr<CtlSGE> showSpectral(Model &m, UserDialog &d)
{
    auto w = std::make_unique<CtlSGE>(nullptr, m, d);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        return nullptr;
    return w;
}

Model spectralModel(float level)
{
    Model m = editorModel(SpectralEq);
    m.currentStage().SpectralGain.fill(level);
    return m;
}
} // namespace

class TestSpectralEditor : public QObject {
    Q_OBJECT
private slots:
    void loadAndPointerReadout();
    void newCurveByClicks();
    void editRegionAfterDrop();
    void editCancelledChangesNothing();
    void abortDuringEdit();
    void normalizeUndoAndSilentSave();
    void singlePointEditAsksBeforeStoring();
    void closeDuringNewStoresNoUndefinedPoints();
    void closeDuringEditAfterEarlierEdit();
    void dropDialog();
    void keyboardEditing_data();
    void keyboardEditing();
};

void TestSpectralEditor::loadAndPointerReadout()
{
    Model m = spectralModel(-12.5f);
    ScriptedDialog d;
    auto w = showSpectral(m, d);
    QVERIFY(w);
    QCOMPARE(textOf(w.get(), "Bandwidth"), QStringLiteral("7727"));
    QCOMPARE(textOf(w.get(), "MarkerXLabel"), QStringLiteral("-----"));
    QCOMPARE(textOf(w.get(), "MarkerYLabel"), QStringLiteral("----"));
    for (const char *b : {"NewButton", "EditButton", "AutoScaleButton", "CancelButton", "OKButton"})
        QVERIFY2(shown(w.get(), b), b);
    QVERIFY(!shown(w.get(), "UndoButton"));
    QVERIFY(!shown(w.get(), "AbortButton"));

    auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
    QTest::mouseMove(plot, G::pixelForPoint(57, 1000));
    QCOMPARE(textOf(w.get(), "MarkerXLabel"), QStringLiteral("3830"));
    QCOMPARE(textOf(w.get(), "MarkerYLabel"), QStringLiteral("-12.5"));
    QVERIFY(plot->cursorLine().has_value());
    QCOMPARE(G::pointIndex(*plot->cursorLine()), 57);
    QTest::mouseMove(plot, QPoint(2, 100)); // left of the plot area: point 0, line at the left edge
    QCOMPARE(textOf(w.get(), "MarkerXLabel"), QStringLiteral("0"));
    QCOMPARE(*plot->cursorLine(), 500);
    QTest::mouseMove(w.get(), named(w.get(), "OKButton")->geometry().center());
    QVERIFY(!plot->cursorLine().has_value());
    w->reject();
    QVERIFY(d.messages.empty());

    Model slow = spectralModel(0.0f);
    slow.stage(3, 1).Bandwidth = 0;
    auto w9 = showSpectral(slow, d);
    QCOMPARE(textOf(w9.get(), "Bandwidth"), QStringLiteral("4043"));
    w9->reject();
}

void TestSpectralEditor::newCurveByClicks()
{
    Model m = spectralModel(-30.0f);
    ScriptedDialog d;
    auto w = showSpectral(m, d);
    QVERIFY(w);
    auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
    click(w.get(), "NewButton");
    QVERIFY(shown(w.get(), "AbortButton"));
    for (const char *b : {"NewButton", "EditButton", "AutoScaleButton", "UndoButton", "CancelButton", "OKButton"})
        QVERIFY2(!shown(w.get(), b), b);
    QTest::mouseMove(plot, G::pixelForPoint(40, 1280));
    QCOMPARE(textOf(w.get(), "MarkerXLabel"), QStringLiteral("0")); // the first click sets point 0
    QCOMPARE(textOf(w.get(), "MarkerYLabel"), QStringLiteral("-20.0"));

    // Point 0 at 0 dB with a real click above the plot, then points 20 and 114.
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(60, 3));
    QCOMPARE(w->trace().trace()[0], 0.0f);
    clickPoint(plot, 20, -20.0f);
    QVERIFY(w->trace().editActive());
    clickPoint(plot, 114, -10.0f);
    QVERIFY(!w->trace().editActive());
    const TraceValues &t = w->trace().trace();
    for (int i = 1; i < 20; ++i)
        QCOMPARE(t[i], float(i) * -20.0f / 20.0f);
    QCOMPARE(t[20], -20.0f);
    for (int i = 21; i < 114; ++i)
        QCOMPARE(t[i], -20.0f + float(i - 20) * 10.0f / 94.0f);
    QCOMPARE(t[114], -10.0f);
    QCOMPARE(textOf(w.get(), "MarkerXLabel"), QStringLiteral("7659"));
    QCOMPARE(textOf(w.get(), "MarkerYLabel"), QStringLiteral("-10.0"));
    for (const char *b : {"NewButton", "EditButton", "AutoScaleButton", "UndoButton", "CancelButton", "OKButton"})
        QVERIFY2(shown(w.get(), b), b);
    QVERIFY(!shown(w.get(), "AbortButton"));

    d.answers.push_back(MessageAnswer::Ok);
    click(w.get(), "CancelButton");
    QCOMPARE(d.messages.size(), std::size_t(1));
    QCOMPARE(d.messages[0].title, QStringLiteral("Do you want to save your changes ?"));
    for (int k = 0; k < kTracePoints; ++k)
        QCOMPARE(m.currentStage().SpectralGain[k], t[k]);
}

void TestSpectralEditor::editRegionAfterDrop()
{
    Model m = spectralModel(-35.0f);
    m.currentStage().SpectralGain[90] = -4.0f;
    ScriptedDialog d;
    auto w = showSpectral(m, d);
    QVERIFY(w);
    auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
    answerDrop(2, true); // 10dB
    click(w.get(), "EditButton");
    QVERIFY(w->trace().definingEdges());
    QVERIFY(shown(w.get(), "AbortButton"));
    QCOMPARE(w->trace().trace()[90], -14.0f);
    QCOMPARE(w->trace().trace()[0], -40.0f); // floored

    clickPoint(plot, 30, -1.0f);
    clickPoint(plot, 60, -1.0f);
    QCOMPARE(w->trace().editLeft(), 30);
    QCOMPARE(w->trace().editRight(), 60);
    clickPoint(plot, 45, -20.0f);
    clickPoint(plot, 60, -30.0f);
    QVERIFY(!w->trace().editActive());
    const TraceValues &t = w->trace().trace();
    for (int k = 31; k < 45; ++k)
        QCOMPARE(t[k], -40.0f + float(k - 30) * 20.0f / 15.0f);
    for (int k = 46; k < 60; ++k)
        QCOMPARE(t[k], -20.0f + float(k - 45) * -10.0f / 15.0f);
    for (int k : {0, 30, 61, 89, 114})
        QCOMPARE(t[k], -40.0f);
    QCOMPARE(t[90], -14.0f);

    click(w.get(), "OKButton");
    QVERIFY(d.messages.empty());
    QCOMPARE(m.currentStage().SpectralGain[45], -20.0f);
    QCOMPARE(m.currentStage().SpectralGain[90], -14.0f);
}

void TestSpectralEditor::editCancelledChangesNothing()
{
    Model m = spectralModel(-6.0f);
    ScriptedDialog d;
    auto w = showSpectral(m, d);
    QVERIFY(w);
    answerDrop(7, false);
    click(w.get(), "EditButton");
    QVERIFY(!w->trace().editActive());
    QVERIFY(shown(w.get(), "NewButton"));
    QVERIFY(!shown(w.get(), "AbortButton"));
    QCOMPARE(w->trace().trace()[3], -6.0f);
    w->reject();
    QVERIFY(d.messages.empty());
}

void TestSpectralEditor::abortDuringEdit()
{
    Model m = spectralModel(-6.0f);
    ScriptedDialog d;
    auto w = showSpectral(m, d);
    QVERIFY(w);
    auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
    answerDrop(4, true);
    click(w.get(), "EditButton");
    QCOMPARE(w->trace().trace()[3], -26.0f);
    clickPoint(plot, 10, 0.0f);
    clickPoint(plot, 20, 0.0f);
    clickPoint(plot, 15, 0.0f);
    click(w.get(), "AbortButton");
    QCOMPARE(w->trace().trace(), m.currentStage().SpectralGain);
    for (const char *b : {"NewButton", "EditButton", "AutoScaleButton", "UndoButton", "CancelButton", "OKButton"})
        QVERIFY2(shown(w.get(), b), b);
    QVERIFY(!shown(w.get(), "AbortButton"));
    // Releases while idle do nothing.
    clickPoint(plot, 50, -40.0f);
    QCOMPARE(w->trace().trace()[50], -6.0f);
    w->reject();
    QVERIFY(d.messages.empty());
}

void TestSpectralEditor::normalizeUndoAndSilentSave()
{
    Model m = spectralModel(-20.0f);
    m.currentStage().SpectralGain[12] = -6.0f;
    const TraceValues stored = m.currentStage().SpectralGain;
    ScriptedDialog d;
    d.answers = {MessageAnswer::Cancel};
    auto w = showSpectral(m, d);
    QVERIFY(w);
    click(w.get(), "AutoScaleButton");
    QCOMPARE(w->trace().trace()[12], 0.0f);
    QCOMPARE(w->trace().trace()[0], -14.0f);
    // Normalize is undone like the drawing operations.
    QVERIFY(shown(w.get(), "UndoButton"));
    // Cancel asks, since the curve differs from the stored one; Cancel in the question keeps it.
    click(w.get(), "CancelButton");
    QCOMPARE(d.titles(), QStringList{kSaveQuestionTitle});
    QCOMPARE(m.currentStage().SpectralGain, stored);

    // Normalize then Undo: back to the stored curve, so Cancel closes without a question.
    d.clear();
    auto w1 = showSpectral(m, d);
    click(w1.get(), "AutoScaleButton");
    click(w1.get(), "UndoButton");
    QCOMPARE(w1->trace().trace(), stored);
    click(w1.get(), "CancelButton");
    QVERIFY(d.messages.empty());
    QCOMPARE(m.currentStage().SpectralGain, stored);

    // Undo after a completed New and a Normalize brings back the drawn curve.
    Model n = spectralModel(-20.0f);
    auto w2 = showSpectral(n, d);
    auto *plot = named<SpectralPlot>(w2.get(), "FilterDisplay");
    click(w2.get(), "NewButton");
    clickPoint(plot, 0, -8.0f);
    clickPoint(plot, 114, -8.0f);
    click(w2.get(), "AutoScaleButton");
    QCOMPARE(w2->trace().trace()[50], 0.0f);
    click(w2.get(), "UndoButton");
    QCOMPARE(w2->trace().trace()[50], -8.0f);
    QVERIFY(shown(w2.get(), "UndoButton"));
    click(w2.get(), "UndoButton"); // the copy before Normalize again
    QCOMPARE(w2->trace().trace()[50], -8.0f);
    d.answers = {MessageAnswer::Cancel};
    w2->reject();
    QCOMPARE(n.currentStage().SpectralGain, spectralModel(-20.0f).currentStage().SpectralGain);
}

void TestSpectralEditor::singlePointEditAsksBeforeStoring()
{
    // A region of one point is complete with its one click: nothing is interpolated, yet the
    // curve has dropped by 10 dB and changed at that point.
    for (MessageAnswer answer : {MessageAnswer::Cancel, MessageAnswer::Ok}) {
        Model m = spectralModel(-9.0f);
        const TraceValues stored = m.currentStage().SpectralGain;
        ScriptedDialog d;
        d.answers = {answer};
        auto w = showSpectral(m, d);
        QVERIFY(w);
        auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
        answerDrop(2, true);
        click(w.get(), "EditButton");
        clickPoint(plot, 30, 0.0f);
        clickPoint(plot, 30, 0.0f);
        clickPoint(plot, 31, -30.0f);
        QVERIFY(!w->trace().editActive());
        QCOMPARE(w->trace().trace()[0], -19.0f);
        QTest::keyClick(w.get(), Qt::Key_Escape);
        QVERIFY(!w->isVisible());
        QCOMPARE(d.titles(), QStringList{kSaveQuestionTitle});
        if (answer == MessageAnswer::Cancel) {
            QCOMPARE(m.currentStage().SpectralGain, stored);
        } else {
            QCOMPARE(m.currentStage().SpectralGain[0], -19.0f);
            QCOMPARE(m.currentStage().SpectralGain[31], -30.0f);
        }
    }
}

void TestSpectralEditor::closeDuringNewStoresNoUndefinedPoints()
{
    for (const char *how : {"box", "esc"}) {
        Model m = spectralModel(-9.0f);
        const TraceValues before = m.currentStage().SpectralGain;
        ScriptedDialog d;
        auto w = showSpectral(m, d);
        QVERIFY(w);
        auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
        click(w.get(), "NewButton");
        clickPoint(plot, 0, -1.0f);
        clickPoint(plot, 20, -2.0f);
        if (QByteArray(how) == "esc") {
            // Esc while drawing is Abort: the window stays, the curve comes back.
            QTest::keyClick(w.get(), Qt::Key_Escape);
            QVERIFY(w->isVisible());
            QVERIFY(!w->trace().editActive());
            QVERIFY(!shown(w.get(), "AbortButton"));
            QVERIFY(shown(w.get(), "CancelButton"));
            QCOMPARE(w->trace().trace(), before);
            QTest::keyClick(w.get(), Qt::Key_Escape); // now Cancel
        } else {
            QVERIFY(w->close());
        }
        QVERIFY(!w->isVisible());
        QVERIFY(d.messages.empty());
        QCOMPARE(m.currentStage().SpectralGain, before);
    }
}

void TestSpectralEditor::closeDuringEditAfterEarlierEdit()
{
    Model m = spectralModel(-9.0f);
    ScriptedDialog d;
    d.answers.push_back(MessageAnswer::Ok);
    auto w = showSpectral(m, d);
    QVERIFY(w);
    auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
    click(w.get(), "NewButton");
    clickPoint(plot, 0, -3.0f);
    clickPoint(plot, 114, -13.0f);
    const TraceValues drawn = w->trace().trace();
    answerDrop(1, true);
    click(w.get(), "EditButton");
    clickPoint(plot, 40, 0.0f);
    clickPoint(plot, 80, 0.0f);
    clickPoint(plot, 50, -40.0f);
    QVERIFY(w->close());
    QCOMPARE(d.messages.size(), std::size_t(1)); // the completed New changed the curve
    QCOMPARE(m.currentStage().SpectralGain, drawn);
    for (float v : m.currentStage().SpectralGain)
        QVERIFY(v <= 0.0f && v >= -40.0f);
}

void TestSpectralEditor::dropDialog()
{
    struct Case {
        QList<int> picks;
        bool proceed;
        float db;
    };
    const Case cases[] = {{{}, true, 0.0f}, {{7}, true, 35.0f}, {{7, 0}, true, 0.0f}, {{3}, false, 15.0f}};
    for (const Case &c : cases) {
        EDGEDrop drop;
        QCOMPARE(drop.windowTitle(), QStringLiteral("Spectral Graphic Edit"));
        drop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&drop));
        QVERIFY(named<QAbstractButton>(&drop, "DropSelect0")->isChecked());
        for (int i : c.picks)
            click(&drop, QStringLiteral("DropSelect%1").arg(i));
        click(&drop, c.proceed ? "Command1" : "Command2");
        QVERIFY(!drop.isVisible());
        QCOMPARE(drop.dropProceed(), c.proceed);
        if (c.proceed)
            QCOMPARE(drop.dropDb(), c.db);
    }
    EDGEDrop boxed;
    boxed.show();
    QVERIFY(QTest::qWaitForWindowExposed(&boxed));
    click(&boxed, "DropSelect5");
    QVERIFY(boxed.close());
    QVERIFY(!boxed.dropProceed());
}

namespace {
// Presses keys on the focused window, as a keyboard does (so mnemonics and the dialogs' own keys
// work). Words: a key name with optional "S+" (Shift), "C+" (Ctrl) or "A+" (Alt) and "*n" to
// repeat; "type:TEXT" types TEXT.
void pressKeys(const QString &script)
{
    static const QHash<QString, Qt::Key> keys{
        {"Left", Qt::Key_Left},   {"Right", Qt::Key_Right},   {"Up", Qt::Key_Up},
        {"Down", Qt::Key_Down},   {"Home", Qt::Key_Home},     {"End", Qt::Key_End},
        {"PgUp", Qt::Key_PageUp}, {"PgDn", Qt::Key_PageDown}, {"Return", Qt::Key_Return},
        {"Esc", Qt::Key_Escape},  {"N", Qt::Key_N},           {"E", Qt::Key_E},
        {"U", Qt::Key_U}};
    for (QString word : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        // Back from a dialog: without a window manager nobody activates the window below.
        if (QWidget *modal = QApplication::activeModalWidget(); modal && !QGuiApplication::focusWindow())
            modal->activateWindow();
        QTRY_VERIFY(QGuiApplication::focusWindow());
        if (word.startsWith(QLatin1String("type:"))) {
            for (QChar c : word.mid(5))
                QTest::keyClick(QGuiApplication::focusWindow(), c.toLatin1());
            continue;
        }
        Qt::KeyboardModifiers mods;
        for (const auto &[prefix, mod] : {std::pair{"S+", Qt::ShiftModifier}, std::pair{"C+", Qt::ControlModifier},
                                          std::pair{"A+", Qt::AltModifier}})
            if (word.startsWith(QLatin1String(prefix))) {
                mods |= mod;
                word = word.mid(2);
            }
        const QStringList parts = word.split(QLatin1Char('*'));
        QVERIFY2(keys.contains(parts[0]), qPrintable(word));
        // A mnemonic clicks its button a moment later: wait for that click.
        QAbstractButton *mnemonicOf = nullptr;
        QVERIFY(QApplication::focusWidget());
        for (auto *b : QApplication::focusWidget()->window()->findChildren<QAbstractButton *>())
            if (b->isVisible() && b->shortcut() == QKeySequence(keys[parts[0]] | mods))
                mnemonicOf = b;
        for (int i = 0, n = parts.size() > 1 ? parts[1].toInt() : 1; i < n; ++i)
            QTest::keyClick(QGuiApplication::focusWindow(), keys[parts[0]], mods);
        if (mnemonicOf)
            QTRY_VERIFY(!mnemonicOf->isDown());
    }
}
} // namespace

// The curve edited with keys alone on a flat -20 dB curve: the cursor and selection, typed and
// nudged gains, New and Edit drawn point by point (the drop dialog answered by keys), and the
// editor's Undo bringing back the curve each time.
void TestSpectralEditor::keyboardEditing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("dropKeys"); // for the drop dialog, when Edit opens it
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("first"); // selection
    QTest::addColumn<int>("last");
    QTest::addColumn<QList<QPointF>>("points"); // (point, dB) after the keys
    QTest::addColumn<int>("beeps");             // keys refused
    using P = QPointF;
    QTest::newRow("moves") << "Right*5 C+Right Left"
                           << "" << 14 << 14 << 14 << QList<P>{{14, -20}} << 0;
    QTest::newRow("ends") << "End Left*2 Right*9 Home Left"
                          << "" << 0 << 0 << 0 << QList<P>{{0, -20}} << 0;
    QTest::newRow("typed range") << "Right*10 S+Right*5 Return type:-12.5 Return"
                                 << "" << 15 << 10 << 15 << QList<P>{{9, -20}, {10, -12.5}, {15, -12.5}, {16, -20}}
                                 << 0;
    QTest::newRow("typed by digit") << "Right type:-7 Return"
                                    << "" << 1 << 1 << 1 << QList<P>{{0, -20}, {1, -7}} << 0;
    QTest::newRow("out of range typed") << "Return type:5 Return Esc"
                                        << "" << 0 << 0 << 0 << QList<P>{{0, -20}} << 1;
    QTest::newRow("nudged backwards range")
        << "End S+Left*3 Up*3"
        << "" << 111 << 111 << 114 << QList<P>{{110, -20}, {111, -17}, {114, -17}} << 0;
    QTest::newRow("nudge held at floor") << "PgDn*5"
                                         << "" << 0 << 0 << 0 << QList<P>{{0, -40}, {1, -20}} << 1;
    QTest::newRow("new by keys") << "A+N PgUp*4 Return End Down*10 Return"
                                 << "" << 114 << 114 << 114 << QList<P>{{0, 0}, {57, -5}, {114, -10}} << 0;
    QTest::newRow("edit by keys") << "A+E Right*30 Return Right*10 Return Up*10 Return"
                                  << "Down Down Return" << 41 << 41 << 41
                                  << QList<P>{{0, -30}, {30, -30}, {36, -30 + 6 * 10 / 11.0}, {41, -20}, {42, -30}}
                                  << 0;
}

void TestSpectralEditor::keyboardEditing()
{
    QFETCH(QString, keys);
    QFETCH(QString, dropKeys);
    Model m = spectralModel(-20.0f);
    const TraceValues stored = m.currentStage().SpectralGain;
    ScriptedDialog d;
    auto w = showSpectral(m, d);
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    auto *plot = named<SpectralPlot>(w.get(), "FilterDisplay");
    plot->setFocus();
    // The drop dialog is answered by keys once it is up.
    QString dropFocus;
    QTimer waitForDrop;
    connect(&waitForDrop, &QTimer::timeout, [&] {
        auto *drop = qobject_cast<EDGEDrop *>(QApplication::activeModalWidget());
        if (!drop || QApplication::activeWindow() != drop)
            return;
        waitForDrop.stop();
        dropFocus = QApplication::focusWidget()->objectName();
        pressKeys(dropKeys);
    });
    if (!dropKeys.isEmpty())
        waitForDrop.start(10);
    pressKeys(keys);
    QCOMPARE(dropFocus, dropKeys.isEmpty() ? QString() : QStringLiteral("DropSelect0"));

    const SpectralTrace &t = w->trace();
    QVERIFY(!t.editActive());
    QFETCH(int, cursor);
    QFETCH(int, first);
    QFETCH(int, last);
    QCOMPARE(t.cursor(), cursor);
    QCOMPARE(t.selection(), std::make_pair(first, last));
    QFETCH(QList<QPointF>, points);
    QFETCH(int, beeps);
    for (const QPointF &p : points)
        QVERIFY2(qAbs(t.trace()[std::size_t(p.x())] - float(p.y())) < 1e-4f, qPrintable(QString::number(p.x())));
    // The readout and assistive technology follow the cursor.
    const QString hz = QString::number(qRound(cursor * 17200.0 / 256.0));
    QCOMPARE(textOf(w.get(), "MarkerXLabel"), hz);
    QAccessibleInterface *a11y = QAccessible::queryAccessibleInterface(plot);
    QVERIFY(a11y && a11y->valueInterface());
    QCOMPARE(a11y->text(QAccessible::Name), QStringLiteral("Gain curve"));
    QVERIFY2(a11y->text(QAccessible::Value).startsWith(hz + QStringLiteral(" Hz, ")),
             qPrintable(a11y->text(QAccessible::Value)));

    // A changed curve asks on Cancel like a drawn one; the editor's Undo brings back the stored one.
    const bool changed = t.trace() != stored;
    QCOMPARE(w->hasUnsavedChanges(), changed);
    plot->setFocus();
    pressKeys(QStringLiteral("A+U"));
    QCOMPARE(t.trace(), stored);
    QVERIFY(!w->hasUnsavedChanges());
    QCOMPARE(d.beeps, beeps);
    w->reject();
}

QTEST_MAIN(TestSpectralEditor)
#include "test_spectraleditor.moc"
