#pragma once
// The programming log: one line of JSON per programming run, from the window or the CLI, in
// programming-log.jsonl in the per-user state folder. Lines are only ever appended, each in
// one write(2) on a descriptor opened with O_APPEND under an exclusive flock, so runs that end
// at the same moment (several processors at once, the window and the CLI side by side) never
// interleave their lines.
//
// A line's keys: time (UTC, ISO 8601), device, byId, comPort, settingsFile, settingsSha256,
// imageSha256, firmwareBefore, firmwareAfter (null when unknown), reloaded, filterCheck,
// codeCheck ("valid", "failed", "not verified", "not run"), outcome, message.

#include <QJsonObject>
#include <QList>
#include <QString>

namespace korvane {

// <state folder>/programming-log.jsonl (XDG_STATE_HOME/korvane-s, see config/filelocations.h).
[[nodiscard]] QString ProgrammingLogPath();

// Appends line as one line of compact JSON, creating the folder and the file as needed.
// False with why (the path and the system's words) when it could not be written whole.
[[nodiscard]] bool AppendProgrammingLog(const QJsonObject &line, QString *why = nullptr,
                                        const QString &path = ProgrammingLogPath());

// The log's lines, oldest first; a line that is not a JSON object (a torn last line after a
// crash) is skipped. An absent log is empty. False with why when the file exists but cannot
// be read.
[[nodiscard]] bool ReadProgrammingLog(QList<QJsonObject> &lines, QString *why = nullptr,
                                      const QString &path = ProgrammingLogPath());

// SHA-256 of bytes, or of the file at path (empty when it cannot be read), as lower-case hex.
[[nodiscard]] QString Sha256Hex(const QByteArray &bytes);
[[nodiscard]] QString FileSha256Hex(const QString &path);

} // namespace korvane
