// analyze and design: what a recording holds, and a filter set designed from its noise.

#include "clidialog.h"
#include "commands.h"

#include "analysis/design.h"
#include "config/settingsfile.h"

#include <optional>

namespace korvane::cli {

namespace {

// A decimal number of seconds (0 or more); nullopt when the text is not one.
std::optional<double> seconds(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !(v >= 0) || v > 1e9)
        return std::nullopt;
    return v;
}

std::optional<AudioClip> readClip(Invocation &call, const QString &path)
{
    QString why;
    auto clip = ReadAudioFile(path, &why);
    if (!clip)
        call.out().failed(why);
    return clip;
}

int runAnalyze(Invocation &call)
{
    std::optional<double> from = 0.0, to;
    if (call.isSet("from") && !(from = seconds(call.value("from"))))
        return call.usageError(
            QStringLiteral("--from takes seconds (a number, 0 or more), not '%1'").arg(call.value("from")));
    if (call.isSet("to") && !(to = seconds(call.value("to"))))
        return call.usageError(
            QStringLiteral("--to takes seconds (a number, 0 or more), not '%1'").arg(call.value("to")));
    const QString in = call.argument(0);
    const auto clip = readClip(call, in);
    if (!clip)
        return kFailed;
    AnalysisError error;
    const auto analysis = AnalyzeClip(*clip, {*from, to.value_or(clip->seconds())}, &error);
    if (!analysis)
        return call.out().failed(QStringLiteral("cannot analyse %1: %2").arg(in, error.reason));
    Record r;
    QJsonObject json = AnalysisToJson(*analysis);
    json.insert(QStringLiteral("file"), in);
    for (auto it = json.begin(); it != json.end(); ++it)
        r.value(it.key(), it.value());
    r.line(QStringLiteral("File: %1").arg(in));
    for (const QString &line : DescribeAnalysis(*analysis).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        r.line(line);
    call.out().write(r);
    return kSuccess;
}

int runDesign(Invocation &call)
{
    const int set = *call.optionInt("set");
    const QString noiseText = call.value("noise");
    const qsizetype dash = noiseText.indexOf(QLatin1Char('-'));
    const auto noiseFrom = dash > 0 ? seconds(noiseText.left(dash)) : std::nullopt;
    const auto noiseTo = dash > 0 ? seconds(noiseText.mid(dash + 1)) : std::nullopt;
    if (!noiseFrom || !noiseTo)
        return call.usageError(
            QStringLiteral("--noise takes START-END in seconds (for example 0-1.5), not '%1'").arg(noiseText));
    const QString settings = call.argument(0);
    const QString in = call.value("audio");
    const QString out = call.value("o");
    const bool withNotch = call.isSet("notch");

    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, settings, dialog))
        return kFailed;
    const auto clip = readClip(call, in);
    if (!clip)
        return kFailed;
    DesignOptions options;
    options.noise = {*noiseFrom, *noiseTo};
    AnalysisError error;
    const auto design = DesignFromNoise(*clip, options, &error);
    if (!design)
        return call.out().failed(QStringLiteral("cannot design from %1: %2").arg(in, error.reason));
    const StageConfig stage2Before = model.stage(set, 2);
    QString why;
    if (!ApplyDesign(model, set, *design, withNotch, &why))
        return call.out().failed(QStringLiteral("cannot write the design into filter set %1: %2").arg(set).arg(why));
    if (!WriteSettingsFile(model, out, dialog))
        return call.out().failed(QStringLiteral("cannot write %1").arg(out));

    Record r;
    r.field(QStringLiteral("file"), out, QStringLiteral("Wrote"));
    r.field(QStringLiteral("set"), set, QStringLiteral("Filter set"));
    r.field(QStringLiteral("stage1"), FilterTypeDisplayText(SpectralEq), QStringLiteral("Stage 1"),
            QStringLiteral("Spectral Graphic Equalizer from the noise of %1 s to %2 s: the noise %3 dB, the "
                           "signal %4 dB")
                .arg(options.noise.fromSeconds, 0, 'f', 3)
                .arg(options.noise.toSeconds, 0, 'f', 3)
                .arg(-design->noiseCutDb, 0, 'f', 1)
                .arg(-design->signalLossDb, 0, 'f', 1));
    const StageConfig &s2 = model.stage(set, 2);
    if (withNotch) {
        const NotchProposal &n = design->notches.front();
        r.field(QStringLiteral("stage2"), FilterTypeDisplayText(Notch), QStringLiteral("Stage 2"),
                QStringLiteral("Notch at %1 Hz, width setting %2, depth %3 dB, on the tone at %4 Hz (%5 dBFS)")
                    .arg(s2.Freq1)
                    .arg(s2.Freq2)
                    .arg(s2.AttenDb)
                    .arg(n.tone.frequencyHz, 0, 'f', 2)
                    .arg(n.tone.levelDb, 0, 'f', 1));
    } else {
        r.field(QStringLiteral("stage2"), FilterTypeDisplayText(stage2Before.Type), QStringLiteral("Stage 2"),
                QStringLiteral("%1, as it was").arg(FilterTypeDisplayText(s2.Type)));
    }
    r.value(QStringLiteral("design"), design->toJson());
    for (const QString &line : design->describe().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        r.line(QStringLiteral("  ") + line);
    call.out().write(r);
    return kSuccess;
}

} // namespace

const Command kAnalyzeCommand{
    .name = "analyze",
    .summary = "the noise spectrum and the steady tones of an audio file",
    .arguments = {{"IN"}},
    .options = {{.name = "from", .valueName = "S", .help = "start of the region, seconds (default 0)"},
                {.name = "to", .valueName = "S", .help = "end of the region, seconds (default the end)"},
                JsonOption()},
    .description = "Reads IN (any file libsndfile reads; the channels are averaged) and prints, for the region\n"
                   "--from to --to: its level, the steady tones in it (carriers, hum, heterodynes, held notes)\n"
                   "strongest first with frequency, level, how far they stand out of the noise and how steady\n"
                   "they are, and the averaged noise spectrum in bands of about 1/6 octave with its spread\n"
                   "over time (10th and 90th percentile). A tone must stand 10 dB out of the noise around it\n"
                   "for 1 s in all; a tone lasting a second or more is placed within a small part of a Hz.\n",
    .exitStatus = "0 analysed, 1 IN cannot be read or the region is empty, outside the clip or\n"
                  "shorter than 50 ms, 2 usage error.",
    .run = runAnalyze,
};

const Command kDesignCommand{
    .name = "design",
    .summary = "design a filter set from the noise in a recording",
    .arguments = {{"FILE.min"}},
    .options = {SetOption(),
                {.name = "audio", .valueName = "IN", .help = "the recording", .required = true},
                {.name = "noise",
                 .valueName = "S-E",
                 .help = "a stretch of IN that holds only noise, seconds (0.5-2.25)",
                 .required = true},
                {.name = "notch", .help = "put a Notch on the strongest steady tone into Stage 2"},
                {.name = "o", .valueName = "OUT.min", .help = "the settings file to write", .required = true},
                JsonOption()},
    .description = "Reads FILE.min as File > Open does and IN, and designs from the noise of --noise against\n"
                   "the whole recording as the signal: Stage 1 of set N becomes a Spectral Graphic Equalizer\n"
                   "curve (0 to -40 dB) that cuts the bands where the noise outweighs the signal, with the\n"
                   "steady tones of the noise cut into it. With --notch Stage 2 becomes a Notch on the\n"
                   "strongest steady tone (its width from how much the tone wanders); otherwise Stage 2\n"
                   "stays as it was. The other sets are left alone. Writes OUT as File > Save As does and\n"
                   "prints what it designed.\n",
    .exitStatus = "0 written, 1 a file cannot be read or written, the noise region is empty, outside\n"
                  "the recording, too short or silent, or --notch finds no tone, 2 usage error.",
    .run = runDesign,
};

} // namespace korvane::cli
