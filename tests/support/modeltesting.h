#pragma once
// Models as the tests build them: a stage's type chosen as the type list chooses it.

#include "config/model.h"

#include <cstdint>
#include <initializer_list>

namespace korvane::test {

// Sets a stage's type with its defaults (which depend on the set's sample rate), leaving the
// current set as it was.
inline void setType(Model &m, int set, int stage, int16_t type)
{
    const int16_t keep = m.CurrentSet;
    m.CurrentSet = static_cast<int16_t>(set);
    m.stage(set, stage).Type = type;
    m.ApplyTypeDefaults(stage);
    m.CurrentSet = keep;
}

// File > New, then the stages listed set to their types (with defaults) in that order.
struct StageType {
    int set;
    int stage;
    int16_t type;
};
inline Model newModelWith(std::initializer_list<StageType> stages)
{
    Model m;
    m.ResetAllFilterSets();
    for (const StageType &s : stages)
        setType(m, s.set, s.stage, s.type);
    return m;
}

// File > New with stage 1 and stage 2 of one set given their types and validated, that set
// current: the two-stage path the render and listen tests and the render bench run.
inline Model twoStageModel(int set, int16_t type1, int16_t type2)
{
    Model m = newModelWith({{set, 1, type1}, {set, 2, type2}});
    m.CurrentSet = static_cast<int16_t>(set);
    m.ValidateStage(set, 1);
    m.ValidateStage(set, 2);
    return m;
}

// As after File > Open: every stage of every set validated.
inline Model openedModel()
{
    Model m;
    m.ResetAllFilterSets();
    for (int set = 0; set < kFilterSetCount; ++set) {
        m.ValidateStage(set, 1);
        m.ValidateStage(set, 2);
    }
    return m;
}

} // namespace korvane::test
