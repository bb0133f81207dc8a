// A serial line's UUCP lock as a hostile or careless neighbour leaves it: a pseudo-terminal
// opened through QtSerialLine with something planted at its lock name. Each open runs in a
// child (this program again, as root or as a plain user), so an open that stalls fails the
// test instead of hanging it.

#include "datatable.h"
#include "device/portlock.h"
#include "device/qtserialline.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;

namespace {

const char *const kOpenVariable = "KORVANE_LOCKTEST_OPEN";
const QString kUser = QStringLiteral("korvane-locktest");

// The child: "open" and whether our lock is in the ten-character form, or the refusal.
int openInChild(const QString &device)
{
    QtSerialLine line(device);
    line.open();
    if (!line.isOpen())
        return std::printf("refused %s\n", qPrintable(line.errorText())) < 0;
    QFile lock(QStringLiteral("/var/lock/") + PortLockFileName(device));
    const bool tenCharacters = lock.open(QIODevice::ReadOnly) && lock.readAll() == LockFileContent(::getpid());
    return std::printf("open %s\n", tenCharacters ? "ten-character lock" : "other lock") < 0;
}

} // namespace

class TestPortLock : public QObject {
    Q_OBJECT

    QString lockFile_;
    bool madeUser_ = false;

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
    void cleanup() { ::unlink(QFile::encodeName(lockFile_).constData()); }

    void plantedLocks_data()
    {
        // FIFO, SYMLINK and BINARY (4-byte int) plant those; PID is a living process whose name
        // holds a terminal escape, DEAD one that is gone; LOCK the lock file's path.
        // asUser: the lock is root's, the open a plain user's
        test::addColumns<QByteArray, bool, QString>("plant", "asUser", "expected");
        const QString lockedBy = QStringLiteral("Device or resource busy; in use by sl\\x1b[2Jeep (process PID), "
                                                "lock file LOCK");
        QTest::newRow("none") << QByteArray() << false << "open ten-character lock";
        QTest::newRow("FIFO") << QByteArray("FIFO") << false
                              << "Device or resource busy; the lock file LOCK (owner root) cannot be used: a FIFO";
        QTest::newRow("symlink") << QByteArray("SYMLINK") << false
                                 << "the lock file LOCK (owner root) cannot be used: a symbolic link";
        QTest::newRow("ten characters") << QByteArray("       PID\n") << false << lockedBy;
        QTest::newRow("binary") << QByteArray("BINARY") << false << lockedBy;
        QTest::newRow("number and name") << QByteArray("  PID minicom root\n") << false << lockedBy;
        QTest::newRow("three lines") << QByteArray("PID\nother\nhost\n") << false << lockedBy;
        QTest::newRow("stale") << QByteArray("      DEAD\n") << false << "open ten-character lock";
        QTest::newRow("past pid_t") << QByteArray("4294967297\n") << false << "open ten-character lock";
        QTest::newRow("own stale") << QByteArray("      DEAD\n") << true << "open ten-character lock";
        QTest::newRow("root's stale") << QByteArray("DEAD\nev\x1bil\nhost\n") << true
                                      << "the lock file LOCK is left over from process DEAD (ev\\x1bil) of user root, "
                                         "which has ended, and only root may remove it: sudo rm 'LOCK'";
    }
    void plantedLocks()
    {
        QFETCH(QByteArray, plant);
        QFETCH(bool, asUser);
        QFETCH(QString, expected);
        int master = -1;
        int slave = -1;
        char name[256] = {};
        QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        const auto closePty = qScopeGuard([&] { ::close(master), ::close(slave); });
        QCOMPARE(::chmod(name, 0666), 0); // the plain user may open it
        const QString device = QString::fromLocal8Bit(name);
        lockFile_ = QStringLiteral("/var/lock/") + PortLockFileName(device);
        const QByteArray lock = QFile::encodeName(lockFile_);

        QTemporaryDir dir;
        const QString holderPath = dir.filePath(QStringLiteral("sl\x1b[2Jeep"));
        QVERIFY(QFile::link(QStringLiteral("/bin/sleep"), holderPath));
        QProcess holder;
        holder.start(holderPath, {QStringLiteral("60")});
        QVERIFY(holder.waitForStarted());
        const auto stopHolder = qScopeGuard([&] { holder.kill(), holder.waitForFinished(); });
        QProcess gone;
        gone.start(QStringLiteral("true"), {});
        QVERIFY(gone.waitForStarted());
        const QByteArray dead = QByteArray::number(gone.processId());
        QVERIFY(gone.waitForFinished());
        const QByteArray pid = QByteArray::number(holder.processId());

        const QString target = dir.filePath(QStringLiteral("target"));
        if (plant == "FIFO") {
            QCOMPARE(::mkfifo(lock.constData(), 0666), 0);
        } else if (plant == "SYMLINK") {
            QVERIFY(QFile::link(target, lockFile_));
        } else if (!plant.isEmpty()) {
            const qint32 binary = static_cast<qint32>(holder.processId());
            QFile f(lockFile_);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(plant == "BINARY" ? QByteArray(reinterpret_cast<const char *>(&binary), 4)
                                      : plant.replace("PID", pid).replace("DEAD", dead));
            f.close();
            if (asUser && expected.startsWith(QLatin1String("open"))) // the user's own stale lock
                QCOMPARE(QProcess::execute(QStringLiteral("chown"), {kUser, lockFile_}), 0);
        }

        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QString::fromLatin1(kOpenVariable), device);
        child.setProcessEnvironment(env);
        const QString self = QCoreApplication::applicationFilePath();
        if (asUser)
            child.start(QStringLiteral("runuser"), {QStringLiteral("-u"), kUser, QStringLiteral("--"), self});
        else
            child.start(self, {});
        // Not a speed limit: an open that waits on the FIFO never ends.
        const bool ended = child.waitForFinished(60000);
        if (!ended)
            child.kill();
        const QString answer = QString::fromLocal8Bit(child.readAllStandardOutput());
        expected.replace(QLatin1String("LOCK"), lockFile_)
            .replace(QLatin1String("PID"), QString::fromLatin1(pid))
            .replace(QLatin1String("DEAD"), QString::fromLatin1(dead));
        QVERIFY2(ended && answer.contains(expected), qPrintable(answer + QStringLiteral("\nexpected: ") + expected));
        QVERIFY2(!answer.contains(QLatin1Char('\x1b')), qPrintable(answer)); // escaped, never raw

        // A refused lock is left as it was, an opened port's lock went with the close.
        struct stat st { };
        QCOMPARE(::lstat(lock.constData(), &st) == 0, !expected.startsWith(QLatin1String("open")));
        QVERIFY(plant != "FIFO" || S_ISFIFO(st.st_mode));
        QVERIFY(!QFileInfo::exists(target)); // nothing written through the link
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(kOpenVariable))
        return openInChild(qEnvironmentVariable(kOpenVariable));
    TestPortLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_portlock.moc"
