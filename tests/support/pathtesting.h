#pragma once
// Filter paths as the tests build them.

#include "scripteddialog.h"

#include "filterpath/filterpath.h"

namespace korvane::test {

// The path of one set of m; a test that cannot build it ends with the reason.
inline FilterPath pathOf(const Model &m, int set = 0)
{
    ScriptedDialog dialog;
    QString why;
    auto path = FilterPathForSet(m, set, dialog, &why);
    if (!path)
        qFatal("no path: %s", qPrintable(why));
    return *path;
}

} // namespace korvane::test
