#include "openeditor.h"

namespace korvane {

bool OpenStageEditorWindow(QWidget *, Model &, UserDialog &, int, const QString &) { return false; }

} // namespace korvane
