// The live response plot of an editor window.

#include "editorwindow.h"
#include "responseplot.h"
#include "settingbar.h"
#include "spectraleditor.h"

#include "coefgen/response.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QTimer>

namespace korvane {

EditorWindow::~EditorWindow() = default;

StageConfig EditorWindow::editedStage()
{
    // storeControls() writes the record; keep the stored one aside and put it back, so the
    // editor's own code stays the one place that maps controls to fields.
    StageConfig &r = record();
    const StageConfig stored = r;
    storeControls();
    StageConfig edited = r;
    r = stored;
    return edited;
}

void EditorWindow::addResponsePlot()
{
    if (responsePlot_)
        return;
    responseEngine_ = std::make_unique<ResponseEngine>();
    storedResponse_ = std::make_unique<SetResponse>(responseEngine_->setResponse(model_, model_.CurrentSet));
    responsePlot_ = new ResponsePlot(this);
    contentRow_->addWidget(responsePlot_, 1);

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
    const SetResponse live = responseEngine_->stageResponse(model_, model_.CurrentSet, stage, editedStage());
    responsePlot_->showLive(live, *storedResponse_, stage);
}

} // namespace korvane
