#include "datatable.h"
#include "device/comports.h"
#include "device/comroutines.h"
#include "manualclock.h"
#include "scriptedline.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using korvane::test::ManualClock;
using korvane::test::ScriptedLine;

namespace {

// Replies to one command with the given pieces, delayMs apart; onWrite (if any) sees every write.
void answer(ScriptedLine &line, const QByteArray &command, const QList<QByteArray> &pieces, int delayMs = 20,
            const std::function<void()> &onWrite = {})
{
    line.responder = [command, pieces, delayMs, onWrite](ScriptedLine &l, int, const QByteArray &written) {
        if (onWrite)
            onWrite();
        if (written != command + "\r\n")
            return;
        int due = delayMs;
        for (const auto &p : pieces) {
            l.deliver(p, due);
            due += delayMs;
        }
    };
}

} // namespace

class TestComRoutines : public test::PortResetTest {
    Q_OBJECT

private slots:
    void removeAllAndCleanReply_data()
    {
        test::addColumns<QString, QString, QString, int, QString>("text", "pattern", "left", "removed", "cleaned");
        struct Row {
            const char *name, *text, *pattern, *left;
            int removed;
            const char *cleaned;
        };
        const Row rows[] = {
            {"prompt and line ends", "F V\r\nKorvane-S Rev0105\r\n>", "\r\n", "F VKorvane-S Rev0105>", 2,
             "F VKorvane-S Rev0105"},
            {"lone CR and LF stay", "a\rb\nc", "\r\n", "a\rb\nc", 0, "a\rb\nc"},
            {"not recursive", "\r\r\n\n", "\r\n", "\r\n", 1, "\r\n"},
            {"non-overlapping", "aaaa", "aa", "", 2, "aaaa"},
            {"empty pattern", "abc", "", "abc", 0, "abc"},
        };
        for (const Row &r : rows)
            QTest::newRow(r.name) << QString(r.text) << QString(r.pattern) << QString(r.left) << r.removed
                                  << QString(r.cleaned);
    }
    void removeAllAndCleanReply()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(QString, left);
        QFETCH(int, removed);
        QFETCH(QString, cleaned);
        QString t = text;
        QCOMPARE(RemoveAll(t, pattern), removed);
        QCOMPARE(t, left);
        QString r = text;
        CleanReply(r);
        QCOMPARE(r, cleaned);
    }

    void secondsAdvanceAcrossMidnight()
    {
        QCOMPARE(SecondsAdvanced(100, 103), 3);
        QCOMPARE(SecondsAdvanced(86399, 0), 1);
        QCOMPARE(SecondsAdvanced(86398, 2), 4);
        QCOMPARE(SecondsAdvanced(5, 5), 0);
    }

    // WaitSeconds counts whole seconds of the time of day: it lasts between n - 1 and n
    // seconds, also across midnight, and a cancel request ends it.
    void waitSecondsCountsWholeSecondsOfTheDay_data()
    {
        test::addColumns<qint64, int, qint64>("dayStartMs", "seconds", "lastsMs");
        QTest::newRow("on a second") << qint64(43200000) << 2 << qint64(2000);
        QTest::newRow("late in a second") << qint64(43200900) << 2 << qint64(1100);
        QTest::newRow("across midnight") << qint64(86398700) << 3 << qint64(2300);
        QTest::newRow("zero") << qint64(0) << 0 << qint64(0);
    }
    void waitSecondsCountsWholeSecondsOfTheDay()
    {
        QFETCH(qint64, dayStartMs);
        QFETCH(int, seconds);
        QFETCH(qint64, lastsMs);
        ManualClock clock;
        clock.setDayStartMs(dayStartMs);
        WaitSeconds(seconds);
        // Looked at every 50 ms: the end is seen within one look.
        QVERIFY2(clock.nowMs() >= lastsMs && clock.nowMs() < lastsMs + 50, qPrintable(QString::number(clock.nowMs())));

        const qint64 start = clock.nowMs();
        clock.callAfter(300, nullptr, [] { RequestCancel(); });
        WaitSeconds(5);
        QVERIFY2(clock.nowMs() - start < 400, qPrintable(QString::number(clock.nowMs() - start)));
    }

    void openClampsThePortNumber()
    {
        ScriptedLine line;
        QVERIFY(CloseComPort(line));
        QVERIFY(OpenComPort(line, 0));
        QCOMPARE(line.portNumber(), 1);
        QVERIFY(CloseComPort(line));
        QVERIFY(OpenComPort(line, 12));
        QCOMPARE(line.portNumber(), 9);
        // Already open: a different number is ignored and the port stays as it is.
        QVERIFY(OpenComPort(line, 3));
        QCOMPARE(line.portNumber(), 9);
        QVERIFY(CloseComPort(line));
        line.presentPorts = {2};
        QVERIFY(!OpenComPort(line, 4));
    }

    void replyInPiecesWithSplitLineEnd()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        answer(line, "X", {"ab\r", "\ncd", "XYZ\r", "\n>"});
        QString reply;
        QVERIFY(TransmitCommand(line, "X", reply, "XYZ", 0, 10, 1));
        QCOMPARE(reply, QStringLiteral("abcdXYZ"));
        QCOMPARE(line.writes, QList<QByteArray>{"X\r\n"});
    }

    void firmwareVersionReplies_data()
    {
        test::addColumns<QList<QByteArray>, bool, int, int>("pieces", "ok", "version", "writes");
        QTest::newRow("one piece") << QList<QByteArray>{"Korvane-S Rev0105\r\n>"} << true << 105 << 1;
        QTest::newRow("with echo") << QList<QByteArray>{"F V\r\n", "Korvane-S Rev 2.10 0210\r\n>"} << true << 210 << 1;
        QTest::newRow("split before digits") << QList<QByteArray>{"Korvane-S Rev0", "105\r\n>"} << true << 105 << 1;
        // Judged by content, not by length: 17 characters with three digits are not yet the
        // reply, whose last digit is still on the line.
        QTest::newRow("digits still arriving") << QList<QByteArray>{"Korvane-S Rev 010", "5\r\n>"} << true << 105 << 1;
        QTest::newRow("echo, one piece a byte")
            << QList<QByteArray>{"F", " V\r", "\nK", "orvane-S Rev01", "06", "\r\n>"} << true << 106 << 1;
        QTest::newRow("tail of an earlier reply first")
            << QList<QByteArray>{"\n>", "Korvane-S Rev0105\r\n>"} << true << 105 << 1;
        QTest::newRow("stray line end before the digits")
            << QList<QByteArray>{"Korvane-S Rev\r\n", "0105\r\n>"} << true << 105 << 1;
        QTest::newRow("not digits") << QList<QByteArray>{"Korvane-S Rev v1.05\r\n>"} << false << 0 << 1;
        // A read that comes late holds the digits and the CR that follows them.
        QTest::newRow("digits with their CR")
            << QList<QByteArray>{"Korvane-S Rev", "0105\r", "\n>"} << true << 105 << 1;
        QTest::newRow("line ended without four digits") << QList<QByteArray>{"Korvane-S Rev010\r\r"} << false << 0 << 1;
    }
    void firmwareVersionReplies()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(bool, ok);
        QFETCH(int, version);
        QFETCH(int, writes);
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        answer(line, "F V", pieces);
        int16_t v = -1;
        QCOMPARE(GetFirmwareVersion(line, v), ok);
        QCOMPARE(int(v), version);
        QCOMPARE(line.writes.size(), writes);
    }

    void filterCountReplies_data()
    {
        test::addColumns<QList<QByteArray>, int, int>("pieces", "count", "writes");
        QTest::newRow("sixteen") << QList<QByteArray>{"Filters Loaded: 16\r\n>"} << 16 << 1;
        QTest::newRow("value after settle")
            << QList<QByteArray>{"T S\r\nFilters Loaded:", " 1", "2\r", "\n>"} << 12 << 1;
        QTest::newRow("not a number") << QList<QByteArray>{"Filters Loaded: many\r\n>"} << 7 << 1;
        QTest::newRow("invalid command") << QList<QByteArray>{"INVALID COMMAND\r\n>"} << 7 << 5;
    }
    void filterCountReplies()
    {
        ManualClock clock;
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, count);
        QFETCH(int, writes);
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        answer(line, "T S", pieces);
        int16_t c = 7;
        QVERIFY(GetNumFiltersLoaded(line, c));
        QCOMPARE(int(c), count);
        QCOMPARE(line.countWrites("T S\r\n"), writes);
    }

    // A processor that echoes the command before "INVALID COMMAND" has refused it just the
    // same: each attempt ends the moment the refusal is in, none waits out its 1 s time-out.
    void echoedInvalidCommandEndsEachAttemptAtOnce()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        answer(line, "F P C", {"F P C\r\n", "INVALID COMMAND\r\n>"});
        QString reply;
        QVERIFY(!TransmitCommand(line, "F P C", reply, QStringLiteral("Ready"), 0, 10, 5));
        QCOMPARE(line.countWrites("F P C\r\n"), 5);
        QVERIFY2(clock.nowMs() < 1000, qPrintable(QString::number(clock.nowMs())));
        QVERIFY(reply.contains(QStringLiteral("INVALID COMMAND")));
    }

    // A reply takes only text: the NAK that came in the same read as "Ready" stays on the line
    // for the XMODEM sender. Before the next command, the rest of an earlier reply is drained
    // up to its prompt, and does not count towards the new reply.
    void replyLeavesProtocolBytesAndDrainsLeftovers()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        answer(line, "F P F", {QByteArray("Ready\r\n") + char(0x15)});
        QString reply;
        QVERIFY(TransmitCommand(line, "F P F", reply, QString(), 0, 10, 1));
        QCOMPARE(reply, QStringLiteral("Ready"));
        QCOMPARE(line.readAll(), QByteArray(1, char(0x15)));

        line.unread("Filters Loaded: 3\r\n>");
        answer(line, "T S", {"Filters Loaded: 16\r\n>"});
        int16_t count = 0;
        QVERIFY(GetNumFiltersLoaded(line, count));
        QCOMPARE(int(count), 16);
        QCOMPARE(line.writes.last(), QByteArray("T S\r\n"));
    }

    // attempts 0, timeout 0 and minLength -3 mean 5 attempts of 1 s, complete on any text.
    void argumentsAreNormalised()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        QString reply;
        QVERIFY(!TransmitCommand(line, "Q", reply, QString(), -3, 0, 0));
        QCOMPARE(line.writes.size(), 5);
        QCOMPARE(clock.nowMs(), qint64(5000));

        answer(line, "Q", {"x"});
        line.writes.clear();
        const qint64 start = clock.nowMs();
        QVERIFY(TransmitCommand(line, "Q", reply, QString(), -3, 0, 0));
        QCOMPARE(clock.nowMs() - start, qint64(20)); // no settle: minLength 0 with no expected text
        QCOMPARE(reply, QStringLiteral("x"));
    }

    // What an earlier reply left on the line is not the answer to the next command: a stale
    // version line is drained (up to its prompt, or until the line has been quiet for 100 ms)
    // and the version comes from the reply to this "F V".
    void staleInputBeforeACommandIsDrained_data()
    {
        // stale: 30 ms apart, the first already waiting
        test::addColumns<QList<QByteArray>, qint64>("stale", "writtenAtMs");
        QTest::newRow("with its prompt") << QList<QByteArray>{"Korvane-S Rev0099\r\n>"} << qint64(0);
        QTest::newRow("without a prompt") << QList<QByteArray>{"Korvane-S Rev0099\r\n"} << qint64(100);
        QTest::newRow("still trickling in") << QList<QByteArray>{"Korvane-S Rev00", "99\r", "\n"} << qint64(160);
    }
    void staleInputBeforeACommandIsDrained()
    {
        QFETCH(QList<QByteArray>, stale);
        QFETCH(qint64, writtenAtMs);
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        for (int i = 0; i < stale.size(); ++i)
            line.deliver(stale[i], 30 * i);
        clock.pumpEvents(0);
        QVERIFY(line.bytesWaitingIn() > 0);
        qint64 writtenAt = -1;
        answer(line, "F V", {"Korvane-S Rev0105\r\n>"}, 20, [&] { writtenAt = clock.nowMs(); });
        int16_t version = 0;
        QVERIFY(GetFirmwareVersion(line, version));
        QCOMPARE(int(version), 105);
        QCOMPARE(line.writes.size(), 1);
        QCOMPARE(writtenAt, writtenAtMs);
    }

    // A line that keeps talking without a prompt is drained for at most 1 s; then the command
    // goes out all the same.
    void drainGivesUpOnALineThatKeepsTalking()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        bool talking = true;
        std::function<void()> chatter = [&] {
            if (!talking)
                return;
            line.deliver(".");
            clock.callAfter(50, nullptr, chatter);
        };
        chatter();
        clock.pumpEvents(0);
        qint64 writtenAt = -1;
        answer(line, "F V", {"Korvane-S Rev0105\r\n>"}, 20, [&] {
            talking = false;
            writtenAt = clock.nowMs();
        });
        int16_t version = 0;
        QVERIFY(GetFirmwareVersion(line, version));
        QCOMPARE(int(version), 105);
        QVERIFY2(writtenAt >= 1000 && writtenAt < 1100, qPrintable(QString::number(writtenAt)));
    }

    void portErrorsEndTheCommandAtOnce()
    {
        ScriptedLine line; // never opened
        QString reply;
        QVERIFY(!TransmitCommand(line, "F V", reply, QString(), 0, 10, 5));
        QVERIFY(line.writes.isEmpty());
        QVERIFY(line.hasError());
    }

    void cancelEndsTheWaitAndNothingMoreIsWritten()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        clock.callAfter(150, nullptr, [] { RequestCancel(); });
        int16_t v = 0;
        QVERIFY(!GetFirmwareVersion(line, v));
        QVERIFY(clock.nowMs() < 250);
        QCOMPARE(line.writes.size(), 1);
        QVERIFY(IsCancelRequested());
        QVERIFY(RequestCancel()); // reports the previous state
        QVERIFY(ClearCancelAndClosePort(line));
        QVERIFY(!IsCancelRequested());
        QVERIFY(!line.isOpen());
    }

    void discoveryOrder_data()
    {
        test::addColumns<int, int, QList<int>>("preferred", "device", "probed");
        QTest::newRow("preferred answers") << 3 << 3 << QList<int>{3};
        QTest::newRow("ascending after preferred") << 1 << 4 << QList<int>{1, 2, 3, 4};
        QTest::newRow("wraps to the low ports") << 5 << 2 << QList<int>{5, 1, 2};
        QTest::newRow("nobody") << 9 << 0 << QList<int>{9, 1, 2, 3, 4, 5, 6, 7, 8};
        QTest::newRow("only on COM 9") << 3 << 9 << QList<int>{3, 1, 2, 4, 5, 6, 7, 8, 9};
        QTest::newRow("no preference") << 0 << 6 << QList<int>{1, 2, 3, 4, 5, 6};
    }
    void discoveryOrder()
    {
        QFETCH(int, preferred);
        QFETCH(int, device);
        QFETCH(QList<int>, probed);
        ManualClock clock;
        ScriptedLine line;
        if (device)
            line.presentPorts = {device};
        else
            line.presentPorts = {99};
        answer(line, "F V", {"Korvane-S Rev0105\r\n>"});
        QList<int> shown;
        QCOMPARE(DetermineComPort(line, preferred, [&](int p) { shown << p; }), device);
        QCOMPARE(shown, probed);
        QCOMPARE(line.openedPorts, probed);
        QVERIFY(!line.isOpen());
    }

    void discoveryStopsOnCancel()
    {
        ScriptedLine line;
        QList<int> shown;
        RequestCancel();
        QCOMPARE(DetermineComPort(line, 2, [&](int p) { shown << p; }), 0);
        QVERIFY(shown.isEmpty());
    }

    void comPortNamesComeFromThePortFolder()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath("com2")));
        QVERIFY(QFile::link(dir.filePath("gone"), dir.filePath("com5"))); // dangling: still named
        qputenv("KORVANE_COM_DIR", dir.path().toLocal8Bit());
        const QStringList ports = ListComPorts();
        qunsetenv("KORVANE_COM_DIR");
        QCOMPARE(ports.size(), 9);
        QCOMPARE(ports[1], dir.filePath("com2"));
        QCOMPARE(ports[4], dir.filePath("com5"));
        QCOMPARE(ports[0], QString()); // the folder is the whole list while the variable is set
        QCOMPARE(ports.count(QString()), 7);
    }
};

QTEST_GUILESS_MAIN(TestComRoutines)
#include "test_comroutines.moc"
