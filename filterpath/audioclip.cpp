#include "audioclip.h"

#include "config/replacefile.h"

#include <QFile>
#include <QFileInfo>

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace korvane {

namespace {

struct SndCloser {
    void operator()(SNDFILE *f) const { sf_close(f); }
};
using SndFile = std::unique_ptr<SNDFILE, SndCloser>;

struct SoxrDeleter {
    void operator()(soxr *s) const { soxr_delete(s); }
};

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

constexpr char kFormatsHint[] = "Use a WAV, FLAC or Ogg Vorbis file.";

// libsndfile's reason as the middle of a sentence: no final full stop.
QString sndReason(SNDFILE *f)
{
    QString s = QString::fromLocal8Bit(sf_strerror(f)).trimmed();
    while (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s;
}

// Opens path for reading, info filled from its header; null (error set) when the file is
// missing, empty, not audio libsndfile reads, or its header gives no channels, rate or frames
// or a rate outside kMinAudioRate..kMaxAudioRate.
SndFile openAudioFile(const QString &path, SF_INFO &info, QString *error)
{
    const QFileInfo fi(path);
    if (!fi.exists()) {
        setError(error, QStringLiteral("Cannot read audio file %1: it does not exist.").arg(path));
        return nullptr;
    }
    if (fi.size() == 0) {
        setError(error, QStringLiteral("Cannot read audio file %1: it is empty. %2").arg(path, kFormatsHint));
        return nullptr;
    }
    SndFile file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file) {
        setError(error,
                 QStringLiteral("Cannot read audio file %1: %2. It is not an audio file this program can "
                                "read, or its header is damaged. %3")
                     .arg(path, sndReason(nullptr), kFormatsHint));
        return nullptr;
    }
    // info.frames is what the header claims; it only has to say there is something to read.
    if (info.channels <= 0 || info.samplerate <= 0 || info.frames <= 0) {
        setError(error,
                 QStringLiteral("Cannot read audio file %1: it has %2 channels, %3 Hz and %4 frames; it needs "
                                "at least one of each. %5")
                     .arg(path)
                     .arg(info.channels)
                     .arg(info.samplerate)
                     .arg(static_cast<qint64>(info.frames))
                     .arg(kFormatsHint));
        return nullptr;
    }
    if (info.samplerate < kMinAudioRate || info.samplerate > kMaxAudioRate) {
        setError(error,
                 QStringLiteral("Cannot read audio file %1: its sample rate is %2 Hz; this program works with "
                                "%3 to %4 Hz. Convert it to a usual rate such as 44100 or 48000 Hz first.")
                     .arg(path)
                     .arg(info.samplerate)
                     .arg(kMinAudioRate)
                     .arg(kMaxAudioRate));
        return nullptr;
    }
    return file;
}

// Reads file's samples into clip (its channels set), non-finite samples as 0 (counted in
// replacedSamples); false (error set) when the clip would hold more than kMaxClipSamples.
bool readSamples(SNDFILE *file, AudioClip &clip, const QString &path, QString *error)
{
    // Blocks read straight into the clip, until the file ends (a file cut short reads as the
    // frames that are there) or the clip would be too long. The blocks grow with the clip from
    // 4 Ki to 64 Ki samples: a short clip is not charged for a large block's fresh pages.
    const auto channels = static_cast<size_t>(clip.channels);
    for (;;) {
        const size_t at = clip.samples.size();
        const size_t blockFrames = std::max<size_t>(1, std::clamp<size_t>(at, 1 << 12, 1 << 16) / channels);
        const size_t blockSamples = blockFrames * channels;
        // Doubling, but never beyond the bound and the block that shows it was passed.
        if (at + blockSamples > clip.samples.capacity())
            clip.samples.reserve(
                std::min(std::max(at + blockSamples, 2 * clip.samples.capacity()), kMaxClipSamples + blockSamples));
        clip.samples.resize(at + blockSamples);
        const sf_count_t got = sf_readf_float(file, clip.samples.data() + at, static_cast<sf_count_t>(blockFrames));
        const size_t read = got > 0 ? static_cast<size_t>(got) * channels : 0;
        clip.samples.resize(at + read);
        if (read == 0)
            return true;
        if (clip.samples.size() > kMaxClipSamples) {
            setError(error,
                     QStringLiteral("Cannot read audio file %1: it holds more than %2 samples (frames times "
                                    "channels), the most this program works on at once (%3 MiB of memory, "
                                    "about 11 minutes of stereo or 23 of mono at 48 kHz). Cut it into shorter pieces.")
                         .arg(path)
                         .arg(static_cast<qulonglong>(kMaxClipSamples))
                         .arg(static_cast<qulonglong>(kMaxClipSamples * sizeof(float) >> 20)));
            return false;
        }
        for (auto it = clip.samples.begin() + static_cast<std::ptrdiff_t>(at); it != clip.samples.end(); ++it) {
            if (!std::isfinite(*it)) {
                *it = 0.0f;
                ++clip.replacedSamples;
            }
        }
    }
}

} // namespace

std::vector<float> AudioClip::channel(int index) const
{
    std::vector<float> out(frames());
    for (size_t f = 0; f < out.size(); ++f)
        out[f] = samples[f * static_cast<size_t>(channels) + static_cast<size_t>(index)];
    return out;
}

std::vector<float> AudioClip::mono() const
{
    if (channels == 1)
        return samples;
    std::vector<float> out(frames());
    for (size_t f = 0; f < out.size(); ++f) {
        float sum = 0.0f;
        for (int c = 0; c < channels; ++c)
            sum += samples[f * static_cast<size_t>(channels) + static_cast<size_t>(c)];
        out[f] = sum / static_cast<float>(channels);
    }
    return out;
}

std::optional<AudioClip> ReadAudioFile(const QString &path, QString *error)
{
    SF_INFO info{};
    const SndFile file = openAudioFile(path, info, error);
    if (!file)
        return std::nullopt;
    AudioClip clip;
    clip.sampleRate = info.samplerate;
    clip.channels = info.channels;
    clip.fileFormat = info.format;
    if (!readSamples(file.get(), clip, path, error))
        return std::nullopt;
    if (clip.samples.empty()) {
        // libsndfile reports no error for a file that ends before its first sample.
        setError(error,
                 QStringLiteral("Cannot read audio file %1: no samples could be read (%2). %3")
                     .arg(path,
                          sf_error(file.get()) != SF_ERR_NO_ERROR ? sndReason(file.get())
                                                                  : QStringLiteral("the file ends before its audio"),
                          kFormatsHint));
        return std::nullopt;
    }
    return clip;
}

namespace {

// libsndfile's virtual I/O over the temporary file of ReplaceFile (write-only: reads give
// nothing, which the writers never ask for).
sf_count_t deviceLength(void *device) { return static_cast<QIODevice *>(device)->size(); }

sf_count_t deviceSeek(sf_count_t offset, int whence, void *device)
{
    auto *d = static_cast<QIODevice *>(device);
    const qint64 base = whence == SEEK_CUR ? d->pos() : whence == SEEK_END ? d->size() : 0;
    return d->seek(base + offset) ? d->pos() : -1;
}

sf_count_t deviceRead(void *, sf_count_t, void *) { return 0; }

sf_count_t deviceWrite(const void *data, sf_count_t bytes, void *device)
{
    const qint64 done = static_cast<QIODevice *>(device)->write(static_cast<const char *>(data), bytes);
    return done > 0 ? done : 0;
}

sf_count_t deviceTell(void *device) { return static_cast<QIODevice *>(device)->pos(); }

} // namespace

bool WriteAudioFile(const QString &path, const AudioClip &clip, QString *error)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    int format = 0;
    if (suffix == QLatin1String("wav")) {
        const bool floatSource = (clip.fileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV
            && ((clip.fileFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT
                || (clip.fileFormat & SF_FORMAT_SUBMASK) == SF_FORMAT_DOUBLE);
        format = SF_FORMAT_WAV | (floatSource ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    } else if (suffix == QLatin1String("flac")) {
        format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
    } else if (suffix == QLatin1String("ogg") || suffix == QLatin1String("oga")) {
        format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    } else {
        return setError(error,
                        QStringLiteral("Cannot write %1: the name must end in .wav, .flac or .ogg to choose "
                                       "the format.")
                            .arg(path));
    }
    if (clip.channels <= 0 || clip.sampleRate <= 0)
        return setError(error, QStringLiteral("Cannot write %1: the clip has no channels.").arg(path));
    SF_INFO info{};
    info.samplerate = clip.sampleRate;
    info.channels = clip.channels;
    info.format = format;
    QString why;
    const bool written = ReplaceFile(
        path,
        [&](QIODevice &device) {
            SF_VIRTUAL_IO io{deviceLength, deviceSeek, deviceRead, deviceWrite, deviceTell};
            SndFile file(sf_open_virtual(&io, SFM_WRITE, &info, &device));
            if (!file) {
                why = sndReason(nullptr);
                return false;
            }
            sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
            const auto frames = static_cast<sf_count_t>(clip.frames());
            if (sf_writef_float(file.get(), clip.samples.data(), frames) != frames) {
                // A refused write of the file itself is ReplaceFile's reason; this one is the encoder's.
                why = sf_error(file.get()) != SF_ERR_NO_ERROR ? sndReason(file.get())
                                                              : QStringLiteral("the encoder stopped");
                return false;
            }
            // The encoders write their last blocks and the header's lengths on closing.
            if (sf_close(file.release()) != 0) {
                why = QStringLiteral("the encoder could not finish the file");
                return false;
            }
            return true;
        },
        &why);
    if (!written)
        return setError(error, QStringLiteral("Cannot write %1: %2.").arg(path, why));
    return true;
}

std::optional<std::vector<float>> Resample(const std::vector<float> &in, int channels, double fromRate, double toRate,
                                           ResampleQuality quality, const std::function<bool(double)> &progress,
                                           QString *error)
{
    std::vector<float> out;
    const size_t frames = channels > 0 ? in.size() / static_cast<size_t>(channels) : 0;
    if (!ResampleInto(in.data(), frames, channels, fromRate, toRate, quality, out, progress, error))
        return std::nullopt;
    return out;
}

bool ResampleInto(const float *in, size_t inFrames, int channels, double fromRate, double toRate,
                  ResampleQuality quality, std::vector<float> &out, const std::function<bool(double)> &progress,
                  QString *error)
{
    const size_t ch = static_cast<size_t>(std::max(channels, 1));
    const auto outFrames = static_cast<size_t>(std::llround(static_cast<double>(inFrames) * toRate / fromRate));
    if (fromRate == toRate) {
        out.assign(in, in + inFrames * ch);
        return !progress || progress(1.0);
    }
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t q = soxr_quality_spec(quality == ResampleQuality::High ? SOXR_HQ : SOXR_MQ, 0);
    const soxr_runtime_spec_t rt = soxr_runtime_spec(1); // one thread: the caller decides about threads
    std::unique_ptr<soxr, SoxrDeleter> s(soxr_create(fromRate, toRate, static_cast<unsigned>(ch), &err, &io, &q, &rt));
    if (!s || err)
        return setError(
            error,
            QStringLiteral("The resampler could not start: %1").arg(QString::fromLocal8Bit(err ? err : "unknown")));
    // Room for every frame plus what the flush may add beyond the exact length.
    constexpr size_t kSlack = 64;
    out.resize((outFrames + kSlack) * ch);
    size_t produced = 0;
    constexpr size_t kChunk = 1 << 15; // input frames per call
    size_t consumed = 0;
    bool flushing = inFrames == 0;
    while (produced < outFrames) {
        const size_t want = flushing ? 0 : std::min(kChunk, inFrames - consumed);
        const float *src = flushing ? nullptr : in + consumed * ch;
        size_t room = out.size() / ch - produced;
        if (room == 0) {
            out.resize(out.size() + kSlack * ch);
            room = kSlack;
        }
        size_t idone = 0, odone = 0;
        err = soxr_process(s.get(), src, want, &idone, out.data() + produced * ch, room, &odone);
        if (err)
            return setError(error, QStringLiteral("The resampler failed: %1").arg(QString::fromLocal8Bit(err)));
        consumed += idone;
        produced += odone;
        if (!flushing && consumed >= inFrames)
            flushing = true;
        else if (flushing && odone == 0)
            break;
        if (progress
            && !progress(
                std::min(1.0, static_cast<double>(produced) / static_cast<double>(std::max<size_t>(1, outFrames)))))
            return false;
    }
    out.resize(outFrames * ch);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(std::min(produced, outFrames) * ch), out.end(), 0.0f);
    return true;
}

} // namespace korvane
