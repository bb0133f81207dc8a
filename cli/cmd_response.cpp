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

int runResponse(Invocation &call)
{
    const QString input = call.argument(0);
    const int set = *call.optionInt("set");
    const int points = call.optionInt("points").value_or(kDefaultResponsePoints);
    const QString csv = call.value("csv"), svg = call.value("svg"), png = call.value("png");
    QSize size(900, 520);
    if (call.isSet("size") && !parseSize(call.value("size"), size))
        return call.usageError(QStringLiteral("--size takes WxH, 200x150 to 8000x8000"));
    if (csv.isEmpty() && svg.isEmpty() && png.isEmpty())
        return call.usageError(QStringLiteral("give --csv, --svg or --png"));
    if (!png.isEmpty() && !qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        std::fputs("korvane-s-cli: drawing a PNG needs the graphics library, which could not start\n", stderr);
        return 1;
    }

    CliDialog dialog;
    Model model;
    if (!ReadSettingsLikeFileOpen(model, input, dialog))
        return 1;
    if (call.isSet("lib-dir"))
        SetKorvanesLocation(call.value("lib-dir"));

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
        return kFailed;
    }
    return kSuccess;
}

} // namespace

const Command kResponseCommand{
    .name = "response",
    .summary = "frequency response of a filter set",
    .arguments = {{"FILE.min"}},
    .options = {SetOption(),
                {.name = "csv",
                 .valueName = "OUT",
                 .help = "frequency_hz,stage1_db,stage2_db,cascade_db, one row per frequency\n"
                         "(a 1CH Adaptive stage has no fixed response: its column is empty);\n"
                         "OUT - writes to standard output"},
                {.name = "svg", .valueName = "OUT", .help = "the three curves on a chart, as SVG"},
                {.name = "png", .valueName = "OUT", .help = "the same chart as PNG"},
                {.name = "size", .valueName = "WxH", .help = "the chart's size in pixels (default 900x520)"},
                {.name = "points",
                 .valueName = "P",
                 .help = "frequencies from 0 to fs/2 (default 513, rounded up to 2^k + 1)",
                 .range = {2, 16385}},
                LibDirOption()},
    .description = "Reads FILE.min as File > Open does, builds filter set N (0..15) as the coefficient image\n"
                   "would carry it and writes its magnitude response from 0 Hz to half the sample rate.\n"
                   "At least one of --csv, --svg and --png is required. The 20-band file \"20Band\" is the\n"
                   "current folder's, else the program's own; what the image builder would have shown\n"
                   "is printed on standard error.\n",
    .exitStatus = "0 written, 1 the settings file or an output failed, or a stage of the set\n"
                  "cannot be built (the outputs are still written, that stage left out), 2 usage error.",
    .run = runResponse,
};

} // namespace korvane::cli
