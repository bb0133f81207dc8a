#pragma once
// The programming sequence as a tool object: discovery, building filter.bin, the firmware
// check and reload, the filter upload and the final message. It shows its messages through
// the user-dialog interface and reports its progress by signals, so the progress window
// (frmComm) and the command-line progress bar are two views of the same run.
//
// DRAFT interface: the device library owns and may refine it.

#include "config/model.h"
#include "config/userdialog.h"

#include <QObject>
#include <QString>

namespace korvane {

struct ProgrammingOptions {
    QString programFolder;   // filter.bin is written here; korvanes.fwr is read from here
    QString firmwarePath;    // empty: programFolder + "/korvanes.fwr"
    QString onlyDevicePath;  // non-empty: probe and program only this serial device
};

class ProgrammingSequence : public QObject {
    Q_OBJECT
public:
    ProgrammingSequence(Model &model, UserDialog &dialog, ProgrammingOptions options, QObject *parent = nullptr);

    // Discovery, image build, ProgramDevice and the closing message ("Success" or
    // "Programming Aborted"). True only when the processor was programmed. Pumps events
    // while it waits, so views stay live; call requestCancel() from a view to cancel.
    bool run();
    void requestCancel();

signals:
    void stageChanged(const QString &caption);       // "Finding Korvane-S", "Configuring Filters", ...
    void portProbed(int port);                       // view shows "Port: COM " + port
    void comPortChanged(int port);                   // discovery found the processor here
    void packetInfoVisibleChanged(bool visible);
    void warningVisibleChanged(bool visible);
    void cancelEnabledChanged(bool enabled);
    void progressMaximumChanged(int packets);
    void packetSent(int packet);
};

} // namespace korvane
