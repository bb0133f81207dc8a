#include "parametriceditors.h"

#include "labelformulas/labelformulas.h"
#include "settingbar.h"

#include "config/stagelimits.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace korvane {

namespace {
const QString kSaveTip = QStringLiteral("Saves filter settings");
const QString kDiscardTip = QStringLiteral("Discard filter settings");

// Every bar runs the same handling on a change and while its thumb is dragged.
template <typename F> void onChange(SettingBar *bar, QObject *ctx, F handler)
{
    QObject::connect(bar, &SettingBar::changed, ctx, handler);
    QObject::connect(bar, &SettingBar::scrolled, ctx, handler);
}

// Sets a bar from the stored record without running its change handling; the window then
// refreshes its labels once. Running the cutoff-pair rules while the other bar still holds
// its initial value would move a valid stored value.
void load(SettingBar *bar, int value)
{
    const QSignalBlocker block(bar);
    bar->setValue(value);
}

void addOkCancel(QHBoxLayout *row, QPushButton *ok, QPushButton *cancel)
{
    row->addWidget(ok);
    row->addWidget(cancel);
}
} // namespace

// ---------------------------------------------------------------- lowpass / highpass

SingleCutoffEditor::SingleCutoffEditor(QWidget *parent, Model &model, UserDialog &dialog, const QString &caption)
    : EditorWindow(parent, model, dialog, caption, true)
{
    setObjectName(caption == QLatin1String("Highpass") ? QStringLiteral("CtlHPF") : QStringLiteral("CtlLPF"));
    auto *v = new QVBoxLayout(controls());
    v->setContentsMargins(0, 0, 0, 0);
    const int type = caption == QLatin1String("Highpass") ? Highpass : Lowpass;
    cutoffBar_ = addBarFrame(v, tr("Cutoff Frequency"), StageLimitOf(type, &StageConfig::Freq1),
                             QStringLiteral("Cutoff"), &cutoff_, QStringLiteral("Label1"));
    slopeBar_ = addBarFrame(v, tr("Transition Slope"), StageLimitOf(type, &StageConfig::Slope), QStringLiteral("Slope"),
                            &slope_, QStringLiteral("Label2"));
    attenBar_ = addBarFrame(v, tr("Stopband Attenuation"), StageLimitOf(type, &StageConfig::AttenDb),
                            QStringLiteral("Atten"), &atten_, QStringLiteral("Label7"));
    addOkCancel(buttonRow(), makeOkButton(QStringLiteral("Command1"), kSaveTip),
                makeCancelButton(QStringLiteral("Command2"), kDiscardTip));

    const StageConfig &r = record();
    load(cutoffBar_, r.Freq1);
    load(attenBar_, r.AttenDb);
    load(slopeBar_, r.Slope);
    cutoffChanged();
    atten_->setText(QString::number(attenBar_->value()));

    onChange(cutoffBar_, this, [this] { cutoffChanged(); });
    onChange(slopeBar_, this, [this] { slopeChanged(); });
    onChange(attenBar_, this, [this] { atten_->setText(QString::number(attenBar_->value())); });
}

void SingleCutoffEditor::cutoffChanged()
{
    cutoff_->setText(QString::number(cutoffBar_->value()));
    slopeChanged();
}

void SingleCutoffEditor::slopeChanged()
{
    slope_->setText(SlopeLabel(slopeBar_->value(), cutoffBar_->value(), sampleRate()));
}

StageConfig SingleCutoffEditor::controlsValue() const
{
    StageConfig r = record();
    r.Freq1 = int16_t(cutoffBar_->value());
    r.Slope = int16_t(slopeBar_->value());
    r.AttenDb = int16_t(attenBar_->value());
    return r;
}

// ---------------------------------------------------------------- bandpass / bandstop

CutoffPairEditor::CutoffPairEditor(QWidget *parent, Model &model, UserDialog &dialog, const QString &caption)
    : EditorWindow(parent, model, dialog, caption, true)
{
    setObjectName(caption == QLatin1String("Bandstop") ? QStringLiteral("CtlBSF") : QStringLiteral("CtlBPF"));
    auto *v = new QVBoxLayout(controls());
    v->setContentsMargins(0, 0, 0, 0);
    const int type = caption == QLatin1String("Bandstop") ? Bandstop : Bandpass;
    lowerBar_ = addBarFrame(v, tr("Lower Cutoff Frequency"), StageLimitOf(type, &StageConfig::Freq1),
                            QStringLiteral("LoCutoff"), &loCutoff_, QStringLiteral("Label1"));
    upperBar_ = addBarFrame(v, tr("Upper Cutoff Frequency"), StageLimitOf(type, &StageConfig::Freq2),
                            QStringLiteral("HiCutoff"), &hiCutoff_, QStringLiteral("Label5"));

    // One slope bar, two slopes: the lower edge's at half the lower cutoff, the upper's at the
    // upper cutoff.
    auto *frame = new QGroupBox(tr("Transition Slope"), controls());
    auto *fv = new QVBoxLayout(frame);
    const StageLimit &slope = StageLimitOf(type, &StageConfig::Slope);
    slopeBar_ = makeBar(slope, frame);
    fv->addWidget(slopeBar_);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(makeLabel(QStringLiteral("Label3"), QStringLiteral("Lower:"), frame));
    slope1_ = makeLabel(QStringLiteral("Slope1"), QString(), frame);
    slope1_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    slope1_->setMinimumWidth(40);
    row->addWidget(slope1_);
    row->addWidget(makeLabel(QStringLiteral("Label6"), QString::fromLatin1(slope.unit), frame));
    row->addSpacing(16);
    row->addWidget(makeLabel(QStringLiteral("Label4"), QStringLiteral("Upper:"), frame));
    slope2_ = makeLabel(QStringLiteral("Slope2"), QString(), frame);
    slope2_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    slope2_->setMinimumWidth(40);
    row->addWidget(slope2_);
    row->addWidget(makeLabel(QStringLiteral("Label8"), QString::fromLatin1(slope.unit), frame));
    row->addStretch(1);
    fv->addLayout(row);
    v->addWidget(frame);

    attenBar_ = addBarFrame(v, tr("Stopband Attenuation"), StageLimitOf(type, &StageConfig::AttenDb),
                            QStringLiteral("Atten"), &atten_, QStringLiteral("Label7"));
    addOkCancel(buttonRow(), makeOkButton(QStringLiteral("Command1"), kSaveTip),
                makeCancelButton(QStringLiteral("Command2"), kDiscardTip));

    const StageConfig &r = record();
    load(lowerBar_, r.Freq1);
    load(upperBar_, r.Freq2);
    load(slopeBar_, r.Slope);
    load(attenBar_, r.AttenDb);
    loCutoff_->setText(LowerCutoffLabel(lowerBar_->value()));
    hiCutoff_->setText(QString::number(upperBar_->value()));
    refreshSlopes();
    atten_->setText(QString::number(attenBar_->value()));

    onChange(lowerBar_, this, [this] { lowerChanged(); });
    onChange(upperBar_, this, [this] { upperChanged(); });
    onChange(slopeBar_, this, [this] { refreshSlopes(); });
    onChange(attenBar_, this, [this] { atten_->setText(QString::number(attenBar_->value())); });
}

void CutoffPairEditor::lowerChanged()
{
    const int allowed = ConstrainLowerCutoff(lowerBar_->value(), upperBar_->value());
    if (allowed != lowerBar_->value())
        lowerBar_->setValue(allowed); // runs this handling again with the allowed value
    loCutoff_->setText(LowerCutoffLabel(lowerBar_->value()));
    refreshSlopes();
}

void CutoffPairEditor::upperChanged()
{
    const int allowed = ConstrainUpperCutoff(upperBar_->value(), lowerBar_->value());
    if (allowed != upperBar_->value())
        upperBar_->setValue(allowed);
    hiCutoff_->setText(QString::number(allowed));
    refreshSlopes();
}

void CutoffPairEditor::refreshSlopes()
{
    const int s = sampleRate();
    slope1_->setText(SlopeLabel(slopeBar_->value(), lowerBar_->value() / 2.0, s));
    slope2_->setText(SlopeLabel(slopeBar_->value(), upperBar_->value(), s));
}

StageConfig CutoffPairEditor::controlsValue() const
{
    StageConfig r = record();
    r.Freq1 = int16_t(lowerBar_->value());
    r.Freq2 = int16_t(upperBar_->value());
    r.Slope = int16_t(slopeBar_->value());
    r.AttenDb = int16_t(attenBar_->value());
    return r;
}

// ---------------------------------------------------------------- notch / slot

NotchSlotEditor::NotchSlotEditor(QWidget *parent, Model &model, UserDialog &dialog, bool slot)
    : EditorWindow(parent, model, dialog, slot ? QStringLiteral("Slot") : QStringLiteral("Notch"), true),
      widthFactor_(slot ? kSlotWidthFactor : kNotchWidthFactor)
{
    setObjectName(slot ? QStringLiteral("CtlSlot") : QStringLiteral("CtlNotch"));
    auto *v = new QVBoxLayout(controls());
    v->setContentsMargins(0, 0, 0, 0);
    const int type = slot ? Slot : Notch;
    freqBar_ = addBarFrame(v, slot ? tr("Slot Frequency") : tr("Notch Frequency"),
                           StageLimitOf(type, &StageConfig::Freq1), QStringLiteral("Freq"), &freq_,
                           QStringLiteral("Label1"));
    // Reversed: moving right lowers the setting, which widens the notch.
    widthBar_ = addBarFrame(v, slot ? tr("Slot Width") : tr("Notch Width"), StageLimitOf(type, &StageConfig::Freq2),
                            slot ? QStringLiteral("SWidth") : QStringLiteral("NWidth"), &width_,
                            slot ? QStringLiteral("Label2") : QStringLiteral("Label4"));
    attenBar_ = addBarFrame(v, slot ? tr("Stopband Attenuation") : tr("Notch Depth"),
                            StageLimitOf(type, &StageConfig::AttenDb), QStringLiteral("Atten"), &atten_,
                            QStringLiteral("Label7"));
    addOkCancel(buttonRow(), makeOkButton(QStringLiteral("Command1"), kSaveTip),
                makeCancelButton(QStringLiteral("Command2"), kDiscardTip));

    const StageConfig &r = record();
    load(freqBar_, r.Freq1);
    load(widthBar_, r.Freq2);
    load(attenBar_, r.AttenDb);
    freq_->setText(QString::number(freqBar_->value()));
    widthChanged();
    atten_->setText(QString::number(attenBar_->value()));

    onChange(freqBar_, this, [this] { freq_->setText(QString::number(freqBar_->value())); });
    onChange(widthBar_, this, [this] { widthChanged(); });
    onChange(attenBar_, this, [this] { atten_->setText(QString::number(attenBar_->value())); });
}

void NotchSlotEditor::widthChanged() { width_->setText(WidthLabel(widthBar_->value(), widthFactor_, sampleRate())); }

StageConfig NotchSlotEditor::controlsValue() const
{
    StageConfig r = record();
    r.Freq1 = int16_t(freqBar_->value());
    r.Freq2 = int16_t(widthBar_->value());
    r.AttenDb = int16_t(attenBar_->value());
    return r;
}

// ---------------------------------------------------------------- comb

CombEditor::CombEditor(QWidget *parent, Model &model, UserDialog &dialog)
    : EditorWindow(parent, model, dialog, QStringLiteral("Comb"), false)
{
    setObjectName(QStringLiteral("CtlComb"));
    auto *v = new QVBoxLayout(controls());
    v->setContentsMargins(0, 0, 0, 0);
    // Reversed: moving right lowers N, which raises the fundamental S / (N + 1).
    fundBar_ = addBarFrame(v, tr("Fundamental Notch Frequency"), StageLimitOf(Comb, &StageConfig::Freq1),
                           QStringLiteral("lblFreq"), &lblFreq_, QStringLiteral("Label2"));
    limitBar_ = addBarFrame(v, tr("Notch Limit"), StageLimitOf(Comb, &StageConfig::Freq2), QStringLiteral("lblLimit"),
                            &lblLimit_, QStringLiteral("Label1"));
    depthBar_ = addBarFrame(v, tr("Notch Depth"), StageLimitOf(Comb, &StageConfig::AttenDb), QStringLiteral("lblDepth"),
                            &lblDepth_, QStringLiteral("Label7"));

    auto *frame = new QGroupBox(tr("Notch Harmonics"), controls());
    auto *row = new QHBoxLayout(frame);
    harmonics_ = new QButtonGroup(this);
    // "Odd" keeps its O clear of OK.
    const QString texts[3] = {QStringLiteral("&All"), QStringLiteral("O&dd"), QStringLiteral("&Even")};
    for (int i = 0; i < 3; ++i) {
        auto *b = new QRadioButton(texts[i], frame);
        b->setObjectName(QStringLiteral("optHarmonic%1").arg(i));
        harmonics_->addButton(b, i);
        row->addWidget(b);
    }
    v->addWidget(frame);
    addOkCancel(buttonRow(), makeOkButton(QStringLiteral("Command1"), kSaveTip),
                makeCancelButton(QStringLiteral("Command2"), kDiscardTip));

    const StageConfig &r = record();
    load(fundBar_, r.Freq1);
    load(limitBar_, r.Freq2);
    load(depthBar_, r.AttenDb);
    fundamentalChanged();
    depthChanged();
    if (QAbstractButton *b = harmonics_->button(r.ModeOption - 3))
        b->setChecked(true);

    onChange(fundBar_, this, [this] { fundamentalChanged(); });
    onChange(limitBar_, this, [this] { limitChanged(); });
    onChange(depthBar_, this, [this] { depthChanged(); });
}

void CombEditor::fundamentalChanged()
{
    lblFreq_->setText(CombFundamentalLabel(fundBar_->value(), sampleRate()));
    limitChanged();
}

void CombEditor::limitChanged() { lblLimit_->setText(QString::number(limitBar_->value())); }
void CombEditor::depthChanged() { lblDepth_->setText(QString::number(depthBar_->value())); }

StageConfig CombEditor::controlsValue() const
{
    StageConfig r = record();
    r.Freq1 = int16_t(fundBar_->value());
    r.Freq2 = int16_t(limitBar_->value());
    r.AttenDb = int16_t(depthBar_->value());
    // Buttons 0..2 are All, Odd, Even: ModeOption 3..5. A stored value outside 3..5 selects no
    // button; until the user picks one the stored value stays, so an untouched window neither
    // asks nor turns it into "Even".
    if (const int id = harmonics_->checkedId(); id >= 0)
        r.ModeOption = int16_t(id + 3);
    return r;
}

} // namespace korvane
