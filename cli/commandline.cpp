#include "commandline.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace korvane::cli {

namespace {

constexpr int kTextWidth = 79;    // help is wrapped to fit an 80-column terminal
constexpr int kOptionColumn = 20; // option help starts here (or on the next line)

const char kProgram[] = "korvane-s-cli";

QString dashed(const QString &name) { return (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name; }

QString spelled(const OptionSpec &o)
{
    QString s = dashed(QLatin1String(o.name));
    if (o.valueName)
        s += QLatin1Char(' ') + QLatin1String(o.valueName);
    return s;
}

// Words joined into lines of at most kTextWidth columns, the first word at firstColumn,
// later lines starting with indent spaces. A word is never split.
QString wrap(const QStringList &words, int firstColumn, int indent)
{
    QString text;
    int column = firstColumn;
    bool lineEmpty = true;
    for (const QString &w : words) {
        if (!lineEmpty && column + 1 + w.size() > kTextWidth) {
            text += QLatin1Char('\n') + QString(indent, QLatin1Char(' '));
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            text += QLatin1Char(' ');
            ++column;
        }
        text += w;
        column += int(w.size());
        lineEmpty = false;
    }
    return text;
}

// The arguments, then each option: required ones bare, others in brackets, an exclusive
// pair as "[--a | --b]".
QStringList synopsisWords(const Command &c, bool withOptional)
{
    QStringList words;
    for (const ArgumentSpec &a : c.arguments)
        words << QLatin1String(a.name);
    QStringList skipped;
    for (const OptionSpec &o : c.options) {
        const QString name = QLatin1String(o.name);
        if (skipped.contains(name) || (!o.required && !withOptional))
            continue;
        QString item = spelled(o);
        for (const auto &[a, b] : c.exclusive) {
            if (name == QLatin1String(a)) {
                for (const OptionSpec &other : c.options)
                    if (QLatin1String(other.name) == QLatin1String(b))
                        item += QStringLiteral(" | ") + spelled(other);
                skipped << QLatin1String(b);
            }
        }
        words << (o.required ? item : QLatin1Char('[') + item + QLatin1Char(']'));
    }
    return words;
}

QString rangeText(const Range &r) { return QStringLiteral("a number %1..%2").arg(r.min).arg(r.max); }

bool inRange(const QString &text, const Range &r)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    return ok && v >= r.min && v <= r.max;
}

} // namespace

OptionSpec PortOption(const char *help) { return {.name = "port", .valueName = "N", .help = help, .range = {1, 9}}; }

OptionSpec DeviceOption(const char *help) { return {.name = "device", .valueName = "PATH", .help = help}; }

OptionSpec LibDirOption()
{
    return {.name = "lib-dir",
            .valueName = "DIR",
            .help = "load libkorvanes.so from DIR (default: the program's folder,\nthen its private library folder)"};
}

OptionSpec JsonOption() { return {.name = "json", .help = "write the result as JSON, one object per line"}; }

OptionSpec SetOption()
{
    return {.name = "set", .valueName = "N", .help = "the filter set, 0..15", .range = {0, 15}, .required = true};
}

Invocation::Invocation(const Command &command, const QStringList &words) : command_(command)
{
    problem_ = parse(words);
    if (option("json"))
        output_.setJson(parser_.isSet(QStringLiteral("json")));
}

QString Invocation::parse(const QStringList &words)
{
    const QCommandLineOption helpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    parser_.addOption(helpOption);
    for (const OptionSpec &o : command_.options) {
        QCommandLineOption option(QLatin1String(o.name));
        if (o.valueName)
            option.setValueName(QLatin1String(o.valueName));
        parser_.addOption(option);
    }
    const bool parsed = parser_.parse(QStringList{QLatin1String(kProgram)} + words);
    help_ = parser_.isSet(helpOption);
    if (!parser_.unknownOptionNames().isEmpty())
        return QStringLiteral("unknown option %1").arg(dashed(parser_.unknownOptionNames().constFirst()));
    if (!parsed) { // "Missing value after '--port'."
        QString why = parser_.errorText();
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        return why.isEmpty() ? why : why.front().toLower() + why.mid(1);
    }

    positional_ = parser_.positionalArguments();
    if (positional_.size() > command_.arguments.size())
        return QStringLiteral("unexpected argument '%1'").arg(positional_.at(command_.arguments.size()));
    if (positional_.size() < command_.arguments.size()) {
        QStringList missing;
        for (qsizetype i = positional_.size(); i < command_.arguments.size(); ++i)
            missing << QLatin1String(command_.arguments.at(i).name);
        return QStringLiteral("missing %1").arg(missing.join(QLatin1Char(' ')));
    }
    for (qsizetype i = 0; i < positional_.size(); ++i) {
        const ArgumentSpec &a = command_.arguments.at(i);
        if (!a.range.empty() && !inRange(positional_.at(i), a.range))
            return QStringLiteral("%1 takes %2, not '%3'")
                .arg(QLatin1String(a.name), rangeText(a.range), positional_.at(i));
    }

    for (const OptionSpec &o : command_.options) {
        const QString name = QLatin1String(o.name);
        const QStringList given = parser_.isSet(name) ? parser_.values(name) : QStringList();
        if (o.required && !parser_.isSet(name))
            return QStringLiteral("missing %1").arg(spelled(o));
        if (!o.repeatable && parser_.optionNames().count(name) > 1)
            return QStringLiteral("%1 given more than once").arg(dashed(name));
        for (const QString &v : given)
            if (!o.range.empty() && !inRange(v, o.range))
                return QStringLiteral("%1 takes %2, not '%3'").arg(dashed(name), rangeText(o.range), v);
    }
    for (const auto &[a, b] : command_.exclusive) {
        if (parser_.isSet(QLatin1String(a)) && parser_.isSet(QLatin1String(b)))
            return QStringLiteral("%1 and %2 exclude each other")
                .arg(dashed(QLatin1String(a)), dashed(QLatin1String(b)));
    }
    return {};
}

const OptionSpec *Invocation::option(const char *name) const
{
    for (const OptionSpec &o : command_.options)
        if (std::strcmp(o.name, name) == 0)
            return &o;
    return nullptr;
}

bool Invocation::isSet(const char *name) const { return option(name) && parser_.isSet(QLatin1String(name)); }

QString Invocation::value(const char *name) const
{
    return isSet(name) ? parser_.value(QLatin1String(name)) : QString();
}

QStringList Invocation::values(const char *name) const
{
    return isSet(name) ? parser_.values(QLatin1String(name)) : QStringList();
}

std::optional<int> Invocation::optionInt(const char *name) const
{
    if (!isSet(name))
        return std::nullopt;
    return value(name).toInt();
}

int Invocation::usageError(const QString &problem)
{
    output_.progress().endLine();
    WriteText(
        QStringLiteral("%1: %2\n").arg(QLatin1String(kProgram), problem) + UsageText(command_)
            + QStringLiteral("(%1 %2 --help for details)\n").arg(QLatin1String(kProgram), QLatin1String(command_.name)),
        stderr);
    return kUsageError;
}

QString UsageText(const Command &command)
{
    const QString head = QStringLiteral("usage: %1 %2").arg(QLatin1String(kProgram), QLatin1String(command.name));
    const QStringList words = synopsisWords(command, true);
    if (words.isEmpty())
        return head + QLatin1Char('\n');
    return head + QLatin1Char(' ') + wrap(words, int(head.size()) + 1, int(head.size()) + 1) + QLatin1Char('\n');
}

QString HelpText(const Command &command)
{
    QString text = UsageText(command) + QLatin1Char('\n');
    if (*command.description)
        text += QLatin1String(command.description) + QLatin1Char('\n');
    text += QStringLiteral("options:\n");
    // "  --port N          help", the help's own lines under each other.
    auto entry = [&text](QString left, const char *help) {
        const QString indent(kOptionColumn, QLatin1Char(' '));
        left = QStringLiteral("  ") + left;
        left = left.size() + 2 > kOptionColumn ? left + QLatin1Char('\n') + indent : left.leftJustified(kOptionColumn);
        text += left + QString::fromLatin1(help).replace(QLatin1Char('\n'), QLatin1Char('\n') + indent)
            + QLatin1Char('\n');
    };
    for (const OptionSpec &o : command.options)
        entry(spelled(o), o.help);
    entry(QStringLiteral("-h, --help"), "show this help");
    return text + QStringLiteral("Exit status: %1\n").arg(QLatin1String(command.exitStatus));
}

QString CommandListText(const QList<const Command *> &commands)
{
    QString text = QStringLiteral("usage: %1 COMMAND [ARGS]   (COMMAND --help for details)\n"
                                  "       %1 --version\n\ncommands:\n")
                       .arg(QLatin1String(kProgram));
    QStringList heads;
    qsizetype width = 0;
    for (const Command *c : commands) {
        heads << (QStringList{QLatin1String(c->name)} + synopsisWords(*c, false)).join(QLatin1Char(' '));
        width = std::max(width, heads.last().size());
    }
    for (qsizetype i = 0; i < commands.size(); ++i)
        text += QStringLiteral("  %1  %2\n")
                    .arg(heads.at(i).leftJustified(width), QLatin1String(commands.at(i)->summary));
    return text;
}

namespace {

// The readers bound what a file can ask for; running out of memory anyway means the machine
// is short of it (or a limit is set on this process): a message and exit status 1, not an abort.
int runCatchingOutOfMemory(const Command &command, Invocation &call)
{
    try {
        return command.run(call);
    } catch (const std::bad_alloc &) {
        call.out().note(QStringLiteral("%1: %2 stopped: the system gave it no more memory. Close other programs, "
                                       "or work on a shorter file.")
                            .arg(QLatin1String(kProgram), QLatin1String(command.name)));
        return kFailed;
    }
}

} // namespace

int RunCommand(const Command &command, const QStringList &words)
{
    Invocation call(command, words);
    int status = kSuccess;
    if (call.helpRequested())
        WriteText(HelpText(command), stdout);
    else if (!call.problem().isEmpty())
        return call.usageError(call.problem());
    else
        status = runCatchingOutOfMemory(command, call);
    // A result that did not reach its reader (a full disk) is not a success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        call.out().note(QStringLiteral("%1: cannot write standard output: %2")
                            .arg(QLatin1String(kProgram), QString::fromLocal8Bit(std::strerror(error))));
        return status == kSuccess ? kFailed : status;
    }
    return status;
}

} // namespace korvane::cli
