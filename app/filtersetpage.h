#pragma once
// The page of frmMain's tab strip: the controls of one filter set, which the 16 tabs share
// (the main window moves the page to the current tab). Stage 1 and Stage 2 each in a frame
// with its type list, its Control button and a summary of what it does; the set-wide AGC and
// noise options; the note on programming; the bandwidth options, kept out of the user's reach.
//
// A view only: it reports what the user does by its signals and shows what it is given. The
// main window writes the choices into the model and the edit history.

#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace korvane {

// The main window was laid out in twips; this screen shows 15 twips per pixel.
constexpr int PixelsFromTwips(int twips) { return (twips * 2 + 15) / 30; }

class FilterSetPage final : public QWidget {
    Q_OBJECT
public:
    // parent: the tab page the controls are first shown on; the controls take their font and
    // style from the window they are built in.
    explicit FilterSetPage(QWidget *parent);

    // The filter type (FilterType, 0..kFilterTypeCount-1) the list of stage (1..2) shows, -1
    // when it shows none.
    [[nodiscard]] int shownType(int stage) const;
    // Shows type in the stage's list (-1 or out of range: none) without typeChanged.
    void showType(int stage, int type);
    // Checks AGC button agc (0..3; any other value leaves the buttons as they are). The
    // buttons' agcToggled signals follow as for a click.
    void showAgc(int agc);
    // Checks or clears the noise box; noiseToggled follows when that changes it.
    void showNoise(bool on);
    void setControlEnabled(int stage, bool enabled);
    // What stage does: as much of text as two lines of its label hold, all of it in the tool tip.
    void showSummary(int stage, const QString &text);
    // Locks or unlocks the type lists, Control buttons, stage frames and the AGC and bandwidth
    // frames around a device operation. The noise box and the bandwidth buttons are left alone.
    void setInputsEnabled(bool enabled);

signals:
    // The stage's list shows another entry: the user's choice, or an index set on the list
    // from outside the page (showType() sends nothing).
    void typeChanged(int stage);
    void controlClicked(int stage);
    void agcToggled(int agc, bool checked);             // agc 0..3
    void bandwidthToggled(int bandwidth, bool checked); // bandwidth 0..2
    void noiseToggled(bool on);
    // The stage frames' context menu.
    void copyStageRequested(int stage);
    void pasteStageRequested(int stage);

private:
    QGroupBox *buildStageFrame(int stage);
    QGroupBox *buildAgcFrame();
    QGroupBox *buildProgrammingNote();
    void buildBandwidthFrame();

    // One per stage, indexed by stage - 1: StageFrame1, FilterList1, Stage1ControlButton,
    // StageSummary1 and their Stage 2 twins.
    std::array<QGroupBox *, 2> StageFrame{};
    std::array<QComboBox *, 2> FilterList{};
    std::array<QPushButton *, 2> StageControlButton{};
    std::array<QLabel *, 2> StageSummary{};
    QGroupBox *fraAGC = nullptr;
    std::array<QRadioButton *, 4> AGCButton{};
    QCheckBox *NoiseCheck = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QGroupBox *fraBandwidth = nullptr;
    std::array<QRadioButton *, 3> BWFiltButton{};

    QButtonGroup *agcGroup_ = nullptr;
    QButtonGroup *bwGroup_ = nullptr;
};

} // namespace korvane
