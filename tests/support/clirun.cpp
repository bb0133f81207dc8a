#include "clirun.h"

#include <QDir>
#include <QFile>
#include <QProcess>

namespace korvane::test {

QString programDir() { return qEnvironmentVariable("KORVANE_PROGRAM_DIR"); }

Run runCli(const QStringList &args, const QString &workingDir)
{
    QProcess p;
    p.setProgram(QDir(programDir()).filePath(QStringLiteral("korvane-s-cli")));
    p.setArguments(args);
    if (!workingDir.isEmpty())
        p.setWorkingDirectory(workingDir);
    p.start();
    Run r;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace korvane::test
