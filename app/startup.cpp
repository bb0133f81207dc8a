#include "startup.h"

#include <QDateTime>

namespace korvane {

qint64 WholeSecondClock() { return QDateTime::currentSecsSinceEpoch(); }

} // namespace korvane
