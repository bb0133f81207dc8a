// render: an audio file through one filter set as the processor would run it.

#include "clidialog.h"
#include "commands.h"

#include "coefgen/spectral.h"
#include "filterpath/render.h"

#include <QElapsedTimer>

#include <cstdio>
#include <unistd.h>

namespace korvane::cli {

namespace {

const char kRenderUsage[]
    = "usage: korvane-s-cli render FILE.min --set N IN OUT [--stage 1|2|both] [--lib-dir DIR]\n"
      "  Reads FILE.min as File > Open does, builds filter set N (0..15) into the block that\n"
      "  filter.bin would carry and runs IN through it: each channel is converted to the set's\n"
      "  sample rate, filtered by Stage 1 then Stage 2 (or only the one --stage names) from the\n"
      "  block's 24-bit taps, comb words and adaptive settings, and converted back to IN's rate.\n"
      "  IN: any file libsndfile reads (WAV, FLAC, Ogg Vorbis, ...). OUT: .wav, .flac or .ogg.\n"
      "  A 1CH Adaptive stage is an approximation; the AGC and the broadband noise filter are\n"
      "  passed through (both said on standard error). The 20-band file \"20Band\" is read from\n"
      "  the current folder, libkorvanes.so from DIR (default: the program's folder).\n"
      "  Exit status: 0 written, 1 a file could not be read or written or the set cannot be\n"
      "  built, 2 usage error.\n";

void err(const QString &text) { std::fputs(qPrintable(text), stderr); }

// A bar redrawn in place on a terminal, a line per tenth otherwise; only for clips long
// enough to wait for.
class RenderProgress {
public:
    explicit RenderProgress(bool show) : m_show(show), m_tty(::isatty(STDERR_FILENO) == 1) { }
    ~RenderProgress()
    {
        if (m_open)
            err(QStringLiteral("\n"));
    }
    bool operator()(double f)
    {
        if (!m_show)
            return true;
        const int percent = static_cast<int>(f * 100.0);
        if (m_tty) {
            if (percent == m_last)
                return true;
            constexpr int width = 40;
            const int filled = width * percent / 100;
            err(QStringLiteral("\r  [%1%2] %3%")
                    .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')))
                    .arg(percent));
            m_open = true;
        } else if (percent / 10 != m_last / 10) {
            err(QStringLiteral("  rendered %1%\n").arg(percent / 10 * 10));
        }
        m_last = percent;
        return true;
    }

private:
    bool m_show;
    bool m_tty;
    bool m_open = false;
    int m_last = -1;
};

constexpr double kProgressFromSeconds = 10.0; // clips shorter than this render without a bar

} // namespace

int cmdRender(const QStringList &args)
{
    if (wantsHelp(args, kRenderUsage))
        return 0;
    QString settings, in, out, libDir;
    int set = -1;
    StageSelection stages = StageSelection::Both;
    QStringList positional;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("--set") || a == QLatin1String("--stage") || a == QLatin1String("--lib-dir")) {
            if (i + 1 >= args.size())
                return usageError(kRenderUsage, QStringLiteral("%1 needs a value").arg(a));
            const QString v = args[++i];
            if (a == QLatin1String("--set")) {
                bool ok = false;
                set = v.toInt(&ok);
                if (!ok || set < 0 || set >= kFilterSetCount)
                    return usageError(kRenderUsage, QStringLiteral("--set takes a filter set 0..15"));
            } else if (a == QLatin1String("--stage")) {
                if (v == QLatin1String("1"))
                    stages = StageSelection::Stage1;
                else if (v == QLatin1String("2"))
                    stages = StageSelection::Stage2;
                else if (v == QLatin1String("both"))
                    stages = StageSelection::Both;
                else
                    return usageError(kRenderUsage, QStringLiteral("--stage takes 1, 2 or both"));
            } else {
                libDir = v;
            }
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            return usageError(kRenderUsage, QStringLiteral("unknown option %1").arg(a));
        } else {
            positional << a;
        }
    }
    if (positional.size() != 3 || set < 0)
        return usageError(kRenderUsage,
                          QStringLiteral("a settings file, --set N, an input and an output file are required"));
    settings = positional[0];
    in = positional[1];
    out = positional[2];

    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, settings, dialog))
        return 1;
    if (!libDir.isEmpty())
        SetKorvanesLocation(libDir);
    QString why;
    const auto path = FilterPathForSet(model, set, dialog, &why);
    if (!path) {
        err(QStringLiteral("korvane-s-cli: %1\n").arg(why));
        return 1;
    }
    const auto clip = ReadAudioFile(in, &why);
    if (!clip) {
        err(QStringLiteral("korvane-s-cli: %1\n").arg(why));
        return 1;
    }
    if (clip->replacedSamples > 0)
        err(QStringLiteral("warning: %1 sample(s) of %2 are not numbers (NaN or infinite); they are rendered as "
                           "silence\n")
                .arg(static_cast<qulonglong>(clip->replacedSamples))
                .arg(in));
    err(QStringLiteral("filter set %1 at %2 Hz: stage 1 %3; stage 2 %4\n")
            .arg(set)
            .arg(path->sampleRate())
            .arg(path->stage(0).describe(path->sampleRate()), path->stage(1).describe(path->sampleRate())));
    for (const QString &note : path->notes())
        err(QStringLiteral("note: %1\n").arg(note));

    QElapsedTimer timer;
    timer.start();
    std::optional<AudioClip> rendered;
    {
        RenderProgress progress(clip->seconds() >= kProgressFromSeconds);
        rendered = RenderClip(*path, *clip, stages, std::ref(progress), &why);
    }
    if (!rendered) {
        err(QStringLiteral("korvane-s-cli: cannot render %1: %2\n").arg(in, why));
        return 1;
    }
    if (!WriteAudioFile(out, *rendered, &why)) {
        err(QStringLiteral("korvane-s-cli: %1\n").arg(why));
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    err(QStringLiteral("%1: %2 s of audio, %3 channel(s) at %4 Hz, rendered in %5 s\n")
            .arg(out)
            .arg(clip->seconds(), 0, 'f', 2)
            .arg(clip->channels)
            .arg(clip->sampleRate)
            .arg(seconds, 0, 'f', 2));
    return 0;
}

} // namespace korvane::cli
