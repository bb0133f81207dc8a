#include "coefimage.h"

#include "config/filelocations.h"

#include "eq20.h"
#include "firdesign.h"
#include "fixedpoint.h"
#include "spectral.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

constexpr StageHeader kFirHeader = {0, 255, 0, 0, 0, 1, 0, 4};

class BlockWriter {
public:
    BlockWriter(std::span<uint8_t, kFilterSetBlockSize> block, UserDialog &dialog) : block_(block), dialog_(dialog) { }

    void header(int stageIndex, const StageHeader &h)
    {
        std::copy(h.begin(), h.end(), block_.begin() + kStageHeaderOffset[stageIndex]);
    }
    void tap(int stageIndex, int k, const Tap24 &bytes)
    {
        std::copy(bytes.begin(), bytes.end(), block_.begin() + kStageTapsOffset[stageIndex] + 3 * k);
    }
    void zeroTaps(int stageIndex)
    {
        std::fill_n(block_.begin() + kStageTapsOffset[stageIndex], 3 * kCoefCount, uint8_t{0});
    }
    // Converts and stores 256 singles. A value SingleToFixed cannot convert is reported once
    // with the "Conversion Error" message and fails the block: an image holding a tap that
    // is not what was designed must not reach the processor.
    [[nodiscard]] bool convertedTaps(int stageIndex, const float *values)
    {
        for (int k = 0; k < kCoefCount; ++k) {
            const auto bytes = SingleToFixed(values[k]);
            if (!bytes) {
                dialog_.inform(QStringLiteral("Conversion Error"), QStringLiteral("Error generated in Single To Fixed"),
                               MessageIcon::Exclamation);
                return false;
            }
            tap(stageIndex, k, *bytes);
        }
        return true;
    }
    void passThru(int stageIndex)
    {
        header(stageIndex, kPassThruHeader);
        zeroTaps(stageIndex);
    }

private:
    std::span<uint8_t, kFilterSetBlockSize> block_;
    UserDialog &dialog_;
};

// Comb delay D: the fundamental setting N for "All" harmonics; for "Odd" and "Even" the
// processor runs at half the delay, (N + 1) div 2 - 1.
int combDelay(const StageConfig &s) { return s.ModeOption < 4 ? s.Freq1 : (s.Freq1 + 1) / 2 - 1; }

struct BlockState {
    bool eq20Failed = false; // the "20Band" file already failed for this block
    IfftBuffer ifft = MakeIfftBuffer();
};

bool buildStage(const Model &model, int set, int stage, BlockWriter &out, BlockState &state, UserDialog &dialog)
{
    const StageConfig &s = model.stage(set, stage);
    const int stageIndex = StageIndex(stage);
    switch (s.Type) {
    case Adaptive1CH: {
        if (s.FilterSize < 1 || s.FilterSize > 256 || s.PredictionSpan < 1 || s.PredictionSpan > 256 || s.AdaptRate < 0)
            return false;
        const StageHeader h = {1,
                               static_cast<uint8_t>(s.FilterSize - 1),
                               static_cast<uint8_t>(s.PredictionSpan - 1),
                               static_cast<uint8_t>(s.AdaptRate >> 8),
                               static_cast<uint8_t>(s.AdaptRate & 0xFF),
                               static_cast<uint8_t>(s.OutputOption == 1 ? 1 : 0),
                               static_cast<uint8_t>(s.ModeOption == 1 ? 1 : 0),
                               4};
        out.header(stageIndex, h);
        out.zeroTaps(stageIndex);
        return true;
    }
    case PassThru:
        out.passThru(stageIndex);
        return true;
    case Comb: {
        const int d = combDelay(s);
        if (d < 0 || d > 0xFFFF)
            return false;
        out.header(stageIndex, {0, 255, static_cast<uint8_t>(d & 0xFF), 0, 0, 2, 0, 4});
        const auto taps = DesignStageFir(s, model.SampleRate(set));
        return taps && out.convertedTaps(stageIndex, taps->data());
    }
    case Lowpass:
    case Highpass:
    case Bandpass:
    case Bandstop:
    case Notch:
    case Slot: {
        out.header(stageIndex, kFirHeader);
        const auto taps = DesignStageFir(s, model.SampleRate(set));
        return taps && out.convertedTaps(stageIndex, taps->data());
    }
    case ImportedCoef:
        // Stored order, not re-centred.
        out.header(stageIndex, kFirHeader);
        return out.convertedTaps(stageIndex, s.Coef.data());
    case SpectralEq:
        out.header(stageIndex, kFirHeader);
        return SynthesizeSpectralStage(s, state.ifft) && out.convertedTaps(stageIndex, state.ifft.data());
    case GraphicEq20: {
        Eq20Accumulator acc{};
        if (state.eq20Failed || Read20BandCoefficients(s.EqBand, acc, dialog, Find20BandFile()) != 0) {
            state.eq20Failed = true;
            out.passThru(stageIndex);
            return true;
        }
        out.header(stageIndex, kFirHeader);
        for (int k = 0; k < kCoefCount; ++k) {
            // Written as they are: no scaling, no clamping; a sum beyond 24 bits wraps. One
            // beyond 32 bits cannot be represented at all.
            if (!(acc[k] >= -2147483648.0f && acc[k] < 2147483648.0f))
                return false;
            out.tap(stageIndex, k, Wrap24(static_cast<int32_t>(std::llrint(acc[k]))));
        }
        return true;
    }
    default:
        return false;
    }
}

void putWord(std::span<uint8_t, kFilterSetBlockSize> block, int offset, uint16_t word)
{
    block[offset] = static_cast<uint8_t>(word >> 8);
    block[offset + 1] = static_cast<uint8_t>(word & 0xFF);
}

} // namespace

uint16_t FilterSetBlockChecksum(std::span<const uint8_t> block)
{
    uint32_t sum = 0;
    for (int i = 0; i < kChecksumOffset && i < static_cast<int>(block.size()); ++i)
        sum += block[i];
    return static_cast<uint16_t>((65536u - (sum & 0xFFFF)) & 0xFFFF);
}

bool BuildFilterSetBlock(const Model &model, int set, std::span<uint8_t, kFilterSetBlockSize> block, UserDialog &dialog)
{
    if (set < 0 || set >= kFilterSetCount)
        return false;
    std::fill(block.begin(), block.end(), uint8_t{0});
    const StageConfig &first = model.stage(set, 1);

    std::copy_n(kBlockMagic, 6, block.begin());
    block[6] = 0;
    block[7] = 6;
    block[8] = static_cast<uint8_t>(0x0C | ((first.Agc & 3) << 4));
    block[9] = static_cast<uint8_t>(first.Bandwidth & 0xFF);

    BlockWriter out(block, dialog);
    BlockState state;
    for (int stage = 1; stage <= kStageCount; ++stage) {
        if (!buildStage(model, set, stage, out, state, dialog))
            return false;
    }

    std::fill(block.begin() + 1562, block.begin() + kChecksumOffset, uint8_t{0});
    block[kNoiseFlagOffset] = first.NoiseFilter != 0 ? 1 : 0;
    for (int stage = 1; stage <= kStageCount; ++stage) {
        const StageConfig &s = model.stage(set, stage);
        if (s.Type != Comb)
            continue;
        const int stageIndex = StageIndex(stage);
        block[kCombDelayHighOffset[stageIndex]] = static_cast<uint8_t>((combDelay(s) >> 8) & 0xFF);
        putWord(block, kCombFeedbackOffset[stageIndex],
                static_cast<uint16_t>(CombFeedbackCoefficient(s.AttenDb, s.ModeOption)));
    }
    putWord(block, kChecksumOffset, FilterSetBlockChecksum(block));
    return true;
}

std::optional<QByteArray> BuildFilterImageBytes(const Model &model, UserDialog &dialog)
{
    QByteArray image(kFilterImageSize, '\0');
    auto *bytes = reinterpret_cast<uint8_t *>(image.data());
    for (int set = 0; set < kFilterSetCount; ++set) {
        std::span<uint8_t, kFilterSetBlockSize> block(bytes + set * kFilterSetBlockSize, kFilterSetBlockSize);
        if (!BuildFilterSetBlock(model, set, block, dialog))
            return std::nullopt;
    }
    return image;
}

QString ProgramFilterImagePath()
{
    const QString folder = ProgramFolder();
    return folder.isEmpty() ? kFilterImageFileName : FilterImagePath(folder);
}

bool WriteFilterImage(const QByteArray &image, const QString &imagePath, QString *errorText)
{
    // Written beside the target and renamed over it on commit, so the file is either the
    // previous image or the complete new one, always exactly 28672 bytes.
    QSaveFile file(imagePath);
    const auto fail = [&] {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    if (file.write(image) != image.size())
        return fail();
    if (!file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    return true;
}

bool BuildFilterImage(const Model &model, const QString &imagePath, UserDialog &dialog, QString *errorText)
{
    const auto image = BuildFilterImageBytes(model, dialog);
    if (!image) {
        if (errorText)
            *errorText = QStringLiteral("a filter set could not be built");
        return false;
    }
    return WriteFilterImage(*image, imagePath, errorText);
}

} // namespace korvane
