#pragma once
// Keeps the machine from sleeping, shutting down or going idle while the processor is being
// programmed: a firmware reload cut off halfway leaves the processor unusable. Takes a
// "block" inhibitor lock of the login manager (org.freedesktop.login1) on the system bus
// and holds it until the object is destroyed. Without a system bus or login manager the
// object holds nothing and the run goes on: the lock is a safeguard, not a requirement.

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
    // Why no lock is held (no system bus, the login manager refused); empty while held.
    [[nodiscard]] QString problem() const { return m_problem; }

private:
    std::unique_ptr<QDBusUnixFileDescriptor> m_fd; // closing it releases the lock
    QString m_problem;
};

} // namespace korvane
