#include "spectraltrace.h"

#include "config/stagelimits.h"

#include <algorithm>
#include <cmath>

namespace korvane {

using G = SpectralPlotGeometry;

int G::dBToVideo(float dB) { return int(std::nearbyint(-double(dB) * 2380.0 / 40.0 + 90.0)); }

float G::VideoTodB(int y) { return float(-(y - 90) * 40) / 2380.0f; }

int G::pointX(int k) { return kLeft + int(std::nearbyint(k * 6400.0 / 114.0)); }

int G::pointIndex(double x) { return int(std::floor((x - kLeft) / 6400.0 * 114.0)); }

float G::pointerDb(double y)
{
    const int yi = int(std::nearbyint(std::clamp(y, -32768.0, 32767.0)));
    return std::clamp(VideoTodB(yi), kSpectralGainLowDb, kSpectralGainHighDb);
}

int G::cursorX(double x) { return int(std::nearbyint(std::clamp(x, double(kLeft), double(kRight)))); }

QPoint G::toPixel(double x, double y)
{
    return QPoint(int(std::lround(x / kUnitsPerPixel)), int(std::lround(y / kUnitsPerPixel)));
}

QPoint G::pixelForPoint(int k, double y)
{
    // The middle of the column whose x maps to k (point 114 sits at the right edge).
    const double x = k >= kLastPoint ? double(kRight) : kLeft + (k + 0.5) * 6400.0 / 114.0;
    return toPixel(x, y);
}

SpectralTrace::SpectralTrace(const TraceValues &initial) : trace_(initial), undoTrace_(initial) { }

void SpectralTrace::redraw(bool full)
{
    fullDrawing_ = full;
    drawnEditLeft_ = editLeft_;
    drawnEditRight_ = editRight_;
    enteredLines_.clear();
    firstPointMarked_ = false;
    nudgeRun_ = false;
}

void SpectralTrace::resetEditState()
{
    editActive_ = false;
    definingEdges_ = false;
    firstPoint_ = false;
    editLeft_ = 0;
    editRight_ = kLastPoint;
}

void SpectralTrace::startNew()
{
    undoTrace_ = trace_;
    editLeft_ = 0;
    editRight_ = kLastPoint;
    editActive_ = true;
    definingEdges_ = false;
    firstPoint_ = true;
    std::fill(trace_.begin() + 1, trace_.end(), kUndefined); // point 0 stays until the first click
    redraw(false);
    cursorDb_ = trace_[0];
    keepCursorInReach();
}

void SpectralTrace::startEdit(float dropDb)
{
    undoTrace_ = trace_;
    for (float &v : trace_) {
        v -= dropDb;
        if (v < kSpectralGainLowDb)
            v = kSpectralGainLowDb;
    }
    redraw(true);
    editLeft_ = -1;
    editRight_ = kLastPoint;
    editActive_ = true;
    definingEdges_ = true;
    firstPoint_ = false;
    keepCursorInReach();
    cursorDb_ = trace_[std::size_t(cursor_)];
}

TraceReadout SpectralTrace::readout(int rawIndex, float dB, int sampleRate) const
{
    TraceReadout r;
    int k = rawIndex;
    if (editActive_) {
        if (k < 0)
            k = 0;
        else if (k > editRight_)
            k = editRight_;
        else if (k < editLeft_)
            k = editLeft_;
        r.point = k;
        r.hz = double(k) * sampleRate / 256.0;
        if (definingEdges_) {
            r.dB = trace_[std::size_t(k)];
        } else if (firstPoint_) {
            r.hz = 0.0;
            r.dB = dB;
        } else {
            r.dB = dB;
        }
    } else {
        k = std::clamp(k, 0, kLastPoint);
        r.point = k;
        r.hz = double(k) * sampleRate / 256.0;
        r.dB = trace_[std::size_t(k)];
    }
    return r;
}

SpectralTrace::Release SpectralTrace::release(int rawIndex, float dB)
{
    if (!editActive_)
        return Release::Ignored;

    if (definingEdges_) {
        const int k = std::clamp(rawIndex, 0, kLastPoint);
        lastPoint_ = k;
        Release result;
        if (editLeft_ < 0) {
            editLeft_ = k;
            editRight_ = k;
            redraw(false);
            result = Release::FirstEdge;
        } else {
            if (k > editLeft_) {
                editRight_ = k;
            } else if (k == editLeft_) {
                editRight_ = k + 1;
                if (editRight_ > kLastPoint) {
                    editRight_ = kLastPoint;
                    editLeft_ = kLastPoint - 1;
                }
            } else {
                editLeft_ = k; // the first edge stays as the right edge
            }
            for (int i = editLeft_ + 1; i <= editRight_; ++i)
                trace_[std::size_t(i)] = kUndefined;
            redraw(false);
            definingEdges_ = false;
            result = Release::SecondEdge;
        }
        firstPoint_ = editLeft_ == 0;
        keepCursorInReach();
        return result;
    }

    int k = readout(rawIndex, dB, 1).point;
    if (firstPoint_) {
        k = 0;
        editLeft_ = 0;
        trace_[0] = dB;
        firstPointMarked_ = true;
        firstPoint_ = false;
    } else {
        if (k <= editLeft_)
            k = editLeft_ + 1;
        if (k > editRight_)
            k = editRight_;
        trace_[std::size_t(k)] = dB;
        enteredLines_.emplace_back(editLeft_, k);
        editLeft_ = k;
    }
    lastPoint_ = k;
    if (k != editRight_) {
        keepCursorInReach();
        return Release::PointPlaced;
    }

    editActive_ = false;
    fillUndefined();
    redraw(true);
    undoOffered_ = true;
    keepCursorInReach();
    return Release::Completed;
}

void SpectralTrace::fillUndefined()
{
    int i = 1;
    while (i < kLastPoint) {
        while (i < kLastPoint && !isUndefined(trace_[std::size_t(i)]))
            ++i;
        if (i >= kLastPoint)
            break;
        const int lo = i - 1;
        int hi = i + 1;
        while (hi <= kLastPoint && isUndefined(trace_[std::size_t(hi)]))
            ++hi;
        if (hi > kLastPoint)
            break; // cannot happen: the region's last point is entered before completion
        for (int j = i; j < hi; ++j)
            InterpolateEDGE(lo, j, hi);
        i = hi + 1;
    }
}

void SpectralTrace::InterpolateEDGE(int lo, int i, int hi)
{
    const float a = trace_[std::size_t(lo)];
    const float b = trace_[std::size_t(hi)];
    trace_[std::size_t(i)] = a + float(i - lo) * (b - a) / float(hi - lo);
    traceModified_ = true;
}

void SpectralTrace::abort()
{
    resetEditState();
    trace_ = undoTrace_;
    redraw(true);
    undoOffered_ = true;
}

void SpectralTrace::undo()
{
    resetEditState();
    trace_ = undoTrace_;
    redraw(true);
}

void SpectralTrace::normalize()
{
    undoTrace_ = trace_;
    float m = trace_[0];
    for (float v : trace_)
        m = std::max(m, v);
    for (float &v : trace_)
        v -= m;
    redraw(true);
    undoOffered_ = true; // Undo brings back the curve as it was before the shift
}

// ---------------------------------------------------------------- keyboard editing

void SpectralTrace::keepCursorInReach()
{
    int lo = 0;
    int hi = kLastPoint;
    if (editActive_ && !definingEdges_) {
        lo = firstPoint_ ? 0 : editLeft_ + 1; // the next release places this point or one right of it
        hi = firstPoint_ ? 0 : editRight_;
    }
    cursor_ = std::clamp(cursor_, lo, std::max(lo, hi));
    if (editActive_ || anchor_ < lo || anchor_ > hi)
        anchor_ = cursor_; // a range is only edited while idle
}

void SpectralTrace::moveCursor(int point, bool extend)
{
    const std::pair<int, int> before = selection();
    cursor_ = point;
    if (!extend)
        anchor_ = point;
    keepCursorInReach();
    if (selection() != before)
        nudgeRun_ = false;
}

std::pair<int, int> SpectralTrace::selection() const
{
    return {std::min(cursor_, anchor_), std::max(cursor_, anchor_)};
}

float SpectralTrace::cursorDb() const { return editActive_ ? cursorDb_ : trace_[std::size_t(cursor_)]; }

void SpectralTrace::stepCursorLevel(float deltaDb)
{
    if (editActive_)
        cursorDb_ = std::clamp(cursorDb_ + deltaDb, kSpectralGainLowDb, kSpectralGainHighDb);
}

SpectralTrace::Release SpectralTrace::placeAtCursor()
{
    if (!editActive_)
        return Release::Ignored;
    const Release r = release(cursor_, cursorDb_);
    if (r == Release::PointPlaced || r == Release::FirstEdge)
        moveCursor(cursor_ + 1, false); // on to where the next point or edge usually goes
    return r;
}

void SpectralTrace::beginKeyEdit(bool nudge)
{
    if (!(nudge && nudgeRun_))
        undoTrace_ = trace_;
    traceModified_ = true;
    undoOffered_ = true;
}

bool SpectralTrace::setSelectionGain(float dB)
{
    if (editActive_ || !(dB >= kSpectralGainLowDb && dB <= kSpectralGainHighDb))
        return false;
    beginKeyEdit(false);
    const auto [first, last] = selection();
    for (int k = first; k <= last; ++k)
        trace_[std::size_t(k)] = dB;
    nudgeRun_ = false;
    return true;
}

bool SpectralTrace::nudgeSelection(float deltaDb)
{
    if (editActive_)
        return false;
    const auto [first, last] = selection();
    TraceValues next = trace_;
    bool moved = false;
    for (int k = first; k <= last; ++k) {
        float &v = next[std::size_t(k)];
        const float was = v;
        v = std::clamp(v + deltaDb, kSpectralGainLowDb, kSpectralGainHighDb);
        moved = moved || v != was;
    }
    if (!moved)
        return false;
    beginKeyEdit(true);
    trace_ = next;
    nudgeRun_ = true;
    return true;
}

} // namespace korvane
