#pragma once
// The coefficient image filter.bin: 16 blocks of 1792 bytes, one per filter set, big-endian,
// each with its magic word, AGC and bandwidth bytes, two stage headers with 256 signed
// 24-bit taps, the comb words, the noise flag and a 16-bit checksum.
//
// Block layout (byte offsets):
//    0  "ZARVEL"            6  0               7  6
//    8  AGC byte 0x0C | (Agc & 3) << 4         9  bandwidth code
//   10  stage 1 header (8)  18 stage 1 taps (256 x 3, tap 0 first)
//  786  stage 2 header (8) 794 stage 2 taps
// 1562  zero (221)        1783 broadband noise flag (1/0)
// 1784  stage 1 comb delay high byte, 1785 stage 1 comb feedback (Q14, 2 bytes)
// 1787  stage 2 comb delay high byte, 1788 stage 2 comb feedback
// 1790  checksum C: (65536 - sum of bytes 0..1789) & 0xFFFF, so the 16-bit sum of all is 0

#include "coefgen/fixedpoint.h"
#include "config/model.h"
#include "config/userdialog.h"

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace korvane {

inline constexpr int kFilterSetBlockSize = 1792;
inline constexpr int kFilterImageSize = kFilterSetBlockSize * kFilterSetCount; // 28672

// Per-stage offsets, indexed by StageIndex(stage) (config/model.h).
inline constexpr int kStageHeaderOffset[2] = {10, 786};
inline constexpr int kStageTapsOffset[2] = {18, 794};
inline constexpr int kNoiseFlagOffset = 1783;
inline constexpr int kCombDelayHighOffset[2] = {1784, 1787};
inline constexpr int kCombFeedbackOffset[2] = {1785, 1788};
inline constexpr int kChecksumOffset = 1790;
inline constexpr char kBlockMagic[] = "ZARVEL";

using StageHeader = std::array<uint8_t, 8>;
// The header of a Pass Thru Filter stage, also used for a 20-band stage whose data file
// could not be read.
inline constexpr StageHeader kPassThruHeader = {1, 3, 0, 0, 0, 1, 0, 4};

// (65536 - sum of bytes 0..1789) & 0xFFFF of a block of at least 1790 bytes.
[[nodiscard]] uint16_t FilterSetBlockChecksum(std::span<const uint8_t> block);

// Fills every byte of block for filter set 0..15. False when the block cannot be completed: a
// floating-point fault in a design, a header value that does not fit its byte, an unknown
// stage type, a coefficient SingleToFixed cannot convert (after the "Conversion Error"
// message), a 20-band sum beyond 32 bits, or korvanes missing for a spectral stage. A block
// that returned false must not be sent. A 20-band stage whose data file cannot be read (after
// the "File Error" message, once per block) is written as a Pass Thru Filter stage and the
// block still succeeds.
[[nodiscard]] bool BuildFilterSetBlock(const Model &model, int set, std::span<uint8_t, kFilterSetBlockSize> block,
                                       UserDialog &dialog);

// Builds the whole image in memory. std::nullopt when any block could not be completed
// (a floating-point fault, a header value that does not fit, korvanes missing); messages of
// the 20-band reader and of SingleToFixed go through dialog. The "20Band" file is the
// current folder's, else the program's own (Find20BandFile).
[[nodiscard]] std::optional<QByteArray> BuildFilterImageBytes(const Model &model, UserDialog &dialog);

// Where filter.bin is written: the program folder's when that folder is writable, else the
// per-user state folder's (config/filelocations.h); just "filter.bin" when no application
// object exists.
[[nodiscard]] QString ProgramFilterImagePath();

// Writes a built image to imagePath whole: a failed write leaves the previous file, never a
// half-written one. On failure errorText (if given) gets the system's reason.
[[nodiscard]] bool WriteFilterImage(const QByteArray &image, const QString &imagePath, QString *errorText = nullptr);

// Builds the image and writes it to imagePath (ProgramFilterImagePath()). True only when every
// block was built and every byte written; a failed write leaves no half-written image behind
// under imagePath. On failure errorText (if given) gets the system's reason.
[[nodiscard]] bool BuildFilterImage(const Model &model, const QString &imagePath, UserDialog &dialog,
                                    QString *errorText = nullptr);

} // namespace korvane
