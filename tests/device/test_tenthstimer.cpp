#include "device/tenthstimer.h"
#include "scripteddialog.h"

#include <QElapsedTimer>
#include <QTest>

#include <ctime>
#include <stdexcept>

using namespace korvane;
using korvane::test::ProgramEnded;
using korvane::test::ScriptedDialog;

class TestTenthsTimer : public QObject {
    Q_OBJECT

    static void pumpFor(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
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
        TenthsTimer t;
        t.StartTimeout(3);
        pumpFor(550);
        QVERIFY(t.CheckTimeout());
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(0));
        t.StartTimeout(2); // from Expired: legal
        QCOMPARE(t.CurrentTimeoutValue(), int16_t(2));
        t.StopTimeout();
    }

    void misuseIsFatal_data()
    {
        QTest::addColumn<bool>("waitSide");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::addColumn<QString>("text");
        QTest::newRow("negative timeout") << false << -1 << -1
                                          << "frmTenthsTimer.StartTimeout: tenthsofSecond must be positive!";
        QTest::newRow("re-entered timeout") << false << 30 << 10
                                            << "frmTenthsTimer.StartTimeout: StartTimeout re-entered, Fatal Error!";
        QTest::newRow("negative wait") << true << -5 << -5 << "frmTenthsTimer.StartWait: tenthsofSecond must be positive!";
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
        TenthsTimer a;
        TenthsTimer b;
        a.StartTimeout(2);
        b.StartTimeout(8);
        pumpFor(400);
        QVERIFY(a.CheckTimeout());
        QVERIFY(!b.CheckTimeout());
        QVERIFY(b.CurrentTimeoutValue() >= 3 && b.CurrentTimeoutValue() <= 5);
        b.StopTimeout();
        QVERIFY(b.CheckTimeout());
    }

    void pauseBlocksWithoutTicks()
    {
        TenthsTimer ticking;
        TenthsTimer pausing;
        ticking.StartTimeout(20);
        QElapsedTimer clock;
        clock.start();
        pausing.Pause(5);
        QVERIFY(clock.elapsed() >= 490);
        QCOMPARE(ticking.CurrentTimeoutValue(), int16_t(20));
        ticking.StopTimeout();
    }

    // The pumped waits must sleep in the event loop between ticks, not poll in a loop.
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
