#pragma once
// A response chart in words, for the people who cannot see it: a screen reader reads it as
// the chart's accessible description, and the windows show it on request. It names what the
// stages are set to and what the chart's resulting curve does, with figures rounded as a
// person says them (frequencies to 10 Hz, below 100 Hz to 1 Hz; levels to whole dB):
//   "Filter 0. Stage 1: Lowpass 3000 Hz, 274 dB/Octave, 30 dB. Stage 2: Pass Thru.
//    Cascade: passes up to 2930 Hz (-3 dB edge); above 2930 Hz falls to 30 dB down."
//
// The curve is read at the chart's own points: the passbands are the runs within 3 dB of the
// curve's highest level, their edges the -3 dB points (interpolated between points). A dip
// between two passbands narrower than an octave is a notch, placed midway between its edges,
// its depth that of its deepest point below the highest level; a wider dip is a stop band.
// A stop band, and the parts below the first and above the last passband, are given the
// level of their lowest tenth of points (the level the slope falls to, not a single null).
// A curve with a band (a comb) is read along the band's top, the levels that pass; the
// chart's notes say how deep its notches go.

#include "responsechart.h"

#include <QString>
#include <QStringList>

namespace korvane {

class ResponseDescription {
public:
    // chart: as it is drawn; its last curve is the one read (the cascade of a set, the edited
    // stage in an editor). stageLines: what the stages are set to, one line each
    // ("Stage 1: Lowpass 3000 Hz, 228 dB/Octave, 30 dB"), printed in that order.
    explicit ResponseDescription(const ResponseChart &chart, const QStringList &stageLines = {});

    // A short name for the chart: "Response of Filter 3, Stage 2".
    [[nodiscard]] const QString &name() const { return name_; }
    // The whole description, sentences ending in '.'.
    [[nodiscard]] const QString &text() const { return text_; }

    // What one curve does, without the curve's label: "passes 370 to 2430 Hz (-3 dB
    // edges); below 370 Hz falls to 30 dB down; above 2430 Hz falls to 30 dB down". hz and
    // db have one value per point (the shorter decides); maxHz is the axis' right end, fs/2.
    // Empty when there are fewer than two points.
    [[nodiscard]] static QString curveText(const std::vector<double> &hz, const std::vector<double> &db, double maxHz);

private:
    QString name_;
    QString text_;
};

} // namespace korvane
