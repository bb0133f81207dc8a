#include "portlock.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstring>

#if !defined(Q_OS_WIN)
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace korvane {

QString PortLockFileName(const QString &canonicalDevice)
{
    QString name = canonicalDevice;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

QString ProcessName(long long pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (pid <= 0 || !comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

#if !defined(Q_OS_WIN)
namespace {

// The holder's process id: ASCII (possibly padded with blanks, as most programs write it),
// or a 4-byte binary number (the old form). 0 when the file names none.
long long lockPid(const QByteArray &content)
{
    const QByteArray first = content.split('\n').value(0).trimmed();
    bool ok = false;
    const long long pid = first.toLongLong(&ok);
    if (ok)
        return pid > 0 ? pid : 0;
    if (content.size() == 4) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), 4);
        return binary > 0 ? binary : 0;
    }
    return 0;
}

bool processLives(long long pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

} // namespace

std::optional<PortLockHolder> FindPortLock(const QString &canonicalDevice, const QStringList &lockDirs)
{
    const QStringList dirs = lockDirs.isEmpty() ? QStringList{QStringLiteral("/var/lock"), QStringLiteral("/run/lock")}
                                                : lockDirs;
    const QString name = PortLockFileName(canonicalDevice);
    for (const QString &dir : dirs) {
        const QString path = dir + QLatin1Char('/') + name;
        QFile f(path);
        if (!f.exists() || !f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = f.read(256);
        f.close();
        const long long pid = lockPid(content);
        if (pid == 0)
            return PortLockHolder{path, 0, {}};
        if (processLives(pid)) {
            // The serial port layer writes the program name on the second line; other
            // programs write only the number, and /proc knows the rest.
            QString program = ProcessName(pid);
            if (program.isEmpty())
                program = QString::fromLocal8Bit(content.split('\n').value(1)).trimmed();
            return PortLockHolder{path, pid, program};
        }
        // Its process is gone: a stale lock left by a program that died with the port open.
        QFile::remove(path);
    }
    return std::nullopt;
}

bool LockOpenDevice(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    (void)::ioctl(fd, TIOCEXCL);
    return true;
}

#else

std::optional<PortLockHolder> FindPortLock(const QString &, const QStringList &) { return std::nullopt; }
bool LockOpenDevice(int) { return true; }

#endif

} // namespace korvane
