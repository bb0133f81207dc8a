#pragma once
// The telnet layer of a serial line reached through an RFC 2217 server: the client's side of
// the option negotiation, the serial port settings it asks for, and the escaping of data.
//
// Wire layout (all one byte each unless said): IAC (255) starts a command; IAC IAC is one data
// byte 255. IAC DO|DONT|WILL|WONT <option> negotiates an option. IAC SB <option> <bytes> IAC SE
// is a subnegotiation; for COM-PORT-OPTION (44) its first byte is the command, 1..12 from the
// client, the same plus 100 in the server's answer, then the value (the baud rate as 4 bytes,
// most significant first; the others as 1 byte).
//
// The client offers and accepts BINARY (0) and SUPPRESS-GO-AHEAD (3) both ways and offers
// COM-PORT-OPTION; everything else is refused. It never waits on an answer to a setting: the
// server answers each with the value it took, and a value other than the one asked for is
// reported through settingsProblem(). Modem-control requests are never sent.
//
// The codec holds no socket: it turns bytes into bytes, so it is the same whichever way the
// wire splits them.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace korvane {

class TelnetCodec {
public:
    enum class ComPortOption { Unanswered, Agreed, Refused };

    // What the client sends first: WILL/DO BINARY, WILL/DO SUPPRESS-GO-AHEAD, WILL COM-PORT-OPTION.
    [[nodiscard]] QByteArray greeting();
    // 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control, then a purge of the
    // server's buffers in both directions (bytes of an earlier conversation). Send once
    // comPortOption() is Agreed.
    [[nodiscard]] static QByteArray lineSettings();

    // Data for the wire: every 255 doubled; while our side is not in BINARY mode a CR that is
    // not followed by LF is followed by NUL.
    [[nodiscard]] QByteArray encode(const QByteArray &data) const;
    // Takes bytes from the server, split anywhere; returns the data among them (255 once for
    // IAC IAC; the NUL after a CR dropped while the server is not in BINARY mode). Answers to the
    // server's requests are appended to `answers`, to be sent as they are.
    [[nodiscard]] QByteArray decode(const QByteArray &wire, QByteArray &answers);

    [[nodiscard]] ComPortOption comPortOption() const { return comPort_; }
    // Empty, or what the server set differently from what was asked ("4800 baud, not 9600").
    [[nodiscard]] const QString &settingsProblem() const { return settingsProblem_; }
    // The server asked the client to stop sending (flow control), until it asks to resume.
    [[nodiscard]] bool outputSuspended() const { return suspended_; }

private:
    enum class Side : std::uint8_t { No, WantYes, Yes };
    enum class State : std::uint8_t { Data, Iac, Verb, Sub, SubIac };

    void negotiate(std::uint8_t verb, std::uint8_t option, QByteArray &answers);
    void subnegotiation();

    std::array<Side, 256> us_{};  // options on our side (WILL/WONT)
    std::array<Side, 256> him_{}; // options on the server's side (DO/DONT)
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    bool afterCr_ = false; // the last data byte was CR (for the NUL that may follow)
    QByteArray sub_;       // option and bytes of the subnegotiation being read
    ComPortOption comPort_ = ComPortOption::Unanswered;
    QString settingsProblem_;
    bool suspended_ = false;
};

} // namespace korvane
