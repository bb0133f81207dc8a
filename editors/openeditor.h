#pragma once
// Entry point from the main window to the editor windows.

#include "config/model.h"
#include "config/userdialog.h"
#include "editors/editorwindow.h"

#include <QString>

#include <memory>

class QWidget;

namespace korvane {

// A fresh, not yet shown editor window of filter type `type` (0..9) for
// FilterData[CurrentSet][CurrentStage], captioned with its own caption; nullptr for a type
// without editor.
[[nodiscard]] std::unique_ptr<EditorWindow> CreateStageEditor(QWidget *parent, Model &model, UserDialog &dialog,
                                                              int type);

// Opens, modally and freshly created, the editor of filter type `type` (0..9) for
// FilterData[CurrentSet][CurrentStage]; its caption is the editor's own caption followed by
// suffix (" Stage 1" / " Stage 2"). Returns false, doing nothing, for a type without editor.
bool OpenStageEditorWindow(QWidget *parent, Model &model, UserDialog &dialog, int type, const QString &suffix);

} // namespace korvane
