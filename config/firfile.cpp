#include "firfile.h"

namespace korvane {

void ReadFirFile(Model &, int, const QString &, UserDialog &) {}

} // namespace korvane
