#include "replacefile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <fcntl.h>
#include <unistd.h>

namespace korvane {

namespace {

// What write sees: every write lands whole in the temporary file or counts as failed, and the
// file system's reason for the first failure is kept. The temporary file is unbuffered, so
// a refused write shows at once: a short write (the file system's last free block) is retried
// for the rest, which then fails with the system's reason ("No space left on device") instead
// of the buffer's "Unknown error", and no later seek or size() of the writer clears it.
class WholeWrites : public QIODevice {
public:
    explicit WholeWrites(QSaveFile &file) : file_(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

    [[nodiscard]] bool failed() const { return failed_; }
    [[nodiscard]] QString reason() const { return reason_; }

    [[nodiscard]] bool isSequential() const override { return false; }
    [[nodiscard]] qint64 size() const override { return file_.size(); }
    bool seek(qint64 pos) override
    {
        if (!file_.seek(pos))
            return fail();
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (failed_)
            return -1;
        for (qint64 done = 0; done < size;) {
            const qint64 n = file_.write(data + done, size - done);
            if (n <= 0)
                return fail();
            done += n;
        }
        return size;
    }

private:
    bool fail()
    {
        if (!failed_) {
            failed_ = true;
            reason_ = file_.errorString();
        }
        return false;
    }

    QSaveFile &file_;
    bool failed_ = false;
    QString reason_;
};

// The rename is in the folder's own data: without this a power cut soon after could bring
// the old file back. Best effort, as the rename has been done.
void syncFolderOf(const QString &path)
{
    const QString folder = QFileInfo(QFileInfo(path).canonicalFilePath()).absolutePath();
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

// QSaveFile does the work described in the header: it resolves a symbolic link first, makes
// the temporary file with O_TMPFILE (or O_CREAT | O_EXCL and a random name) in that folder,
// gives it the old file's permissions, syncs its data before the rename and removes it when
// the write is cancelled.
bool ReplaceFile(const QString &path, const std::function<bool(QIODevice &file)> &write, QString *why)
{
    QSaveFile file(path);
    // The default: never fall back to writing the target in place when its folder refuses new
    // files, which would give up the all-or-nothing replacement.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        if (why)
            *why = file.errorString();
        return false;
    }
    WholeWrites device(file);
    const bool written = write(device);
    if (device.failed() || !written) {
        // A write the file system refused is the reason even when write went on regardless.
        if (why && device.failed())
            *why = device.reason();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (why)
            *why = file.errorString();
        return false;
    }
    syncFolderOf(path);
    return true;
}

} // namespace korvane
