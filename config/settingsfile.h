#pragma once
// The settings file (*.min, default.min): line-oriented text, one value per line, CR LF line
// ends. Header "Korvane-S" (16 sets) or the older "Korvane" (10 sets), the port, then 405
// lines per stage block in StageConfig field order:
//   Type, "CoefFileName", Coef[0..255], Bandwidth, Agc, FilterSize, AdaptRate,
//   PredictionSpan, ModeOption, OutputOption, Freq1, Freq2, Slope, AttenDb, EqBand[0..19],
//   SpectralGain[0..114], NoiseFilter (#TRUE#/#FALSE#).
// Integers are plain signed decimals; singles are written by FormatSingle (numbertext.h).

#include "model.h"
#include "userdialog.h"

#include <optional>
#include <vector>

namespace korvane {

inline constexpr int kStageBlockLines = 405;
inline constexpr int kSettingsFileLines = 2 + 2 * kFilterSetCount * kStageBlockLines; // 12962
inline constexpr int kOldFormatSetCount = 10;

inline constexpr char kSettingsHeader[] = "Korvane-S";
inline constexpr char kOldSettingsHeader[] = "Korvane";

// The file's content exactly as WriteSettingsFile stores it.
[[nodiscard]] QByteArray SettingsFileContent(const Model &model);

struct SettingsWriteOptions {
    bool silent = false; // no beep and no message on failure (the write at exit tries other places)
};

// Writes the whole model to path; true on success. The new content goes to a temporary file
// in the same folder that replaces path only once every byte is on disk, so a failed write
// leaves the previous file intact. On failure, unless options.silent, a beep and
// "Unable to Store File." are shown.
[[nodiscard]] bool WriteSettingsFile(const Model &model, const QString &path, UserDialog &dialog,
                                     SettingsWriteOptions options = {});

// What a successful read found besides the filter sets.
struct SettingsFileInfo {
    int setCount = 0;     // 16, or 10 for the older "Korvane" header
    int16_t filePort = 0; // the port number in the file, clamped into 1..9
};

struct SettingsReadOptions {
    // The window's start-up load of default.min: the file's port becomes ComPort, and a file
    // that cannot be read (a missing default.min on the first start is normal) resets the
    // model with ComPort 1 without a message.
    bool startup = false;
};

// Reads path into the model through a temporary copy; true on success. On success every set
// is reset, the sets found in the file copied in and every stage validated (so every
// Bandwidth is 2); the port is stored into ComPort only with options.startup. On failure the
// model is unchanged and "Unable to read file" is shown after a beep, except at start-up (above).
[[nodiscard]] bool ReadSettingsFile(Model &model, const QString &path, UserDialog &dialog,
                                    SettingsFileInfo *info = nullptr);
[[nodiscard]] bool ReadSettingsFile(Model &model, const QString &path, UserDialog &dialog, SettingsReadOptions options,
                                    SettingsFileInfo *info = nullptr);

// Stage blocks outside a settings file (the clipboard): a quoted header line, then each stage
// block in the file's own layout, CR LF line ends. The parser is the settings file's: a text
// cut short, a value that does not convert or another header is rejected (std::nullopt).
// Nothing is validated here; callers validate as ReadSettingsFile does.
[[nodiscard]] QByteArray StageBlocksText(const QByteArray &header, const std::vector<StageConfig> &stages);
[[nodiscard]] std::optional<std::vector<StageConfig>> ParseStageBlocks(const QByteArray &text, const QByteArray &header,
                                                                       int count);

} // namespace korvane
