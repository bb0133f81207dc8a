// response: the frequency response of one filter set, from the taps the image would carry,
// as CSV, SVG or PNG.

#include "clidialog.h"
#include "commands.h"

#include "coefgen/response.h"
#include "coefgen/spectral.h"
#include "config/settingsfile.h"
#include "plot/responsechart.h"
#include "plot/responseexport.h"

#include <QFile>
#include <QGuiApplication>
#include <QSaveFile>

#include <cstdio>

namespace korvane::cli {

namespace {

const char kResponseUsage[]
    = "usage: korvane-s-cli response FILE.min --set N [--csv OUT] [--svg OUT] [--png OUT]\n"
      "                              [--size WxH] [--points P] [--lib-dir DIR]\n"
      "  Reads FILE.min as File > Open does, builds filter set N (0..15) as the coefficient image\n"
      "  would carry it and writes its magnitude response from 0 Hz to half the sample rate:\n"
      "    --csv OUT  frequency_hz,stage1_db,stage2_db,cascade_db, one row per frequency\n"
      "               (a 1CH Adaptive stage has no fixed response: its column is empty);\n"
      "               OUT - writes to standard output\n"
      "    --svg OUT, --png OUT  the three curves on a chart of WxH pixels (default 900x520)\n"
      "    --points P  frequencies from 0 to fs/2 (default 513, rounded up to 2^k + 1)\n"
      "  At least one output is required. The 20-band file \"20Band\" is the current folder's,\n"
      "  else the program's own; libkorvanes.so from DIR (default: the program's folder); what\n"
      "  the image builder\n"
      "  would have shown is printed on standard error.\n"
      "  Exit status: 0 written, 1 the settings file or an output failed, or a stage of the set\n"
      "  cannot be built (the outputs are still written, that stage left out), 2 usage error.\n";

bool writeFile(const QString &path, const QByteArray &data)
{
    if (path == QLatin1String("-"))
        return std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), stdout)
            == static_cast<size_t>(data.size());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit()) {
        std::fprintf(stderr, "korvane-s-cli: cannot write %s: %s\n", qPrintable(path), qPrintable(f.errorString()));
        return false;
    }
    return true;
}

bool parseSize(const QString &text, QSize &size)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool okW = false, okH = false;
    if (parts.size() != 2)
        return false;
    const int w = parts[0].toInt(&okW), h = parts[1].toInt(&okH);
    if (!okW || !okH || w < 200 || h < 150 || w > 8000 || h > 8000)
        return false;
    size = QSize(w, h);
    return true;
}

} // namespace

int cmdResponse(const QStringList &args)
{
    if (wantsHelp(args, kResponseUsage))
        return 0;
    QString input, csv, svg, png, libDir;
    int set = -1;
    int points = kDefaultResponsePoints;
    QSize size(900, 520);
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        static const QStringList withValue = {
            QStringLiteral("--set"),  QStringLiteral("--csv"),    QStringLiteral("--svg"),    QStringLiteral("--png"),
            QStringLiteral("--size"), QStringLiteral("--points"), QStringLiteral("--lib-dir")};
        if (withValue.contains(a)) {
            if (i + 1 >= args.size())
                return usageError(kResponseUsage, QStringLiteral("%1 needs a value").arg(a));
            const QString v = args[++i];
            bool ok = true;
            if (a == QLatin1String("--set")) {
                set = v.toInt(&ok);
                if (!ok || set < 0 || set >= kFilterSetCount)
                    return usageError(kResponseUsage, QStringLiteral("--set takes a filter set 0..15"));
            } else if (a == QLatin1String("--points")) {
                points = v.toInt(&ok);
                if (!ok || points < 2 || points > 16385)
                    return usageError(kResponseUsage, QStringLiteral("--points takes 2..16385"));
            } else if (a == QLatin1String("--size")) {
                if (!parseSize(v, size))
                    return usageError(kResponseUsage, QStringLiteral("--size takes WxH, 200x150 to 8000x8000"));
            } else {
                (a == QLatin1String("--csv")       ? csv
                     : a == QLatin1String("--svg") ? svg
                     : a == QLatin1String("--png") ? png
                                                   : libDir)
                    = v;
            }
        } else if (a.startsWith(QLatin1Char('-'))) {
            return usageError(kResponseUsage, QStringLiteral("unknown option %1").arg(a));
        } else if (input.isEmpty()) {
            input = a;
        } else {
            return usageError(kResponseUsage, QStringLiteral("more than one settings file"));
        }
    }
    if (input.isEmpty() || set < 0)
        return usageError(kResponseUsage, QStringLiteral("a settings file and --set N are required"));
    if (csv.isEmpty() && svg.isEmpty() && png.isEmpty())
        return usageError(kResponseUsage, QStringLiteral("give --csv, --svg or --png"));
    if (!png.isEmpty() && !qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        std::fputs("korvane-s-cli: drawing a PNG needs the graphics library, which could not start\n", stderr);
        return 1;
    }

    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, input, dialog))
        return 1;
    if (!libDir.isEmpty())
        SetKorvanesLocation(libDir);

    ResponseEngine engine(points);
    const SetResponse r = engine.setResponse(model, set);
    for (const QString &p : r.problems)
        std::fprintf(stderr, "%s\n", qPrintable(p));

    bool written = true;
    if (!csv.isEmpty())
        written = writeFile(csv, ResponseCsv(r)) && written;
    const ResponseChart chart = ChartFromResponse(r);
    if (!svg.isEmpty())
        written = writeFile(svg, ChartSvg(chart, size)) && written;
    if (!png.isEmpty()) {
        const QImage image = RenderChart(chart, size);
        QSaveFile f(png);
        if (!f.open(QIODevice::WriteOnly) || !image.save(&f, "PNG") || !f.commit()) {
            std::fprintf(stderr, "korvane-s-cli: cannot write %s\n", qPrintable(png));
            written = false;
        }
    }
    if (!written)
        return 1;
    if (!r.blockBuilt) {
        std::fprintf(stderr, "korvane-s-cli: filter set %d cannot be built into the coefficient image\n", set);
        return 1;
    }
    return 0;
}

} // namespace korvane::cli
