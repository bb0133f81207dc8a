#include "stopsignals.h"

#include <QSocketNotifier>
#include <QString>

#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

// Read end [0] and write end [1]; the handler sees only the write end. -1: not installed.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[kStopSignals.size() + 1]; // the three, then SIGPIPE

void onSignal(int sig)
{
    const int saved = errno; // the interrupted code may be about to read errno
    const char b = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &b, 1);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (g_pipe[0] < 0)
            g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StopSignals::drain);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &sa, &g_previous[i]);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &g_previous[kStopSignals.size()]);
}

StopSignals::~StopSignals()
{
    if (!notifier_)
        return;
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
    ::sigaction(SIGPIPE, &g_previous[kStopSignals.size()], nullptr);
    notifier_.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void StopSignals::drain()
{
    char b[16];
    ssize_t n = 0;
    while ((n = ::read(g_pipe[0], b, sizeof b)) > 0)
        for (ssize_t i = 0; i < n; ++i)
            emit received(static_cast<unsigned char>(b[i]));
}

QString StopSignalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signal);
    }
}

} // namespace korvane
