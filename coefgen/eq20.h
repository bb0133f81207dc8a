#pragma once
// The 20-band graphic equalizer: a stage's coefficients are the sum of 20 fixed band filters,
// each weighted by its band's gain, read from the data file "20Band" at every build.
//
// "20Band" is text read item by item: items are separated by commas or line ends (numbers
// also by blanks); blanks before an item are skipped; a text item runs to the next comma or
// line end, or is quoted. For band 0..19: one label item ending in ':' and 256 numbers, the
// band filter's taps 0..255 at 1/256 of the 24-bit scale (32767 is just under 1.0). Anything
// after the 20th band is ignored.

#include "config/model.h"
#include "config/userdialog.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

namespace korvane {

using BandFilters = std::array<std::array<float, kCoefCount>, kEqBandCount>;
using Eq20Accumulator = std::array<float, kCoefCount>;

inline const QString k20BandFileName = QStringLiteral("20Band");

// 10^(v / -20) computed in double, rounded to single: 0 -> 1.0, 40 -> 0.01.
[[nodiscard]] float BandGainFromDb(int16_t v);

// Parses the contents of a "20Band" file; std::nullopt when a label does not end in ':', a
// tap is not a decimal number (or overflows a single), or the data ends before the 20th band
// is complete.
[[nodiscard]] std::optional<BandFilters> Parse20BandData(const QByteArray &data);

// Sums the band filters of the file at path, weighted by BandGainFromDb(eqBand[i]) and scaled
// by 256, into acc (cleared first; every product and sum rounded to single). Returns 0 on
// success; -1 when the file cannot be read, after a beep and the "File Error" message (its
// fixed text, then the file's full path and the reason).
[[nodiscard]] int Read20BandCoefficients(const std::array<int16_t, kEqBandCount> &eqBand, Eq20Accumulator &acc,
                                         UserDialog &dialog, const QString &path = k20BandFileName);

// The fixed first lines of the "File Error" message shown when the file cannot be read.
[[nodiscard]] QString Eq20FileErrorText();

} // namespace korvane
