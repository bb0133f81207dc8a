// The live response plot of an editor window.

#include "editorwindow.h"
#include "responseplot.h"
#include "settingbar.h"
#include "spectraleditor.h"

#include "coefgen/response.h"
#include "edits/stagesummary.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

namespace korvane {

EditorWindow::~EditorWindow() = default;

void EditorWindow::addResponsePlot()
{
    if (responsePlot_)
        return;
    responseEngine_ = std::make_unique<ResponseEngine>();
    storedResponse_ = std::make_unique<SetResponse>(responseEngine_->setResponse(model_, model_.CurrentSet));
    responsePlot_ = new ResponsePlot(this);
    connect(responsePlot_, &ResponsePlot::describeRequested, this, [this] {
        dialog_.inform(responsePlot_->accessibleName(), responsePlot_->description(), MessageIcon::Information);
    });
    QWidget *plotArea = responsePlot_;
    if (offersLogFrequency()) {
        // Bands spaced by ratio read best on a logarithmic axis; the choice is the user's.
        plotArea = new QWidget(this);
        auto *v = new QVBoxLayout(plotArea);
        v->setContentsMargins(0, 0, 0, 0);
        responsePlot_->setParent(plotArea);
        v->addWidget(responsePlot_, 1);
        auto *log = new QCheckBox(tr("&Logarithmic frequency axis"), plotArea);
        log->setObjectName(QStringLiteral("logFrequencyCheck"));
        log->setToolTip(tr("Show the frequency axis from 50 Hz upwards on a logarithmic scale"));
        v->addWidget(log);
        connect(log, &QCheckBox::toggled, responsePlot_, &ResponsePlot::setLogFrequency);
    }
    if (responsePlotBelow_)
        outer_->insertWidget(1, plotArea, 1);
    else
        contentRow_->addWidget(plotArea, 1);

    auto schedule = [this] {
        if (responsePending_)
            return;
        responsePending_ = true;
        QTimer::singleShot(0, this, [this] {
            responsePending_ = false;
            refreshResponse();
        });
    };
    for (SettingBar *bar : findChildren<SettingBar *>()) {
        connect(bar, &SettingBar::changed, this, schedule);
        connect(bar, &SettingBar::scrolled, this, schedule);
    }
    for (QAbstractButton *button : findChildren<QAbstractButton *>())
        connect(button, &QAbstractButton::clicked, this, schedule);
    for (SpectralPlot *plot : findChildren<SpectralPlot *>()) {
        connect(plot, &SpectralPlot::pointerPressed, this, schedule);
        connect(plot, &SpectralPlot::pointerMoved, this, schedule);
        connect(plot, &SpectralPlot::pointerReleased, this, schedule);
    }
    refreshResponse();
}

void EditorWindow::refreshResponse()
{
    if (!responsePlot_)
        return;
    const int stage = model_.CurrentStage;
    // A half-drawn curve is no setting: show the stored stage until the drawing completes.
    const bool complete = liveSettingComplete();
    const StageConfig shown = complete ? editedStage() : record();
    const SetResponse live = responseEngine_->stageResponse(model_, model_.CurrentSet, stage, shown);
    QStringList words{QStringLiteral("Edited: ") + StageSummary(shown, sampleRate())};
    if (shown != record())
        words << QStringLiteral("Stored: ") + StageSummary(record(), sampleRate());
    responsePlot_->showLive(live, *storedResponse_, stage, complete ? QString() : liveNote(), words);
}

} // namespace korvane
