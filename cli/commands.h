#pragma once
// The commands of korvane-s-cli, each a declaration (commandline.h) and the function that
// runs it. main.cpp lists them in the order `korvane-s-cli --help` shows.

#include "clidialog.h"
#include "commandline.h"

#include "config/model.h"
#include "device/programmingsequence.h"

namespace korvane::cli {

extern const Command kShowCommand;
extern const Command kConvertCommand;
extern const Command kNewCommand;
extern const Command kImportCoefCommand;
extern const Command kBuildImageCommand;
extern const Command kInspectCommand;
extern const Command kPortsCommand;
extern const Command kProbeCommand;
extern const Command kProgramCommand;
extern const Command kVerifyCommand;
extern const Command kLogCommand;
extern const Command kResponseCommand;
extern const Command kRenderCommand;
extern const Command kAnalyzeCommand;
extern const Command kDesignCommand;

// Reads path into model as File > Open does (the port in the file is ignored); on failure the
// reader's message has gone to dialog and a line naming the file follows on stderr.
[[nodiscard]] bool ReadSettingsLikeFileOpen(Model &model, const QString &path, UserDialog &dialog);

// "Program All Filters?" on stderr, answered on stdin; true for yes.
[[nodiscard]] bool ConfirmProgramAll();

// `program` with several --device or --all: one run per device at once, each on a thread of
// its own, the image built once from model. base: the options every run shares.
[[nodiscard]] int RunProgramMany(Invocation &call, Model &model, const ProgrammingOptions &base, CliDialog &dialog);

// One device's result: device, byId, outcome, firmwareVersion, reloaded, verified, seconds,
// imageSha256, message. device: the --device text it was asked for (or the port's path).
[[nodiscard]] Record ProgrammingRecord(const ProgrammingFacts &facts, const QString &device);

} // namespace korvane::cli
