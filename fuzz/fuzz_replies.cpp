// The processor's replies as an arbitrary byte stream, fed to the command routines.
//
// Input layout: byte 0 picks the operation (firmware version, filters loaded, reset, or a
// general command with the length and attempts from bytes 1..2); the rest is the stream.
// 0xFF starts the reply to the next command written (one segment per attempt); within a
// segment 0xFE splits the bytes into separate arrivals, so replies split across reads are
// covered. When an attempt's bytes are used up the line reports an error, which ends the
// command at once instead of waiting out its time-out.
//
// Checked beyond "no crash, no undefined behaviour": every write is the command plus CR LF,
// never more writes than attempts, the version is 0..9999 and 0 whenever the read failed,
// and GetNumFiltersLoaded always succeeds.
#include "device/comroutines.h"
#include "device/serialline.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QTime>

#include <cstdlib>

using namespace korvane;

namespace {

// Wakes a blocked event pump: the routines pump events between polls, blocking while their
// time-out runs, and the fuzz line has no timer of its own to wake them.
QObject *g_waker = nullptr;
void wake() { QCoreApplication::postEvent(g_waker, new QEvent(QEvent::User)); }

class FuzzLine : public SerialLine {
public:
    explicit FuzzLine(QList<QList<QByteArray>> segments) : m_segments(std::move(segments)) { }

    void setPortNumber(int port) override { m_port = port; }
    int portNumber() const override { return m_port; }
    QString deviceName() const override { return QStringLiteral("fuzz"); }
    bool isOpen() const override { return m_open; }
    void open() override { m_open = true; }
    void close() override { m_open = false; }

    void write(const QByteArray &bytes) override
    {
        if (!m_open) {
            m_error = QStringLiteral("closed");
            return;
        }
        writes << bytes;
        m_arrivals = m_segments.isEmpty() ? QList<QByteArray>{} : m_segments.takeFirst();
        m_emptyPolls = 0;
        wake();
    }
    QByteArray readAvailable() override
    {
        wake();
        if (m_arrivals.isEmpty())
            return {};
        m_emptyPolls = 0;
        return m_arrivals.takeFirst();
    }
    // The first empty poll may be the flush before a command; the second one after a write
    // or an arrival means this attempt's bytes are used up.
    qint64 bytesAvailable() const override
    {
        wake();
        while (!m_arrivals.isEmpty() && m_arrivals.front().isEmpty())
            m_arrivals.removeFirst();
        if (m_arrivals.isEmpty()) {
            if (!writes.isEmpty() && ++m_emptyPolls >= 2)
                m_error = QStringLiteral("stream ended");
            return 0;
        }
        return m_arrivals.front().size();
    }
    qint64 bytesWaitingOut() const override { return 0; }
    bool hasError() const override { return !m_error.isEmpty(); }
    QString errorText() const override { return m_error; }
    void clearError() override { m_error.clear(); }

    QList<QByteArray> writes;

private:
    QList<QList<QByteArray>> m_segments;
    mutable QList<QByteArray> m_arrivals;
    mutable QString m_error;
    mutable int m_emptyPolls = 0;
    int m_port = 1;
    bool m_open = false;
};

// The stream after byte 0, cut into segments at 0xFF and arrivals at 0xFE.
QList<QList<QByteArray>> split(const uint8_t *data, size_t size)
{
    QList<QList<QByteArray>> segments{{QByteArray()}};
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            segments.append(QList<QByteArray>{QByteArray()});
        else if (data[i] == 0xFE)
            segments.back().append(QByteArray());
        else
            segments.back().back().append(static_cast<char>(data[i]));
    }
    return segments;
}

int g_clock = 0;

} // namespace

// The reply routines settle for one second of the time of day after an expected text. The
// harness's clock advances a second at every look, so that settle costs one event pass
// instead of capping the fuzzer at one input per second.
QTime QTime::currentTime()
{
    wake();
    g_clock = (g_clock + 1) % 86400;
    return QTime::fromMSecsSinceStartOfDay(g_clock * 1000);
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QObject waker;
    g_waker = &waker;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    FuzzLine line(split(data + 3, size - 3));
    if (!OpenComPort(line, 1))
        std::abort();

    QString command;
    int attempts = 5;
    switch (data[0] % 4) {
    case 0: {
        command = cmd::FirmwareVersion;
        int16_t version = -1;
        const bool ok = GetFirmwareVersion(line, version);
        if (version < 0 || version > 9999 || (!ok && version != 0))
            std::abort();
        break;
    }
    case 1: {
        command = cmd::TestStatus;
        int16_t count = 0;
        if (!GetNumFiltersLoaded(line, count))
            std::abort();
        break;
    }
    case 2:
        command = cmd::Reset;
        (void)ResetDevice(line);
        break;
    default: {
        command = cmd::FlashProgramFilters;
        attempts = static_cast<int8_t>(data[2]) % 7; // -6..6: below 1 means 5
        const int minLength = static_cast<int8_t>(data[1]) % 40;
        const QString expected = (data[1] & 0x80) ? cmd::PleaseReloadFirmware : QString();
        QString reply;
        (void)TransmitCommand(line, command, reply, expected, minLength, 10, attempts);
        if (attempts < 1)
            attempts = 5;
        break;
    }
    }

    if (line.writes.size() > attempts)
        std::abort();
    for (const QByteArray &w : line.writes)
        if (w != command.toLatin1() + "\r\n")
            std::abort();
    (void)CloseComPort(line);
    QCoreApplication::removePostedEvents(g_waker);
    return 0;
}
