#pragma once
// A frequency-response chart on screen: either the three curves of a filter set (Stage 1,
// Stage 2, cascade) or one live curve of a stage being edited over its stored curve drawn
// faintly. Drawing and geometry are those of the chart library, so the widget shows what
// korvane-s-cli draws into PNG files, in the colours of the widget's palette.
//
// For a screen reader the widget is a chart named "Response of Filter N" whose accessible
// description says in words what the chart shows (ResponseDescription), renewed with every
// new chart. The same words are one key away: describeAction() (Ctrl+D, on the widget's
// context menu) asks the window to show them (describeRequested).

#include "coefgen/response.h"
#include "plot/responsechart.h"

#include <QKeySequence>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class QAction;

namespace korvane {

// The shortcut of describeAction().
inline const QKeySequence kDescribeResponseKey{Qt::CTRL | Qt::Key_D};

class ResponsePlot final : public QWidget {
    Q_OBJECT
public:
    explicit ResponsePlot(QWidget *parent = nullptr);

    // Stage 1, Stage 2 and their cascade; the level range fitted to them. stageLines: what
    // the stages are set to, for the description ("Stage 1: Lowpass 3000 Hz, ...").
    void showSet(const SetResponse &response, const QStringList &stageLines = {});
    // The same for filter set 0..15 of model as it stands, its stages described by their
    // summaries (the main window's panel: call it whenever the shown set, a stage type or a
    // stage's parameters change).
    void showModelSet(const Model &model, int set);

    // The edited stage (1..2) of a set: live in its stage colour, stored faintly behind it.
    // The level range only grows while the same stage is shown, so the axis does not jump
    // while a bar moves.
    // note, when not empty, is printed first under the legend. stageLines as for showSet.
    void showLive(const SetResponse &live, const SetResponse &stored, int stage, const QString &note = {},
                  const QStringList &stageLines = {});

    // Frequency axis drawn logarithmically (from kLogAxisLowHz to fs/2) instead of linearly.
    void setLogFrequency(bool log);
    [[nodiscard]] bool logFrequency() const { return log_; }

    // Drops the grown range, e.g. when another set is shown.
    void resetRange() { range_.reset(); }

    [[nodiscard]] const ResponseChart &chart() const { return chart_; }
    // The chart in words, as its accessible description has it.
    [[nodiscard]] QString description() const { return accessibleDescription(); }
    // "Describe Response" with kDescribeResponseKey, active while the widget's window is
    // (a window may also put it on a menu, which keeps it active while the widget is hidden).
    [[nodiscard]] QAction *describeAction() const { return describe_; }
    // Where values land in the widget at its current size.
    [[nodiscard]] PlotGeometry geometry() const;

    [[nodiscard]] QSize sizeHint() const override { return {460, 300}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {320, 220}; }

signals:
    // The user asked for the description (describeAction()).
    void describeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // Shows chart, renews the description and tells the accessibility bus.
    void setChart(ResponseChart chart, const QStringList &stageLines);

    ResponseChart chart_;
    QAction *describe_ = nullptr;
    std::optional<DbRange> range_;
    bool log_ = false;
    std::unique_ptr<ResponseEngine> engine_;
};

} // namespace korvane
