#pragma once
// The coefficient image filter.bin: 16 blocks of 1792 bytes, one per filter set, big-endian,
// each with its magic word, AGC and bandwidth bytes, two stage headers with 256 signed
// 24-bit taps, the comb words, the noise flag and a 16-bit checksum.

#include "config/model.h"
#include "config/userdialog.h"

#include <QByteArray>

#include <optional>

namespace korvane {

inline constexpr int kFilterSetBlockSize = 1792;
inline constexpr int kFilterImageSize = kFilterSetBlockSize * kFilterSetCount; // 28672

// Builds the whole image in memory. std::nullopt when any block could not be completed
// (a floating-point fault, a header value that does not fit, korvanes missing); messages of
// the 20-band reader and of SingleToFixed go through dialog. The "20Band" file is read from
// the process's current folder.
[[nodiscard]] std::optional<QByteArray> BuildFilterImageBytes(const Model &model, UserDialog &dialog);

// Builds the image and writes it to imagePath (the program folder's filter.bin). True only
// when every block was built and every byte written; a failed write leaves no half-written
// image behind under imagePath.
[[nodiscard]] bool BuildFilterImage(const Model &model, const QString &imagePath, UserDialog &dialog);

} // namespace korvane
