// The QSerialPort line over a pseudo-terminal: written bytes reach the driver at once, not on
// a later pass of the event loop, and a write larger than the driver's buffer still arrives
// whole and in order.

#include "datatable.h"
#include "device/comroutines.h"
#include "device/portlock.h"
#include "device/qtserialline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

using namespace korvane;

namespace {

class Pty {
public:
    Pty()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        path = QString::fromLocal8Bit(name);
    }
    ~Pty()
    {
        if (master >= 0)
            ::close(master);
        if (slave >= 0)
            ::close(slave);
    }
    // What has reached the master side so far, without waiting.
    QByteArray readNow()
    {
        QByteArray out;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0)
                return out;
            out.append(buf, n);
        }
    }

    int master = -1;
    int slave = -1;
    QString path;
};

QByteArray pattern(int n)
{
    QByteArray b(n, '\0');
    for (int i = 0; i < n; ++i)
        b[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return b;
}

} // namespace

class TestQtSerialLine : public QObject {
    Q_OBJECT

private slots:
    // A packet goes on the line as soon as it is written, before any pass of an event loop:
    // the sender answers an ACK with the next packet without waiting for another pass of its
    // wait loop. More than the driver's buffer arrives whole.
    void writeArrivesWhole_data()
    {
        test::addColumns<int, bool>("size", "atOnce");
        QTest::newRow("a packet, at once") << 132 << true;
        QTest::newRow("beyond the driver buffer") << 200000 << false;
    }
    void writeArrivesWhole()
    {
        QFETCH(int, size);
        QFETCH(bool, atOnce);
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        QtSerialLine line(pty.path);
        line.open();
        QVERIFY2(line.isOpen() && !line.hasError(), qPrintable(line.errorText()));
        const QByteArray data = pattern(size);
        line.write(data);
        QVERIFY(!line.hasError());
        if (atOnce) {
            QCOMPARE(line.bytesWaitingOut(), qint64(0));
            pollfd p{pty.master, POLLIN, 0};
            QVERIFY(::poll(&p, 1, 1000) == 1);
        }
        QByteArray got;
        const QDeadlineTimer deadline(10000);
        while (got.size() < data.size() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            got += pty.readNow();
        }
        QCOMPARE(got.size(), data.size());
        QVERIFY(got == data);
        QCOMPARE(line.bytesWaitingOut(), qint64(0));
    }

    // Who else holds the port: a UUCP lock file of a living program keeps it closed and is
    // left alone; one whose program is gone is removed and the port opens. The same pty by
    // its link and by its own name is one port.
    void locksAreHonoured()
    {
        const QString lockDir = QStringLiteral("/var/lock");
        if (!QFileInfo(lockDir).isWritable())
            QSKIP("/var/lock is not writable here");
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        const QString lockFile = lockDir + "/" + PortLockFileName(QFileInfo(pty.path).canonicalFilePath());
        QProcess holder;
        holder.start("sleep", {"30"});
        QVERIFY(holder.waitForStarted());
        auto writeLock = [&](qint64 pid) {
            QFile f(lockFile);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray::number(pid).rightJustified(10, ' ') + "\n"); // as most programs write it
        };
        writeLock(holder.processId());
        {
            QtSerialLine line(pty.path);
            QVERIFY(!OpenComPort(line, 1));
            QVERIFY2(line.errorText().contains(pty.path + ": Device or resource busy; in use by sleep (process "),
                     qPrintable(line.errorText()));
            QVERIFY(QFile::exists(lockFile));
        }
        holder.kill();
        holder.waitForFinished();
        {
            QtSerialLine line(pty.path);
            QVERIFY2(OpenComPort(line, 1), qPrintable(line.errorText()));
            QVERIFY(CloseComPort(line));
        }
        QVERIFY(!QFile::exists(lockFile)); // the stale lock went, and ours with the close

        QTemporaryDir dir;
        const QString link = dir.filePath("com3");
        QVERIFY(QFile::link(pty.path, link));
        QtSerialLine byName(pty.path);
        QtSerialLine byLink(link);
        QVERIFY(OpenComPort(byName, 1));
        QVERIFY(!OpenComPort(byLink, 1));
        QVERIFY2(byLink.errorText().startsWith(link + ": "), qPrintable(byLink.errorText()));
        QVERIFY(CloseComPort(byName));
        QVERIFY2(OpenComPort(byLink, 1), qPrintable(byLink.errorText()));
        QVERIFY(CloseComPort(byLink));
    }

    // While the line is open, no other program gets the device: not by opening it (refused
    // outright for anyone but root), and not by taking even a shared lock on it.
    void openLineHoldsTheDeviceExclusively()
    {
        Pty pty;
        QVERIFY(!pty.path.isEmpty());
        QtSerialLine line(pty.path);
        QVERIFY2(OpenComPort(line, 1), qPrintable(line.errorText()));
        const int other = ::open(QFile::encodeName(pty.path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (other >= 0) {
            QCOMPARE(::flock(other, LOCK_SH | LOCK_NB), -1);
            QCOMPARE(errno, EWOULDBLOCK);
            ::close(other);
        } else {
            QCOMPARE(errno, EBUSY);
        }
        QVERIFY(CloseComPort(line));
        const int after = ::open(QFile::encodeName(pty.path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(after >= 0);
        QCOMPARE(::flock(after, LOCK_EX | LOCK_NB), 0); // the close gave the device back
        ::close(after);
    }

    void missingDeviceSaysSo()
    {
        QtSerialLine line(QStringLiteral("/dev/ttyKORVANE-none"));
        QVERIFY(!OpenComPort(line, 1));
        QCOMPARE(line.errorText(), QStringLiteral("/dev/ttyKORVANE-none: No such file or directory"));
    }
};

QTEST_GUILESS_MAIN(TestQtSerialLine)
#include "test_qtserialline.moc"
