#pragma once
// The configuration the micro-benchmarks time: every filter set runs the two dearest stage
// types, a spectral equalizer in Stage 1 and a 20-band equalizer in Stage 2, with gains that
// differ from set to set so no work is trivially the same twice.

#include "config/model.h"
#include "config/userdialog.h"

#include <cstdio>

namespace korvane::bench {

inline Model ExpensiveModel()
{
    Model m;
    m.ResetAllFilterSets();
    for (int set = 0; set < kFilterSetCount; ++set) {
        m.CurrentSet = static_cast<int16_t>(set);
        m.stage(set, 1).Type = SpectralEq;
        m.ApplyTypeDefaults(1);
        m.stage(set, 2).Type = GraphicEq20;
        m.ApplyTypeDefaults(2);
        for (int k = 0; k < kSpectralPointCount; ++k)
            m.stage(set, 1).SpectralGain[k] = -static_cast<float>((k * 7 + set * 3) % 41);
        for (int b = 0; b < kEqBandCount; ++b)
            m.stage(set, 2).EqBand[b] = static_cast<int16_t>((b * 5 + set) % 41);
        for (int k = 0; k < kCoefCount; ++k) // kept in the settings file whatever the type
            m.stage(set, 1).Coef[k] = static_cast<float>((k * 37 + set) % 200 - 100) / 137.0f;
        m.ValidateStage(set, 1);
        m.ValidateStage(set, 2);
    }
    m.CurrentSet = 0;
    m.ComPort = 3;
    return m;
}

// Messages would mean the benchmark measures a failure path: print them and go on.
class PrintingDialog : public UserDialog {
public:
    MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon, MessageButtons) override
    {
        ++messages;
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(title), qPrintable(text));
        return MessageAnswer::Ok;
    }
    void beep() override { }
    std::optional<QString> askFileName(const FileDialogRequest &) override { return std::nullopt; }
    [[noreturn]] void endProgram() override { std::abort(); }
    int messages = 0;
};

} // namespace korvane::bench
