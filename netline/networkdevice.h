#pragma once
// The serial line named by a --device text, and the network addresses among those texts:
//   rfc2217://HOST:PORT  a network serial server's telnet port with serial port control: the
//                        client sets the server's port to 9600 baud, 8N1, no flow control;
//   tcp://HOST:PORT      a raw TCP port: the bytes go to the server's serial port as they are,
//                        and its port settings are the server's own;
// anything else is a device path. HOST is a name, an IPv4 address or an IPv6 address in
// brackets; PORT is 1..65535.

#include "device/serialline.h"

#include <QString>

#include <memory>
#include <optional>

namespace korvane {

struct NetworkDevice {
    enum class Protocol { Rfc2217, RawTcp };
    Protocol protocol = Protocol::Rfc2217;
    QString host;
    quint16 port = 0;

    // "rfc2217://HOST:PORT" or "tcp://HOST:PORT".
    [[nodiscard]] QString text() const;
};

// True when text names a network address (it holds "://"), well formed or not.
[[nodiscard]] bool IsNetworkDeviceText(const QString &text);

// The address in text; nullopt when it is not a well-formed network address, with why (for
// example "unknown scheme 'telnet' (rfc2217:// or tcp://)", "no port number").
[[nodiscard]] std::optional<NetworkDevice> ParseNetworkDevice(const QString &text, QString *why = nullptr);

// The line a --device text names: a network line for an address, the serial port at the path
// otherwise (an empty text: COM 1..9 as the port folder maps them). Null only for a malformed
// network address, with why.
[[nodiscard]] std::unique_ptr<SerialLine> MakeSerialLine(const QString &device, QString *why = nullptr);

} // namespace korvane
