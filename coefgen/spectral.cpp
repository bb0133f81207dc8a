#include "spectral.h"

#include "ifft/korvanes.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <cmath>
#include <memory>

namespace korvane {

namespace {

struct KorvanesBinding {
    QString folder;
    QString baseName = QStringLiteral("korvanes");
    bool systemSearch = true;
    // Kept loaded for the rest of the run once resolved; QLibrary does not unload on
    // destruction.
    std::unique_ptr<QLibrary> library;
    CalculateIFFTFunction function = nullptr;
};

KorvanesBinding &binding()
{
    static KorvanesBinding b;
    return b;
}

QString programFolder()
{
    if (!binding().folder.isEmpty())
        return binding().folder;
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return {};
}

bool tryLoad(const QString &fileName, QString &why)
{
    auto lib = std::make_unique<QLibrary>(fileName);
    if (!lib->load()) {
        why = lib->errorString();
        return false;
    }
    auto fn = reinterpret_cast<CalculateIFFTFunction>(lib->resolve("CalculateIFFT"));
    if (!fn) {
        why = QStringLiteral("CalculateIFFT not found in %1").arg(lib->fileName());
        lib->unload();
        return false;
    }
    binding().library = std::move(lib);
    binding().function = fn;
    return true;
}

} // namespace

IfftBuffer MakeIfftBuffer() { return IfftBuffer(KorvanesBufferSize, 0.0f); }

void SetKorvanesLocation(const QString &folder, const QString &baseName, bool systemSearch)
{
    KorvanesBinding &b = binding();
    if (b.library)
        b.library->unload();
    b.library.reset();
    b.function = nullptr;
    b.folder = folder;
    b.baseName = baseName;
    b.systemSearch = systemSearch;
}

bool BindCalculateIfft(QString *errorText)
{
    KorvanesBinding &b = binding();
    if (b.function)
        return true;
    QString why;
    const QString folder = programFolder();
    bool bound = false;
    if (!folder.isEmpty())
        bound = tryLoad(QDir(folder).filePath(b.baseName), why);
    if (!bound && b.systemSearch)
        bound = tryLoad(b.baseName, why);
    if (!bound && errorText)
        *errorText = why.isEmpty() ? QStringLiteral("%1 not found").arg(b.baseName) : why;
    return bound;
}

bool SynthesizeSpectralStage(const StageConfig &stage, IfftBuffer &buffer)
{
    if (buffer.size() < static_cast<size_t>(KorvanesBufferSize) || !BindCalculateIfft())
        return false;
    for (int k = 0; k < kSpectralPointCount; ++k)
        buffer[k] = static_cast<float>(std::pow(10.0, static_cast<double>(stage.SpectralGain[k]) / 20.0));
    for (int k = kSpectralPointCount; k <= kCoefCount / 2; ++k)
        buffer[k] = 0.0f;
    (void)binding().function(kCoefCount, 1, buffer.data());
    return true;
}

} // namespace korvane
