#pragma once
// What the design needs of the analysis beyond the public calls. Used only inside this library.

#include "analysis.h"

namespace korvane {

// AnalyzeSamples, naming the region in its failure reasons as label ("noise region").
[[nodiscard]] std::optional<Analysis> AnalyzeNamedRegion(const std::vector<float> &mono, int sampleRate,
                                                         const ClipRegion &region, const QString &label,
                                                         AnalysisError *error);

} // namespace korvane
