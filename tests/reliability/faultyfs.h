#pragma once
// Places where a write fails part-way, for the tests that check nothing is lost:
//  - SmallFilesystem: a tmpfs of a few KiB (root only); without the right to mount, a
//    RLIMIT_FSIZE limit on this process gives the same short write (EFBIG instead of ENOSPC);
//  - ReadOnlyFolder: a folder that refuses new files (a read-only tmpfs as root, a folder
//    without write permission otherwise), keeping the files it already holds;
//  - KillWhileWriting: a child process that writes in a loop and is killed at varied moments.

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

// Forks a child that calls write(i) for i = 0, 1, 2, ... until it is killed, kills it with
// SIGKILL after delayMicros and reaps it. False when the child could not be started or
// ended by itself.
bool KillWhileWriting(const std::function<void(int)> &write, int delayMicros);

} // namespace korvane::test
