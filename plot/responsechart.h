#pragma once
// A response chart: the curves to draw over one frequency axis, and the two ways of drawing
// it, on a QPainter (the on-screen plot and PNG files) and as SVG text. Both draw the same
// grid, ticks and curves, worked out once with PlotGeometry, so they show the same picture;
// only text placement and the legend's measure (font metrics, or a width per character in
// SVG) differ.

#include "plotgeometry.h"

#include "coefgen/response.h"

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

class QFontMetricsF;
class QPainter;

namespace korvane {

struct ChartCurve {
    QString label;
    std::vector<double> db; // one value per frequency; empty: listed in the legend, not drawn
    QColor color;
    double width = 1.5; // pen width in pixels
    bool dashed = false;
    // Optional band drawn faintly behind the line, lowest and highest level per frequency
    // (a comb's fine structure, which no grid resolves); both empty or both full.
    std::vector<double> low, high;
};

struct ResponseChart {
    QString title;
    double maxHz = 1.0;            // right end of the axis, fs/2
    std::vector<double> frequency; // Hz, shared by every curve
    std::vector<ChartCurve> curves;
    QStringList notes; // printed below the legend
    DbRange range;
    bool logFrequency = false; // frequency axis logarithmic (PlotGeometry::kLogAxisLowHz up)
};

// Where the chart's values land on a canvas of the given size.
[[nodiscard]] PlotGeometry ChartGeometry(QSizeF canvas, const ResponseChart &chart);

// The legend box inside the plot area: one row per curve (its label), then the notes broken
// into lines at spaces so that every line fits the area's width. The box is anchored at the
// area's top right and never wider than the area; `fits` is false when it is taller than the
// area (the caller then tries a smaller font).
struct LegendLayout {
    QRectF box;
    std::vector<QString> curveRows;
    QStringList noteLines;
    double rowHeight = 0;
    bool fits = true;
};
[[nodiscard]] LegendLayout LayOutLegend(const ResponseChart &chart, const QRectF &area, const QFontMetricsF &fm);

// Curve colours: Stage 1, Stage 2, cascade, and the faint stored curve beside a live one.
inline const QColor kStage1Color{31, 119, 180};
inline const QColor kStage2Color{214, 39, 40};
inline const QColor kCascadeColor{20, 20, 20};
inline const QColor kStoredColor{185, 185, 185};

// Stage 1, Stage 2 and the cascade of a set, titled "Filter N", with notes for a stage
// without a curve ("Stage 1: no fixed response") and the builder's problems; the level range
// fitted to the curves (FitDbRange).
[[nodiscard]] ResponseChart ChartFromResponse(const SetResponse &response);

// Draws the chart into canvas: white background, grid, tick labels in Hz and dB, axis
// captions, curves clipped to the plot area, legend. Uses the painter's current font.
void PaintChart(QPainter &painter, const QRectF &canvas, const ResponseChart &chart);

// The chart as an image of the given size (needs a QGuiApplication for the fonts).
[[nodiscard]] QImage RenderChart(const ResponseChart &chart, QSize size);

// The chart as a standalone SVG document of the given size.
[[nodiscard]] QByteArray ChartSvg(const ResponseChart &chart, QSize size);

} // namespace korvane
