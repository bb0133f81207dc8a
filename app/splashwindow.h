#pragma once
// frmSplash: shown while the program starts.

#include <QWidget>

class QLabel;

namespace korvane {

class SplashWindow : public QWidget {
    Q_OBJECT
public:
    explicit SplashWindow(QWidget *parent = nullptr);

private:
    QLabel *picLogo;
    QLabel *lblProductName;
    QLabel *lblVersion;
    QLabel *lblPlatform;
    QLabel *lblCopyright;
};

} // namespace korvane
