#pragma once
// Exclusive use of a serial device on Unix-like systems, in the three ways other programs
// look for it:
//  - the UUCP lock file LCK..<name> in /var/lock or /run/lock (<name> is the device path
//    without "/dev/", '/' replaced by '_': /dev/ttyUSB0 -> LCK..ttyUSB0, /dev/pts/3 ->
//    LCK..pts_3). It names the process that holds the device: the process id as ten ASCII
//    characters, right-aligned, and a newline ("      1234\n") is the form every serial
//    program reads and the one this program leaves while it holds a port; read are also
//    longer lines ("  1234 minicom user"), more lines (process id, program name, host: the
//    serial port layer's own form) and the old binary form (a 4-byte native int). A lock
//    whose process lives keeps the port closed to us and is never touched; a lock whose
//    process is gone is stale and is taken away. The serial port layer creates our lock file
//    (exclusively) when it opens the device, and RewriteOwnPortLock puts it into the
//    ten-character form;
//  - flock() on the open device;
//  - TIOCEXCL, after which the kernel refuses further opens of the device (except root's).
// Locks are taken on the device's canonical path, so a link (COM n in the port folder) and
// the device itself count as one port.
//
// The lock folder can be written by every local user: whatever sits at a lock file's name is
// opened without following links and without waiting (a FIFO there must not stall us), and
// only a plain file counts as a lock.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvane {

// What the lock files say about a device.
struct PortLockStatus {
    enum class State {
        Free,               // no lock file (a stale one, if any, was taken away)
        Held,               // a living process holds the device (pid 0: a lock that names no process)
        Unusable,           // something that is not a plain file sits at the lock's name, or it cannot be read
        StaleOfAnotherUser, // a stale lock this user may not remove (another user's, in a sticky folder)
    };
    State state = State::Free;
    QString lockFile;  // its path; empty when Free
    long long pid = 0; // Held, StaleOfAnotherUser: the process it names
    QString program;   // the holder's program name ("minicom"), control characters escaped; may be empty
    QString owner;     // the lock file's owner: user name, else the numeric user id
    QString reason;    // Unusable: what sits there ("a FIFO") or why it cannot be read
};

// Lock file name for a canonical device path: "LCK..ttyUSB0".
[[nodiscard]] QString PortLockFileName(const QString &canonicalDevice);

// Looks for a UUCP lock of the device in lockDirs (default: /var/lock and /run/lock) and
// takes a stale one away. A lock of this process counts as Held (another port object of ours
// holds the device).
[[nodiscard]] PortLockStatus CheckPortLock(const QString &canonicalDevice, const QStringList &lockDirs = {});

// Rewrites the lock file of this process for the device (as the serial port layer wrote it)
// into the ten-character form, in place. False when there is no lock of this process in
// lockDirs (default: /var/lock and /run/lock) or it cannot be written.
[[nodiscard]] bool RewriteOwnPortLock(const QString &canonicalDevice, const QStringList &lockDirs = {});

// The process id a lock file names: the binary form for a 4-byte file holding a zero byte,
// else the leading number of its first line (blanks before it allowed, a blank or the line's
// end after it). 0 when it names none; numbers past the
// range of a process id come back as they are (a 20-digit one as the largest long long), so
// they never alias a real process.
[[nodiscard]] long long LockFilePid(const QByteArray &content);

// The ten-character form: "%10lld\n".
[[nodiscard]] QByteArray LockFileContent(long long pid);

// Text from a foreign file or process, made safe to print: control characters (C0, DEL, C1)
// and invisible format characters (bidirectional overrides) become \xNN / \uNNNN, a
// backslash becomes "\\"; at most 64 characters are kept.
[[nodiscard]] QString EscapeForeignText(const QString &text);

// flock(LOCK_EX | LOCK_NB) and TIOCEXCL on an open device. False, with errno set, when
// another open description holds the flock.
[[nodiscard]] bool LockOpenDevice(int fd);

// The program name of a process (from /proc), empty when unknown. Not escaped.
[[nodiscard]] QString ProcessName(long long pid);

} // namespace korvane
