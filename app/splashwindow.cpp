#include "splashwindow.h"

#include "aboutwindow.h"
#include "korvane_version.h"
#include "programicon.h"

#include <QFrame>
#include <QLabel>

namespace korvane {

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(420, 220);
    auto *border = new QFrame(this);
    border->setFrameShape(QFrame::Box);
    border->setGeometry(0, 0, 420, 220);

    picLogo = new QLabel(this);
    picLogo->setObjectName(QStringLiteral("picLogo"));
    picLogo->setPixmap(ProgramPixmap(96));
    picLogo->setGeometry(24, 40, 96, 96);

    lblProductName = new QLabel(this);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont big = lblProductName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    lblProductName->setFont(big);
    lblProductName->setWordWrap(true);
    lblProductName->setGeometry(140, 36, 264, 64);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setGeometry(140, 104, 264, 20);

    lblPlatform = new QLabel(
        QStringLiteral("Filter sets, editors and programming for the Korvane-S audio filter processor"), this);
    lblPlatform->setObjectName(QStringLiteral("lblPlatform"));
    lblPlatform->setWordWrap(true);
    lblPlatform->setGeometry(140, 130, 264, 40);

    lblCopyright = new QLabel(QStringLiteral("Starting..."), this);
    lblCopyright->setObjectName(QStringLiteral("lblCopyright"));
    lblCopyright->setGeometry(24, 186, 380, 20);

    lblVersion->setText(VersionText());
    lblProductName->setText(kProgramTitle + QStringLiteral(" Configuration Utility"));
    CentreOnScreen(this);
}

} // namespace korvane
