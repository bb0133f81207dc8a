#include "responsechart.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
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

// Breaks text at spaces into lines no wider than width, as measured by widthOf; a word wider
// than width gets a line of its own.
template <typename Measure> QStringList wrapped(const QString &text, const Measure &widthOf, double width)
{
    QStringList lines;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString candidate = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (line.isEmpty() || widthOf(candidate) <= width) {
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

// What the painter and the SVG writer both draw, in canvas pixels, worked out once from the
// chart and its geometry; each renderer adds only its own text placement and styling.
struct ChartScene {
    struct Tick {
        QPointF anchor; // a frequency tick's x on the area's bottom edge, a level's y on its left edge
        QString text;
    };
    // A curve drawn as a band: its highest and lowest levels, left to right.
    struct Band {
        const ChartCurve *curve;
        QPolygonF upper, lower;
    };
    struct Line {
        const ChartCurve *curve;
        QPolygonF points;
    };

    QRectF area;
    std::vector<QLineF> grid; // at the frequency ticks across, then at the level ticks
    std::vector<Tick> hzTicks, dbTicks;
    std::vector<Band> bands; // the curves with a band, in the chart's order
    std::vector<Line> lines; // the other curves with values, in the chart's order
};

QPolygonF curvePoints(const PlotGeometry &g, const std::vector<double> &hz, const std::vector<double> &db, size_t n)
{
    QPolygonF points;
    points.reserve(static_cast<qsizetype>(n));
    for (size_t j = 0; j < n; ++j)
        points << g.point(hz[j], db[j]);
    return points;
}

ChartScene sceneOf(const ResponseChart &chart, QSizeF canvas)
{
    const PlotGeometry g = ChartGeometry(canvas, chart);
    ChartScene scene;
    scene.area = g.area();
    const QRectF &area = scene.area;
    for (double hz : g.frequencyTicks()) {
        scene.grid.emplace_back(QPointF(g.x(hz), area.top()), QPointF(g.x(hz), area.bottom()));
        scene.hzTicks.push_back({QPointF(g.x(hz), area.bottom()), tickText(hz)});
    }
    for (double db : g.dbTicks()) {
        scene.grid.emplace_back(QPointF(area.left(), g.y(db)), QPointF(area.right(), g.y(db)));
        scene.dbTicks.push_back({QPointF(area.left(), g.y(db)), tickText(db)});
    }
    for (const ChartCurve &c : chart.curves) {
        const size_t n = std::min(c.db.size(), chart.frequency.size());
        if (hasBand(c, n))
            scene.bands.push_back(
                {&c, curvePoints(g, chart.frequency, c.high, n), curvePoints(g, chart.frequency, c.low, n)});
        else if (!c.db.empty())
            scene.lines.push_back({&c, curvePoints(g, chart.frequency, c.db, n)});
    }
    // A wide line drawn over a thin one would hide it where the two run together.
    std::stable_sort(scene.lines.begin(), scene.lines.end(), [](const ChartScene::Line &a, const ChartScene::Line &b) {
        return a.curve->width > b.curve->width;
    });
    return scene;
}

// The band's outline: along the highest levels left to right, back along the lowest.
QPolygonF outline(const ChartScene::Band &band)
{
    QPolygonF shape = band.upper;
    for (qsizetype j = band.lower.size(); j-- > 0;)
        shape << band.lower[j];
    return shape;
}

QPen curvePen(const ChartCurve &c, double width, const ChartInk &ink)
{
    QPen pen(ink.map(c.color), width);
    if (c.style != Qt::SolidLine) {
        pen.setStyle(c.style);
        // Square caps would grow each dash and dot by the pen's width and close the gaps.
        pen.setCapStyle(Qt::FlatCap);
    }
    return pen;
}

void paintGrid(QPainter &p, const ChartScene &scene, const ChartInk &ink)
{
    p.setPen(QPen(ink.map(kGridColor), 1));
    for (const QLineF &line : scene.grid)
        p.drawLine(line);
}

// Tick labels, the axis captions and the title.
void paintAxisText(QPainter &p, const ChartScene &scene, const QString &title, double canvasHeight,
                   const QFontMetricsF &fm, const ChartInk &ink)
{
    const QRectF &area = scene.area;
    p.setPen(ink.map(kTextColor));
    for (const ChartScene::Tick &t : scene.hzTicks)
        p.drawText(QPointF(t.anchor.x() - fm.horizontalAdvance(t.text) / 2, t.anchor.y() + 4 + fm.ascent()), t.text);
    for (const ChartScene::Tick &t : scene.dbTicks)
        p.drawText(QPointF(t.anchor.x() - 6 - fm.horizontalAdvance(t.text), t.anchor.y() + fm.ascent() / 2 - 1),
                   t.text);
    p.drawText(QPointF(area.center().x() - fm.horizontalAdvance(kHzCaption) / 2, canvasHeight - 6), kHzCaption);
    p.save();
    p.translate(12, area.center().y() + fm.horizontalAdvance(kDbCaption) / 2);
    p.rotate(-90);
    p.drawText(QPointF(0, fm.ascent() / 2), kDbCaption);
    p.restore();
    p.drawText(QPointF(area.left(), area.top() - 8), title);
}

// Bands first (a faint fill and its edges instead of the sampled line, which would alias),
// then the lines over them.
void paintCurves(QPainter &p, const ChartScene &scene, const ChartInk &ink)
{
    for (const ChartScene::Band &band : scene.bands) {
        QColor fill = ink.map(band.curve->color);
        fill.setAlpha(45);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPolygon(outline(band));
        p.setPen(curvePen(*band.curve, 1.0, ink));
        p.drawPolyline(band.upper);
        p.drawPolyline(band.lower);
    }
    p.setBrush(Qt::NoBrush);
    for (const ChartScene::Line &line : scene.lines) {
        p.setPen(curvePen(*line.curve, line.curve->width, ink));
        p.drawPolyline(line.points);
    }
}

// Legend and notes inside the plot area's top right; a smaller font when the notes need more
// rows than the area has.
void paintLegend(QPainter &p, const ResponseChart &chart, const QRectF &area, const QFontMetricsF &fm,
                 const ChartInk &ink)
{
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
    p.fillRect(l.box, ink.map(QColor(255, 255, 255, 230)));
    p.setPen(QPen(ink.map(kGridColor), 1));
    p.drawRect(l.box);
    const double left = l.box.left() + kLegendPad;
    double yRow = l.box.top() + kLegendPad + l.rowHeight / 2;
    const double baseline = lfm.ascent() / 2 - 1;
    const QColor text = ink.map(kTextColor);
    for (const ChartCurve &c : chart.curves) {
        p.setPen(curvePen(c, c.width, ink));
        p.drawLine(QPointF(left, yRow), QPointF(left + kLegendSample, yRow));
        p.setPen(text);
        p.drawText(QPointF(left + 6 + kLegendSample, yRow + baseline), c.label);
        yRow += l.rowHeight;
    }
    p.setPen(text);
    for (const QString &n : l.noteLines) {
        p.drawText(QPointF(left, yRow + baseline), n);
        yRow += l.rowHeight;
    }
}

QString svgNumber(double v) { return QString::number(v, 'f', 1); }

// The dashes and gaps of the curve's pen, in pixels (a pen's pattern is in pen widths).
QString svgDash(const ChartCurve &c)
{
    if (c.style == Qt::SolidLine)
        return {};
    QPen pen;
    pen.setStyle(c.style);
    QStringList lengths;
    for (qreal v : pen.dashPattern())
        lengths << svgNumber(v * c.width);
    return QStringLiteral(" stroke-dasharray=\"%1\"").arg(lengths.join(QLatin1Char(' ')));
}

// The document head, the white background and the clip path of the plot area (one pixel
// wider all round, as on screen).
QString svgHead(QSize size, const QRectF &a)
{
    QString s = QStringLiteral(
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" viewBox=\"0 0 %1 %2\" "
                    "font-family=\"sans-serif\" font-size=\"12\">\n")
                    .arg(size.width())
                    .arg(size.height());
    s += QStringLiteral("<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n");
    s += QStringLiteral(
             "<defs><clipPath id=\"area\"><rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"/></clipPath></defs>\n")
             .arg(svgNumber(a.left() - 1), svgNumber(a.top() - 1), svgNumber(a.width() + 2), svgNumber(a.height() + 2));
    return s;
}

QString svgGrid(const ChartScene &scene)
{
    QString s = QStringLiteral("<g stroke=\"%1\" stroke-width=\"1\">\n").arg(kGridColor.name());
    for (const QLineF &l : scene.grid)
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"/>\n")
                 .arg(svgNumber(l.x1()), svgNumber(l.y1()), svgNumber(l.x2()), svgNumber(l.y2()));
    s += QStringLiteral("</g>\n");
    return s;
}

// Tick labels, the axis captions and the title; then the plot area's frame.
QString svgAxisText(const ChartScene &scene, const QString &title, int canvasHeight)
{
    const QRectF &a = scene.area;
    QString s = QStringLiteral("<g fill=\"%1\">\n").arg(kTextColor.name());
    for (const ChartScene::Tick &t : scene.hzTicks)
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
                 .arg(svgNumber(t.anchor.x()), svgNumber(t.anchor.y() + 16), t.text);
    for (const ChartScene::Tick &t : scene.dbTicks)
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"end\">%3</text>\n")
                 .arg(svgNumber(t.anchor.x() - 6), svgNumber(t.anchor.y() + 4), t.text);
    s += QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"middle\">%3</text>\n")
             .arg(svgNumber(a.center().x()), svgNumber(canvasHeight - 6), kHzCaption);
    s += QStringLiteral("<text transform=\"translate(16 %1) rotate(-90)\" text-anchor=\"middle\">%2</text>\n")
             .arg(svgNumber(a.center().y()), kDbCaption);
    s += QStringLiteral("<text x=\"%1\" y=\"%2\">%3</text>\n</g>\n")
             .arg(svgNumber(a.left()), svgNumber(a.top() - 8), escaped(title));
    s += QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"none\" stroke=\"%5\"/>\n")
             .arg(svgNumber(a.left()), svgNumber(a.top()), svgNumber(a.width()), svgNumber(a.height()),
                  kAxisColor.name());
    return s;
}

QString svgPoints(const QPolygonF &points)
{
    QString pts;
    for (const QPointF &q : points)
        pts += svgNumber(q.x()) + QLatin1Char(',') + svgNumber(q.y()) + QLatin1Char(' ');
    return pts.trimmed();
}

QString svgCurves(const ChartScene &scene)
{
    QString s = QStringLiteral("<g clip-path=\"url(#area)\" fill=\"none\" stroke-linejoin=\"round\">\n");
    for (const ChartScene::Band &band : scene.bands)
        s += QStringLiteral("<polygon stroke=\"%1\" stroke-width=\"1\" fill=\"%1\" fill-opacity=\"0.18\" "
                            "points=\"%2\"><title>%3</title></polygon>\n")
                 .arg(band.curve->color.name(), svgPoints(outline(band)), escaped(band.curve->label));
    for (const ChartScene::Line &line : scene.lines) {
        const ChartCurve &c = *line.curve;
        s += QStringLiteral(
                 "<polyline stroke=\"%1\" stroke-width=\"%2\"%3 points=\"%4\"><title>%5</title></polyline>\n")
                 .arg(c.color.name(), svgNumber(c.width), svgDash(c), svgPoints(line.points), escaped(c.label));
    }
    s += QStringLiteral("</g>\n");
    return s;
}

// Legend: SVG text is measured by the viewer, so the box is sized at 6.5 pixels a character
// and the notes broken to fit the plot area at that estimate.
QString svgLegend(const ResponseChart &chart, const QRectF &a)
{
    constexpr double kCharWidth = 6.5;
    const auto widthOf = [](const QString &text) { return kCharWidth * text.size(); };
    const double room = std::max(90.0, a.width() - 2 * kLegendInset - 2 * kLegendPad);
    QStringList noteLines;
    for (const QString &n : chart.notes)
        noteLines << wrapped(n, widthOf, room);
    const int rows = static_cast<int>(chart.curves.size()) + static_cast<int>(noteLines.size());
    double widest = 90;
    for (const QString &n : noteLines)
        widest = std::max(widest, widthOf(n));
    widest = std::min(widest, room);
    const double left = a.right() - widest - 14;
    double y = a.top() + 6;
    QString s = QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"white\" "
                               "fill-opacity=\"0.9\" stroke=\"%5\"/>\n")
                    .arg(svgNumber(left), svgNumber(y), svgNumber(widest + 8), svgNumber(rows * kLegendRow + 6),
                         kGridColor.name());
    y += 3 + kLegendRow / 2;
    for (const ChartCurve &c : chart.curves) {
        s += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%2\" stroke=\"%4\" stroke-width=\"%5\"%6/>\n")
                 .arg(svgNumber(left + 4), svgNumber(y), svgNumber(left + 4 + kLegendSample), c.color.name(),
                      svgNumber(c.width), svgDash(c));
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\">%4</text>\n")
                 .arg(svgNumber(left + 10 + kLegendSample), svgNumber(y + 4), kTextColor.name(), escaped(c.label));
        y += kLegendRow;
    }
    for (const QString &n : noteLines) {
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\">%4</text>\n")
                 .arg(svgNumber(left + 4), svgNumber(y + 4), kTextColor.name(), escaped(n));
        y += kLegendRow;
    }
    return s;
}

// What a curve's colour keeps against the paper: the contrast asked of text on light paper;
// on dark paper a thin coloured line looks dimmer than its measured contrast, so more.
constexpr double kReadableContrast = 4.5;
constexpr double kReadableOnDarkContrast = 7.0;
// Papers darker than this (relative luminance) are dark: black and white text contrast
// equally with it.
constexpr double kDarkPaper = 0.18;

double luminance(const QColor &c)
{
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
}

} // namespace

double ContrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ChartInk ChartInk::of(const QPalette &palette)
{
    return {palette.color(QPalette::Base), palette.color(QPalette::Text)};
}

QColor ChartInk::map(const QColor &designed) const
{
    QColor out;
    if (designed.red() == designed.green() && designed.green() == designed.blue()) {
        const double paperShare = designed.redF();
        auto mix = [paperShare](double inkPart, double paperPart) {
            return std::lround(255 * (inkPart + (paperPart - inkPart) * paperShare));
        };
        out = QColor(int(mix(ink.redF(), paper.redF())), int(mix(ink.greenF(), paper.greenF())),
                     int(mix(ink.blueF(), paper.blueF())));
    } else if (const bool dark = luminance(paper) < kDarkPaper;
               ContrastRatio(designed, paper) >= (dark ? kReadableOnDarkContrast : kReadableContrast)) {
        return designed;
    } else {
        out = designed.toHsl();
        // Towards white on dark paper, towards black on light paper, in steps of 1/50.
        const double step = dark ? 0.02 : -0.02;
        const double wanted = dark ? kReadableOnDarkContrast : kReadableContrast;
        for (double l = out.lightnessF(); ContrastRatio(out, paper) < wanted && l > 0 && l < 1;) {
            l = std::clamp(l + step, 0.0, 1.0);
            out.setHslF(out.hslHueF(), out.hslSaturationF(), l);
        }
        out = out.toRgb();
    }
    out.setAlpha(designed.alpha());
    return out;
}

ResponseChart ChartFromResponse(const SetResponse &r)
{
    ResponseChart c;
    c.title = QStringLiteral("Filter %1").arg(r.set);
    c.maxHz = r.sampleRate / 2.0;
    c.frequency = r.frequency;
    const QString names[2] = {QStringLiteral("Stage 1"), QStringLiteral("Stage 2")};
    const QColor colors[2] = {kStage1Color, kStage2Color};
    const Qt::PenStyle styles[2] = {Qt::DashLine, Qt::DotLine};
    const double widths[2] = {1.5, 2.0};
    for (int s = 0; s < 2; ++s) {
        c.curves.push_back(
            {names[s], r.stages[s].db, colors[s], widths[s], styles[s], r.stages[s].dbLow, r.stages[s].dbHigh});
        if (!r.stages[s].note().isEmpty())
            c.notes << names[s] + QStringLiteral(": ") + r.stages[s].note();
        if (r.stages[s].kind == StageResponse::Kind::Comb)
            c.notes << QStringLiteral("%1: comb, notches %2 Hz apart, %3 dB deep")
                           .arg(names[s])
                           .arg(r.stages[s].combSpacingHz(r.sampleRate), 0, 'f', 1)
                           .arg(r.stages[s].combDepthDb(), 0, 'f', 1);
    }
    c.curves.push_back(
        {QStringLiteral("Cascade"), r.cascade, kCascadeColor, 2.5, Qt::SolidLine, r.cascadeLow, r.cascadeHigh});
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
        for (const QString &line : wrapped(
                 n, [&fm](const QString &text) { return fm.horizontalAdvance(text); }, maxText)) {
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

void PaintChart(QPainter &p, const QRectF &canvas, const ResponseChart &chart, const ChartInk &ink)
{
    p.save();
    p.translate(canvas.topLeft());
    const ChartScene scene = sceneOf(chart, canvas.size());
    p.fillRect(QRectF(0, 0, canvas.width(), canvas.height()), ink.map(Qt::white));
    p.setRenderHint(QPainter::Antialiasing, false);
    const QFontMetricsF fm(p.font());
    paintGrid(p, scene, ink);
    paintAxisText(p, scene, chart.title, canvas.height(), fm, ink);
    p.setPen(QPen(ink.map(kAxisColor), 1));
    p.drawRect(scene.area);

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setClipRect(scene.area.adjusted(-1, -1, 1, 1));
    paintCurves(p, scene, ink);
    p.setClipping(false);
    paintLegend(p, chart, scene.area, fm, ink);
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
    const ChartScene scene = sceneOf(chart, QSizeF(size));
    QString s = svgHead(size, scene.area);
    s += svgGrid(scene);
    s += svgAxisText(scene, chart.title, size.height());
    s += svgCurves(scene);
    s += svgLegend(chart, scene.area);
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

} // namespace korvane
