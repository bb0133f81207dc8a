#include "scripteddialog.h"

namespace korvane::test {

MessageAnswer ScriptedDialog::showMessage(const QString &title, const QString &text, MessageIcon icon,
                                          MessageButtons buttons)
{
    events.push_back(Event::Message);
    messages.push_back({title, text, icon, buttons});
    if (!answers.empty()) {
        const MessageAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel ? MessageAnswer::Yes
                                                                                      : MessageAnswer::Ok;
}

void ScriptedDialog::beep()
{
    events.push_back(Event::Beep);
    ++beeps;
}

std::optional<QString> ScriptedDialog::askFileName(const FileDialogRequest &request)
{
    events.push_back(Event::FileDialog);
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return std::nullopt;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

void ScriptedDialog::endProgram()
{
    events.push_back(Event::EndProgram);
    throw ProgramEnded();
}

QStringList ScriptedDialog::titles() const
{
    QStringList out;
    for (const auto &m : messages)
        out << m.title;
    return out;
}

void ScriptedDialog::clear()
{
    answers.clear();
    fileAnswers.clear();
    events.clear();
    messages.clear();
    fileRequests.clear();
    beeps = 0;
}

} // namespace korvane::test
