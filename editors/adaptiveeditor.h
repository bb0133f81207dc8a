#pragma once
// Editor of a 1-channel adaptive stage: filter size (4..256 taps), prediction span (1..64
// samples), adaptation rate (1..256, the step is the value x 2^-14), adapt mode (1 Auto,
// 2 Fixed) and processor output (1 Residue, 2 Predict). The two lengths are also shown in
// milliseconds at the set's sample rate.

#include "editorwindow.h"

class QButtonGroup;
class QGroupBox;
class QHBoxLayout;
class QVBoxLayout;

namespace korvane {

class Ctl1CH final : public EditorWindow {
    Q_OBJECT
public:
    Ctl1CH(QWidget *parent, Model &model, UserDialog &dialog);

protected:
    [[nodiscard]] StageConfig controlsValue() const override;

private:
    void buildLengthFrames(QVBoxLayout *v);
    [[nodiscard]] QGroupBox *buildRateFrame();
    [[nodiscard]] QHBoxLayout *buildOptionFrames();
    void showRecord();
    void connectBars();
    void sizeChanged();
    void spanChanged();
    SettingBar *sizeBar_, *spanBar_, *rateBar_;
    QLabel *lblFilterSize_, *lblFilterSizeTime_, *lblPspan_, *lblPspanTime_, *lblAdaptRate_;
    // Button ids 1 and 2 are the stored values.
    QButtonGroup *adaptMode_, *processorOutput_;
};

} // namespace korvane
