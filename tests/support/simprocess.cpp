#include "simprocess.h"

#include "clirun.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>

namespace korvane::test {

QString SimProcess::programPath()
{
    const QString dir = qEnvironmentVariable("KORVANE_PROGRAM_DIR");
    return QDir(dir.isEmpty() ? QStringLiteral(".") : dir).filePath(QStringLiteral("korvane-s-sim"));
}

SimProcess::SimProcess(const QStringList &extraArguments, int startTimeoutMs)
{
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder: ") + dir_.errorString();
        return;
    }
    QStringList args{QStringLiteral("--log"),          logPath(),     QStringLiteral("--image-out"), imagePath(),
                     QStringLiteral("--firmware-out"), firmwarePath()};
    args += extraArguments;
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(programPath(), args, QIODevice::ReadOnly);
    if (!process_.waitForStarted(startTimeoutMs)) {
        error_ = programPath() + QStringLiteral(": ") + process_.errorString();
        return;
    }
    // The sim writes its DEVICE line and any LINK lines in one flush.
    const QDeadlineTimer deadline(startTimeoutMs);
    for (;;) {
        while (process_.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process_.readLine()).trimmed();
            if (line.startsWith(QLatin1String("DEVICE ")))
                devicePath_ = line.mid(7);
            else if (line.startsWith(QLatin1String("LINK ")))
                links_ << line.mid(5);
        }
        if (!devicePath_.isEmpty())
            return;
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning
            || !process_.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            process_.waitForFinished(100);
            error_ = QStringLiteral("korvane-s-sim did not report its device: ")
                + QString::fromLocal8Bit(process_.readAllStandardError());
            return;
        }
    }
}

SimProcess::~SimProcess() { stop(); }

void SimProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

void SimProcess::resume()
{
    if (process_.state() != QProcess::NotRunning)
        ::kill(static_cast<pid_t>(process_.processId()), SIGUSR1);
}

bool SimProcess::waitForExit(int timeoutMs)
{
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
}

QStringList SimProcess::logLines() const
{
    return QString::fromUtf8(readAll(logPath())).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool SimProcess::waitForLogLine(const QString &line, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (logLines().contains(line))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(10);
    }
}

QByteArray SimProcess::image() const { return readAll(imagePath()); }

QByteArray SimProcess::firmware() const { return readAll(firmwarePath()); }

} // namespace korvane::test
