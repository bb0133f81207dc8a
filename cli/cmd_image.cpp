#include "commands.h"

#include <cstdio>

namespace korvane::cli {

int cmdBuildImage(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }
int cmdInspect(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }

} // namespace korvane::cli
