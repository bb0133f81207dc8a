#include "comports.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtGlobal>

#include <algorithm>

namespace korvane {

QString ComPortFolder()
{
    const QString explicitDir = qEnvironmentVariable("KORVANE_COM_DIR");
    if (!explicitDir.isEmpty())
        return explicitDir;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/korvane-s/ports");
}

#if !defined(Q_OS_WIN)
namespace {

QString folderEntry(const QString &folder, int port)
{
    const QString path = folder + QStringLiteral("/com%1").arg(port);
    const QFileInfo info(path);
    return (info.exists() || info.isSymLink()) ? path : QString();
}

// The machine's serial devices in the documented order: ttyUSB*, ttyACM*, ttyS*, each
// numerically.
QStringList systemSerialDevices()
{
    QStringList out;
    const QDir dev(QStringLiteral("/dev"));
    for (const char *prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        const QString p = QString::fromLatin1(prefix);
        const QRegularExpression re(QStringLiteral("^%1([0-9]+)$").arg(p));
        QList<std::pair<int, QString>> found;
        for (const QString &name : dev.entryList({p + QLatin1Char('*')}, QDir::System | QDir::Files)) {
            const auto m = re.match(name);
            if (m.hasMatch())
                found.append({m.captured(1).toInt(), dev.filePath(name)});
        }
        std::sort(found.begin(), found.end());
        for (const auto &f : found)
            out << f.second;
    }
    return out;
}

} // namespace
#endif

QStringList ListComPorts()
{
    QStringList out;
#if defined(Q_OS_WIN)
    for (int n = kFirstComPort; n <= kLastComPort; ++n)
        out << QStringLiteral("COM%1").arg(n);
#else
    const QString folder = ComPortFolder();
    for (int n = kFirstComPort; n <= kLastComPort; ++n)
        out << folderEntry(folder, n);
    if (!qEnvironmentVariableIsSet("KORVANE_COM_DIR")) {
        QStringList system = systemSerialDevices();
        for (const QString &taken : out) {
            if (!taken.isEmpty())
                system.removeAll(QFileInfo(taken).canonicalFilePath());
        }
        for (int i = 0; i < out.size(); ++i) {
            const int n = i + 1;
            if (out[i].isEmpty() && n - 1 < system.size())
                out[i] = system[n - 1];
        }
    }
#endif
    return out;
}

QString ComPortDeviceName(int port)
{
    if (port < kFirstComPort || port > kLastComPort)
        return {};
    return ListComPorts().at(port - 1);
}

} // namespace korvane
