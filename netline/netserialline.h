#pragma once
// SerialLine over TCP: a processor behind a network serial server, through its RFC 2217
// telnet port (the line is set to 9600 8N1 from here, data escaped) or a raw TCP port (bytes as
// they are). Every COM number means that one server, as a fixed device path does.
//
// open() connects and, for RFC 2217, waits until the server has answered the port control
// option, then asks for the line settings without waiting on their answers. Both waits sleep
// in the event loop on CurrentClock() and end early on a cancel request. A refused, failed or
// dropped connection is a pending port error naming the address and the reason ("connection
// refused", "connection closed by the server"); a lost connection also closes the line.

#include "networkdevice.h"
#include "telnetcodec.h"

#include <QTcpSocket>

#include <memory>

namespace korvane {

class NetSerialLine : public SerialLine {
public:
    // Time the connection may take to be made (ms), and the server to answer the port control
    // option after it (ms).
    static constexpr int kConnectMs = 10000;
    static constexpr int kNegotiationMs = 5000;

    explicit NetSerialLine(NetworkDevice device);
    ~NetSerialLine() override;

    void setPortNumber(int port) override;
    [[nodiscard]] int portNumber() const override { return port_; }
    [[nodiscard]] QString deviceName() const override { return device_.text(); }

    [[nodiscard]] bool isOpen() const override { return open_; }
    void open() override;
    void close() override;

    void write(const QByteArray &bytes) override;
    [[nodiscard]] qint64 bytesWaitingOut() const override;

    [[nodiscard]] bool hasError() const override { return !error_.isEmpty(); }
    [[nodiscard]] QString errorText() const override { return error_; }
    void clearError() override { error_.clear(); }

protected:
    [[nodiscard]] QByteArray readAvailable() override;
    [[nodiscard]] qint64 bytesAvailable() const override { return in_.size(); }

private:
    [[nodiscard]] bool telnet() const { return device_.protocol == NetworkDevice::Protocol::Rfc2217; }
    // Pumps events until done() or the time runs out, the connection fails or a cancel request
    // comes (each a pending error, the time-out with timeoutReason); true when done().
    [[nodiscard]] bool waitFor(const std::function<bool()> &done, int ms, const QString &timeoutReason);
    void takeInput();
    void send(const QByteArray &wire);
    void onSocketError(QAbstractSocket::SocketError error);
    void fail(const QString &reason); // keeps the first reason, as "<address>: <reason>"
    void dropSocket();

    NetworkDevice device_;
    int port_ = 1;
    std::unique_ptr<QTcpSocket> socket_; // one per connection
    TelnetCodec codec_;
    QByteArray in_;   // data received, telnet commands taken out
    QByteArray held_; // data held back while the server has asked us to stop sending
    bool open_ = false;
    QString error_;
};

} // namespace korvane
