#pragma once
// The UserDialog of the program: real Qt message boxes, the system beep and file dialogs.

#include "config/userdialog.h"

#include <QStringList>

class QWidget;

namespace korvane {

// Converts a filter of description and pattern pairs separated by '|'
// ("Korvane-S Files (*.min)|*.min|All Files (*.*)|*.*") into QFileDialog name filters
// ("Korvane-S Files (*.min)", "All Files (*)"). QFileDialog takes the patterns from the
// parentheses of each entry, so the pattern is written there; "*.*" becomes "*" because
// here, unlike on the system the filters were written for, "*.*" would hide names without
// a dot. A trailing description without pattern is dropped.
[[nodiscard]] QStringList QtNameFilters(const QString &filter);

// The text a message box shows: the lone carriage returns that join a message's lines
// become line breaks (CR LF stays one break).
[[nodiscard]] QString MessageDisplayText(const QString &text);

class QtUserDialog final : public UserDialog {
public:
    // parent: the window message boxes and file dialogs are centred on when no modal window
    // is open (may be null and may change, see setParent). While a modal window (an editor,
    // the About window) is open, they belong to it: the window that asks.
    explicit QtUserDialog(QWidget *parent = nullptr) : parent_(parent) { }
    void setParent(QWidget *parent) { parent_ = parent; }
    // No one is there to answer (the program was told to end by a signal): messages go to
    // stderr and get the answer of their cancelling button (No, Cancel, or Ok), file dialogs
    // are cancelled, and nothing beeps.
    void setUnattended(bool unattended) { unattended_ = unattended; }

    [[nodiscard]] MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon icon,
                                            MessageButtons buttons) override;
    void beep() override;
    [[nodiscard]] std::optional<QString> askFileName(const FileDialogRequest &request) override;
    [[noreturn]] void endProgram() override;

    [[nodiscard]] QWidget *owner() const;

private:
    QWidget *parent_;
    bool unattended_ = false;
};

} // namespace korvane
