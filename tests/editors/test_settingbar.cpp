// Our scroll bar under real mouse and keyboard input, reversed and normal.

#include "datatable.h"
#include "editortesting.h"
#include "scripteddialog.h"

#include <QAccessible>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>

using namespace korvane;
using namespace korvane::test;

class TestSettingBar : public QObject {
    Q_OBJECT
private slots:
    void reversedBarMovesTowardsMaxOnTheRight();
    void normalBarAndVerticalBar();
    void keysRaiseWhatTheLabelShows_data();
    void keysRaiseWhatTheLabelShows();
    void screenReaderHearsTheLabel_data();
    void screenReaderHearsTheLabel();
    void dragScrollsThenChangesOnce();
    void endsAndProgramChanges();
    void focusedBarIsMarked();
};

namespace {
std::unique_ptr<SettingBar> shownBar(Qt::Orientation o, int minimum, int maximum, int small, int large, int value)
{
    auto b = std::make_unique<SettingBar>(o);
    b->setRange(minimum, maximum);
    b->setSteps(small, large);
    b->setValue(value);
    if (o == Qt::Horizontal)
        b->resize(300, b->sizeHint().height());
    else
        b->resize(b->sizeHint().width(), 240);
    b->show();
    if (!QTest::qWaitForWindowExposed(b.get()))
        return nullptr;
    return b;
}
} // namespace

void TestSettingBar::reversedBarMovesTowardsMaxOnTheRight()
{
    auto b = shownBar(Qt::Horizontal, 125, 3, 1, 8, 64);
    QVERIFY(b);
    QSignalSpy changed(b.get(), &SettingBar::changed);
    clickTowardsMax(b.get());
    QCOMPARE(b->value(), 63);
    clickTowardsMin(b.get(), 2);
    QCOMPARE(b->value(), 65);
    clickTroughTowardsMax(b.get());
    QCOMPARE(b->value(), 57);
    clickTroughTowardsMin(b.get());
    QCOMPARE(b->value(), 65);
    QCOMPARE(changed.count(), 5);
    QCOMPARE(changed.last().at(0).toInt(), 65);
    // The thumb sits where the value puts it: nearer the left end for a high setting.
    b->setValue(120);
    const int highX = b->thumbRect().x();
    b->setValue(10);
    QVERIFY(b->thumbRect().x() > highX);
}

void TestSettingBar::normalBarAndVerticalBar()
{
    auto h = shownBar(Qt::Horizontal, 100, 7000, 1, 50, 2500);
    QVERIFY(h);
    clickTowardsMax(h.get());
    QCOMPARE(h->value(), 2501);
    clickTroughTowardsMin(h.get());
    QCOMPARE(h->value(), 2451);

    auto v = shownBar(Qt::Vertical, 0, 40, 1, 5, 10);
    QVERIFY(v);
    clickTowardsMax(v.get()); // the bottom arrow
    QCOMPARE(v->value(), 11);
    clickTroughTowardsMax(v.get());
    QCOMPARE(v->value(), 16);
    clickTowardsMin(v.get(), 20);
    QCOMPARE(v->value(), 0);
}

void TestSettingBar::keysRaiseWhatTheLabelShows_data()
{
    // Right/Up raise the figure, whichever way the stored setting runs: on a horizontal bar
    // towards its right end (here a reversed one, 509 at the left), on a vertical one towards
    // its top (the equalizer's 0 dB cut, Minimum). Small step 1, large 10 and 5.
    test::addColumns<Qt::Orientation, int, int>("orientation", "key", "expected");
    const struct {
        const char *name;
        int key, horizontal, vertical;
    } rows[] = {{"Right", Qt::Key_Right, 285, 9},   {"Up", Qt::Key_Up, 285, 9},
                {"Left", Qt::Key_Left, 287, 11},    {"Down", Qt::Key_Down, 287, 11},
                {"PageUp", Qt::Key_PageUp, 276, 5}, {"PageDown", Qt::Key_PageDown, 296, 15},
                {"End", Qt::Key_End, 5, 0},         {"Home", Qt::Key_Home, 509, 40}};
    for (const auto &r : rows) {
        QTest::addRow("horizontal %s", r.name) << Qt::Horizontal << r.key << r.horizontal;
        QTest::addRow("vertical %s", r.name) << Qt::Vertical << r.key << r.vertical;
    }
}

void TestSettingBar::keysRaiseWhatTheLabelShows()
{
    QFETCH(Qt::Orientation, orientation);
    QFETCH(int, key);
    QFETCH(int, expected);
    const bool h = orientation == Qt::Horizontal;
    auto b = h ? shownBar(orientation, 509, 5, 1, 10, 286) : shownBar(orientation, 0, 40, 1, 5, 10);
    QVERIFY(b);
    QCOMPARE(b->focusPolicy(), Qt::StrongFocus);
    QTest::keyClick(b.get(), Qt::Key(key));
    QCOMPARE(b->value(), expected);
}

void TestSettingBar::dragScrollsThenChangesOnce()
{
    auto b = shownBar(Qt::Horizontal, 125, 3, 1, 8, 125);
    QVERIFY(b);
    QSignalSpy changed(b.get(), &SettingBar::changed);
    QSignalSpy scrolled(b.get(), &SettingBar::scrolled);
    dragThumb(b.get(), 400); // well past the right end
    QVERIFY(scrolled.count() >= 2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(b->value(), 3);
    QCOMPARE(changed.last().at(0).toInt(), 3);
    QVERIFY(!b->isDragging());

    // A drag that ends where it began changes nothing.
    changed.clear();
    const QPoint c = b->thumbRect().center();
    QTest::mousePress(b.get(), Qt::LeftButton, {}, c);
    QTest::mouseMove(b.get(), c - QPoint(60, 0));
    QTest::mouseMove(b.get(), c);
    QTest::mouseRelease(b.get(), Qt::LeftButton, {}, c);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(b->value(), 3);
}

void TestSettingBar::endsAndProgramChanges()
{
    auto b = shownBar(Qt::Horizontal, 125, 3, 1, 8, 4);
    QVERIFY(b);
    QSignalSpy changed(b.get(), &SettingBar::changed);
    clickTowardsMax(b.get(), 3);
    QCOMPARE(b->value(), 3);
    QCOMPARE(changed.count(), 1); // no change event at the end stop
    b->setValue(3);
    QCOMPARE(changed.count(), 1);
    b->setValue(500);
    QCOMPARE(b->value(), 125);
    QCOMPARE(changed.count(), 2);
    b->setRange(100, 90); // a new range clamps the value and reports it
    QCOMPARE(b->value(), 100);
    QCOMPARE(changed.count(), 3);
}

void TestSettingBar::focusedBarIsMarked()
{
    // A window with the bar and something else to hold the focus.
    QWidget window;
    auto *v = new QVBoxLayout(&window);
    auto *other = new QLineEdit(&window);
    auto *b = new SettingBar(Qt::Horizontal, &window);
    b->setRange(0, 100);
    b->setValue(50);
    v->addWidget(other);
    v->addWidget(b);
    window.resize(300, 80);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus(Qt::OtherFocusReason);
    QVERIFY(!b->hasFocus());
    const QImage plain = b->grab().toImage();

    // Focus by a click, as the user most often gives it.
    QTest::mouseClick(b, Qt::LeftButton, {}, b->thumbRect().center());
    QVERIFY(b->hasFocus());
    const QImage marked = b->grab().toImage();
    QCOMPARE(marked.size(), plain.size());
    // The mark runs along the bar's edge, not only around the thumb: count the changed pixels
    // in the left arrow's column, far from the thumb.
    const QColor highlight = b->palette().color(QPalette::Active, QPalette::Highlight);
    int edgeMarked = 0;
    const int dpr = int(marked.devicePixelRatio());
    for (int y = 0; y < marked.height(); ++y)
        if (marked.pixelColor(dpr, y) == highlight && plain.pixelColor(dpr, y) != highlight)
            ++edgeMarked;
    QVERIFY2(edgeMarked >= marked.height() / 2, qPrintable(QString::number(edgeMarked)));
}

void TestSettingBar::screenReaderHearsTheLabel_data()
{
    // format: the value text, %1, %2 the value labels' own text. mover: a bar whose move
    // changes this bar's figure (empty: none). The events that tell a screen reader are
    // dropped on the offscreen platform (no accessibility bridge is active): the whole-program
    // walk (tests/app/a11y_walk.py) hears them on the bus.
    test::addColumns<int, QString, QStringList, int, QString, QString>("type", "bar", "labels", "value", "format",
                                                                       "mover");
    const QStringList cutoff{QStringLiteral("Cutoff")}, slopes{QStringLiteral("Slope1"), QStringLiteral("Slope2")};
    QTest::newRow("lowpass cutoff") << int(Lowpass) << "HScroll1" << cutoff << 3000 << "%1 Hz"
                                    << "";
    QTest::newRow("highpass slope follows the cutoff")
        << int(Highpass) << "HScroll2" << QStringList{"Slope"} << 90 << "%1 dB/Octave"
        << "HScroll1";
    QTest::newRow("comb fundamental, reversed")
        << int(Comb) << "hscrlFundFreq" << QStringList{"lblFreq"} << 286 << "%1 Hz"
        << "";
    QTest::newRow("notch width, reversed") << int(Notch) << "HScroll2" << QStringList{"NWidth"} << 20 << "%1 Hz"
                                           << "";
    QTest::newRow("bandpass lower cutoff out") << int(Bandpass) << "HScroll1" << QStringList{"LoCutoff"} << 0 << "%1"
                                               << "";
    QTest::newRow("bandstop slope, two figures")
        << int(Bandstop) << "HScroll2" << slopes << 50 << "Lower %1 dB/Octave, Upper %2 dB/Octave"
        << "HScroll4";
    QTest::newRow("equalizer band") << int(GraphicEq20) << "GainSlider3" << QStringList{"Gain3"} << 12 << "%1 dB"
                                    << "";
}

void TestSettingBar::screenReaderHearsTheLabel()
{
    QFETCH(int, type);
    QFETCH(QString, bar);
    QFETCH(QStringList, labels);
    QFETCH(int, value);
    QFETCH(QString, format);
    QFETCH(QString, mover);
    Model m = editorModel(FilterType(type));
    ScriptedDialog dialog;
    auto w = showEditor(m, dialog, type);
    QVERIFY(w);
    SettingBar *b = korvane::test::bar(w.get(), bar);
    QVERIFY(b);
    b->setValue(value);

    QAccessibleInterface *a = QAccessible::queryAccessibleInterface(b);
    QVERIFY(a && a->valueInterface());
    QCOMPARE(a->role(), QAccessible::Slider);
    QVERIFY(!a->text(QAccessible::Name).isEmpty());
    QCOMPARE(a->valueInterface()->currentValue().toInt(), value);
    auto heard = [&] {
        QString expected = format;
        for (const QString &label : labels)
            expected = expected.arg(textOf(w.get(), label));
        return expected;
    };
    QCOMPARE(a->text(QAccessible::Value), heard());
    QCOMPARE(a->text(QAccessible::Description), heard());

    if (!mover.isEmpty()) {
        const QString before = a->text(QAccessible::Value);
        korvane::test::bar(w.get(), mover)->setValue(500);
        QVERIFY(a->text(QAccessible::Value) != before);
        QCOMPARE(a->text(QAccessible::Value), heard());
    }
}

QTEST_MAIN(TestSettingBar)
#include "test_settingbar.moc"
