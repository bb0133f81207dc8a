#include "commands.h"

#include <cstdio>

namespace korvane::cli {

int cmdShow(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }
int cmdConvert(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }
int cmdNew(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }
int cmdImportCoef(const QStringList &) { std::fputs("korvane-s-cli: command not built yet\n", stderr); return 2; }

} // namespace korvane::cli
