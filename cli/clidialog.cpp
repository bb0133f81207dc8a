#include "clidialog.h"

#include <cstdio>
#include <cstdlib>

namespace korvane::cli {

MessageAnswer CliDialog::showMessage(const QString &title, const QString &text, MessageIcon icon,
                                     MessageButtons buttons)
{
    if (icon == MessageIcon::Exclamation || icon == MessageIcon::Critical)
        ++errorsShown;
    if (progress_)
        progress_->endLine();
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(shown));
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

void CliDialog::endProgram()
{
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace korvane::cli
