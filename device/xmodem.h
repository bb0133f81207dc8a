#pragma once
// XMODEM sender, checksum form: the receiver starts the transfer with NAK; each 128-byte
// block travels in a 132-byte packet and is acknowledged with ACK; EOT ends the transfer.
// Packet layout:
//   [0]      SOH 0x01
//   [1]      block number = packet number mod 256 (first packet 1; 255 is followed by 0)
//   [2]      255 - block number
//   [3..130] 128 data bytes (a block beyond the data is padded with 0x00)
//   [131]    sum of the 128 data bytes mod 256
// A CRC request ('C') or a cancel byte from the receiver is not interpreted.

#include "serialline.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

namespace korvane {

inline constexpr char kSOH = 0x01;
inline constexpr char kEOT = 0x04;
inline constexpr char kACK = 0x06;
inline constexpr char kNAK = 0x15;
inline constexpr int kXmodemBlockSize = 128;
inline constexpr int kXmodemPacketSize = 132;

// Progress of a transfer, for the progress views. Either may be empty.
struct XmodemProgress {
    std::function<void(int packets)> maximum;   // number of packets the transfer will send
    std::function<void(int packet)> packetSent; // last packet acknowledged (1-based); the
                                                // next one may be on the line already
};

// The 132-byte packet for a 128-byte block; empty when block is not exactly 128 bytes.
[[nodiscard]] QByteArray BuildXmodemPacket(const QByteArray &block, int32_t packetNumber);

// Sends length bytes of the file at path, starting at byte position start (1-based; 0 or
// negative means 1). Bytes beyond length or the end of the file go out as 0x00. EOT is sent
// in every case, also after a failure or cancel. With waitForVerdict the processor's
// "Finished" must follow within 3 s. True when the whole transfer succeeded.
[[nodiscard]] bool SendFileXModem(SerialLine &port, const QString &path, int32_t length, int32_t start,
                                  bool waitForVerdict, const XmodemProgress &progress = {});

// The same transfer from bytes in memory: what the caller built is what goes out, whatever
// happens meanwhile to a file of the same name.
[[nodiscard]] bool SendDataXModem(SerialLine &port, const QByteArray &data, int32_t length, int32_t start,
                                  bool waitForVerdict, const XmodemProgress &progress = {});

// True when a NAK (respectively ACK) arrived within 10 s; ends at once on a cancel request.
[[nodiscard]] bool WaitForNak(SerialLine &port);
[[nodiscard]] bool WaitForAck(SerialLine &port);
// Each wait takes the bytes up to the one it waits for and leaves the rest for the next.
// Sends one block as packet packetNumber: up to 10 tries of write, 3 s drain, ACK wait; a
// NAK instead of the ACK sends the packet again at once.
// A block that is not exactly 128 bytes is refused without writing anything.
[[nodiscard]] bool TransmitXmodemPacket(SerialLine &port, const QByteArray &block, int32_t packetNumber);
// Up to 10 EOTs, each followed by an ACK wait.
[[nodiscard]] bool TransmitEOT(SerialLine &port);
// True when "Finished" arrived within 3 s (it may come in pieces).
[[nodiscard]] bool WaitForXmodemResult(SerialLine &port);

} // namespace korvane
