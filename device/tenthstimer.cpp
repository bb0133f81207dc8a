#include "tenthstimer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace korvane {

namespace {
UserDialog *g_fatalDialog = nullptr;
constexpr int kTickMs = 100;
} // namespace

void SetTimerFatalDialog(UserDialog *dialog) { g_fatalDialog = dialog; }
UserDialog *TimerFatalDialog() { return g_fatalDialog; }

void PumpEvents(bool mayBlock)
{
    QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents;
    if (mayBlock)
        flags |= QEventLoop::WaitForMoreEvents;
    QCoreApplication::processEvents(flags);
}

frmTenthsTimer::frmTenthsTimer(UserDialog *dialog, QObject *parent) : QObject(parent), m_dialog(dialog)
{
    for (QTimer *t : {&m_Timer, &m_waitTimer}) {
        t->setInterval(kTickMs);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&m_Timer, &QTimer::timeout, this, &frmTenthsTimer::onTimeoutTick);
    connect(&m_waitTimer, &QTimer::timeout, this, &frmTenthsTimer::onWaitTick);
}

void frmTenthsTimer::fatal(const QString &text)
{
    UserDialog *d = m_dialog ? m_dialog : g_fatalDialog;
    if (d) {
        d->inform(QStringLiteral("Error"), text, MessageIcon::Critical);
        d->endProgram();
    }
    std::fprintf(stderr, "Error: %s\n", qPrintable(text));
    std::abort();
}

void frmTenthsTimer::start(QTimer &timer, int16_t &counter, int32_t tenths, const char *name)
{
    const QString op = QString::fromLatin1(name);
    if (tenths < 0)
        fatal(QStringLiteral("frmTenthsTimer.%1: tenthsofSecond must be positive!").arg(op));
    if (counter != 0)
        fatal(QStringLiteral("frmTenthsTimer.%1: %1 re-entered, Fatal Error!").arg(op));
    if (tenths > std::numeric_limits<int16_t>::max())
        throw std::overflow_error("TenthsTimer: countdown above 32767 tenths");
    counter = static_cast<int16_t>(tenths);
    timer.start();
}

void frmTenthsTimer::StartTimeout(int32_t tenthsofSecond) { start(m_Timer, m_timeoutCount, tenthsofSecond, "StartTimeout"); }
void frmTenthsTimer::StartWait(int32_t tenthsofSecond) { start(m_waitTimer, m_waitCount, tenthsofSecond, "StartWait"); }

void frmTenthsTimer::StopTimeout()
{
    m_Timer.stop();
    m_timeoutCount = 0;
}

void frmTenthsTimer::StopWait()
{
    m_waitTimer.stop();
    m_waitCount = 0;
}

// A tick restarts its timer, so the next period begins after the tick was handled.
void frmTenthsTimer::onTimeoutTick()
{
    m_Timer.stop();
    m_timeoutCount = m_timeoutCount > 0 ? static_cast<int16_t>(m_timeoutCount - 1) : int16_t{0};
    m_Timer.start();
}

void frmTenthsTimer::onWaitTick()
{
    m_waitTimer.stop();
    m_waitCount = m_waitCount > 0 ? static_cast<int16_t>(m_waitCount - 1) : int16_t{0};
    m_waitTimer.start();
}

TenthsTimer::TenthsTimer(UserDialog *dialog) : m_dialog(dialog) { window(); }

TenthsTimer::~TenthsTimer()
{
    if (m_window)
        m_window->StopTimeout();
}

frmTenthsTimer &TenthsTimer::window()
{
    if (!m_window)
        m_window = std::make_unique<frmTenthsTimer>(m_dialog);
    return *m_window;
}

void TenthsTimer::Pause(int32_t tenthsofSecond)
{
    if (tenthsofSecond <= 0)
        return;
    if (tenthsofSecond > std::numeric_limits<int32_t>::max() / kTickMs)
        throw std::overflow_error("TenthsTimer::Pause: duration beyond 32 bits of milliseconds");
    QThread::msleep(static_cast<unsigned long>(tenthsofSecond) * kTickMs);
}

void TenthsTimer::Wait(int32_t tenthsofSecond)
{
    frmTenthsTimer &w = window();
    w.StartWait(tenthsofSecond);
    while (!w.CheckWait())
        PumpEvents(w.WaitTimerActive());
    w.StopWait();
}

void TenthsTimer::StartTimeout(int32_t tenthsofSecond) { window().StartTimeout(tenthsofSecond); }
bool TenthsTimer::CheckTimeout() { return window().CheckTimeout(); }
int16_t TenthsTimer::CurrentTimeoutValue() { return window().CurrentTimeoutValue(); }
void TenthsTimer::StopTimeout() { window().StopTimeout(); }

void TenthsTimer::DoNothing(int32_t tenthsofSecond)
{
    StartTimeout(tenthsofSecond);
    while (!CheckTimeout())
        PumpOnce();
    StopTimeout();
}

void TenthsTimer::PumpOnce() { PumpEvents(window().TimeoutTimerActive()); }

} // namespace korvane
