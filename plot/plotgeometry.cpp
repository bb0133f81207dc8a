#include "plotgeometry.h"

#include <algorithm>
#include <cmath>

namespace korvane {

PlotGeometry::PlotGeometry(const QRectF &area, double maxHz, DbRange range, bool logHz)
    : area_(area), maxHz_(maxHz > 0 ? maxHz : 1.0), range_(range), log_(logHz)
{
    if (!(range_.top > range_.bottom))
        range_.top = range_.bottom + 1.0;
    // A logarithmic axis needs a right end above its left end.
    if (log_ && !(maxHz_ > kLogAxisLowHz * 1.5))
        log_ = false;
}

PlotGeometry PlotGeometry::forCanvas(double width, double height, double maxHz, DbRange range, bool logHz)
{
    const double w = std::max(1.0, width - kLeftMargin - kRightMargin);
    const double h = std::max(1.0, height - kTopMargin - kBottomMargin);
    return PlotGeometry(QRectF(kLeftMargin, kTopMargin, w, h), maxHz, range, logHz);
}

double PlotGeometry::x(double hz) const
{
    if (log_) {
        const double f = std::clamp(hz, kLogAxisLowHz, maxHz_);
        return area_.left() + std::log(f / kLogAxisLowHz) / std::log(maxHz_ / kLogAxisLowHz) * area_.width();
    }
    return area_.left() + hz / maxHz_ * area_.width();
}

double PlotGeometry::y(double db) const
{
    const double clamped = std::clamp(db, range_.bottom, range_.top);
    return area_.top() + (range_.top - clamped) / (range_.top - range_.bottom) * area_.height();
}

double PlotGeometry::hzAt(double px) const
{
    const double t = (px - area_.left()) / area_.width();
    if (log_)
        return kLogAxisLowHz * std::pow(maxHz_ / kLogAxisLowHz, t);
    return t * maxHz_;
}

double PlotGeometry::dbAt(double py) const
{
    return range_.top - (py - area_.top()) / area_.height() * (range_.top - range_.bottom);
}

std::vector<double> PlotGeometry::frequencyTicks() const
{
    if (!log_)
        return ticks(0.0, maxHz_, std::clamp(static_cast<int>(area_.width() / 45), 2, 10));
    // 1, 2, 5 per decade, thinned to 5 and then 1 per decade where they would crowd.
    for (const std::vector<double> &steps :
         {std::vector<double>{1, 2, 5}, std::vector<double>{1, 5}, std::vector<double>{1}}) {
        std::vector<double> out;
        for (double decade = 10.0; decade <= maxHz_; decade *= 10.0)
            for (double m : steps)
                if (decade * m >= kLogAxisLowHz && decade * m <= maxHz_)
                    out.push_back(decade * m);
        bool roomy = out.size() <= 10;
        for (size_t i = 1; roomy && i < out.size(); ++i)
            roomy = x(out[i]) - x(out[i - 1]) >= 45.0;
        if (roomy || steps.size() == 1)
            return out;
    }
    return {};
}

std::vector<double> PlotGeometry::dbTicks() const
{
    return ticks(range_.bottom, range_.top, std::clamp(static_cast<int>(area_.height() / 24), 2, 10));
}

std::vector<double> PlotGeometry::ticks(double lo, double hi, int maxCount)
{
    std::vector<double> out;
    if (!(hi > lo) || maxCount < 2)
        return out;
    const double span = hi - lo;
    double step = std::pow(10.0, std::floor(std::log10(span)) - 1);
    // The smallest round step that keeps the count within maxCount.
    for (int guard = 0; guard < 40; ++guard) {
        for (double m : {1.0, 2.0, 5.0}) {
            const double s = step * m;
            const double first = std::ceil(lo / s - 1e-9);
            const double last = std::floor(hi / s + 1e-9);
            if (last - first + 1 <= maxCount) {
                for (double i = first; i <= last; ++i)
                    out.push_back(i * s == 0.0 ? 0.0 : i * s);
                return out;
            }
        }
        step *= 10;
    }
    return out;
}

DbRange FitDbRange(const std::vector<const std::vector<double> *> &curves, double floorDb)
{
    double lo = 0.0, hi = 0.0;
    for (const auto *c : curves) {
        if (!c)
            continue;
        for (double v : *c) {
            if (!std::isfinite(v))
                continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    DbRange r;
    r.top = std::max(10.0, std::ceil(hi / 10.0) * 10.0);
    r.bottom = std::max(std::floor(floorDb / 10.0) * 10.0, std::floor(lo / 10.0) * 10.0);
    if (r.top - r.bottom < 30.0)
        r.bottom = r.top - 30.0;
    return r;
}

} // namespace korvane
