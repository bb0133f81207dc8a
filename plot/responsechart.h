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
#include <QPalette>
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
    // Solid, dashed or dotted: what tells the curves apart without their colours.
    Qt::PenStyle style = Qt::SolidLine;
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
// As everywhere in a chart, the colours are those on white paper in black ink (ChartInk).
inline const QColor kStage1Color{31, 119, 180};
inline const QColor kStage2Color{214, 39, 40};
inline const QColor kCascadeColor{20, 20, 20};
inline const QColor kStoredColor{185, 185, 185};

// The chart's paper and ink. Every colour of a chart is chosen for black ink on white paper
// and mapped onto these: a grey is the same mix of ink and paper (the grid, 225 of 255 grey,
// stays mostly paper; text, 40 of 255, mostly ink), and a hue is kept but made lighter or
// darker until it stands out from the paper by a contrast ratio of 4.5 on light paper (the
// one asked of text) and 7 on dark paper, so a dark or high-contrast desktop palette keeps
// every curve readable. White paper and black ink leave every colour as it is.
struct ChartInk {
    QColor paper = Qt::white;
    QColor ink = Qt::black;

    // A widget's palette: paper its Base, ink its Text (the colours of a view's content).
    [[nodiscard]] static ChartInk of(const QPalette &palette);
    [[nodiscard]] QColor map(const QColor &designed) const;
};

// Contrast ratio of two colours, 1 (equal luminance) to 21 (black on white), from their
// relative luminance in the sRGB colour space.
[[nodiscard]] double ContrastRatio(const QColor &a, const QColor &b);

// Stage 1 (dashed), Stage 2 (dotted) and the cascade (solid, widest) of a set, titled
// "Filter N", with notes for a stage
// without a curve ("Stage 1: no fixed response") and the builder's problems; the level range
// fitted to the curves (FitDbRange).
[[nodiscard]] ResponseChart ChartFromResponse(const SetResponse &response);

// Draws the chart into canvas: background, grid, tick labels in Hz and dB, axis captions,
// curves clipped to the plot area (the widest lines first, so a thin one stays visible where
// it runs along a wide one), legend. Uses the painter's current font and the colours of ink.
void PaintChart(QPainter &painter, const QRectF &canvas, const ResponseChart &chart, const ChartInk &ink = {});

// The chart as an image of the given size (needs a QGuiApplication for the fonts).
[[nodiscard]] QImage RenderChart(const ResponseChart &chart, QSize size);

// The chart as a standalone SVG document of the given size.
[[nodiscard]] QByteArray ChartSvg(const ResponseChart &chart, QSize size);

} // namespace korvane
