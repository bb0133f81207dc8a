#include "faultyfs.h"

#include <QDir>
#include <QFile>

#include <csignal>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvane::test {

bool WriteFileDirectly(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    return ::close(fd) == 0 && done == bytes.size();
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList OtherEntries(const QString &folder, const QString &keep)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(keep);
    return names;
}

SmallFilesystem::SmallFilesystem(int kib)
{
    if (!m_mountPoint.isValid())
        return;
    const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0755";
    m_mounted = ::mount("tmpfs", QFile::encodeName(m_mountPoint.path()).constData(), "tmpfs", 0, options.constData())
        == 0;
    m_valid = true;
}

SmallFilesystem::~SmallFilesystem()
{
    liftLimit();
    if (m_mounted)
        ::umount2(QFile::encodeName(m_mountPoint.path()).constData(), MNT_DETACH);
}

void SmallFilesystem::liftLimit()
{
    if (!m_limited)
        return;
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_oldHandler);
    m_limited = false;
}

void SmallFilesystem::armLimit(qint64 bytes)
{
    if (m_mounted || m_limited)
        return;
    getrlimit(RLIMIT_FSIZE, &m_saved);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = m_saved;
    small.rlim_cur = static_cast<rlim_t>(bytes);
    m_limited = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

void SmallFilesystem::fill()
{
    if (!m_mounted) {
        armLimit(0);
        return;
    }
    const QString filler = path() + QStringLiteral("/.filler");
    const int fd = ::open(QFile::encodeName(filler).constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const QByteArray block(4096, 'x');
    while (fd >= 0 && ::write(fd, block.constData(), static_cast<size_t>(block.size())) > 0) { }
    // The last partial block.
    while (fd >= 0 && ::write(fd, block.constData(), 1) > 0) { }
    if (fd >= 0)
        ::close(fd);
}

ReadOnlyFolder::ReadOnlyFolder(const QString &name, const QByteArray &content) : m_name(name)
{
    if (!m_dir.isValid())
        return;
    const QByteArray dir = QFile::encodeName(m_dir.path());
    if (::geteuid() == 0) {
        // Permission bits do not stop root: a tmpfs remounted read-only does.
        if (::mount("tmpfs", dir.constData(), "tmpfs", 0, "size=256k,mode=0755") != 0)
            return;
        m_mounted = true;
        if (!WriteFileDirectly(filePath(), content)
            || ::mount(nullptr, dir.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return;
    } else {
        if (!WriteFileDirectly(filePath(), content) || ::chmod(dir.constData(), 0555) != 0)
            return;
    }
    m_valid = true;
}

ReadOnlyFolder::~ReadOnlyFolder()
{
    const QByteArray dir = QFile::encodeName(m_dir.path());
    if (m_mounted)
        ::umount2(dir.constData(), MNT_DETACH);
    else
        ::chmod(dir.constData(), 0755);
}

TracedWrite KillAtSystemCall(const std::function<void()> &write, int killAt)
{
    TracedWrite result;
    const pid_t child = ::fork();
    if (child < 0)
        return result;
    if (child == 0) {
        // Stopped until the parent has set its options; _exit: no handlers of the parent's run.
        if (::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0)
            ::_exit(3);
        ::raise(SIGSTOP);
        write();
        ::_exit(0);
    }
    int status = 0;
    const auto wait = [&] {
        while (::waitpid(child, &status, 0) < 0)
            if (errno != EINTR)
                return false;
        return true;
    };
    if (!wait() || !WIFSTOPPED(status) || WSTOPSIG(status) != SIGSTOP
        || ::ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL) != 0) {
        ::kill(child, SIGKILL);
        wait();
        return result;
    }
    int pass = 0; // a signal the child got on its own, handed on
    for (;;) {
        if (::ptrace(PTRACE_SYSCALL, child, nullptr, reinterpret_cast<void *>(static_cast<intptr_t>(pass))) != 0
            || !wait())
            break;
        pass = 0;
        if (WIFEXITED(status)) {
            result.outcome = WEXITSTATUS(status) == 0 ? TracedWrite::Finished : TracedWrite::Failed;
            return result;
        }
        if (WIFSIGNALED(status))
            return result;
        if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
            pass = WSTOPSIG(status);
            continue;
        }
        if (result.stops++ == killAt) {
            ::kill(child, SIGKILL);
            while (wait() && !WIFSIGNALED(status) && !WIFEXITED(status)) { }
            result.outcome = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL ? TracedWrite::Killed
                                                                                : TracedWrite::Failed;
            return result;
        }
    }
    ::kill(child, SIGKILL);
    wait();
    return result;
}

} // namespace korvane::test
