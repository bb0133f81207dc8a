#include "responseplot.h"

#include "edits/stagesummary.h"
#include "plot/responsedescription.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>

namespace korvane {

namespace {

// A chart to the accessibility bus, not a bare panel.
QAccessibleInterface *chartAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String(ResponsePlot::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Chart);
    return nullptr;
}

} // namespace

ResponsePlot::ResponsePlot(QWidget *parent) : QWidget(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(chartAccessible);
        return true;
    }();
    (void)factoryInstalled;
    setObjectName(QStringLiteral("responsePlot"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Reached by Tab, so a screen reader reads the description where the chart stands.
    setFocusPolicy(Qt::TabFocus);
    describe_ = new QAction(QStringLiteral("&Describe Response"), this);
    describe_->setObjectName(QStringLiteral("mnuDescribeResponse"));
    describe_->setShortcut(kDescribeResponseKey);
    describe_->setShortcutContext(Qt::WindowShortcut);
    describe_->setToolTip(QStringLiteral("Say in words what the response chart shows"));
    connect(describe_, &QAction::triggered, this, &ResponsePlot::describeRequested);
    addAction(describe_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    setAccessibleName(QStringLiteral("Response"));
}

void ResponsePlot::setChart(ResponseChart chart, const QStringList &stageLines)
{
    chart_ = std::move(chart);
    const ResponseDescription words(chart_, stageLines);
    // Each call tells the bus (NameChanged, DescriptionChanged); a bar moved over a step that
    // changes nothing in the words says nothing.
    if (accessibleName() != words.name())
        setAccessibleName(words.name());
    if (accessibleDescription() != words.text())
        setAccessibleDescription(words.text());
    update();
}

void ResponsePlot::showSet(const SetResponse &response, const QStringList &stageLines)
{
    ResponseChart c = ChartFromResponse(response);
    c.logFrequency = log_;
    setChart(std::move(c), stageLines);
}

void ResponsePlot::showModelSet(const Model &model, int set)
{
    if (!engine_)
        engine_ = std::make_unique<ResponseEngine>();
    showSet(engine_->setResponse(model, set),
            {QStringLiteral("Stage 1: ") + StageSummary(model, set, 1),
             QStringLiteral("Stage 2: ") + StageSummary(model, set, 2)});
}

void ResponsePlot::setLogFrequency(bool log)
{
    log_ = log;
    chart_.logFrequency = log;
    update();
}

void ResponsePlot::showLive(const SetResponse &live, const SetResponse &stored, int stage, const QString &note,
                            const QStringList &stageLines)
{
    const int s = std::clamp(stage, 1, 2) - 1;
    const StageResponse &now = live.stages[s];
    const StageResponse &before = stored.stages[s];
    ResponseChart c;
    c.title = QStringLiteral("Filter %1, Stage %2").arg(live.set).arg(s + 1);
    c.maxHz = live.sampleRate / 2.0;
    c.frequency = live.frequency;
    c.curves.push_back(
        {QStringLiteral("Stored"), before.db, kStoredColor, 1.5, Qt::DashLine, before.dbLow, before.dbHigh});
    c.curves.push_back({QStringLiteral("Edited"), now.db, s == 0 ? kStage1Color : kStage2Color, 2.0, Qt::SolidLine,
                        now.dbLow, now.dbHigh});
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
    setChart(std::move(c), stageLines);
}

PlotGeometry ResponsePlot::geometry() const { return ChartGeometry(QSizeF(width(), height()), chart_); }

void ResponsePlot::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    p.setFont(font());
    PaintChart(p, QRectF(rect()), chart_, ChartInk::of(palette()));
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(1, 1, -1, -1);
        focus.backgroundColor = palette().color(QPalette::Base);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace korvane
