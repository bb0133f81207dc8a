#include "networkportsetting.h"

#include "networkdevice.h"

#include "config/filelocations.h"

#include <QDir>
#include <QSettings>

namespace korvane {

QString NetworkPortSettingPath() { return QDir(UserConfigFolder()).filePath(QStringLiteral("network-port.conf")); }

NetworkPortSetting LoadNetworkPortSetting()
{
    QSettings file(NetworkPortSettingPath(), QSettings::IniFormat);
    NetworkPortSetting s;
    s.device = file.value(QStringLiteral("network/device")).toString();
    s.use = file.value(QStringLiteral("network/use"), false).toBool();
    if (!ParseNetworkDevice(s.device)) {
        s.use = false;
        s.device.clear();
    }
    return s;
}

bool SaveNetworkPortSetting(const NetworkPortSetting &setting, QString *why)
{
    const QString path = NetworkPortSettingPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (why)
            *why = QStringLiteral("%1: the folder could not be made").arg(QDir::toNativeSeparators(path));
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.setValue(QStringLiteral("network/use"), setting.use);
    file.setValue(QStringLiteral("network/device"), setting.device);
    file.sync();
    if (file.status() != QSettings::NoError) {
        if (why)
            *why = QStringLiteral("%1: could not be written").arg(QDir::toNativeSeparators(path));
        return false;
    }
    return true;
}

} // namespace korvane
