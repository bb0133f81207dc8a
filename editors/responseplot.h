#pragma once
// A frequency-response chart on screen: either the three curves of a filter set (Stage 1,
// Stage 2, cascade) or one live curve of a stage being edited over its stored curve drawn
// faintly. Drawing and geometry are those of the chart library, so the widget shows what
// korvane-s-cli draws into PNG files.

#include "coefgen/response.h"
#include "plot/responsechart.h"

#include <QWidget>

#include <memory>
#include <optional>

namespace korvane {

class ResponsePlot final : public QWidget {
    Q_OBJECT
public:
    explicit ResponsePlot(QWidget *parent = nullptr);

    // Stage 1, Stage 2 and their cascade; the level range fitted to them.
    void showSet(const SetResponse &response);
    // The same for filter set 0..15 of model as it stands (the main window's panel: call it
    // whenever the shown set, a stage type or a stage's parameters change).
    void showModelSet(const Model &model, int set);

    // The edited stage (1..2) of a set: live in its stage colour, stored faintly behind it.
    // The level range only grows while the same stage is shown, so the axis does not jump
    // while a bar moves.
    // note, when not empty, is printed first under the legend.
    void showLive(const SetResponse &live, const SetResponse &stored, int stage, const QString &note = {});

    // Frequency axis drawn logarithmically (from kLogAxisLowHz to fs/2) instead of linearly.
    void setLogFrequency(bool log);
    [[nodiscard]] bool logFrequency() const { return log_; }

    // Drops the grown range, e.g. when another set is shown.
    void resetRange() { range_.reset(); }

    [[nodiscard]] const ResponseChart &chart() const { return chart_; }
    // Where values land in the widget at its current size.
    [[nodiscard]] PlotGeometry geometry() const;

    [[nodiscard]] QSize sizeHint() const override { return {460, 300}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {320, 220}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ResponseChart chart_;
    std::optional<DbRange> range_;
    bool log_ = false;
    std::unique_ptr<ResponseEngine> engine_;
};

} // namespace korvane
