#include "model.h"

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

void applyAdaptiveDefaults(StageConfig &s)
{
    s.FilterSize = 128;
    s.PredictionSpan = 3;
    s.AdaptRate = 10;
    s.ModeOption = 1;
    s.OutputOption = 1;
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
    switch (s.Type) {
    case Adaptive1CH:
        applyAdaptiveDefaults(s);
        break;
    case Lowpass:
        s.Freq1 = 2500;
        s.AttenDb = 30;
        s.Slope = 64;
        break;
    case Highpass:
        s.Freq1 = 300;
        s.AttenDb = 30;
        s.Slope = 64;
        break;
    case Bandpass:
        s.Freq1 = 300;
        s.Freq2 = 2500;
        s.AttenDb = 30;
        s.Slope = 64;
        break;
    case Bandstop:
        s.Freq1 = 2000;
        s.Freq2 = 2500;
        s.AttenDb = 30;
        s.Slope = 64;
        break;
    case Comb:
        s.Freq1 = 286;
        s.Freq2 = 2500;
        s.AttenDb = 30;
        s.ModeOption = 3;
        break;
    case Notch:
        s.Freq1 = 400;
        s.AttenDb = 30;
        s.Freq2 = 64;
        break;
    case Slot:
        s.Freq1 = 1000;
        s.AttenDb = 30;
        s.Freq2 = 64;
        break;
    case ImportedCoef:
        s.CoefFileName.clear();
        s.Coef.fill(0.0f);
        s.Coef[0] = 1.0f;
        break;
    default: // GraphicEq20, SpectralEq, PassThru keep everything
        break;
    }
}

int16_t Model::MaxFilterFrequency(int set) const
{
    switch (stage(set, 1).Bandwidth) {
    case 0:
        return 3400;
    case 1:
        return 5000;
    default:
        return 7000;
    }
}

int16_t Model::SampleRate(int set) const
{
    switch (stage(set, 1).Bandwidth) {
    case 0:
        return 9000;
    case 1:
        return 12000;
    default:
        return 17200;
    }
}

void Model::ValidateStage(int set, int stageNo)
{
    StageConfig &r = stage(set, stageNo);
    r.Bandwidth = 2;
    clampInto<int16_t>(r.Agc, 0, 3);
    const int16_t m = MaxFilterFrequency(set);
    const int16_t fs = SampleRate(set);

    // "above the limit, else below the floor": the upper limit wins when they cross.
    auto limit = [](int16_t &v, int low, int high) {
        if (v > high)
            v = static_cast<int16_t>(high);
        else if (v < low)
            v = static_cast<int16_t>(low);
    };

    switch (r.Type) {
    case Adaptive1CH:
        clampInto<int16_t>(r.FilterSize, 4, 256);
        clampInto<int16_t>(r.PredictionSpan, 1, 64);
        clampInto<int16_t>(r.AdaptRate, 1, 256);
        clampInto<int16_t>(r.ModeOption, 1, 2);
        clampInto<int16_t>(r.OutputOption, 1, 2);
        break;
    case Lowpass:
    case Highpass:
        limit(r.Freq1, 100, m);
        clampInto<int16_t>(r.AttenDb, 12, 60);
        clampInto<int16_t>(r.Slope, 3, 125);
        break;
    case Bandpass:
    case Bandstop:
        limit(r.Freq1, 0, m - 100);
        limit(r.Freq2, r.Freq1 + 100, m);
        clampInto<int16_t>(r.AttenDb, 12, 60);
        clampInto<int16_t>(r.Slope, 3, 125);
        break;
    case Comb: {
        clampInto<int16_t>(r.Freq1, 5, 509);
        const int f0 = roundHalfEven(static_cast<double>(fs) / (r.Freq1 + 1));
        const int floorHz = std::min<int>(roundHalfEven(2.0 * f0 + f0 / 2.0), m);
        limit(r.Freq2, floorHz, m);
        clampInto<int16_t>(r.AttenDb, 12, 60);
        clampInto<int16_t>(r.ModeOption, 3, 5);
        break;
    }
    case Notch:
    case Slot:
        limit(r.Freq1, 30, m);
        clampInto<int16_t>(r.AttenDb, 10, 60);
        clampInto<int16_t>(r.Freq2, 3, 125);
        break;
    case GraphicEq20:
        for (auto &band : r.EqBand)
            clampInto<int16_t>(band, 0, 40);
        break;
    case SpectralEq:
        for (auto &gain : r.SpectralGain)
            if (gain > 0.0f)
                gain = 0.0f;
            else if (gain < -40.0f)
                gain = -40.0f;
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
    case PassThru:
        break;
    default: // unknown type: becomes an adaptive stage at its defaults
        r.Type = Adaptive1CH;
        applyAdaptiveDefaults(r);
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
