#include "sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

namespace korvane {

namespace {
constexpr int kCallTimeoutMs = 2000; // a login manager that does not answer is not waited on
}

SleepInhibitor::SleepInhibitor(const QString &why)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        m_problem = QStringLiteral("no system bus");
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:shutdown:idle") << QStringLiteral("Korvane-S Configuration Utility") << why
         << QStringLiteral("block");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        m_problem = reply.errorMessage().isEmpty() ? QStringLiteral("no answer from the login manager")
                                                   : reply.errorMessage();
        return;
    }
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!fd.isValid()) {
        m_problem = QStringLiteral("the login manager gave no lock");
        return;
    }
    m_fd = std::make_unique<QDBusUnixFileDescriptor>(fd);
}

SleepInhibitor::~SleepInhibitor() = default;

} // namespace korvane
