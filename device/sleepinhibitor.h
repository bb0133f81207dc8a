#pragma once
// Keeps the machine from sleeping, shutting down or going idle while the processor is being
// programmed: a firmware reload cut off halfway leaves the processor unusable. Takes a
// "block" inhibitor lock of the login manager (org.freedesktop.login1) on the system bus for
// sleep, shutdown, idle and the login manager's own handling of the lid switch and the
// suspend and hibernate keys, and holds it until the object is destroyed. When the whole set
// is refused (the handle-* locks need an active seat), sleep, shutdown and idle alone are
// taken. Without a system bus or login manager the object holds nothing and the run goes on:
// the lock is a safeguard, not a requirement; problem() says what is not held.

#include <QString>

#include <memory>

class QDBusUnixFileDescriptor;

namespace korvane {

class SleepInhibitor {
public:
    // why: shown by the system to a user who asks why sleep is blocked.
    explicit SleepInhibitor(const QString &why);
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor &) = delete;
    SleepInhibitor &operator=(const SleepInhibitor &) = delete;

    [[nodiscard]] bool isHeld() const { return m_fd != nullptr; }
    // Why no lock, or only the one without the lid and the keys, is held (no system bus, the
    // login manager refused); empty while the whole set is held.
    [[nodiscard]] QString problem() const { return m_problem; }

private:
    std::unique_ptr<QDBusUnixFileDescriptor> m_fd; // closing it releases the lock
    QString m_problem;
};

} // namespace korvane
