#include "programminglog.h"

#include "config/filelocations.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace korvane {

namespace {
const QString kLogFileName = QStringLiteral("programming-log.jsonl");

bool fail(QString *why, const QString &path, const QString &what)
{
    if (why)
        *why = QDir::toNativeSeparators(path) + QStringLiteral(": ") + what;
    return false;
}
} // namespace

QString ProgrammingLogPath() { return QDir(UserStateFolder()).filePath(kLogFileName); }

bool AppendProgrammingLog(const QJsonObject &line, QString *why, const QString &path)
{
    QString folderProblem;
    if (!MakeParentFolder(path, &folderProblem))
        return fail(why, path, folderProblem);
    const QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return fail(why, path, QString::fromLocal8Bit(std::strerror(errno)));
    // O_APPEND alone keeps one write whole on a local file system; the lock also orders
    // writers on file systems where it does not (NFS) and against a reader mid-line.
    (void)::flock(fd, LOCK_EX);
    ssize_t n = 0;
    do
        n = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
    while (n < 0 && errno == EINTR);
    const int writeErrno = errno;
    const bool whole = n == bytes.size();
    // A short write (disk full) leaves a torn line: cut it off again so the next line starts
    // clean. Without it the reader skips the torn line.
    if (n > 0 && !whole) {
        const off_t end = ::lseek(fd, 0, SEEK_END);
        if (end >= n)
            (void)::ftruncate(fd, end - n);
    }
    const bool closed = ::close(fd) == 0; // also releases the lock
    if (!whole)
        return fail(why, path,
                    n < 0 ? QString::fromLocal8Bit(std::strerror(writeErrno)) : QStringLiteral("the disk is full"));
    if (!closed)
        return fail(why, path, QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}

bool ReadProgrammingLog(QList<QJsonObject> &lines, QString *why, const QString &path)
{
    lines.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return fail(why, path, file.errorString());
    const int fd = file.handle();
    (void)::flock(fd, LOCK_SH);
    const QByteArray all = file.readAll();
    (void)::flock(fd, LOCK_UN);
    for (const QByteArray &raw : all.split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(raw);
        if (doc.isObject())
            lines << doc.object();
    }
    return true;
}

QString Sha256Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString FileSha256Hex(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

} // namespace korvane
