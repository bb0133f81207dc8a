// The program korvane-s itself on an X server of its own (Xvfb), driven by keys (xdotool) and
// told to end by a signal as a logout or a shutdown tells it: during the firmware reload it
// goes on until the reload has ended, then cancels the run, closes the port, writes
// default.min and exits 0; outside a run it writes default.min and exits 0 at once.

#include "simprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using korvane::test::SimProcess;

namespace {

QString xdotool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(60000); // "search --sync" waits for the window
    return QString::fromLocal8Bit(p.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0).trimmed();
}

// Types keys into the window titled exactly title, once it is shown. No window manager:
// the window is given the focus directly.
void press(const QString &title, const QString &keys)
{
    const QString id = xdotool(
        {"search", "--sync", "--onlyvisible", "--name", "^" + QRegularExpression::escape(title) + "$"});
    xdotool({"windowfocus", "--sync", id});
    xdotool({"key", "--clearmodifiers", keys});
}

// korvane-s from a program folder of its own (so default.min and filter.bin land there),
// started in an empty working folder.
class Window {
public:
    Window()
    {
        const QString shipped = qEnvironmentVariable("KORVANE_PROGRAM_DIR");
        QDir(dir.path()).mkpath("prog");
        QDir(dir.path()).mkpath("work");
        for (const char *name : {"korvane-s", "libkorvanes.so", "korvanes.fwr", "20Band"})
            QFile::copy(shipped + "/" + name, dir.filePath(QStringLiteral("prog/") + name));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.filePath("work"));
        process.setReadChannel(QProcess::StandardError);
        process.start(dir.filePath("prog/korvane-s"), {});
    }
    ~Window()
    {
        process.kill();
        process.waitForFinished();
    }
    [[nodiscard]] bool waitForMainWindow()
    {
        return process.waitForStarted()
            && !xdotool({"search", "--sync", "--onlyvisible", "--name", "^Korvane-S Configuration Utility$"}).isEmpty();
    }
    void signal(int sig) { ::kill(static_cast<pid_t>(process.processId()), sig); }
    [[nodiscard]] bool waitForError(const QByteArray &text)
    {
        while (!err.contains(text) && process.waitForReadyRead(30000))
            err += process.readAllStandardError();
        return err.contains(text);
    }
    [[nodiscard]] bool endedCleanly()
    {
        const bool ended = process.waitForFinished(60000);
        err += process.readAllStandardError();
        return ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    // Where File > Exit writes it: the program folder, or the per-user folder.
    [[nodiscard]] bool wroteDefaultSettings() const
    {
        return QFile::exists(dir.filePath("prog/default.min"))
            || QFile::exists(dir.filePath("config/korvane-s/default.min"));
    }

    QTemporaryDir dir;
    QProcess process;
    QByteArray err;
};

} // namespace

class TestSignals : public QObject {
    Q_OBJECT

    QProcess xvfb_;
    QTemporaryDir comDir_;

private slots:
    void initTestCase()
    {
        // The server prints its display number on the descriptor given once it takes clients.
        xvfb_.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"});
        QVERIFY2(xvfb_.waitForStarted(), "Xvfb is missing");
        while (!xvfb_.canReadLine() && xvfb_.waitForReadyRead(60000)) { }
        const QByteArray display = xvfb_.readLine().trimmed();
        QVERIFY(!display.isEmpty());
        qputenv("DISPLAY", ":" + display); // for xdotool and the program
        qputenv("KORVANE_COM_DIR", comDir_.path().toLocal8Bit());
    }
    void cleanupTestCase()
    {
        xvfb_.terminate();
        xvfb_.waitForFinished();
    }

    void termDuringTheReloadWaitsForItsEnd()
    {
        // Older firmware on the processor: a reload, held by the processor after block 100.
        SimProcess sim({"--com", "1", "--version", "0104", "--filters", "2", "--fault", "pause-after=100"});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        Window w;
        QVERIFY(w.waitForMainWindow());
        press("Korvane-S Configuration Utility", "ctrl+p");
        press("Program All Filters?", "Return"); // Yes is the default button
        QVERIFY(sim.waitForLogLine("PAUSE after 100 blocks", 60000));
        const QString lock = "/var/lock/LCK.."
            + QFileInfo(sim.devicePath()).canonicalFilePath().mid(5).replace('/', '_');
        const bool locked = QFile::exists(lock);

        w.signal(SIGTERM);
        QVERIFY2(w.waitForError("SIGTERM: Cancel is disabled while the firmware is being reloaded"), w.err);
        QCOMPARE(w.process.state(), QProcess::Running);
        sim.resume();
        QVERIFY2(w.endedCleanly(), w.err);
        QVERIFY2(w.err.contains("Programming Aborted"), w.err);
        QFile fw(w.dir.filePath("prog/korvanes.fwr"));
        QVERIFY(fw.open(QIODevice::ReadOnly));
        QCOMPARE(sim.firmware(), fw.readAll());
        QVERIFY(!sim.logLines().contains("F P F"));
        if (locked)
            QVERIFY2(!QFile::exists(lock), qPrintable(lock));
        QVERIFY(w.wroteDefaultSettings());
    }

    void termOutsideARunSavesAndEnds()
    {
        Window w;
        QVERIFY(w.waitForMainWindow());
        QVERIFY(!w.wroteDefaultSettings());
        w.signal(SIGTERM);
        QVERIFY2(w.endedCleanly(), w.err);
        QVERIFY(w.wroteDefaultSettings());
    }
};

QTEST_GUILESS_MAIN(TestSignals)
#include "test_signals.moc"
