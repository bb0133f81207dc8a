#include "aboutwindow.h"

#include "korvane_version.h"
#include "programicon.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace korvane {

AboutWindow::AboutWindow(UserDialog &dialog, QWidget *parent) : QDialog(parent), dialog_(dialog)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Korvane"));
    setFixedSize(384, 236);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(ProgramPixmap(40));
    picIcon->setGeometry(16, 16, 40, 40);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont big = lblTitle->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblTitle->setFont(big);
    lblTitle->setGeometry(72, 14, 296, 26);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(72, 42, 296, 18);

    lblDescription = new QLabel(
        QStringLiteral("The utility allows for the configuration of the ten filter sets on the Korvane"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setGeometry(72, 68, 296, 40);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, 118, 368, 4);

    lblDisclaimer = new QLabel(
        QStringLiteral("This program is licensed for use with the Korvane-S processor. It may be copied and "
                       "distributed only complete and unchanged, together with its help document."),
        this);
    lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setGeometry(16, 130, 240, 90);
    lblDisclaimer->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(272, 136, 96, 26);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(272, 172, 96, 26);
    connect(cmdSysInfo, &QPushButton::clicked, this, &AboutWindow::StartSysInfo);

    lblVersion->setText(VersionText());
    lblTitle->setText(kProgramTitle);
    CentreOnScreen(this);
}

void AboutWindow::StartSysInfo()
{
    dialog_.inform(kProgramTitle, QStringLiteral("System Information Is Unavailable At This Time"), MessageIcon::None);
}

} // namespace korvane
