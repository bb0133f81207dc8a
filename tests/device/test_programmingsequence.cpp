// The programming sequence against the simulated processor on a real pseudo-terminal.

#include "device/comroutines.h"
#include "device/firmwarefile.h"
#include "simrig.h"

#include <QFile>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QStringList kFilterUpload{"F P F", "XMODEM F P F 224 blocks", "EOT", "RESET"};
const QStringList kFirmwareUpload{"F P C", "XMODEM F P C 5952 blocks", "EOT", "RESET"};

} // namespace

class TestProgrammingSequence : public QObject {
    Q_OBJECT

private slots:
    void upToDateProcessorGetsOnlyTheFilters()
    {
        SimRig rig;
        QVERIFY(rig.startSim(3, {"--filters", "4"}));
        rig.model.ComPort = 3;
        const QByteArray image = rig.writeFilterImage();
        auto &seq = rig.sequence();
        QVERIFY(seq.LocateDevice());
        QVERIFY(seq.ProgramDevice());
        QVERIFY(rig.sim().waitForLogLine("RESET"));
        QCOMPARE(rig.sim().logLines(), QStringList({"F V", "T S", "F V"}) + kFilterUpload);
        QCOMPARE(rig.sim().image(), image);
        QVERIFY(rig.dialog.messages.empty());
        QCOMPARE(rig.signalLog,
                 QStringList({"stage:Finding Korvane-S", "port:3", "comport:3", "stage:Determining Firmware Status",
                              "stage:Programming Filters", "packetinfo:1", "max:224"}));
    }

    void firmwareReload_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::newRow("processor older") << QStringList{"--version", "0104", "--filters", "3"};
        QTest::newRow("ten filters stored") << QStringList{"--filters", "10"};
        QTest::newRow("sixteen filters stored") << QStringList{};
    }
    void firmwareReload()
    {
        QFETCH(QStringList, simArgs);
        SimRig rig;
        QVERIFY(rig.startSim(2, simArgs));
        rig.model.ComPort = 2;
        const QByteArray image = rig.writeFilterImage();
        auto &seq = rig.sequence();
        // The reload cannot be cancelled: a request while it runs is ignored.
        QObject::connect(&seq, &ProgrammingSequence::packetSent, [&seq](int n) {
            if (n == 100 && !seq.cancelEnabled())
                seq.requestCancel();
        });
        QVERIFY(seq.ProgramDevice());
        QVERIFY(!IsCancelRequested());
        QVERIFY(rig.sim().waitForLogLine("XMODEM F P F 224 blocks"));
        QVERIFY(rig.sim().waitForLogLine("RESET"));
        QCOMPARE(rig.sim().logLines(), QStringList({"T S", "F V"}) + kFirmwareUpload + kFilterUpload);
        QCOMPARE(rig.sim().firmware(), readFile(rig.options.firmwarePath));
        QCOMPARE(rig.sim().image(), image);
        QCOMPARE(rig.signalLog,
                 QStringList({"stage:Determining Firmware Status", "cancel:0", "stage:Uploading Firmware",
                              "packetinfo:1", "warning:1", "max:5952", "packetinfo:0", "warning:0", "cancel:1",
                              "stage:Programming Filters", "packetinfo:1", "max:224"}));
        QVERIFY(rig.dialog.messages.empty());
    }

    void missingFirmwareFileNamesTheFolder()
    {
        SimRig rig;
        QVERIFY(rig.startSim(1, {"--filters", "3"}));
        (void)rig.writeFilterImage();
        rig.options.firmwarePath.clear(); // the program folder has no korvanes.fwr
        QVERIFY(!rig.sequence().ProgramDevice());
        QCOMPARE(rig.dialog.titles(), QStringList{"Error!"});
        QCOMPARE(rig.dialog.messages[0].text,
                 "Error reading firmware file.  Please ensure file named \"korvanes.fwr\" is in the program folder: "
                     + rig.programFolder.path() + "Firmware file may be invalid.");
        QVERIFY(rig.sim().waitForLogLine("T S"));
        QCOMPARE(rig.sim().logLines(), QStringList{"T S"});
    }

    void cancelDuringTheUploadShowsNoComError()
    {
        SimRig rig;
        QVERIFY(rig.startSim(1, {"--filters", "3"}));
        (void)rig.writeFilterImage();
        auto &seq = rig.sequence();
        QObject::connect(&seq, &ProgrammingSequence::packetSent, [&seq](int n) {
            if (n == 40)
                seq.requestCancel();
        });
        QVERIFY(!seq.ProgramDevice());
        QVERIFY(rig.dialog.messages.empty());
        QVERIFY(rig.sim().waitForLogLine("EOT"));
        QVERIFY(!rig.sim().logLines().contains("RESET"));
        QVERIFY(rig.sim().image() != readFile(rig.programFolder.filePath("filter.bin")));
    }

    void discoveryPrefersTheChosenPortThenAscends()
    {
        SimRig rig;
        QVERIFY(rig.startSim(2));
        QVERIFY(rig.startSim(6));
        rig.model.ComPort = 6;
        QVERIFY(rig.sequence().LocateDevice());
        QCOMPARE(rig.model.ComPort, int16_t(6));
        rig.model.ComPort = 4;
        rig.signalLog.clear();
        QVERIFY(rig.sequence().LocateDevice());
        QCOMPARE(rig.model.ComPort, int16_t(2));
        QCOMPARE(rig.signalLog, QStringList({"stage:Finding Korvane-S", "port:4", "port:1", "port:2", "comport:2"}));
        QCOMPARE(rig.sim(1).logLines(), QStringList{"F V"});
        QVERIFY(rig.dialog.messages.empty());
    }

    void imageThatCannotBeWrittenLeavesTheProcessorAlone()
    {
        SimRig rig;
        QVERIFY(rig.startSim(1));
        rig.options.programFolder = rig.programFolder.filePath("missing/folder");
        QVERIFY(!rig.sequence().run());
        QCOMPARE(rig.dialog.titles(), QStringList{"Temporary File Error"});
        QCOMPARE(rig.dialog.messages[0].text,
                 QStringLiteral("Problem creating temporary file for programming Korvane-S.\rDisk may be full.  Unable "
                                "to program Korvane-S"));
        QCOMPARE(rig.sim().logLines(), QStringList{"F V"});
    }
};

QTEST_GUILESS_MAIN(TestProgrammingSequence)
#include "test_programmingsequence.moc"
