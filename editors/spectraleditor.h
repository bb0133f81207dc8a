#pragma once
// Editor of a spectral graphic equalizer stage: the 115-point gain curve drawn on a plot and
// redrawn with the mouse (see SpectralTrace for the operations), and the drop-trace dialog
// that Edit asks first.

#include "editorwindow.h"
#include "spectraltrace.h"

#include <QDialog>

#include <optional>

class QButtonGroup;
class QHBoxLayout;
class QLineEdit;
class QPainter;
class QVBoxLayout;

namespace korvane {

// Asks by how many dB (0, 5, .., 35) to lower the curve before a region is redrawn.
// Closing by Cancel or the close box means the edit does not go ahead. By keys: the focus
// starts on the chosen amount, the arrows choose another, Enter proceeds, Esc cancels.
class EDGEDrop final : public QDialog {
    Q_OBJECT
public:
    explicit EDGEDrop(QWidget *parent = nullptr);
    [[nodiscard]] bool dropProceed() const { return proceed_; }
    [[nodiscard]] float dropDb() const { return dropDb_; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    bool proceed_ = false;
    float dropDb_ = 0.0f;
    QButtonGroup *choices_;
};

// The plot: draws the curve held by a SpectralTrace in plot units and reports pointer
// positions in plot units. It takes the keyboard focus (the window handles its keys) and then
// shows the trace's point cursor and selection. To assistive technology it is the slider
// "Gain curve" whose value is the cursor's level in dB (-40..0) and whose value text names
// the point ("1250 Hz, -12 dB").
class SpectralPlot final : public QWidget {
    Q_OBJECT
public:
    SpectralPlot(const SpectralTrace &trace, QWidget *parent);
    // Cursor line at x (plot units), or none.
    void setCursorLine(std::optional<int> x);
    [[nodiscard]] std::optional<int> cursorLine() const { return cursorX_; }
    // S in Hz, for the frequencies the cursor point is named by.
    void setSampleRate(int sampleRate) { sampleRate_ = sampleRate; }
    [[nodiscard]] const SpectralTrace &trace() const { return trace_; }
    // The cursor point as assistive technology reads it: "<Hz> Hz, <level> dB", then the
    // selected range or the drawing state when there is one.
    [[nodiscard]] QString pointText() const;
    // Repaints and tells assistive technology that the cursor point or its level changed.
    void cursorChanged();

signals:
    void pointerPressed(QPointF units);
    void pointerMoved(QPointF units);
    void pointerReleased(QPointF units);
    void pointerLeft();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void paintKeyCursor(QPainter &p);

    const SpectralTrace &trace_;
    std::optional<int> cursorX_;
    int sampleRate_ = 0;
};

class CtlSGE final : public EditorWindow {
    Q_OBJECT
public:
    CtlSGE(QWidget *parent, Model &model, UserDialog &dialog);

    [[nodiscard]] const SpectralTrace &trace() const { return trace_; }
    [[nodiscard]] SpectralPlot *plot() const { return plot_; }

protected:
    [[nodiscard]] StageConfig controlsValue() const override;
    // A close in the middle of New or Edit first aborts it: the points not yet entered must
    // never reach the stored curve.
    void prepareClose() override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    [[nodiscard]] bool liveSettingComplete() const override { return !trace_.editActive(); }
    [[nodiscard]] QString liveNote() const override;

private:
    [[nodiscard]] QWidget *buildPlotPanel();
    void buildReadout(QWidget *readout);
    [[nodiscard]] QHBoxLayout *buildGainRow();
    [[nodiscard]] QVBoxLayout *buildButtons();
    void connectCommands();
    void track(QPointF units, bool moved);
    void released(QPointF units);
    void startNew();
    void startEdit();
    void clearMarker();
    void refreshButtons();

    // Keyboard editing on the plot (keys listed with the implementation); true when the key
    // was used.
    bool plotKey(QKeyEvent *event);
    void stepLevel(float deltaDb);
    void placeAtCursor();
    // The gain field's Enter: the typed gain for the selected points.
    void applyTypedGain();
    // After a keyboard step: readout, gain field, plot, buttons and assistive technology follow
    // the cursor.
    void followCursor();

    SpectralTrace trace_;
    SpectralPlot *plot_;
    QLabel *markerX_, *markerY_;
    QLineEdit *gainField_;
    QPushButton *newButton_, *abortButton_, *editButton_, *normalizeButton_, *undoButton_, *cancelButton_, *okButton_;
};

} // namespace korvane
