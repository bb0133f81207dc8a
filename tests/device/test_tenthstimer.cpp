#include "datatable.h"
#include "device/tenthstimer.h"
#include "manualclock.h"
#include "scripteddialog.h"

#include <QElapsedTimer>
#include <QTest>

#include <ctime>
#include <stdexcept>

using namespace korvane;
using korvane::test::ManualClock;
using korvane::test::ProgramEnded;
using korvane::test::ScriptedDialog;

class TestTenthsTimer : public QObject {
    Q_OBJECT

    // Pumps events on the current clock (a ManualClock in these tests) for ms of its time.
    static void pumpFor(int ms)
    {
        Clock &clock = CurrentClock();
        const qint64 until = clock.nowMs() + ms;
        while (clock.nowMs() < until)
            clock.pumpEvents(until);
    }

private slots:
    void zeroExpiresAtOnceAndStopEndsAWait()
    {
        TenthsTimer t;
        t.StartTimeout(0);
        QVERIFY(t.CheckTimeout());
        t.StopTimeout();
        t.StartTimeout(100);
        QVERIFY(!t.CheckTimeout());
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(100));
        t.StopTimeout();
        QVERIFY(t.CheckTimeout());
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(0));
    }

    void countdownStopsAtZeroAndMayBeRestarted()
    {
        ManualClock clock;
        TenthsTimer t;
        t.StartTimeout(3);
        pumpFor(299);
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(1));
        pumpFor(251);
        QVERIFY(t.CheckTimeout());
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(0));
        t.StartTimeout(2); // from Expired: legal
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(2));
        t.StopTimeout();
    }

    // n tenths of pumping are n ticks: the waits end at n x 100 ms, no sooner and no later.
    void pumpedWaitsEndAfterTheirTicks()
    {
        ManualClock clock;
        TenthsTimer t;
        t.DoNothing(30);
        QCOMPARE(clock.nowMs(), qint64(3000));
        QVERIFY(t.CheckTimeout());
        t.Wait(4);
        QCOMPARE(clock.nowMs(), qint64(3400));
        t.DoNothing(0);
        t.Wait(0);
        QCOMPARE(clock.nowMs(), qint64(3400));
    }

    void misuseIsFatal_data()
    {
        test::addColumns<bool, int, int, QString>("waitSide", "first", "second", "text");
        QTest::newRow("negative timeout")
            << false << -1 << -1 << "frmTenthsTimer.StartTimeout: tenthsofSecond must be positive!";
        QTest::newRow("re-entered timeout")
            << false << 30 << 10 << "frmTenthsTimer.StartTimeout: StartTimeout re-entered, Fatal Error!";
        QTest::newRow("negative wait") << true << -5 << -5
                                       << "frmTenthsTimer.StartWait: tenthsofSecond must be positive!";
        QTest::newRow("re-entered wait") << true << 30 << 10
                                         << "frmTenthsTimer.StartWait: StartWait re-entered, Fatal Error!";
    }
    void misuseIsFatal()
    {
        QFETCH(bool, waitSide);
        QFETCH(int, first);
        QFETCH(int, second);
        QFETCH(QString, text);
        ScriptedDialog dialog;
        frmTenthsTimer w(&dialog);
        auto start = [&](int n) { waitSide ? w.StartWait(n) : w.StartTimeout(n); };
        bool ended = false;
        try {
            start(first);
            start(second);
        } catch (const ProgramEnded &) {
            ended = true;
        }
        QVERIFY(ended);
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, QStringLiteral("Error"));
        QCOMPARE(dialog.messages[0].text, text);
        QCOMPARE(dialog.messages[0].icon, MessageIcon::Critical);
        QCOMPARE(dialog.events.back(), ScriptedDialog::Event::EndProgram);
    }

    void fatalReportsUseTheProcessDialogByDefault()
    {
        ScriptedDialog dialog;
        SetTimerFatalDialog(&dialog);
        TenthsTimer t;
        QVERIFY_THROWS_EXCEPTION(ProgramEnded, t.StartTimeout(-1));
        SetTimerFatalDialog(nullptr);
        QCOMPARE(dialog.titles(), QStringList{"Error"});
    }

    void valuesBeyondSixteenBitsOverflow()
    {
        TenthsTimer t;
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, t.StartTimeout(32768));
        QVERIFY(t.CheckTimeout());
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, t.Pause(21474837));
    }

    void twoTimersCountIndependently()
    {
        ManualClock clock;
        TenthsTimer a;
        TenthsTimer b;
        a.StartTimeout(2);
        b.StartTimeout(8);
        pumpFor(450);
        QVERIFY(a.CheckTimeout());
        QCOMPARE(b.CurrentTimeoutValue(), int16_t(4));
        b.StopTimeout();
        QVERIFY(b.CheckTimeout());
    }

    // A blocked thread handles no tick; afterwards the overdue tick counts once and the next
    // period starts from then: the countdown does not catch up with the time spent blocked.
    void pauseBlocksWithoutTicks()
    {
        ManualClock clock;
        TenthsTimer ticking;
        TenthsTimer pausing;
        ticking.StartTimeout(20);
        pumpFor(250);
        QCOMPARE(ticking.CurrentTimeoutValue(), int16_t(18));
        pausing.Pause(5);
        QCOMPARE(clock.nowMs(), qint64(750));
        QCOMPARE(ticking.CurrentTimeoutValue(), int16_t(18));
        clock.pumpEvents(clock.nowMs());
        QCOMPARE(ticking.CurrentTimeoutValue(), int16_t(17));
        pumpFor(99);
        QCOMPARE(ticking.CurrentTimeoutValue(), int16_t(17));
        pumpFor(1);
        QCOMPARE(ticking.CurrentTimeoutValue(), int16_t(16));
        ticking.StopTimeout();
    }

    // On the real clock the pumped waits last their time and sleep in the event loop between
    // ticks instead of polling in a loop.
    void pumpedWaitsLastTheirTimeWithoutSpinning()
    {
        TenthsTimer t;
        QElapsedTimer clock;
        const std::clock_t cpu0 = std::clock();
        clock.start();
        t.DoNothing(4);
        const qint64 afterDoNothing = clock.elapsed();
        t.Wait(3);
        const qint64 total = clock.elapsed();
        const double cpuMs = 1000.0 * double(std::clock() - cpu0) / CLOCKS_PER_SEC;
        QVERIFY2(afterDoNothing >= 390, qPrintable(QString::number(afterDoNothing)));
        QVERIFY2(total - afterDoNothing >= 290, qPrintable(QString::number(total - afterDoNothing)));
        QVERIFY2(cpuMs < 0.25 * double(total), qPrintable(QStringLiteral("cpu %1 ms of %2 ms").arg(cpuMs).arg(total)));
        QVERIFY(t.CheckTimeout());
    }
};

QTEST_GUILESS_MAIN(TestTenthsTimer)
#include "test_tenthstimer.moc"
