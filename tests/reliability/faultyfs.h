#pragma once
// Places where a write fails part-way, for the tests that check nothing is lost:
//  - SmallFilesystem: a tmpfs of a few KiB (root only); without the right to mount, a
//    RLIMIT_FSIZE limit on this process gives the same short write (EFBIG instead of ENOSPC);
//  - ReadOnlyFolder: a folder that refuses new files (a read-only tmpfs as root, a folder
//    without write permission otherwise), keeping the files it already holds;
//  - KillAtSystemCall: a child process that writes once and is killed at a chosen system call.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <functional>
#include <memory>

namespace korvane::test {

// Writes bytes to path with plain POSIX calls (no atomic replace); true on success.
bool WriteFileDirectly(const QString &path, const QByteArray &bytes);
[[nodiscard]] QByteArray ReadWholeFile(const QString &path);
// Names in the folder other than the given one (what a failed or killed write left behind).
[[nodiscard]] QStringList OtherEntries(const QString &folder, const QString &keep);

class SmallFilesystem {
public:
    // A tmpfs folder with room for about kib KiB or, when mounting is not allowed, a plain
    // folder whose writes are cut by armLimit.
    explicit SmallFilesystem(int kib); // kib: room on the tmpfs
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem &) = delete;
    SmallFilesystem &operator=(const SmallFilesystem &) = delete;

    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] QString path() const { return m_mountPoint.path(); }
    [[nodiscard]] bool mounted() const { return m_mounted; }
    // Takes up all the space that is left (tmpfs) or cuts every write (limit); from then on
    // any new file fails at its first block.
    void fill();
    // Without a mount: from now on every file write of this process stops at bytes (call
    // after writing the previous file). Nothing with a mount, which runs out by itself.
    void armLimit(qint64 bytes);
    void liftLimit();

private:
    QTemporaryDir m_mountPoint;
    bool m_mounted = false;
    bool m_valid = false;
    bool m_limited = false;
    rlimit m_saved{};
    void (*m_oldHandler)(int) = nullptr;
};

class ReadOnlyFolder {
public:
    // A folder that already holds name with content, then stops taking writes.
    ReadOnlyFolder(const QString &name, const QByteArray &content);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder &) = delete;
    ReadOnlyFolder &operator=(const ReadOnlyFolder &) = delete;

    [[nodiscard]] bool valid() const { return m_valid; }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    [[nodiscard]] QString filePath() const { return m_dir.path() + QLatin1Char('/') + m_name; }
    [[nodiscard]] bool mounted() const { return m_mounted; }

private:
    QTemporaryDir m_dir;
    QString m_name;
    bool m_mounted = false;
    bool m_valid = false;
};

// Forks a child that calls write() once under ptrace and counts its system-call stops (the
// entry to a call and its return are one stop each, counted from 0 at the start of write()).
// At stop number killAt the child is killed with SIGKILL: at an entry the call is not made, at
// a return it is done. The kernel says where the child is, so the moment of the kill does not
// depend on how fast the machine is.
struct TracedWrite {
    enum Outcome { Killed, Finished, Failed } outcome = Failed;
    int stops = 0; // stops seen (the kill stop included)
};
TracedWrite KillAtSystemCall(const std::function<void()> &write, int killAt);

} // namespace korvane::test
