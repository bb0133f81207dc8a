#pragma once
// Helpers shared by the coefficient image tests.

#include "coefgen/coefimage.h"

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

// Sets a stage's type with its defaults.
inline void setType(Model &m, int set, int stage, int16_t type)
{
    const int16_t keep = m.CurrentSet;
    m.CurrentSet = static_cast<int16_t>(set);
    m.stage(set, stage).Type = type;
    m.ApplyTypeDefaults(stage);
    m.CurrentSet = keep;
}

inline const uint8_t *blockAt(const QByteArray &image, int set)
{
    return reinterpret_cast<const uint8_t *>(image.constData()) + set * kFilterSetBlockSize;
}

// Sign-extended tap k of a stage (0 or 1) of a block.
inline int32_t tapAt(const uint8_t *block, int stageIndex, int k)
{
    const uint8_t *p = block + kStageTapsOffset[stageIndex] + 3 * k;
    int32_t v = (p[0] << 16) | (p[1] << 8) | p[2];
    return (v & 0x800000) ? v - 0x1000000 : v;
}

inline QString programDir() { return qEnvironmentVariable("KORVANE_PROGRAM_DIR"); }

} // namespace korvane::test
