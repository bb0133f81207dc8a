#pragma once
// The configuration the program edits, stores and sends to the Korvane-S: 16 filter sets of
// two cascaded stages each. The field order of StageConfig is the order of the settings file
// and must not change; FilterType values are stored in files and are the list positions of
// the main window's stage lists.

#include <QString>

#include <array>
#include <cstdint>

namespace korvane {

enum FilterType : int16_t {
    Adaptive1CH = 0,
    Lowpass = 1,
    Highpass = 2,
    Bandpass = 3,
    Bandstop = 4,
    Comb = 5,
    Notch = 6,
    Slot = 7,
    GraphicEq20 = 8,
    SpectralEq = 9,
    ImportedCoef = 10,
    PassThru = 11,
};
inline constexpr int kFilterTypeCount = 12;
inline constexpr int kFilterSetCount = 16;
inline constexpr int kCoefCount = 256;
inline constexpr int kEqBandCount = 20;
inline constexpr int kSpectralPointCount = 115;

// Stages are numbered 1..2 ("Stage 1", "Stage 2") wherever a value is called `stage`: in the
// model, in every function that takes a stage, in what the user sees. Arrays of two per-stage
// entries (the image layout, decoded headers, responses) are indexed by StageIndex(stage).
inline constexpr int kStageCount = 2;
[[nodiscard]] constexpr int StageIndex(int stage) { return stage - 1; }

// Booleans that are stored in files are 16-bit: -1 for true, 0 for false.
inline constexpr int16_t kTrue = -1;
inline constexpr int16_t kFalse = 0;

// List entry text of a filter type ("Lowpass", "Pass Thru Filter", ...); empty outside 0..11.
[[nodiscard]] QString FilterTypeDisplayText(int type);

// The AGC and bandwidth option texts by index ("No AGC".."30dB AGC", "3.4 kHz".."7.5 kHz").
[[nodiscard]] QString AgcDisplayText(int agc);
[[nodiscard]] QString BandwidthDisplayText(int bandwidth);

// One stage. Only the fields of the current Type have meaning; the others keep whatever they
// last held. Bandwidth, Agc and NoiseFilter are set-wide values held in both stage records.
struct StageConfig {
    int16_t Type = 0;
    QString CoefFileName;                                  // ImportedCoef: full path of the text file
    std::array<float, kCoefCount> Coef{};                  // ImportedCoef: taps, each -1..+1
    int16_t Bandwidth = 0;                                 // 0 = 3.4 kHz, 1 = 5.0 kHz, 2 = 7.5 kHz
    int16_t Agc = 0;                                       // 0 = none, 1..3 = 10/20/30 dB
    int16_t FilterSize = 0;                                // Adaptive1CH: taps, 4..256
    int16_t AdaptRate = 0;                                 // Adaptive1CH: 1..256
    int16_t PredictionSpan = 0;                            // Adaptive1CH: samples, 1..64
    int16_t ModeOption = 0;                                // Adaptive1CH: 1 Auto, 2 Fixed; Comb: 3 All, 4 Odd, 5 Even
    int16_t OutputOption = 0;                              // Adaptive1CH: 1 Residue, 2 Predict
    int16_t Freq1 = 0;                                     // Hz; Comb: fundamental setting N
    int16_t Freq2 = 0;                                     // Hz; Comb: notch limit; Notch/Slot: width 3..125
    int16_t Slope = 0;                                     // transition setting 3..125 (half-length in taps)
    int16_t AttenDb = 0;                                   // stopband attenuation or notch depth, dB
    std::array<int16_t, kEqBandCount> EqBand{};            // GraphicEq20: cut per band, 0..40 dB
    std::array<float, kSpectralPointCount> SpectralGain{}; // SpectralEq: dB, -40..0, point k at k*fs/256 Hz
    int16_t NoiseFilter = kFalse;                          // set-wide broadband noise switch (-1/0)

    bool operator==(const StageConfig &) const = default;
};

// One filter set: Stage 1 and Stage 2, indexed 1..2 like the rest of the program.
struct FilterSet {
    StageConfig Stage1;
    StageConfig Stage2;

    [[nodiscard]] StageConfig &operator[](int stage);
    [[nodiscard]] const StageConfig &operator[](int stage) const;
    bool operator==(const FilterSet &) const = default;
};

// The whole model: one instance lives for the whole run and is handed to every window,
// the settings file code, the coefficient generator and the programming sequence.
class Model {
public:
    std::array<FilterSet, kFilterSetCount> FilterData{}; // [set 0..15][stage 1..2]
    int16_t CurrentSet = 0;                              // 0..15, the set shown on the main window
    int16_t CurrentStage = 1;                            // 1..2, the stage whose editor is open
    int16_t ComPort = 0;                                 // 1..9
    QString StartDirectory;

    // Writes the defaults of the current Type of FilterData[CurrentSet][stage] (stagelimits.h);
    // fields the type does not use keep their values.
    void ApplyTypeDefaults(int stage);

    // Brings FilterData[set][stage] into its legal ranges (stagelimits.h). Always validate
    // Stage 1 of a set before Stage 2: the frequency limits come from the Stage 1 bandwidth.
    void ValidateStage(int set, int stage);

    // File > New: every stage pass-through, "No AGC", 5.0 kHz, noise filter off. Leaves
    // CurrentSet at 15; callers set it from the selected tab.
    void ResetAllFilterSets();

    // Highest usable filter frequency of a set in Hz: 3400, 5000 or 7000 by Stage 1 Bandwidth.
    [[nodiscard]] int16_t MaxFilterFrequency(int set) const;
    // Sample rate of a set in Hz: 9000, 12000 or 17200 by Stage 1 Bandwidth.
    [[nodiscard]] int16_t SampleRate(int set) const;

    [[nodiscard]] StageConfig &stage(int set, int stage) { return FilterData.at(set)[stage]; }
    [[nodiscard]] const StageConfig &stage(int set, int stage) const { return FilterData.at(set)[stage]; }
    // The stage an editor or the coefficient import works on.
    [[nodiscard]] StageConfig &currentStage() { return stage(CurrentSet, CurrentStage); }
};

} // namespace korvane
