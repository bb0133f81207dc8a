#pragma once
// The skeleton every editor window shares: it edits FilterData[CurrentSet][CurrentStage] in
// its controls only and writes the record back when it closes with a save.
//
// Each editor maps its controls to a stage value in one place, controlsValue(); the skeleton
// uses that one mapping to tell whether anything changed, to store, and to show the live
// response.
//
// Closing (OK, Cancel, Esc or the close box) can never be refused. OK stores without asking.
// Any other close compares the controls' value with the stored record and, when something
// differs, asks "Do you want to save your changes ?": OK stores, Cancel discards.

#include "config/model.h"
#include "config/userdialog.h"

#include <QDialog>

#include <memory>

class QBoxLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;

namespace korvane {

class SettingBar;
struct StageLimit;
class ResponsePlot;
class ResponseEngine;
struct SetResponse;

class EditorWindow : public QDialog {
    Q_OBJECT
public:
    // caption: the window's own caption; the opener appends the stage suffix.
    // centreOnScreen: whether the window centres itself when first shown.
    EditorWindow(QWidget *parent, Model &model, UserDialog &dialog, const QString &caption, bool centreOnScreen);
    ~EditorWindow() override;

    [[nodiscard]] const QString &ownCaption() const { return ownCaption_; }
    [[nodiscard]] bool confirmOnClose() const { return confirmOnClose_; }

    void done(int result) override;

    // The stage record as the controls stand now (controlsValue()); the stored record is left
    // as it is. Closing with a save writes exactly this value.
    [[nodiscard]] StageConfig editedStage() const { return controlsValue(); }
    // True when the controls hold settings other than the stored record's: closing without OK
    // then asks before storing.
    [[nodiscard]] bool hasUnsavedChanges() const;

    // Adds, beside the controls, a plot of the edited stage's frequency response that follows
    // every control while it moves, over the stored stage's response drawn faintly. The
    // controls themselves are not touched. Called once, by the opener.
    void addResponsePlot();
    [[nodiscard]] ResponsePlot *responsePlot() const { return responsePlot_; }
    // Recomputes the live curve now (the controls' signals schedule it for the next pass of
    // the event loop).
    void refreshResponse();
    // Puts Tab in the order the window is laid out: each typed field right after its bar, the
    // bottom row's buttons last (after the response plot's controls). Called once by the
    // opener when every control is in place.
    void finishTabOrder();

protected:
    // The stored record with the fields this editor owns replaced by its controls' values,
    // converted as they are stored. Fields the editor does not own are the stored ones, so
    // comparing with record() compares exactly what the window shows.
    [[nodiscard]] virtual StageConfig controlsValue() const = 0;
    // Runs before the comparison on every close.
    virtual void prepareClose() { }

    void showEvent(QShowEvent *event) override;

    [[nodiscard]] StageConfig &record() { return model_.currentStage(); }
    [[nodiscard]] const StageConfig &record() const { return model_.currentStage(); }
    [[nodiscard]] int sampleRate() const { return model_.SampleRate(model_.CurrentSet); }
    [[nodiscard]] int maxFrequency() const { return model_.MaxFilterFrequency(model_.CurrentSet); }

    // The controls go into controls(); the row that holds it has room for one more widget to
    // its right (contentRow()); the OK and Cancel buttons go into buttonRow().
    [[nodiscard]] QWidget *controls() const { return controls_; }
    [[nodiscard]] QHBoxLayout *contentRow() const { return contentRow_; }
    [[nodiscard]] QHBoxLayout *buttonRow() const { return buttonRow_; }
    // Puts the response plot under the controls instead of beside them (a wide window).
    void setResponsePlotBelow(bool below) { responsePlotBelow_ = below; }
    // False while the controls hold no complete setting (a curve half drawn): the live plot
    // then shows the stored stage instead, with liveNote() beside it.
    [[nodiscard]] virtual bool liveSettingComplete() const { return true; }
    [[nodiscard]] virtual QString liveNote() const { return {}; }
    // True when the response plot offers a logarithmic frequency axis (band-by-band editors).
    [[nodiscard]] virtual bool offersLogFrequency() const { return false; }

    // OK: default button, clears ConfirmOnClose and closes. Cancel: cancel role, closes.
    QPushButton *makeOkButton(const QString &name, const QString &toolTip);
    QPushButton *makeCancelButton(const QString &name, const QString &toolTip);
    QPushButton *makeButton(const QString &name, const QString &text, const QString &toolTip);

    // A horizontal bar named, ranged and stepped by a row of the stage limits at this set's
    // highest filter frequency.
    SettingBar *makeBar(const StageLimit &limit, QWidget *parent);
    // A frame with a caption holding such a bar and, under it, a value label and a label with
    // the row's unit. Returns the bar; *valueLabel receives the value label.
    SettingBar *addBarFrame(QBoxLayout *into, const QString &caption, const StageLimit &limit, const QString &valueName,
                            QLabel **valueLabel, const QString &unitName);
    static QLabel *makeLabel(const QString &name, const QString &text, QWidget *parent = nullptr);

    Model &model_;
    UserDialog &dialog_;

private:
    QString ownCaption_;
    bool centreOnScreen_;
    bool centred_ = false;
    bool confirmOnClose_ = true;
    bool closing_ = false;
    QWidget *controls_;
    QVBoxLayout *outer_;
    QHBoxLayout *contentRow_;
    bool responsePlotBelow_ = false;
    QHBoxLayout *buttonRow_;
    ResponsePlot *responsePlot_ = nullptr;
    std::unique_ptr<ResponseEngine> responseEngine_;
    std::unique_ptr<SetResponse> storedResponse_;
    bool responsePending_ = false;
};

// The save question every editor asks.
inline const QString kSaveQuestionTitle = QStringLiteral("Do you want to save your changes ?");
inline const QString kSaveQuestionText = QStringLiteral("Press OK to save changes or Cancel to discard.");

} // namespace korvane
