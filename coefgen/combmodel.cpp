#include "combmodel.h"

#include <cmath>
#include <numbers>

namespace korvane {

CombModel CombModel::FromWords(int delay, int16_t feedbackWord)
{
    CombModel m;
    m.loop = delay + 1;
    m.feedback = feedbackWord / 16384.0;
    m.inputGain = 1.0 - std::abs(m.feedback);
    return m;
}

double CombModel::gainAtLoopCosine(double c) const
{
    return inputGain / std::sqrt(1.0 - 2.0 * feedback * c + feedback * feedback);
}

double CombModel::magnitude(double hz, double fs) const
{
    const double w = 2.0 * std::numbers::pi * hz / fs;
    return gainAtLoopCosine(std::cos(w * loop));
}

double CombModel::depthDb() const
{
    const double a = std::abs(feedback);
    return 20.0 * std::log10((1.0 + a) / (1.0 - a));
}

} // namespace korvane
