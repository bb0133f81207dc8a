#include "output.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace korvane::cli {

void WriteText(const QString &text, FILE *to) { std::fputs(text.toLocal8Bit().constData(), to); }

Record &Record::field(const QString &key, const QJsonValue &value, const QString &label, const QString &text)
{
    json_.insert(key, value);
    lines_ << indent_ + label + QStringLiteral(": ") + (text.isNull() ? value.toVariant().toString() : text);
    return *this;
}

Record &Record::value(const QString &key, const QJsonValue &value)
{
    json_.insert(key, value);
    return *this;
}

Record &Record::line(const QString &text)
{
    lines_ << text;
    return *this;
}

Record &Record::append(const QString &key, const Record &child)
{
    QJsonArray array = json_.value(key).toArray();
    array.append(child.json_);
    json_.insert(key, array);
    lines_ << child.lines_;
    return *this;
}

QString Record::text() const
{
    QString text;
    for (const QString &l : lines_)
        text += l + QLatin1Char('\n');
    return text;
}

Progress::Progress() : tty_(::isatty(STDERR_FILENO) == 1) { }

void Progress::step(qint64 done, qint64 total, const QString &label)
{
    total = std::max<qint64>(total, 1);
    done = std::clamp<qint64>(done, 0, total);
    if (tty_) {
        constexpr int kWidth = 40;
        const int filled = int(kWidth * done / total);
        const QString bar = QStringLiteral("\r  [%1%2] %3")
                                .arg(QString(filled, QLatin1Char('#')), QString(kWidth - filled, QLatin1Char(' ')),
                                     label);
        if (open_ && bar == drawn_)
            return;
        WriteText(bar, stderr);
        drawn_ = bar;
        open_ = true;
        return;
    }
    const int tenth = int(10 * done / total);
    if (tenth == lastTenth_)
        return;
    lastTenth_ = tenth;
    WriteText(QStringLiteral("  ") + label + QLatin1Char('\n'), stderr);
}

void Progress::endLine()
{
    if (open_)
        WriteText(QStringLiteral("\n"), stderr);
    open_ = false;
}

void Output::write(const Record &record)
{
    progress_.endLine();
    if (json_) {
        const QByteArray line = QJsonDocument(record.json()).toJson(QJsonDocument::Compact) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    } else {
        WriteText(record.text(), stdout);
    }
}

void Output::note(const QString &text)
{
    progress_.endLine();
    WriteText(text + QLatin1Char('\n'), stderr);
}

int Output::failed(const QString &text)
{
    note(QStringLiteral("korvane-s-cli: ") + text);
    return 1;
}

} // namespace korvane::cli
