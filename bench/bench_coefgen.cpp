// Times the coefficient image build of the dearest configuration and one inverse transform.
// Run from the program folder (where 20Band and libkorvanes.so are), or give the folder in
// KORVANE_PROGRAM_DIR:  cd build/bin && ../bench-bin/bench_coefgen
// --image-out FILE writes the image once and exits (used to compare bytes before and after a
// change to the builder).

#include "benchmodel.h"
#include "coefgen/coefimage.h"
#include "coefgen/spectral.h"
#include "ifft/korvanes.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include <cstring>
#include <vector>

using namespace korvane;

namespace {

void BM_BuildFilterImage(benchmark::State &state)
{
    const Model model = bench::ExpensiveModel();
    bench::PrintingDialog dialog;
    for (auto _ : state) {
        auto image = BuildFilterImageBytes(model, dialog);
        if (!image) {
            state.SkipWithError("image build failed");
            break;
        }
        benchmark::DoNotOptimize(image->data());
    }
    if (dialog.messages)
        state.SkipWithError("messages were shown");
}
BENCHMARK(BM_BuildFilterImage)->Unit(benchmark::kMillisecond);

// The in-memory build plus writing filter.bin, as the programming run does it.
void BM_BuildFilterImageFile(benchmark::State &state)
{
    const Model model = bench::ExpensiveModel();
    bench::PrintingDialog dialog;
    const QString path = QDir::tempPath() + QStringLiteral("/korvane-bench-filter.bin");
    for (auto _ : state) {
        if (!BuildFilterImage(model, path, dialog)) {
            state.SkipWithError("image build failed");
            break;
        }
    }
    QFile::remove(path);
}
BENCHMARK(BM_BuildFilterImageFile)->Unit(benchmark::kMillisecond);

// One 256-point inverse transform with the Hann window, the spectral stage's call.
void BM_CalculateIFFT(benchmark::State &state)
{
    std::vector<float> buffer(KorvanesBufferSize, 0.0f);
    std::vector<float> input(129);
    for (int k = 0; k < 129; ++k)
        input[k] = k < 115 ? 1.0f / (1.0f + static_cast<float>(k % 17)) : 0.0f;
    for (auto _ : state) {
        std::memcpy(buffer.data(), input.data(), input.size() * sizeof(float));
        benchmark::DoNotOptimize(CalculateIFFT(256, 1, buffer.data()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_CalculateIFFT)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    const QString programDir = qEnvironmentVariable("KORVANE_PROGRAM_DIR");
    if (!programDir.isEmpty() && !QDir::setCurrent(programDir)) {
        std::fprintf(stderr, "cannot enter %s\n", qPrintable(programDir));
        return 1;
    }
    SetKorvanesLocation(QDir::currentPath(), QStringLiteral("korvanes"), false);
    if (!QFile::exists(QStringLiteral("20Band"))) {
        std::fprintf(stderr, "no 20Band in %s: run from the program folder\n", qPrintable(QDir::currentPath()));
        return 1;
    }
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--image-out") == 0) {
            bench::PrintingDialog dialog;
            return BuildFilterImage(bench::ExpensiveModel(), QString::fromLocal8Bit(argv[i + 1]), dialog) ? 0 : 1;
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
