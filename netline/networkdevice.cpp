#include "networkdevice.h"

#include "netserialline.h"

#include "device/qtserialline.h"

#include <QUrl>

namespace korvane {

QString NetworkDevice::text() const
{
    const QString scheme = protocol == Protocol::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp");
    const QString h = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1://%2:%3").arg(scheme, h).arg(port);
}

bool IsNetworkDeviceText(const QString &text) { return text.contains(QStringLiteral("://")); }

std::optional<NetworkDevice> ParseNetworkDevice(const QString &text, QString *why)
{
    auto refuse = [why](const QString &reason) -> std::optional<NetworkDevice> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return refuse(QStringLiteral("not a network address: %1").arg(url.errorString()));
    NetworkDevice device;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("rfc2217"))
        device.protocol = NetworkDevice::Protocol::Rfc2217;
    else if (scheme == QLatin1String("tcp"))
        device.protocol = NetworkDevice::Protocol::RawTcp;
    else
        return refuse(QStringLiteral("unknown scheme '%1' (rfc2217:// or tcp://)").arg(url.scheme()));
    device.host = url.host();
    if (device.host.isEmpty())
        return refuse(QStringLiteral("no host name"));
    if (url.port() < 1)
        return refuse(QStringLiteral("no port number (for example %1://%2:2000)").arg(scheme, url.host()));
    if (!url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery()
        || url.hasFragment())
        return refuse(QStringLiteral("only %1://HOST:PORT is understood").arg(scheme));
    device.port = static_cast<quint16>(url.port());
    return device;
}

std::unique_ptr<SerialLine> MakeSerialLine(const QString &device, QString *why)
{
    if (!IsNetworkDeviceText(device))
        return std::make_unique<QtSerialLine>(device);
    const auto address = ParseNetworkDevice(device, why);
    if (!address)
        return nullptr;
    return std::make_unique<NetSerialLine>(*address);
}

} // namespace korvane
