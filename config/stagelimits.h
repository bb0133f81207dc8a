#pragma once
// The range of every stage setting, in one table: what ValidateStage keeps a stored value in,
// where each editor's bar ends and how far its arrows and trough clicks move it, the unit the
// editor's label and the stage summary show, and the value ApplyTypeDefaults writes. Editors
// of frequencies end at the set's highest filter frequency M (3400, 5000 or 7000 Hz by the
// Stage 1 bandwidth).

#include "model.h"

#include <optional>
#include <span>

namespace korvane {

// The lower and upper cutoff of a bandpass or bandstop stage stay this far apart (Hz).
inline constexpr int kCutoffPairGapHz = 100;

// One end of a range.
struct LimitEnd {
    enum Kind : uint8_t {
        Fixed,             // value
        BelowMaxFrequency, // M - value
        FromOtherFields,   // worked out by ValidateStage from fields validated before this one
    };
    Kind kind = Fixed;
    int value = 0;

    [[nodiscard]] constexpr int at(int maxFrequency) const
    {
        return kind == BelowMaxFrequency ? maxFrequency - value : value;
    }
};

struct StageLimit {
    int type = 0;                           // FilterType
    const char *field = "";                 // the StageConfig member's name
    int16_t StageConfig::*member = nullptr; // nullptr for the EqBand array (kEqBandLimit)
    LimitEnd low, high;                     // validation: above high becomes high, else below low becomes low
    int16_t defaultValue = 0;               // what ApplyTypeDefaults writes
    const char *unit = "";                  // of the figure the editor's label shows
    const char *bar = nullptr;              // the editor's bar, by object name; none for option buttons
    int smallStep = 1, largeStep = 1;       // the bar's arrow and trough-click steps
    bool reversed = false;                  // the bar's left end is `high`: moving right lowers the value
    std::optional<LimitEnd> barLow{};       // the bar's low end where it is not `low`

    [[nodiscard]] constexpr LimitEnd barLowEnd() const { return barLow.value_or(low); }
    // The bar's Minimum (left or top end) and Maximum at the highest filter frequency m.
    [[nodiscard]] constexpr int barMinimum(int m) const { return reversed ? high.at(m) : barLowEnd().at(m); }
    [[nodiscard]] constexpr int barMaximum(int m) const { return reversed ? barLowEnd().at(m) : high.at(m); }
};

// Every row of the table: per type in the order the editor shows its bars, a field's row
// before the rows whose ends depend on it.
[[nodiscard]] std::span<const StageLimit> AllStageLimits();
// The rows of one filter type (none for the types without settings).
[[nodiscard]] std::span<const StageLimit> StageLimitsOf(int type);
// The row of one field of a type; the caller names a field the type has.
[[nodiscard]] const StageLimit &StageLimitOf(int type, int16_t StageConfig::*member);

// GraphicEq20: each of the 20 EqBand cuts in dB, 0 at the top of its slider, 40 at the bottom
// (bars GainSlider0..GainSlider19). The type has no defaults: choosing it keeps the bands.
inline constexpr StageLimit kEqBandLimit{.type = GraphicEq20,
                                         .field = "EqBand",
                                         .low = {LimitEnd::Fixed, 0},
                                         .high = {LimitEnd::Fixed, 40},
                                         .unit = "dB",
                                         .bar = "GainSlider",
                                         .smallStep = 1,
                                         .largeStep = 5};

// SpectralEq: each SpectralGain point in dB.
inline constexpr float kSpectralGainLowDb = -40.0f;
inline constexpr float kSpectralGainHighDb = 0.0f;

} // namespace korvane
