#pragma once
// Helpers shared by the coefficient image tests.

#include "coefgen/coefimage.h"
#include "modeltesting.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace korvane::test {

// File > New: every stage Pass Thru Filter, No AGC, 5.0 kHz, noise filter off.
inline Model passThruModel()
{
    Model m;
    m.ResetAllFilterSets();
    m.CurrentSet = 0;
    return m;
}

inline const uint8_t *blockAt(const QByteArray &image, int set)
{
    return reinterpret_cast<const uint8_t *>(image.constData()) + set * kFilterSetBlockSize;
}

// Sign-extended tap k of a block's stage, given as StageIndex(stage): 0 or 1.
inline int32_t tapAt(const uint8_t *block, int stageIndex, int k)
{
    return DecodeTap24(block + kStageTapsOffset[stageIndex] + 3 * k);
}

inline QString programDir() { return qEnvironmentVariable("KORVANE_PROGRAM_DIR"); }

} // namespace korvane::test
