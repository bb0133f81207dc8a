#include "comports.h"

#include "config/filelocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtGlobal>

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace korvane {

QString ComPortFolder()
{
    const QString explicitDir = qEnvironmentVariable("KORVANE_COM_DIR");
    if (!explicitDir.isEmpty())
        return explicitDir;
    const QString config = UserConfigFolder();
    return config.isEmpty() ? QString() : config + QStringLiteral("/ports");
}

#if !defined(Q_OS_WIN)
namespace {

QString folderEntry(const QString &folder, int port)
{
    if (folder.isEmpty())
        return {};
    const QString path = folder + QStringLiteral("/com%1").arg(port);
    const QFileInfo info(path);
    return (info.exists() || info.isSymLink()) ? path : QString();
}

// A ttyS node whose UART type is 0 (PORT_UNKNOWN) has no hardware behind it: the kernel
// makes the nodes whether or not the ports exist.
bool hasHardware(const QString &name)
{
    if (!name.startsWith(QLatin1String("ttyS")))
        return true;
    QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(name));
    if (!type.open(QIODevice::ReadOnly))
        return true;
    return type.readAll().trimmed() != "0";
}

// The machine's serial devices in a stable order: USB adapters (ttyUSB*, ttyACM*) by their
// /dev/serial/by-id name (maker, model and serial number: the same adapter sorts to the same
// place whichever ttyUSB number the kernel gave it this time), then adapters without such a
// name by device name, then the built-in ports ttyS* in numeric order. ttyS nodes without
// hardware are left out.
QStringList systemSerialDevices()
{
    struct Entry {
        int group; // 0 adapters with an id, 1 adapters without, 2 built-in ports
        QString key;
        int number;
        QString path;
    };
    QList<Entry> found;
    const QDir dev(QStringLiteral("/dev"));
    for (const char *prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        const QString p = QString::fromLatin1(prefix);
        const QRegularExpression re(QStringLiteral("^%1([0-9]+)$").arg(p));
        for (const QString &name : dev.entryList({p + QLatin1Char('*')}, QDir::System | QDir::Files)) {
            const auto m = re.match(name);
            if (!m.hasMatch() || !hasHardware(name))
                continue;
            const QString path = dev.filePath(name);
            const int number = m.captured(1).toInt();
            if (p == QLatin1String("ttyS")) {
                found.append({2, {}, number, path});
                continue;
            }
            const QString id = StableDeviceName(path);
            found.append({id.isEmpty() ? 1 : 0, id.isEmpty() ? p : id, number, path});
        }
    }
    std::sort(found.begin(), found.end(), [](const Entry &a, const Entry &b) {
        return std::tie(a.group, a.key, a.number) < std::tie(b.group, b.key, b.number);
    });
    QStringList out;
    for (const Entry &e : found)
        out << e.path;
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

QString StableDeviceName(const QString &device)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(device);
    return {};
#else
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return {};
    // Every entry of the folder is a link named after the adapter; the one that leads to the
    // device names it.
    std::error_code ec;
    for (const auto &entry :
         std::filesystem::directory_iterator(QFile::encodeName(StableNameFolder()).toStdString(), ec)) {
        const QString link = QFile::decodeName(QByteArray::fromStdString(entry.path().string()));
        if (QFileInfo(link).canonicalFilePath() == target)
            return link;
    }
    return {};
#endif
}

QString StableNameFolder()
{
    const QString dir = qEnvironmentVariable("KORVANE_SERIAL_BY_ID");
    return dir.isEmpty() ? QStringLiteral("/dev/serial/by-id") : dir;
}

QString ComPortDeviceName(int port)
{
    if (port < kFirstComPort || port > kLastComPort)
        return {};
    return ListComPorts().at(port - 1);
}

} // namespace korvane
