// Audio file reader (libsndfile behind ReadAudioFile) on arbitrary bytes. Beyond "no crash, no
// undefined behaviour" and the fuzzer's memory limit (a header's frame count must not size
// anything): a failed read gives a reason; a successful one gives a rate within the accepted
// range, whole frames, no more than kMaxClipSamples samples, and only finite samples.
#include "filterpath/audioclip.h"
#include "fuzzsupport.h"

#include <cmath>
#include <cstdlib>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzz::ScratchCleanup cleanup;
    const QString &path = fuzz::WriteScratch(data, size);
    QString why;
    const std::optional<AudioClip> clip = ReadAudioFile(path, &why);
    if (!clip) {
        if (why.isEmpty())
            std::abort();
        return 0;
    }
    if (clip->sampleRate < kMinAudioRate || clip->sampleRate > kMaxAudioRate || clip->channels <= 0)
        std::abort();
    if (clip->samples.empty() || clip->samples.size() % static_cast<size_t>(clip->channels) != 0
        || clip->samples.size() > kMaxClipSamples)
        std::abort();
    for (float v : clip->samples)
        if (!std::isfinite(v))
            std::abort();
    return 0;
}
