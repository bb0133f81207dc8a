#pragma once
// The field beside an editor's bar where the user types the value in the unit the bar's label
// shows. Enter (or leaving the field) moves the bar to the nearest stored integer that shows
// the typed value (edits/typedvalue.h); every move of any bar of the window refreshes the
// fields, so a slope field follows its cutoff bar. Enter in a field applies the value and
// leaves the window open; OK still saves.

#include "edits/typedvalue.h"

#include <QLineEdit>

namespace korvane {

class SettingBar;

class TypedField final : public QLineEdit {
    Q_OBJECT
public:
    TypedField(SettingBar *bar, TypedFieldDef def, BarValueLookup bars, QWidget *parent = nullptr);

    // Shows the figure of the bar's present value (unless the user is typing in the field).
    void refresh();
    // Moves the bar to the typed value; a text without a number puts the shown figure back.
    void apply();

    [[nodiscard]] SettingBar *bar() const { return bar_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void markValidity();

    SettingBar *bar_;
    TypedFieldDef def_;
    BarValueLookup bars_;
};

// Adds the fields of an editor of filter type `type` (TypedFieldsOfEditor) beside its bars,
// found by their object names. Call before the window is first shown.
void AddTypedFields(QWidget &editor, int type, int sampleRate);

} // namespace korvane
