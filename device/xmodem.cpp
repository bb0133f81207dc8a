#include "xmodem.h"

#include "clock.h"
#include "comroutines.h"
#include "debugassist.h"
#include "tenthstimer.h"

#include <QBuffer>
#include <QFile>

#include <utility>

namespace korvane {

namespace {
constexpr int kNakWaitTenths = 100;
constexpr int kDrainTenths = 30;
constexpr int kAckWaitTenths = 100;
constexpr int kPacketTries = 10;
constexpr int kEotTries = 10;
constexpr int kVerdictTenths = 30;
constexpr int kPrepareDelayMs = 5; // a packet is 137.5 ms on the line at 9600 baud

enum class Reply { Wanted, Nak, None };

// Waits for `wanted` and takes the bytes up to and including it; what follows stays on the
// line for the next wait (the processor's "Finished" may come in the same read as the ACK of
// the EOT). Other bytes before it are dropped. With nakToo a NAK ends the wait as well: the
// receiver refused the packet. onArrival runs the moment the byte is seen, before anything
// else: the sender puts its next packet on the line there. Bytes already read count before a
// port error does, so an ACK that came in with a hang-up is still seen.
Reply waitForByte(SerialLine &port, char wanted, bool nakToo, const std::function<void()> &onArrival = {})
{
    TenthsTimer timer;
    timer.StartTimeout(wanted == kNAK ? kNakWaitTenths : kAckWaitTenths);
    for (;;) {
        if (port.bytesWaitingIn() > 0) {
            const QByteArray in = port.readAll();
            for (qsizetype i = 0; i < in.size(); ++i) {
                if (in[i] != wanted && !(nakToo && in[i] == kNAK))
                    continue;
                // A burst of start NAKs is one request: take them all.
                qsizetype end = i + 1;
                if (wanted == kNAK)
                    while (end < in.size() && in[end] == kNAK)
                        ++end;
                port.unread(in.mid(end));
                const bool got = in[i] == wanted;
                if (got && onArrival)
                    onArrival();
                timer.StopTimeout();
                return got ? Reply::Wanted : Reply::Nak;
            }
        }
        // A port error (the device went away) cannot be followed by the byte: give up at
        // once rather than sit out the time-out.
        if (timer.CheckTimeout() || port.hasError()) {
            timer.StopTimeout();
            return Reply::None;
        }
        if (IsCancelRequested())
            timer.StopTimeout();
        timer.pumpOnce();
    }
}

// Writes a packet or an EOT. Whatever is waiting on the line arrived before these bytes
// left, so it cannot be the receiver's answer to them (a repeated start NAK, the rest of an
// earlier reply): it is dropped, so that only an answer to these bytes is taken as one.
void writeFresh(SerialLine &port, const QByteArray &bytes)
{
    if (port.bytesWaitingIn() > 0)
        (void)port.readAll();
    port.write(bytes);
}

// The packet after the one on the line, and whether it has been written already.
struct NextPacket {
    QByteArray bytes;
    bool written = false;
};

// Sends a built packet: up to 10 tries of write, 3 s drain, ACK wait; when `written` the
// first write has been done already. At 9600 baud a packet is 137.5 ms on the line, and
// whatever the sender does between an ACK and the next packet adds to every block, so:
//  - prepare runs once, after the first write has left the output buffer and before the
//    ACK wait; the sender reads and builds the next packet there;
//  - when the ACK arrives and next holds a packet and no cancel is pending, that packet is
//    written at once, before any bookkeeping of this one.
bool transmitPacket(SerialLine &port, const QByteArray &packet, bool written, const std::function<void()> &prepare,
                    NextPacket *next)
{
    DebugAssist(QStringLiteral("TransmitXmodemPacket"));
    if (packet.isEmpty()) {
        DebugAssist(QStringLiteral("Array indices incorrect for TransmitXmodemPacket"));
        return false;
    }
    TenthsTimer timer;
    // The next packet is built once, in whichever try gets that far first: a NAK may come
    // back before the build was due.
    bool prepared = !prepare;
    for (int attempt = 1; attempt <= kPacketTries; ++attempt) {
        if (attempt > 1 || !written) {
            if (port.hasError())
                return false;
            writeFresh(port, packet);
        }
        // The packet must leave the output buffer within 3 s; each pass sleeps in the event
        // loop until the port has written something or a tick arrives.
        timer.StartTimeout(kDrainTenths);
        while (!timer.CheckTimeout() && port.bytesWaitingOut() > 0) {
            if (IsCancelRequested())
                timer.StopTimeout();
            timer.pumpOnce();
        }
        timer.StopTimeout();
        if (port.bytesWaitingOut() > 0 || IsCancelRequested() || port.hasError())
            return false;
        // The next packet is built a few milliseconds into the wait rather than straight
        // after the write, so the receiver gets the CPU to take this one in first; at the
        // latest it is built when the ACK arrives.
        auto prepareOnce = [&] {
            if (!prepared) {
                prepared = true;
                prepare();
            }
        };
        ClockTimer later(prepareOnce);
        if (!prepared)
            later.start(kPrepareDelayMs);
        DebugAssist(QStringLiteral("WaitForAck"));
        // A NAK is the receiver's refusal of this packet (a bad block on the line): the packet
        // goes out again at once, as any XMODEM receiver expects, within the same ten tries.
        const Reply r = waitForByte(port, kACK, true, [&] {
            prepareOnce();
            if (next && !next->bytes.isEmpty() && !IsCancelRequested()) {
                writeFresh(port, next->bytes);
                next->written = true;
            }
        });
        if (r == Reply::Wanted)
            return true;
        DebugAssist(QStringLiteral("TransmitXmodemPacket Retransmit"));
    }
    return false;
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
    return waitForByte(port, kNAK, false) == Reply::Wanted;
}

bool WaitForAck(SerialLine &port)
{
    DebugAssist(QStringLiteral("WaitForAck"));
    return waitForByte(port, kACK, false) == Reply::Wanted;
}

bool TransmitXmodemPacket(SerialLine &port, const QByteArray &block, int32_t packetNumber)
{
    return transmitPacket(port, BuildXmodemPacket(block, packetNumber), false, {}, nullptr);
}

bool TransmitEOT(SerialLine &port)
{
    DebugAssist(QStringLiteral("TransmitEOT"));
    for (int attempt = 1; attempt <= kEotTries; ++attempt) {
        writeFresh(port, QByteArray(1, kEOT));
        if (port.hasError())
            return false;
        // A NAK of the EOT asks for it again: at once.
        DebugAssist(QStringLiteral("WaitForAck"));
        if (waitForByte(port, kACK, true) == Reply::Wanted)
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
        const QByteArray finished = cmd::TransferFinished.toLatin1();
        if (const qsizetype at = collected.indexOf(finished); at >= 0) {
            // The line end and prompt after it belong to the next command's drain.
            port.unread(collected.mid(at + finished.size()));
            timer.StopTimeout();
            return true;
        }
        timer.pumpOnce();
    }
}

namespace {

// Reads the file block by block from byte `start` (1-based) and makes each block a packet.
class PacketReader {
public:
    PacketReader(QIODevice &file, int32_t length, int32_t start)
        : file_(file), length_(length), position_(start <= 0 ? 1 : start)
    { }

    // Moves to the start byte; false when the file cannot seek there.
    [[nodiscard]] bool seekStart() { return position_ <= 1 || file_.seek(position_ - 1); }

    // The next 128 bytes of the file as packet number `packet`; bytes beyond length or the
    // end of the file are 0x00. Empty on a read error.
    QByteArray packet(int32_t packet)
    {
        QByteArray block(kXmodemBlockSize, '\0');
        for (int j = 0; j < kXmodemBlockSize; ++j) {
            if (fileEnded_)
                continue;
            if (position_ > length_) {
                ++position_;
                continue;
            }
            char byte = 0;
            if (file_.getChar(&byte)) {
                block[j] = byte;
                ++position_;
            } else if (file_.atEnd()) {
                fileEnded_ = true;
            } else {
                return {};
            }
        }
        return BuildXmodemPacket(block, packet);
    }

private:
    QIODevice &file_;
    const int32_t length_;
    int64_t position_; // 1-based number of the next byte to read
    bool fileEnded_ = false;
};

// Packets 1..packets, each read while the one before it is on the line and sent as soon as
// that one's ACK is in. False on a read error, a packet the receiver never took, or a cancel
// request; progress is told each packet tried.
bool sendPackets(SerialLine &port, PacketReader &reader, int32_t packets, const XmodemProgress &progress)
{
    NextPacket next;
    if (packets > 0)
        next.bytes = reader.packet(1);
    bool failed = false;
    for (int32_t packet = 1; packet <= packets && !failed; ++packet) {
        if (next.bytes.isEmpty()) {
            failed = true; // read error: this block is not sent
        } else {
            const QByteArray current = std::exchange(next.bytes, {});
            const bool written = std::exchange(next.written, false);
            failed = !transmitPacket(
                port, current, written,
                [&] {
                    if (packet < packets)
                        next.bytes = reader.packet(packet + 1);
                },
                &next);
        }
        if (progress.packetSent)
            progress.packetSent(packet);
        if (IsCancelRequested())
            failed = true;
    }
    return !failed;
}

// The transfer itself over an opened source; source null: it could not be opened.
bool sendXModem(SerialLine &port, QIODevice *source, int32_t length, int32_t start, bool waitForVerdict,
                const XmodemProgress &progress)
{
    bool failed = !port.isOpen() || !WaitForNak(port);
    if (!source)
        failed = true;
    if (!failed) {
        const int32_t packets = length <= 0 ? 0 : (length + kXmodemBlockSize - 1) / kXmodemBlockSize;
        if (progress.maximum)
            progress.maximum(packets);
        PacketReader reader(*source, length, start);
        if (!reader.seekStart())
            failed = true;
        if (!sendPackets(port, reader, failed ? 0 : packets, progress))
            failed = true;
        source->close();
    }
    if (!TransmitEOT(port))
        failed = true;
    if (!failed && waitForVerdict)
        failed = !WaitForXmodemResult(port);
    return !failed;
}

} // namespace

bool SendFileXModem(SerialLine &port, const QString &path, int32_t length, int32_t start, bool waitForVerdict,
                    const XmodemProgress &progress)
{
    DebugAssist(QStringLiteral("SendFileXModem"));
    QFile file(path);
    // Opened before the receiver's NAK is awaited; a file that cannot be opened still gets the
    // wait for the NAK and the EOT, so the receiver is not left expecting packets.
    const bool opened = port.isOpen() && file.open(QIODevice::ReadOnly);
    return sendXModem(port, opened ? &file : nullptr, length, start, waitForVerdict, progress);
}

bool SendDataXModem(SerialLine &port, const QByteArray &data, int32_t length, int32_t start, bool waitForVerdict,
                    const XmodemProgress &progress)
{
    DebugAssist(QStringLiteral("SendFileXModem"));
    QBuffer buffer;
    buffer.setData(data);
    const bool opened = buffer.open(QIODevice::ReadOnly);
    return sendXModem(port, opened ? &buffer : nullptr, length, start, waitForVerdict, progress);
}

} // namespace korvane
