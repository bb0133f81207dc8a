#include "stagelimits.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace korvane {

namespace {

constexpr LimitEnd fixed(int value) { return {LimitEnd::Fixed, value}; }
// The set's highest filter frequency M, less `less` Hz.
constexpr LimitEnd maxHz(int less = 0) { return {LimitEnd::BelowMaxFrequency, less}; }
constexpr LimitEnd fromOtherFields() { return {LimitEnd::FromOtherFields, 0}; }

using S = StageConfig;

// clang-format off
constexpr std::array kTable = {
    // Adaptive: lengths in taps and samples, the adaptation step in units of 2^-14, two option pairs.
    StageLimit{Adaptive1CH, "FilterSize", &S::FilterSize, fixed(4), fixed(256), 128, "taps", "HScroll1", 1, 16},
    StageLimit{Adaptive1CH, "PredictionSpan", &S::PredictionSpan, fixed(1), fixed(64), 3, "samples", "HScroll2", 1, 4},
    StageLimit{Adaptive1CH, "AdaptRate", &S::AdaptRate, fixed(1), fixed(256), 10, "x 2^-14", "HScroll3", 1, 16},
    StageLimit{Adaptive1CH, "ModeOption", &S::ModeOption, fixed(1), fixed(2), 1},   // 1 Auto, 2 Fixed
    StageLimit{Adaptive1CH, "OutputOption", &S::OutputOption, fixed(1), fixed(2), 1}, // 1 Residue, 2 Predict

    StageLimit{Lowpass, "Freq1", &S::Freq1, fixed(100), maxHz(), 2500, "Hz", "HScroll1", 1, 50},
    StageLimit{Lowpass, "Slope", &S::Slope, fixed(3), fixed(125), 64, "dB/Octave", "HScroll2", 1, 8},
    StageLimit{Lowpass, "AttenDb", &S::AttenDb, fixed(12), fixed(60), 30, "dB", "HScroll3", 1, 3},

    StageLimit{Highpass, "Freq1", &S::Freq1, fixed(100), maxHz(), 300, "Hz", "HScroll1", 1, 50},
    StageLimit{Highpass, "Slope", &S::Slope, fixed(3), fixed(125), 64, "dB/Octave", "HScroll2", 1, 8},
    StageLimit{Highpass, "AttenDb", &S::AttenDb, fixed(12), fixed(60), 30, "dB", "HScroll3", 1, 3},

    // The lower cutoff 0 means no lower edge. Validation raises the upper cutoff to the lower
    // one plus the gap; the editor's upper bar starts at the gap and its two bars push each other.
    StageLimit{Bandpass, "Freq1", &S::Freq1, fixed(0), maxHz(kCutoffPairGapHz), 300, "Hz", "HScroll1", 1, 50},
    StageLimit{Bandpass, "Freq2", &S::Freq2, fromOtherFields(), maxHz(), 2500, "Hz", "HScroll4", 1, 50, false, fixed(kCutoffPairGapHz)},
    StageLimit{Bandpass, "Slope", &S::Slope, fixed(3), fixed(125), 64, "dB/Octave", "HScroll2", 1, 8},
    StageLimit{Bandpass, "AttenDb", &S::AttenDb, fixed(12), fixed(60), 30, "dB", "HScroll3", 1, 3},

    StageLimit{Bandstop, "Freq1", &S::Freq1, fixed(0), maxHz(kCutoffPairGapHz), 2000, "Hz", "HScroll1", 1, 50},
    StageLimit{Bandstop, "Freq2", &S::Freq2, fromOtherFields(), maxHz(), 2500, "Hz", "HScroll4", 1, 50, false, fixed(kCutoffPairGapHz)},
    StageLimit{Bandstop, "Slope", &S::Slope, fixed(3), fixed(125), 64, "dB/Octave", "HScroll2", 1, 8},
    StageLimit{Bandstop, "AttenDb", &S::AttenDb, fixed(12), fixed(60), 30, "dB", "HScroll3", 1, 3},

    // Freq1 is the fundamental setting N (fundamental S / (N + 1) Hz): moving its bar right
    // raises the fundamental. Validation keeps the notch limit at 2.5 fundamentals or more
    // (at most M); the editor's bar leaves it free from 100 Hz up.
    StageLimit{Comb, "Freq1", &S::Freq1, fixed(5), fixed(509), 286, "Hz", "hscrlFundFreq", 1, 10, true},
    StageLimit{Comb, "Freq2", &S::Freq2, fromOtherFields(), maxHz(), 2500, "Hz", "hscrlNotchLimit", 1, 100, false, fixed(100)},
    StageLimit{Comb, "AttenDb", &S::AttenDb, fixed(12), fixed(60), 30, "dB", "hscrlNotchDepth", 3, 12},
    StageLimit{Comb, "ModeOption", &S::ModeOption, fixed(3), fixed(5), 3}, // harmonics: 3 All, 4 Odd, 5 Even

    // Freq2 is the width setting: moving its bar right lowers it, which widens the notch. The
    // notch frequency bar starts at 0 Hz although a stored notch below 30 Hz is raised to 30.
    StageLimit{Notch, "Freq1", &S::Freq1, fixed(30), maxHz(), 400, "Hz", "HScroll1", 1, 50, false, fixed(0)},
    StageLimit{Notch, "Freq2", &S::Freq2, fixed(3), fixed(125), 64, "Hz", "HScroll2", 1, 8, true},
    StageLimit{Notch, "AttenDb", &S::AttenDb, fixed(10), fixed(60), 30, "dB", "HScroll3", 1, 3},

    StageLimit{Slot, "Freq1", &S::Freq1, fixed(30), maxHz(), 1000, "Hz", "HScroll1", 1, 50},
    StageLimit{Slot, "Freq2", &S::Freq2, fixed(3), fixed(125), 64, "Hz", "HScroll2", 1, 8, true},
    StageLimit{Slot, "AttenDb", &S::AttenDb, fixed(10), fixed(60), 30, "dB", "HScroll3", 1, 3},
};
// clang-format on

} // namespace

std::span<const StageLimit> AllStageLimits() { return kTable; }

std::span<const StageLimit> StageLimitsOf(int type)
{
    const auto first = std::find_if(kTable.begin(), kTable.end(),
                                    [type](const StageLimit &l) { return l.type == type; });
    const auto last = std::find_if(first, kTable.end(), [type](const StageLimit &l) { return l.type != type; });
    return {first, last};
}

const StageLimit &StageLimitOf(int type, int16_t StageConfig::*member)
{
    for (const StageLimit &l : StageLimitsOf(type))
        if (l.member == member)
            return l;
    assert(false && "the type has no such setting");
    return kTable.front();
}

} // namespace korvane
