#pragma once
// A clock for protocol tests whose time moves only when the code under test waits. A pump
// that finds nothing due jumps straight to the earliest of the caller's deadline and the
// next timer or scripted delivery, so a 10 s time-out costs microseconds; a pump that may not
// block and finds nothing due lets 1 ms pass, as a spinning loop would see on a real clock.
// A wait that never ends (a broken time-out check) shows as time running past the limit:
// the test process stops at once with a message instead of sitting out ctest's time-out.
//
// Constructing one puts it in place as the current clock (CurrentClock()) until it is
// destroyed: make it before the line, the timers and the waits that should run on it.

#include "device/clock.h"

#include <QPointer>

#include <cstdint>
#include <vector>

namespace korvane::test {

class ManualClock : public Clock {
public:
    // limitMs: the longest run of fake time this clock allows before it ends the process.
    explicit ManualClock(qint64 limitMs = 300'000);
    ~ManualClock() override;

    [[nodiscard]] qint64 nowMs() const override { return now_; }
    [[nodiscard]] int secondOfDay() const override;
    void pumpEvents(qint64 deadlineMs) override;
    void sleepMs(qint64 ms) override;
    [[nodiscard]] std::unique_ptr<TimerImpl> createTimer(std::function<void()> onTimeout) override;
    void callAfter(int delayMs, QObject *context, std::function<void()> fn) override;

    // The time of day at fake time 0, in ms since midnight (to cross midnight in a test).
    void setDayStartMs(qint64 ms) { dayStartMs_ = ms; }
    // Handled timers and deliveries so far.
    [[nodiscard]] int firedCount() const { return fired_; }

private:
    class Timer;
    struct Pending {
        qint64 due;
        uint64_t order;           // start order, for entries due at the same time
        Timer *timer;             // a timer's run-out, or
        std::function<void()> fn; // a one-off call
        QPointer<QObject> context;
        bool hasContext;
    };

    void schedule(Timer *timer, int ms);
    void unschedule(const Timer *timer);
    [[nodiscard]] bool scheduled(const Timer *timer) const;
    void advanceTo(qint64 ms);
    // The earliest pending entry, or end().
    std::vector<Pending>::iterator earliest();
    void fire(std::vector<Pending>::iterator it);

    std::vector<Pending> pending_;
    qint64 now_ = 0;
    qint64 limitMs_;
    qint64 dayStartMs_ = 12 * 3600 * 1000;
    uint64_t nextOrder_ = 0;
    int fired_ = 0;
    ScopedClock scope_;
};

} // namespace korvane::test
