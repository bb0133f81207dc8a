#include "comroutines.h"

#include "debugassist.h"
#include "tenthstimer.h"

#include <QTime>
#include <QTimer>

namespace korvane {

namespace {
bool g_cancelRequested = false;
constexpr int kSecondsPerDay = 86400;
} // namespace

int Clamp(int value, int low, int high)
{
    if (value < low)
        return low;
    if (value > high)
        return high;
    return value;
}

int RemoveAll(QString &text, const QString &pattern)
{
    if (pattern.isEmpty())
        return 0;
    QString kept;
    kept.reserve(text.size());
    int removed = 0;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype hit = text.indexOf(pattern, pos);
        if (hit < 0)
            break;
        kept += QStringView(text).mid(pos, hit - pos);
        pos = hit + pattern.size();
        ++removed;
    }
    kept += QStringView(text).mid(pos);
    text = kept;
    return removed;
}

void CleanReply(QString &reply)
{
    RemoveAll(reply, QStringLiteral("\r\n"));
    RemoveAll(reply, QStringLiteral(">"));
}

int SecondsAdvanced(int from, int to)
{
    return ((to - from) % kSecondsPerDay + kSecondsPerDay) % kSecondsPerDay;
}

void WaitSeconds(int n)
{
    // The heartbeat only guarantees that the blocking pump wakes up to look at the clock.
    QTimer heartbeat;
    heartbeat.setInterval(100);
    heartbeat.start();
    auto now = [] { return QTime::currentTime().msecsSinceStartOfDay() / 1000; };
    int last = now();
    int elapsed = 0;
    while (elapsed < n && !IsCancelRequested()) {
        PumpEvents(true);
        const int t = now();
        elapsed += SecondsAdvanced(last, t);
        last = t;
    }
}

bool RequestCancel()
{
    const bool previous = g_cancelRequested;
    g_cancelRequested = true;
    return previous;
}

bool IsCancelRequested() { return g_cancelRequested; }

bool ClearCancelAndClosePort(SerialLine &port)
{
    g_cancelRequested = false;
    return CloseComPort(port);
}

bool OpenComPort(SerialLine &port, int portNumber)
{
    DebugAssist(QStringLiteral("OpenComPort"));
    port.setPortNumber(Clamp(portNumber, 1, 9));
    // A refused number change (the port is already open) does not count against the open.
    port.clearError();
    if (port.isOpen())
        return true;
    port.open();
    return port.isOpen() && !port.hasError();
}

bool CloseComPort(SerialLine &port)
{
    DebugAssist(QStringLiteral("CloseComPort"));
    if (port.isOpen())
        port.close();
    return !port.hasError();
}

bool TransmitCommand(SerialLine &port, const QString &command, QString &reply, const QString &expected, int minLength,
                     int timeout, int attempts)
{
    DebugAssist(QStringLiteral("TransmitCommand ") + command);
    if (attempts < 1)
        attempts = 5;
    if (minLength < 0)
        minLength = 0;
    if (timeout < 1)
        timeout = 10;
    TenthsTimer timer;
    reply.clear();

    for (int attempt = 1; attempt <= attempts; ++attempt) {
        if (port.bytesWaitingIn() > 0)
            (void)port.readAll();
        timer.StartTimeout(timeout);
        port.writeText(command + QStringLiteral("\r\n"));
        if (port.hasError()) {
            timer.StopTimeout();
            return false;
        }
        reply.clear();
        bool done = false;
        while (!timer.CheckTimeout() && !port.hasError() && !done) {
            if (port.bytesWaitingIn() > 0) {
                reply += QString::fromLatin1(port.readAll());
                CleanReply(reply);
                if (reply.contains(cmd::InvalidCommand)) {
                    timer.StopTimeout();
                } else if (expected.isEmpty() && minLength == 0) {
                    done = true;
                } else if (minLength > 0) {
                    done = reply.size() >= minLength;
                } else if (reply.contains(expected)) {
                    done = true;
                    // What follows the expected text (the value) may still be on its way.
                    WaitSeconds(1);
                    if (port.bytesWaitingIn() > 0) {
                        reply += QString::fromLatin1(port.readAll());
                        CleanReply(reply);
                    }
                }
            }
            if (!done)
                timer.PumpOnce();
            if (IsCancelRequested()) {
                timer.StopTimeout();
                return false;
            }
        }
        timer.StopTimeout();
        if (port.hasError())
            return false;
        if (done)
            return true;
    }
    return false;
}

bool ResetDevice(SerialLine &port)
{
    DebugAssist(QStringLiteral("ResetDevice"));
    QString reply;
    return TransmitCommand(port, cmd::Reset, reply, QString(), 0, 10, 5);
}

bool GetFirmwareVersion(SerialLine &port, int16_t &version)
{
    DebugAssist(QStringLiteral("GetFirmwareVersion"));
    version = 0;
    QString reply;
    if (!TransmitCommand(port, cmd::FirmwareVersion, reply, cmd::FirmwareVersionReply, 17, 10, 5))
        return false;
    // The reply is judged as soon as it has 17 characters, so a read that comes a little late
    // also holds the CR after the digits (CleanReply removes only whole CR LF pairs): the
    // version is the last four characters before such a line end.
    qsizetype end = reply.size();
    while (end > 0 && (reply[end - 1] == QLatin1Char('\r') || reply[end - 1] == QLatin1Char('\n')))
        --end;
    if (end < 4)
        return false;
    const QString digits = reply.mid(end - 4, 4);
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    version = static_cast<int16_t>(digits.toInt());
    return true;
}

bool GetNumFiltersLoaded(SerialLine &port, int16_t &count)
{
    DebugAssist(QStringLiteral("GetNumFiltersLoaded"));
    QString reply;
    if (TransmitCommand(port, cmd::TestStatus, reply, cmd::FiltersLoaded, 0, 10, 5)) {
        const qsizetype at = reply.indexOf(cmd::FiltersLoaded);
        bool ok = false;
        const int value = reply.mid(at + cmd::FiltersLoaded.size()).trimmed().toInt(&ok);
        if (ok && value >= INT16_MIN && value <= INT16_MAX)
            count = static_cast<int16_t>(value);
    }
    return true;
}

int DetermineComPort(SerialLine &port, int preferred, const std::function<void(int)> &onProbe, bool onlyPreferred)
{
    DebugAssist(QStringLiteral("DetermineComPort"));
    QList<int> candidates;
    if (preferred != 0)
        candidates << preferred;
    if (!onlyPreferred) {
        for (int n = 1; n <= 9; ++n) {
            if (n != preferred)
                candidates << n;
        }
    }
    for (const int candidate : candidates) {
        if (IsCancelRequested())
            return 0;
        if (onProbe)
            onProbe(candidate);
        if (OpenComPort(port, candidate)) {
            int16_t version = 0;
            const bool answered = GetFirmwareVersion(port, version);
            CloseComPort(port);
            if (answered)
                return candidate;
        } else {
            CloseComPort(port);
        }
    }
    return 0;
}

} // namespace korvane
