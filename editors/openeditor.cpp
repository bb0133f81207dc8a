#include "openeditor.h"

#include "adaptiveeditor.h"
#include "eqeditor.h"
#include "parametriceditors.h"
#include "spectraleditor.h"
#include "typedfield.h"

namespace korvane {

namespace {

std::unique_ptr<EditorWindow> createEditor(QWidget *parent, Model &model, UserDialog &dialog, int type)
{
    switch (type) {
    case Adaptive1CH:
        return std::make_unique<Ctl1CH>(parent, model, dialog);
    case Lowpass:
        return std::make_unique<CtlLPF>(parent, model, dialog);
    case Highpass:
        return std::make_unique<CtlHPF>(parent, model, dialog);
    case Bandpass:
        return std::make_unique<CtlBPF>(parent, model, dialog);
    case Bandstop:
        return std::make_unique<CtlBSF>(parent, model, dialog);
    case Comb:
        return std::make_unique<CtlComb>(parent, model, dialog);
    case Notch:
        return std::make_unique<CtlNotch>(parent, model, dialog);
    case Slot:
        return std::make_unique<CtlSlot>(parent, model, dialog);
    case GraphicEq20:
        return std::make_unique<CtlEq>(parent, model, dialog);
    case SpectralEq:
        return std::make_unique<CtlSGE>(parent, model, dialog);
    default:
        return nullptr;
    }
}

} // namespace

std::unique_ptr<EditorWindow> CreateStageEditor(QWidget *parent, Model &model, UserDialog &dialog, int type)
{
    std::unique_ptr<EditorWindow> editor = createEditor(parent, model, dialog, type);
    // The adaptive filter follows the signal: it has no fixed response to show.
    if (editor && type != Adaptive1CH)
        editor->addResponsePlot();
    if (editor) {
        AddTypedFields(*editor, type, model.SampleRate(model.CurrentSet));
        editor->finishTabOrder();
    }
    return editor;
}

bool OpenStageEditorWindow(QWidget *parent, Model &model, UserDialog &dialog, int type, const QString &suffix)
{
    std::unique_ptr<EditorWindow> editor = CreateStageEditor(parent, model, dialog, type);
    if (!editor)
        return false;
    editor->setWindowTitle(editor->ownCaption() + suffix);
    editor->exec();
    return true;
}

} // namespace korvane
