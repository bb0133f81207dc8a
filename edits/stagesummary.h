#pragma once
// One line per stage saying what it does, with the figures its editor shows, so that a whole
// configuration can be checked without opening 32 editors:
//   "Lowpass 2500 Hz, 228 dB/Octave, 30 dB"
//   "Bandpass 300 to 2500 Hz, 14/228 dB/Octave, 30 dB"
//   "Notch 400 Hz, 397 Hz wide, 30 dB"
//   "Comb 60.00 Hz, All harmonics, limit 2500 Hz, 30 dB"
//   "1CH Adaptive 128 taps, span 3, Mu 10, Auto, Residue"
//   "20-band: -6 dB at 300 Hz, -12 dB at 1.1-1.5 kHz, elsewhere 0 dB"
//   "Spectral: 0.0 dB at 605 Hz down to -40.0 dB at 3830 Hz"
//   "Imported: cw500.txt"
//   "Pass Thru"
// Slopes, widths and the comb fundamental come from the editors' own label formulas at the
// set's sample rate; band names from the 20-band editor's labels.

#include "config/model.h"

#include <QString>

namespace korvane {

[[nodiscard]] QString StageSummary(const Model &model, int set, int stage);
// The same for a stage record not (yet) in a model, e.g. an editor's values; sampleRate in Hz
// is that of the set the stage belongs to.
[[nodiscard]] QString StageSummary(const StageConfig &stage, int sampleRate);

// True when the set leaves the signal as it is: both stages "Pass Thru Filter", no AGC and
// the broadband noise filter off. The main window marks the tabs of the other sets.
[[nodiscard]] bool IsPassThroughSet(const Model &model, int set);

} // namespace korvane
