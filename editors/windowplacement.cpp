#include "windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace korvane {

void CentreWindowOn(QWidget *window, const QRect &area)
{
    const QSize size = window->frameGeometry().size();
    window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void CentreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        CentreWindowOn(window, screen->geometry());
}

} // namespace korvane
