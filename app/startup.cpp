#include "startup.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

namespace korvane {

qint64 WholeSecondClock() { return QDateTime::currentSecsSinceEpoch(); }

void WaitWholeSeconds(int seconds, const std::function<qint64()> &clock)
{
    const qint64 until = clock() + seconds;
    if (clock() >= until)
        return;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (clock() >= until)
            loop.quit();
    });
    poll.start();
    loop.exec();
}

} // namespace korvane
