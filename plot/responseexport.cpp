#include "responseexport.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QSaveFile>

namespace korvane {

namespace {
QString dbText(const std::vector<double> &curve, int j)
{
    return curve.empty() ? QString() : QString::number(curve[j], 'f', 4);
}
} // namespace

QByteArray ResponseCsv(const SetResponse &r)
{
    QByteArray out = "frequency_hz,stage1_db,stage2_db,cascade_db\n";
    for (int j = 0; j < r.points(); ++j) {
        out += QStringLiteral("%1,%2,%3,%4\n")
                   .arg(QString::number(r.frequency[j], 'g', 10), dbText(r.stages[0].db, j), dbText(r.stages[1].db, j),
                        dbText(r.cascade, j))
                   .toUtf8();
    }
    return out;
}

ResponseFileFormat ResponseFileFormatOf(const QString &path)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == QLatin1String("csv"))
        return ResponseFileFormat::Csv;
    if (ext == QLatin1String("svg"))
        return ResponseFileFormat::Svg;
    return ResponseFileFormat::Png;
}

QByteArray ResponseFileContent(const SetResponse &response, ResponseFileFormat format, QSize size)
{
    switch (format) {
    case ResponseFileFormat::Csv:
        return ResponseCsv(response);
    case ResponseFileFormat::Svg:
        return ChartSvg(ChartFromResponse(response), size);
    case ResponseFileFormat::Png: {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!RenderChart(ChartFromResponse(response), size).save(&buffer, "PNG"))
            return {};
        return bytes;
    }
    }
    return {};
}

bool WriteResponseFile(const QString &path, const SetResponse &response, ResponseFileFormat format, QString *error,
                       QSize size)
{
    const QByteArray content = ResponseFileContent(response, format, size);
    QSaveFile f(path);
    const bool ok = !content.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(content) == content.size()
        && f.commit();
    if (!ok && error)
        *error = content.isEmpty() ? QStringLiteral("the image could not be encoded") : f.errorString();
    return ok;
}

} // namespace korvane
