#pragma once
// SerialLine over QSerialPort. COM numbers are resolved to device paths by
// ComPortDeviceName (comports.h) unless a fixed device path is given, in which case every
// port number means that one device (the CLI's --device).

#include "portlock.h"
#include "serialline.h"

#include <QSerialPort>

namespace korvane {

// The refusal to open device (as the user named it) because of what its lock file says: who
// holds it, or which lock file is in the way, whose it is and how to remove it. Empty for a
// free port.
[[nodiscard]] QString PortLockMessage(const QString &device, const PortLockStatus &lock);

class QtSerialLine : public SerialLine {
public:
    explicit QtSerialLine(QString fixedDevice = {});
    ~QtSerialLine() override;

    void setPortNumber(int port) override;
    [[nodiscard]] int portNumber() const override { return port_; }
    [[nodiscard]] QString deviceName() const override;

    [[nodiscard]] bool isOpen() const override { return serial_.isOpen(); }
    void open() override;
    void close() override;

    void write(const QByteArray &bytes) override;
    [[nodiscard]] qint64 bytesWaitingOut() const override;

    [[nodiscard]] bool hasError() const override;
    [[nodiscard]] QString errorText() const override;
    void clearError() override;

protected:
    [[nodiscard]] QByteArray readAvailable() override;
    [[nodiscard]] qint64 bytesAvailable() const override;

private:
    void fail(const QString &text) const;
    // A device that went away (cable pulled, the peer of a pseudo-terminal closed) leaves
    // the descriptor readable with nothing to read: QSerialPort reports no error and its
    // read notifier fires without end. Seen here, it becomes a pending error and the port
    // is closed, so waits end instead of spinning.
    void checkHangup() const;

    mutable QSerialPort serial_;
    QString fixedDevice_;
    int port_ = 1;
    mutable QString ownError_; // errors the port object itself does not record
};

} // namespace korvane
