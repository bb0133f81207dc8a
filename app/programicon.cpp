#include "programicon.h"

#include <QPainter>
#include <QPainterPath>

namespace korvane {

QPixmap ProgramPixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x3a, 0x5f));
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.12, s * 0.12);
    // A bandpass magnitude curve.
    QPainterPath curve;
    curve.moveTo(s * 0.08, s * 0.80);
    curve.cubicTo(s * 0.28, s * 0.80, s * 0.26, s * 0.25, s * 0.40, s * 0.25);
    curve.lineTo(s * 0.60, s * 0.25);
    curve.cubicTo(s * 0.74, s * 0.25, s * 0.72, s * 0.80, s * 0.92, s * 0.80);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x7f, 0xd3, 0xff), qMax<qreal>(1.5, s * 0.08), Qt::SolidLine, Qt::RoundCap));
    p.drawPath(curve);
    p.setPen(QPen(QColor(0xe0, 0xe0, 0xe0), qMax<qreal>(1.0, s * 0.03)));
    p.drawLine(QPointF(s * 0.08, s * 0.88), QPointF(s * 0.92, s * 0.88));
    return pm;
}

QIcon ProgramIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(ProgramPixmap(size));
    return icon;
}

} // namespace korvane
