#pragma once
// frmComm, "Transferring Filters": the progress window of a programming run. A thin view:
// the programming sequence drives it through the slots below and learns of the Cancel
// button through cancelClicked(). It tells a screen reader what changes (ProgressAnnouncer):
// each stage, the packet count every few seconds, and the result.

#include "progressannouncer.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QFrame;

namespace korvane {

class CommWindow : public QWidget {
    Q_OBJECT
public:
    // Window heights in twips as the window was designed (frame included); the client
    // height is that less the title bar and borders.
    static constexpr int kWarningHeightTwips = 4395;
    static constexpr int kNoWarningHeightTwips = 1980;

    explicit CommWindow(QWidget *parent = nullptr);

    [[nodiscard]] bool isWarningShown() const { return warningShown_; }
    [[nodiscard]] bool isPacketInfoShown() const;
    [[nodiscard]] bool isCancelEnabled() const;

public slots:
    void ShowWarning();
    void HideWarning();
    void ShowPacketInfo();
    void HidePacketInfo();

    void setStageCaption(const QString &caption); // CommInfo frame caption
    void setProbedPort(int port);                 // "Port: COM " + port
    void setProbedDevice(const QString &name);    // "Port: " + name (a network serial server)
    void setPacketInfoVisible(bool visible);
    void setWarningVisible(bool visible);
    void setCancelEnabled(bool enabled);
    void setProgressMaximum(int packets);
    void setPacketSent(int packet);
    // Shows, at the foot of the window, that the machine may sleep during the run (no
    // inhibitor of the login manager); problem in the system's words.
    void showSleepWarning(const QString &problem);
    // The program was asked to end (a signal): passed on as stopRequested().
    void requestStop();
    // The run's result as its closing message titles it, said before that message shows.
    void announceResult(const QString &result);

signals:
    void cancelClicked();
    // The run must stop as soon as it safely can: at once, or after the firmware reload.
    void stopRequested();
    // The CommInfo caption now shown, so observers can follow the stages of a run.
    void stageCaptionShown(const QString &caption);

protected:
    // The close box is the Cancel button while Cancel is enabled, and is refused while it is
    // not (the firmware reload): the window stays, with its warning, until the run ends and
    // the main window destroys it.
    void closeEvent(QCloseEvent *event) override;

private:
    void setClientHeightFromTwips(int twips);
    void buildWarningArea();
    // Puts the sleep warning (when shown) under the rest and makes the window that much taller.
    void placeSleepNote();
    void setWarningAreaShown(bool shown);
    // Says text through a new notice (an accessible notification that appears).
    void announce(const std::optional<QString> &text);

    QGroupBox *CommInfo;
    QLabel *lblPort;
    QLabel *lblDataPacket;
    QLabel *lblPacketNumber;
    QProgressBar *pbUploadProgress;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *lblWarning;
    QFrame *Line1;
    QPushButton *Cancel;
    QLabel *sleepNote_;
    QWidget *notice_ = nullptr; // the last notice: no room on screen, nothing shown; its name is read
    ProgressAnnouncer announcer_;
    bool warningShown_ = false;
    int baseClientHeight_ = 0;    // the client height without the sleep warning
    int warningClientHeight_ = 0; // client height that shows the whole warning area
};

} // namespace korvane
