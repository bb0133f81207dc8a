#include "manualclock.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <algorithm>

namespace korvane::test {

class ManualClock::Timer : public Clock::TimerImpl {
public:
    Timer(ManualClock &clock, std::function<void()> onTimeout) : clock_(clock), onTimeout_(std::move(onTimeout)) { }
    ~Timer() override { clock_.unschedule(this); }
    void start(int ms) override { clock_.schedule(this, ms); }
    void stop() override { clock_.unschedule(this); }
    [[nodiscard]] bool isActive() const override { return clock_.scheduled(this); }
    void run() const
    {
        const auto fn = onTimeout_; // the callback may destroy its own timer
        fn();
    }

private:
    ManualClock &clock_;
    std::function<void()> onTimeout_;
};

ManualClock::ManualClock(qint64 limitMs) : limitMs_(limitMs), scope_(*this) { }
ManualClock::~ManualClock() = default;

int ManualClock::secondOfDay() const { return static_cast<int>(((dayStartMs_ + now_) / 1000) % 86400); }

void ManualClock::advanceTo(qint64 ms)
{
    if (ms <= now_)
        return;
    if (ms > limitMs_)
        qFatal("ManualClock: fake time ran past %lld s; a wait does not end", static_cast<long long>(limitMs_ / 1000));
    now_ = ms;
}

std::vector<ManualClock::Pending>::iterator ManualClock::earliest()
{
    return std::min_element(pending_.begin(), pending_.end(), [](const Pending &a, const Pending &b) {
        return a.due != b.due ? a.due < b.due : a.order < b.order;
    });
}

void ManualClock::fire(std::vector<Pending>::iterator it)
{
    Pending p = std::move(*it);
    pending_.erase(it);
    ++fired_;
    if (p.timer)
        p.timer->run();
    else if (!p.hasContext || p.context)
        p.fn();
}

void ManualClock::pumpEvents(qint64 deadlineMs)
{
    // Posted events (deferred deletes, queued signals) are handled as a real pump would.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    auto next = earliest();
    if (next != pending_.end() && next->due <= now_) {
        fire(next);
        return;
    }
    const qint64 wake = next != pending_.end() ? std::min(deadlineMs, next->due) : deadlineMs;
    if (wake == kNoDeadline)
        qFatal("ManualClock: a blocking wait with no timer that could end it");
    if (wake <= now_) {
        advanceTo(now_ + 1); // a loop that does not block still lets time pass
        return;
    }
    advanceTo(wake);
    if (next != pending_.end() && next->due <= now_)
        fire(next);
}

void ManualClock::sleepMs(qint64 ms)
{
    if (ms > 0)
        advanceTo(now_ + ms);
}

std::unique_ptr<Clock::TimerImpl> ManualClock::createTimer(std::function<void()> onTimeout)
{
    return std::make_unique<Timer>(*this, std::move(onTimeout));
}

void ManualClock::callAfter(int delayMs, QObject *context, std::function<void()> fn)
{
    pending_.push_back(
        {now_ + std::max(delayMs, 0), nextOrder_++, nullptr, std::move(fn), context, context != nullptr});
}

void ManualClock::schedule(Timer *timer, int ms)
{
    unschedule(timer);
    pending_.push_back({now_ + std::max(ms, 0), nextOrder_++, timer, {}, {}, false});
}

void ManualClock::unschedule(const Timer *timer)
{
    pending_.erase(
        std::remove_if(pending_.begin(), pending_.end(), [timer](const Pending &p) { return p.timer == timer; }),
        pending_.end());
}

bool ManualClock::scheduled(const Timer *timer) const
{
    return std::any_of(pending_.begin(), pending_.end(), [timer](const Pending &p) { return p.timer == timer; });
}

} // namespace korvane::test
