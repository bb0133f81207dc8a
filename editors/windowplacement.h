#pragma once
// Where the program's windows open: the splash, About and editor windows in the middle of their
// screen, the progress window in the middle of the main window.

#include <QRect>

class QWidget;

namespace korvane {

// Moves window so that its frame is centred on area (global coordinates).
void CentreWindowOn(QWidget *window, const QRect &area);

// Centres window on its screen (the primary screen when it has none yet); does nothing
// without a screen.
void CentreOnScreen(QWidget *window);

// Moves window the least distance that puts its whole frame on its screen's available area, so
// that neither its title bar nor its left edge is ever off the screen, whatever its size.
void KeepOnScreen(QWidget *window);

} // namespace korvane
