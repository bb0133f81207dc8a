#include "portlock.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <limits>

#if !defined(Q_OS_WIN)
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
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

long long LockFilePid(const QByteArray &content)
{
    // The binary form is a native 4-byte int; no process id reaches 2^24, so its high byte is
    // zero, and a text lock never holds a zero byte.
    if (content.size() == 4 && content.contains('\0')) {
        qint32 binary = 0;
        std::memcpy(&binary, content.constData(), 4);
        return binary > 0 ? binary : 0;
    }
    qsizetype i = 0;
    while (i < content.size() && (content[i] == ' ' || content[i] == '\t'))
        ++i;
    if (i == content.size() || content[i] < '0' || content[i] > '9')
        return 0;
    long long pid = 0;
    for (; i < content.size() && content[i] >= '0' && content[i] <= '9'; ++i) {
        const int digit = content[i] - '0';
        pid = pid > (LLONG_MAX - digit) / 10 ? LLONG_MAX : pid * 10 + digit;
    }
    // The number ends its line or is followed by a blank ("  1234 minicom user").
    const bool ended = i == content.size() || content[i] == '\n' || content[i] == ' ' || content[i] == '\t';
    return ended ? pid : 0;
}

QByteArray LockFileContent(long long pid) { return QByteArray::number(pid).rightJustified(10, ' ') + '\n'; }

QString EscapeForeignText(const QString &text)
{
    constexpr qsizetype kMaxChars = 64;
    QString out;
    qsizetype kept = 0;
    for (const char32_t c : text.toUcs4()) {
        if (kept++ == kMaxChars) {
            out += QStringLiteral("...");
            break;
        }
        if (c < 0x20 || (c >= 0x7f && c <= 0x9f))
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        else if (QChar::category(c) == QChar::Other_Format || c == 0x2028 || c == 0x2029)
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else if (c == '\\')
            out += QStringLiteral("\\\\");
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out;
}

#if !defined(Q_OS_WIN)
namespace {

QStringList lockFolders(const QStringList &lockDirs)
{
    const QStringList dirs = lockDirs.isEmpty() ? QStringList{QStringLiteral("/var/lock"), QStringLiteral("/run/lock")}
                                                : lockDirs;
    // /var/lock is a link to /run/lock on most systems: one folder, looked at once.
    QStringList out;
    QStringList seen;
    for (const QString &dir : dirs) {
        const QString canonical = QFileInfo(dir).canonicalFilePath();
        if (canonical.isEmpty() || seen.contains(canonical))
            continue;
        seen << canonical;
        out << dir;
    }
    return out;
}

bool processLives(long long pid)
{
    // A number past pid_t's range would wrap on the cast (4294967297 is process 1) and a
    // lock naming it would live for ever; no process has such an id.
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString userName(uid_t uid)
{
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return EscapeForeignText(QString::fromLocal8Bit(found->pw_name));
    return QString::number(uid);
}

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device node");
    return QStringLiteral("not a plain file");
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) { }
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    [[nodiscard]] int get() const { return fd_; }

private:
    int fd_;
};

// The program named in a lock file: the serial port layer's second line, else the word after
// the number on the first line ("  1234 minicom user").
QString programInLock(const QByteArray &content)
{
    const QList<QByteArray> lines = content.split('\n');
    QByteArray name = lines.value(1).trimmed();
    if (name.isEmpty())
        name = lines.value(0).simplified().split(' ').value(1);
    return QString::fromLocal8Bit(name);
}

enum class Step { Missing, Decided, Again };

// The stale lock at path, judged (the file examined, its process gone), taken away; Again
// when the name is to be judged afresh, Decided (out says why) when it cannot be moved.
Step takeAwayStale(const QString &path, const struct stat &judged, PortLockStatus *out)
{
    const QByteArray local = QFile::encodeName(path);
    // Stale: its process is gone. Taking it away by name (read, decide, unlink) races with
    // another program doing the same: between our read and our unlink it may have removed the
    // stale file and written its own lock, which we would then delete while its owner lives.
    // So the decision is bound to the file judged (its inode), not to the name: rename()
    // moves whatever is bound to the name at that moment to a private name beside it
    // (atomically; nothing is deleted), and only if that is the very file judged stale is it
    // deleted. Anything else (a lock made after our read) is linked back under its name
    // (link() fails rather than replace, should yet another lock have appeared) and the name
    // is judged afresh. Our own lock is then made exclusively (O_EXCL) by the serial port
    // layer: of two takers only one gets it.
    const QString dir = QFileInfo(path).absolutePath();
    QByteArray aside = QFile::encodeName(dir + QStringLiteral("/.") + QFileInfo(path).fileName()
                                         + QStringLiteral(".XXXXXX"));
    const int asideFd = ::mkstemp(aside.data());
    if (asideFd < 0) {
        // A folder we may not write: the stale lock cannot be moved by us either.
        const int why = errno;
        out->state = why == EACCES || why == EPERM || why == EROFS ? PortLockStatus::State::StaleOfAnotherUser
                                                                   : PortLockStatus::State::Unusable;
        out->reason = QString::fromLocal8Bit(std::strerror(why));
        return Step::Decided;
    }
    ::close(asideFd);
    if (::rename(local.constData(), aside.constData()) != 0) {
        const int why = errno;
        ::unlink(aside.constData());
        if (why == ENOENT)
            return Step::Again;
        // In the sticky lock folder only the owner (or root) may move or delete a file.
        out->state = PortLockStatus::State::StaleOfAnotherUser;
        out->reason = QString::fromLocal8Bit(std::strerror(why));
        return Step::Decided;
    }
    struct stat moved { };
    const bool same = ::lstat(aside.constData(), &moved) == 0 && moved.st_ino == judged.st_ino
        && moved.st_dev == judged.st_dev;
    if (!same)
        (void)::link(aside.constData(), local.constData());
    ::unlink(aside.constData());
    return Step::Again;
}

// One look at <path>; Again when the lock changed under us and must be judged afresh.
Step examine(const QString &path, PortLockStatus *out)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat named { };
    out->lockFile = path;
    if (::lstat(local.constData(), &named) != 0) {
        if (errno == ENOENT)
            return Step::Missing;
        out->state = PortLockStatus::State::Unusable;
        out->reason = QString::fromLocal8Bit(std::strerror(errno));
        return Step::Decided;
    }
    out->owner = userName(named.st_uid);
    if (!S_ISREG(named.st_mode)) {
        out->state = PortLockStatus::State::Unusable;
        out->reason = kindOf(named.st_mode);
        return Step::Decided;
    }
    // O_NONBLOCK and O_NOFOLLOW: the name may have been swapped for a FIFO or a link since
    // the lstat; neither may stall or redirect the read.
    const Fd fd(::open(local.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return Step::Again;
        out->state = PortLockStatus::State::Unusable;
        out->reason = errno == ELOOP ? kindOf(S_IFLNK) : QString::fromLocal8Bit(std::strerror(errno));
        return Step::Decided;
    }
    struct stat judged { };
    if (::fstat(fd.get(), &judged) != 0 || judged.st_ino != named.st_ino || judged.st_dev != named.st_dev)
        return Step::Again;
    char buffer[256];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
        out->state = PortLockStatus::State::Unusable;
        out->reason = QString::fromLocal8Bit(std::strerror(errno));
        return Step::Decided;
    }
    const QByteArray content(buffer, n);
    out->pid = LockFilePid(content);
    if (out->pid == 0 || processLives(out->pid)) {
        out->state = PortLockStatus::State::Held;
        QString program = ProcessName(out->pid);
        if (program.isEmpty())
            program = programInLock(content);
        out->program = EscapeForeignText(program);
        return Step::Decided;
    }

    out->program = EscapeForeignText(programInLock(content));
    return takeAwayStale(path, judged, out);
}

} // namespace

QString ProcessName(long long pid)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return {};
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

PortLockStatus CheckPortLock(const QString &canonicalDevice, const QStringList &lockDirs)
{
    const QString name = PortLockFileName(canonicalDevice);
    for (const QString &dir : lockFolders(lockDirs)) {
        const QString path = dir + QLatin1Char('/') + name;
        // A stale lock taken away, or a lock replaced while we looked: judge the name again.
        // A few rounds settle it; a name that keeps changing is somebody's lock in the making.
        for (int round = 0;; ++round) {
            PortLockStatus status;
            const Step step = examine(path, &status);
            if (step == Step::Missing)
                break;
            if (step == Step::Decided)
                return status;
            if (round == 8) {
                status.state = PortLockStatus::State::Unusable;
                status.lockFile = path;
                status.reason = QStringLiteral("changing while it is read");
                return status;
            }
        }
    }
    return {};
}

bool RewriteOwnPortLock(const QString &canonicalDevice, const QStringList &lockDirs)
{
    const QString name = PortLockFileName(canonicalDevice);
    for (const QString &dir : lockFolders(lockDirs)) {
        const QByteArray local = QFile::encodeName(dir + QLatin1Char('/') + name);
        const Fd fd(::open(local.constData(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
        struct stat st { };
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        char buffer[256];
        const ssize_t n = ::pread(fd.get(), buffer, sizeof buffer, 0);
        if (n <= 0 || LockFilePid(QByteArray(buffer, n)) != ::getpid())
            continue;
        // Overwrite, then cut: a reader in between sees our number on the first line, never
        // an empty file (which some programs take for a stale lock).
        const QByteArray content = LockFileContent(::getpid());
        return ::pwrite(fd.get(), content.constData(), content.size(), 0) == content.size()
            && ::ftruncate(fd.get(), content.size()) == 0;
    }
    return false;
}

bool LockOpenDevice(int fd)
{
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    (void)::ioctl(fd, TIOCEXCL);
    return true;
}

#else

PortLockStatus CheckPortLock(const QString &, const QStringList &) { return {}; }
bool RewriteOwnPortLock(const QString &, const QStringList &) { return false; }
bool LockOpenDevice(int) { return true; }
QString ProcessName(long long) { return {}; }

#endif

} // namespace korvane
