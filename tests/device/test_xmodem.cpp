#include "clirun.h"
#include "datatable.h"
#include "device/comroutines.h"
#include "device/qtserialline.h"
#include "device/xmodem.h"
#include "manualclock.h"
#include "scriptedline.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using korvane::test::ManualClock;
using korvane::test::ScriptedLine;

namespace {

// A receiver on the scripted line: NAK when opened, ACK for every packet (its blocks are
// collected), ACK for EOT, then the verdict text in the given pieces.
struct ScriptedReceiver {
    QList<QByteArray> packets;
    int eots = 0;
    QList<QByteArray> verdict{"Finished\r\n>"};
    QByteArray startSignal{1, kNAK};
    bool ackPackets = true;
    QSet<int> nakFirstArrival;                 // packets (1-based) refused the first time
    QByteArray eotReply{1, kACK};              // what the EOT gets before the verdict pieces
    std::function<void(int packet)> beforeAck; // runs as packet n (1-based) comes in

    ScriptedReceiver() = default;
    // Attached at once, with the defaults above.
    explicit ScriptedReceiver(ScriptedLine &line) { attach(line); }

    void attach(ScriptedLine &line)
    {
        QVERIFY(OpenComPort(line, 1));
        line.deliver(startSignal, 10);
        line.responder = [this](ScriptedLine &l, int, const QByteArray &w) {
            if (w.size() == kXmodemPacketSize && w[0] == kSOH) {
                const int number = int(packets.size()) + 1;
                if (nakFirstArrival.remove(number)) {
                    l.deliver(QByteArray(1, kNAK));
                    return;
                }
                packets << w;
                if (beforeAck)
                    beforeAck(int(packets.size()));
                if (ackPackets)
                    l.deliver(QByteArray(1, kACK));
            } else if (w == QByteArray(1, kEOT)) {
                ++eots;
                l.deliver(eotReply);
                int due = 5;
                for (const auto &p : verdict)
                    l.deliver(p, due += 5);
            }
        };
    }
    QByteArray data() const
    {
        QByteArray out;
        for (const auto &p : packets)
            out += p.mid(3, kXmodemBlockSize);
        return out;
    }
};

QByteArray randomBytes(int n, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(n, '\0');
    for (auto &c : b)
        c = static_cast<char>(gen.bounded(256));
    return b;
}

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    return korvane::test::writeFile(path, content) ? path : QString();
}

// Starts a Python peer of this folder that opens a pseudo-terminal, prints "PTY <path>" and
// waits for "go"; the path, or empty when the peer did not come up within 10 s.
QString startPtyPeer(QProcess &peer, const QString &script, const QStringList &args)
{
    peer.start("/usr/bin/python3",
               QStringList{qEnvironmentVariable("KORVANE_SOURCE_DIR") + "/tests/device/" + script} + args);
    if (!peer.waitForStarted() || !peer.waitForReadyRead(10000))
        return {};
    const QByteArray first = peer.readLine().trimmed();
    return first.startsWith("PTY ") ? QString::fromLocal8Bit(first.mid(4)) : QString();
}

} // namespace

class TestXmodem : public test::PortResetTest {
    Q_OBJECT

private slots:
    void packetLayout_data()
    {
        test::addColumns<int, char, int, int, int>("number", "fill", "block", "complement", "checksum");
        QTest::newRow("first") << 1 << char(0x00) << 0x01 << 0xFE << 0x00;
        QTest::newRow("255") << 255 << char(0x01) << 0xFF << 0x00 << 0x80;
        QTest::newRow("256 wraps") << 256 << char(0xFF) << 0x00 << 0xFF << 0x80;
        QTest::newRow("257") << 257 << char(0x02) << 0x01 << 0xFE << 0x00;
        QTest::newRow("5952") << 5952 << char(0x03) << 0x40 << 0xBF << 0x80;
    }
    void packetLayout()
    {
        QFETCH(int, number);
        QFETCH(char, fill);
        QFETCH(int, block);
        QFETCH(int, complement);
        QFETCH(int, checksum);
        const QByteArray data(kXmodemBlockSize, fill);
        const QByteArray p = BuildXmodemPacket(data, number);
        QCOMPARE(p.size(), kXmodemPacketSize);
        QCOMPARE(quint8(p[0]), quint8(0x01));
        QCOMPARE(int(quint8(p[1])), block);
        QCOMPARE(int(quint8(p[2])), complement);
        QCOMPARE(p.mid(3, 128), data);
        QCOMPARE(int(quint8(p[131])), checksum);
    }

    void checksumIsTheByteSum()
    {
        QByteArray data(kXmodemBlockSize, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 7);
        int sum = 0;
        for (const char c : data)
            sum += quint8(c);
        QCOMPARE(int(quint8(BuildXmodemPacket(data, 9)[131])), sum % 256);
    }

    void wrongSizedBlocksAreRefusedUnsent()
    {
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        QVERIFY(!TransmitXmodemPacket(line, QByteArray(127, 'a'), 1));
        QVERIFY(!TransmitXmodemPacket(line, QByteArray(129, 'a'), 1));
        QVERIFY(line.writes.isEmpty());
    }

    void wholeImageInOrder()
    {
        ManualClock clock;
        QTemporaryDir dir;
        const QByteArray content = randomBytes(28672, 1);
        const QString path = writeFile(dir, "filter.bin", content);
        ScriptedLine line;
        ScriptedReceiver rx(line);
        int maximum = 0;
        QList<int> shown;
        const XmodemProgress progress{[&](int n) { maximum = n; }, [&](int n) { shown << n; }};
        QVERIFY(SendFileXModem(line, path, 28672, 1, true, progress));
        QCOMPARE(maximum, 224);
        QCOMPARE(shown.size(), 224);
        QCOMPARE(shown.back(), 224);
        QCOMPARE(rx.packets.size(), 224);
        for (int i = 0; i < rx.packets.size(); ++i)
            QCOMPARE(int(quint8(rx.packets[i][1])), (i + 1) % 256);
        QCOMPARE(rx.data(), content);
        QCOMPARE(rx.eots, 1);
    }

    // A file shorter than the length asked is padded with zeros; a start position takes the
    // file from that byte (1-based).
    void shortFileAndStartPositionArePadded_data()
    {
        test::addColumns<int, int, int, int>("length", "start", "from", "zeros");
        QTest::newRow("whole file") << 256 << 0 << 0 << 56;
        // From byte 101 with a length of 150: bytes 101..150, then zeros.
        QTest::newRow("from byte 101") << 150 << 101 << 100 << 206;
    }
    void shortFileAndStartPositionArePadded()
    {
        QFETCH(int, length);
        QFETCH(int, start);
        QFETCH(int, from);
        QFETCH(int, zeros);
        ManualClock clock;
        QTemporaryDir dir;
        const QByteArray content = randomBytes(200, 2);
        ScriptedLine line;
        ScriptedReceiver rx(line);
        QVERIFY(SendFileXModem(line, writeFile(dir, "short.bin", content), length, start, false));
        QCOMPARE(rx.packets.size(), 2);
        QCOMPARE(rx.data(), content.mid(from, 256 - zeros) + QByteArray(zeros, '\0'));
    }

    void verdict_data()
    {
        test::addColumns<QList<QByteArray>, bool>("pieces", "ok");
        QTest::newRow("split over two reads") << QList<QByteArray>{"Fini", "shed\r\n>"} << true;
        QTest::newRow("failed") << QList<QByteArray>{"Failed\r\n>"} << false;
    }
    void verdict()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(bool, ok);
        ManualClock clock;
        QTemporaryDir dir;
        const QString path = writeFile(dir, "f.bin", randomBytes(256, 3));
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.verdict = pieces;
        rx.attach(line);
        QCOMPARE(SendFileXModem(line, path, 256, 1, true), ok);
        QCOMPARE(rx.packets.size(), 2);
        // A verdict other than "Finished" is waited out for 3 s.
        QVERIFY2(ok ? clock.nowMs() < 100 : clock.nowMs() >= 3000 && clock.nowMs() < 3200,
                 qPrintable(QString::number(clock.nowMs())));
    }

    void missingFileStillEndsWithEot()
    {
        ManualClock clock;
        ScriptedLine line;
        ScriptedReceiver rx(line);
        QVERIFY(!SendFileXModem(line, "/nonexistent/filter.bin", 256, 1, false));
        QVERIFY(rx.packets.isEmpty());
        QCOMPARE(rx.eots, 1);
    }

    // A receiver asking for the CRC form with 'C' never sends the NAK this sender needs.
    void crcRequestIsNotANak()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "f.bin", randomBytes(256, 4));
        ManualClock clock;
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.startSignal = "CCC";
        rx.attach(line);
        QVERIFY(!SendFileXModem(line, path, 256, 1, false));
        QVERIFY2(clock.nowMs() >= 10000 && clock.nowMs() < 10100, qPrintable(QString::number(clock.nowMs())));
        QVERIFY(rx.packets.isEmpty());
        QCOMPARE(rx.eots, 1);
    }

    // A cancel comes from the event loop while the sender waits for an ACK: nothing more is
    // sent after that packet. One requested from the progress view, which hears of a packet
    // once its successor is already on the line, stops after that successor.
    void cancelStopsTheTransfer()
    {
        ManualClock clock;
        QTemporaryDir dir;
        const QString path = writeFile(dir, "f.bin", randomBytes(28672, 5));
        {
            ScriptedLine line;
            ScriptedReceiver rx;
            rx.beforeAck = [](int n) {
                if (n == 3)
                    RequestCancel();
            };
            rx.attach(line);
            QVERIFY(!SendFileXModem(line, path, 28672, 1, true));
            QCOMPARE(rx.packets.size(), 3);
            QVERIFY(rx.eots >= 1);
            QCOMPARE(line.writes.back(), QByteArray(1, kEOT));
        }
        ClearCancelAndClosePort(dummy_);
        {
            ScriptedLine line;
            ScriptedReceiver rx(line);
            QList<int> shown;
            const XmodemProgress progress{{}, [&](int n) {
                                              shown << n;
                                              if (n == 3)
                                                  RequestCancel();
                                          }};
            QVERIFY(!SendFileXModem(line, path, 28672, 1, true, progress));
            QCOMPARE(rx.packets.size(), 4);
            QCOMPARE(shown, (QList<int>{1, 2, 3}));
            QCOMPARE(line.writes.back(), QByteArray(1, kEOT));
        }
    }

    // A refused packet goes out again at once: one bad block costs one block, not the 10 s
    // ACK time-out; the try limit still holds against a receiver that refuses for ever.
    void nakSendsThePacketAgainAtOnce()
    {
        const QByteArray content = randomBytes(384, 7);
        ManualClock clock;
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.nakFirstArrival = {2};
        rx.attach(line);
        QVERIFY(SendDataXModem(line, content, 384, 1, true));
        QVERIFY2(clock.nowMs() < 1000, qPrintable(QString::number(clock.nowMs())));
        QCOMPARE(line.countWrites(BuildXmodemPacket(content.mid(128, 128), 2)), 2);
        QCOMPARE(rx.data(), content);

        ScriptedLine refusing;
        ScriptedReceiver never;
        never.attach(refusing);
        refusing.responder = [](ScriptedLine &l, int, const QByteArray &w) {
            l.deliver(QByteArray(1, w[0] == kSOH ? kNAK : kACK));
        };
        QVERIFY(!SendDataXModem(refusing, content, 384, 1, false));
        QCOMPARE(refusing.countWrites(BuildXmodemPacket(content.left(128), 1)), 10);
    }

    // The adapter is pulled out while the sender waits for a packet's ACK: no ACK can follow,
    // so the transfer ends within moments instead of sitting out the 10 s ACK wait.
    void lineErrorEndsTheAckWaitAtOnce()
    {
        const QByteArray content = randomBytes(256, 13);
        ManualClock clock;
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.ackPackets = false;
        rx.beforeAck = [&line](int n) {
            if (n == 1)
                line.failAfter(50, QStringLiteral("device removed"));
        };
        rx.attach(line);
        QVERIFY(!SendDataXModem(line, content, 256, 1, false));
        QVERIFY2(clock.nowMs() < 500, qPrintable(QString::number(clock.nowMs())));
        QCOMPARE(rx.packets.size(), 1);
        QCOMPARE(line.countWrites(BuildXmodemPacket(content.left(128), 1)), 1);
    }

    // The answer to one packet or EOT, byte for byte: each NAK sends the same bytes again at
    // once, and the first ACK ends the sending.
    void nakAnswerIsResentAtOnce()
    {
        ManualClock clock;
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        const QByteArray block = randomBytes(kXmodemBlockSize, 11);
        const QByteArray packet = BuildXmodemPacket(block, 7);
        int naks = 2;
        line.responder = [&naks](ScriptedLine &l, int, const QByteArray &) {
            l.deliver(QByteArray(1, naks-- > 0 ? kNAK : kACK), 5);
        };
        QVERIFY(TransmitXmodemPacket(line, block, 7));
        QCOMPARE(line.writes, (QList<QByteArray>{packet, packet, packet}));
        QVERIFY2(clock.nowMs() < 50, qPrintable(QString::number(clock.nowMs())));

        line.writes.clear();
        naks = 1;
        const qint64 start = clock.nowMs();
        QVERIFY(TransmitEOT(line));
        QCOMPARE(line.writes, (QList<QByteArray>{QByteArray(1, kEOT), QByteArray(1, kEOT)}));
        QVERIFY2(clock.nowMs() - start < 50, qPrintable(QString::number(clock.nowMs() - start)));
    }

    // An EOT counts only once it has been acknowledged: a lost EOT goes out again after the
    // 10 s ACK wait, and a transfer without a verdict (the firmware reload) fails when none of
    // the ten EOTs is acknowledged.
    void eotCountsOnlyWhenAcknowledged()
    {
        const QByteArray content = randomBytes(256, 12);
        // Neither the EOT's ACK nor a verdict.
        const auto attachWithoutEotAck = [](ScriptedReceiver &rx, ScriptedLine &line) {
            rx.eotReply = {};
            rx.verdict = {};
            rx.attach(line);
        };
        {
            ManualClock clock;
            ScriptedLine line;
            ScriptedReceiver rx;
            attachWithoutEotAck(rx, line);
            const auto receive = line.responder;
            line.responder = [&rx, receive](ScriptedLine &l, int port, const QByteArray &w) {
                receive(l, port, w);
                if (w == QByteArray(1, kEOT) && rx.eots == 2)
                    l.deliver(QByteArray(1, kACK), 5);
            };
            QVERIFY(SendDataXModem(line, content, 256, 1, false));
            QCOMPARE(rx.data(), content);
            QCOMPARE(rx.eots, 2);
            QVERIFY2(clock.nowMs() >= 10000 && clock.nowMs() < 10200, qPrintable(QString::number(clock.nowMs())));
        }
        {
            ManualClock clock;
            ScriptedLine line;
            ScriptedReceiver rx;
            attachWithoutEotAck(rx, line);
            QVERIFY(!SendDataXModem(line, content, 256, 1, false));
            QCOMPARE(rx.packets.size(), 2);
            QCOMPARE(rx.eots, 10);
            QCOMPARE(line.writes.back(), QByteArray(1, kEOT));
            QVERIFY2(clock.nowMs() >= 100000 && clock.nowMs() < 100500, qPrintable(QString::number(clock.nowMs())));
        }
    }

    // However the receiver's bytes are grouped into reads, each wait takes what it needs and
    // leaves the rest: the tail of "Ready" and the start NAK in one read, then the EOT's ACK
    // with the verdict behind it in one read. What is left after the verdict stays for the
    // next command.
    void groupedRepliesAreEachTaken()
    {
        const QByteArray content = randomBytes(256, 8);
        ManualClock clock;
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.startSignal = QByteArray("eady\r\n") + kNAK + kNAK;
        rx.eotReply = QByteArray(1, kACK) + "Finished\r\n>";
        rx.verdict = {};
        rx.attach(line);
        QVERIFY(SendDataXModem(line, content, 256, 1, true));
        QVERIFY(clock.nowMs() < 1000);
        QCOMPARE(rx.data(), content);
        QCOMPARE(rx.eots, 1);
        QCOMPARE(line.readAll(), QByteArray("\r\n>"));
    }

    // A line that spoils one block in 50 on its way to lrzsz's rx or to python3-xmodem: the
    // file arrives byte-identical and each bad block costs the receiver's own wait before
    // its NAK plus one block, well under two seconds.
    void lossyLineToThirdPartyReceivers_data()
    {
        QTest::addColumn<QString>("receiver");
        QTest::newRow("lrzsz rx") << "rx";
        QTest::newRow("python3-xmodem") << "python";
    }
    void lossyLineToThirdPartyReceivers()
    {
        QFETCH(QString, receiver);
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("/usr/bin/python3 missing");
        if (receiver == "rx" && QStandardPaths::findExecutable("rx").isEmpty())
            QSKIP("rx (Debian package lrzsz) missing");
        QTemporaryDir dir;
        const QByteArray content = randomBytes(100 * kXmodemBlockSize, 9);
        const QString received = dir.filePath("received.bin");
        QProcess peer;
        const QString pty = startPtyPeer(peer, "xmodem_lossy_peer.py", {receiver, received, "50"});
        QVERIFY(!pty.isEmpty());
        QtSerialLine line(pty);
        QVERIFY(OpenComPort(line, 1));
        peer.write("go\n");
        const bool sent = SendDataXModem(line, content, content.size(), 1, false);
        const QString lineError = line.errorText();
        (void)CloseComPort(line);
        QVERIFY(peer.waitForFinished(20000));
        const QByteArray output = peer.readAllStandardOutput();
        QVERIFY2(sent, qPrintable(lineError + " | " + QString::fromLocal8Bit(output)));
        const QList<QByteArray> report = output.trimmed().split('\n');
        QVERIFY2(report.contains("RECEIVED " + QByteArray::number(content.size())), report.join('|').constData());
        int bad = 0;
        for (const QByteArray &l : report) {
            if (!l.startsWith("BAD "))
                continue;
            ++bad;
            qInfo("%s: %s s", qPrintable(receiver), l.constData());
            const double seconds = l.split(' ').value(2).toDouble();
            QVERIFY2(seconds < 2.0, l.constData());
        }
        QCOMPARE(bad, 2);
        QCOMPARE(korvane::test::readAll(received), content);
    }

    // The whole road over a real pseudo-terminal to an independent receiver.
    void debianReceiverGetsTheImageByteIdentical()
    {
        if (!QFile::exists("/usr/bin/python3"))
            QSKIP("/usr/bin/python3 missing");
        QTemporaryDir dir;
        const QByteArray content = randomBytes(28672, 6);
        const QString path = writeFile(dir, "filter.bin", content);
        const QString received = dir.filePath("received.bin");
        QProcess rx;
        const QString pty = startPtyPeer(rx, "xmodem_receiver.py", {received});
        QVERIFY(!pty.isEmpty());
        QtSerialLine line(pty);
        QVERIFY(OpenComPort(line, 1));
        rx.write("go\n");
        QVERIFY2(SendFileXModem(line, path, 28672, 1, false), qPrintable(line.errorText()));
        QVERIFY(CloseComPort(line));
        QVERIFY(rx.waitForFinished(20000));
        const QByteArray tail = rx.readAllStandardOutput();
        QVERIFY2(tail.contains("RECEIVED 28672"), tail.constData());
        QCOMPARE(korvane::test::readAll(received), content);
    }
};

QTEST_GUILESS_MAIN(TestXmodem)
#include "test_xmodem.moc"
