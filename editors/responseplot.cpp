#include "responseplot.h"

#include <QPainter>

#include <algorithm>

namespace korvane {

ResponsePlot::ResponsePlot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("responsePlot"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ResponsePlot::showSet(const SetResponse &response)
{
    chart_ = ChartFromResponse(response);
    chart_.logFrequency = log_;
    update();
}

void ResponsePlot::showModelSet(const Model &model, int set)
{
    if (!engine_)
        engine_ = std::make_unique<ResponseEngine>();
    showSet(engine_->setResponse(model, set));
}

void ResponsePlot::setLogFrequency(bool log)
{
    log_ = log;
    chart_.logFrequency = log;
    update();
}

void ResponsePlot::showLive(const SetResponse &live, const SetResponse &stored, int stage, const QString &note)
{
    const int s = std::clamp(stage, 1, 2) - 1;
    const StageResponse &now = live.stages[s];
    const StageResponse &before = stored.stages[s];
    ResponseChart c;
    c.title = QStringLiteral("Filter %1, Stage %2").arg(live.set).arg(s + 1);
    c.maxHz = live.sampleRate / 2.0;
    c.frequency = live.frequency;
    c.curves.push_back({QStringLiteral("Stored"), before.db, kStoredColor, 1.5, false, before.dbLow, before.dbHigh});
    c.curves.push_back(
        {QStringLiteral("Edited"), now.db, s == 0 ? kStage1Color : kStage2Color, 2.0, false, now.dbLow, now.dbHigh});
    if (!note.isEmpty())
        c.notes << note;
    if (!now.note().isEmpty())
        c.notes << QStringLiteral("Edited: ") + now.note();
    if (now.kind == StageResponse::Kind::Comb)
        c.notes << QStringLiteral("notches %1 Hz apart, %2 dB deep")
                       .arg(now.combSpacingHz(live.sampleRate), 0, 'f', 1)
                       .arg(now.combDepthDb(), 0, 'f', 1);
    for (const QString &p : live.problems)
        if (p.startsWith(QStringLiteral("Stage %1").arg(s + 1)) || !p.startsWith(QStringLiteral("Stage ")))
            c.notes << p;
    const DbRange fitted = FitDbRange({&before.db, &now.db, &before.dbLow, &now.dbLow});
    if (range_)
        range_ = DbRange{std::min(range_->bottom, fitted.bottom), std::max(range_->top, fitted.top)};
    else
        range_ = fitted;
    c.range = *range_;
    c.logFrequency = log_;
    chart_ = std::move(c);
    update();
}

PlotGeometry ResponsePlot::geometry() const { return ChartGeometry(QSizeF(width(), height()), chart_); }

void ResponsePlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setFont(font());
    PaintChart(p, QRectF(rect()), chart_);
}

} // namespace korvane
