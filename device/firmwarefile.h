#pragma once
// The firmware image korvanes.fwr: exactly 761856 bytes (5952 XMODEM blocks), sent to the
// processor unchanged. Its version sits near the end as two packed-BCD bytes:
//   offset 761852 (0xB9FFC): high part, offset 761853 (0xB9FFD): low part;
//   version = high * 100 + low, so 0x01 0x05 is version 105 (the processor reports 0105).

#include "serialline.h"
#include "xmodem.h"

#include <QString>

#include <cstdint>

namespace korvane {

inline constexpr qint64 kFirmwareFileSize = 761856;
inline constexpr qint64 kFirmwareVersionOffset = 761852;
inline const QString kFirmwareFileName = QStringLiteral("korvanes.fwr");

// (high nibble) * 10 + (low nibble); nibbles above 9 enter the sum as they are.
[[nodiscard]] constexpr int BcdToValue(uint8_t byte) { return ((byte >> 4) & 0x0F) * 10 + (byte & 0x0F); }

// True when the file is exactly 761856 bytes and both version bytes were read; version is 0
// otherwise.
[[nodiscard]] bool GetFirmwareFileVersion(const QString &path, int16_t &version);

// True when the file starts with the stand-in mark (device/standinfirmware.h).
[[nodiscard]] bool IsStandInFirmware(const QString &path);
// True when the developer switch allows uploading the stand-in ($KORVANE_ALLOW_STANDIN_FIRMWARE
// is 1).
[[nodiscard]] bool StandInFirmwareAllowed();

// "F P C", the whole file by XMODEM (no verdict wait), then "RESET". True when all three
// succeeded; nothing of the file is sent when "F P C" is not answered, and nothing at all
// (not even "F P C") when the file is the stand-in and the developer switch is off.
[[nodiscard]] bool UpdateFirmware(SerialLine &port, const QString &path, const XmodemProgress &progress = {});

} // namespace korvane
