#include "xmodem.h"

#include "comroutines.h"
#include "debugassist.h"
#include "tenthstimer.h"

#include <QFile>

namespace korvane {

namespace {
constexpr int kNakWaitTenths = 100;
constexpr int kDrainTenths = 30;
constexpr int kAckWaitTenths = 100;
constexpr int kPacketTries = 10;
constexpr int kEotTries = 10;
constexpr int kVerdictTenths = 30;

bool waitForByte(SerialLine &port, char wanted)
{
    TenthsTimer timer;
    timer.StartTimeout(wanted == kNAK ? kNakWaitTenths : kAckWaitTenths);
    for (;;) {
        // A port error (the device went away) cannot be followed by the byte: give up at
        // once rather than sit out the time-out.
        if (timer.CheckTimeout() || port.hasError()) {
            timer.StopTimeout();
            return false;
        }
        if (IsCancelRequested())
            timer.StopTimeout();
        if (port.bytesWaitingIn() > 0 && port.readAll().contains(wanted)) {
            timer.StopTimeout();
            return true;
        }
        timer.PumpOnce();
    }
}
} // namespace

QByteArray BuildXmodemPacket(const QByteArray &block, int32_t packetNumber)
{
    if (block.size() != kXmodemBlockSize)
        return {};
    const auto number = static_cast<uint8_t>(packetNumber % 256);
    QByteArray packet;
    packet.reserve(kXmodemPacketSize);
    packet.append(kSOH);
    packet.append(static_cast<char>(number));
    packet.append(static_cast<char>(255 - number));
    packet.append(block);
    uint8_t sum = 0;
    for (const char b : block)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(b));
    packet.append(static_cast<char>(sum));
    return packet;
}

bool WaitForNak(SerialLine &port)
{
    DebugAssist(QStringLiteral("WaitForNak"));
    return waitForByte(port, kNAK);
}

bool WaitForAck(SerialLine &port)
{
    DebugAssist(QStringLiteral("WaitForAck"));
    return waitForByte(port, kACK);
}

bool TransmitXmodemPacket(SerialLine &port, const QByteArray &block, int32_t packetNumber)
{
    DebugAssist(QStringLiteral("TransmitXmodemPacket"));
    const QByteArray packet = BuildXmodemPacket(block, packetNumber);
    if (packet.isEmpty()) {
        DebugAssist(QStringLiteral("Array indices incorrect for TransmitXmodemPacket"));
        return false;
    }
    TenthsTimer timer;
    for (int attempt = 1; attempt <= kPacketTries; ++attempt) {
        if (port.hasError())
            return false;
        port.write(packet);
        // The packet must leave the output buffer within 3 s; each pass sleeps in the event
        // loop until the port has written something or a tick arrives.
        timer.StartTimeout(kDrainTenths);
        while (!timer.CheckTimeout() && port.bytesWaitingOut() > 0) {
            if (IsCancelRequested())
                timer.StopTimeout();
            timer.PumpOnce();
        }
        timer.StopTimeout();
        if (port.bytesWaitingOut() > 0 || IsCancelRequested() || port.hasError())
            return false;
        if (WaitForAck(port))
            return true;
        DebugAssist(QStringLiteral("TransmitXmodemPacket Retransmit"));
    }
    return false;
}

bool TransmitEOT(SerialLine &port)
{
    DebugAssist(QStringLiteral("TransmitEOT"));
    for (int attempt = 1; attempt <= kEotTries; ++attempt) {
        port.write(QByteArray(1, kEOT));
        if (port.hasError())
            return false;
        if (WaitForAck(port))
            return true;
    }
    return false;
}

bool WaitForXmodemResult(SerialLine &port)
{
    DebugAssist(QStringLiteral("WaitForXmodemResult"));
    TenthsTimer timer;
    timer.StartTimeout(kVerdictTenths);
    QByteArray collected;
    for (;;) {
        if (timer.CheckTimeout()) {
            timer.StopTimeout();
            return false;
        }
        if (IsCancelRequested())
            timer.StopTimeout();
        if (port.bytesWaitingIn() > 0)
            collected += port.readAll();
        if (collected.contains(cmd::TransferFinished.toLatin1())) {
            timer.StopTimeout();
            return true;
        }
        timer.PumpOnce();
    }
}

bool SendFileXModem(SerialLine &port, const QString &path, int32_t length, int32_t start, bool waitForVerdict,
                    const XmodemProgress &progress)
{
    DebugAssist(QStringLiteral("SendFileXModem"));
    bool failed = !port.isOpen() || !WaitForNak(port);
    QFile file(path);
    if (!failed && !file.open(QIODevice::ReadOnly))
        failed = true;
    if (!failed) {
        const int32_t packets = length <= 0 ? 0 : (length + kXmodemBlockSize - 1) / kXmodemBlockSize;
        if (progress.maximum)
            progress.maximum(packets);
        int64_t position = start <= 0 ? 1 : start;
        if (position > 1 && !file.seek(position - 1))
            failed = true;
        bool fileEnded = false;
        for (int32_t packet = 1; packet <= packets && !failed; ++packet) {
            QByteArray block(kXmodemBlockSize, '\0');
            for (int j = 0; j < kXmodemBlockSize; ++j) {
                if (fileEnded)
                    continue;
                if (position > length) {
                    ++position;
                    continue;
                }
                char byte = 0;
                if (file.getChar(&byte)) {
                    block[j] = byte;
                    ++position;
                } else if (file.atEnd()) {
                    fileEnded = true;
                } else {
                    failed = true; // read error: this block is not sent
                    break;
                }
            }
            if (!failed)
                failed = !TransmitXmodemPacket(port, block, packet);
            if (progress.packetSent)
                progress.packetSent(packet);
            if (IsCancelRequested())
                failed = true;
        }
        file.close();
    }
    if (!TransmitEOT(port))
        failed = true;
    if (!failed && waitForVerdict)
        failed = !WaitForXmodemResult(port);
    return !failed;
}

} // namespace korvane
