#pragma once
// dlgCommonDialog: the main window's one file dialog. Its file name, filter and folder
// persist between uses, so File > Open, File > Save As and the coefficient import see what
// the previous command left there.

#include "config/userdialog.h"

#include <QString>

#include <optional>

namespace korvane {

inline const QString kSettingsFileFilter = QStringLiteral("Korvane-S Files (*.min)|*.min|All Files (*.*)|*.*");
inline const QString kCoefficientFileFilter = QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*");

class CommonDialog {
public:
    QString fileName;         // last name chosen or offered (may hold a folder)
    QString filter;           // "Desc|pattern|Desc|pattern"
    QString initialDirectory; // folder shown when fileName holds none
    bool confirmOverwrite = false;

    // Shows the dialog through `dialog`. On a choice the chosen path becomes fileName and
    // its folder initialDirectory; on cancel nothing changes and the result is nullopt.
    [[nodiscard]] std::optional<QString> show(UserDialog &dialog, FileDialogRequest::Mode mode);
};

} // namespace korvane
