#pragma once
// frmAbout, "About Korvane": title, version, description and the System Info button.

#include "config/userdialog.h"
#include "editors/windowplacement.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace korvane {

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    AboutWindow(UserDialog &dialog, QWidget *parent = nullptr);

    // There is no system information tool to start on this platform.
    void StartSysInfo();

private:
    UserDialog &dialog_;
    QLabel *picIcon;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;
    QLabel *lblDisclaimer;
    QPushButton *cmdOK;
    QPushButton *cmdSysInfo;
};

} // namespace korvane
