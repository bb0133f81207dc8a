#include "clirun.h"
#include "datatable.h"
#include "device/comroutines.h"
#include "device/firmwarefile.h"
#include "scriptedline.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using korvane::test::ScriptedLine;

namespace {

QString writeImage(const QTemporaryDir &dir, qint64 size, quint8 high, quint8 low)
{
    QByteArray image(size, '\x5A');
    if (size > kFirmwareVersionOffset + 1) {
        image[kFirmwareVersionOffset] = char(high);
        image[kFirmwareVersionOffset + 1] = char(low);
    }
    const QString path = dir.filePath(QStringLiteral("fw-%1.fwr").arg(size));
    return korvane::test::writeFile(path, image) ? path : QString();
}

} // namespace

class TestFirmwareFile : public QObject {
    Q_OBJECT

private slots:
    void bcd_data()
    {
        test::addColumns<int, int>("byte", "value");
        QTest::newRow("05") << 0x05 << 5;
        QTest::newRow("10") << 0x10 << 10;
        QTest::newRow("99") << 0x99 << 99;
        QTest::newRow("nibbles above 9 count as they are") << 0x1F << 25;
        QTest::newRow("FF") << 0xFF << 165;
    }
    void bcd()
    {
        QFETCH(int, byte);
        QFETCH(int, value);
        QCOMPARE(BcdToValue(quint8(byte)), value);
    }

    void fileVersion_data()
    {
        test::addColumns<qint64, int, int, bool, int>("size", "high", "low", "ok", "version");
        QTest::newRow("1.05") << kFirmwareFileSize << 0x01 << 0x05 << true << 105;
        QTest::newRow("2.10") << kFirmwareFileSize << 0x02 << 0x10 << true << 210;
        QTest::newRow("0.99") << kFirmwareFileSize << 0x00 << 0x99 << true << 99;
        QTest::newRow("one byte short") << kFirmwareFileSize - 1 << 0x01 << 0x05 << false << 0;
        QTest::newRow("one byte long") << kFirmwareFileSize + 1 << 0x01 << 0x05 << false << 0;
        QTest::newRow("empty") << qint64(0) << 0 << 0 << false << 0;
    }
    void fileVersion()
    {
        QFETCH(qint64, size);
        QFETCH(int, high);
        QFETCH(int, low);
        QFETCH(bool, ok);
        QFETCH(int, version);
        QTemporaryDir dir;
        const QString path = writeImage(dir, size, quint8(high), quint8(low));
        int16_t v = -1;
        QCOMPARE(GetFirmwareFileVersion(path, v), ok);
        QCOMPARE(int(v), version);
    }

    void missingFileHasNoVersion()
    {
        int16_t v = -1;
        QVERIFY(!GetFirmwareFileVersion(QStringLiteral("/nonexistent/korvanes.fwr"), v));
        QCOMPARE(v, int16_t(0));
    }

    void theBuiltDemoImageIsVersion105()
    {
        int16_t v = 0;
        QVERIFY(GetFirmwareFileVersion(qEnvironmentVariable("KORVANE_PROGRAM_DIR") + "/korvanes.fwr", v));
        QCOMPARE(v, int16_t(105));
    }

    // "F P C", then the whole file unchanged in 5952 packets, then "RESET".
    void updateSendsTheWholeImageThenResets()
    {
        QTemporaryDir dir;
        const QString path = writeImage(dir, kFirmwareFileSize, 0x01, 0x06);
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        QByteArray received;
        QStringList commands;
        line.responder = [&](ScriptedLine &l, int, const QByteArray &w) {
            if (w.endsWith("\r\n")) {
                commands << QString::fromLatin1(w.chopped(2));
                l.deliver(QByteArray("OK\r\n>"));
                if (w == "F P C\r\n")
                    l.deliver(QByteArray(1, kNAK), 50); // the receiver starts after its reply
            } else if (w.size() == kXmodemPacketSize) {
                received += w.mid(3, kXmodemBlockSize);
                l.deliver(QByteArray(1, kACK));
            } else if (w == QByteArray(1, kEOT)) {
                commands << "EOT";
                l.deliver(QByteArray(1, kACK));
            }
        };
        int maximum = 0;
        QVERIFY(UpdateFirmware(line, path, {[&](int n) { maximum = n; }, {}}));
        QCOMPARE(maximum, 5952);
        QCOMPARE(commands, (QStringList{"F P C", "EOT", "RESET"}));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(received, f.readAll());
    }

    void unansweredFlashCommandSendsNothing()
    {
        QTemporaryDir dir;
        const QString path = writeImage(dir, kFirmwareFileSize, 0x01, 0x06);
        ScriptedLine line;
        QVERIFY(OpenComPort(line, 1));
        line.responder = [](ScriptedLine &l, int, const QByteArray &) { l.deliver("INVALID COMMAND\r\n>"); };
        QVERIFY(!UpdateFirmware(line, path));
        QCOMPARE(line.writes.size(), 5);
        QCOMPARE(line.countWrites("F P C\r\n"), 5);
    }
};

QTEST_GUILESS_MAIN(TestFirmwareFile)
#include "test_firmwarefile.moc"
