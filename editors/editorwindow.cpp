#include "editorwindow.h"

#include "settingbar.h"
#include "typedfield.h"
#include "windowplacement.h"

#include "coefgen/response.h"
#include "config/stagelimits.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace korvane {

EditorWindow::EditorWindow(QWidget *parent, Model &model, UserDialog &dialog, const QString &caption,
                           bool centreOnScreen)
    : QDialog(parent), model_(model), dialog_(dialog), ownCaption_(caption), centreOnScreen_(centreOnScreen)
{
    setWindowTitle(caption);
    setModal(true);
    outer_ = new QVBoxLayout(this);
    contentRow_ = new QHBoxLayout;
    controls_ = new QWidget(this);
    controls_->setObjectName(QStringLiteral("controlsPanel"));
    contentRow_->addWidget(controls_);
    outer_->addLayout(contentRow_);
    buttonRow_ = new QHBoxLayout;
    buttonRow_->addStretch(1);
    outer_->addLayout(buttonRow_);
}

void EditorWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!centred_ && screen()) {
        if (centreOnScreen_)
            CentreOnScreen(this);
        KeepOnScreen(this);
    }
    centred_ = true;
}

void EditorWindow::done(int result)
{
    if (!closing_) {
        closing_ = true;
        prepareClose();
        const StageConfig edited = controlsValue();
        // Floats compare by value, as the stored curve always has: an untouched window never
        // asks, and when nothing differs the record is not written at all.
        const bool changed = edited != record();
        MessageAnswer answer = MessageAnswer::Ok;
        if (confirmOnClose_ && changed)
            answer = dialog_.showMessage(kSaveQuestionTitle, kSaveQuestionText, MessageIcon::Exclamation,
                                         MessageButtons::OkCancel);
        // The opener records the change as one undo step around the whole opening.
        if (answer == MessageAnswer::Ok && changed)
            record() = edited;
    }
    QDialog::done(result);
}

void EditorWindow::finishTabOrder()
{
    // The fields are added after the whole window is built: each goes after its bar (a bar's
    // second field after its first).
    QWidget *previous = nullptr;
    for (TypedField *field : findChildren<TypedField *>()) {
        QWidget *after = previous && qobject_cast<TypedField *>(previous)
                && static_cast<TypedField *>(previous)->bar() == field->bar()
            ? previous
            : field->bar();
        setTabOrder(after, field);
        previous = field;
    }
    // The bottom row was made before the response plot: it goes last.
    QList<QWidget *> row;
    for (int i = 0; i < buttonRow_->count(); ++i)
        if (QWidget *w = buttonRow_->itemAt(i)->widget())
            row << w;
    if (row.isEmpty())
        return;
    QWidget *last = nullptr; // the last control that takes the focus (setTabOrder ignores others)
    for (QWidget *w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain())
        if (!row.contains(w) && w->focusPolicy() != Qt::NoFocus)
            last = w;
    for (QWidget *w : row) {
        if (last)
            setTabOrder(last, w);
        last = w;
    }
}

bool EditorWindow::hasUnsavedChanges() const { return controlsValue() != record(); }

QPushButton *EditorWindow::makeButton(const QString &name, const QString &text, const QString &toolTip)
{
    auto *b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setToolTip(toolTip);
    b->setAutoDefault(false);
    return b;
}

QPushButton *EditorWindow::makeOkButton(const QString &name, const QString &toolTip)
{
    QPushButton *b = makeButton(name, tr("&OK"), toolTip);
    b->setDefault(true);
    connect(b, &QPushButton::clicked, this, [this] {
        confirmOnClose_ = false;
        accept();
    });
    return b;
}

QPushButton *EditorWindow::makeCancelButton(const QString &name, const QString &toolTip)
{
    QPushButton *b = makeButton(name, tr("&Cancel"), toolTip);
    connect(b, &QPushButton::clicked, this, &QDialog::reject);
    return b;
}

QLabel *EditorWindow::makeLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

SettingBar *EditorWindow::makeBar(const StageLimit &limit, QWidget *parent)
{
    auto *bar = new SettingBar(Qt::Horizontal, parent);
    ApplyStageLimit(*bar, limit, maxFrequency());
    bar->setMinimumWidth(260);
    return bar;
}

SettingBar *EditorWindow::addBarFrame(QBoxLayout *into, const QString &caption, const StageLimit &limit,
                                      const QString &valueName, QLabel **valueLabel, const QString &unitName)
{
    auto *frame = new QGroupBox(caption, controls_);
    auto *v = new QVBoxLayout(frame);
    SettingBar *bar = makeBar(limit, frame);
    v->addWidget(bar);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    QLabel *value = makeLabel(valueName, QString(), frame);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    value->setMinimumWidth(60);
    row->addWidget(value);
    row->addWidget(makeLabel(unitName, QString::fromLatin1(limit.unit), frame));
    row->addStretch(1);
    v->addLayout(row);
    into->addWidget(frame);
    if (valueLabel)
        *valueLabel = value;
    return bar;
}

} // namespace korvane
