#pragma once
// The programming sequence as a tool object: discovery, building filter.bin, the firmware
// check and reload, the filter upload and how the run ended. It reports what happened as
// ProgrammingReports, shown in the catalogue's words (messages/usermessages.h) through its
// dialog unless the caller passes a presenter of its own, and its progress by signals, so the
// progress window (frmComm) and the command-line progress bar are two views of the same run.
//
// The confirmation "Program All Filters?" and locking the main window stay with the view.

#include "config/model.h"
#include "config/userdialog.h"
#include "messages/programmingreport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace korvane {

class SerialLine;
struct XmodemProgress;

struct ProgrammingOptions {
    QString programFolder;      // the program folder; filter.bin (written for the user: the upload
                                // sends the image from memory) and korvanes.fwr are found from it
                                // (FilterImagePath, FindFirmwareFile in config/filelocations.h)
    QString firmwarePath;       // empty: FindFirmwareFile(programFolder)
    QString onlyDevicePath;     // non-empty: probe and program only this serial device
    SerialLine *line = nullptr; // null: the run makes its own (makeLine); tests pass a fake
    // The line the run makes for onlyDevicePath (a network serial server's address, or a serial
    // device); empty: the machine's serial port (QtSerialLine). A run made on a thread of its
    // own makes its line there.
    std::function<std::unique_ptr<SerialLine>(const QString &device)> makeLine;
    // Non-empty: the coefficient image to send, built (and written to filter.bin) once by the
    // caller for several runs at once; run() then builds nothing.
    QByteArray image;
    // The settings file the model was read from (for the programming log; may be empty).
    QString settingsPath;
    // Several runs at once, each on a thread of its own: the run honours a cancel request of
    // its own (requestCancel(), requestStop()) instead of the process-wide one.
    bool ownCancelRequest = false;
    // Append the run's line to the programming log (programminglog.h).
    bool writeLog = true;
    // Shows a report to the user, at the moment it happens (the run waits for it, as for a
    // message box). Empty: the catalogue's message through the sequence's dialog.
    std::function<void(const ProgrammingReport &)> present;
};

// What one run found and did, for the programming log and the views that list several runs.
struct ProgrammingFacts {
    QString device;          // the device path of the port used (empty before one answered)
    QString byId;            // its stable /dev/serial/by-id name, or empty
    int comPort = 0;         // COM n of that port
    int firmwareBefore = -1; // the processor's version ("F V") before the run, -1 unknown
    int firmwareAfter = -1;  // after a reload, as it answers then; else firmwareBefore
    bool reloaded = false;   // the firmware was reloaded ("F P C" went out)
    SelfTest filterCheck = SelfTest::NotRun;
    SelfTest codeCheck = SelfTest::NotRun;
    QString imageSha256;              // of the image sent, lower-case hex; empty when none was built
    QList<ProgrammingReport> reports; // every report of the run, in order; the last is how it ended
    double seconds = 0;               // wall time of run() or verify()
};

class ProgrammingSequence : public QObject {
    Q_OBJECT
public:
    ProgrammingSequence(Model &model, UserDialog &dialog, ProgrammingOptions options, QObject *parent = nullptr);
    ~ProgrammingSequence() override;

    // Discovery, image build, ProgramDevice and the closing report (Programmed or Aborted).
    // True only when the processor was programmed. Holds the login manager's inhibitor of
    // sleep, shutdown, idle, the lid switch and the suspend and hibernate keys for its whole
    // length (when there is one; sleepNotPrevented() says when there is none). Pumps events
    // while it waits, so views stay live; call requestCancel() from a view to cancel.
    bool run();
    // Sets the process-wide cancel request, except while the firmware is being reloaded
    // (cancelEnabled() false): an interrupted reload would leave the processor unusable.
    void requestCancel();
    // A request to stop that must not be lost (a signal, the program asked to end): cancels
    // as requestCancel() does, or, while the firmware is being reloaded, is held and cancels
    // the run the moment the reload has ended. Returns true when it was held.
    bool requestStop();
    [[nodiscard]] bool cancelEnabled() const { return cancelEnabled_; }

    // The processor's self-tests alone ("T D F", "T D C") after discovery; reports SelfTested
    // (or DeviceNotFound, ComWriteError). True when the processor answered and no test failed;
    // a firmware that cannot check itself is "not verified", not a failure.
    bool verify();

    // What run() or verify() found; complete when they have returned.
    [[nodiscard]] const ProgrammingFacts &facts() const { return facts_; }

    // The two halves of run(), for views that need them alone.
    // Finds the processor (preferred port model.ComPort, then 1..9) and makes its port
    // model.ComPort; reports DeviceNotFound when none answered.
    [[nodiscard]] bool LocateDevice();
    // Firmware check and reload, "F P F", the upload of the image and "RESET" on the port
    // model.ComPort; reports what failed (at most one report). True when the processor was
    // programmed.
    // Sends the image run() built; called on its own, filter.bin as it is at the start.
    [[nodiscard]] bool ProgramDevice();

    [[nodiscard]] QString imagePath() const;
    [[nodiscard]] QString firmwarePath() const;

signals:
    void stageChanged(const QString &caption); // "Finding Korvane-S", "Configuring Filters", ...
    void portProbed(int port);                 // view shows "Port: COM " + port
    void comPortChanged(int port);             // discovery found the processor here
    void packetInfoVisibleChanged(bool visible);
    void warningVisibleChanged(bool visible);
    void cancelEnabledChanged(bool enabled);
    void progressMaximumChanged(int packets);
    void packetSent(int packet);
    // At the start of run(): the machine may sleep or shut down during the run, because the
    // login manager's inhibitor could not be taken (or only without the lid and the keys);
    // problem in the system's words.
    void sleepNotPrevented(const QString &problem);
    // At the end of run(): the programming log could not be written (problem: the path and
    // the system's words); the run's result stands.
    void logNotWritten(const QString &problem);

private:
    SerialLine &line();
    // FirmwareFileUnreadable: where the file was looked for and why it could not be used.
    [[nodiscard]] ProgrammingReport firmwareFileReport() const;
    void setCancelEnabled(bool enabled);
    void present(const ProgrammingReport &report);
    void cancelNow(); // sets the cancel request this run honours
    void writeLogLine();

    // The steps of ProgramDevice() on its open port, in order. Each returns false when the
    // run must stop there and sets reported when it has presented the report that says why.
    // "T S", the firmware file's version and "F V"; reloadDue when the file is newer or the
    // processor holds 10 or more filters.
    [[nodiscard]] bool askFirmwareStatus(SerialLine &port, bool &reloadDue, bool &reported);
    // Refuses the build's stand-in firmware (unless allowed), else sends the firmware ("F P C").
    [[nodiscard]] bool reloadFirmware(SerialLine &port, bool &reported);
    // After a reload: the version it answers with now and the code checksum ("T D C").
    [[nodiscard]] bool verifyFirmware(SerialLine &port, bool &reported);
    // "F P F", the image over XMODEM, the filter checksum ("T D F") and "RESET".
    [[nodiscard]] bool uploadFilters(SerialLine &port, const QByteArray &image, bool &reported);
    // The port error report when the run failed unreported (not after a cancel); closes the port.
    void finishUpload(SerialLine &port, bool ok, bool reported, QString portProblem);
    // The upload's progress as this sequence's signals.
    [[nodiscard]] XmodemProgress xmodemProgress();

    Model &model_;
    UserDialog &dialog_;
    ProgrammingOptions options_;
    SerialLine *ownLine_ = nullptr;
    QByteArray image_; // the image this run built and sends
    // Views on another thread may ask to cancel while the run disables Cancel for the reload.
    std::mutex cancelMutex_;
    std::atomic<bool> ownCancel_{false}; // ownCancelRequest: this run's cancel request
    std::atomic<bool> cancelEnabled_{true};
    bool stopHeld_ = false; // requestStop() during the reload: cancel when it has ended
    ProgrammingFacts facts_;
    bool filtersTouched_ = false; // "F P C" or "F P F" went out in this ProgramDevice()
};

} // namespace korvane
