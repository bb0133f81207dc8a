#include "labelformulas.h"

#include "config/stagelimits.h"

#include <algorithm>
#include <cmath>

namespace korvane {

QString FormatFixed(double x, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    double r = std::round(x * scale) / scale; // halves away from zero
    if (r == 0.0)
        r = 0.0; // drop the sign of -0
    return QString::number(r, 'f', decimals);
}

QString SlopeLabel(int n, double f, int sampleRate)
{
    return FormatFixed((2.0 * n - 1.0) * 37.0 * f / (3.0 * sampleRate) + 0.5, 0);
}

QString WidthLabel(int n, double factor, int sampleRate)
{
    return FormatFixed(sampleRate * factor / (2.0 * (n + 1)) + 0.5, 0);
}

QString CombFundamentalLabel(int n, int sampleRate)
{
    // The setting 286 is the mains-hum comb: at 17200 Hz its true fundamental, 59.93 Hz,
    // reads as the 60 Hz it is meant to remove. At the other rates it is simply S / 287.
    const double hz = double(sampleRate) / (n + 1);
    if (n == 286 && std::lround(hz) == 60)
        return FormatFixed(60.0, 2);
    return FormatFixed(hz, 2);
}

QString MillisecondsLabel(int samples, int sampleRate)
{
    QString text = FormatFixed(double(samples) * 1000.0 / sampleRate, 3);
    const qsizetype integerDigits = text.indexOf(QLatin1Char('.'));
    if (integerDigits < 4)
        text.prepend(QString(4 - integerDigits, QLatin1Char('0')));
    return text;
}

int ConstrainLowerCutoff(int lower, int upper)
{
    return lower > upper - kCutoffPairGapHz ? upper - kCutoffPairGapHz : lower;
}
int ConstrainUpperCutoff(int upper, int lower)
{
    return upper < lower + kCutoffPairGapHz ? lower + kCutoffPairGapHz : upper;
}

QString LowerCutoffLabel(int lower) { return lower == 0 ? QStringLiteral("(Out)") : QString::number(lower); }

QString EqGainLabel(int cut) { return QString::number(-cut); }

EqBands EqAllDown1dB(const EqBands &bands)
{
    EqBands out = bands;
    for (int &b : out)
        if (b < 40)
            ++b;
    return out;
}

EqBands EqNormalize(const EqBands &bands)
{
    int m = 100;
    for (int b : bands)
        m = std::min(m, b);
    EqBands out = bands;
    for (int &b : out)
        b -= m;
    return out;
}

std::array<QString, 20> EqFrequencyLabels(int bandwidth)
{
    static const char *const narrow[20] = {"75",   "150",  "250",  "350",  "450",  "550",  "650",
                                           "750",  "850",  "950",  "1.1K", "1.4K", "1.6K", "1.9K",
                                           "2.2K", "2.5K", "2.8K", "3.1K", "3.4K", "3.7K"};
    static const char *const medium[20] = {"67",   "200",  "333",  "467",  "600",  "733",  "867",
                                           "1.0K", "1.1K", "1.3K", "1.5K", "1.8K", "2.1K", "2.5K",
                                           "2.9K", "3.3K", "3.7K", "4.1K", "4.5K", "4.9K"};
    static const char *const wide[20] = {"100",  "300",  "500",  "700",  "900",  "1.1K", "1.3K",
                                         "1.5K", "1.7K", "1.9K", "2.2K", "2.7K", "3.2K", "3.8K",
                                         "4.4K", "5.0K", "5.6K", "6.2K", "6.8K", "7.4K"};
    const char *const *texts = bandwidth == 0 ? narrow : bandwidth == 2 ? wide : medium;
    std::array<QString, 20> out;
    for (int i = 0; i < 20; ++i)
        out[i] = QString::fromLatin1(texts[i]);
    return out;
}

} // namespace korvane
