#pragma once
// Procedure trace of the device link. Every device-link procedure passes its name here on
// entry. In a normal build the names are discarded; a build configured with
// KORVANE_DEVICE_TRACE=ON prints each one on stderr, which is the quickest way to see
// where a conversation with the processor got stuck.

#include <QString>

namespace korvane {

void DebugAssist(const QString &name);

} // namespace korvane
