#pragma once
// Countdowns in tenths of a second that advance on 100 ms timer ticks of the thread that
// owns them (the user-interface thread). A waiting operation creates its own TenthsTimer,
// starts a countdown and polls it, pumping events between polls; the ticks arrive only
// while it pumps, so a blocked thread (Pause) does not count down.
//
// Misuse (a negative start value, starting a countdown that is still running) is a
// programming error: a critical "Error" message is shown and the program ends.

#include "clock.h"

#include "config/userdialog.h"

#include <QObject>

#include <cstdint>
#include <memory>

namespace korvane {

// Where the timers' fatal misuse reports go. The programming sequence sets its dialog
// here; without one the report is printed on stderr and the process aborts.
void SetTimerFatalDialog(UserDialog *dialog);
[[nodiscard]] UserDialog *TimerFatalDialog();

// Processes pending events once on the current clock. With mayBlock it sleeps in the event
// loop until at least one event (a tick, serial input, a click, a signal notifier) has been
// handled, so a polling loop makes one pass per event instead of spinning a core. Callers
// pass mayBlock only while one of their own timers is running, which guarantees a wake-up
// within 100 ms.
void PumpEvents(bool mayBlock);

// The carrier of the two 100 ms tick timers: m_Timer drives the time-out counter,
// m_waitTimer the wait counter (they keep the window's names for them, as controls do).
// Counters are tenths left, 0 = expired or stopped, never below 0. Each tick starts the next
// 100 ms period only once it has been handled, so time spent blocked (Pause) or busy between
// pumps is not counted. The timers run on the clock current when the object is made.
class frmTenthsTimer : public QObject {
    Q_OBJECT
public:
    explicit frmTenthsTimer(UserDialog *dialog, QObject *parent = nullptr);

    // tenthsofSecond: 0..32767 tenths. Negative or re-entered while running: fatal report.
    // Above 32767: std::overflow_error.
    void StartTimeout(int32_t tenthsofSecond);
    [[nodiscard]] bool CheckTimeout() const { return timeoutCount_ == 0; }
    [[nodiscard]] int16_t CurrentTimeoutValue() const { return timeoutCount_; }
    void StopTimeout();
    [[nodiscard]] bool timeoutTimerActive() const { return m_Timer.isActive(); }

    void StartWait(int32_t tenthsofSecond);
    [[nodiscard]] bool CheckWait() const { return waitCount_ == 0; }
    [[nodiscard]] int16_t CurrentWaitValue() const { return waitCount_; }
    void StopWait();
    [[nodiscard]] bool waitTimerActive() const { return m_waitTimer.isActive(); }

private:
    static void tick(ClockTimer &timer, int16_t &counter);
    [[noreturn]] void fatal(const QString &text);
    void start(ClockTimer &timer, int16_t &counter, int32_t tenths, const char *name);

    UserDialog *dialog_;
    int16_t timeoutCount_ = 0;
    int16_t waitCount_ = 0;
    ClockTimer m_Timer;
    ClockTimer m_waitTimer;
};

class TenthsTimer {
public:
    // dialog: receives the fatal misuse reports; nullptr = TimerFatalDialog().
    explicit TenthsTimer(UserDialog *dialog = nullptr);
    ~TenthsTimer();
    TenthsTimer(const TenthsTimer &) = delete;
    TenthsTimer &operator=(const TenthsTimer &) = delete;

    // Blocks the thread for tenthsofSecond x 100 ms without processing events (on the current
    // clock, so no tick of any countdown is handled meanwhile).
    // Negative values do nothing; a product beyond 32 bits is std::overflow_error.
    void Pause(int32_t tenthsofSecond);
    // Waits tenthsofSecond tenths on the wait countdown while pumping events.
    void Wait(int32_t tenthsofSecond);
    void StartTimeout(int32_t tenthsofSecond);
    [[nodiscard]] bool CheckTimeout();
    [[nodiscard]] int16_t CurrentTimeoutValue();
    void StopTimeout();
    // Waits tenthsofSecond tenths on the time-out countdown while pumping events.
    void DoNothing(int32_t tenthsofSecond);

    // Pumps events once, blocking for the next event while this timer's time-out countdown
    // is enabled (so the wait ends at the latest with the next tick).
    void pumpOnce();

private:
    frmTenthsTimer &window();

    UserDialog *dialog_;
    std::unique_ptr<frmTenthsTimer> window_;
};

} // namespace korvane
