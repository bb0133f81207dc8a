// The program's entry procedure: splash window, main window, event loop.
//
// Command line: `korvane-s [FILE.min]` opens FILE.min after the start-up load, as File > Open
// does (the desktop file's %f, "Open with"); `korvane-s --version` prints the version.

#include "mainwindow.h"
#include "programicon.h"
#include "qtuserdialog.h"
#include "splashwindow.h"
#include "startup.h"

#include "device/stopsignals.h"
#include "korvane_version.h"

#include <QApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstring>

int main(int argc, char *argv[])
{
    // Answered before any window system is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("korvane-s %s\n", qPrintable(korvane::VersionNumberText()));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("usage: korvane-s [FILE.min]\n       korvane-s --version\n");
            return 0;
        }
    }
    // Qt takes its own platform options from the command line first.
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(korvane::VersionNumberText());
    // The desktop entry's id, so a desktop shell matches the window to its launcher and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.korvane.KorvaneS"));
    const QStringList args = QCoreApplication::arguments().mid(1);
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

    // A logout, a shutdown or a closed terminal (SIGTERM, SIGHUP, Ctrl-C) ends the program as
    // File > Exit does, after stopping a programming run; a firmware reload is never cut short.
    korvane::StopSignals stopSignals;
    QObject::connect(&stopSignals, &korvane::StopSignals::received, &window, [&window, &dialog](int signal) {
        dialog.setUnattended(true);
        window.endOnSignal(signal);
    });

    splash->close();
    splash.reset();
    window.show();
    if (!args.isEmpty())
        (void)window.openAtStart(QFileInfo(args.first()).absoluteFilePath());
    return QApplication::exec();
}
