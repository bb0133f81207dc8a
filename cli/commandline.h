#pragma once
// The declarations every korvane-s-cli command is made of, and the one parser over them.
// A command declares its arguments and options once; from that the parser checks the words
// (unknown option, missing value, a number out of its range, a missing or extra argument),
// and `COMMAND --help`, the usage line of an error and the command list of `--help` are
// written. A new command is a Command value and one line in main.cpp's list, for example
//
//   int runLog(Invocation &call)
//   {
//       Record r;
//       r.field(QStringLiteral("runs"), count, QStringLiteral("Runs")); // JSON {"runs":3}, text "Runs: 3"
//       call.out().write(r);                                             // text, or JSON with --json
//       return kSuccess;
//   }
//   const Command kLogCommand{.name = "log", .summary = "the programming log",
//                             .options = {JsonOption()}, .run = runLog};
//
// plus `extern const Command kLogCommand;` in commands.h. A command returns kFailed after
// saying why (call.out().failed(...) or a UserDialog message) and call.usageError(...) for a
// problem with its words that the declaration cannot express.

#include "output.h"

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace korvane::cli {

// The process exit status of every command.
enum ExitStatus : int {
    kSuccess = 0,
    kFailed = 1,     // a file could not be read or written, the device operation failed
    kUsageError = 2, // the words do not fit the command's declaration
};

// An integer range; a value outside it is a usage error. Empty (the default) for text.
struct Range {
    int min = 0;
    int max = -1;
    [[nodiscard]] bool empty() const { return max < min; }
};

// An option: a name of one letter is written -x, any other --name.
struct OptionSpec {
    const char *name;
    const char *valueName = nullptr; // "N", "PATH": the option takes a value; null: a switch
    const char *help = "";           // may hold '\n'; wrapped by --help
    Range range = {};                // the value must be an integer in the range
    bool required = false;
    bool repeatable = false; // may be given more than once (values() has all of them)
};

// A positional argument: its name in the usage line, and an integer range when it is a number.
struct ArgumentSpec {
    const char *name;
    Range range = {};
};

class Invocation;

struct Command {
    const char *name;
    const char *summary; // one line for the command list of `korvane-s-cli --help`
    QList<ArgumentSpec> arguments = {};
    QList<OptionSpec> options = {};
    QList<QPair<const char *, const char *>> exclusive = {}; // options that exclude each other
    const char *description = "";                            // --help prose, pre-wrapped
    const char *exitStatus = "0 success, 1 failure, 2 usage error.";
    int (*run)(Invocation &) = nullptr;
};

// Options several commands share. The help text says what the option means for that command.
OptionSpec PortOption(const char *help);
OptionSpec DeviceOption(const char *help);
OptionSpec LibDirOption();
OptionSpec JsonOption();
OptionSpec SetOption();

// The words after the command name, checked against its declaration, and the output the
// command writes to.
class Invocation {
public:
    Invocation(const Command &command, const QStringList &words);

    [[nodiscard]] const Command &command() const { return command_; }
    [[nodiscard]] bool helpRequested() const { return help_; }
    // Empty when the words fit the declaration, else what is wrong ("unknown option --fast").
    [[nodiscard]] const QString &problem() const { return problem_; }

    // Positional argument index (0-based); every declared one is there once problem() is empty.
    [[nodiscard]] QString argument(int index) const { return positional_.value(index); }
    // A positional argument declared with a range (checked while parsing).
    [[nodiscard]] int argumentInt(int index) const { return positional_.value(index).toInt(); }
    [[nodiscard]] bool isSet(const char *option) const;
    // The last value given, or empty.
    [[nodiscard]] QString value(const char *option) const;
    [[nodiscard]] QStringList values(const char *option) const;
    // An option declared with a range (checked while parsing); nullopt when not given.
    [[nodiscard]] std::optional<int> optionInt(const char *option) const;

    // Prints "korvane-s-cli: problem" and the usage line on stderr; returns kUsageError.
    int usageError(const QString &problem);

    Output &out() { return output_; }

private:
    [[nodiscard]] const OptionSpec *option(const char *name) const;
    [[nodiscard]] QString parse(const QStringList &words);

    const Command &command_;
    QCommandLineParser parser_;
    QStringList positional_;
    bool help_ = false;
    QString problem_;
    Output output_;
};

// `usage: korvane-s-cli NAME ARGS [options]`, wrapped, ending in a line break.
[[nodiscard]] QString UsageText(const Command &command);
// The whole of `NAME --help`.
[[nodiscard]] QString HelpText(const Command &command);
// `korvane-s-cli --help`: the commands with their arguments and summaries.
[[nodiscard]] QString CommandListText(const QList<const Command *> &commands);

// Parses words for command and runs it: help, a usage error or the command's own status.
// A standard output that could not be written turns success into kFailed.
int RunCommand(const Command &command, const QStringList &words);

} // namespace korvane::cli
