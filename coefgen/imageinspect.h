#pragma once
// Decoding of a coefficient image for inspection: any byte string is accepted and judged
// (size, magic word, checksum); nothing is assumed about where it came from.

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

namespace korvane {

struct DecodedStageHeader {
    enum class Kind { Adaptive, PassThru, Comb, Fir, Unknown };
    Kind kind = Kind::Unknown;
    std::array<uint8_t, 8> bytes{};
    // Adaptive only.
    int filterSize = 0;
    int predictionSpan = 0;
    int adaptRate = 0;
    bool residueOutput = false;
    bool autoMode = false;
};

struct DecodedBlock {
    int index = 0;
    int size = 0;         // bytes present; a block shorter than 1792 is not decoded further
    bool magicOk = false; // "ZARVEL", 0, 6
    bool checksumOk = false;
    uint16_t storedChecksum = 0;
    uint16_t computedChecksum = 0;
    uint8_t agcByte = 0;
    uint8_t bandwidth = 0;
    // Per-stage values, indexed by StageIndex(stage): [0] is Stage 1.
    std::array<DecodedStageHeader, 2> headers{};
    std::array<int32_t, 2> firstTap{};     // tap 0, sign-extended 24-bit
    std::array<int32_t, 2> centreTap{};    // tap 127
    std::array<uint16_t, 2> combDelay{};   // header byte 2 | high byte << 8
    std::array<int16_t, 2> combFeedback{}; // Q14
    uint8_t noiseFlag = 0;

    [[nodiscard]] bool complete() const;
    [[nodiscard]] bool wellFormed() const { return complete() && magicOk && checksumOk; }
};

struct DecodedImage {
    qsizetype size = 0;
    std::vector<DecodedBlock> blocks; // one per started block of 1792 bytes
    [[nodiscard]] bool sizeOk() const;
    // Exactly 28672 bytes and every block has its magic word and a matching checksum.
    [[nodiscard]] bool wellFormed() const;
};

[[nodiscard]] DecodedImage DecodeFilterImage(const QByteArray &image);

// A readable report: one paragraph per block, malformed blocks marked.
[[nodiscard]] QString DescribeFilterImage(const DecodedImage &image);

} // namespace korvane
