#pragma once
// The port control the device link talks through: COM 1..9 at 9600 baud, 8 data bits, no
// parity, 1 stop bit, no flow control. Errors are deferred: a failing call sets a pending
// error and returns; the protocol routines inspect hasError() at fixed points and turn it
// into a false result. Reception is polled: bytesWaitingIn() then readAll().
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
    // Everything waiting in the input buffer; empty when nothing is.
    [[nodiscard]] virtual QByteArray readAll() = 0;
    [[nodiscard]] virtual qint64 bytesWaitingIn() const = 0;
    // Bytes accepted by write() that have not yet been handed to the line.
    [[nodiscard]] virtual qint64 bytesWaitingOut() const = 0;

    [[nodiscard]] virtual bool hasError() const = 0;
    [[nodiscard]] virtual QString errorText() const = 0;
    virtual void clearError() = 0;
};

} // namespace korvane
