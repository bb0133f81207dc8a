#pragma once
// Typed values for the editors' bars. Beside every bar the user can type the value in the unit
// its label shows (Hz, dB, dB/Octave, Hz of notch width, taps...). The bar then moves to the
// stored integer whose label shows the typed value; when none shows it exactly, to the one
// whose label comes nearest; among equals, to the one nearest the bar's present value (the
// smallest move). The bars' ranges and steps are not changed: any integer of the range can be
// reached, as with the arrows.
//
// What a label shows is computed with the editors' own label formulas (labelformulas.h), so
// the field, the label and the stored integer always agree.

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace korvane {

// The value of another bar of the same editor, by object name (a slope label depends on the
// cutoff bar).
using BarValueLookup = std::function<int(const QString &barName)>;

struct TypedFieldDef {
    QString barName;   // the bar's object name, e.g. "HScroll1"
    QString fieldName; // the field's object name, e.g. "HScroll1Value"
    QString unit;      // shown after the field
    QString toolTip;
    int decimals = 0; // as the label shows the figure
    // The figure the label shows for bar value n.
    std::function<double(int n, const BarValueLookup &bars)> shown;
    // Which of a bar's two figures this is ("Lower", "Upper" edge of the one slope bar of a
    // band filter); empty for a bar that shows one figure.
    QString part{};
    // The label's text where it is not the figure alone (the lower cutoff 0 reads "(Out)").
    std::function<QString(int n)> label{};

    // What the label shows for bar value n: its text, or the figure at `decimals` places.
    [[nodiscard]] QString labelText(int n, const BarValueLookup &bars) const;
};

// The fields of the editor of filter type 0..8 (none for the spectral equalizer, which has no
// bars) at the set's sample rate, in the order the bars appear.
[[nodiscard]] std::vector<TypedFieldDef> TypedFieldsOfEditor(int type, int sampleRate);

// The number in a typed text: "2700", " 2700 Hz", "60.5", "60,5", "-6 dB"; "(Out)" or "out"
// read as 0 (the bandpass lower cutoff). std::nullopt when there is no number.
[[nodiscard]] std::optional<double> ParseTypedValue(const QString &text);

// The bar value in minimum..maximum (either may be the larger) whose shown figure is nearest
// `typed` rounded to `decimals`; ties go to the value nearest `current`.
[[nodiscard]] int NearestSetting(double typed, int decimals, int minimum, int maximum, int current,
                                 const std::function<double(int)> &shown);

} // namespace korvane
