#pragma once
// Runs the built korvane-s-cli from the program folder (KORVANE_PROGRAM_DIR) and collects its
// exit status and output, for the tests of the command-line tool; and reads and writes the
// whole files that tests hand to the programs.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace korvane::test {

struct Run {
    int exitCode = -1; // -1 when the tool did not finish within 30 s or crashed
    QString out;
    QString err;
};

[[nodiscard]] QString programDir();
[[nodiscard]] Run runCli(const QStringList &args, const QString &workingDir = {});
// The whole file, or empty when it cannot be read.
[[nodiscard]] QByteArray readAll(const QString &path);
// Replaces the file with bytes; false when it cannot be opened or not all of it was written.
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes);

} // namespace korvane::test
