// Time of one response update of a filter set (block build, decode, both stages on the
// 513-point grid and the cascade), per pair of stage types, and of an editor's live update
// of one stage. Prints the median and the worst of many runs; a live update has to fit well
// inside one 16 ms frame.
//
//   bench_response [runs]       (default 2000 per case)
//
// Reads "20Band" and loads korvanes from the program folder the build wrote.

#include "coefgen/response.h"
#include "coefgen/spectral.h"

#include <QDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace korvane;

namespace {

struct Case {
    const char *name;
    int16_t stage1;
    int16_t stage2;
};

const Case kCases[] = {
    {"Lowpass + Highpass", Lowpass, Highpass},
    {"Bandpass + Bandstop", Bandpass, Bandstop},
    {"Comb + Notch", Comb, Notch},
    {"Slot + 20-band", Slot, GraphicEq20},
    {"Spectral + Imported", SpectralEq, ImportedCoef},
    {"20-band + Spectral", GraphicEq20, SpectralEq},
    {"Adaptive + Pass Thru", Adaptive1CH, PassThru},
};

void setType(Model &m, int set, int stage, int16_t type)
{
    m.CurrentSet = static_cast<int16_t>(set);
    m.stage(set, stage).Type = type;
    m.ApplyTypeDefaults(stage);
    if (type == SpectralEq)
        for (int k = 0; k < kSpectralPointCount; ++k)
            m.stage(set, stage).SpectralGain[k] = -0.3f * static_cast<float>(k % 60);
    if (type == GraphicEq20)
        for (int b = 0; b < kEqBandCount; ++b)
            m.stage(set, stage).EqBand[b] = static_cast<int16_t>(2 * b);
}

struct Times {
    double median = 0, worst = 0;
};

template <typename F> Times measure(int runs, F &&f)
{
    std::vector<double> t;
    t.reserve(runs);
    for (int i = 0; i < runs; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    }
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t.back()};
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    if (!QDir::setCurrent(QStringLiteral(KORVANE_PROGRAM_DIR))) {
        std::fprintf(stderr, "bench_response: cannot enter %s\n", KORVANE_PROGRAM_DIR);
        return 1;
    }
    SetKorvanesLocation(QStringLiteral(KORVANE_PROGRAM_DIR));

    Model m;
    m.ResetAllFilterSets();
    for (int set = 0; set < kFilterSetCount; ++set)
        for (int stage = 1; stage <= 2; ++stage)
            m.stage(set, stage).Bandwidth = 2;
    int set = 0;
    for (const Case &c : kCases) {
        setType(m, set, 1, c.stage1);
        setType(m, set, 2, c.stage2);
        ++set;
    }

    ResponseEngine engine;
    std::printf("response update of one filter set, %d points, %d runs each (ms)\n", engine.points(), runs);
    std::printf("%-24s %9s %9s\n", "stages", "median", "worst");
    volatile double sink = 0;
    set = 0;
    for (const Case &c : kCases) {
        const SetResponse check = engine.setResponse(m, set);
        if (!check.problems.isEmpty())
            std::fprintf(stderr, "  %s: %s\n", c.name, qPrintable(check.problems.join(QStringLiteral("; "))));
        const Times t = measure(runs, [&] { sink = sink + engine.setResponse(m, set).cascade.size(); });
        std::printf("%-24s %9.3f %9.3f\n", c.name, t.median, t.worst);
        ++set;
    }

    // An editor's live update: the edited stage replaced while a bar moves.
    std::printf("\nlive update of an edited stage (ms)\n");
    StageConfig edited = m.stage(0, 1);
    int16_t f = 300;
    const Times live = measure(runs, [&] {
        edited.Freq1 = f;
        f = static_cast<int16_t>(f >= 6900 ? 300 : f + 7);
        sink = sink + engine.stageResponse(m, 0, 1, edited).stages[0].db.size();
    });
    std::printf("%-24s %9.3f %9.3f\n", "Lowpass cutoff moving", live.median, live.worst);
    StageConfig eq = m.stage(3, 2);
    int16_t v = 0;
    const Times liveEq = measure(runs, [&] {
        eq.EqBand[7] = v;
        v = static_cast<int16_t>((v + 1) % 41);
        sink = sink + engine.stageResponse(m, 3, 2, eq).stages[1].db.size();
    });
    std::printf("%-24s %9.3f %9.3f\n", "20-band bar moving", liveEq.median, liveEq.worst);

    // The engine's own setup (twiddle tables), paid once per plot.
    const Times setup = measure(std::min(runs, 200), [&] {
        ResponseEngine e;
        sink = sink + e.points();
    });
    std::printf("\nengine construction (ms)  median %.3f  worst %.3f\n", setup.median, setup.worst);
    return 0;
}
