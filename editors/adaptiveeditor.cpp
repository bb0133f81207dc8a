#include "adaptiveeditor.h"

#include "labelformulas/labelformulas.h"
#include "settingbar.h"

#include "config/stagelimits.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace korvane {

namespace {
QLabel *valueLabel(const QString &name, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    l->setMinimumWidth(64);
    return l;
}

QButtonGroup *optionPair(QObject *owner, QGroupBox *frame, const QString &name, const QString &first,
                         const QString &second)
{
    auto *group = new QButtonGroup(owner);
    auto *row = new QHBoxLayout(frame);
    const QString texts[2] = {first, second};
    for (int index = 1; index <= 2; ++index) {
        auto *b = new QRadioButton(texts[index - 1], frame);
        b->setObjectName(name + QString::number(index));
        group->addButton(b, index);
        row->addWidget(b);
    }
    return group;
}
} // namespace

Ctl1CH::Ctl1CH(QWidget *parent, Model &model, UserDialog &dialog)
    : EditorWindow(parent, model, dialog, QStringLiteral("1-Channel Adaptive"), false)
{
    setObjectName(QStringLiteral("Ctl1CH"));
    auto *v = new QVBoxLayout(controls());
    v->setContentsMargins(0, 0, 0, 0);
    buildLengthFrames(v);
    v->addWidget(buildRateFrame());
    v->addLayout(buildOptionFrames());
    buttonRow()->addWidget(makeOkButton(QStringLiteral("Command1"), QStringLiteral("Saves filter settings")));
    buttonRow()->addWidget(makeCancelButton(QStringLiteral("Command2"), QStringLiteral("Discards filter settigs")));

    showRecord();
    connectBars();
}

// Filter Size and Prediction Span, each with its value in its unit and in milliseconds.
void Ctl1CH::buildLengthFrames(QVBoxLayout *v)
{
    // A length frame: the bar, then "<value> <unit>" and "<time> milliseconds".
    auto lengthFrame = [&](const QString &caption, SettingBar *&bar, int16_t StageConfig::*field, QLabel *&value,
                           const QString &valueName, const QString &unitName, QLabel *&time, const QString &timeName,
                           const QString &msName) {
        auto *frame = new QGroupBox(caption, controls());
        auto *grid = new QGridLayout(frame);
        const StageLimit &limit = StageLimitOf(Adaptive1CH, field);
        bar = makeBar(limit, frame);
        grid->addWidget(bar, 0, 0, 1, 4);
        value = valueLabel(valueName, frame);
        grid->addWidget(value, 1, 0);
        grid->addWidget(makeLabel(unitName, QString::fromLatin1(limit.unit), frame), 1, 1);
        time = valueLabel(timeName, frame);
        grid->addWidget(time, 1, 2);
        grid->addWidget(makeLabel(msName, QStringLiteral("milliseconds"), frame), 1, 3);
        v->addWidget(frame);
    };
    lengthFrame(tr("Filter Size"), sizeBar_, &StageConfig::FilterSize, lblFilterSize_, QStringLiteral("lblFilterSize"),
                QStringLiteral("Label2"), lblFilterSizeTime_, QStringLiteral("lblFilterSizeTime"),
                QStringLiteral("Label5"));
    lengthFrame(tr("Prediction Span"), spanBar_, &StageConfig::PredictionSpan, lblPspan_, QStringLiteral("lblPspan"),
                QStringLiteral("Label3"), lblPspanTime_, QStringLiteral("lblPspanTime"), QStringLiteral("Label6"));
}

QGroupBox *Ctl1CH::buildRateFrame()
{
    auto *rateFrame = new QGroupBox(tr("Adapt Rate"), controls());
    auto *rv = new QVBoxLayout(rateFrame);
    const StageLimit &rate = StageLimitOf(Adaptive1CH, &StageConfig::AdaptRate);
    rateBar_ = makeBar(rate, rateFrame);
    rv->addWidget(rateBar_);
    auto *rateRow = new QHBoxLayout;
    rateRow->addStretch(1);
    rateRow->addWidget(makeLabel(QStringLiteral("Label4"), QStringLiteral("Mu ="), rateFrame));
    lblAdaptRate_ = valueLabel(QStringLiteral("lblAdaptRate"), rateFrame);
    lblAdaptRate_->setMinimumWidth(30);
    rateRow->addWidget(lblAdaptRate_);
    rateRow->addWidget(makeLabel(QStringLiteral("Label1"), QString::fromLatin1(rate.unit), rateFrame));
    rateRow->addStretch(1);
    rv->addLayout(rateRow);
    return rateFrame;
}

QHBoxLayout *Ctl1CH::buildOptionFrames()
{
    auto *options = new QHBoxLayout;
    auto *modeFrame = new QGroupBox(tr("Adapt Mode"), controls());
    adaptMode_ = optionPair(this, modeFrame, QStringLiteral("optAdaptMode"), QStringLiteral("&Auto"),
                            QStringLiteral("&Fixed"));
    auto *outFrame = new QGroupBox(tr("Processor Output"), controls());
    processorOutput_ = optionPair(this, outFrame, QStringLiteral("optProcessorOutput"), QStringLiteral("&Residue"),
                                  QStringLiteral("&Predict"));
    options->addWidget(modeFrame);
    options->addWidget(outFrame);
    return options;
}

// The controls show the stage's stored values.
void Ctl1CH::showRecord()
{
    const StageConfig &r = record();
    {
        const QSignalBlocker b1(sizeBar_), b2(spanBar_), b3(rateBar_);
        sizeBar_->setValue(r.FilterSize);
        spanBar_->setValue(r.PredictionSpan);
        rateBar_->setValue(r.AdaptRate);
    }
    sizeChanged();
    spanChanged();
    lblAdaptRate_->setText(QString::number(rateBar_->value()));
    if (QAbstractButton *b = adaptMode_->button(r.ModeOption))
        b->setChecked(true);
    if (QAbstractButton *b = processorOutput_->button(r.OutputOption))
        b->setChecked(true);
}

// Each bar's value shows in its labels as the bar moves.
void Ctl1CH::connectBars()
{
    for (SettingBar *bar : {sizeBar_, spanBar_, rateBar_}) {
        auto handler = [this, bar] {
            if (bar == sizeBar_)
                sizeChanged();
            else if (bar == spanBar_)
                spanChanged();
            else
                lblAdaptRate_->setText(QString::number(rateBar_->value()));
        };
        connect(bar, &SettingBar::changed, this, handler);
        connect(bar, &SettingBar::scrolled, this, handler);
    }
}

void Ctl1CH::sizeChanged()
{
    lblFilterSize_->setText(QString::number(sizeBar_->value()));
    lblFilterSizeTime_->setText(MillisecondsLabel(sizeBar_->value(), sampleRate()));
}

void Ctl1CH::spanChanged()
{
    lblPspan_->setText(QString::number(spanBar_->value()));
    lblPspanTime_->setText(MillisecondsLabel(spanBar_->value(), sampleRate()));
}

StageConfig Ctl1CH::controlsValue() const
{
    StageConfig r = record();
    r.FilterSize = int16_t(sizeBar_->value());
    r.PredictionSpan = int16_t(spanBar_->value());
    r.AdaptRate = int16_t(rateBar_->value());
    // A stored value outside 1..2 selects no button; until the user picks one the stored
    // value stays, so an untouched window neither asks nor turns it into "Fixed"/"Predict".
    if (const int mode = adaptMode_->checkedId(); mode > 0)
        r.ModeOption = int16_t(mode);
    if (const int output = processorOutput_->checkedId(); output > 0)
        r.OutputOption = int16_t(output);
    return r;
}

} // namespace korvane
