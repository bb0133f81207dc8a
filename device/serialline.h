#pragma once
// The port control the device link talks through: COM 1..9 at 9600 baud, 8 data bits, no
// parity, 1 stop bit, no flow control. Errors are deferred: a failing call sets a pending
// error and returns; the protocol routines inspect hasError() at fixed points and turn it
// into a false result. Reception is polled: bytesWaitingIn() then readAll().
//
// A wait takes only the bytes its reply needs and gives the rest back with unread(), so the
// next wait sees them first: an adapter may hand an ACK and the text after it, or a reply
// and the NAK after it, over in one read.
//
// Implementations: QtSerialLine (the real port) and a scripted line in the tests.

#include <QByteArray>
#include <QString>

namespace korvane {

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // COM n, 1..9. Changing the number of an open port is an error (left pending).
    virtual void setPortNumber(int port) = 0;
    [[nodiscard]] virtual int portNumber() const = 0;
    // The device path behind the current port number (for messages and the CLI).
    [[nodiscard]] virtual QString deviceName() const = 0;

    [[nodiscard]] virtual bool isOpen() const = 0;
    virtual void open() = 0;
    virtual void close() = 0;

    // Queues bytes for the line; an error (port closed, device gone) stays pending.
    virtual void write(const QByteArray &bytes) = 0;
    void writeText(const QString &text) { write(text.toLatin1()); }
    // Everything waiting: bytes given back by unread() first, then the input buffer; empty
    // when nothing is.
    [[nodiscard]] QByteArray readAll()
    {
        QByteArray out;
        out.swap(unread_);
        out += readAvailable();
        return out;
    }
    [[nodiscard]] qint64 bytesWaitingIn() const { return unread_.size() + bytesAvailable(); }
    // Puts bytes back in front of the input, to be read again by the next readAll().
    void unread(const QByteArray &bytes) { unread_.prepend(bytes); }
    // Bytes accepted by write() that have not yet been handed to the line.
    [[nodiscard]] virtual qint64 bytesWaitingOut() const = 0;

    [[nodiscard]] virtual bool hasError() const = 0;
    [[nodiscard]] virtual QString errorText() const = 0;
    virtual void clearError() = 0;

protected:
    // The input buffer of the port itself.
    [[nodiscard]] virtual QByteArray readAvailable() = 0;
    [[nodiscard]] virtual qint64 bytesAvailable() const = 0;
    // Bytes given back belong to the conversation that ends with open() or close().
    void dropUnread() { unread_.clear(); }

private:
    QByteArray unread_;
};

} // namespace korvane
