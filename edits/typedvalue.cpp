#include "typedvalue.h"

#include "config/model.h"
#include "config/stagelimits.h"
#include "labelformulas/labelformulas.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

double plain(int n, const BarValueLookup &) { return n; }

TypedFieldDef field(const QString &bar, const QString &unit, const QString &tip, int decimals,
                    std::function<double(int, const BarValueLookup &)> shown, const QString &suffix = QString())
{
    return {bar, bar + QStringLiteral("Value") + suffix, unit, tip, decimals, std::move(shown), suffix};
}

} // namespace

std::vector<TypedFieldDef> TypedFieldsOfEditor(int type, int sampleRate)
{
    const int s = sampleRate;
    const QString tip = QStringLiteral("Type a value in %1 and press Enter; the bar moves to the nearest setting");
    auto slopeAt = [s](const QString &freqBar, double factor) {
        return [s, freqBar, factor](int n, const BarValueLookup &bars) {
            return SlopeLabel(n, bars(freqBar) * factor, s).toDouble();
        };
    };
    std::vector<TypedFieldDef> out;
    if (type == GraphicEq20) {
        for (int i = 0; i < kEqBandCount; ++i)
            out.push_back(field(QString::fromLatin1(kEqBandLimit.bar) + QString::number(i), QStringLiteral("dB"),
                                tip.arg(QStringLiteral("dB (0 to -40)")), 0,
                                [](int n, const BarValueLookup &) { return EqGainLabel(n).toDouble(); }));
        return out;
    }
    const bool bandFilter = type == Bandpass || type == Bandstop;
    // The bar that holds a type's frequency (the slope label depends on it).
    auto barOf = [type](int16_t StageConfig::*member) { return QString::fromLatin1(StageLimitOf(type, member).bar); };
    for (const StageLimit &l : StageLimitsOf(type)) {
        if (!l.bar)
            continue; // option buttons
        const QString bar = QString::fromLatin1(l.bar), unit = QString::fromLatin1(l.unit);
        if (l.member == &StageConfig::Slope && bandFilter) {
            // One bar, two slopes: the lower edge's at half the lower cutoff.
            out.push_back(field(bar, unit, QStringLiteral("Lower edge: ") + tip.arg(unit), 0,
                                slopeAt(barOf(&StageConfig::Freq1), 0.5), QStringLiteral("Lower")));
            out.push_back(field(bar, unit, QStringLiteral("Upper edge: ") + tip.arg(unit), 0,
                                slopeAt(barOf(&StageConfig::Freq2), 1.0), QStringLiteral("Upper")));
        } else if (l.member == &StageConfig::Slope) {
            out.push_back(field(bar, unit, tip.arg(unit), 0, slopeAt(barOf(&StageConfig::Freq1), 1.0)));
        } else if (l.member == &StageConfig::Freq2 && (type == Notch || type == Slot)) {
            const double k = type == Notch ? kNotchWidthFactor : kSlotWidthFactor;
            out.push_back(field(bar, unit, tip.arg(QStringLiteral("Hz of width")), 0,
                                [s, k](int n, const BarValueLookup &) { return WidthLabel(n, k, s).toDouble(); }));
        } else if (l.member == &StageConfig::Freq1 && type == Comb) {
            out.push_back(field(bar, unit, tip.arg(unit), 2,
                                [s](int n, const BarValueLookup &) { return CombFundamentalLabel(n, s).toDouble(); }));
        } else if (l.member == &StageConfig::Freq1 && bandFilter) {
            out.push_back(field(bar, unit, tip.arg(unit) + QStringLiteral(" (0 or \"out\": no lower edge)"), 0, plain));
            out.back().label = LowerCutoffLabel;
        } else if (l.member == &StageConfig::AdaptRate) {
            out.push_back(field(bar, unit, tip.arg(QStringLiteral("steps of 2^-14")), 0, plain));
        } else {
            out.push_back(field(bar, unit, tip.arg(unit), 0, plain));
        }
    }
    return out;
}

QString TypedFieldDef::labelText(int n, const BarValueLookup &bars) const
{
    return label ? label(n) : FormatFixed(shown(n, bars), decimals);
}

std::optional<double> ParseTypedValue(const QString &text)
{
    const QString t = text.trimmed();
    if (t.contains(QLatin1String("out"), Qt::CaseInsensitive))
        return 0.0;
    static const QRegularExpression number(
        QStringLiteral("^([-+]?(?:\\d+(?:[.,]\\d*)?|[.,]\\d+))\\s*([A-Za-z/^ \\-0-9]*)$"));
    const QRegularExpressionMatch m = number.match(t);
    if (!m.hasMatch())
        return std::nullopt;
    QString digits = m.captured(1);
    digits.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double v = digits.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    // "2.7 kHz" or "2.7K", as the 20-band labels write kilohertz.
    if (m.captured(2).startsWith(QLatin1Char('k'), Qt::CaseInsensitive))
        return v * 1000.0;
    return v;
}

int NearestSetting(double typed, int decimals, int minimum, int maximum, int current,
                   const std::function<double(int)> &shown)
{
    const double scale = std::pow(10.0, decimals);
    const double wanted = std::round(typed * scale) / scale;
    const int lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
    int best = std::clamp(current, lo, hi);
    double bestGap = std::abs(shown(best) - wanted);
    for (int n = lo; n <= hi; ++n) {
        const double gap = std::abs(shown(n) - wanted);
        // Figures of equal distance (within rounding noise) go to the smaller move.
        const double tolerance = 0.5 / scale / 1000.0;
        if (gap < bestGap - tolerance
            || (std::abs(gap - bestGap) <= tolerance && std::abs(n - current) < std::abs(best - current))) {
            best = n;
            bestGap = gap;
        }
    }
    return best;
}

} // namespace korvane
