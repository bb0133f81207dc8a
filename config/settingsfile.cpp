#include "settingsfile.h"

namespace korvane {

bool WriteSettingsFile(const Model &, const QString &, UserDialog &) { return false; }
bool ReadSettingsFile(Model &, const QString &, UserDialog &) { return false; }

} // namespace korvane
