#pragma once
// The programming sequence as a tool object: discovery, building filter.bin, the firmware
// check and reload, the filter upload and the final message. It shows its messages through
// the user-dialog interface and reports its progress by signals, so the progress window
// (frmComm) and the command-line progress bar are two views of the same run.
//
// The confirmation "Program All Filters?" and locking the main window stay with the view.

#include "config/model.h"
#include "config/userdialog.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace korvane {

class SerialLine;

struct ProgrammingOptions {
    QString programFolder;   // the program folder; filter.bin (written for the user: the upload
                             // sends the image from memory) and korvanes.fwr are found from it
                             // (FilterImagePath, FindFirmwareFile in config/filelocations.h)
    QString firmwarePath;    // empty: FindFirmwareFile(programFolder)
    QString onlyDevicePath;  // non-empty: probe and program only this serial device
    SerialLine *line = nullptr; // null: the machine's serial port (QtSerialLine); tests pass a fake
};

class ProgrammingSequence : public QObject {
    Q_OBJECT
public:
    ProgrammingSequence(Model &model, UserDialog &dialog, ProgrammingOptions options, QObject *parent = nullptr);
    ~ProgrammingSequence() override;

    // Discovery, image build, ProgramDevice and the closing message ("Success" or
    // "Programming Aborted"). True only when the processor was programmed. Holds the login
    // manager's sleep/shutdown/idle inhibitor for its whole length (when there is one). Pumps events
    // while it waits, so views stay live; call requestCancel() from a view to cancel.
    bool run();
    // Sets the process-wide cancel request, except while the firmware is being reloaded
    // (cancelEnabled() false): an interrupted reload would leave the processor unusable.
    void requestCancel();
    [[nodiscard]] bool cancelEnabled() const { return m_cancelEnabled; }

    // The two halves of run(), for views that need them alone.
    // Finds the processor (preferred port model.ComPort, then 1..9) and makes its port
    // model.ComPort; shows "Communications Error!" when none answered.
    [[nodiscard]] bool LocateDevice();
    // Firmware check and reload, "F P F", the upload of the image and "RESET" on the port
    // model.ComPort; shows the specific error messages. True when the processor was programmed.
    // Sends the image run() built; called on its own, filter.bin as it is at the start.
    [[nodiscard]] bool ProgramDevice();

    [[nodiscard]] QString imagePath() const;
    [[nodiscard]] QString firmwarePath() const;

signals:
    void stageChanged(const QString &caption);       // "Finding Korvane-S", "Configuring Filters", ...
    void portProbed(int port);                       // view shows "Port: COM " + port
    void comPortChanged(int port);                   // discovery found the processor here
    void packetInfoVisibleChanged(bool visible);
    void warningVisibleChanged(bool visible);
    void cancelEnabledChanged(bool enabled);
    void progressMaximumChanged(int packets);
    void packetSent(int packet);

private:
    SerialLine &line();
    // "Error reading firmware file", naming where the file was looked for and why it failed.
    [[nodiscard]] QString firmwareFileErrorText() const;
    void setCancelEnabled(bool enabled);

    Model &m_model;
    UserDialog &m_dialog;
    ProgrammingOptions m_options;
    SerialLine *m_ownLine = nullptr;
    QByteArray m_image; // the image this run built and sends
    bool m_cancelEnabled = true;
};

} // namespace korvane
