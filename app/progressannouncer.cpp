#include "progressannouncer.h"

namespace korvane {

std::optional<QString> ProgressAnnouncer::said(const QString &text, qint64 nowMs)
{
    lastSaidMs_ = nowMs;
    return text;
}

std::optional<QString> ProgressAnnouncer::stage(const QString &caption, qint64 nowMs)
{
    // The sequence may set the caption it already shows: nothing changed for the listener.
    if (caption.isEmpty() || caption == lastStage_)
        return std::nullopt;
    lastStage_ = caption;
    return said(caption, nowMs);
}

std::optional<QString> ProgressAnnouncer::packet(int packet, int total, qint64 nowMs)
{
    if (packet <= 0 || (lastSaidMs_ && nowMs - *lastSaidMs_ < kPacketIntervalMs))
        return std::nullopt;
    const QString count = total > 0 ? QStringLiteral("Data Packet %1 of %2").arg(packet).arg(total)
                                    : QStringLiteral("Data Packet %1").arg(packet);
    return said(count, nowMs);
}

std::optional<QString> ProgressAnnouncer::result(const QString &text, qint64 nowMs)
{
    if (text.isEmpty())
        return std::nullopt;
    return said(text, nowMs);
}

} // namespace korvane
