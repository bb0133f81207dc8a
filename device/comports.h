#pragma once
// What "COM n" (n = 1..9) means on this machine.
//
// Windows: COM n is the device "COMn".
//
// Elsewhere, in this order:
//  1. the port folder: if <comdir>/comN exists (a symbolic link to a serial device or
//     pseudo-terminal, or the device node itself), COM n is that path. comdir is
//     $KORVANE_COM_DIR when set, otherwise ports/ in the per-user configuration folder
//     (UserConfigFolder: ${XDG_CONFIG_HOME:-$HOME/.config}/korvane-s, a relative
//     XDG_CONFIG_HOME ignored; none when the home folder is unknown).
//     A link that exists but whose target is gone still names COM n (opening it fails,
//     which discovery treats as an absent port).
//  2. only when KORVANE_COM_DIR is not set: the machine's own serial devices, in a stable
//     order: USB adapters (ttyUSB*, ttyACM*) sorted by their /dev/serial/by-id name (maker,
//     model, serial number), adapters without one after them by device name, then the
//     built-in ports ttyS* in numeric order, leaving out ttyS nodes without hardware; COM n
//     is the n-th of that list. Ports named in the port folder are not counted again.
// Setting KORVANE_COM_DIR makes that folder the whole list, so a test or a simulated
// processor set-up never probes the machine's real serial lines.

#include <QString>
#include <QStringList>

namespace korvane {

inline constexpr int kFirstComPort = 1;
inline constexpr int kLastComPort = 9;

// The folder consulted first; empty when there is none (no home folder).
[[nodiscard]] QString ComPortFolder();

// Device path for COM port (1..9); empty when no such port exists.
[[nodiscard]] QString ComPortDeviceName(int port);

// The stable name of a device: the /dev/serial/by-id link that leads to it (the folder is
// $KORVANE_SERIAL_BY_ID when set, for tests), empty when there is none.
[[nodiscard]] QString StableDeviceName(const QString &device);
[[nodiscard]] QString StableNameFolder();

// Device paths behind COM 1..9 (index 0 = COM 1); empty entries for absent ports.
[[nodiscard]] QStringList ListComPorts();

} // namespace korvane
