#pragma once
// Geometry of a response chart: where a frequency and a level land on the canvas, the plot
// area left inside the margins for the tick labels, and round tick positions. Plain
// arithmetic, shared by the on-screen plot, the PNG and the SVG writers, and tested alone.
//
// Frequencies are in Hz from 0 to the Nyquist frequency fs/2 along x (left to right); levels
// in dB along y (top is the highest level). Canvas coordinates are pixels, y growing down.

#include <QRectF>

#include <vector>

namespace korvane {

struct DbRange {
    double bottom = -80.0; // dB at the lower edge
    double top = 10.0;     // dB at the upper edge
    bool operator==(const DbRange &) const = default;
};

class PlotGeometry {
public:
    // Margins of the plot area inside the canvas, in pixels: room for the dB labels on the
    // left, the Hz labels and the axis caption below, a title line above.
    static constexpr double kLeftMargin = 56;
    static constexpr double kRightMargin = 14;
    static constexpr double kTopMargin = 26;
    static constexpr double kBottomMargin = 42;

    // Lower end of a logarithmic frequency axis, Hz; lower frequencies (0 Hz among them) are
    // held at the left edge.
    static constexpr double kLogAxisLowHz = 50.0;

    // area: the plot area itself. maxHz > 0; range.top > range.bottom. logHz: frequency axis
    // logarithmic from kLogAxisLowHz to maxHz instead of linear from 0.
    PlotGeometry(const QRectF &area, double maxHz, DbRange range, bool logHz = false);
    // The plot area of a whole canvas of width x height pixels (the margins above removed).
    [[nodiscard]] static PlotGeometry forCanvas(double width, double height, double maxHz, DbRange range,
                                                bool logHz = false);
    [[nodiscard]] bool logHz() const { return log_; }

    [[nodiscard]] const QRectF &area() const { return area_; }
    [[nodiscard]] double maxHz() const { return maxHz_; }
    [[nodiscard]] DbRange range() const { return range_; }

    [[nodiscard]] double x(double hz) const;
    // Levels outside the range are held at the edge, so a curve that dives below the bottom
    // runs along it instead of leaving the area.
    [[nodiscard]] double y(double db) const;
    [[nodiscard]] QPointF point(double hz, double db) const { return {x(hz), y(db)}; }
    [[nodiscard]] double hzAt(double x) const;
    [[nodiscard]] double dbAt(double y) const;

    // At most 10 ticks, and no more than the area has room for labels: one per 45 pixels
    // across, one per 24 pixels down. On a logarithmic axis the frequency ticks are the
    // 1, 2, 5 steps of each decade that keep 45 pixels apart.
    [[nodiscard]] std::vector<double> frequencyTicks() const;
    [[nodiscard]] std::vector<double> dbTicks() const;

    // Multiples of a round step (1, 2 or 5 times a power of ten) inside lo..hi, at most
    // maxCount of them and as many as possible. Empty when hi <= lo or maxCount < 2.
    [[nodiscard]] static std::vector<double> ticks(double lo, double hi, int maxCount);

private:
    QRectF area_;
    double maxHz_;
    DbRange range_;
    bool log_ = false;
};

// A level range that shows every finite value of the curves: the top a multiple of 10 dB at
// or above the highest value and at least +10 dB, the bottom a multiple of 10 dB at or below
// the lowest value but not below floorDb, and at least 30 dB between them.
[[nodiscard]] DbRange FitDbRange(const std::vector<const std::vector<double> *> &curves, double floorDb = -100.0);

} // namespace korvane
