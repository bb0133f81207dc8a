#pragma once
// The spectral equalizer's curve and its editing operations, free of widgets.
//
// The curve has 115 points, the gain in dB (-40..0) at k * S / 256 Hz for k = 0..114. The plot
// is drawn in its own units: 7275 x 2895, x to the right, y downwards; the plot area spans
// x 500..6900 (points 0..114) and y 90 (0 dB) .. 2470 (-40 dB).

#include "config/model.h"

#include <QPoint>

#include <array>
#include <vector>

namespace korvane {

inline constexpr int kTracePoints = kSpectralPointCount;
inline constexpr int kLastPoint = kTracePoints - 1;
using TraceValues = std::array<float, kTracePoints>;

// Mapping between curve values, plot units and widget pixels.
class SpectralPlotGeometry {
public:
    static constexpr int kWidth = 7275; // plot units
    static constexpr int kHeight = 2895;
    static constexpr int kLeft = 500;    // x of point 0
    static constexpr int kRight = 6900;  // x of point 114
    static constexpr int kTop = 90;      // y of 0 dB
    static constexpr int kBottom = 2470; // y of -40 dB
    static constexpr int kGridTop = 100; // upper end of the vertical grid and marker lines
    static constexpr int kUnitsPerPixel = 10;

    // y of a level in dB: -dB * 2380 / 40 + 90, halves to even.
    [[nodiscard]] static int dBToVideo(float dB);
    // Level in dB at height y: -(y - 90) * 40 / 2380 (not limited).
    [[nodiscard]] static float VideoTodB(int y);
    // x of point k: 500 + k * 6400 / 114, halves to even (500, ..., 3700 at 57, ..., 6900).
    [[nodiscard]] static int pointX(int k);
    // Point index under x: floor((x - 500) / 6400 * 114), not limited (below 0 or above 114
    // outside the plot area).
    [[nodiscard]] static int pointIndex(double x);
    // Level entered at height y: y limited to the 16-bit range and rounded, through
    // VideoTodB, then limited to -40..0 dB.
    [[nodiscard]] static float pointerDb(double y);
    // Cursor line position: x limited to the plot area.
    [[nodiscard]] static int cursorX(double x);

    // Widget pixels to plot units and back (fixed scale of kUnitsPerPixel).
    [[nodiscard]] static QPointF toUnits(QPointF pixel) { return pixel * kUnitsPerPixel; }
    [[nodiscard]] static QPoint toPixel(double x, double y);
    // A pixel that falls inside point k's column (k = 0..114) at height y.
    [[nodiscard]] static QPoint pixelForPoint(int k, double y);
};

// Readout under the pointer: the frequency of the point and the level shown.
struct TraceReadout {
    int point = 0;
    double hz = 0.0;
    float dB = 0.0f;
};

// The curve being edited and the New / Edit / Normalize / Undo / Abort operations.
//
// New: every point but 0 becomes undefined; the user clicks points from left to right
// starting at point 0; the last click (at or right of point 114) completes it.
// Edit: the whole curve drops by a chosen amount (floored at -40 dB), the user clicks the two
// edges of a region, the region's inner points become undefined and are entered like New.
// Completion fills the undefined points by straight lines between their defined neighbours.
class SpectralTrace {
public:
    static constexpr float kUndefined = 9999.0f;
    // Points above 0 dB can only be the undefined marker.
    [[nodiscard]] static bool isUndefined(float v) { return v > 0.0f; }

    explicit SpectralTrace(const TraceValues &initial = {});

    enum class Release { Ignored, FirstEdge, SecondEdge, PointPlaced, Completed };

    void startNew();
    // dropDb: 0..35 dB.
    void startEdit(float dropDb);
    // A mouse release over the plot at raw point index rawIndex (pointIndex of x, unlimited)
    // and level dB (pointerDb of y).
    Release release(int rawIndex, float dB);
    void abort(); // back to the curve before the unfinished New or Edit
    void undo();  // back to the curve before the last New, Edit or Normalize
    void normalize();

    // Readout for the pointer at raw point index rawIndex and level dB, S in Hz.
    [[nodiscard]] TraceReadout readout(int rawIndex, float dB, int sampleRate) const;

    // Trace[i] := the straight line from point lo to point hi at i; marks the curve modified.
    void InterpolateEDGE(int lo, int i, int hi);

    // Keyboard editing. A cursor sits on one point (0..114); with an anchor it marks a range
    // of points (the selection, both ends included). While idle the selection's gain can be
    // set or nudged; while New or Edit runs the cursor carries a level (dB, -40..0) and
    // placing at the cursor is the mouse release at that point and level.
    //
    // Moves the cursor to point (limited to where the running operation can place it: any
    // point while idle or choosing edges, the part still to be drawn while entering points).
    // extend keeps the anchor (a range); otherwise the anchor follows the cursor.
    void moveCursor(int point, bool extend);
    [[nodiscard]] int cursor() const { return cursor_; }
    [[nodiscard]] int anchor() const { return anchor_; }
    // First and last point of the selection, first <= last.
    [[nodiscard]] std::pair<int, int> selection() const;
    // The level the cursor carries while New or Edit runs; its point's gain while idle.
    [[nodiscard]] float cursorDb() const;
    // While New or Edit runs: raises the cursor's level by deltaDb, kept in -40..0 dB.
    void stepCursorLevel(float deltaDb);
    // While New or Edit runs: the mouse release at the cursor's point and level (the cursor
    // then moves on to where the next point can go). Ignored while idle.
    Release placeAtCursor();
    // While idle: every point of the selection := dB. False (nothing changes) while New or
    // Edit runs or when dB lies outside -40..0. One undo step, like New, Edit and Normalize.
    [[nodiscard]] bool setSelectionGain(float dB);
    // While idle: every point of the selection is raised by deltaDb (lowered when negative),
    // each kept in -40..0. False while New or Edit runs or when no point moved. Nudges of
    // the same selection in a row are one undo step.
    [[nodiscard]] bool nudgeSelection(float deltaDb);

    [[nodiscard]] const TraceValues &trace() const { return trace_; }
    [[nodiscard]] const TraceValues &undoTrace() const { return undoTrace_; }
    [[nodiscard]] int editLeft() const { return editLeft_; }
    [[nodiscard]] int editRight() const { return editRight_; }
    [[nodiscard]] bool editActive() const { return editActive_; }
    [[nodiscard]] bool definingEdges() const { return definingEdges_; }
    [[nodiscard]] bool firstPoint() const { return firstPoint_; }
    [[nodiscard]] bool traceModified() const { return traceModified_; }
    // Undo is offered once a New or an Edit has completed or been aborted, or a Normalize
    // has shifted the curve.
    [[nodiscard]] bool undoOffered() const { return undoOffered_; }
    [[nodiscard]] int lastPoint() const { return lastPoint_; } // point of the last release

    // What the plot shows since its last redraw: the whole curve, or the curve outside the
    // region being drawn (with red edge markers), plus the points entered so far.
    [[nodiscard]] bool fullDrawing() const { return fullDrawing_; }
    [[nodiscard]] const std::vector<std::pair<int, int>> &enteredLines() const { return enteredLines_; }
    [[nodiscard]] bool firstPointMarked() const { return firstPointMarked_; }
    // EditLeft and EditRight as they were at the last redraw, which fixes the gap left open.
    [[nodiscard]] int drawnEditLeft() const { return drawnEditLeft_; }
    [[nodiscard]] int drawnEditRight() const { return drawnEditRight_; }

private:
    void redraw(bool full);
    void resetEditState();
    void fillUndefined();
    void keepCursorInReach();
    // Before a keyboard change of the curve: the undo copy, unless this continues a run of
    // nudges of the same selection.
    void beginKeyEdit(bool nudge);

    TraceValues trace_{};
    TraceValues undoTrace_{};
    int editLeft_ = 0;
    int editRight_ = kLastPoint;
    bool editActive_ = false;
    bool definingEdges_ = false;
    bool firstPoint_ = false;
    bool traceModified_ = false;
    bool undoOffered_ = false;
    int lastPoint_ = 0;
    bool fullDrawing_ = true;
    std::vector<std::pair<int, int>> enteredLines_;
    bool firstPointMarked_ = false;
    int drawnEditLeft_ = 0;
    int drawnEditRight_ = kLastPoint;
    int cursor_ = 0;
    int anchor_ = 0;
    float cursorDb_ = 0.0f;
    bool nudgeRun_ = false; // the last change was a nudge of the present selection
};

} // namespace korvane
