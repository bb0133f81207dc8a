#pragma once
// The user-dialog interface without windows: every message goes to stderr as
// "title: text" (carriage returns become line breaks), questions answer with the first
// button, file dialogs cancel, a fatal report exits with status 1. A message starts on a
// line of its own after a progress bar that is being drawn.

#include "output.h"

#include "config/userdialog.h"

namespace korvane::cli {

class CliDialog : public UserDialog {
public:
    explicit CliDialog(Progress *progress = nullptr) : progress_(progress) { }
    MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon icon,
                              MessageButtons buttons) override;
    void beep() override { }
    std::optional<QString> askFileName(const FileDialogRequest &) override { return std::nullopt; }
    [[noreturn]] void endProgram() override;

    // Number of messages shown with an exclamation or critical icon.
    int errorsShown = 0;

private:
    Progress *progress_;
};

} // namespace korvane::cli
