#include "comroutines.h"

#include "debugassist.h"
#include "tenthstimer.h"

#include <optional>

namespace korvane {

namespace {
std::atomic<bool> g_cancelRequested{false};
// The flag this thread's waits honour instead of g_cancelRequested (CancelScope).
thread_local std::atomic<bool> *t_cancelFlag = nullptr;

std::atomic<bool> &cancelFlag() { return t_cancelFlag ? *t_cancelFlag : g_cancelRequested; }
} // namespace

CancelScope::CancelScope(std::atomic<bool> &flag) : previous_(t_cancelFlag) { t_cancelFlag = &flag; }
CancelScope::~CancelScope() { t_cancelFlag = previous_; }

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

void WaitSeconds(int n)
{
    WaitWholeSeconds(
        n, [] { return qint64{CurrentClock().secondOfDay()}; }, IsCancelRequested);
}

bool RequestCancel() { return cancelFlag().exchange(true); }

bool IsCancelRequested() { return cancelFlag().load(); }

bool ClearCancelAndClosePort(SerialLine &port)
{
    cancelFlag() = false;
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

namespace {

constexpr int kQuietMs = 100;       // a line this long without a byte has finished its reply
constexpr int kDrainLimitMs = 1000; // a line that keeps talking is not waited on longer

// Protocol bytes (NAK, ACK, ...) are not reply text: every byte below a blank except the line
// ends and the tab.
bool isControlByte(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 && c != '\r' && c != '\n' && c != '\t';
}

// Before a command: reads what is left of an earlier reply until the prompt has been seen or
// the line has been quiet for kQuietMs, at most kDrainLimitMs. Nothing waiting: no wait.
void drainEarlierReply(SerialLine &port)
{
    if (port.bytesWaitingIn() <= 0)
        return;
    Clock &clock = CurrentClock();
    const qint64 limit = clock.nowMs() + kDrainLimitMs;
    ClockTimer quiet([] {});
    for (;;) {
        if (port.bytesWaitingIn() > 0) {
            if (port.readAll().contains('>'))
                return;
            quiet.start(kQuietMs);
        }
        if (!quiet.isActive() || clock.nowMs() >= limit || port.hasError() || IsCancelRequested())
            return;
        clock.pumpEvents(limit); // the quiet timer wakes it at the latest
    }
}

// The text of the firmware version line once it is complete: what follows "Korvane-S Rev"
// (line ends right after it skipped) up to the end of its line, or, while the line end is
// still on its way, as soon as four digits end it. An echo of the command before it and
// stray line ends do no harm.
std::optional<QString> versionLine(const QString &raw)
{
    const qsizetype at = raw.indexOf(cmd::FirmwareVersionReply);
    if (at < 0)
        return std::nullopt;
    QString line;
    for (qsizetype i = at + cmd::FirmwareVersionReply.size(); i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('>')) {
            if (line.trimmed().isEmpty())
                continue;
            return line;
        }
        line += c;
    }
    const QString t = line.trimmed();
    if (t.size() >= 4) {
        bool digits = true;
        for (const QChar c : t.right(4))
            digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        if (digits)
            return line;
    }
    return std::nullopt;
}

// How a command's reply is judged complete: by a content test on the text received so far
// (line ends and prompt still in it), or by the rules of TransmitCommand.
struct ReplyRule {
    QString expected;
    int minLength = 0;
    std::function<bool(const QString &raw)> complete; // overrides expected and minLength
};

// One attempt's reply as it arrives: the text received (protocol bytes left out), the cleaned
// reply, and whether the rule finds it complete or the processor answered INVALID COMMAND.
class ReplyCollector {
public:
    ReplyCollector(SerialLine &port, const ReplyRule &rule, QString &reply) : port_(port), rule_(rule), reply_(reply)
    {
        reply_.clear();
    }

    [[nodiscard]] bool done() const { return done_; }
    [[nodiscard]] bool invalid() const { return invalid_; }

    // Takes the text waiting on the line. Once the reply is complete, a protocol byte and
    // everything after it are left on the line for the next wait ("Ready" and the NAK behind
    // it may come in one read); before that such bytes are noise. judging: test the reply
    // after each piece of text (false while taking what follows a complete reply).
    void takeWaiting(bool judging = true)
    {
        QByteArray in = port_.readAll();
        while (!in.isEmpty()) {
            qsizetype n = 0;
            while (n < in.size() && !isControlByte(in[n]))
                ++n;
            raw_ += QString::fromLatin1(in.left(n));
            in.remove(0, n);
            reply_ = raw_;
            CleanReply(reply_);
            if (judging)
                judge();
            if (done_ || invalid_) {
                if (!in.isEmpty())
                    port_.unread(in);
                return;
            }
            if (!in.isEmpty())
                in.remove(0, 1); // a stray protocol byte inside the reply
        }
    }

private:
    void judge()
    {
        if (reply_.contains(cmd::InvalidCommand))
            invalid_ = true;
        else if (rule_.complete)
            done_ = rule_.complete(raw_);
        else if (rule_.expected.isEmpty() && rule_.minLength == 0)
            done_ = !raw_.isEmpty();
        else if (rule_.minLength > 0)
            done_ = reply_.size() >= rule_.minLength;
        else if (reply_.contains(rule_.expected)) {
            done_ = true;
            // What follows the expected text (the value) may still be on its way.
            WaitSeconds(1);
            if (port_.bytesWaitingIn() > 0)
                takeWaiting(false);
        }
    }

    SerialLine &port_;
    const ReplyRule &rule_;
    QString &reply_;
    QString raw_; // the reply as received, protocol bytes left out
    bool done_ = false;
    bool invalid_ = false;
};

enum class Attempt {
    Complete, // a complete reply arrived
    Retry,    // time-out or INVALID COMMAND: send the command again
    Failed,   // port error or cancel request: give up
};

// Sends the command once and collects its reply for timeout tenths.
Attempt attemptCommand(SerialLine &port, TenthsTimer &timer, const QString &command, QString &reply,
                       const ReplyRule &rule, int timeout)
{
    drainEarlierReply(port);
    if (IsCancelRequested())
        return Attempt::Failed;
    timer.StartTimeout(timeout);
    port.writeText(command + QStringLiteral("\r\n"));
    if (port.hasError()) {
        timer.StopTimeout();
        return Attempt::Failed;
    }
    ReplyCollector collector(port, rule, reply);
    while (!timer.CheckTimeout() && !port.hasError() && !collector.done()) {
        if (port.bytesWaitingIn() > 0) {
            collector.takeWaiting();
            if (collector.invalid())
                break;
        }
        if (!collector.done())
            timer.pumpOnce();
        if (IsCancelRequested()) {
            timer.StopTimeout();
            return Attempt::Failed;
        }
    }
    timer.StopTimeout();
    if (port.hasError())
        return Attempt::Failed;
    return collector.done() ? Attempt::Complete : Attempt::Retry;
}

bool sendCommand(SerialLine &port, const QString &command, QString &reply, const ReplyRule &rule, int timeout,
                 int attempts)
{
    TenthsTimer timer;
    reply.clear();
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        switch (attemptCommand(port, timer, command, reply, rule, timeout)) {
        case Attempt::Complete:
            return true;
        case Attempt::Failed:
            return false;
        case Attempt::Retry:
            break;
        }
    }
    return false;
}

} // namespace

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
    return sendCommand(port, command, reply, ReplyRule{expected, minLength, {}}, timeout, attempts);
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
    DebugAssist(QStringLiteral("TransmitCommand ") + cmd::FirmwareVersion);
    version = 0;
    QString reply;
    // Judged by content: "Korvane-S Rev" and the four digits of the version, however the
    // reply was split into reads and whatever came before it (an echo, the line end of an
    // earlier reply).
    QString received;
    ReplyRule rule;
    rule.complete = [&received](const QString &raw) {
        received = raw;
        return versionLine(raw).has_value();
    };
    if (!sendCommand(port, cmd::FirmwareVersion, reply, rule, 10, 5))
        return false;
    const auto line = versionLine(received);
    if (!line)
        return false;
    const QString t = line->trimmed();
    if (t.size() < 4)
        return false;
    const QString digits = t.right(4);
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

namespace {
SelfTest selfTest(SerialLine &port, const QString &command, const QString &valid, const QString &failed)
{
    DebugAssist(QStringLiteral("TransmitCommand ") + command);
    ReplyRule rule;
    rule.complete = [&](const QString &raw) { return raw.contains(valid) || raw.contains(failed); };
    QString reply;
    if (!sendCommand(port, command, reply, rule, 10, 5))
        return SelfTest::NotUnderstood;
    return reply.contains(failed) ? SelfTest::Failed : SelfTest::Valid;
}
} // namespace

SelfTest CheckFilterChecksum(SerialLine &port)
{
    return selfTest(port, cmd::TestFilterChecksum, cmd::ValidFilterChecksum, cmd::FilterChecksumFailed);
}

SelfTest CheckCodeChecksum(SerialLine &port)
{
    return selfTest(port, cmd::TestCodeChecksum, cmd::ValidCodeChecksum, cmd::CodeChecksumFailed);
}

int DetermineComPort(SerialLine &port, int preferred, const std::function<void(int)> &onProbe, bool onlyPreferred,
                     QStringList *openFailures)
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
            // A COM number with no device behind it costs nothing and says nothing; a device
            // that exists but refused (permission, in use, gone) says why.
            if (openFailures && !port.deviceName().isEmpty() && !port.errorText().isEmpty())
                openFailures->append(port.errorText());
            port.clearError();
            CloseComPort(port);
        }
    }
    return 0;
}

} // namespace korvane
