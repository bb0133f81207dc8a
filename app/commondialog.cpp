#include "commondialog.h"

#include <QFileInfo>

namespace korvane {

std::optional<QString> CommonDialog::show(UserDialog &dialog, FileDialogRequest::Mode mode)
{
    FileDialogRequest request;
    request.mode = mode;
    request.filter = filter;
    request.fileName = fileName;
    request.initialDirectory = initialDirectory;
    request.confirmOverwrite = confirmOverwrite;
    std::optional<QString> chosen = dialog.askFileName(request);
    if (!chosen)
        return std::nullopt;
    fileName = *chosen;
    if (!chosen->isEmpty())
        initialDirectory = QFileInfo(*chosen).absolutePath();
    return chosen;
}

} // namespace korvane
