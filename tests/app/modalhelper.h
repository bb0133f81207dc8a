#pragma once
// Acting on modal dialogs from inside a test while the code under test waits in exec().

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

namespace korvane::test {

// Runs `act` on the next modal dialog once it is up, and again every 200 ms while that
// dialog stays up (a dialog can ignore a first accept while it is still loading a folder);
// after 5 s the dialog is rejected so a test fails instead of hanging.
inline void whenModal(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer(qApp); // owned by the application if the test ends first
    timer->setInterval(20);
    auto target = std::make_shared<QPointer<QWidget>>();
    auto ticks = std::make_shared<int>(-1);
    QObject::connect(timer, &QTimer::timeout, [timer, act, target, ticks] {
        QWidget *w = QApplication::activeModalWidget();
        if (*ticks >= 0 && (target->isNull() || w != target->data())) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (!w)
            return;
        if (*ticks < 0) {
            *ticks = 0;
            *target = w;
            act(w);
            return;
        }
        ++*ticks;
        if (*ticks % 10 == 0)
            act(w);
        if (*ticks > 250)
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
    });
    timer->start();
}

} // namespace korvane::test
