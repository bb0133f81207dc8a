#include "netserialline.h"

#include "device/clock.h"
#include "device/comroutines.h"

#include <QHostAddress>

#if !defined(Q_OS_WIN)
#include <sched.h>
#endif

namespace korvane {

namespace {

// The reasons a user can act on, in the words of the rest of the port errors.
QString socketReason(QAbstractSocket::SocketError error, const QString &systemText)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("connection closed by the server");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("host not found");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("network error: %1").arg(systemText);
    default:
        return systemText;
    }
}

} // namespace

NetSerialLine::NetSerialLine(NetworkDevice device) : device_(std::move(device)) { }

NetSerialLine::~NetSerialLine() { dropSocket(); }

void NetSerialLine::fail(const QString &reason)
{
    if (error_.isEmpty())
        error_ = QStringLiteral("%1: %2").arg(device_.text(), reason);
}

void NetSerialLine::setPortNumber(int port)
{
    if (open_) {
        if (port != port_)
            fail(QStringLiteral("port number changed while the port is open"));
        return;
    }
    port_ = port;
}

void NetSerialLine::dropSocket()
{
    if (!socket_)
        return;
    socket_->disconnect();
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        // What was written has been handed to the system already; closing sends it, then FIN.
        socket_->flush();
        socket_->disconnectFromHost();
    }
    socket_->abort();
    socket_.reset();
}

void NetSerialLine::onSocketError(QAbstractSocket::SocketError error)
{
    fail(socketReason(error, socket_->errorString()));
    // A lost connection is a closed line: waits end, the next open connects again.
    open_ = false;
}

bool NetSerialLine::waitFor(const std::function<bool()> &done, int ms, const QString &timeoutReason)
{
    Clock &clock = CurrentClock();
    const qint64 deadline = clock.nowMs() + ms;
    while (!done()) {
        if (!error_.isEmpty())
            return false;
        if (IsCancelRequested()) {
            fail(QStringLiteral("cancelled"));
            return false;
        }
        if (clock.nowMs() >= deadline) {
            fail(timeoutReason);
            return false;
        }
        clock.pumpEvents(deadline);
    }
    return true;
}

void NetSerialLine::open()
{
    if (open_)
        return;
    dropUnread();
    dropSocket();
    in_.clear();
    held_.clear();
    codec_ = TelnetCodec{};
    socket_ = std::make_unique<QTcpSocket>();
    QTcpSocket *s = socket_.get();
    QObject::connect(s, &QTcpSocket::readyRead, s, [this] { takeInput(); });
    QObject::connect(s, &QTcpSocket::errorOccurred, s, [this](QAbstractSocket::SocketError e) { onSocketError(e); });
    s->connectToHost(device_.host, device_.port);
    if (!waitFor([s] { return s->state() == QAbstractSocket::ConnectedState; }, kConnectMs,
                 QStringLiteral("no connection within %1 s").arg(kConnectMs / 1000))) {
        dropSocket();
        return;
    }
    // A 132-byte packet goes out at once, not when the server's acknowledgement of the last
    // one comes back.
    s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    if (telnet()) {
        send(codec_.greeting());
        const QString notRfc2217 = QStringLiteral("the server does not take serial port settings (RFC 2217); for a raw "
                                                  "TCP port use tcp://%1:%2")
                                       .arg(device_.host)
                                       .arg(device_.port);
        if (!waitFor([this] { return codec_.comPortOption() != TelnetCodec::ComPortOption::Unanswered; },
                     kNegotiationMs, notRfc2217)) {
            dropSocket();
            return;
        }
        if (codec_.comPortOption() == TelnetCodec::ComPortOption::Refused) {
            fail(notRfc2217);
            dropSocket();
            return;
        }
        send(TelnetCodec::lineSettings());
    }
    open_ = error_.isEmpty();
    if (!open_)
        dropSocket();
}

void NetSerialLine::close()
{
    dropUnread();
    in_.clear();
    held_.clear();
    open_ = false;
    dropSocket();
}

void NetSerialLine::send(const QByteArray &wire)
{
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) {
        fail(QStringLiteral("write on a closed connection"));
        return;
    }
    if (socket_->write(wire) != wire.size()) {
        fail(QStringLiteral("write failed: %1").arg(socket_->errorString()));
        return;
    }
    // Hand the bytes to the system now rather than on the next pass of the event loop.
    socket_->flush();
#if !defined(Q_OS_WIN)
    // The server is a process that may share this core: let it take the bytes in now.
    sched_yield();
#endif
}

void NetSerialLine::write(const QByteArray &bytes)
{
    if (!open_) {
        fail(QStringLiteral("write on a closed port"));
        return;
    }
    if (codec_.outputSuspended()) {
        held_ += bytes;
        return;
    }
    send(telnet() ? codec_.encode(bytes) : bytes);
}

void NetSerialLine::takeInput()
{
    if (!socket_)
        return;
    const QByteArray wire = socket_->readAll();
    if (!telnet()) {
        in_ += wire;
        return;
    }
    QByteArray answers;
    in_ += codec_.decode(wire, answers);
    if (!answers.isEmpty())
        send(answers);
    if (!codec_.settingsProblem().isEmpty())
        fail(codec_.settingsProblem());
    if (!held_.isEmpty() && !codec_.outputSuspended() && open_) {
        const QByteArray held = std::exchange(held_, {});
        send(codec_.encode(held));
    }
}

QByteArray NetSerialLine::readAvailable() { return std::exchange(in_, {}); }

qint64 NetSerialLine::bytesWaitingOut() const
{
    return held_.size()
        + (socket_ && socket_->state() == QAbstractSocket::ConnectedState ? socket_->bytesToWrite() : 0);
}

} // namespace korvane
