#include "qtserialline.h"

#include "comports.h"
#include "portlock.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#if !defined(Q_OS_WIN)
#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvane {

QtSerialLine::QtSerialLine(QString fixedDevice) : fixedDevice_(std::move(fixedDevice)) { }

QtSerialLine::~QtSerialLine()
{
    if (serial_.isOpen())
        serial_.close();
}

void QtSerialLine::checkHangup() const
{
#if !defined(Q_OS_WIN)
    if (!serial_.isOpen() || serial_.handle() < 0)
        return;
    pollfd p{static_cast<int>(serial_.handle()), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) {
        fail(QStringLiteral("%1: the device went away").arg(deviceName()));
        serial_.close();
    }
#endif
}

void QtSerialLine::fail(const QString &text) const
{
    if (ownError_.isEmpty())
        ownError_ = text;
}

void QtSerialLine::setPortNumber(int port)
{
    if (serial_.isOpen()) {
        if (port != port_)
            fail(QStringLiteral("port number changed while the port is open"));
        return;
    }
    port_ = port;
}

QString QtSerialLine::deviceName() const { return fixedDevice_.isEmpty() ? ComPortDeviceName(port_) : fixedDevice_; }

#if !defined(Q_OS_WIN)
namespace {

// The group that may open the device ("dialout" on Debian), for the remedy of a refused open.
QString deviceGroup(const QString &path)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("dialout");
    const group *g = ::getgrgid(st.st_gid);
    return g && g->gr_name && g->gr_gid != 0 ? QString::fromLocal8Bit(g->gr_name) : QStringLiteral("dialout");
}

} // namespace
#endif

QString PortLockMessage(const QString &device, const PortLockStatus &lock)
{
    using State = PortLockStatus::State;
    const QString busy = QString::fromLocal8Bit(std::strerror(EBUSY));
    switch (lock.state) {
    case State::Free:
        return {};
    case State::Held: {
        QString who = lock.program.isEmpty() ? QStringLiteral("another program") : lock.program;
        if (lock.pid > 0)
            who += QStringLiteral(" (process %1)").arg(lock.pid);
        return QStringLiteral("%1: %2; in use by %3, lock file %4").arg(device, busy, who, lock.lockFile);
    }
    case State::Unusable:
        return QStringLiteral("%1: %2; the lock file %3%4 cannot be used: %5. Whoever put it there (or root) "
                              "can remove it: sudo rm '%3'")
            .arg(device, busy, lock.lockFile,
                 lock.owner.isEmpty() ? QString() : QStringLiteral(" (owner %1)").arg(lock.owner), lock.reason);
    case State::StaleOfAnotherUser: {
        const QString program = lock.program.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(lock.program);
        const QString mayRemove = lock.owner == QLatin1String("root") ? QStringLiteral("root")
                                                                      : lock.owner + QStringLiteral(" or root");
        return QStringLiteral("%1: %2; the lock file %3 is left over from process %4%5 of user %6, which has "
                              "ended, and only %7 may remove it: sudo rm '%3'")
            .arg(device, busy, lock.lockFile, QString::number(lock.pid), program, lock.owner, mayRemove);
    }
    }
    return {};
}

void QtSerialLine::open()
{
    if (serial_.isOpen())
        return;
    dropUnread();
    const QString name = deviceName();
    if (name.isEmpty()) {
        fail(QStringLiteral("COM %1 does not exist").arg(port_));
        return;
    }
#if !defined(Q_OS_WIN)
    // Every refusal names the device and gives the system's words, with what the user can do
    // about it where there is something.
    const QByteArray local = QFile::encodeName(name);
    struct stat st { };
    if (::stat(local.constData(), &st) != 0) {
        fail(QStringLiteral("%1: %2").arg(name, QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    // One device, one lock, whichever name it was reached by.
    const QString device = QFileInfo(name).canonicalFilePath();
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        fail(QStringLiteral("%1: %2; add yourself to the '%3' group and log in again")
                 .arg(name, QString::fromLocal8Bit(std::strerror(EACCES)), deviceGroup(device)));
        return;
    }
    // Our look at the lock files comes first: the serial port layer reads a lock file with a
    // plain (blocking) open, counts a living holder's lock as stale when it does not name
    // the holding program on its second line, as most programs' locks do not, and says only
    // "Permission error while locking the device" when a stale lock cannot be removed.
    if (const PortLockStatus lock = CheckPortLock(device); lock.state != PortLockStatus::State::Free) {
        fail(PortLockMessage(name, lock));
        return;
    }
    serial_.setPortName(device);
#else
    serial_.setPortName(name);
#endif
    if (!serial_.open(QIODevice::ReadWrite)) {
#if !defined(Q_OS_WIN)
        // A lock that appeared since our look: say whose it is.
        if (const PortLockStatus lock = CheckPortLock(device); lock.state != PortLockStatus::State::Free) {
            fail(PortLockMessage(name, lock));
            serial_.clearError();
            return;
        }
#endif
        fail(QStringLiteral("%1: %2").arg(name, serial_.errorString()));
        serial_.clearError();
        return;
    }
#if !defined(Q_OS_WIN)
    // The serial port layer wrote its lock as number, program, host and machine lines; other
    // serial programs read the ten-character form. Failing that, its own form still works.
    (void)RewriteOwnPortLock(device);
    if (!LockOpenDevice(static_cast<int>(serial_.handle()))) {
        fail(QStringLiteral("%1: %2; in use by another program")
                 .arg(name, QString::fromLocal8Bit(std::strerror(EBUSY))));
        serial_.close();
        return;
    }
#endif
    // 9600 8N1, no flow control. A port that refuses a setting is closed again so that a
    // half-configured line never carries a command.
    const bool ok = serial_.setBaudRate(QSerialPort::Baud9600) && serial_.setDataBits(QSerialPort::Data8)
        && serial_.setParity(QSerialPort::NoParity) && serial_.setStopBits(QSerialPort::OneStop)
        && serial_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        fail(QStringLiteral("%1: line settings refused: %2").arg(name, serial_.errorString()));
        serial_.close();
        return;
    }
    // Stale bytes from an earlier conversation are not part of this one.
    serial_.clear();
}

void QtSerialLine::close()
{
    dropUnread();
    if (serial_.isOpen())
        serial_.close();
}

void QtSerialLine::write(const QByteArray &bytes)
{
    if (!serial_.isOpen()) {
        fail(QStringLiteral("write on a closed port"));
        return;
    }
    if (serial_.write(bytes) != bytes.size()) {
        fail(QStringLiteral("write failed: %1").arg(serial_.errorString()));
        return;
    }
    // Hand the bytes to the driver now rather than on the next pass of the event loop, so a
    // packet starts on the line as soon as its ACK has been seen. What the driver does not
    // take at once stays queued and goes out from the event loop as before.
    serial_.flush();
#if !defined(Q_OS_WIN)
    // Let the other end run before our own bookkeeping after a write. Behind a pseudo-
    // terminal (a simulated processor, a network serial bridge) the far end is a process
    // that may share this core and would otherwise wait some 50 us for the sender to go back
    // to sleep before it takes the packet in; on a real port this costs one system call.
    // Next to a CPU-bound process the yield may cost us a time slice (a few ms) before our
    // own bookkeeping; at 9600 baud the answer to a packet is 138 ms away.
    sched_yield();
#endif
}

QByteArray QtSerialLine::readAvailable()
{
    if (!serial_.isOpen())
        return {};
    return serial_.readAll();
}

qint64 QtSerialLine::bytesAvailable() const
{
    if (!serial_.isOpen())
        return 0;
    const qint64 n = serial_.bytesAvailable();
    if (n == 0)
        checkHangup();
    return n;
}

qint64 QtSerialLine::bytesWaitingOut() const { return serial_.isOpen() ? serial_.bytesToWrite() : 0; }

bool QtSerialLine::hasError() const
{
    checkHangup();
    return !ownError_.isEmpty() || serial_.error() != QSerialPort::NoError;
}

QString QtSerialLine::errorText() const
{
    if (!ownError_.isEmpty())
        return ownError_;
    return serial_.error() == QSerialPort::NoError ? QString() : serial_.errorString();
}

void QtSerialLine::clearError()
{
    ownError_.clear();
    serial_.clearError();
}

} // namespace korvane
