#pragma once
// The time the device link waits on. Every wait of the link (tick countdowns, reply and drain
// time-outs, the whole-second waits) reads the time and sleeps in the event loop through the
// current Clock, so a test can put a clock of its own in place and run a 10 s time-out in
// microseconds. Without an override the current clock is the real one: a monotonic
// millisecond count, Qt's event loop and Qt's timers.
//
// Everything here belongs to the thread that runs the event loop (the user-interface thread).

#include <QObject>
#include <QtGlobal>

#include <functional>
#include <limits>
#include <memory>

namespace korvane {

class Clock {
public:
    // A deadline that never comes: the pump blocks until an event has been handled. Only for
    // callers that have a timer of their own running, which guarantees a wake-up.
    static constexpr qint64 kNoDeadline = std::numeric_limits<qint64>::max();

    // A single-shot timer of this clock; start() while active restarts it. The callback runs
    // from pumpEvents() on the clock's thread.
    class TimerImpl {
    public:
        virtual ~TimerImpl() = default;
        virtual void start(int ms) = 0;
        virtual void stop() = 0;
        [[nodiscard]] virtual bool isActive() const = 0;
    };

    virtual ~Clock() = default;

    // Monotonic time in milliseconds from an arbitrary origin.
    [[nodiscard]] virtual qint64 nowMs() const = 0;
    // The time of day in whole seconds, 0..86399 (wraps at midnight).
    [[nodiscard]] virtual int secondOfDay() const = 0;
    // Handles the events that are pending; when there are none, sleeps in the event loop until
    // one has been handled or until deadlineMs (on nowMs()) has come. A deadline that has
    // passed only handles what is pending.
    virtual void pumpEvents(qint64 deadlineMs) = 0;
    // Blocks the thread for ms milliseconds without handling any event (ms <= 0: returns).
    virtual void sleepMs(qint64 ms) = 0;
    // A timer that calls onTimeout once when it runs out.
    [[nodiscard]] virtual std::unique_ptr<TimerImpl> createTimer(std::function<void()> onTimeout) = 0;
    // Calls fn once after delayMs (0: at the next pump), unless context is gone by then.
    // Calls due at the same time run in the order they were asked for.
    virtual void callAfter(int delayMs, QObject *context, std::function<void()> fn) = 0;
};

// The clock every wait of the device link uses: the real one unless a ScopedClock is in place.
[[nodiscard]] Clock &CurrentClock();

// Puts `clock` in place of the current clock for the guard's lifetime (tests). Guards nest;
// timers are bound to the clock that was current when they were made, so a guard must
// outlive every timer and wait made under it.
class ScopedClock {
public:
    explicit ScopedClock(Clock &clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock &) = delete;
    ScopedClock &operator=(const ScopedClock &) = delete;

private:
    Clock *previous_;
};

// A single-shot timer on the clock current at its construction.
class ClockTimer {
public:
    explicit ClockTimer(std::function<void()> onTimeout);
    ~ClockTimer();
    ClockTimer(const ClockTimer &) = delete;
    ClockTimer &operator=(const ClockTimer &) = delete;

    // Runs out ms milliseconds from now; restarts a running timer.
    void start(int ms) { impl_->start(ms); }
    void stop() { impl_->stop(); }
    [[nodiscard]] bool isActive() const { return impl_->isActive(); }

private:
    std::unique_ptr<Clock::TimerImpl> impl_;
};

// Pumps events on the current clock until done() is true. Between two looks at done() it
// sleeps in the event loop until an event has been handled, at the latest for pollMs
// (pollMs <= 0: until an event; only when the caller has a timer of its own running).
void PumpUntil(const std::function<bool()> &done, int pollMs);

// The one wait of "n seconds" by a whole-second count: pumps events until seconds() has
// advanced by n from its value at the call, or until stop() (may be empty) is true. It so
// lasts between n - 1 and n seconds. The count may be a time of day: a step back across
// midnight counts forward (86399 -> 0 is one second). Looks at the count every 50 ms.
void WaitWholeSeconds(int n, const std::function<qint64()> &seconds, const std::function<bool()> &stop = {});

// Whole seconds the time of day advanced from `from` to `to` (seconds since midnight,
// 0..86399), across midnight when to < from.
[[nodiscard]] int SecondsAdvanced(qint64 from, qint64 to);

} // namespace korvane
