#include "stagesummary.h"

#include "config/stagelimits.h"
#include "labelformulas/labelformulas.h"

#include <QStringList>

#include <algorithm>
#include <map>

namespace korvane {

namespace {

// The file name of a stored path, whichever separator the machine that stored it used.
QString baseName(const QString &path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

// "1.1K" as the 20-band editor labels a band -> "1.1 kHz"; "300" -> "300 Hz".
QString bandText(const QString &label, bool withUnit)
{
    QString t = label;
    const bool kilo = t.endsWith(QLatin1Char('K'));
    if (kilo)
        t.chop(1);
    if (!withUnit)
        return t;
    return t + (kilo ? QStringLiteral(" kHz") : QStringLiteral(" Hz"));
}

QString eqSummary(const StageConfig &s)
{
    const std::array<QString, 20> labels = EqFrequencyLabels(s.Bandwidth);
    // The most common cut is "elsewhere"; runs of neighbouring bands with another cut are named.
    std::map<int, int> counts;
    for (int16_t cut : s.EqBand)
        ++counts[cut];
    const int base = std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) {
                         return a.second < b.second || (a.second == b.second && a.first > b.first);
                     })->first;
    if (counts.size() == 1)
        return QStringLiteral("20-band: flat ") + EqGainLabel(base) + QStringLiteral(" dB");
    QStringList parts;
    for (int i = 0; i < kEqBandCount;) {
        const int cut = s.EqBand[i];
        int j = i;
        while (j + 1 < kEqBandCount && s.EqBand[j + 1] == cut)
            ++j;
        if (cut != base) {
            const QString &lo = labels[i], &hi = labels[j];
            const bool sameUnit = lo.endsWith(QLatin1Char('K')) == hi.endsWith(QLatin1Char('K'));
            const QString where = i == j ? bandText(lo, true)
                                         : bandText(lo, !sameUnit) + QLatin1Char('-') + bandText(hi, true);
            parts << EqGainLabel(cut) + QStringLiteral(" dB at ") + where;
        }
        i = j + 1;
    }
    return QStringLiteral("20-band: ") + parts.join(QStringLiteral(", ")) + QStringLiteral(", elsewhere ")
        + EqGainLabel(base) + QStringLiteral(" dB");
}

QString spectralSummary(const StageConfig &s, int sampleRate)
{
    const auto [lo, hi] = std::minmax_element(s.SpectralGain.begin(), s.SpectralGain.end());
    // Frequencies as the spectral editor's read-out shows them: point k at k * S / 256 Hz.
    auto at = [&](auto it) { return FormatFixed(double(it - s.SpectralGain.begin()) * sampleRate / 256.0, 0); };
    if (*lo == *hi)
        return QStringLiteral("Spectral: flat ") + FormatFixed(*hi, 1) + QStringLiteral(" dB");
    return QStringLiteral("Spectral: %1 dB at %2 Hz down to %3 dB at %4 Hz")
        .arg(FormatFixed(*hi, 1), at(hi), FormatFixed(*lo, 1), at(lo));
}

} // namespace

QString StageSummary(const Model &model, int set, int stage)
{
    return StageSummary(model.stage(set, stage), model.SampleRate(set));
}

QString StageSummary(const StageConfig &s, int sr)
{
    // " Hz", " dB", ...: the unit of the figure the stage's editor shows for a field.
    auto unit = [&s](int16_t StageConfig::*field) {
        return QLatin1Char(' ') + QString::fromLatin1(StageLimitOf(s.Type, field).unit);
    };
    // A field whose editor shows the stored value itself, with its unit.
    auto shown = [&s, &unit](int16_t StageConfig::*field) { return QString::number(s.*field) + unit(field); };
    switch (s.Type) {
    case Adaptive1CH:
        return QStringLiteral("1CH Adaptive %1, span %2, Mu %3, %4, %5")
            .arg(shown(&StageConfig::FilterSize))
            .arg(s.PredictionSpan)
            .arg(s.AdaptRate)
            .arg(s.ModeOption == 2 ? QStringLiteral("Fixed") : QStringLiteral("Auto"),
                 s.OutputOption == 2 ? QStringLiteral("Predict") : QStringLiteral("Residue"));
    case Lowpass:
    case Highpass:
        return FilterTypeDisplayText(s.Type) + QLatin1Char(' ') + shown(&StageConfig::Freq1) + QStringLiteral(", ")
            + SlopeLabel(s.Slope, s.Freq1, sr) + unit(&StageConfig::Slope) + QStringLiteral(", ")
            + shown(&StageConfig::AttenDb);
    case Bandpass:
    case Bandstop:
        return FilterTypeDisplayText(s.Type) + QLatin1Char(' ') + LowerCutoffLabel(s.Freq1) + QStringLiteral(" to ")
            + shown(&StageConfig::Freq2) + QStringLiteral(", ") + SlopeLabel(s.Slope, s.Freq1 / 2.0, sr)
            + QLatin1Char('/') + SlopeLabel(s.Slope, s.Freq2, sr) + unit(&StageConfig::Slope) + QStringLiteral(", ")
            + shown(&StageConfig::AttenDb);
    case Comb: {
        const QString harmonics = s.ModeOption == 4 ? QStringLiteral("Odd")
            : s.ModeOption == 5                     ? QStringLiteral("Even")
                                                    : QStringLiteral("All");
        return QStringLiteral("Comb ") + CombFundamentalLabel(s.Freq1, sr) + unit(&StageConfig::Freq1)
            + QStringLiteral(", ") + harmonics + QStringLiteral(" harmonics, limit ") + shown(&StageConfig::Freq2)
            + QStringLiteral(", ") + shown(&StageConfig::AttenDb);
    }
    case Notch:
    case Slot:
        return FilterTypeDisplayText(s.Type) + QLatin1Char(' ') + shown(&StageConfig::Freq1) + QStringLiteral(", ")
            + WidthLabel(s.Freq2, s.Type == Notch ? kNotchWidthFactor : kSlotWidthFactor, sr)
            + unit(&StageConfig::Freq2) + QStringLiteral(" wide, ") + shown(&StageConfig::AttenDb);
    case GraphicEq20:
        return eqSummary(s);
    case SpectralEq:
        return spectralSummary(s, sr);
    case ImportedCoef:
        return s.CoefFileName.isEmpty() ? QStringLiteral("Imported: no file (unit impulse)")
                                        : QStringLiteral("Imported: ") + baseName(s.CoefFileName);
    case PassThru:
        return QStringLiteral("Pass Thru");
    default:
        return QStringLiteral("Unknown filter type %1").arg(s.Type);
    }
}

bool IsPassThroughSet(const Model &model, int set)
{
    const StageConfig &s1 = model.stage(set, 1);
    return s1.Type == PassThru && model.stage(set, 2).Type == PassThru && s1.Agc == 0 && s1.NoiseFilter == kFalse;
}

} // namespace korvane
