// The simulated processor, driven over its pseudo-terminal the way the device link drives
// the real one: text commands, XMODEM uploads from a third-party sender and from raw
// packets, the injected faults, the COM n links and the 9600-baud line model.

#include "datatable.h"
#include "simprocess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using korvane::test::SimProcess;

namespace {

constexpr char SOH = 0x01;
constexpr char EOT = 0x04;
constexpr char ACK = 0x06;
constexpr char NAK = 0x15;

// A packet as the program sends it: SOH, number, 255 - number, 128 bytes, 8-bit sum.
QByteArray packet(int ordinal, const QByteArray &block)
{
    QByteArray p;
    p.append(SOH).append(char(ordinal & 0xFF)).append(char(255 - (ordinal & 0xFF))).append(block);
    quint8 sum = 0;
    for (char c : block)
        sum = quint8(sum + quint8(c));
    p.append(char(sum));
    return p;
}

QByteArray randomBytes(int n)
{
    QByteArray b(n, '\0');
    for (char &c : b)
        c = char(QRandomGenerator::global()->bounded(256));
    return b;
}

QByteArray blockOf(const QByteArray &data, int ordinal) { return data.mid((ordinal - 1) * 128, 128); }

// The test's end of the serial line.
class Line {
public:
    // The line to a started sim; false, saying why, when the sim did not start.
    bool open(const SimProcess &sim)
    {
        if (!sim.isReady()) {
            qWarning("the sim did not start: %s", qPrintable(sim.errorString()));
            return false;
        }
        return open(sim.devicePath());
    }
    bool open(const QString &path)
    {
        port.setPortName(path);
        port.setBaudRate(9600);
        if (!port.open(QIODevice::ReadWrite))
            return false;
        port.clear();
        return true;
    }

    void write(const QByteArray &bytes)
    {
        port.write(bytes);
        port.waitForBytesWritten(1000);
    }

    // Collects input until done(collected) holds or timeoutMs pass.
    template <typename Done> QByteArray readUntil(Done done, int timeoutMs = 2000)
    {
        QByteArray got;
        const QDeadlineTimer deadline(timeoutMs);
        while (!done(got) && !deadline.hasExpired()) {
            if (port.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                got += port.readAll();
            port.clearError();
        }
        return got + port.readAll();
    }

    QByteArray readBytes(int n, int timeoutMs = 2000)
    {
        return readUntil([n](const QByteArray &b) { return b.size() >= n; }, timeoutMs);
    }

    QByteArray readUntilPrompt(int timeoutMs = 2000)
    {
        return readUntil([](const QByteArray &b) { return b.endsWith('>'); }, timeoutMs);
    }

    // Everything that arrives within ms: used to show that nothing does.
    QByteArray readFor(int ms)
    {
        return readUntil([](const QByteArray &) { return false; }, ms);
    }

    QByteArray command(const QByteArray &text)
    {
        write(text);
        return readUntilPrompt();
    }

    // "F P F" or "F P C" and the receiver's first start request.
    QByteArray startUpload(const QByteArray &cmd)
    {
        write(cmd + "\r\n");
        return readBytes(8);
    }

    QSerialPort port;
};

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void logsEveryCommandInOrder();
    void silentFaultAnswersNothing();
    void thirdPartySenderUploadsImage_data();
    void thirdPartySenderUploadsImage();
    void fullImageVerdict_data();
    void fullImageVerdict();
    void firmwareUploadWrapsBlockNumbers();
    void packetChecks();
    void blockFaults_data();
    void blockFaults();
    void startRequestsRepeatThenGiveUp_data();
    void startRequestsRepeatThenGiveUp();
    void vanishClosesLineAndExits();
    void onceEndsAfterResetOfProgrammingRun();
    void comLinkCreatedReplacedAndRemoved();
    void pacedBlockTakesLineTime();
    void lineTraceRecordsBothDirections();
    void groupedOutputComesInOneWrite();
};

void TestSim::commands_data()
{
    korvane::test::addColumns<QStringList, QByteArray, QByteArray>("args", "sent", "reply");

    const QByteArray version = "Korvane-S Rev0105\r\n>";
    QTest::newRow("version") << QStringList{} << QByteArray("F V\r\n") << version;
    QTest::newRow("version digits") << QStringList{"--version", "0203"} << QByteArray("F V\r\n")
                                    << QByteArray("Korvane-S Rev0203\r\n>");
    QTest::newRow("filters") << QStringList{} << QByteArray("T S\r\n") << QByteArray("Filters Loaded: 16\r\n>");
    QTest::newRow("filter count") << QStringList{"--filters", "7"} << QByteArray("T S\r\n")
                                  << QByteArray("Filters Loaded: 7\r\n>");
    QTest::newRow("reset") << QStringList{} << QByteArray("RESET\r\n") << QByteArray("Resetting\r\n>");
    QTest::newRow("unknown") << QStringList{} << QByteArray("HELLO\r\n") << QByteArray("INVALID COMMAND\r\n>");
    QTest::newRow("case matters") << QStringList{} << QByteArray("f v\r\n") << QByteArray("INVALID COMMAND\r\n>");
    QTest::newRow("refused by fault") << QStringList{"--fault", "invalid=T S"} << QByteArray("T S\r\n")
                                      << QByteArray("INVALID COMMAND\r\n>");
    QTest::newRow("lone CR") << QStringList{} << QByteArray("F V\r") << version;
    QTest::newRow("lone LF") << QStringList{} << QByteArray("F V\n") << version;
    QTest::newRow("blanks around") << QStringList{} << QByteArray("  F V \r\n") << version;
    QTest::newRow("echo") << QStringList{"--echo"} << QByteArray("F V\r\n") << QByteArray("F V\r\n") + version;
}

void TestSim::commands()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, reply);
    SimProcess sim(args);
    Line line;
    QVERIFY(line.open(sim));
    QCOMPARE(line.command(sent), reply);
    // The LF of CR LF must not count as a second, empty command.
    QCOMPARE(line.readFor(100), QByteArray());
}

void TestSim::logsEveryCommandInOrder()
{
    SimProcess sim;
    Line line;
    QVERIFY(line.open(sim));
    for (const char *c : {"F V\r\n", "T S\r\n", "F V\r\n", "NOPE\r\n", "RESET\r\n"})
        QVERIFY(line.command(c).endsWith('>'));
    QCOMPARE(sim.logLines(), (QStringList{"F V", "T S", "F V", "NOPE", "RESET"}));
}

void TestSim::silentFaultAnswersNothing()
{
    SimProcess sim({"--fault", "silent"});
    Line line;
    QVERIFY(line.open(sim));
    line.write("F V\r\nF P F\r\n");
    QCOMPARE(line.readFor(400), QByteArray());
    QCOMPARE(sim.logLines(), (QStringList{"F V", "F P F"}));
}

void TestSim::thirdPartySenderUploadsImage_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("checksum") << QStringList{};
    // sx answers a 'C' with CRC-16 packets: checks the receiver's CRC against a sender
    // nobody here wrote.
    QTest::newRow("crc") << QStringList{"--fault", "c-instead-of-nak"};
}

void TestSim::thirdPartySenderUploadsImage()
{
    QFETCH(QStringList, args);
    SimProcess sim(args);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
    const QByteArray data = randomBytes(28672);
    const QString file = sim.folder() + "/upload.bin";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }
    {
        Line line;
        QVERIFY(line.open(sim.devicePath()));
        line.write("F P F\r\n");
        QCOMPARE(line.readBytes(7), QByteArray("Ready\r\n"));
    }
    QProcess sx;
    sx.setStandardInputFile(sim.devicePath());
    sx.setStandardOutputFile(sim.devicePath());
    sx.start("sx", {"-X", "-b", file});
    QVERIFY2(sx.waitForStarted(5000), "sx (Debian package lrzsz) could not be started");
    QVERIFY2(sx.waitForFinished(30000), "sx did not finish");
    QCOMPARE(sx.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sx.exitCode(), 0);
    QVERIFY(sim.waitForLogLine("EOT"));
    QCOMPARE(sim.image().size(), 28672);
    QVERIFY(sim.image() == data);
    QCOMPARE(sim.logLines(), (QStringList{"F P F", "XMODEM F P F 224 blocks", "EOT"}));
}

void TestSim::fullImageVerdict_data()
{
    korvane::test::addColumns<QStringList, QByteArray>("args", "verdict");
    QTest::newRow("accepted") << QStringList{} << QByteArray("Finished\r\n>");
    QTest::newRow("refused") << QStringList{"--fault", "verdict-failed"} << QByteArray("Failed\r\n>");
}

void TestSim::fullImageVerdict()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, verdict);
    SimProcess sim(args);
    Line line;
    QVERIFY(line.open(sim));
    line.write("F P F\r\n");
    QCOMPARE(line.readBytes(7), QByteArray("Ready\r\n"));
    // The NAK keeps its distance from the reply, so a reader of the reply leaves it alone.
    QCOMPARE(line.readFor(100), QByteArray());
    QCOMPARE(line.readBytes(1), QByteArray(1, NAK));
    const QByteArray data = randomBytes(28672);
    for (int n = 1; n <= 224; ++n) {
        line.write(packet(n, blockOf(data, n)));
        QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
    }
    line.write(QByteArray(1, EOT));
    // The ACK comes alone; the verdict follows after a pause so a sender waiting for the
    // ACK does not swallow it.
    QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
    QCOMPARE(line.readUntilPrompt(), verdict);
    QVERIFY(sim.image() == data);
    QCOMPARE(line.command("RESET\r\n"), QByteArray("Resetting\r\n>"));
    QCOMPARE(sim.logLines(), (QStringList{"F P F", "XMODEM F P F 224 blocks", "EOT", "RESET"}));
}

void TestSim::firmwareUploadWrapsBlockNumbers()
{
    SimProcess sim;
    Line line;
    QVERIFY(line.open(sim));
    QCOMPARE(line.startUpload("F P C"), QByteArray("Ready\r\n\x15"));
    const int blocks = 300; // numbers 255, 0, 1, ... on the wire
    const QByteArray data = randomBytes(blocks * 128);
    for (int n = 1; n <= blocks; ++n) {
        line.write(packet(n, blockOf(data, n)));
        QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
    }
    line.write(QByteArray(1, EOT));
    QCOMPARE(line.readUntilPrompt(), QByteArray("\x06\r\n>"));
    QVERIFY(sim.firmware() == data);
    QVERIFY(sim.image().isEmpty());
    QCOMPARE(sim.logLines(), (QStringList{"F P C", "XMODEM F P C 300 blocks", "EOT"}));
}

void TestSim::packetChecks()
{
    SimProcess sim;
    Line line;
    QVERIFY(line.open(sim));
    QCOMPARE(line.startUpload("F P F"), QByteArray("Ready\r\n\x15"));
    const QByteArray data = randomBytes(256);
    const QByteArray nak(1, NAK), ack(1, ACK);

    QByteArray badSum = packet(1, blockOf(data, 1));
    badSum[131] = char(badSum[131] + 1);
    line.write(badSum);
    QCOMPARE(line.readBytes(1), nak);

    QByteArray badComplement = packet(1, blockOf(data, 1));
    badComplement[2] = char(0xFF);
    line.write(badComplement);
    QCOMPARE(line.readBytes(1), nak);

    line.write(packet(3, blockOf(data, 1)));
    QCOMPARE(line.readBytes(1), nak);

    // No duplicate before the first block: block 0 is out of order, not a repeat.
    line.write(packet(0, blockOf(data, 1)));
    QCOMPARE(line.readBytes(1), nak);

    line.write(packet(1, blockOf(data, 1)));
    QCOMPARE(line.readBytes(1), ack);
    line.write(packet(1, blockOf(data, 1)));
    QCOMPARE(line.readBytes(1), ack);

    // A packet that stops half way is thrown away after a second of silence.
    line.write(packet(2, blockOf(data, 2)).left(60));
    QCOMPARE(line.readBytes(1, 3000), nak);

    line.write(packet(2, blockOf(data, 2)));
    QCOMPARE(line.readBytes(1), ack);
    line.write(QByteArray(1, EOT));
    QCOMPARE(line.readUntilPrompt(),
             QByteArray("\x06"
                        "Failed\r\n>"));
    // The sender repeats an EOT whose ACK it missed: it is acknowledged again.
    line.write(QByteArray(1, EOT));
    QCOMPARE(line.readBytes(1), ack);

    QVERIFY(sim.image() == data);
    QVERIFY(sim.logLines().contains("DUPLICATE block 1"));
    QVERIFY(sim.logLines().contains("XMODEM F P F 2 blocks"));
}

// script: one character per packet sent, in order: the ordinal to send ('1'..'9') is
// followed by the expected answer: 'A' ACK, 'N' NAK, '-' nothing.
void TestSim::blockFaults_data()
{
    // stored: blocks in the image after EOT; -1: EOT not answered
    korvane::test::addColumns<QString, QString, int, QString>("fault", "script", "stored", "logged");

    QTest::newRow("nak-only") << "nak-only"
                              << "1N1N" << 0 << "NAK block 1 refused";
    QTest::newRow("corrupt-block") << "corrupt-block=2"
                                   << "1A2N2A3A" << 3 << "NAK block 2 corrupted";
    QTest::newRow("drop-block") << "drop-block=2"
                                << "1A2-2A3A" << 3 << "DROP block 2";
    QTest::newRow("drop-ack") << "drop-ack=2"
                              << "1A2-2A3A" << 3 << "DUPLICATE block 2";
    QTest::newRow("stall-after") << "stall-after=2"
                                 << "1A2A3-" << -1 << "STALL after 2 blocks";
    QTest::newRow("combined") << "corrupt-block=1,drop-ack=1"
                              << "1N1-1A2A" << 2 << "NO-ACK block 1";
}

void TestSim::blockFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, script);
    QFETCH(int, stored);
    QFETCH(QString, logged);
    SimProcess sim({"--fault", fault});
    Line line;
    QVERIFY(line.open(sim));
    QCOMPARE(line.startUpload("F P F"), QByteArray("Ready\r\n\x15"));
    const QByteArray data = randomBytes(9 * 128);
    for (int i = 0; i + 1 < script.size(); i += 2) {
        const int n = script[i].digitValue();
        line.write(packet(n, blockOf(data, n)));
        const char expected = script[i + 1].toLatin1();
        if (expected == '-')
            QCOMPARE(line.readFor(250), QByteArray());
        else
            QCOMPARE(line.readBytes(1), QByteArray(1, expected == 'A' ? ACK : NAK));
    }
    line.write(QByteArray(1, EOT));
    if (stored < 0) {
        QCOMPARE(line.readFor(250), QByteArray());
    } else {
        QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
        QVERIFY(sim.waitForLogLine("EOT"));
        QVERIFY(sim.image() == data.left(stored * 128));
    }
    QVERIFY2(sim.logLines().contains(logged), qPrintable(sim.logLines().join(" | ")));
}

void TestSim::startRequestsRepeatThenGiveUp_data()
{
    korvane::test::addColumns<QStringList, QByteArray>("fault", "request");
    QTest::newRow("NAK") << QStringList{} << QByteArray("\x15");
    QTest::newRow("C") << QStringList{"--fault", "c-instead-of-nak"} << QByteArray("C");
}

void TestSim::startRequestsRepeatThenGiveUp()
{
    QFETCH(QStringList, fault);
    QFETCH(QByteArray, request);
    SimProcess sim(QStringList{"--nak-interval", "150", "--nak-tries", "3"} + fault);
    Line line;
    QVERIFY(line.open(sim));
    line.write("F P F\r\n");
    QCOMPARE(line.readUntilPrompt(), "Ready\r\n" + request.repeated(3) + "\r\n>");
    QVERIFY(sim.logLines().contains("XMODEM F P F no sender"));
    // Back at the prompt: commands work again.
    QCOMPARE(line.command("T S\r\n"), QByteArray("Filters Loaded: 16\r\n>"));
}

void TestSim::vanishClosesLineAndExits()
{
    SimProcess sim({"--fault", "vanish-after=2"});
    Line line;
    QVERIFY(line.open(sim));
    QCOMPARE(line.startUpload("F P F"), QByteArray("Ready\r\n\x15"));
    const QByteArray data = randomBytes(3 * 128);
    for (int n = 1; n <= 2; ++n) {
        line.write(packet(n, blockOf(data, n)));
        QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
    }
    QVERIFY(sim.waitForExit(3000));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.logLines().contains("VANISH after 2 blocks"));
    line.write(packet(3, blockOf(data, 3)));
    QCOMPARE(line.readFor(100), QByteArray());
}

void TestSim::onceEndsAfterResetOfProgrammingRun()
{
    SimProcess sim({"--once"});
    Line line;
    QVERIFY(line.open(sim));
    // A reset before any filter upload is part of a firmware reload, not the end.
    QCOMPARE(line.command("RESET\r\n"), QByteArray("Resetting\r\n>"));
    QCOMPARE(line.startUpload("F P F"), QByteArray("Ready\r\n\x15"));
    line.write(packet(1, QByteArray(128, 'x')));
    QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
    line.write(QByteArray(1, EOT));
    QVERIFY(line.readUntilPrompt().endsWith(">"));
    QVERIFY(sim.isRunning());
    QCOMPARE(line.command("RESET\r\n"), QByteArray("Resetting\r\n>"));
    QVERIFY(sim.waitForExit(3000));
    QCOMPARE(sim.exitCode(), 0);
}

void TestSim::comLinkCreatedReplacedAndRemoved()
{
    QTemporaryDir ports;
    QVERIFY(ports.isValid());
    const QByteArray saved = qgetenv("KORVANE_COM_DIR");
    qputenv("KORVANE_COM_DIR", ports.path().toLocal8Bit());
    const QString com3 = ports.filePath("com3");
    const QString extra = ports.filePath("sub/extra");
    // Left behind by a sim that was killed hard.
    QVERIFY(QFile::link("/dev/pts/no-such-device", com3));
    {
        SimProcess sim({"--com", "3", "--link", extra});
        if (saved.isNull())
            qunsetenv("KORVANE_COM_DIR");
        else
            qputenv("KORVANE_COM_DIR", saved);
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        QCOMPARE(sim.linkPaths(), (QStringList{com3, extra}));
        QCOMPARE(QFileInfo(com3).symLinkTarget(), sim.devicePath());
        QCOMPARE(QFileInfo(extra).symLinkTarget(), sim.devicePath());
        Line line;
        QVERIFY(line.open(com3));
        QCOMPARE(line.command("F V\r\n"), QByteArray("Korvane-S Rev0105\r\n>"));
        line.port.close();
        sim.stop();
    }
    QVERIFY(!QFileInfo(com3).isSymLink());
    QVERIFY(!QFileInfo(extra).isSymLink());
}

void TestSim::pacedBlockTakesLineTime()
{
    SimProcess sim({"--pace", "9600"});
    Line line;
    QVERIFY(line.open(sim));
    QCOMPARE(line.startUpload("F P F"), QByteArray("Ready\r\n\x15"));
    QElapsedTimer clock;
    clock.start();
    line.write(packet(1, randomBytes(128)));
    QCOMPARE(line.readBytes(1), QByteArray(1, ACK));
    // 132 bytes of 10 bits at 9600 baud are 137.5 ms; the ACK adds 1.04 ms.
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 137, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
}

// The trace is what the programming benchmark times the sender by: every byte in both
// directions, in order, with times that never go back.
void TestSim::lineTraceRecordsBothDirections()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tracePath = dir.filePath("line.trace");
    SimProcess sim({"--line-trace", tracePath});
    Line line;
    QVERIFY(line.open(sim));
    const QByteArray reply = line.command("F V\r\n");
    QCOMPARE(reply, QByteArray("Korvane-S Rev0105\r\n>"));
    sim.stop();

    QFile trace(tracePath);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    qint64 read = 0, written = 0, lastUs = 0;
    QByteArray firstRead, firstWrite;
    for (const QByteArray &l : trace.readAll().split('\n')) {
        if (l.isEmpty())
            continue;
        const QList<QByteArray> f = l.split(' ');
        QCOMPARE(f.size(), 4);
        const qint64 us = f[1].toLongLong();
        QVERIFY(us >= lastUs);
        lastUs = us;
        const qint64 n = f[2].toLongLong();
        QVERIFY(n > 0);
        QCOMPARE(f[3].size(), 2 * qMin<qint64>(n, 8));
        if (f[0] == "R") {
            QVERIFY2(written == 0, "the reply was traced before the command");
            if (firstRead.isEmpty())
                firstRead = QByteArray::fromHex(f[3]);
            read += n;
        } else {
            QCOMPARE(f[0], QByteArray("W"));
            if (firstWrite.isEmpty())
                firstWrite = QByteArray::fromHex(f[3]);
            written += n;
        }
    }
    QCOMPARE(read, qint64(5));
    QVERIFY(QByteArray("F V\r\n").startsWith(firstRead));
    QCOMPARE(written, qint64(reply.size()));
    QVERIFY(reply.startsWith(firstWrite));
}

// --group hands the paced output over as an adapter does, and --gap 0 puts "Ready" and the
// NAK behind it in the same group: one write on the line, as the trace shows. The echo of
// the command goes with them.
void TestSim::groupedOutputComesInOneWrite()
{
    QTemporaryDir dir;
    const QString tracePath = dir.filePath("line.trace");
    SimProcess sim({"--pace", "9600", "--group", "16", "--gap", "0", "--echo", "--line-trace", tracePath});
    Line line;
    QVERIFY(line.open(sim));
    line.write("F P F\r\n");
    QCOMPARE(line.readBytes(15), QByteArray("F P F\r\nReady\r\n\x15"));
    sim.stop();
    QFile trace(tracePath);
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QList<qint64> writes;
    for (const QByteArray &l : trace.readAll().split('\n')) {
        if (l.startsWith("W "))
            writes << l.split(' ').value(2).toLongLong();
    }
    QVERIFY2(writes.size() <= 2, qPrintable(QString::number(writes.size())));
    QCOMPARE(writes.value(0) + writes.value(1), qint64(15));
}

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
