#pragma once
// What the progress window tells a screen reader during a programming run, and when. Kept apart
// from the window so that the timing can be checked without one: the window passes the time of
// each event in and speaks whatever comes back.
//
// - A new stage caption ("Finding Korvane-S", "Programming Filters", ...) is said at once.
// - The packet count is said at most once every kPacketIntervalMs: a 224-packet upload at 9600
//   baud sends a packet every 0.14 s, and a reader that tried to say each would fall ever
//   further behind. The first count of a transfer waits the same interval after the stage was
//   said, so the two do not run into each other.
// - The result is said at once.

#include <QString>
#include <QtGlobal>

#include <optional>

namespace korvane {

class ProgressAnnouncer {
public:
    static constexpr qint64 kPacketIntervalMs = 5000;

    // nowMs: a monotonic time in milliseconds (the device link's clock). Each returns the text to
    // announce now, or std::nullopt when nothing is to be said.
    [[nodiscard]] std::optional<QString> stage(const QString &caption, qint64 nowMs);
    // packet: the last packet sent (1..total); total: the packets of the transfer (0 = unknown).
    [[nodiscard]] std::optional<QString> packet(int packet, int total, qint64 nowMs);
    // text: the run's result as its closing message titles it ("Success", "Programming Aborted").
    [[nodiscard]] std::optional<QString> result(const QString &text, qint64 nowMs);

private:
    [[nodiscard]] std::optional<QString> said(const QString &text, qint64 nowMs);

    QString lastStage_;
    std::optional<qint64> lastSaidMs_;
};

} // namespace korvane
