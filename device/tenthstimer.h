#pragma once
// Countdowns in tenths of a second that advance on 100 ms timer ticks of the thread that
// owns them (the user-interface thread). A waiting operation creates its own TenthsTimer,
// starts a countdown and polls it, pumping events between polls; the ticks arrive only
// while it pumps, so a blocked thread (Pause) does not count down.
//
// Misuse (a negative start value, starting a countdown that is still running) is a
// programming error: a critical "Error" message is shown and the program ends.

#include "config/userdialog.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <memory>

namespace korvane {

// Where the timers' fatal misuse reports go. The programming sequence sets its dialog
// here; without one the report is printed on stderr and the process aborts.
void SetTimerFatalDialog(UserDialog *dialog);
[[nodiscard]] UserDialog *TimerFatalDialog();

// Processes pending events once. With mayBlock it sleeps in the event loop until at least
// one event (a tick, serial input, a click, a signal notifier) has been handled, so a
// polling loop makes one pass per event instead of spinning a core. Callers pass mayBlock
// only while one of their own timers is running, which guarantees a wake-up within 100 ms.
void PumpEvents(bool mayBlock);

// The carrier of the two periodic 100 ms timers: m_Timer drives the time-out counter,
// m_waitTimer the wait counter. Counters are tenths left, 0 = expired or stopped, never
// below 0.
class frmTenthsTimer : public QObject {
    Q_OBJECT
public:
    explicit frmTenthsTimer(UserDialog *dialog, QObject *parent = nullptr);

    // tenthsofSecond: 0..32767 tenths. Negative or re-entered while running: fatal report.
    // Above 32767: std::overflow_error.
    void StartTimeout(int32_t tenthsofSecond);
    [[nodiscard]] bool CheckTimeout() const { return m_timeoutCount == 0; }
    [[nodiscard]] int16_t CurrentTimeoutValue() const { return m_timeoutCount; }
    void StopTimeout();
    [[nodiscard]] bool TimeoutTimerActive() const { return m_Timer.isActive(); }

    void StartWait(int32_t tenthsofSecond);
    [[nodiscard]] bool CheckWait() const { return m_waitCount == 0; }
    [[nodiscard]] int16_t CurrentWaitValue() const { return m_waitCount; }
    void StopWait();
    [[nodiscard]] bool WaitTimerActive() const { return m_waitTimer.isActive(); }

private:
    void onTimeoutTick();
    void onWaitTick();
    [[noreturn]] void fatal(const QString &text);
    void start(QTimer &timer, int16_t &counter, int32_t tenths, const char *name);

    UserDialog *m_dialog;
    QTimer m_Timer;
    QTimer m_waitTimer;
    int16_t m_timeoutCount = 0;
    int16_t m_waitCount = 0;
};

class TenthsTimer {
public:
    // dialog: receives the fatal misuse reports; nullptr = TimerFatalDialog().
    explicit TenthsTimer(UserDialog *dialog = nullptr);
    ~TenthsTimer();
    TenthsTimer(const TenthsTimer &) = delete;
    TenthsTimer &operator=(const TenthsTimer &) = delete;

    // Blocks the thread for tenthsofSecond x 100 ms without processing events.
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
    void PumpOnce();

private:
    frmTenthsTimer &window();

    UserDialog *m_dialog;
    std::unique_ptr<frmTenthsTimer> m_window;
};

} // namespace korvane
