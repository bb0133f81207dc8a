#include "firmwarefile.h"

#include "comroutines.h"
#include "debugassist.h"
#include "standinfirmware.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace korvane {

bool GetFirmwareFileVersion(const QString &path, int16_t &version)
{
    DebugAssist(QStringLiteral("GetFirmwareFileVersion"));
    version = 0;
    const QFileInfo info(path);
    if (!info.exists() || info.size() != kFirmwareFileSize)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(kFirmwareVersionOffset))
        return false;
    char high = 0;
    char low = 0;
    if (!file.getChar(&high) || !file.getChar(&low))
        return false;
    version = static_cast<int16_t>(BcdToValue(static_cast<uint8_t>(high)) * 100
                                   + BcdToValue(static_cast<uint8_t>(low)));
    return true;
}

bool IsStandInFirmware(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.read(kStandInFirmwareMarkerLength) == QByteArray(kStandInFirmwareMarker, kStandInFirmwareMarkerLength);
}

bool StandInFirmwareAllowed() { return qEnvironmentVariable(kStandInFirmwareSwitch) == QLatin1String("1"); }

bool UpdateFirmware(SerialLine &port, const QString &path, const XmodemProgress &progress)
{
    DebugAssist(QStringLiteral("UpdateFirmware"));
    if (IsStandInFirmware(path) && !StandInFirmwareAllowed())
        return false;
    QString reply;
    bool ok = TransmitCommand(port, cmd::FlashProgramCode, reply, QString(), 0, 10, 5);
    if (ok) {
        // A missing file fails inside the transfer, which still ends the processor's receive
        // mode with EOT.
        const qint64 length = std::min<qint64>(QFileInfo(path).size(), INT32_MAX);
        ok = SendFileXModem(port, path, static_cast<int32_t>(length), 1, false, progress);
    }
    if (ok)
        ok = ResetDevice(port);
    return ok;
}

} // namespace korvane
