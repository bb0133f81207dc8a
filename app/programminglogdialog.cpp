#include "programminglogdialog.h"

#include "device/programminglog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace korvane {

namespace {
QString cell(const QJsonValue &v)
{
    if (v.isDouble())
        return QString::number(v.toInt());
    if (v.isBool())
        return v.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    return v.isString() ? v.toString() : QStringLiteral("-");
}
} // namespace

QStandardItemModel *ProgrammingLogModel(const QList<QJsonObject> &lines, QObject *parent)
{
    auto *model = new QStandardItemModel(0, 8, parent);
    model->setHorizontalHeaderLabels({QStringLiteral("Time (UTC)"), QStringLiteral("Device"), QStringLiteral("Outcome"),
                                      QStringLiteral("Filters"), QStringLiteral("Firmware"), QStringLiteral("Reloaded"),
                                      QStringLiteral("Settings file"), QStringLiteral("Message")});
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QJsonObject &l = *it;
        const QString byId = l.value(QStringLiteral("byId")).toString();
        const QStringList texts{
            cell(l.value(QStringLiteral("time"))),
            byId.isEmpty() ? cell(l.value(QStringLiteral("device"))) : byId,
            cell(l.value(QStringLiteral("outcome"))),
            cell(l.value(QStringLiteral("filterCheck"))),
            cell(l.value(QStringLiteral("firmwareBefore"))) + QStringLiteral(" -> ")
                + cell(l.value(QStringLiteral("firmwareAfter"))),
            cell(l.value(QStringLiteral("reloaded"))),
            cell(l.value(QStringLiteral("settingsFile"))),
            cell(l.value(QStringLiteral("message"))),
        };
        QList<QStandardItem *> row;
        for (const QString &t : texts) {
            auto *item = new QStandardItem(t);
            item->setEditable(false);
            item->setToolTip(t);
            row << item;
        }
        model->appendRow(row);
    }
    return model;
}

ProgrammingLogDialog::ProgrammingLogDialog(QWidget *parent, const QString &path) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Programming Log"));
    const QString file = path.isEmpty() ? ProgrammingLogPath() : path;
    QList<QJsonObject> lines;
    QString why;
    const bool read = ReadProgrammingLog(lines, &why, file);
    auto *layout = new QVBoxLayout(this);
    auto *where = new QLabel(
        read ? QStringLiteral("%1 runs in %2").arg(lines.size()).arg(QDir::toNativeSeparators(file)) : why, this);
    where->setObjectName(QStringLiteral("logWhere"));
    where->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(where);
    auto *table = new QTableView(this);
    table->setObjectName(QStringLiteral("logTable"));
    table->setModel(ProgrammingLogModel(lines, table));
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->resizeColumnsToContents();
    // Tab leaves the table for the Close button; the arrows move between its cells.
    table->setTabKeyNavigation(false);
    layout->addWidget(table);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 400);
}

} // namespace korvane
