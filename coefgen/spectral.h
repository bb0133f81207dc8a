#pragma once
// The spectral graphic equalizer: the drawn trace (115 gains in dB, point k at k*fs/256 Hz)
// becomes 256 taps by frequency sampling through CalculateIFFT of the shared library
// korvanes, which the program loads by name at the first call and keeps loaded.

#include "config/model.h"

#include <QString>

#include <array>
#include <vector>

namespace korvane {

// Two planes of 4096 singles: the one structure that crosses into korvanes. Zero when a
// filter-set block is started and shared by that block's two stages.
using IfftBuffer = std::vector<float>;
[[nodiscard]] IfftBuffer MakeIfftBuffer();

// Where korvanes is looked for: folder/lib<baseName>.so first, then (when systemSearch) the
// platform's normal library search. An empty folder means the program's own folder, then the
// installed program's private library folder (config/filelocations.h). Changing the location
// drops the current binding, so the next call loads afresh; the program itself never calls
// this after the first build. The defaults are folder "", baseName "korvanes", systemSearch.
void SetKorvanesLocation(const QString &folder, const QString &baseName = QStringLiteral("korvanes"),
                         bool systemSearch = true);

// True when the library is loaded and CalculateIFFT resolved (loading it now if needed).
// On failure errorText (if given) says why.
[[nodiscard]] bool BindCalculateIfft(QString *errorText = nullptr);

// Fills plane 0 of buffer with the stage's 256 taps: elements 0..114 = 10^(gain/20), 115..128
// = 0, then CalculateIFFT(256, Hann). Elements 129..255 are left as they are (the transform
// overwrites them with the mirror). False when korvanes or CalculateIFFT cannot be bound, in
// which case the stage cannot be built.
[[nodiscard]] bool SynthesizeSpectralStage(const StageConfig &stage, IfftBuffer &buffer);

} // namespace korvane
