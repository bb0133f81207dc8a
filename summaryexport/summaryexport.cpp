#include "summaryexport.h"

#include "edits/stagesummary.h"

#include "coefgen/response.h"
#include "plot/responsechart.h"

#include <QSaveFile>

namespace korvane {

namespace {
constexpr QSize kChartSize{720, 400};

QString esc(const QString &text) { return text.toHtmlEscaped(); }
} // namespace

QByteArray SummaryHtml(const Model &model, const QString &title)
{
    QString html;
    html += QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>") + esc(title)
        + QStringLiteral("</title>\n<style>body{font-family:sans-serif;margin:2em}section{margin-bottom:2em}"
                         "table{border-collapse:collapse}td,th{padding:2px 10px;text-align:left}"
                         ".pass{color:#777}</style>\n</head><body>\n<h1>")
        + esc(title) + QStringLiteral("</h1>\n");
    ResponseEngine engine;
    for (int set = 0; set < kFilterSetCount; ++set) {
        const StageConfig &s1 = model.stage(set, 1);
        const bool pass = IsPassThroughSet(model, set);
        html += QStringLiteral("<section id=\"filter%1\"%2>\n<h2>Filter %1%3</h2>\n<table>\n")
                    .arg(set)
                    .arg(pass ? QStringLiteral(" class=\"pass\"") : QString())
                    .arg(pass ? QStringLiteral(" (pass-through)") : QString());
        for (int stage = 1; stage <= 2; ++stage)
            html += QStringLiteral("<tr><th>Stage %1</th><td>%2</td></tr>\n")
                        .arg(stage)
                        .arg(esc(StageSummary(model, set, stage)));
        html += QStringLiteral("<tr><th>AGC</th><td>%1</td></tr>\n<tr><th>Bandwidth</th><td>%2</td></tr>\n"
                               "<tr><th>Broadband Noise Filter</th><td>%3</td></tr>\n</table>\n")
                    .arg(esc(AgcDisplayText(s1.Agc)), esc(BandwidthDisplayText(s1.Bandwidth)),
                         s1.NoiseFilter != kFalse ? QStringLiteral("on") : QStringLiteral("off"));
        {
            const SetResponse response = engine.setResponse(model, set);
            const QByteArray svg = ChartSvg(ChartFromResponse(response), kChartSize);
            html += QStringLiteral("<img alt=\"Response of Filter %1\" width=\"%2\" height=\"%3\" "
                                   "src=\"data:image/svg+xml;base64,%4\">\n")
                        .arg(set)
                        .arg(kChartSize.width())
                        .arg(kChartSize.height())
                        .arg(QString::fromLatin1(svg.toBase64()));
            for (const QString &p : response.problems)
                html += QStringLiteral("<p>") + esc(p) + QStringLiteral("</p>\n");
        }
        html += QStringLiteral("</section>\n");
    }
    html += QStringLiteral("</body></html>\n");
    return html.toUtf8();
}

bool WriteSummaryHtml(const Model &model, const QString &title, const QString &path, QString *error)
{
    const QByteArray content = SummaryHtml(model, title);
    QSaveFile f(path);
    const bool ok = f.open(QIODevice::WriteOnly) && f.write(content) == content.size() && f.commit();
    if (!ok && error)
        *error = f.errorString();
    return ok;
}

} // namespace korvane
