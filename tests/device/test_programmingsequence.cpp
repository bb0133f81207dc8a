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

    // Each fault must end in failure with the right message, never in a success report.
    void faults_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("lastLogLine");
        QTest::newRow("verdict failed") << QStringList{"--fault", "verdict-failed"} << false
                                        << QStringList{"COM Error!"} << "EOT";
        QTest::newRow("filter command refused") << QStringList{"--fault", "invalid=F P F"} << false
                                                << QStringList{"COM Error!"} << "F P F";
        QTest::newRow("vanishes mid-upload") << QStringList{"--fault", "vanish-after=50"} << false
                                             << QStringList{"COM Error!"} << "VANISH after 50 blocks";
        QTest::newRow("status refused") << QStringList{"--fault", "invalid=T S"} << true << QStringList{} << "RESET";
        QTest::newRow("version unreadable") << QStringList{"--version", "01x5"} << false << QStringList{"Error!"}
                                            << "F V";
        QTest::newRow("firmware command refused") << QStringList{"--version", "0100", "--fault", "invalid=F P C"}
                                                  << false << QStringList{"Error!"} << "F P C";
        QTest::newRow("lost block is sent again") << QStringList{"--fault", "drop-block=7"} << true << QStringList{}
                                                  << "RESET";
        QTest::newRow("corrupt block is sent again") << QStringList{"--fault", "corrupt-block=5"} << true
                                                     << QStringList{} << "RESET";
        QTest::newRow("receiver wants CRC") << QStringList{"--fault", "c-instead-of-nak"} << false
                                            << QStringList{"COM Error!"} << "EOT";
        QTest::newRow("lost ack is sent again") << QStringList{"--fault", "drop-ack=220"} << true << QStringList{}
                                                << "RESET";
    }
    void faults()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(bool, ok);
        QFETCH(QStringList, titles);
        QFETCH(QString, lastLogLine);
        SimRig rig;
        QStringList args = simArgs;
        if (!args.contains("--filters") && !args.join(' ').contains("invalid=T S"))
            args += QStringList{"--filters", "3"};
        QVERIFY(rig.startSim(1, args));
        const QByteArray image = rig.writeFilterImage();
        QCOMPARE(rig.sequence().ProgramDevice(), ok);
        QCOMPARE(rig.dialog.titles(), titles);
        QVERIFY(rig.sim().waitForLogLine(lastLogLine, 15000));
        QCOMPARE(rig.sim().logLines().back(), lastLogLine);
        if (ok)
            QCOMPARE(rig.sim().image(), image);
        if (QTest::currentDataTag() == QLatin1String("version unreadable"))
            QCOMPARE(rig.dialog.messages[0].text, QStringLiteral("Error retrieving firmware version from Korvane-S"));
        if (QTest::currentDataTag() == QLatin1String("firmware command refused"))
            QCOMPARE(rig.dialog.messages[0].text,
                     QStringLiteral("Error transmitting updated firmware.  Unit may not function properly.  Please "
                                    "contact Halvern for further assistance."));
        if (titles == QStringList{"COM Error!"})
            QCOMPARE(rig.dialog.messages[0].text,
                     QStringLiteral("Error Writing COM Port.\rEnsure Korvane-S is on and\rcorrect COM Port is selected"));
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

    void silentProcessorIsNotFound()
    {
        SimRig rig;
        QVERIFY(rig.startSim(5, {"--fault", "silent"}));
        rig.model.ComPort = 5;
        QVERIFY(!rig.sequence().LocateDevice());
        QCOMPARE(rig.model.ComPort, int16_t(5));
        QCOMPARE(rig.dialog.titles(), QStringList{"Communications Error!"});
        QCOMPARE(rig.dialog.messages[0].text,
                 QStringLiteral("Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting is correct."));
        QCOMPARE(rig.sim().logLines(), QStringList({"F V", "F V", "F V", "F V", "F V"}));
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
