#include "commands.h"

#include <cstdio>

namespace korvane::cli {

int cmdPorts(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }
int cmdProbe(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }
int cmdProgram(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }

} // namespace korvane::cli
