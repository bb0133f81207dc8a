#include "clock.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <algorithm>

namespace korvane {

namespace {

constexpr qint64 kSecondsPerDay = 86400;
constexpr int kWholeSecondPollMs = 50;

class RealTimer : public Clock::TimerImpl {
public:
    explicit RealTimer(std::function<void()> onTimeout)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(onTimeout));
    }
    void start(int ms) override { timer_.start(ms); }
    void stop() override { timer_.stop(); }
    [[nodiscard]] bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

// Qt's event loop and timers, and a monotonic clock.
class RealClock : public Clock {
public:
    RealClock() { elapsed_.start(); }

    [[nodiscard]] qint64 nowMs() const override { return elapsed_.elapsed(); }
    [[nodiscard]] int secondOfDay() const override { return QTime::currentTime().msecsSinceStartOfDay() / 1000; }

    void pumpEvents(qint64 deadlineMs) override
    {
        if (deadlineMs == kNoDeadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            return;
        }
        const qint64 left = deadlineMs - nowMs();
        if (left <= 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            return;
        }
        // The wake-up only has to exist: its event ends the sleep when nothing else came.
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(static_cast<int>(std::min<qint64>(left, std::numeric_limits<int>::max())));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }

    void sleepMs(qint64 ms) override
    {
        if (ms > 0)
            QThread::msleep(static_cast<unsigned long>(ms));
    }

    [[nodiscard]] std::unique_ptr<TimerImpl> createTimer(std::function<void()> onTimeout) override
    {
        return std::make_unique<RealTimer>(std::move(onTimeout));
    }

    void callAfter(int delayMs, QObject *context, std::function<void()> fn) override
    {
        QTimer::singleShot(delayMs, Qt::PreciseTimer, context, std::move(fn));
    }

private:
    QElapsedTimer elapsed_;
};

Clock *g_override = nullptr;

} // namespace

Clock &CurrentClock()
{
    static RealClock real;
    return g_override ? *g_override : real;
}

ScopedClock::ScopedClock(Clock &clock) : previous_(g_override) { g_override = &clock; }
ScopedClock::~ScopedClock() { g_override = previous_; }

ClockTimer::ClockTimer(std::function<void()> onTimeout) : impl_(CurrentClock().createTimer(std::move(onTimeout))) { }
ClockTimer::~ClockTimer() = default;

void PumpUntil(const std::function<bool()> &done, int pollMs)
{
    Clock &clock = CurrentClock();
    while (!done())
        clock.pumpEvents(pollMs > 0 ? clock.nowMs() + pollMs : Clock::kNoDeadline);
}

int SecondsAdvanced(qint64 from, qint64 to)
{
    return static_cast<int>(((to - from) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay);
}

void WaitWholeSeconds(int n, const std::function<qint64()> &seconds, const std::function<bool()> &stop)
{
    qint64 last = seconds();
    int elapsed = 0;
    PumpUntil(
        [&] {
            if (elapsed >= n || (stop && stop()))
                return true;
            const qint64 t = seconds();
            elapsed += SecondsAdvanced(last, t);
            last = t;
            return elapsed >= n;
        },
        kWholeSecondPollMs);
}

} // namespace korvane
