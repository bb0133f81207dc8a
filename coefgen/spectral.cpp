#include "spectral.h"

#include "config/filelocations.h"
#include "ifft/korvanes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
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

// The folders tried before the system search: the one set by SetKorvanesLocation, else the
// program folder and then the installed program's private library folder.
QStringList libraryFolders()
{
    if (!binding().folder.isEmpty())
        return {binding().folder};
    return LibraryFolders(ProgramFolder());
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
    bool bound = false;
    for (const QString &folder : libraryFolders()) {
        // A folder without the library is no reason to report: only a file that is there
        // and cannot be loaded is.
        const QString path = QDir(folder).filePath(QStringLiteral("lib%1.so").arg(b.baseName));
        if (QFileInfo::exists(path) && (bound = tryLoad(path, why)))
            break;
    }
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
