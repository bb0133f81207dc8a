#pragma once
// The one way the program's libraries talk to the user: message boxes, the beep, the file
// dialogs and ending the program after a fatal error. The GUI implements it with real Qt
// dialogs, the command-line tool with stderr, the tests with a scripted fake that records
// every call and answers from a queue.
//
// Message texts are the system's own: lines of a multi-line message are joined by a lone
// carriage return (character 13). Implementations that show text on screen split lines at
// it; the text passed in keeps it.

#include <QString>

#include <optional>

namespace korvane {

enum class MessageIcon { None, Information, Question, Exclamation, Critical };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Carriage return that joins the lines of a message.
inline const QString kCR = QStringLiteral("\r");

struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    // Pairs of description and pattern separated by '|', first pair preselected:
    // "Korvane-S Files (*.min)|*.min|All Files (*.*)|*.*".
    QString filter;
    QString fileName;         // offered file name (may hold a folder)
    QString initialDirectory; // folder shown first when fileName has none
    bool confirmOverwrite = false;
};

class UserDialog {
public:
    virtual ~UserDialog() = default;

    [[nodiscard]] virtual MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon icon,
                                                    MessageButtons buttons)
        = 0;
    virtual void beep() = 0;
    // The chosen path, or std::nullopt when the user cancelled.
    [[nodiscard]] virtual std::optional<QString> askFileName(const FileDialogRequest &request) = 0;
    // Ends the program at once after a fatal error has been shown. Never returns (a test
    // fake throws instead).
    [[noreturn]] virtual void endProgram() = 0;

    // Convenience for the many messages whose answer does not matter.
    void inform(const QString &title, const QString &text, MessageIcon icon,
                MessageButtons buttons = MessageButtons::Ok)
    {
        (void)showMessage(title, text, icon, buttons);
    }
};

} // namespace korvane
