#include "eqeditor.h"

#include "labelformulas/labelformulas.h"
#include "settingbar.h"

#include "config/stagelimits.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

CtlEq::CtlEq(QWidget *parent, Model &model, UserDialog &dialog)
    : EditorWindow(parent, model, dialog, QStringLiteral("20-Band Graphic Equalizer"), true)
{
    setObjectName(QStringLiteral("CtlEq"));
    // Twenty sliders side by side already take most of a 1024-pixel screen: the response
    // goes under them.
    setResponsePlotBelow(true);
    auto *grid = new QGridLayout(controls());
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);

    grid->addWidget(makeLabel(QStringLiteral("Label24"), QStringLiteral("Gain"), controls()), 0, 0);
    grid->addWidget(makeLabel(QStringLiteral("Label21"), QStringLiteral("0"), controls()), 1, 0,
                    Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(makeLabel(QStringLiteral("Label22"), QStringLiteral("-40"), controls()), 1, 0,
                    Qt::AlignRight | Qt::AlignBottom);
    grid->addWidget(makeLabel(QStringLiteral("Label23"), QStringLiteral("Freq"), controls()), 2, 0);
    grid->addWidget(makeLabel(QStringLiteral("Label2"), QStringLiteral("dB"), controls()), 0, 21);

    const StageConfig &r = record();
    const std::array<QString, 20> freqs = EqFrequencyLabels(r.Bandwidth);
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    for (int i = 0; i < 20; ++i) {
        QLabel *gain = makeLabel(QStringLiteral("Gain%1").arg(i), QString(), controls());
        gain->setAlignment(Qt::AlignCenter);
        gain->setMinimumWidth(26);
        gains_[std::size_t(i)] = gain;
        grid->addWidget(gain, 0, i + 1, Qt::AlignHCenter);

        auto *slider = new SettingBar(Qt::Vertical, controls());
        ApplyStageLimit(*slider, kEqBandLimit, maxFrequency());
        slider->setObjectName(QString::fromLatin1(kEqBandLimit.bar) + QString::number(i));
        slider->setAccessibleName(QStringLiteral("Band ") + freqs[std::size_t(i)]);
        slider->setMinimumHeight(220);
        sliders_[std::size_t(i)] = slider;
        grid->addWidget(slider, 1, i + 1, Qt::AlignHCenter);

        QLabel *freq = makeLabel(QStringLiteral("Frequency%1").arg(i), freqs[std::size_t(i)], controls());
        freq->setFont(small);
        freq->setAlignment(Qt::AlignCenter);
        grid->addWidget(freq, 2, i + 1, Qt::AlignHCenter);

        auto handler = [this, i] { gains_[std::size_t(i)]->setText(EqGainLabel(sliders_[std::size_t(i)]->value())); };
        connect(slider, &SettingBar::changed, this, handler);
        connect(slider, &SettingBar::scrolled, this, handler);
        slider->setValue(r.EqBand[std::size_t(i)]);
        handler();
    }

    QPushButton *zero = makeButton(QStringLiteral("Command1"), QStringLiteral("&Make All 0dB"),
                                   QStringLiteral("Make all bands 0 decibel gain"));
    QPushButton *normalize = makeButton(QStringLiteral("Command6"), QStringLiteral("&Normalize"),
                                        QStringLiteral("Normalize all frequency bands"));
    QPushButton *down = makeButton(QStringLiteral("Command7"), QStringLiteral("All &Down 1dB"),
                                   QStringLiteral("Reduce all gains by 1 decibel"));
    connect(zero, &QPushButton::clicked, this, [this] { setAll({}); });
    connect(normalize, &QPushButton::clicked, this, [this] { setAll(EqNormalize(cuts())); });
    connect(down, &QPushButton::clicked, this, [this] { setAll(EqAllDown1dB(cuts())); });
    buttonRow()->insertWidget(0, zero);
    buttonRow()->insertWidget(1, normalize);
    buttonRow()->insertWidget(2, down);
    buttonRow()->addWidget(makeOkButton(QStringLiteral("Command2"), QStringLiteral("Saves filter settings")));
    buttonRow()->addWidget(
        makeCancelButton(QStringLiteral("Command3"), QStringLiteral("Discard filter settingsDiscard filter settings")));
}

std::array<int, 20> CtlEq::cuts() const
{
    std::array<int, 20> out{};
    for (int i = 0; i < 20; ++i)
        out[std::size_t(i)] = sliders_[std::size_t(i)]->value();
    return out;
}

void CtlEq::setAll(const std::array<int, 20> &cuts)
{
    for (int i = 0; i < 20; ++i)
        sliders_[std::size_t(i)]->setValue(cuts[std::size_t(i)]);
}

StageConfig CtlEq::controlsValue() const
{
    StageConfig r = record();
    for (int i = 0; i < 20; ++i)
        r.EqBand[std::size_t(i)] = int16_t(sliders_[std::size_t(i)]->value());
    return r;
}

} // namespace korvane
