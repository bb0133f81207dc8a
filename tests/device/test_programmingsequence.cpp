// The programming sequence against the simulated processor on a real pseudo-terminal.

#include "config/filelocations.h"
#include "device/comroutines.h"
#include "device/firmwarefile.h"
#include "device/xmodem.h"
#include "manualclock.h"
#include "scriptedline.h"
#include "simrig.h"

#include <QDir>
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

const QStringList kFilterUpload{"F P F", "XMODEM F P F 224 blocks", "EOT", "T D F", "RESET"};
// The reloaded processor is asked for its version and its code checksum once it answers again.
const QStringList kFirmwareUpload{"F P C", "XMODEM F P C 5952 blocks", "EOT", "RESET", "F V", "T D C"};

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
                              "stage:Programming Filters", "packetinfo:1", "max:224", "stage:Verifying Filters"}));
    }

    // A processor already running the file's firmware version keeps it: with four filters
    // stored, only the filters are sent. A scripted processor on fake time keeps this quick
    // even when the decision goes wrong ("F P C" is left unanswered).
    void equalVersionsKeepTheFirmware()
    {
        ManualClock clock;
        SimRig rig;
        int16_t fileVersion = 0;
        QVERIFY(GetFirmwareFileVersion(rig.options.firmwarePath, fileVersion));
        const QByteArray image = rig.writeFilterImage();
        const QByteArray versionReply
            = QStringLiteral("Korvane-S Rev%1\r\n>").arg(fileVersion, 4, 10, QLatin1Char('0')).toLatin1();
        ScriptedLine line;
        QByteArray received;
        line.responder = [&](ScriptedLine &l, int, const QByteArray &w) {
            if (w == "T S\r\n")
                l.deliver("Filters Loaded: 4\r\n>", 20);
            else if (w == "F V\r\n")
                l.deliver(versionReply, 20);
            else if (w == "F P F\r\n")
                l.deliver(QByteArray("Ready\r\n") + kNAK, 20);
            else if (w.size() == kXmodemPacketSize && w[0] == kSOH) {
                received += w.mid(3, kXmodemBlockSize);
                l.deliver(QByteArray(1, kACK), 5);
            } else if (w == QByteArray(1, kEOT))
                l.deliver(QByteArray(1, kACK) + "Finished\r\n>", 5);
            else if (w == "RESET\r\n")
                l.deliver("\r\n>", 20);
        };
        rig.options.line = &line;
        const bool programmed = rig.sequence().ProgramDevice();
        QVERIFY2(!rig.signalLog.contains("stage:Uploading Firmware"), qPrintable(rig.signalLog.join('|')));
        QCOMPARE(line.countWrites("F P C\r\n"), 0);
        QVERIFY(programmed);
        QCOMPARE(received, image);
        QCOMPARE(line.writes.last(), QByteArray("RESET\r\n"));
        QVERIFY(rig.dialog.messages.empty());
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
        QCOMPARE(
            rig.signalLog,
            QStringList({"stage:Determining Firmware Status", "cancel:0", "stage:Uploading Firmware", "packetinfo:1",
                         "warning:1", "max:5952", "packetinfo:0", "warning:0", "cancel:1", "stage:Verifying Firmware",
                         "stage:Programming Filters", "packetinfo:1", "max:224", "stage:Verifying Filters"}));
        QVERIFY(rig.dialog.messages.empty());
    }

    void missingFirmwareFileNamesTheFolder()
    {
        SimRig rig;
        QVERIFY(rig.startSim(1, {"--filters", "3"}));
        (void)rig.writeFilterImage();
        rig.options.firmwarePath.clear(); // the program folder has no korvanes.fwr
        QVERIFY(!rig.sequence().ProgramDevice());
        QCOMPARE(rig.outcomes(), std::vector{ProgrammingReport::Outcome::FirmwareFileUnreadable});
        QCOMPARE(rig.reports[0].fileProblem, ProgrammingReport::FileProblem::Missing);
        QCOMPARE(rig.reports[0].searched, FirmwareFolders(rig.programFolder.path()));
        QCOMPARE(rig.dialog.titles(), QStringList{"Error!"});
        // The fixed text (its sentences now apart), then every folder that was searched.
        const QString text = rig.dialog.messages[0].text;
        QVERIFY2(text.startsWith("Error reading firmware file.  Please ensure file named \"korvanes.fwr\" is in the "
                                 "program folder: "
                                 + rig.programFolder.path() + "\rFirmware file may be invalid.\rNot found in: "
                                 + rig.programFolder.path() + ", " + UserDataFolder()),
                 qPrintable(text));
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
        // Neither the program folder nor the per-user state folder can hold the image: both
        // lie under a regular file, which not even root can write into.
        QFile plain(rig.programFolder.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        rig.options.programFolder = plain.fileName() + "/bin";
        const QByteArray savedState = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", (plain.fileName() + "/state").toLocal8Bit());
        const bool ran = rig.sequence().run();
        qputenv("XDG_STATE_HOME", savedState);
        QVERIFY(!ran);
        QCOMPARE(rig.outcomes(), std::vector{ProgrammingReport::Outcome::ImageNotWritten});
        QCOMPARE(rig.dialog.titles(), QStringList{"Temporary File Error"});
        const QString text = rig.dialog.messages[0].text;
        const QString fixed = QStringLiteral("Problem creating temporary file for programming Korvane-S.\rDisk may be "
                                             "full.  Unable to program Korvane-S\r");
        QVERIFY2(text.startsWith(fixed + plain.fileName() + "/state/korvane-s/filter.bin: "), qPrintable(text));
        QVERIFY2(text.size() > fixed.size() + plain.fileName().size() + 30, "the system's reason follows");
        QCOMPARE(rig.sim().logLines(), QStringList{"F V"});
    }

    // The view that passes a presenter decides what the user sees: the sequence's own dialog
    // (there for the image build and the timers) shows none of the reports.
    void presenterTakesTheReports()
    {
        SimRig rig; // no processor on any port
        std::vector<ProgrammingReport> seen;
        rig.options.present = [&seen](const ProgrammingReport &r) { seen.push_back(r); };
        QVERIFY(!rig.sequence().LocateDevice());
        QCOMPARE(seen.size(), size_t(1));
        QCOMPARE(seen[0].outcome, ProgrammingReport::Outcome::DeviceNotFound);
        QVERIFY(rig.dialog.messages.empty());
    }

    // The build's stand-in firmware reaches the processor only with the developer switch on:
    // without it the run stops before "F P C", with a message naming the file, and does not
    // claim that the processor's filters were lost.
    void standInFirmwareNeedsTheDeveloperSwitch()
    {
        SimRig rig;
        QVERIFY(rig.startSim(2, {"--version", "0104", "--filters", "3"}));
        rig.model.ResetAllFilterSets();
        rig.model.ComPort = 2;
        QVERIFY(IsStandInFirmware(rig.options.firmwarePath));
        const QByteArray saved = qgetenv("KORVANE_ALLOW_STANDIN_FIRMWARE");
        qunsetenv("KORVANE_ALLOW_STANDIN_FIRMWARE");
        const bool programmed = rig.sequence().run();
        // The reload itself refuses too, before writing a byte.
        ScriptedLine line;
        line.open();
        const bool updated = UpdateFirmware(line, rig.options.firmwarePath);
        qputenv("KORVANE_ALLOW_STANDIN_FIRMWARE", saved);
        QVERIFY(line.writes.isEmpty());
        QVERIFY(!programmed);
        QVERIFY(!updated);
        QCOMPARE(
            rig.outcomes(),
            (std::vector{ProgrammingReport::Outcome::StandInFirmwareRefused, ProgrammingReport::Outcome::Aborted}));
        QCOMPARE(rig.reports[0].makerFile, QDir(UserDataFolder()).filePath("korvanes.fwr"));
        QCOMPARE(rig.dialog.titles(), (QStringList{"Error!", "Programming Aborted"}));
        QVERIFY2(rig.dialog.messages[0].text.contains("stand-in"), qPrintable(rig.dialog.messages[0].text));
        QVERIFY(rig.dialog.messages[0].text.contains(rig.options.firmwarePath));
        QCOMPARE(rig.dialog.messages[1].text, QStringLiteral("Programming operation aborted!"));
        QVERIFY(rig.sim().waitForLogLine("F V"));
        QCOMPARE(rig.sim().logLines(), QStringList({"F V", "T S", "F V"}));
        QVERIFY(rig.sim().firmware().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestProgrammingSequence)
#include "test_programmingsequence.moc"
