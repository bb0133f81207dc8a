#include "commands.h"

#include <cstdio>

namespace korvane::cli {

int cmdResponse(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }

} // namespace korvane::cli
