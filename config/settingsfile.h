#pragma once
// The settings file (*.min, default.min): line-oriented text, one value per line, CR LF line
// ends. Header "Korvane-S" (16 sets) or the older "Korvane" (10 sets), the port, then 405
// lines per stage block in StageConfig field order.

#include "model.h"
#include "userdialog.h"

namespace korvane {

inline constexpr int kStageBlockLines = 405;
inline constexpr int kSettingsFileLines = 2 + 2 * kFilterSetCount * kStageBlockLines; // 12962

// Writes the whole model to path; true on success. On failure the previous file at path is
// left intact and, unless model.SilentSave, "Unable to Store File." is shown after a beep.
[[nodiscard]] bool WriteSettingsFile(const Model &model, const QString &path, UserDialog &dialog);

// Reads path into the model through a temporary copy; true on success. On failure the model
// is unchanged (or, while model.LoadingAtStartup, reset with ComPort 1 and nothing shown).
[[nodiscard]] bool ReadSettingsFile(Model &model, const QString &path, UserDialog &dialog);

} // namespace korvane
