#include "tenthstimer.h"

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace korvane {

namespace {
// Per thread: runs side by side on threads of their own each route to their own dialog.
thread_local UserDialog *g_fatalDialog = nullptr;
constexpr int kTickMs = 100;
} // namespace

void SetTimerFatalDialog(UserDialog *dialog) { g_fatalDialog = dialog; }
UserDialog *TimerFatalDialog() { return g_fatalDialog; }

void PumpEvents(bool mayBlock)
{
    Clock &clock = CurrentClock();
    clock.pumpEvents(mayBlock ? Clock::kNoDeadline : clock.nowMs());
}

frmTenthsTimer::frmTenthsTimer(UserDialog *dialog, QObject *parent)
    : QObject(parent),
      dialog_(dialog),
      m_Timer([this] { tick(m_Timer, timeoutCount_); }),
      m_waitTimer([this] { tick(m_waitTimer, waitCount_); })
{ }

void frmTenthsTimer::fatal(const QString &text)
{
    UserDialog *d = dialog_ ? dialog_ : g_fatalDialog;
    if (d) {
        d->inform(QStringLiteral("Error"), text, MessageIcon::Critical);
        d->endProgram();
    }
    std::fprintf(stderr, "Error: %s\n", qPrintable(text));
    std::abort();
}

void frmTenthsTimer::start(ClockTimer &timer, int16_t &counter, int32_t tenths, const char *name)
{
    const QString op = QString::fromLatin1(name);
    if (tenths < 0)
        fatal(QStringLiteral("frmTenthsTimer.%1: tenthsofSecond must be positive!").arg(op));
    if (counter != 0)
        fatal(QStringLiteral("frmTenthsTimer.%1: %1 re-entered, Fatal Error!").arg(op));
    if (tenths > std::numeric_limits<int16_t>::max())
        throw std::overflow_error("TenthsTimer: countdown above 32767 tenths");
    counter = static_cast<int16_t>(tenths);
    timer.start(kTickMs);
}

void frmTenthsTimer::StartTimeout(int32_t tenthsofSecond)
{
    start(m_Timer, timeoutCount_, tenthsofSecond, "StartTimeout");
}
void frmTenthsTimer::StartWait(int32_t tenthsofSecond) { start(m_waitTimer, waitCount_, tenthsofSecond, "StartWait"); }

void frmTenthsTimer::StopTimeout()
{
    m_Timer.stop();
    timeoutCount_ = 0;
}

void frmTenthsTimer::StopWait()
{
    m_waitTimer.stop();
    waitCount_ = 0;
}

// A tick starts the next period once it has been handled: an expired countdown keeps ticking
// (and stays at 0) until it is stopped.
void frmTenthsTimer::tick(ClockTimer &timer, int16_t &counter)
{
    counter = counter > 0 ? static_cast<int16_t>(counter - 1) : int16_t{0};
    timer.start(kTickMs);
}

TenthsTimer::TenthsTimer(UserDialog *dialog) : dialog_(dialog) { window(); }

TenthsTimer::~TenthsTimer()
{
    if (window_)
        window_->StopTimeout();
}

frmTenthsTimer &TenthsTimer::window()
{
    if (!window_)
        window_ = std::make_unique<frmTenthsTimer>(dialog_);
    return *window_;
}

void TenthsTimer::Pause(int32_t tenthsofSecond)
{
    if (tenthsofSecond <= 0)
        return;
    if (tenthsofSecond > std::numeric_limits<int32_t>::max() / kTickMs)
        throw std::overflow_error("TenthsTimer::Pause: duration beyond 32 bits of milliseconds");
    CurrentClock().sleepMs(static_cast<qint64>(tenthsofSecond) * kTickMs);
}

void TenthsTimer::Wait(int32_t tenthsofSecond)
{
    frmTenthsTimer &w = window();
    w.StartWait(tenthsofSecond);
    // The wait's own tick wakes the pump while the countdown runs.
    PumpUntil([&w] { return w.CheckWait(); }, 0);
    w.StopWait();
}

void TenthsTimer::StartTimeout(int32_t tenthsofSecond) { window().StartTimeout(tenthsofSecond); }
bool TenthsTimer::CheckTimeout() { return window().CheckTimeout(); }
int16_t TenthsTimer::CurrentTimeoutValue() { return window().CurrentTimeoutValue(); }
void TenthsTimer::StopTimeout() { window().StopTimeout(); }

void TenthsTimer::DoNothing(int32_t tenthsofSecond)
{
    StartTimeout(tenthsofSecond);
    PumpUntil([this] { return CheckTimeout(); }, 0);
    StopTimeout();
}

void TenthsTimer::pumpOnce() { PumpEvents(window().timeoutTimerActive()); }

} // namespace korvane
