#pragma once
// Start-up helpers of the program's entry procedure.
//
// The splash wait is WaitWholeSeconds(3, WholeSecondClock) (device/clock.h): it processes
// window events until the whole-second count has advanced by 3, between 2 and 3 seconds of
// real time, sleeping in the event loop between looks at the count.

#include "device/clock.h"

#include <QtGlobal>

namespace korvane {

// Whole seconds since the epoch.
[[nodiscard]] qint64 WholeSecondClock();

} // namespace korvane
