// korvane-s-cli through Debian's ser2net in front of the simulated processor: the image that
// arrives, a server that goes away during the upload, and one that is not there.

#include "datatable.h"
#include "simprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using korvane::test::addBoolRows;
using korvane::test::SimProcess;

namespace {

// A TCP port on 127.0.0.1 that was free a moment ago.
quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

// ser2net in the foreground with one telnet (RFC 2217) and one raw TCP port in front of device.
class Ser2Net {
public:
    explicit Ser2Net(const QString &device)
    {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("ser2net"), {"/usr/sbin", "/usr/bin"});
        if (exe.isEmpty())
            return;
        telnetPort = freePort();
        rawPort = freePort();
        QFile yaml(dir.filePath("ser2net.yaml"));
        if (!yaml.open(QIODevice::WriteOnly))
            return;
        const QString connector = QStringLiteral("  connector: serialdev,%1,9600n81,local\n").arg(device);
        yaml.write(QStringLiteral("connection: &telnet\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n%2"
                                  "connection: &raw\n  accepter: tcp,127.0.0.1,%3\n%2")
                       .arg(telnetPort)
                       .arg(connector)
                       .arg(rawPort)
                       .toLocal8Bit());
        yaml.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(exe, {"-n", "-u", "-P", dir.filePath("pid"), "-c", yaml.fileName()});
        // Up once both ports take connections; each try sleeps, none spins.
        for (int i = 0; i < 100 && process.state() != QProcess::NotRunning; ++i) {
            if (accepts(telnetPort) && accepts(rawPort)) {
                ready = true;
                return;
            }
            QThread::msleep(50);
        }
    }
    ~Ser2Net() { stop(); }
    void stop()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(3000);
    }
    static bool accepts(quint16 port)
    {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(1000);
    }

    QTemporaryDir dir;
    QProcess process;
    quint16 telnetPort = 0;
    quint16 rawPort = 0;
    bool ready = false;
};

struct CliRun {
    int exitCode = -1;
    QString err;
};

class Fixture {
public:
    Fixture()
    {
        QFile::copy(programDir() + "/korvanes.fwr", folder.filePath("korvanes.fwr"));
        // Every stage type: its image holds the byte 255, which the telnet layer must escape.
        settings = folder.filePath("every-type.min");
        QFile::copy(qEnvironmentVariable("KORVANE_SOURCE_DIR") + "/fuzz/corpus/fuzz_settingsfile/every-type.min",
                    settings);
    }
    static QString programDir() { return qEnvironmentVariable("KORVANE_PROGRAM_DIR"); }
    static QString cli() { return programDir() + "/korvane-s-cli"; }
    void start(QProcess &p, const QString &device)
    {
        p.setWorkingDirectory(programDir());
        p.start(cli(), {"program", settings, "--folder", folder.path(), "--yes", "--device", device});
    }
    CliRun finish(QProcess &p)
    {
        CliRun r;
        if (!p.waitForFinished(120000))
            p.kill();
        p.waitForFinished();
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }
    QByteArray builtImage() const
    {
        QFile f(folder.filePath("filter.bin"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    QString settings;
};

// The processor holds no filters and a newer firmware: only the filter image travels.
const QStringList kFiltersOnly{"--filters", "0", "--version", "9999"};

} // namespace

class TestSer2Net : public QObject {
    Q_OBJECT

private slots:
    void programsTheExactImage_data() { addBoolRows("telnet", "tcp", "rfc2217"); }
    void programsTheExactImage()
    {
        QFETCH(bool, telnet);
        SimProcess sim(kFiltersOnly);
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        Ser2Net server(sim.devicePath());
        if (server.telnetPort == 0)
            QSKIP("ser2net is not installed (tools/install-deps.sh)");
        QVERIFY2(server.ready, server.process.readAll().constData());
        Fixture fx;
        const QString device = telnet ? QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.telnetPort)
                                      : QStringLiteral("tcp://127.0.0.1:%1").arg(server.rawPort);
        QProcess p;
        fx.start(p, device);
        const CliRun r = fx.finish(p);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(r.err.contains("Success"));
        const QByteArray image = fx.builtImage();
        QCOMPARE(image.size(), 28672);
        QVERIFY(image.contains('\xff'));
        QCOMPARE(sim.image(), image);
    }

    // The server goes away while the image is on its way: the run ends aborted, saying why.
    void serverStoppedDuringUpload()
    {
        SimProcess sim(kFiltersOnly + QStringList{"--pace", "9600"});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        Ser2Net server(sim.devicePath());
        if (server.telnetPort == 0)
            QSKIP("ser2net is not installed (tools/install-deps.sh)");
        QVERIFY(server.ready);
        Fixture fx;
        const QString device = QStringLiteral("rfc2217://127.0.0.1:%1").arg(server.telnetPort);
        QProcess p;
        fx.start(p, device);
        QVERIFY(sim.waitForLogLine("F P F", 30000));
        QTest::qWait(2000); // some 14 of the 224 packets at 9600 baud
        server.stop();
        const CliRun r = fx.finish(p);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(device + ": connection closed by the server"), qPrintable(r.err));
        QVERIFY(r.err.contains("Programming Aborted"));
        QVERIFY(!r.err.contains("Success"));
        QVERIFY(sim.image().isEmpty());
    }

    void refusedConnection()
    {
        Fixture fx;
        const QString device = QStringLiteral("rfc2217://127.0.0.1:%1").arg(freePort());
        QProcess p;
        fx.start(p, device);
        const CliRun r = fx.finish(p);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(device + ": connection refused"), qPrintable(r.err));
        QVERIFY(!r.err.contains("Success"));
    }
};

QTEST_GUILESS_MAIN(TestSer2Net)
#include "test_ser2net.moc"
