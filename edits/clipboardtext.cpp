#include "clipboardtext.h"

#include "config/settingsfile.h"
#include "config/userdialog.h"

namespace korvane {

namespace {

PasteResult failure(const QString &what, const char *expectedHeader)
{
    PasteResult r;
    r.title = QStringLiteral("Unable to paste");
    const bool wantStage = QByteArray(expectedHeader) == kStageClipboardHeader;
    const QString kind = wantStage ? QStringLiteral("stage") : QStringLiteral("filter set");
    // The other kind of Korvane-S text is named, so the user knows which command to use.
    const QString other = QLatin1Char('"') + QLatin1String(wantStage ? kSetClipboardHeader : kStageClipboardHeader)
        + QLatin1Char('"');
    if (what.trimmed().startsWith(other))
        r.text = wantStage ? QStringLiteral("The clipboard holds a whole filter set, not a single stage.") + kCR
                + QStringLiteral("Use Paste Filter Set, or copy a single stage first.")
                           : QStringLiteral("The clipboard holds a single stage, not a whole filter set.") + kCR
                + QStringLiteral("Use Paste into Stage 1 or 2, or copy a whole filter set first.");
    else
        r.text = QStringLiteral("The clipboard holds no complete Korvane-S ") + kind
            + QStringLiteral(" (it is empty, cut short or holds a value that is not a number).") + kCR
            + QStringLiteral("Copy a ") + kind + QStringLiteral(" with the Edit menu first, then paste again.");
    return r;
}

} // namespace

QString StageClipboardText(const Model &model, int set, int stage)
{
    return QString::fromUtf8(StageBlocksText(kStageClipboardHeader, {model.stage(set, stage)}));
}

QString SetClipboardText(const Model &model, int set)
{
    return QString::fromUtf8(StageBlocksText(kSetClipboardHeader, {model.stage(set, 1), model.stage(set, 2)}));
}

PasteResult PasteStage(Model &model, int set, int stage, const QString &text)
{
    const auto parsed = ParseStageBlocks(text.toUtf8(), kStageClipboardHeader, 1);
    if (!parsed)
        return failure(text, kStageClipboardHeader);
    StageConfig pasted = parsed->front();
    const StageConfig &target = model.stage(set, stage);
    pasted.Bandwidth = target.Bandwidth;
    pasted.Agc = target.Agc;
    pasted.NoiseFilter = target.NoiseFilter;
    model.stage(set, stage) = pasted;
    model.ValidateStage(set, 1);
    model.ValidateStage(set, 2);
    return {true, {}, {}};
}

PasteResult PasteSet(Model &model, int set, const QString &text)
{
    const auto parsed = ParseStageBlocks(text.toUtf8(), kSetClipboardHeader, 2);
    if (!parsed)
        return failure(text, kSetClipboardHeader);
    model.stage(set, 1) = (*parsed)[0];
    model.stage(set, 2) = (*parsed)[1];
    model.ValidateStage(set, 1);
    model.ValidateStage(set, 2);
    return {true, {}, {}};
}

} // namespace korvane
