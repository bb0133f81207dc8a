#pragma once
// Exclusive use of a serial device on Unix-like systems, in the three ways other programs
// look for it:
//  - the UUCP lock file LCK..<name> in /var/lock or /run/lock (<name> is the device path
//    without "/dev/", '/' replaced by '_': /dev/ttyUSB0 -> LCK..ttyUSB0, /dev/pts/3 ->
//    LCK..pts_3). Its first line (or, in the old binary form, its first four bytes) is the
//    process id of the holder. A lock whose process lives keeps the port closed to us and is
//    never touched; a lock whose process is gone is stale and is removed. The serial port
//    layer writes our own lock file when it opens the device;
//  - flock() on the open device;
//  - TIOCEXCL, after which the kernel refuses further opens of the device (except root's).
// Locks are taken on the device's canonical path, so a link (COM n in the port folder) and
// the device itself count as one port.

#include <QString>
#include <QStringList>

#include <optional>

namespace korvane {

// The lock file of another living process that holds the device.
struct PortLockHolder {
    QString lockFile; // its path
    long long pid = 0;
    QString program; // the holder's program name ("minicom"); empty when unknown
};

// Lock file name for a canonical device path: "LCK..ttyUSB0".
[[nodiscard]] QString PortLockFileName(const QString &canonicalDevice);

// Looks for a UUCP lock of the device in lockDirs (default: /var/lock and /run/lock). A lock
// of a living process other than this one is returned (a lock of this process means another
// port object of ours holds the device: also returned). A stale lock (its process gone) is
// removed. A lock file that names no process id is left alone and returned with pid 0.
[[nodiscard]] std::optional<PortLockHolder> FindPortLock(const QString &canonicalDevice,
                                                         const QStringList &lockDirs = {});

// flock(LOCK_EX | LOCK_NB) and TIOCEXCL on an open device. False, with errno set, when
// another open description holds the flock.
[[nodiscard]] bool LockOpenDevice(int fd);

// The program name of a process (from /proc), empty when unknown.
[[nodiscard]] QString ProcessName(long long pid);

} // namespace korvane
