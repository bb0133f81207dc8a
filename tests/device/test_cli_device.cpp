// korvane-s-cli ports, probe and program against simulated processors on real
// pseudo-terminals.

#include "simprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using korvane::test::SimProcess;

namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class CliFixture {
public:
    CliFixture()
    {
        qputenv("KORVANE_COM_DIR", comDir.path().toLocal8Bit());
        QFile::copy(programDir() + "/korvanes.fwr", folder.filePath("korvanes.fwr"));
        settings = folder.filePath("all.min");
        QProcess p;
        p.start(cli(), {"new", settings});
        p.waitForFinished();
    }
    ~CliFixture() { qunsetenv("KORVANE_COM_DIR"); }

    static QString programDir() { return qEnvironmentVariable("KORVANE_PROGRAM_DIR"); }
    static QString cli() { return programDir() + "/korvane-s-cli"; }

    void start(QProcess &p, const QStringList &args)
    {
        p.setWorkingDirectory(programDir());
        p.start(cli(), args);
    }
    CliRun run(const QStringList &args, const QByteArray &input = {}, int timeoutMs = 60000)
    {
        QProcess p;
        start(p, args);
        p.waitForStarted();
        if (!input.isEmpty())
            p.write(input);
        p.closeWriteChannel();
        CliRun r;
        if (!p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }
    QStringList program(const QStringList &extra = {}) const
    {
        return QStringList{"program", settings, "--folder", folder.path(), "--yes"} + extra;
    }
    QByteArray builtImage() const
    {
        QFile f(folder.filePath("filter.bin"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir comDir;
    QTemporaryDir folder;
    QString settings;
};

} // namespace

class TestCliDevice : public QObject {
    Q_OBJECT

private slots:
    void portsListsTheFolderEntries()
    {
        CliFixture fx;
        SimProcess a({"--com", "2"});
        SimProcess b({"--com", "7"});
        QVERIFY(a.isReady() && b.isReady());
        const CliRun r = fx.run({"ports"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 9);
        QCOMPARE(lines[0], QStringLiteral("COM 1  -"));
        QCOMPARE(lines[1], "COM 2  " + fx.comDir.filePath("com2") + " -> " + a.devicePath());
        QCOMPARE(lines[6], "COM 7  " + fx.comDir.filePath("com7") + " -> " + b.devicePath());
    }

    void probeReportsWhatItFound()
    {
        CliFixture fx;
        SimProcess sim({"--com", "4", "--filters", "7", "--version", "0210"});
        QVERIFY(sim.isReady());
        CliRun r = fx.run({"probe", "--port", "6"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, "COM port: 4\nDevice: " + fx.comDir.filePath("com4")
                            + "\nFirmware version: 210\nFilters loaded: 7\n");
        QVERIFY(r.err.contains("Port: COM 6\nPort: COM 1\nPort: COM 2\nPort: COM 3\nPort: COM 4\n"));

        r = fx.run({"probe", "--device", sim.devicePath()});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("Device: " + sim.devicePath() + "\nFirmware version: 210\n"));
    }

    void probeWithoutProcessor()
    {
        CliFixture fx;
        const CliRun r = fx.run({"probe"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Communications Error!: Unable to locate Korvane-S."));
        QCOMPARE(fx.run({"probe", "--port", "12"}).exitCode, 2);
        QCOMPARE(fx.run({"probe", "--port", "2", "--device", "/dev/null"}).exitCode, 2);
    }

    void programUploadsTheBuiltImage()
    {
        CliFixture fx;
        SimProcess sim({"--com", "5", "--filters", "3"});
        QVERIFY(sim.isReady());
        const CliRun r = fx.run(fx.program({"--port", "5"}));
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("Finding Korvane-S\n  Port: COM 5\nConfiguring Filters"));
        QVERIFY(r.err.contains("Success: Korvane-S successfully programmed"));
        QVERIFY(r.err.contains("Data Packet: 224/224"));
        QVERIFY(sim.waitForLogLine("RESET"));
        QCOMPARE(sim.logLines(), QStringList({"F V", "T S", "F V", "F P F", "XMODEM F P F 224 blocks", "EOT", "RESET"}));
        QCOMPARE(fx.builtImage().size(), 28672);
        QCOMPARE(sim.image(), fx.builtImage());
    }

    void programLooksFirstOnTheFilesPort()
    {
        CliFixture fx;
        QProcess p;
        p.start(CliFixture::cli(), {"new", fx.settings, "--port", "6"});
        QVERIFY(p.waitForFinished());
        SimProcess sim({"--com", "6", "--filters", "3"});
        QVERIFY(sim.isReady());
        const CliRun r = fx.run(fx.program());
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("Finding Korvane-S\n  Port: COM 6\nConfiguring Filters"));
    }

    void programReloadsOldFirmwareFirst()
    {
        CliFixture fx;
        SimProcess sim({"--com", "1", "--version", "0101", "--filters", "2"});
        QVERIFY(sim.isReady());
        const CliRun r = fx.run(fx.program({"--device", sim.devicePath()}));
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.err.contains("WARNING:  Do not turn off the power"));
        QVERIFY(sim.waitForLogLine("XMODEM F P F 224 blocks"));
        QVERIFY(sim.waitForLogLine("RESET"));
        QCOMPARE(sim.logLines(), QStringList({"F V", "T S", "F V", "F P C", "XMODEM F P C 5952 blocks", "EOT", "RESET",
                                              "F P F", "XMODEM F P F 224 blocks", "EOT", "RESET"}));
        QFile fw(fx.folder.filePath("korvanes.fwr"));
        QVERIFY(fw.open(QIODevice::ReadOnly));
        QCOMPARE(sim.firmware(), fw.readAll());
    }

    void failedUploadIsNotASuccess()
    {
        CliFixture fx;
        SimProcess sim({"--com", "1", "--filters", "3", "--fault", "verdict-failed"});
        QVERIFY(sim.isReady());
        const CliRun r = fx.run(fx.program());
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("COM Error!: Error Writing COM Port.\nEnsure Korvane-S is on and\ncorrect COM Port is selected"));
        QVERIFY(r.err.contains("Programming Aborted: Programming operation aborted!\nFilters stored in Korvane-S are no longer valid."));
        QVERIFY(!r.err.contains("Success"));
    }

    void missingFirmwareFile()
    {
        CliFixture fx;
        SimProcess sim({"--com", "1", "--filters", "3"});
        QVERIFY(sim.isReady());
        const CliRun r = fx.run(fx.program({"--firmware", fx.folder.filePath("none.fwr")}));
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Error!: Error reading firmware file."));
        QVERIFY(!r.err.contains("COM Error!"));
    }

    void declinedConfirmationTouchesNothing()
    {
        CliFixture fx;
        SimProcess sim({"--com", "1"});
        QVERIFY(sim.isReady());
        QStringList args = fx.program();
        args.removeAll("--yes");
        const CliRun r = fx.run(args, "n\n");
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Program All Filters?"));
        QVERIFY(sim.logLines().isEmpty());
        QVERIFY(fx.builtImage().isEmpty());
    }

    // Ctrl-C during a paced upload cancels it: EOT, no reset, no COM error, exit 1.
    void interruptCancels()
    {
        CliFixture fx;
        SimProcess sim({"--com", "1", "--filters", "3", "--pace", "9600"});
        QVERIFY(sim.isReady());
        QProcess p;
        fx.start(p, fx.program());
        p.setReadChannel(QProcess::StandardError);
        QVERIFY(p.waitForStarted());
        QByteArray err;
        while (!err.contains("Data Packet: 23/224") && p.waitForReadyRead(10000))
            err += p.readAllStandardError();
        QVERIFY2(err.contains("Data Packet"), err.constData());
        ::kill(static_cast<pid_t>(p.processId()), SIGINT);
        QVERIFY(p.waitForFinished(20000));
        err += p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(err.contains("Cancel requested"));
        QVERIFY(err.contains("Programming Aborted"));
        QVERIFY(!err.contains("COM Error!"));
        QVERIFY(sim.waitForLogLine("EOT"));
        QVERIFY(!sim.logLines().contains("RESET"));
    }
};

QTEST_GUILESS_MAIN(TestCliDevice)
#include "test_cli_device.moc"
