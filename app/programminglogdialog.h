#pragma once
// Help > Programming Log: the programming log as a table, newest run first, one row per run.
// The table is a plain model built from the log's parsed lines (ProgrammingLogModel), which
// the window only shows.

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QStandardItemModel>

namespace korvane {

// Columns: time, device, outcome, filters, firmware (before -> after), reloaded, settings
// file, message; newest line first. Each cell's tool tip holds its full text.
[[nodiscard]] QStandardItemModel *ProgrammingLogModel(const QList<QJsonObject> &lines, QObject *parent);

class ProgrammingLogDialog : public QDialog {
public:
    // Reads the log at path (default: the user's programming log).
    explicit ProgrammingLogDialog(QWidget *parent = nullptr, const QString &path = {});
};

} // namespace korvane
