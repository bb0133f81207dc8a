#include "sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>

namespace korvane {

namespace {
constexpr int kCallTimeoutMs = 2000; // a login manager that does not answer is not waited on

// What the lock holds off. The login manager ignores a plain sleep lock when the lid is
// closed or a suspend or hibernate key is pressed (it handles those itself unless told),
// so the handling of the lid and the keys is taken as well.
const QString kWhatAll = QStringLiteral(
    "sleep:shutdown:idle:handle-lid-switch:handle-suspend-key:handle-hibernate-key");
// The locks any user may take, also one without an active seat (logged in remotely): the
// handle-* locks may be refused there.
const QString kWhatBasic = QStringLiteral("sleep:shutdown:idle");

// False when the system bus plainly is not there: its address (DBUS_SYSTEM_BUS_ADDRESS, or the
// well-known socket when unset) is one unix socket path that does not exist. Asking Qt for the
// bus starts its D-Bus thread, which outlives the run and is not always stopped cleanly at
// exit, only to be told there is no bus; a machine without one (a container, a minimal
// install) is common enough to be told apart first. Any other address (several, escaped,
// not a path) is left to Qt.
bool systemBusMayExist()
{
    QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty())
        address = QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
    const QLatin1String pathKey("unix:path=");
    if (!address.startsWith(pathKey) || address.contains(u';') || address.contains(u',') || address.contains(u'%'))
        return true;
    return QFileInfo::exists(address.mid(pathKey.size()));
}

// The lock's descriptor, or the reason there is none.
std::unique_ptr<QDBusUnixFileDescriptor> inhibit(QDBusConnection &bus, const QString &what, const QString &why,
                                                 QString &problem, bool &refused)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << what << QStringLiteral("Korvane-S Configuration Utility") << why << QStringLiteral("block");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    refused = false;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        problem = reply.errorMessage().isEmpty() ? QStringLiteral("no answer from the login manager")
                                                 : reply.errorMessage();
        // An answer that says no, as opposed to no login manager at all.
        refused = reply.type() == QDBusMessage::ErrorMessage
            && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NoReply");
        return nullptr;
    }
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!fd.isValid()) {
        problem = QStringLiteral("the login manager gave no lock");
        return nullptr;
    }
    return std::make_unique<QDBusUnixFileDescriptor>(fd);
}
} // namespace

SleepInhibitor::SleepInhibitor(const QString &why)
{
    if (!systemBusMayExist() || !QDBusConnection::systemBus().isConnected()) {
        m_problem = QStringLiteral("no system bus");
        return;
    }
    QDBusConnection bus = QDBusConnection::systemBus();
    bool refused = false;
    m_fd = inhibit(bus, kWhatAll, why, m_problem, refused);
    if (m_fd || !refused)
        return;
    // Refused whole: sleep, shutdown and idle alone are still worth holding.
    QString basicProblem;
    m_fd = inhibit(bus, kWhatBasic, why, basicProblem, refused);
    if (m_fd)
        m_problem = QStringLiteral("the lid switch and the sleep keys are not held: ") + m_problem;
}

SleepInhibitor::~SleepInhibitor() = default;

} // namespace korvane
