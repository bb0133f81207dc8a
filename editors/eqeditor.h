#pragma once
// Editor of a 20-band graphic equalizer stage: one vertical bar per band, left to right from
// the lowest band, each holding the band's cut in whole dB (0 at the top .. 40 at the bottom).

#include "editorwindow.h"

#include <array>

namespace korvane {

class CtlEq final : public EditorWindow {
    Q_OBJECT
public:
    CtlEq(QWidget *parent, Model &model, UserDialog &dialog);

protected:
    [[nodiscard]] StageConfig controlsValue() const override;
    [[nodiscard]] bool offersLogFrequency() const override { return true; }

private:
    void setAll(const std::array<int, 20> &cuts);
    [[nodiscard]] std::array<int, 20> cuts() const;
    std::array<SettingBar *, 20> sliders_{};
    std::array<QLabel *, 20> gains_{};
};

} // namespace korvane
