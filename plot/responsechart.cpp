#include "responsechart.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace korvane {

namespace {

const QColor kGridColor{225, 225, 225};
const QColor kAxisColor{90, 90, 90};
const QColor kTextColor{40, 40, 40};
const QString kHzCaption = QStringLiteral("Frequency (Hz)");
const QString kDbCaption = QStringLiteral("Level (dB)");

QString tickText(double v) { return QString::number(std::lround(v)); }

// The legend's rows: one per curve, then the notes; anchored to the plot area's top right.
constexpr double kLegendRow = 15;
constexpr double kLegendSample = 22;
constexpr double kLegendPad = 4;   // text to box edge
constexpr double kLegendInset = 6; // box to plot area edge
constexpr double kSmallestLegendPixels = 7;

// Breaks text at spaces into lines no wider than width; a word wider than width gets a line
// of its own.
QStringList wrapped(const QString &text, const QFontMetricsF &fm, double width)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (line.isEmpty() || fm.horizontalAdvance(candidate) <= width) {
            line = candidate;
        } else {
            lines << line;
            line = word;
        }
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QString escaped(const QString &s) { return s.toHtmlEscaped(); }

bool hasBand(const ChartCurve &c, size_t n) { return c.low.size() >= n && c.high.size() >= n && n > 0; }

// The band's outline: along the highest levels left to right, back along the lowest.
QPolygonF bandOutline(const PlotGeometry &g, const ResponseChart &chart, const ChartCurve &c, size_t n)
{
    QPolygonF band;
    band.reserve(static_cast<qsizetype>(2 * n));
    for (size_t j = 0; j < n; ++j)
        band << g.point(chart.frequency[j], c.high[j]);
    for (size_t j = n; j-- > 0;)
        band << g.point(chart.frequency[j], c.low[j]);
    return band;
}

} // namespace

ResponseChart ChartFromResponse(const SetResponse &r)
{
    ResponseChart c;
    c.title = QStringLiteral("Filter %1").arg(r.set);
    c.maxHz = r.sampleRate / 2.0;
    c.frequency = r.frequency;
    const QString names[2] = {QStringLiteral("Stage 1"), QStringLiteral("Stage 2")};
    const QColor colors[2] = {kStage1Color, kStage2Color};
    for (int s = 0; s < 2; ++s) {
        c.curves.push_back({names[s], r.stages[s].db, colors[s], 1.5, false, r.stages[s].dbLow, r.stages[s].dbHigh});
        if (!r.stages[s].note().isEmpty())
            c.notes << names[s] + QStringLiteral(": ") + r.stages[s].note();
        if (r.stages[s].kind == StageResponse::Kind::Comb)
            c.notes << QStringLiteral("%1: comb, notches %2 Hz apart, %3 dB deep")
                           .arg(names[s])
                           .arg(r.stages[s].combSpacingHz(r.sampleRate), 0, 'f', 1)
                           .arg(r.stages[s].combDepthDb(), 0, 'f', 1);
    }
    c.curves.push_back({QStringLiteral("Cascade"), r.cascade, kCascadeColor, 2.0, true, r.cascadeLow, r.cascadeHigh});
    c.notes << r.problems;
    c.range = FitDbRange({&r.stages[0].db, &r.stages[1].db, &r.cascade});
    return c;
}

PlotGeometry ChartGeometry(QSizeF canvas, const ResponseChart &chart)
{
    return PlotGeometry::forCanvas(canvas.width(), canvas.height(), chart.maxHz, chart.range, chart.logFrequency);
}

LegendLayout LayOutLegend(const ResponseChart &chart, const QRectF &area, const QFontMetricsF &fm)
{
    LegendLayout l;
    l.rowHeight = std::max(kLegendRow, std::ceil(fm.height()));
    const double maxText = std::max(1.0, area.width() - 2 * kLegendInset - 2 * kLegendPad);
    double textWidth = 0;
    for (const ChartCurve &c : chart.curves) {
        l.curveRows.push_back(c.label);
        textWidth = std::max(textWidth, fm.horizontalAdvance(c.label) + kLegendSample + 6);
    }
    for (const QString &n : chart.notes)
        for (const QString &line : wrapped(n, fm, maxText)) {
            l.noteLines << line;
            textWidth = std::max(textWidth, fm.horizontalAdvance(line));
        }
    textWidth = std::min(textWidth, maxText);
    const int rows = static_cast<int>(l.curveRows.size()) + static_cast<int>(l.noteLines.size());
    const double height = rows * l.rowHeight + 2 * kLegendPad;
    l.box = QRectF(area.right() - kLegendInset - textWidth - 2 * kLegendPad, area.top() + kLegendInset,
                   textWidth + 2 * kLegendPad, height);
    l.fits = l.box.bottom() <= area.bottom() - 1;
    return l;
}

void PaintChart(QPainter &p, const QRectF &canvas, const ResponseChart &chart)
{
    p.save();
    p.translate(canvas.topLeft());
    const PlotGeometry g = ChartGeometry(canvas.size(), chart);
    const QRectF area = g.area();
    p.fillRect(QRectF(0, 0, canvas.width(), canvas.height()), Qt::white);
    p.setRenderHint(QPainter::Antialiasing, false);

    const QFontMetricsF fm(p.font());
    p.setPen(QPen(kGridColor, 1));
    for (double hz : g.frequencyTicks())
        p.drawLine(QPointF(g.x(hz), area.top()), QPointF(g.x(hz), area.bottom()));
    for (double db : g.dbTicks())
        p.drawLine(QPointF(area.left(), g.y(db)), QPointF(area.right(), g.y(db)));

    p.setPen(kTextColor);
    for (double hz : g.frequencyTicks()) {
        const QString t = tickText(hz);
        p.drawText(QPointF(g.x(hz) - fm.horizontalAdvance(t) / 2, area.bottom() + 4 + fm.ascent()), t);
    }
    for (double db : g.dbTicks()) {
        const QString t = tickText(db);
        p.drawText(QPointF(area.left() - 6 - fm.horizontalAdvance(t), g.y(db) + fm.ascent() / 2 - 1), t);
    }
    p.drawText(QPointF(area.center().x() - fm.horizontalAdvance(kHzCaption) / 2, canvas.height() - 6), kHzCaption);
    p.save();
    p.translate(12, area.center().y() + fm.horizontalAdvance(kDbCaption) / 2);
    p.rotate(-90);
    p.drawText(QPointF(0, fm.ascent() / 2), kDbCaption);
    p.restore();
    p.drawText(QPointF(area.left(), area.top() - 8), chart.title);

    p.setPen(QPen(kAxisColor, 1));
    p.drawRect(area);

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(area.adjusted(-1, -1, 1, 1));
    for (const ChartCurve &c : chart.curves) {
        const size_t n = std::min(c.db.size(), chart.frequency.size());
        if (!hasBand(c, n))
            continue;
        QColor fill = c.color;
        fill.setAlpha(45);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPolygon(bandOutline(g, chart, c, n));
        // Its edges instead of the sampled line, which would alias.
        QPolygonF upper, lower;
        for (size_t j = 0; j < n; ++j) {
            upper << g.point(chart.frequency[j], c.high[j]);
            lower << g.point(chart.frequency[j], c.low[j]);
        }
        QPen edge(c.color, 1.0);
        if (c.dashed)
            edge.setStyle(Qt::DashLine);
        p.setPen(edge);
        p.drawPolyline(upper);
        p.drawPolyline(lower);
    }
    p.setBrush(Qt::NoBrush);
    for (const ChartCurve &c : chart.curves) {
        if (c.db.empty() || hasBand(c, std::min(c.db.size(), chart.frequency.size())))
            continue;
        QPolygonF line;
        const size_t n = std::min(c.db.size(), chart.frequency.size());
        line.reserve(static_cast<qsizetype>(n));
        for (size_t j = 0; j < n; ++j)
            line << g.point(chart.frequency[j], c.db[j]);
        QPen pen(c.color, c.width);
        if (c.dashed)
            pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawPolyline(line);
    }
    p.setClipping(false);

    // Legend and notes inside the plot area's top right; a smaller font when the notes need
    // more rows than the area has.
    QFont legendFont = p.font();
    LegendLayout l = LayOutLegend(chart, area, fm);
    while (!l.fits) {
        const double pixels = QFontInfo(legendFont).pixelSize() * 0.85;
        if (pixels < kSmallestLegendPixels)
            break;
        legendFont.setPixelSize(static_cast<int>(pixels));
        l = LayOutLegend(chart, area, QFontMetricsF(legendFont));
    }
    p.setFont(legendFont);
    const QFontMetricsF lfm(legendFont);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(l.box, QColor(255, 255, 255, 230));
    p.setPen(QPen(kGridColor, 1));
    p.drawRect(l.box);
    const double left = l.box.left() + kLegendPad;
    double yRow = l.box.top() + kLegendPad + l.rowHeight / 2;
    const double baseline = lfm.ascent() / 2 - 1;
    for (const ChartCurve &c : chart.curves) {
        QPen pen(c.color, c.width);
        if (c.dashed)
            pen.setStyle(Qt::DashLine);
        p.setPen(pen);
        p.drawLine(QPointF(left, yRow), QPointF(left + kLegendSample, yRow));
        p.setPen(kTextColor);
        p.drawText(QPointF(left + 6 + kLegendSample, yRow + baseline), c.label);
        yRow += l.rowHeight;
    }
    p.setPen(kTextColor);
    for (const QString &n : l.noteLines) {
        p.drawText(QPointF(left, yRow + baseline), n);
        yRow += l.rowHeight;
    }
    p.restore();
}

QImage RenderChart(const ResponseChart &chart, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PaintChart(p, QRectF(0, 0, size.width(), size.height()), chart);
    p.end();
    return image;
}

QByteArray ChartSvg(const ResponseChart &chart, QSize size)
{
    const PlotGeometry g = ChartGeometry(QSizeF(size), chart);
    const QRectF a = g.area();
    auto num = [](double v) { return QString::number(v, 'f', 1); };
    QString s;
    s += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                        "font-family=\"sans-serif\" font-size=\"12\">\n")
             .arg(size.width())
             .arg(size.height());
    s += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
    s += QStringLiteral(
             "<defs><clipPath id=\"area\"><rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/></clipPath></defs>\n")
             .arg(num(a.left() - 1), num(a.top() - 1), num(a.width() + 2), num(a.height() + 2));
    s += QStringLiteral("<g stroke=\"%1\" stroke-width=\"1\">\n").arg(kGridColor.name());
    for (double hz : g.frequencyTicks())
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%1\" y2=\"%3\"/>\n")
                 .arg(num(g.x(hz)), num(a.top()), num(a.bottom()));
    for (double db : g.dbTicks())
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\"/>\n")
                 .arg(num(a.left()), num(g.y(db)), num(a.right()));
    s += QStringLiteral("</g>\n<g fill=\"%1\">\n").arg(kTextColor.name());
    for (double hz : g.frequencyTicks())
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
                 .arg(num(g.x(hz)), num(a.bottom() + 16), tickText(hz));
    for (double db : g.dbTicks())
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>\n")
                 .arg(num(a.left() - 6), num(g.y(db) + 4), tickText(db));
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
             .arg(num(a.center().x()), num(size.height() - 6), kHzCaption);
    s += QStringLiteral("<text transform=\"translate(16 %1) rotate(-90)\" text-anchor=\"middle\">%2</text>\n")
             .arg(num(a.center().y()), kDbCaption);
    s += QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text>\n</g>\n")
             .arg(num(a.left()), num(a.top() - 8), escaped(chart.title));
    s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" stroke=\"%5\"/>\n")
             .arg(num(a.left()), num(a.top()), num(a.width()), num(a.height()), kAxisColor.name());

    s += QStringLiteral("<g clip-path=\"url(#area)\" fill=\"none\" stroke-linejoin=\"round\">\n");
    for (const ChartCurve &c : chart.curves) {
        const size_t n = std::min(c.db.size(), chart.frequency.size());
        if (!hasBand(c, n))
            continue;
        QString pts;
        for (const QPointF &q : bandOutline(g, chart, c, n))
            pts += num(q.x()) + QLatin1Char(',') + num(q.y()) + QLatin1Char(' ');
        s += QStringLiteral("<polygon stroke=\"%1\" stroke-width=\"1\" fill=\"%1\" fill-opacity=\"0.18\" "
                            "points=\"%2\"><title>%3</title></polygon>\n")
                 .arg(c.color.name(), pts.trimmed(), escaped(c.label));
    }
    for (const ChartCurve &c : chart.curves) {
        if (c.db.empty() || hasBand(c, std::min(c.db.size(), chart.frequency.size())))
            continue;
        QString pts;
        const size_t n = std::min(c.db.size(), chart.frequency.size());
        for (size_t j = 0; j < n; ++j) {
            const QPointF q = g.point(chart.frequency[j], c.db[j]);
            pts += num(q.x()) + QLatin1Char(',') + num(q.y()) + QLatin1Char(' ');
        }
        s += QStringLiteral(
                 "<polyline stroke=\"%1\" stroke-width=\"%2\"%3 points=\"%4\"><title>%5</title></polyline>\n")
                 .arg(c.color.name(), num(c.width), c.dashed ? QStringLiteral(" stroke-dasharray=\"6 3\"") : QString(),
                      pts.trimmed(), escaped(c.label));
    }
    s += QStringLiteral("</g>\n");

    // Legend: SVG text is measured by the viewer, so the box is sized at 6.5 pixels a
    // character and the notes broken to fit the plot area at that estimate.
    constexpr double kCharWidth = 6.5;
    const double room = std::max(90.0, a.width() - 2 * kLegendInset - 2 * kLegendPad);
    QStringList noteLines;
    for (const QString &n : chart.notes) {
        QString line;
        for (const QString &word : n.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && kCharWidth * candidate.size() > room) {
                noteLines << line;
                line = word;
            } else {
                line = candidate;
            }
        }
        if (!line.isEmpty())
            noteLines << line;
    }
    const int rows = static_cast<int>(chart.curves.size()) + static_cast<int>(noteLines.size());
    double widest = 90;
    for (const QString &n : noteLines)
        widest = std::max(widest, kCharWidth * n.size());
    widest = std::min(widest, room);
    const double left = a.right() - widest - 14;
    double y = a.top() + 6;
    s += QStringLiteral(
             "<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"white\" fill-opacity=\"0.9\" stroke=\"%5\"/>\n")
             .arg(num(left), num(y), num(widest + 8), num(rows * kLegendRow + 6), kGridColor.name());
    y += 3 + kLegendRow / 2;
    for (const ChartCurve &c : chart.curves) {
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"%4\" stroke-width=\"%5\"%6/>\n")
                 .arg(num(left + 4), num(y), num(left + 4 + kLegendSample), c.color.name(), num(c.width),
                      c.dashed ? QStringLiteral(" stroke-dasharray=\"6 3\"") : QString());
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\">%4</text>\n")
                 .arg(num(left + 10 + kLegendSample), num(y + 4), kTextColor.name(), escaped(c.label));
        y += kLegendRow;
    }
    for (const QString &n : noteLines) {
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\">%4</text>\n")
                 .arg(num(left + 4), num(y + 4), kTextColor.name(), escaped(n));
        y += kLegendRow;
    }
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

} // namespace korvane
