#pragma once
// A UserDialog for tests: records every call in order and answers from queues, so a test
// can check the exact title, text, icon and buttons of each message and script the user.

#include "config/userdialog.h"

#include <QStringList>

#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

namespace korvane::test {

// Thrown by ScriptedDialog::endProgram so a test can observe a fatal report.
struct ProgramEnded : std::runtime_error {
    ProgramEnded() : std::runtime_error("program ended") { }
};

struct RecordedMessage {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

class ScriptedDialog : public UserDialog {
public:
    enum class Event { Message, Beep, FileDialog, EndProgram };

    MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon icon,
                              MessageButtons buttons) override;
    void beep() override;
    std::optional<QString> askFileName(const FileDialogRequest &request) override;
    [[noreturn]] void endProgram() override;

    // Answers used in order; when a queue is empty, messages answer the first button
    // (Ok or Yes) and file dialogs cancel.
    std::deque<MessageAnswer> answers;
    std::deque<std::optional<QString>> fileAnswers;

    std::vector<Event> events;
    std::vector<RecordedMessage> messages;
    std::vector<FileDialogRequest> fileRequests;
    int beeps = 0;

    [[nodiscard]] QStringList titles() const;
    void clear();
};

} // namespace korvane::test
