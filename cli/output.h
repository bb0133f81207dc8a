#pragma once
// Where korvane-s-cli writes: a command's result on stdout (as text, or with --json as one
// line of JSON per record), progress and notes on stderr.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace korvane::cli {

// text in the locale's encoding, as it is.
void WriteText(const QString &text, FILE *to);
// Text on stderr as it is (no line break added).
inline void WriteError(const QString &text) { WriteText(text, stderr); }

// One result of a command, filled once: each datum goes into the JSON object and, with its
// label, into the text lines, so the two forms cannot say different things.
class Record {
public:
    // fieldIndent starts each "label: text" line of field().
    explicit Record(QString fieldIndent = {}) : indent_(std::move(fieldIndent)) { }

    // value under key; the text line "label: text" (text defaults to the value printed).
    Record &field(const QString &key, const QJsonValue &value, const QString &label, const QString &text = {});
    // JSON only.
    Record &value(const QString &key, const QJsonValue &value);
    // Text only: one line, no line break.
    Record &line(const QString &text);
    // child's JSON appended to the array under key; its text lines follow this record's.
    Record &append(const QString &key, const Record &child);

    [[nodiscard]] const QJsonObject &json() const { return json_; }
    // The lines, each ending in a line break.
    [[nodiscard]] QString text() const;

private:
    QString indent_;
    QJsonObject json_;
    QStringList lines_;
};

// Progress on stderr. On a terminal one bar redrawn in place, "  [####      ] label";
// otherwise (a log, a pipe) a plain line "  label" each time the work passes another tenth,
// so a log holds about ten lines per bar.
class Progress {
public:
    Progress();
    ~Progress() { endLine(); }
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    // done of total (total > 0); the next bar after restart() starts its lines afresh.
    void step(qint64 done, qint64 total, const QString &label);
    void restart() { lastTenth_ = -1; }
    // Ends a bar being drawn, so that the next text starts on a line of its own.
    void endLine();

private:
    bool tty_;
    bool open_ = false;
    int lastTenth_ = -1;
    QString drawn_;
};

class Output {
public:
    void setJson(bool json) { json_ = json; }
    [[nodiscard]] bool json() const { return json_; }

    // The record on stdout: one line of compact JSON with --json, else its text.
    void write(const Record &record);
    // Text on stderr (a line break is added), after ending any progress bar.
    void note(const QString &text);
    // "korvane-s-cli: text" on stderr; returns exit status 1 for the command to return.
    int failed(const QString &text);

    Progress &progress() { return progress_; }

private:
    bool json_ = false;
    Progress progress_;
};

} // namespace korvane::cli
