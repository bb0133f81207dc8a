#include "device/comroutines.h"
#include "device/qtserialline.h"
#include "device/xmodem.h"
#include "scriptedline.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace korvane;
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
    std::function<void(int packet)> beforeAck; // runs as packet n (1-based) comes in

    void attach(ScriptedLine &line)
    {
        QVERIFY(OpenComPort(line, 1));
        line.deliver(startSignal, 10);
        line.responder = [this](ScriptedLine &l, int, const QByteArray &w) {
            if (w.size() == kXmodemPacketSize && w[0] == kSOH) {
                packets << w;
                if (beforeAck)
                    beforeAck(int(packets.size()));
                if (ackPackets)
                    l.deliver(QByteArray(1, kACK));
            } else if (w == QByteArray(1, kEOT)) {
                ++eots;
                l.deliver(QByteArray(1, kACK));
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
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        return {};
    return path;
}

} // namespace

class TestXmodem : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearCancelAndClosePort(m_dummy); }
    void cleanup() { ClearCancelAndClosePort(m_dummy); }

    void packetLayout_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<char>("fill");
        QTest::addColumn<int>("block");
        QTest::addColumn<int>("complement");
        QTest::addColumn<int>("checksum");
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
        QTemporaryDir dir;
        const QByteArray content = randomBytes(28672, 1);
        const QString path = writeFile(dir, "filter.bin", content);
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.attach(line);
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

    void shortFileAndStartPositionArePadded()
    {
        QTemporaryDir dir;
        const QByteArray content = randomBytes(200, 2);
        const QString path = writeFile(dir, "short.bin", content);
        {
            ScriptedLine line;
            ScriptedReceiver rx;
            rx.attach(line);
            QVERIFY(SendFileXModem(line, path, 256, 0, false));
            QCOMPARE(rx.packets.size(), 2);
            QCOMPARE(rx.data(), content + QByteArray(56, '\0'));
        }
        {
            // From byte 101 with a length of 150: bytes 101..150, then zeros.
            ScriptedLine line;
            ScriptedReceiver rx;
            rx.attach(line);
            QVERIFY(SendFileXModem(line, path, 150, 101, false));
            QCOMPARE(rx.packets.size(), 2);
            QCOMPARE(rx.data(), content.mid(100, 50) + QByteArray(206, '\0'));
        }
    }

    void verdict_data()
    {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<bool>("ok");
        QTest::newRow("split over two reads") << QList<QByteArray>{"Fini", "shed\r\n>"} << true;
        QTest::newRow("failed") << QList<QByteArray>{"Failed\r\n>"} << false;
    }
    void verdict()
    {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        const QString path = writeFile(dir, "f.bin", randomBytes(256, 3));
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.verdict = pieces;
        rx.attach(line);
        QCOMPARE(SendFileXModem(line, path, 256, 1, true), ok);
        QCOMPARE(rx.packets.size(), 2);
    }

    void missingFileStillEndsWithEot()
    {
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.attach(line);
        QVERIFY(!SendFileXModem(line, "/nonexistent/filter.bin", 256, 1, false));
        QVERIFY(rx.packets.isEmpty());
        QCOMPARE(rx.eots, 1);
    }

    // A receiver asking for the CRC form with 'C' never sends the NAK this sender needs.
    void crcRequestIsNotANak()
    {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "f.bin", randomBytes(256, 4));
        ScriptedLine line;
        ScriptedReceiver rx;
        rx.startSignal = "CCC";
        rx.attach(line);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!SendFileXModem(line, path, 256, 1, false));
        QVERIFY(clock.elapsed() >= 9800);
        QVERIFY(rx.packets.isEmpty());
        QCOMPARE(rx.eots, 1);
    }

    // A cancel comes from the event loop while the sender waits for an ACK: nothing more is
    // sent after that packet. One requested from the progress view, which hears of a packet
    // once its successor is already on the line, stops after that successor.
    void cancelStopsTheTransfer()
    {
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
        ClearCancelAndClosePort(m_dummy);
        {
            ScriptedLine line;
            ScriptedReceiver rx;
            rx.attach(line);
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
        rx.start("/usr/bin/python3",
                 {qEnvironmentVariable("KORVANE_SOURCE_DIR") + "/tests/device/xmodem_receiver.py", received});
        QVERIFY(rx.waitForStarted());
        QVERIFY(rx.waitForReadyRead(10000));
        const QByteArray first = rx.readLine().trimmed();
        QVERIFY2(first.startsWith("PTY "), first.constData());
        QtSerialLine line(QString::fromLocal8Bit(first.mid(4)));
        QVERIFY(OpenComPort(line, 1));
        rx.write("go\n");
        QVERIFY(SendFileXModem(line, path, 28672, 1, false));
        QVERIFY(CloseComPort(line));
        QVERIFY(rx.waitForFinished(20000));
        const QByteArray tail = rx.readAllStandardOutput();
        QVERIFY2(tail.contains("RECEIVED 28672"), tail.constData());
        QFile f(received);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), content);
    }

private:
    ScriptedLine m_dummy;
};

QTEST_GUILESS_MAIN(TestXmodem)
#include "test_xmodem.moc"
