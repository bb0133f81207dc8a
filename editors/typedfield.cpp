#include "typedfield.h"

#include "labelformulas/labelformulas.h"
#include "settingbar.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>

namespace korvane {

TypedField::TypedField(SettingBar *bar, TypedFieldDef def, BarValueLookup bars, QWidget *parent)
    : QLineEdit(parent), bar_(bar), def_(std::move(def)), bars_(std::move(bars))
{
    setObjectName(def_.fieldName);
    setToolTip(def_.toolTip);
    // Read out as "Transition Slope, Lower edge, in dB/Octave": the bar's caption, which of
    // its figures, the unit.
    QString name = SettingBarCaption(*bar);
    if (!def_.part.isEmpty())
        name += QStringLiteral(", %1 edge").arg(def_.part);
    if (!def_.unit.isEmpty())
        name += QStringLiteral(", in ") + def_.unit;
    setAccessibleName(name);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int digits = def_.decimals > 0 ? 8 : bar->orientation() == Qt::Vertical ? 3 : 6;
    setFixedWidth(fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) + 12);
    connect(this, &QLineEdit::textEdited, this, &TypedField::markValidity);
    refresh();
}

void TypedField::refresh()
{
    if (hasFocus() && isModified())
        return;
    setText(FormatFixed(def_.shown(bar_->value(), bars_), def_.decimals));
    setModified(false);
    markValidity();
}

void TypedField::apply()
{
    const std::optional<double> typed = ParseTypedValue(text());
    if (typed) {
        const int n = NearestSetting(*typed, def_.decimals, bar_->minimum(), bar_->maximum(), bar_->value(),
                                     [this](int v) { return def_.shown(v, bars_); });
        bar_->setValue(n); // the window's own change handling runs, as for an arrow click
    }
    setModified(false);
    refresh();
    selectAll();
}

// A text without a number is shown on a pale red ground until it is fixed or left.
void TypedField::markValidity()
{
    const bool ok = ParseTypedValue(text()).has_value();
    // A pale red on a light field, a deep one on a dark field: the typed text stays readable.
    const bool darkField = palette().color(QPalette::Base).lightness() < 128;
    setStyleSheet(ok ? QString()
                     : QStringLiteral("QLineEdit { background: %1; }").arg(darkField ? "#6b1f1f" : "#ffd6d6"));
    setToolTip(ok ? def_.toolTip : QStringLiteral("Not a number: type a value such as 2700, then press Enter"));
}

void TypedField::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        apply();
        event->accept(); // applies the value; does not press the window's OK button
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TypedField::focusOutEvent(QFocusEvent *event)
{
    if (isModified())
        apply();
    QLineEdit::focusOutEvent(event);
}

void AddTypedFields(QWidget &editor, int type, int sampleRate)
{
    const std::vector<TypedFieldDef> defs = TypedFieldsOfEditor(type, sampleRate);
    if (defs.empty())
        return;
    QWidget *root = &editor;
    BarValueLookup lookup = [root](const QString &name) {
        const SettingBar *b = root->findChild<SettingBar *>(name);
        return b ? b->value() : 0;
    };
    QMap<SettingBar *, QBoxLayout *> wrapped;
    QList<TypedField *> fields;
    QMap<SettingBar *, std::vector<TypedFieldDef>> figures;
    for (const TypedFieldDef &def : defs) {
        SettingBar *bar = editor.findChild<SettingBar *>(def.barName);
        if (!bar || !bar->parentWidget() || !bar->parentWidget()->layout())
            continue;
        figures[bar].push_back(def);
        QBoxLayout *box = wrapped.value(bar);
        if (!box) {
            // The bar's place in its frame goes to a holder with the bar and its fields: a
            // horizontal bar keeps its width and gets its fields on a row under its right end
            // (so no window grows wider), a vertical bar gets its field underneath.
            QWidget *frame = bar->parentWidget();
            auto *holder = new QWidget(frame);
            holder->setObjectName(def.barName + QStringLiteral("Holder"));
            const bool horizontal = bar->orientation() == Qt::Horizontal;
            auto *column = new QVBoxLayout(holder);
            column->setContentsMargins(0, 0, 0, 0);
            column->setSpacing(2);
            delete frame->layout()->replaceWidget(bar, holder);
            column->addWidget(bar, 1, horizontal ? Qt::Alignment() : Qt::AlignHCenter);
            box = column;
            if (horizontal) {
                auto *row = new QHBoxLayout;
                row->setSpacing(4);
                row->addStretch(1);
                column->addLayout(row);
                box = row;
            }
            wrapped.insert(bar, box);
        }
        // The bar now lives in its holder, which owns the fields too.
        auto *field = new TypedField(bar, def, lookup, bar->parentWidget());
        box->addWidget(field, 0, Qt::AlignHCenter);
        if (!def.unit.isEmpty() && bar->orientation() == Qt::Horizontal) {
            auto *unit = new QLabel(def.unit, bar->parentWidget());
            unit->setObjectName(def.fieldName + QStringLiteral("Unit"));
            box->addWidget(unit);
        }
        fields << field;
    }
    // What the bar's label shows, for screen readers: "2500 Hz", "Lower 12 dB/Octave, Upper
    // 30 dB/Octave", "(Out)".
    for (auto it = figures.cbegin(); it != figures.cend(); ++it) {
        it.key()->setValueText([defs = it.value(), lookup](int v) {
            QStringList parts;
            for (const TypedFieldDef &def : defs) {
                QString text = def.labelText(v, lookup);
                if (!def.unit.isEmpty() && !text.startsWith(QLatin1Char('(')))
                    text += QLatin1Char(' ') + def.unit;
                parts << (def.part.isEmpty() ? text : def.part + QLatin1Char(' ') + text);
            }
            return parts.join(QStringLiteral(", "));
        });
    }
    const auto refreshAll = [fields, bars = figures.keys()] {
        for (TypedField *f : fields)
            f->refresh();
        for (SettingBar *b : bars)
            b->announceValue();
    };
    for (SettingBar *bar : editor.findChildren<SettingBar *>()) {
        QObject::connect(bar, &SettingBar::changed, &editor, refreshAll);
        QObject::connect(bar, &SettingBar::scrolled, &editor, refreshAll);
    }
}

} // namespace korvane
