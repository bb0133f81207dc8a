// The UUCP lock file of a serial line as a hostile or careless neighbour leaves it: opening a
// pseudo-terminal through QtSerialLine with something planted at its lock name. Each open runs
// in a child process (this program again, as root or as a plain user), so a lock that stalls
// the open fails the test instead of hanging it.

#include "device/portlock.h"
#include "device/qtserialline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <fcntl.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;

namespace {

const char *const kOpenVariable = "KORVANE_LOCKTEST_OPEN";
const QString kUser = QStringLiteral("korvane-locktest");

// The child: opens the device, prints "open" and whether our lock is in the ten-character
// form, or the refusal.
int openInChild(const QString &device)
{
    QtSerialLine line(device);
    line.open();
    if (!line.isOpen()) {
        std::printf("refused %s\n", qPrintable(line.errorText()));
        return 0;
    }
    QFile lock(QStringLiteral("/var/lock/") + PortLockFileName(QFileInfo(device).canonicalFilePath()));
    const bool tenCharacters = lock.open(QIODevice::ReadOnly) && lock.readAll() == LockFileContent(::getpid());
    std::printf("open %s\n", tenCharacters ? "ten-character lock" : "other lock");
    line.close();
    return 0;
}

// What a row plants at the lock file's name. PID is replaced by the holder's process id.
enum class Plant { Nothing, Content, Fifo, Symlink };

} // namespace

class TestPortLock : public QObject {
    Q_OBJECT

    QString lockFile_;
    bool madeUser_ = false;

    QString runChild(const QString &device, bool asUser)
    {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kOpenVariable), device);
        child.setProcessEnvironment(env);
        if (asUser)
            child.start(QStringLiteral("runuser"),
                        {QStringLiteral("-u"), kUser, QStringLiteral("--"), QCoreApplication::applicationFilePath()});
        else
            child.start(QCoreApplication::applicationFilePath(), {});
        // Not a speed limit: an open that waits on a FIFO never ends.
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
            return QStringLiteral("hung");
        }
        return QString::fromLocal8Bit(child.readAllStandardOutput()).trimmed();
    }

private slots:
    void initTestCase()
    {
        if (::geteuid() != 0 || !QFileInfo(QStringLiteral("/var/lock")).isWritable())
            QSKIP("needs root and /var/lock (plants locks of other users)");
        if (QProcess::execute(QStringLiteral("id"), {QStringLiteral("-u"), kUser}) != 0) {
            QCOMPARE(QProcess::execute(QStringLiteral("useradd"), {QStringLiteral("-M"), kUser}), 0);
            madeUser_ = true;
        }
    }
    void cleanupTestCase()
    {
        if (madeUser_)
            (void)QProcess::execute(QStringLiteral("userdel"), {kUser});
    }
    void cleanup()
    {
        if (!lockFile_.isEmpty())
            ::unlink(QFile::encodeName(lockFile_).constData());
    }

    void plantedLocks_data()
    {
        QTest::addColumn<Plant>("plant");
        QTest::addColumn<QByteArray>("content"); // Content: PID = a living process, DEAD = a gone one
        QTest::addColumn<bool>("asUser");        // the lock is root's, the open a plain user's
        QTest::addColumn<QString>("expected");   // the child's answer; LOCK = the lock file's path
        QTest::addColumn<bool>("lockStays");

        QTest::newRow("no lock") << Plant::Nothing << QByteArray() << false << "open ten-character lock" << false;
        QTest::newRow("FIFO") << Plant::Fifo << QByteArray() << false
                              << "Device or resource busy; the lock file LOCK (owner root) cannot be used: a FIFO"
                              << true;
        QTest::newRow("symlink") << Plant::Symlink << QByteArray() << false
                                 << "the lock file LOCK (owner root) cannot be used: a symbolic link" << true;
        QTest::newRow("ten characters, living") << Plant::Content << QByteArray("       PID\n") << false
                                                << "in use by sl\\x1b[2Jeep (process PID), lock file LOCK" << true;
        QTest::newRow("binary, living") << Plant::Content << QByteArray("BINARY") << false
                                        << "(process PID), lock file LOCK" << true;
        QTest::newRow("number and name, living")
            << Plant::Content << QByteArray("  PID minicom root\n") << false << "(process PID), lock file LOCK" << true;
        QTest::newRow("serial port layer's, living")
            << Plant::Content << QByteArray("PID\nother\nhost\n") << false << "(process PID), lock file LOCK" << true;
        QTest::newRow("ten characters, gone")
            << Plant::Content << QByteArray("      DEAD\n") << false << "open ten-character lock" << false;
        QTest::newRow("number past pid_t")
            << Plant::Content << QByteArray("4294967297\n") << false << "open ten-character lock" << false;
        QTest::newRow("serial port layer's, gone") << Plant::Content << QByteArray("DEAD\nother\nhost\n") << true
                                                   << "the lock file LOCK is left over from process DEAD (other) of "
                                                      "user root, which has ended, and only root may remove "
                                                      "it: sudo rm 'LOCK'"
                                                   << true;
        QTest::newRow("user's own stale lock")
            << Plant::Content << QByteArray("      DEAD\n") << true << "open ten-character lock" << false;
    }
    void plantedLocks()
    {
        QFETCH(Plant, plant);
        QFETCH(QByteArray, content);
        QFETCH(bool, asUser);
        QFETCH(QString, expected);
        QFETCH(bool, lockStays);

        int master = -1;
        int slave = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        const auto closePty = qScopeGuard([&] {
            ::close(master);
            ::close(slave);
        });
        const QString device = QString::fromLocal8Bit(name);
        QCOMPARE(::chmod(name, 0666), 0); // the plain user may open it
        lockFile_ = QStringLiteral("/var/lock/") + PortLockFileName(device);
        const QByteArray lock = QFile::encodeName(lockFile_);

        // A living holder whose program name carries a terminal escape.
        QTemporaryDir dir;
        const QString holderPath = dir.filePath(QStringLiteral("sl\x1b[2Jeep"));
        QVERIFY(QFile::link(QStringLiteral("/bin/sleep"), holderPath));
        QProcess holder;
        holder.start(holderPath, {QStringLiteral("60")});
        QVERIFY(holder.waitForStarted());
        const auto stopHolder = qScopeGuard([&] {
            holder.kill();
            holder.waitForFinished();
        });
        QProcess gone;
        gone.start(QStringLiteral("true"), {});
        QVERIFY(gone.waitForStarted());
        const QByteArray dead = QByteArray::number(gone.processId());
        QVERIFY(gone.waitForFinished());
        const QByteArray pid = QByteArray::number(holder.processId());

        const QString target = dir.filePath(QStringLiteral("target"));
        switch (plant) {
        case Plant::Nothing:
            break;
        case Plant::Fifo:
            QCOMPARE(::mkfifo(lock.constData(), 0666), 0);
            break;
        case Plant::Symlink:
            QVERIFY(QFile::link(target, lockFile_));
            break;
        case Plant::Content: {
            QFile f(lockFile_);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            if (content == "BINARY") {
                const qint32 binary = static_cast<qint32>(holder.processId());
                f.write(reinterpret_cast<const char *>(&binary), 4);
            } else {
                f.write(QByteArray(content).replace("PID", pid).replace("DEAD", dead));
            }
            f.close();
            if (asUser && expected.startsWith(QLatin1String("open"))) {
                // The plain user's own stale lock: it may take it over.
                QCOMPARE(QProcess::execute(QStringLiteral("chown"), {kUser, lockFile_}), 0);
            }
            break;
        }
        }

        const QString answer = runChild(device, asUser);
        expected.replace(QLatin1String("LOCK"), lockFile_)
            .replace(QLatin1String("PID"), QString::fromLatin1(pid))
            .replace(QLatin1String("DEAD"), QString::fromLatin1(dead));
        QVERIFY2(answer.contains(expected), qPrintable(answer + QStringLiteral("\nexpected: ") + expected));
        QVERIFY2(!answer.contains(QLatin1Char('\x1b')), qPrintable(answer)); // escaped, never raw

        struct stat st { };
        QCOMPARE(::lstat(lock.constData(), &st) == 0, lockStays);
        if (plant == Plant::Fifo)
            QVERIFY(S_ISFIFO(st.st_mode));
        if (plant == Plant::Symlink)
            QVERIFY(!QFileInfo::exists(target)); // nothing written through the link
    }
};

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(kOpenVariable)) {
        QCoreApplication app(argc, argv);
        return openInChild(qEnvironmentVariable(kOpenVariable));
    }
    QCoreApplication app(argc, argv);
    TestPortLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_portlock.moc"
