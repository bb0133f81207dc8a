#pragma once
// The one catalogue of the messages that more than one part of the program shows: the window
// and the command-line tool take these words from here, so both say exactly the same thing.
// Multi-line texts are joined by kCR (config/userdialog.h); paths are shown with the
// platform's separators.

#include "config/userdialog.h"
#include "messages/programmingreport.h"

#include <QString>

namespace korvane {

// A message box: what UserDialog::showMessage is given.
struct UserMessage {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// The message for a programming report: "Success", "Programming Aborted", "Communications
// Error!", "Temporary File Error", "Error!" (firmware file, firmware version, stand-in, reload)
// or "COM Error!".
[[nodiscard]] UserMessage ProgrammingMessage(const ProgrammingReport &report);

// A self-test's result in one word for logs and JSON: "valid", "failed", "not verified",
// "not run".
[[nodiscard]] QString SelfTestWord(SelfTest result);
// The same for people: "verified (...)", "CHECKSUM FAILED", "not verified (...)".
[[nodiscard]] QString SelfTestText(SelfTest result);

// Shows the report's message through the dialog (OK button); its answer does not matter.
void ShowProgrammingReport(UserDialog &dialog, const ProgrammingReport &report);

// "Program All Filters?", asked with Yes and No before a programming run; anything but Yes
// leaves everything untouched.
[[nodiscard]] UserMessage ProgramAllQuestion();

// The port being probed during the search: "Port: COM " + port (1..9).
[[nodiscard]] QString ProbedPortText(int port);

// The three paragraphs shown while the firmware is reloaded (progress window's warning area).
struct FirmwareReloadNotice {
    QString wait;    // how long it takes
    QString why;     // why the memory is reset and the firmware reloaded
    QString warning; // what must not happen meanwhile (shown in red in the window)
};
[[nodiscard]] FirmwareReloadNotice FirmwareReloadTexts();

// What a view says when a request to stop (Ctrl-C, SIGTERM, SIGHUP) reaches a programming
// run: "Cancel requested", or, held while the firmware is being reloaded, that the reload
// goes on and the run is cancelled after it.
[[nodiscard]] QString StopRequestText(bool held);

// The warning that the machine may sleep during a programming run: no inhibitor of the login
// manager could be taken. problem: why, in the system's words ("no system bus").
[[nodiscard]] QString SleepNotPreventedText(const QString &problem);

// The warning when a run's line could not be added to the programming log (problem: the
// path and the system's words); the run itself stands.
[[nodiscard]] QString LogNotWrittenText(const QString &problem);

} // namespace korvane
