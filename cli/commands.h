#pragma once
// Command groups of korvane-s-cli. Each returns the process exit status: 0 success, 1 a file
// could not be read or written or the device operation failed, 2 a usage error.

#include "config/model.h"
#include "config/userdialog.h"

#include <QStringList>

namespace korvane::cli {

// args holds the words after the command name.
int cmdShow(const QStringList &args);
int cmdConvert(const QStringList &args);
int cmdNew(const QStringList &args);
int cmdImportCoef(const QStringList &args);
int cmdBuildImage(const QStringList &args);
int cmdInspect(const QStringList &args);
int cmdPorts(const QStringList &args);
int cmdProbe(const QStringList &args);
int cmdProgram(const QStringList &args);
int cmdResponse(const QStringList &args);
int cmdRender(const QStringList &args);

// Reads path into model as File > Open does (the port in the file is ignored); on failure the
// reader's message has gone to dialog and a line naming the file follows on stderr.
[[nodiscard]] bool ReadSettingsLikeFileOpen(Model &model, const QString &path, UserDialog &dialog);

// True when args asks for help; prints usage to stdout then.
bool wantsHelp(const QStringList &args, const char *usage);
// Prints usage to stderr and returns 2.
int usageError(const char *usage, const QString &problem = {});

} // namespace korvane::cli
