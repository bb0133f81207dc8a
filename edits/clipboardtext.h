#pragma once
// A stage or a whole filter set as clipboard text, in the settings file's own field layout:
// a quoted header line ("Korvane-S Stage" or "Korvane-S Filter Set"), then one stage block of
// 405 lines per stage, exactly as in a *.min file. The text travels through the system
// clipboard, so it can be pasted into another running copy of the program, or kept in a text
// editor and pasted later.
//
// Pasting reads the text with the settings file's own field reader and validates the set it
// lands in as a read file is validated (Stage 1, then Stage 2). The stored integers are kept
// as they are: a cutoff of 2500 Hz copied from a set of another sample rate stays 2500 and
// is then brought into the new set's limits.

#include "config/model.h"

#include <QByteArray>
#include <QString>

namespace korvane {

inline constexpr char kStageClipboardHeader[] = "Korvane-S Stage";
inline constexpr char kSetClipboardHeader[] = "Korvane-S Filter Set";

[[nodiscard]] QString StageClipboardText(const Model &model, int set, int stage);
[[nodiscard]] QString SetClipboardText(const Model &model, int set);

// Why a paste failed, for the message to the user (empty on success).
struct PasteResult {
    bool ok = false;
    QString title;
    QString text;
};

// Replaces stage 1..2 of the set with the stage in `text`. The set-wide values (AGC,
// bandwidth, noise filter) stay those of the set pasted onto. On failure the model is
// unchanged.
[[nodiscard]] PasteResult PasteStage(Model &model, int set, int stage, const QString &text);
// Replaces both stages of the set, set-wide values included. On failure the model is unchanged.
[[nodiscard]] PasteResult PasteSet(Model &model, int set, const QString &text);

} // namespace korvane
