#pragma once
// Runs the simulated processor (korvane-s-sim from the program folder) for one test: starts
// it with the log, filter image and firmware outputs in a private temporary folder, waits
// for its "DEVICE <path>" line, and stops it again when the object goes out of scope.
//
//     SimProcess sim({"--fault", "nak-only"});
//     QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
//     port.setPortName(sim.devicePath());
//
// To attach the sim as COM n, set KORVANE_COM_DIR (a temporary folder) in the test's own
// environment before constructing it and pass {"--com", "n"}: the sim inherits the
// variable and the device library under test reads the same folder.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace korvane::test {

class SimProcess {
public:
    // extraArguments follow the --log/--image-out/--firmware-out options the fixture adds;
    // startTimeoutMs bounds the wait for the DEVICE line.
    explicit SimProcess(const QStringList &extraArguments = {}, int startTimeoutMs = 5000);
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // The sim's executable: $KORVANE_PROGRAM_DIR/korvane-s-sim.
    [[nodiscard]] static QString programPath();

    [[nodiscard]] bool isReady() const { return !devicePath_.isEmpty(); }
    [[nodiscard]] QString errorString() const { return error_; }
    [[nodiscard]] QString devicePath() const { return devicePath_; }
    // Link paths the sim reported ("LINK <path>" lines, for --com and --link).
    [[nodiscard]] QStringList linkPaths() const { return links_; }

    [[nodiscard]] QString folder() const { return dir_.path(); }
    [[nodiscard]] QString logPath() const { return dir_.filePath("sim.log"); }
    [[nodiscard]] QString imagePath() const { return dir_.filePath("filter-image.bin"); }
    [[nodiscard]] QString firmwarePath() const { return dir_.filePath("firmware.bin"); }

    // The log so far, one entry per line; the sim flushes after every line.
    [[nodiscard]] QStringList logLines() const;
    // Waits (without spinning) until the log has a line equal to line; false on time-out.
    [[nodiscard]] bool waitForLogLine(const QString &line, int timeoutMs = 5000) const;
    // Contents of the stored filter image / firmware (empty when none was received).
    [[nodiscard]] QByteArray image() const;
    [[nodiscard]] QByteArray firmware() const;

    // For --once and vanish faults: waits for the sim to end on its own.
    [[nodiscard]] bool waitForExit(int timeoutMs = 5000);
    [[nodiscard]] bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    [[nodiscard]] int exitCode() const { return process_.exitCode(); }
    // After "PAUSE after N blocks" (the pause-after fault): the sim goes on (SIGUSR1).
    void resume();
    // Asks the sim to stop (SIGTERM, so it removes its links) and waits for it.
    void stop();

private:
    QTemporaryDir dir_;
    QProcess process_;
    QString devicePath_;
    QStringList links_;
    QString error_;
};

} // namespace korvane::test
