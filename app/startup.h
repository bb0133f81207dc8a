#pragma once
// Start-up helpers of the program's entry procedure.

#include <QtGlobal>

#include <functional>

namespace korvane {

// Processes window events until clock() (a whole-second count) has advanced by `seconds`
// from its value at the call: between seconds - 1 and seconds of real time. Sleeps in the
// event loop between checks (every 50 ms), never spinning a core.
void WaitWholeSeconds(int seconds, const std::function<qint64()> &clock);

// Whole seconds since the epoch.
[[nodiscard]] qint64 WholeSecondClock();

} // namespace korvane
