#pragma once
// Runs the built korvane-s-cli from the program folder (KORVANE_PROGRAM_DIR) and collects its
// exit status and output, for the tests of the command-line tool; and reads and writes the
// whole files that tests hand to the programs.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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

// A test of the programs with a fresh folder for the files it hands them (check isValid()).
class CliTest : public QObject {
protected:
    QTemporaryDir dir_;
    [[nodiscard]] QString path(const QString &name) const { return dir_.filePath(name); }
};

} // namespace korvane::test
