// render: an audio file through one filter set as the processor would run it.

#include "clidialog.h"
#include "commands.h"

#include "coefgen/spectral.h"
#include "filterpath/render.h"
#include "output.h"

#include <QElapsedTimer>

#include <cstdio>

namespace korvane::cli {

namespace {

constexpr double kProgressFromSeconds = 10.0; // clips shorter than this render without a bar

int runRender(Invocation &call)
{
    const int set = *call.optionInt("set");
    StageSelection stages = StageSelection::Both;
    if (const QString v = call.value("stage"); v == QLatin1String("1"))
        stages = StageSelection::Stage1;
    else if (v == QLatin1String("2"))
        stages = StageSelection::Stage2;
    else if (call.isSet("stage") && v != QLatin1String("both"))
        return call.usageError(QStringLiteral("--stage takes 1, 2 or both"));
    const QString settings = call.argument(0);
    const QString in = call.argument(1);
    const QString out = call.argument(2);
    const QString libDir = call.value("lib-dir");

    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, settings, dialog))
        return 1;
    if (!libDir.isEmpty())
        SetKorvanesLocation(libDir);
    QString why;
    const auto path = FilterPathForSet(model, set, dialog, &why);
    if (!path) {
        WriteError(QStringLiteral("korvane-s-cli: %1\n").arg(why));
        return 1;
    }
    const auto clip = ReadAudioFile(in, &why);
    if (!clip) {
        WriteError(QStringLiteral("korvane-s-cli: %1\n").arg(why));
        return 1;
    }
    if (clip->replacedSamples > 0)
        WriteError(QStringLiteral("warning: %1 sample(s) of %2 are not numbers (NaN or infinite); they are rendered as "
                                  "silence\n")
                       .arg(static_cast<qulonglong>(clip->replacedSamples))
                       .arg(in));
    WriteError(QStringLiteral("filter set %1 at %2 Hz: stage 1 %3; stage 2 %4\n")
                   .arg(set)
                   .arg(path->sampleRate())
                   .arg(path->stage(0).describe(path->sampleRate()), path->stage(1).describe(path->sampleRate())));
    for (const QString &note : path->notes())
        WriteError(QStringLiteral("note: %1\n").arg(note));

    QElapsedTimer timer;
    timer.start();
    std::optional<AudioClip> rendered;
    {
        Progress &bar = call.out().progress();
        const bool showBar = clip->seconds() >= kProgressFromSeconds;
        rendered = RenderClip(
            *path, *clip, stages,
            [&bar, showBar](double f) {
                if (showBar)
                    bar.step(qint64(f * 100), 100, QStringLiteral("rendered %1%").arg(int(f * 100)));
                return true;
            },
            &why);
        bar.endLine();
    }
    if (!rendered) {
        WriteError(QStringLiteral("korvane-s-cli: cannot render %1: %2\n").arg(in, why));
        return 1;
    }
    if (!WriteAudioFile(out, *rendered, &why)) {
        WriteError(QStringLiteral("korvane-s-cli: %1\n").arg(why));
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    WriteError(QStringLiteral("%1: %2 s of audio, %3 channel(s) at %4 Hz, rendered in %5 s\n")
                   .arg(out)
                   .arg(clip->seconds(), 0, 'f', 2)
                   .arg(clip->channels)
                   .arg(clip->sampleRate)
                   .arg(seconds, 0, 'f', 2));
    return kSuccess;
}

} // namespace

const Command kRenderCommand{
    .name = "render",
    .summary = "play an audio file through a filter set",
    .arguments = {{"FILE.min"}, {"IN"}, {"OUT"}},
    .options = {SetOption(),
                {.name = "stage", .valueName = "1|2|both", .help = "run only that stage (default: both)"},
                LibDirOption()},
    .description = "Reads FILE.min as File > Open does, builds filter set N (0..15) into the block that\n"
                   "filter.bin would carry and runs IN through it: each channel is converted to the set's\n"
                   "sample rate, filtered by Stage 1 then Stage 2 (or only the one --stage names) from the\n"
                   "block's 24-bit taps, comb words and adaptive settings, and converted back to IN's rate.\n"
                   "IN: any file libsndfile reads (WAV, FLAC, Ogg Vorbis, ...). OUT: .wav, .flac or .ogg.\n"
                   "A 1CH Adaptive stage is an approximation; the AGC and the broadband noise filter are\n"
                   "passed through (both said on standard error). The 20-band file \"20Band\" is read from\n"
                   "the current folder. Clips of 10 s or more show their progress on standard error.\n",
    .exitStatus = "0 written, 1 a file could not be read or written or the set cannot be\n"
                  "built, 2 usage error.",
    .run = runRender,
};

} // namespace korvane::cli
