// Rendering audio through a filter set: how many times faster than real time one core turns
// a 44.1 kHz clip into the processor's output (conversion to the set's rate, both stages,
// conversion back), and how long the Listen panel takes to follow a change of the set for a
// 30 s clip. Prints the figures; targets: >= 300x real time, <= 100 ms.
//
// usage: bench_render [seconds of audio, default 60]

#include "../tests/support/modeltesting.h"
#include "benchmodel.h"

#include "coefgen/spectral.h"
#include "filterpath/render.h"
#include "listen/listentool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <random>

using namespace korvane;

namespace {

AudioClip noise(int rate, double seconds)
{
    AudioClip c;
    c.sampleRate = rate;
    c.channels = 1;
    c.samples.resize(static_cast<size_t>(rate * seconds));
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> u(-0.5f, 0.5f);
    for (float &v : c.samples)
        v = u(rng);
    return c;
}

template <class F> double medianSeconds(int runs, F &&f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        t.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

Model designedModel() { return test::twoStageModel(0, Bandpass, Notch); }

void renderFigures(const char *name, const Model &model, const AudioClip &clip)
{
    bench::PrintingDialog dialog;
    const auto path = FilterPathForSet(model, 0, dialog);
    if (!path) {
        std::printf("%s: the set cannot be built\n", name);
        return;
    }
    const double audio = clip.seconds();
    const double whole = medianSeconds(5, [&] { (void)RenderClip(*path, clip); });
    std::vector<float> atRate;
    const double in = medianSeconds(3,
                                    [&] { atRate = *Resample(clip.samples, 1, clip.sampleRate, path->sampleRate()); });
    std::vector<float> work;
    const double filter = medianSeconds(3, [&] {
        work = atRate;
        path->process(work);
    });
    const double out = medianSeconds(3, [&] { (void)Resample(work, 1, path->sampleRate(), clip.sampleRate); });
    std::printf("%-34s %6.0fx real time (%.3f s for %.0f s of audio): to %d Hz %.3f s, both stages %.3f s "
                "(%.0fx), back %.3f s\n",
                name, audio / whole, whole, audio, path->sampleRate(), in, filter, audio / filter, out);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 60.0;
    SetKorvanesLocation(QStringLiteral(KORVANE_PROGRAM_DIR));
    QDir::setCurrent(QStringLiteral(KORVANE_PROGRAM_DIR)); // its 20Band
    const AudioClip clip = noise(44100, seconds);
    std::printf("render of a %.0f s 44.1 kHz mono clip, one core (target >= 300x real time):\n", seconds);
    renderFigures("spectral + 20-band (256 taps each)", bench::ExpensiveModel(), clip);
    renderFigures("bandpass + notch (129 taps each)", designedModel(), clip);

    // The panel: a 30 s clip, the set changing between two pairs of stages.
    ListenTool tool;
    tool.setClip(noise(44100, 30.0), QStringLiteral("noise"));
    const Model a = bench::ExpensiveModel(), b = designedModel();
    tool.showModelSet(a, 0); // the first render also converts the original to the set's rate
    std::vector<double> ms;
    for (int i = 0; i < 10; ++i) {
        tool.showModelSet(i % 2 ? a : b, 0);
        ms.push_back(tool.lastRenderMilliseconds());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("Listen panel re-render of a 30 s clip after a change (target <= 100 ms): median %.1f ms, "
                "worst %.1f ms\n",
                ms[ms.size() / 2], ms.back());
    return 0;
}
