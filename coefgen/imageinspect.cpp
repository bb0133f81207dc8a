#include "imageinspect.h"

#include "coefimage.h"
#include "fixedpoint.h"

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <span>

namespace korvane {

namespace {

DecodedStageHeader decodeHeader(const uint8_t *p)
{
    DecodedStageHeader h;
    std::copy_n(p, 8, h.bytes.begin());
    if (h.bytes == kPassThruHeader) {
        h.kind = DecodedStageHeader::Kind::PassThru;
    } else if (p[0] == 1 && p[7] == 4) {
        h.kind = DecodedStageHeader::Kind::Adaptive;
        h.filterSize = p[1] + 1;
        h.predictionSpan = p[2] + 1;
        h.adaptRate = (p[3] << 8) | p[4];
        h.residueOutput = p[5] == 1;
        h.autoMode = p[6] == 1;
    } else if (p[0] == 0 && p[1] == 255 && p[5] == 2 && p[7] == 4) {
        h.kind = DecodedStageHeader::Kind::Comb;
    } else if (p[0] == 0 && p[1] == 255 && p[2] == 0 && p[5] == 1 && p[7] == 4) {
        h.kind = DecodedStageHeader::Kind::Fir;
    }
    return h;
}

QString headerText(const DecodedStageHeader &h)
{
    switch (h.kind) {
    case DecodedStageHeader::Kind::PassThru:
        return QStringLiteral("pass-through");
    case DecodedStageHeader::Kind::Adaptive:
        return QStringLiteral("adaptive, %1 taps, prediction span %2, rate %3, %4 output, %5 adaptation")
            .arg(h.filterSize)
            .arg(h.predictionSpan)
            .arg(h.adaptRate)
            .arg(h.residueOutput ? QStringLiteral("residue") : QStringLiteral("predict"))
            .arg(h.autoMode ? QStringLiteral("auto") : QStringLiteral("fixed"));
    case DecodedStageHeader::Kind::Comb:
        return QStringLiteral("comb FIR, 256 taps");
    case DecodedStageHeader::Kind::Fir:
        return QStringLiteral("FIR, 256 taps");
    case DecodedStageHeader::Kind::Unknown:
        break;
    }
    QStringList hex;
    for (uint8_t b : h.bytes)
        hex << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
    return QStringLiteral("unknown header %1").arg(hex.join(QLatin1Char(' ')));
}

QString tapText(int32_t v)
{
    return QStringLiteral("%1 (0x%2, %3)")
        .arg(v)
        .arg(static_cast<uint32_t>(v) & 0xFFFFFF, 6, 16, QLatin1Char('0'))
        .arg(static_cast<double>(v) / 8388607.0, 0, 'f', 6);
}

} // namespace

bool DecodedBlock::complete() const { return size == kFilterSetBlockSize; }

bool DecodedImage::sizeOk() const { return size == kFilterImageSize; }

bool DecodedImage::wellFormed() const
{
    return sizeOk() && std::all_of(blocks.begin(), blocks.end(), [](const DecodedBlock &b) { return b.wellFormed(); });
}

DecodedImage DecodeFilterImage(const QByteArray &image)
{
    DecodedImage out;
    out.size = image.size();
    const auto *data = reinterpret_cast<const uint8_t *>(image.constData());
    for (qsizetype start = 0; start < image.size(); start += kFilterSetBlockSize) {
        DecodedBlock b;
        b.index = static_cast<int>(start / kFilterSetBlockSize);
        b.size = static_cast<int>(std::min<qsizetype>(kFilterSetBlockSize, image.size() - start));
        if (b.complete()) {
            const uint8_t *p = data + start;
            b.magicOk = std::memcmp(p, kBlockMagic, 6) == 0 && p[6] == 0 && p[7] == 6;
            b.agcByte = p[8];
            b.bandwidth = p[9];
            for (int s = 0; s < 2; ++s) {
                b.headers[s] = decodeHeader(p + kStageHeaderOffset[s]);
                b.firstTap[s] = DecodeTap24(p + kStageTapsOffset[s]);
                b.centreTap[s] = DecodeTap24(p + kStageTapsOffset[s] + 3 * 127);
                b.combDelay[s] = static_cast<uint16_t>((p[kCombDelayHighOffset[s]] << 8)
                                                       | p[kStageHeaderOffset[s] + 2]);
                b.combFeedback[s] = static_cast<int16_t>(
                    static_cast<uint16_t>((p[kCombFeedbackOffset[s]] << 8) | p[kCombFeedbackOffset[s] + 1]));
            }
            b.noiseFlag = p[kNoiseFlagOffset];
            b.storedChecksum = static_cast<uint16_t>((p[kChecksumOffset] << 8) | p[kChecksumOffset + 1]);
            b.computedChecksum = FilterSetBlockChecksum(std::span<const uint8_t>(p, kFilterSetBlockSize));
            b.checksumOk = b.storedChecksum == b.computedChecksum;
        }
        out.blocks.push_back(b);
    }
    return out;
}

QString DescribeFilterImage(const DecodedImage &image)
{
    QStringList lines;
    lines << QStringLiteral("image: %1 bytes%2")
                 .arg(image.size)
                 .arg(image.sizeOk() ? QString() : QStringLiteral(" (MALFORMED: expected %1)").arg(kFilterImageSize));
    for (const DecodedBlock &b : image.blocks) {
        if (!b.complete()) {
            lines << QStringLiteral("block %1: MALFORMED: only %2 of %3 bytes")
                         .arg(b.index)
                         .arg(b.size)
                         .arg(kFilterSetBlockSize);
            continue;
        }
        lines << QStringLiteral("block %1:%2")
                     .arg(b.index)
                     .arg(b.wellFormed() ? QString() : QStringLiteral(" MALFORMED"));
        lines << QStringLiteral("  magic: %1").arg(b.magicOk ? QStringLiteral("ok") : QStringLiteral("WRONG"));
        lines << QStringLiteral("  AGC byte: 0x%1 (AGC code %2), bandwidth code: %3")
                     .arg(b.agcByte, 2, 16, QLatin1Char('0'))
                     .arg((b.agcByte >> 4) & 3)
                     .arg(b.bandwidth);
        for (int s = 0; s < 2; ++s) {
            const DecodedStageHeader &h = b.headers[s];
            lines << QStringLiteral("  stage %1: %2").arg(s + 1).arg(headerText(h));
            if (h.kind == DecodedStageHeader::Kind::Fir || h.kind == DecodedStageHeader::Kind::Comb)
                lines << QStringLiteral("    tap 0: %1, tap 127: %2")
                             .arg(tapText(b.firstTap[s]), tapText(b.centreTap[s]));
            if (h.kind == DecodedStageHeader::Kind::Comb || b.combDelay[s] != 0 || b.combFeedback[s] != 0)
                lines << QStringLiteral("    comb delay %1, feedback %2 (%3)")
                             .arg(b.combDelay[s])
                             .arg(b.combFeedback[s])
                             .arg(b.combFeedback[s] / 16384.0, 0, 'f', 5);
        }
        lines << QStringLiteral("  broadband noise filter: %1").arg(b.noiseFlag);
        lines
            << QStringLiteral("  checksum: 0x%1 %2")
                   .arg(b.storedChecksum, 4, 16, QLatin1Char('0'))
                   .arg(b.checksumOk
                            ? QStringLiteral("ok")
                            : QStringLiteral("WRONG (expected 0x%1)").arg(b.computedChecksum, 4, 16, QLatin1Char('0')));
    }
    lines << (image.wellFormed() ? QStringLiteral("image well formed") : QStringLiteral("image MALFORMED"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace korvane
