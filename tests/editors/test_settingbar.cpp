// Our scroll bar under real mouse and keyboard input, reversed and normal.

#include "editortesting.h"

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
    void keysFollowTheArrows();
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

void TestSettingBar::keysFollowTheArrows()
{
    // Unlike QScrollBar's default, Right always moves the way the right arrow does.
    auto b = shownBar(Qt::Horizontal, 509, 5, 1, 10, 286);
    QVERIFY(b);
    b->setFocus();
    QTest::keyClick(b.get(), Qt::Key_Right);
    QCOMPARE(b->value(), 285);
    QTest::keyClick(b.get(), Qt::Key_Left);
    QTest::keyClick(b.get(), Qt::Key_Up);
    QCOMPARE(b->value(), 287);
    QTest::keyClick(b.get(), Qt::Key_PageDown);
    QCOMPARE(b->value(), 277);
    QTest::keyClick(b.get(), Qt::Key_PageUp);
    QCOMPARE(b->value(), 287);
    QTest::keyClick(b.get(), Qt::Key_End);
    QCOMPARE(b->value(), 5);
    QTest::keyClick(b.get(), Qt::Key_Home);
    QCOMPARE(b->value(), 509);

    auto v = shownBar(Qt::Vertical, 0, 40, 1, 5, 10);
    QVERIFY(v);
    v->setFocus();
    QTest::keyClick(v.get(), Qt::Key_Down);
    QCOMPARE(v->value(), 11);
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

QTEST_MAIN(TestSettingBar)
#include "test_settingbar.moc"
