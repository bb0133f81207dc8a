// The program's entry procedure: splash window, main window, event loop.

#include "mainwindow.h"
#include "qtuserdialog.h"
#include "splashwindow.h"
#include "startup.h"
#include "programicon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Qt takes its own platform options from the command line; the program reads none.
    QApplication app(argc, argv);
    app.setWindowIcon(korvane::ProgramIcon());

    korvane::Model model;
    korvane::QtUserDialog dialog;

    auto splash = std::make_unique<korvane::SplashWindow>();
    splash->show();
    splash->repaint();
    QApplication::processEvents();
    korvane::WaitWholeSeconds(3, korvane::WholeSecondClock);

    korvane::MainWindow window(model, dialog, QCoreApplication::applicationDirPath());
    dialog.setParent(&window);
    window.load();

    splash->close();
    splash.reset();
    window.show();
    return QApplication::exec();
}
