// The device link on lines as they are in the field: 9600-baud timing, a processor that
// echoes commands, replies that an adapter hands over in groups, and a machine that wants to
// sleep while the processor is being programmed.

#include "clirun.h"
#include "device/comroutines.h"
#include "device/qtserialline.h"
#include "device/sleepinhibitor.h"
#include "scripteddialog.h"
#include "simprocess.h"
#include "simrig.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

// A private bus with python3-dbusmock's login manager on it, standing in for the system bus.
class MockLogin {
public:
    MockLogin()
    {
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus.waitForStarted() || !bus.waitForReadyRead(5000))
            return;
        address = bus.readLine().trimmed();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromLocal8Bit(address));
        mock.setProcessEnvironment(env);
        mock.start("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", "logind"});
        mock.waitForStarted();
    }
    ~MockLogin()
    {
        for (QProcess *p : {&mock, &bus}) {
            p->terminate();
            if (!p->waitForFinished(3000))
                p->kill();
            p->waitForFinished();
        }
    }
    // The inhibitors the login manager holds, as "what|mode", once it answers at all.
    QStringList inhibitors(const QDBusConnection &c) const
    {
        const QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                                 "org.freedesktop.login1.Manager", "ListInhibitors");
        const QDBusMessage reply = c.call(call, QDBus::Block, 2000);
        QStringList out;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {"no answer"};
        const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            arg.beginStructure();
            arg >> what >> who >> why >> mode >> uid >> pid;
            arg.endStructure();
            out << what + "|" + mode;
        }
        arg.endArray();
        return out;
    }
    bool waitForLogin(const QDBusConnection &c) const
    {
        for (int i = 0; i < 50; ++i) {
            if (inhibitors(c) != QStringList{"no answer"})
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    QProcess bus;
    QProcess mock;
    QByteArray address;
};

} // namespace

class TestRealLine : public QObject {
    Q_OBJECT

private slots:
    // First, before anything here has used D-Bus: where the system bus's socket plainly is not
    // there, no D-Bus thread is started only to learn that (such a thread outlives the run).
    void missingBusStartsNoThread()
    {
        const auto threads = [] { return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
        const qsizetype before = threads();
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/korvane-test-bus");
        const SleepInhibitor lock("a test");
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        QVERIFY(!lock.isHeld());
        QCOMPARE(lock.problem(), QStringLiteral("no system bus"));
        QCOMPARE(threads(), before);
    }

    void cleanup()
    {
        QtSerialLine idle;
        ClearCancelAndClosePort(idle);
    }

    // A probe finds the processor, closes the port and opens it again to ask once more, as
    // the command-line probe does; at 9600 baud the line end of the first reply is still on
    // the wire when the port is opened again. 50 of 50 must succeed, with and without echo.
    void probeOnAPacedLine_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::newRow("plain") << QStringList{"--pace", "9600"};
        QTest::newRow("echo") << QStringList{"--pace", "9600", "--echo"};
        QTest::newRow("echo, adapter groups") << QStringList{"--pace", "9600", "--echo", "--group", "16"};
    }
    void probeOnAPacedLine()
    {
        QFETCH(QStringList, simArgs);
        SimProcess sim(simArgs);
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        QtSerialLine line(sim.devicePath());
        int found = 0;
        for (int i = 0; i < 50; ++i) {
            ClearCancelAndClosePort(line);
            int16_t version = 0;
            if (DetermineComPort(line, 1, {}, true) == 1 && OpenComPort(line, 1) && GetFirmwareVersion(line, version)
                && version == 105)
                ++found;
            CloseComPort(line);
        }
        QCOMPARE(found, 50);
    }

    // The ACK of the EOT and "Finished", and "Ready" and the first NAK, each in one write: the
    // run succeeds, is reset, and the first packet goes out at once (the sim repeats its NAK
    // only after 3 s).
    void repliesInOneWrite()
    {
        QTemporaryDir dir;
        const QString tracePath = dir.filePath("line.trace");
        SimRig rig;
        QVERIFY(rig.startSim(1, {"--gap", "0", "--filters", "3", "--line-trace", tracePath}));
        const QByteArray image = rig.writeFilterImage();
        QVERIFY(rig.sequence().LocateDevice());
        QVERIFY(rig.sequence().ProgramDevice());
        QVERIFY(rig.sim().waitForLogLine("RESET"));
        QCOMPARE(rig.sim().logLines().mid(3),
                 QStringList({"F P F", "XMODEM F P F 224 blocks", "EOT", "T D F", "RESET"}));
        QCOMPARE(rig.sim().image(), image);
        QVERIFY(rig.dialog.messages.empty());
        rig.sim().stop(); // the trace is complete once the sim has ended

        // "Ready" CR LF and the NAK went out in one write; the first packet came back at once.
        QFile trace(tracePath);
        QVERIFY(trace.open(QIODevice::ReadOnly));
        qint64 readyAt = -1, firstPacketAt = -1;
        for (const QByteArray &l : trace.readAll().split('\n')) {
            const QList<QByteArray> f = l.split(' ');
            if (f.size() != 4)
                continue;
            const QByteArray bytes = QByteArray::fromHex(f[3]);
            if (f[0] == "W" && bytes.startsWith("Ready\r\n") && readyAt < 0) {
                QCOMPARE(f[2].toInt(), 8);
                readyAt = f[1].toLongLong();
            } else if (f[0] == "R" && readyAt >= 0 && bytes.startsWith('\x01') && firstPacketAt < 0) {
                firstPacketAt = f[1].toLongLong();
            }
        }
        QVERIFY(readyAt >= 0 && firstPacketAt >= 0);
        QVERIFY2(firstPacketAt - readyAt < 1000000, qPrintable(QString::number(firstPacketAt - readyAt))); // us
    }

    // A whole run at 9600 baud with a processor that echoes and an adapter that groups its
    // bytes, with the login manager asked to hold off sleep for as long as the run lasts.
    void pacedRunWithEchoAndGroups()
    {
        if (!QFile::exists("/usr/bin/python3") || QProcess::execute("/usr/bin/python3", {"-c", "import dbusmock"}) != 0)
            QSKIP("python3-dbusmock missing");
        MockLogin login;
        QVERIFY(!login.address.isEmpty());
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", login.address);
        const QDBusConnection bus = QDBusConnection::systemBus();
        QVERIFY(bus.isConnected());
        QVERIFY(login.waitForLogin(bus));
        QCOMPARE(login.inhibitors(bus), QStringList{});

        SimRig rig;
        rig.model.ResetAllFilterSets();
        rig.model.ComPort = 1;
        QVERIFY(rig.startSim(1, {"--pace", "9600", "--echo", "--group", "16", "--gap", "0", "--filters", "3"}));
        QStringList heldDuringUpload;
        QObject::connect(&rig.sequence(), &ProgrammingSequence::stageChanged, [&](const QString &c) {
            if (c == "Programming Filters")
                heldDuringUpload = login.inhibitors(bus);
        });
        QVERIFY(rig.sequence().run());
        // A plain sleep lock does not stop the login manager from suspending on the lid or a key.
        QCOMPARE(heldDuringUpload,
                 QStringList{"sleep:shutdown:idle:handle-lid-switch:handle-suspend-key:handle-hibernate-key|block"});
        QVERIFY(rig.sim().waitForLogLine("RESET"));
        QCOMPARE(rig.sim().image(), readAll(rig.sequence().imagePath()));
        QCOMPARE(rig.dialog.titles().last(), QStringLiteral("Success"));
        // Released when the run ends (the login manager sees the lock's pipe close).
        QStringList after;
        for (int i = 0; i < 30 && (after = login.inhibitors(bus)) != QStringList{}; ++i)
            QTest::qWait(100);
        QCOMPARE(after, QStringList{});
    }
};

QTEST_GUILESS_MAIN(TestRealLine)
#include "test_realline.moc"
