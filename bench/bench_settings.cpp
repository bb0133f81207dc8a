// Times writing and reading a settings file of a fully used configuration (every set with a
// spectral and a 20-band stage and non-zero stored coefficients): the work of File > Save and
// File > Open and of default.min at start and exit.

#include "benchmodel.h"
#include "config/settingsfile.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

using namespace korvane;

namespace {

void BM_SettingsFileContent(benchmark::State &state)
{
    const Model model = bench::ExpensiveModel();
    for (auto _ : state) {
        QByteArray content = SettingsFileContent(model);
        benchmark::DoNotOptimize(content.data());
    }
}
BENCHMARK(BM_SettingsFileContent)->Unit(benchmark::kMillisecond);

void BM_WriteSettingsFile(benchmark::State &state)
{
    const Model model = bench::ExpensiveModel();
    bench::PrintingDialog dialog;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.min"));
    for (auto _ : state) {
        if (!WriteSettingsFile(model, path, dialog)) {
            state.SkipWithError("write failed");
            break;
        }
    }
}
BENCHMARK(BM_WriteSettingsFile)->Unit(benchmark::kMillisecond);

void BM_ReadSettingsFile(benchmark::State &state)
{
    bench::PrintingDialog dialog;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.min"));
    if (!WriteSettingsFile(bench::ExpensiveModel(), path, dialog)) {
        state.SkipWithError("write failed");
        return;
    }
    Model model;
    for (auto _ : state) {
        if (!ReadSettingsFile(model, path, dialog)) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(&model);
    }
}
BENCHMARK(BM_ReadSettingsFile)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
