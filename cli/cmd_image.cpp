// build-image and inspect: the coefficient image without the programming run.

#include "clidialog.h"
#include "commands.h"

#include "coefgen/coefimage.h"
#include "coefgen/imageinspect.h"
#include "coefgen/spectral.h"
#include "config/settingsfile.h"
#include "messages/usermessages.h"

#include <QFile>

#include <cstdio>

namespace korvane::cli {

namespace {

const char kBuildImageUsage[] = "usage: korvane-s-cli build-image FILE.min -o OUT.bin [--lib-dir DIR]\n"
                                "  Reads FILE.min as File > Open does and builds the coefficient image into OUT.bin\n"
                                "  (16 blocks of 1792 bytes). The 20-band equalizer file \"20Band\" is the current\n"
                                "  folder's, else the program's own; libkorvanes.so from DIR (default: the program's\n"
                                "  folder, then its private library folder).\n"
                                "  Exit status: 0 built, 1 the settings file or the image failed, 2 usage error.\n";

const char kInspectUsage[]
    = "usage: korvane-s-cli inspect IMAGE.bin\n"
      "  Decodes a coefficient image: per block the magic word, AGC and bandwidth bytes, both\n"
      "  stage headers, the first and centre taps, comb words, noise flag and checksum.\n"
      "  Exit status: 0 well formed, 1 unreadable or malformed (size, magic or checksum), 2 usage.\n";

} // namespace

int cmdBuildImage(const QStringList &args)
{
    if (wantsHelp(args, kBuildImageUsage))
        return 0;
    QString input;
    QString output;
    QString libDir;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (a == QLatin1String("-o") || a == QLatin1String("--lib-dir")) {
            if (i + 1 >= args.size())
                return usageError(kBuildImageUsage, QStringLiteral("%1 needs a value").arg(a));
            (a == QLatin1String("-o") ? output : libDir) = args[++i];
        } else if (a.startsWith(QLatin1Char('-'))) {
            return usageError(kBuildImageUsage, QStringLiteral("unknown option %1").arg(a));
        } else if (input.isEmpty()) {
            input = a;
        } else {
            return usageError(kBuildImageUsage, QStringLiteral("more than one settings file"));
        }
    }
    if (input.isEmpty() || output.isEmpty())
        return usageError(kBuildImageUsage, QStringLiteral("a settings file and -o OUT are required"));

    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, input, dialog))
        return 1;
    if (!libDir.isEmpty())
        SetKorvanesLocation(libDir);
    if (!BuildFilterImage(model, output, dialog)) {
        QString why;
        if (!BindCalculateIfft(&why))
            std::fprintf(stderr, "korvane-s-cli: korvanes: %s\n", qPrintable(why));
        ProgrammingReport report;
        report.outcome = ProgrammingReport::Outcome::ImageNotWritten;
        ShowProgrammingReport(dialog, report);
        return 1;
    }
    return 0;
}

int cmdInspect(const QStringList &args)
{
    if (wantsHelp(args, kInspectUsage))
        return 0;
    if (args.size() != 1 || args[0].startsWith(QLatin1Char('-')))
        return usageError(kInspectUsage, args.isEmpty() ? QStringLiteral("an image file is required") : QString());
    QFile file(args[0]);
    // A real image is 28672 bytes; read a little more so an oversized file shows as such.
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "korvane-s-cli: cannot open %s: %s\n", qPrintable(args[0]),
                     qPrintable(file.errorString()));
        return 1;
    }
    const QByteArray data = file.read(4 * kFilterImageSize);
    const DecodedImage image = DecodeFilterImage(data);
    std::fputs(qPrintable(DescribeFilterImage(image)), stdout);
    if (file.size() > data.size()) {
        std::fprintf(stderr, "korvane-s-cli: %s is %lld bytes; an image is %d\n", qPrintable(args[0]),
                     static_cast<long long>(file.size()), kFilterImageSize);
        return 1;
    }
    return image.wellFormed() ? 0 : 1;
}

} // namespace korvane::cli
