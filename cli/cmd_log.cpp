// `log`: the programming log, one run per line.

#include "commands.h"

#include "device/programminglog.h"

#include <QDir>
#include <QJsonObject>

namespace korvane::cli {

namespace {

QString shown(const QJsonValue &v)
{
    if (v.isNull() || v.isUndefined())
        return QStringLiteral("-");
    if (v.isBool())
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    if (v.isDouble())
        return QString::number(v.toDouble());
    return v.toString();
}

int runLog(Invocation &call)
{
    QList<QJsonObject> lines;
    QString why;
    if (!ReadProgrammingLog(lines, &why))
        return call.out().failed(why);
    if (lines.isEmpty() && !call.out().json())
        call.out().note(
            QStringLiteral("No programming runs recorded in %1.").arg(QDir::toNativeSeparators(ProgrammingLogPath())));
    for (const QJsonObject &l : lines) {
        Record r;
        for (auto it = l.begin(); it != l.end(); ++it)
            r.value(it.key(), it.value());
        const QString device = l.value(QStringLiteral("byId")).toString().isEmpty()
            ? shown(l.value(QStringLiteral("device")))
            : l.value(QStringLiteral("byId")).toString();
        r.line(QStringLiteral("%1  %2  %3  filters %4  firmware %5 -> %6%7  %8")
                   .arg(shown(l.value(QStringLiteral("time"))), device, shown(l.value(QStringLiteral("outcome"))),
                        shown(l.value(QStringLiteral("filterCheck"))), shown(l.value(QStringLiteral("firmwareBefore"))),
                        shown(l.value(QStringLiteral("firmwareAfter"))),
                        l.value(QStringLiteral("reloaded")).toBool() ? QStringLiteral(" (reloaded)") : QString(),
                        shown(l.value(QStringLiteral("settingsFile")))));
        call.out().write(r);
    }
    return kSuccess;
}

} // namespace

const Command kLogCommand{
    .name = "log",
    .summary = "the programming log",
    .options = {JsonOption()},
    .description = "Prints the programming log, oldest run first: one line per programming run from the\n"
                   "window or korvane-s-cli, kept in ${XDG_STATE_HOME:-$HOME/.local/state}/korvane-s/\n"
                   "programming-log.jsonl. With --json each line is the log's own: time (UTC), device,\n"
                   "byId, comPort, settingsFile, settingsSha256, imageSha256, firmwareBefore,\n"
                   "firmwareAfter, reloaded, filterCheck, codeCheck, outcome, message, seconds.\n",
    .exitStatus = "0, 1 when the log cannot be read, 2 usage error.",
    .run = runLog,
};

} // namespace korvane::cli
