#include "model.h"

#include "stagelimits.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace korvane {

namespace {

template <typename T> void clampInto(T &value, T low, T high)
{
    if (value < low)
        value = low;
    else if (value > high)
        value = high;
}

// Nearest integer, halfway cases to the even neighbour (the default FP rounding mode).
int roundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

// Writes the defaults of the table's rows of the stage's type.
void applyTableDefaults(StageConfig &s)
{
    for (const StageLimit &l : StageLimitsOf(s.Type))
        s.*l.member = l.defaultValue;
}

// The lower end that ValidateStage works out from fields validated before (stagelimits.h).
int lowFromOtherFields(const StageConfig &r, int maxFrequency, int sampleRate)
{
    if (r.Type != Comb) // the upper cutoff of a band filter
        return r.Freq1 + kCutoffPairGapHz;
    // The comb's notch limit: 2.5 fundamentals, the fundamental taken to whole Hz first.
    const int f0 = roundHalfEven(static_cast<double>(sampleRate) / (r.Freq1 + 1));
    return std::min<int>(roundHalfEven(2.0 * f0 + f0 / 2.0), maxFrequency);
}

} // namespace

QString FilterTypeDisplayText(int type)
{
    static const char *const texts[kFilterTypeCount] = {
        "1CH Adaptive",
        "Lowpass",
        "Highpass",
        "Bandpass",
        "Bandstop",
        "Comb",
        "Notch",
        "Slot",
        "20-Band Graphic Equalizer",
        "Spectral Graphic Equalizer",
        "Imported Coefficient File",
        "Pass Thru Filter",
    };
    if (type < 0 || type >= kFilterTypeCount)
        return {};
    return QString::fromLatin1(texts[type]);
}

QString AgcDisplayText(int agc)
{
    static const char *const texts[] = {"No AGC", "10dB AGC", "20dB AGC", "30dB AGC"};
    return agc >= 0 && agc < 4 ? QString::fromLatin1(texts[agc]) : QString();
}

QString BandwidthDisplayText(int bandwidth)
{
    static const char *const texts[] = {"3.4 kHz", "5.0 kHz", "7.5 kHz"};
    return bandwidth >= 0 && bandwidth < 3 ? QString::fromLatin1(texts[bandwidth]) : QString();
}

StageConfig &FilterSet::operator[](int stage)
{
    assert(stage == 1 || stage == 2);
    return stage == 1 ? Stage1 : Stage2;
}

const StageConfig &FilterSet::operator[](int stage) const
{
    assert(stage == 1 || stage == 2);
    return stage == 1 ? Stage1 : Stage2;
}

void Model::ApplyTypeDefaults(int stageNo)
{
    StageConfig &s = stage(CurrentSet, stageNo);
    applyTableDefaults(s);
    if (s.Type == ImportedCoef) {
        s.CoefFileName.clear();
        s.Coef.fill(0.0f);
        s.Coef[0] = 1.0f;
    }
}

namespace {

// By Stage 1 Bandwidth (0 "3.4 kHz", 1 "5.0 kHz", 2 "7.0 kHz"; any other value counts as 2):
// the highest frequency a filter may be set to and the processor's sample rate, both in Hz.
struct BandwidthRates {
    int16_t maxFilterFrequency;
    int16_t sampleRate;
};
constexpr BandwidthRates kBandwidthRates[3] = {{3400, 9000}, {5000, 12000}, {7000, 17200}};

const BandwidthRates &ratesOf(int16_t bandwidth)
{
    return kBandwidthRates[bandwidth == 0 || bandwidth == 1 ? bandwidth : 2];
}

} // namespace

int16_t Model::MaxFilterFrequency(int set) const { return ratesOf(stage(set, 1).Bandwidth).maxFilterFrequency; }

int16_t Model::SampleRate(int set) const { return ratesOf(stage(set, 1).Bandwidth).sampleRate; }

void Model::ValidateStage(int set, int stageNo)
{
    StageConfig &r = stage(set, stageNo);
    r.Bandwidth = 2;
    clampInto<int16_t>(r.Agc, 0, 3);
    const int16_t m = MaxFilterFrequency(set);
    const int16_t fs = SampleRate(set);

    switch (r.Type) {
    case GraphicEq20:
        for (auto &band : r.EqBand)
            clampInto<int16_t>(band, kEqBandLimit.low.value, kEqBandLimit.high.value);
        break;
    case SpectralEq:
        for (auto &gain : r.SpectralGain)
            if (gain > kSpectralGainHighDb)
                gain = kSpectralGainHighDb;
            else if (gain < kSpectralGainLowDb)
                gain = kSpectralGainLowDb;
        break;
    case ImportedCoef:
        if (r.CoefFileName.size() > 512)
            r.CoefFileName.clear();
        for (auto &c : r.Coef) {
            if (c > 1.0f)
                c = 1.0f;
            else if (c < -1.0f)
                c = -1.0f;
        }
        break;
    default:
        if (r.Type < 0 || r.Type >= kFilterTypeCount) { // unknown type: an adaptive stage at its defaults
            r.Type = Adaptive1CH;
            applyTableDefaults(r);
            break;
        }
        // Above the upper end, else below the lower end: the upper end wins when they cross.
        for (const StageLimit &l : StageLimitsOf(r.Type)) {
            int16_t &v = r.*l.member;
            const int high = l.high.at(m);
            const int low = l.low.kind == LimitEnd::FromOtherFields ? lowFromOtherFields(r, m, fs) : l.low.at(m);
            if (v > high)
                v = static_cast<int16_t>(high);
            else if (v < low)
                v = static_cast<int16_t>(low);
        }
        break;
    }
}

void Model::ResetAllFilterSets()
{
    for (int set = 0; set < kFilterSetCount; ++set) {
        for (int st = 1; st <= 2; ++st) {
            StageConfig &s = stage(set, st);
            s.Bandwidth = 1;
            s.Agc = 0;
            s.Type = PassThru;
            s.NoiseFilter = kFalse;
            CurrentSet = static_cast<int16_t>(set);
            ApplyTypeDefaults(st);
        }
    }
}

} // namespace korvane
