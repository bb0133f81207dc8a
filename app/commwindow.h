#pragma once
// frmComm, "Transferring Filters": the progress window of a programming run. A thin view:
// the programming sequence drives it through the slots below and learns of the Cancel
// button through cancelClicked().

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

signals:
    void cancelClicked();
    // The CommInfo caption now shown, so observers can follow the stages of a run.
    void stageCaptionShown(const QString &caption);

protected:
    // The close box is the Cancel button while Cancel is enabled, and is refused while it is
    // not (the firmware reload): the window stays, with its warning, until the run ends and
    // the main window destroys it.
    void closeEvent(QCloseEvent *event) override;

private:
    void setClientHeightFromTwips(int twips);
    void setWarningAreaShown(bool shown);

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
    bool warningShown_ = false;
    int warningClientHeight_ = 0; // client height that shows the whole warning area
};

} // namespace korvane
