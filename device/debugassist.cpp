#include "debugassist.h"

#include <cstdio>

namespace korvane {

void DebugAssist(const QString &name)
{
#if defined(KORVANE_DEVICE_TRACE)
    std::fprintf(stderr, "trace: %s\n", qPrintable(name));
#else
    (void)name;
#endif
}

} // namespace korvane
