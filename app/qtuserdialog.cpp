#include "qtuserdialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace korvane {

QStringList QtNameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
        QStringList patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (QString &p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*"))
                p = QStringLiteral("*");
        }
        const QString qtPatterns = patterns.isEmpty() ? QStringLiteral("*") : patterns.join(QLatin1Char(' '));
        // Drop a "(...)" the description already carries: it would compete with ours.
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0 && description.endsWith(QLatin1Char(')')))
            description = description.left(open).trimmed();
        out << QStringLiteral("%1 (%2)").arg(description, qtPatterns);
    }
    return out;
}

QString MessageDisplayText(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

namespace {
// The answer of the button that cancels: what Escape or the close box gives.
MessageAnswer cancellingAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::YesNoCancel:
    case MessageButtons::OkCancel:
        return MessageAnswer::Cancel;
    case MessageButtons::Ok:
        break;
    }
    return MessageAnswer::Ok;
}
} // namespace

MessageAnswer QtUserDialog::showMessage(const QString &title, const QString &text, MessageIcon icon,
                                        MessageButtons buttons)
{
    if (unattended_) {
        std::fprintf(stderr, "korvane-s: %s: %s\n", qPrintable(title), qPrintable(MessageDisplayText(text)));
        return cancellingAnswer(buttons);
    }
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case MessageIcon::None:
        qicon = QMessageBox::NoIcon;
        break;
    case MessageIcon::Information:
        qicon = QMessageBox::Information;
        break;
    case MessageIcon::Question:
        qicon = QMessageBox::Question;
        break;
    case MessageIcon::Exclamation:
        qicon = QMessageBox::Warning;
        break;
    case MessageIcon::Critical:
        qicon = QMessageBox::Critical;
        break;
    }
    QMessageBox::StandardButtons qbuttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    switch (buttons) {
    case MessageButtons::Ok:
        qbuttons = QMessageBox::Ok;
        defaultButton = QMessageBox::Ok;
        break;
    case MessageButtons::OkCancel:
        qbuttons = QMessageBox::Ok | QMessageBox::Cancel;
        defaultButton = QMessageBox::Ok;
        break;
    case MessageButtons::YesNo:
        qbuttons = QMessageBox::Yes | QMessageBox::No;
        defaultButton = QMessageBox::Yes;
        break;
    case MessageButtons::YesNoCancel:
        qbuttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        defaultButton = QMessageBox::Yes;
        break;
    }
    QMessageBox box(qicon, title, MessageDisplayText(text), qbuttons, owner());
    box.setTextFormat(Qt::PlainText);
    // A screen reader names the box by its title; the message itself it finds in the
    // description, whatever it makes of the labels inside.
    box.setAccessibleDescription(box.text());
    // The text can be selected and copied from the keyboard too (a path, an error to quote).
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.setDefaultButton(defaultButton);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    default:
        // Closed by Escape or the window's close button: the answer of the cancelling button.
        return cancellingAnswer(buttons);
    }
}

QWidget *QtUserDialog::owner() const
{
    // A modal window (an editor, the About window) is the one that asks while it is open;
    // otherwise the main window does.
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    return parent_;
}

void QtUserDialog::beep()
{
    if (!unattended_)
        QApplication::beep();
}

std::optional<QString> QtUserDialog::askFileName(const FileDialogRequest &request)
{
    if (unattended_)
        return std::nullopt;
    QFileDialog dlg(owner());
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool save = request.mode == FileDialogRequest::Mode::Save;
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    const QStringList filters = QtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        dlg.selectNameFilter(filters.first());
    }
    const QFileInfo offered(request.fileName);
    if (!request.fileName.isEmpty() && (offered.isAbsolute() || request.fileName.contains(QLatin1Char('/')))) {
        dlg.setDirectory(offered.absolutePath());
        dlg.selectFile(offered.fileName());
    } else {
        if (!request.initialDirectory.isEmpty())
            dlg.setDirectory(request.initialDirectory);
        if (!request.fileName.isEmpty())
            dlg.selectFile(request.fileName);
    }
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dlg.selectedFiles();
    if (chosen.isEmpty())
        return QString();
    return chosen.first();
}

void QtUserDialog::endProgram()
{
    std::fflush(nullptr);
    std::quick_exit(EXIT_FAILURE);
}

} // namespace korvane
