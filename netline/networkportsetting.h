#pragma once
// The window's network port: the address of a network serial server the user programs through
// instead of a COM port, kept per user (network-port.conf in the user's configuration folder,
// ${XDG_CONFIG_HOME:-~/.config}/korvane-s), never in a settings file, whose port stays COM n.
//
// File layout (INI): [network] use=true|false, device=rfc2217://HOST:PORT or tcp://HOST:PORT.

#include <QString>

namespace korvane {

struct NetworkPortSetting {
    bool use = false; // true: programming goes through `device`, not COM n
    QString device;   // a well-formed network address (networkdevice.h), or empty
};

[[nodiscard]] QString NetworkPortSettingPath();
// The stored setting; a missing file, or an address that is not well formed, reads as not used.
[[nodiscard]] NetworkPortSetting LoadNetworkPortSetting();
// False when the file could not be written (why: the path and the reason).
[[nodiscard]] bool SaveNetworkPortSetting(const NetworkPortSetting &setting, QString *why = nullptr);

} // namespace korvane
