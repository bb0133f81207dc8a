#include "windowplacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

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

void KeepOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect s = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveLeft(std::max(s.left(), std::min(frame.left(), s.right() + 1 - frame.width())));
    frame.moveTop(std::max(s.top(), std::min(frame.top(), s.bottom() + 1 - frame.height())));
    if (frame.topLeft() != window->frameGeometry().topLeft())
        window->move(frame.topLeft());
}

} // namespace korvane
