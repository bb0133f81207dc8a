#pragma once
// The editors of the parametric filter types: lowpass and highpass (one cutoff), bandpass and
// bandstop (a cutoff pair at least 100 Hz apart), notch and slot (centre and width) and comb
// (fundamental, notch limit, depth and harmonics). Each bar's value is the stored field; the
// bars' ranges and steps are the rows of config/stagelimits.h.

#include "editorwindow.h"

class QButtonGroup;

namespace korvane {

// Lowpass and highpass: Freq1 (100..M Hz), Slope (3..125), AttenDb (12..60 dB).
class SingleCutoffEditor : public EditorWindow {
    Q_OBJECT
public:
    SingleCutoffEditor(QWidget *parent, Model &model, UserDialog &dialog, const QString &caption);

protected:
    [[nodiscard]] StageConfig controlsValue() const override;

private:
    void cutoffChanged();
    void slopeChanged();
    SettingBar *cutoffBar_, *slopeBar_, *attenBar_;
    QLabel *cutoff_, *slope_, *atten_;
};

// Bandpass and bandstop: Freq1 (0..M-100 Hz, 0 = no lower edge), Freq2 (100..M Hz), Slope,
// AttenDb.
class CutoffPairEditor : public EditorWindow {
    Q_OBJECT
public:
    CutoffPairEditor(QWidget *parent, Model &model, UserDialog &dialog, const QString &caption);

protected:
    [[nodiscard]] StageConfig controlsValue() const override;

private:
    void lowerChanged();
    void upperChanged();
    void refreshSlopes();
    SettingBar *lowerBar_, *upperBar_, *slopeBar_, *attenBar_;
    QLabel *loCutoff_, *hiCutoff_, *slope1_, *slope2_, *atten_;
};

// Notch and slot: Freq1 (0 or 30..M Hz), the width setting Freq2 on a reversed bar (125..3),
// AttenDb (10..60 dB).
class NotchSlotEditor : public EditorWindow {
    Q_OBJECT
public:
    NotchSlotEditor(QWidget *parent, Model &model, UserDialog &dialog, bool slot);

protected:
    [[nodiscard]] StageConfig controlsValue() const override;

private:
    void widthChanged();
    double widthFactor_;
    SettingBar *freqBar_, *widthBar_, *attenBar_;
    QLabel *freq_, *width_, *atten_;
};

// Comb: the fundamental setting N on a reversed bar (509..5; fundamental S / (N + 1) Hz), the
// notch limit Freq2 (100..M Hz), the depth AttenDb (12..60 dB, steps of 3) and the harmonics
// ModeOption (3 All, 4 Odd, 5 Even).
class CombEditor : public EditorWindow {
    Q_OBJECT
public:
    CombEditor(QWidget *parent, Model &model, UserDialog &dialog);

protected:
    [[nodiscard]] StageConfig controlsValue() const override;

private:
    void fundamentalChanged();
    void limitChanged();
    void depthChanged();
    SettingBar *fundBar_, *limitBar_, *depthBar_;
    QLabel *lblFreq_, *lblLimit_, *lblDepth_;
    QButtonGroup *harmonics_;
};

class CtlLPF final : public SingleCutoffEditor {
public:
    CtlLPF(QWidget *p, Model &m, UserDialog &d) : SingleCutoffEditor(p, m, d, QStringLiteral("Lowpass")) { }
};
class CtlHPF final : public SingleCutoffEditor {
public:
    CtlHPF(QWidget *p, Model &m, UserDialog &d) : SingleCutoffEditor(p, m, d, QStringLiteral("Highpass")) { }
};
class CtlBPF final : public CutoffPairEditor {
public:
    CtlBPF(QWidget *p, Model &m, UserDialog &d) : CutoffPairEditor(p, m, d, QStringLiteral("Bandpass")) { }
};
class CtlBSF final : public CutoffPairEditor {
public:
    CtlBSF(QWidget *p, Model &m, UserDialog &d) : CutoffPairEditor(p, m, d, QStringLiteral("Bandstop")) { }
};
class CtlNotch final : public NotchSlotEditor {
public:
    CtlNotch(QWidget *p, Model &m, UserDialog &d) : NotchSlotEditor(p, m, d, false) { }
};
class CtlSlot final : public NotchSlotEditor {
public:
    CtlSlot(QWidget *p, Model &m, UserDialog &d) : NotchSlotEditor(p, m, d, true) { }
};
using CtlComb = CombEditor;

} // namespace korvane
