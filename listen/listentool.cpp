#include "listentool.h"

#include "config/userdialog.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMutexLocker>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace korvane {

namespace {

// The image builder's messages become notes of the panel; it never opens a message box.
class NoteDialog : public UserDialog {
public:
    MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon, MessageButtons buttons) override
    {
        QString line = title + QStringLiteral(": ") + text;
        line.replace(kCR, QStringLiteral(" "));
        messages << line.simplified();
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
    }
    void beep() override { }
    std::optional<QString> askFileName(const FileDialogRequest &) override { return std::nullopt; }
    [[noreturn]] void endProgram() override { std::abort(); }
    QStringList messages;
};

constexpr int kSpectrogramFft = 512;
constexpr qint64 kSinkBufferMicroseconds = 500000;
constexpr int kEndGraceMilliseconds = 1000;
constexpr int kSpectrogramColumns = 400;
constexpr int kHighestSetRate = 17200; // Hz, a set whose Stage 1 has the widest Bandwidth

} // namespace

// ---- PlaybackSource ----

// Unbuffered: QIODevice would otherwise read ahead into a buffer of its own, and an A/B switch
// would be heard only once that buffer had played.
PlaybackSource::PlaybackSource(QObject *parent) : QIODevice(parent)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void PlaybackSource::setBuffers(std::shared_ptr<const std::vector<float>> a,
                                std::shared_ptr<const std::vector<float>> b)
{
    QMutexLocker lock(&m_lock);
    m_a = std::move(a);
    m_b = std::move(b);
    m_frame = std::min(m_frame, m_a ? m_a->size() : 0);
}

void PlaybackSource::setFilteredBuffer(std::shared_ptr<const std::vector<float>> b)
{
    QMutexLocker lock(&m_lock);
    m_b = std::move(b);
}

void PlaybackSource::setUseB(bool useB)
{
    QMutexLocker lock(&m_lock);
    m_useB = useB;
}

bool PlaybackSource::useB() const
{
    QMutexLocker lock(&m_lock);
    return m_useB;
}

void PlaybackSource::setLoop(size_t from, size_t to)
{
    QMutexLocker lock(&m_lock);
    m_loopFrom = from;
    m_loopTo = to;
    if (to > from && (m_frame < from || m_frame >= to))
        m_frame = from;
}

void PlaybackSource::clearLoop() { setLoop(0, 0); }

void PlaybackSource::seek(size_t frame)
{
    QMutexLocker lock(&m_lock);
    m_frame = frame;
}

size_t PlaybackSource::frame() const
{
    QMutexLocker lock(&m_lock);
    return m_frame;
}

void PlaybackSource::setGainB(float gain)
{
    QMutexLocker lock(&m_lock);
    m_gainB = gain;
}

void PlaybackSource::setSampleFormat(QAudioFormat::SampleFormat format)
{
    QMutexLocker lock(&m_lock);
    m_format = format;
}

size_t PlaybackSource::largestRead() const
{
    QMutexLocker lock(&m_lock);
    return m_largestRead;
}

void PlaybackSource::resetLargestRead()
{
    QMutexLocker lock(&m_lock);
    m_largestRead = 0;
}

qint64 PlaybackSource::bytesAvailable() const
{
    QMutexLocker lock(&m_lock);
    const size_t size = m_a ? m_a->size() : 0;
    const size_t bytes = m_format == QAudioFormat::Float ? sizeof(float) : sizeof(int16_t);
    const size_t left = m_loopTo > m_loopFrom ? size : size - std::min(size, m_frame);
    return static_cast<qint64>(left * bytes) + QIODevice::bytesAvailable();
}

qint64 PlaybackSource::readData(char *data, qint64 maxSize)
{
    QMutexLocker lock(&m_lock);
    const size_t bytes = m_format == QAudioFormat::Float ? sizeof(float) : sizeof(int16_t);
    const size_t want = static_cast<size_t>(maxSize) / bytes;
    m_largestRead = std::max(m_largestRead, want);
    const bool b = m_useB && m_b;
    const std::vector<float> *buf = b ? m_b.get() : m_a.get();
    if (!buf)
        return 0;
    const float gain = b ? m_gainB : 1.0f;
    const bool loop = m_loopTo > m_loopFrom && m_loopTo <= buf->size();
    size_t done = 0;
    while (done < want) {
        if (loop && m_frame >= m_loopTo)
            m_frame = m_loopFrom;
        if (m_frame >= buf->size())
            break;
        const size_t end = loop ? m_loopTo : buf->size();
        const size_t n = std::min(want - done, end - m_frame);
        const float *from = buf->data() + m_frame;
        if (m_format == QAudioFormat::Float) {
            auto *to = reinterpret_cast<float *>(data + done * bytes);
            std::memcpy(to, from, n * sizeof(float));
            if (gain != 1.0f)
                for (size_t i = 0; i < n; ++i)
                    to[i] *= gain;
        } else {
            auto *to = reinterpret_cast<int16_t *>(data + done * bytes);
            for (size_t i = 0; i < n; ++i)
                to[i] = static_cast<int16_t>(std::lround(std::clamp(from[i] * gain, -1.0f, 1.0f) * 32767.0f));
        }
        done += n;
        m_frame += n;
    }
    return static_cast<qint64>(done * bytes);
}

// ---- ListenTool ----

ListenTool::ListenTool(QObject *parent) : QObject(parent), m_source(this)
{
    m_original = std::make_shared<std::vector<float>>();
    m_filtered = m_original;
}

ListenTool::~ListenTool() { stop(); }

bool ListenTool::openFile(const QString &path)
{
    QString why;
    try {
        const auto clip = ReadAudioFile(path, &why);
        if (!clip) {
            setMessage(why);
            return false;
        }
        // Checked at the highest rate a set has, so that every set can be listened through.
        why = RenderTooLarge(clip->frames(), clip->channels, clip->sampleRate, kHighestSetRate);
        if (!why.isEmpty()) {
            setMessage(QStringLiteral("Cannot open %1: %2.").arg(path, why));
            return false;
        }
        setClip(*clip, QFileInfo(path).fileName());
        if (clip->replacedSamples > 0)
            setMessage(message()
                       + QStringLiteral(". Warning: %1 sample(s) are not numbers (NaN or infinite) and play as silence")
                             .arg(static_cast<qulonglong>(clip->replacedSamples)));
    } catch (const std::bad_alloc &) {
        // Whatever was made of the clip so far is given back; the panel shows no clip.
        dropClip();
        setMessage(QStringLiteral("Cannot open %1: the system gave the program no more memory for it. Close other "
                                  "programs or open a shorter file.")
                       .arg(path));
        return false;
    }
    return true;
}

void ListenTool::setClip(const AudioClip &clip, const QString &name)
{
    stop();
    // The mix first: should memory run out here, the old clip is still whole.
    auto mono = std::make_shared<const std::vector<float>>(clip.mono());
    m_name = name;
    m_rate = clip.sampleRate;
    m_original = std::move(mono);
    m_originalSetRate = 0;
    m_originalAtSetRate.clear();
    m_loopFrom = m_loopTo = 0;
    m_source.clearLoop();
    m_source.seek(0);
    m_noise.reset();
    m_design.reset();
    emit designChanged();
    setMessage(
        QStringLiteral("%1: %2 s, %3 Hz%4")
            .arg(name.isEmpty() ? QStringLiteral("clip") : name)
            .arg(clipSeconds(), 0, 'f', 1)
            .arg(m_rate)
            .arg(clip.channels > 1 ? QStringLiteral(", %1 channels mixed to one").arg(clip.channels) : QString()));
    emit clipChanged();
    rerender();
}

void ListenTool::dropClip()
{
    stop();
    m_name.clear();
    m_rate = 0;
    m_original = std::make_shared<const std::vector<float>>();
    m_filtered = m_original;
    m_spare.reset();
    std::vector<float>().swap(m_originalAtSetRate);
    std::vector<float>().swap(m_work);
    m_originalSetRate = 0;
    m_originalSpec = m_filteredSpec = {};
    m_loopFrom = m_loopTo = 0;
    m_source.clearLoop();
    m_source.setBuffers(m_original, m_filtered);
    emit clipChanged();
    emit filteredChanged();
}

double ListenTool::clipSeconds() const { return m_rate > 0 ? static_cast<double>(m_original->size()) / m_rate : 0.0; }

void ListenTool::showModelSet(const Model &model, int set)
{
    NoteDialog dialog;
    QString why;
    const auto path = FilterPathForSet(model, set, dialog, &why);
    QStringList problems = dialog.messages;
    if (!path)
        problems << why;
    setFilterPath(path, problems);
}

void ListenTool::setFilterPath(const std::optional<FilterPath> &path, const QStringList &problems)
{
    m_path = path;
    m_notes.clear();
    if (m_path) {
        const int fs = m_path->sampleRate();
        m_notes << QStringLiteral("Filter set at %1 Hz").arg(fs);
        for (int s = 0; s < 2; ++s)
            m_notes << QStringLiteral("Stage %1: %2").arg(s + 1).arg(m_path->stage(s).describe(fs));
        m_notes << m_path->notes();
    } else {
        m_notes << QStringLiteral("The filter set cannot be built: B plays the original");
    }
    m_notes << problems;
    rerender();
}

void ListenTool::rerender()
{
    QElapsedTimer t;
    t.start();
    if (!hasClip() || !m_path) {
        m_filtered = m_original;
        m_originalSpec = m_filteredSpec = {};
        if (hasClip() && m_rate > 0)
            m_originalSpec = m_filteredSpec = ComputeSpectrogram(*m_original, m_rate, kSpectrogramFft,
                                                                 kSpectrogramColumns);
    } else {
        const int fs = m_path->sampleRate();
        if (m_originalSetRate != fs) {
            // Once per clip and rate: the original at the set's rate, for the filter and its
            // spectrogram.
            m_originalAtSetRate = Resample(*m_original, 1, m_rate, fs, ResampleQuality::High)
                                      .value_or(std::vector<float>{});
            m_originalSetRate = fs;
            m_originalSpec = ComputeSpectrogram(m_originalAtSetRate, fs, kSpectrogramFft, kSpectrogramColumns);
        }
        m_work.assign(m_originalAtSetRate.begin(), m_originalAtSetRate.end());
        m_path->process(m_work);
        m_filteredSpec = ComputeSpectrogram(m_work, fs, kSpectrogramFft, kSpectrogramColumns);
        // Convert into the buffer before last unless playback still holds it.
        std::shared_ptr<std::vector<float>> next = m_spare && m_spare.use_count() == 1
            ? std::move(m_spare)
            : std::make_shared<std::vector<float>>();
        if (!ResampleInto(m_work.data(), m_work.size(), 1, fs, m_rate, ResampleQuality::Quick, *next))
            next->clear();
        next->resize(m_original->size(), 0.0f);
        if (m_filtered != m_original)
            m_spare = std::const_pointer_cast<std::vector<float>>(m_filtered);
        m_filtered = std::move(next);
    }
    m_source.setBuffers(m_original, m_filtered);
    matchLevel();
    m_renderMs = static_cast<double>(t.nsecsElapsed()) / 1e6;
    emit filteredChanged();
}

void ListenTool::matchLevel()
{
    double a = 0, b = 0;
    if (m_levelMatched && m_filtered != m_original) {
        const size_t size = std::min(m_original->size(), m_filtered->size());
        size_t from = 0, to = size;
        if (looping()) {
            from = std::min(size, static_cast<size_t>(m_loopFrom * m_rate));
            to = std::min(size, static_cast<size_t>(m_loopTo * m_rate));
        }
        for (size_t i = from; i < to; ++i) {
            a += static_cast<double>((*m_original)[i]) * (*m_original)[i];
            b += static_cast<double>((*m_filtered)[i]) * (*m_filtered)[i];
        }
    }
    // Silence on either side has no level to match.
    const double db = a > 0 && b > 0 ? std::clamp(10.0 * std::log10(a / b), -kLevelMatchLimitDb, kLevelMatchLimitDb)
                                     : 0.0;
    m_source.setGainB(static_cast<float>(std::pow(10.0, db / 20.0)));
    if (db != m_matchDb) {
        m_matchDb = db;
        emit levelMatchChanged();
    }
}

void ListenTool::setLevelMatched(bool on)
{
    m_levelMatched = on;
    matchLevel();
    emit levelMatchChanged();
}

void ListenTool::setNoiseRegion(double from, double to)
{
    if (to > from)
        m_noise = ClipRegion{from, to};
    else
        m_noise.reset();
    emit designChanged();
}

bool ListenTool::applyChange(const QString &what, int stage, const SetChange &change)
{
    if (!m_editSink) {
        setMessage(QStringLiteral("There is no filter set to change."));
        return false;
    }
    QString why;
    if (!m_editSink(what, stage, change, &why)) {
        setMessage(QStringLiteral("%1 was not applied: %2.").arg(what, why));
        return false;
    }
    return true;
}

bool ListenTool::designFromNoise()
{
    if (!hasClip()) {
        setMessage(QStringLiteral("Open an audio file first."));
        return false;
    }
    if (!m_noise) {
        setMessage(QStringLiteral("Drag across a stretch of the spectrogram that holds only noise first."));
        return false;
    }
    DesignOptions options;
    options.noise = *m_noise;
    AnalysisError error;
    auto design = DesignFromNoise(AudioClip{m_rate, 1, *m_original, 0}, options, &error);
    if (!design) {
        setMessage(QStringLiteral("Cannot design a filter: %1.").arg(error.reason));
        return false;
    }
    m_design = std::move(design);
    emit designChanged();
    const Design copy = *m_design;
    if (!applyChange(QStringLiteral("Design from noise"), 1,
                     [copy](Model &model, int set, QString *why) { return ApplyDesign(model, set, copy, false, why); }))
        return false;
    setMessage(QStringLiteral("Stage 1 is a curve designed from the noise of %1 s to %2 s (noise %3 dB, signal %4 dB); "
                              "%5 steady tone(s) found.")
                   .arg(m_noise->fromSeconds, 0, 'f', 2)
                   .arg(m_noise->toSeconds, 0, 'f', 2)
                   .arg(-m_design->noiseCutDb, 0, 'f', 1)
                   .arg(-m_design->signalLossDb, 0, 'f', 1)
                   .arg(m_design->tones.size()));
    return true;
}

const NotchProposal *ListenTool::notchFor(int toneIndex) const
{
    if (!m_design || toneIndex < 0 || toneIndex >= static_cast<int>(m_design->tones.size()))
        return nullptr;
    const double hz = m_design->tones[static_cast<size_t>(toneIndex)].frequencyHz;
    for (const NotchProposal &n : m_design->notches)
        if (n.tone.frequencyHz == hz)
            return &n;
    return nullptr;
}

bool ListenTool::notchTone(int toneIndex)
{
    const NotchProposal *proposal = notchFor(toneIndex);
    if (!proposal) {
        setMessage(QStringLiteral("A Notch cannot reach that tone at the set's sample rate."));
        return false;
    }
    const NotchProposal n = *proposal;
    if (!applyChange(QStringLiteral("Notch"), 2, [n](Model &model, int set, QString *) {
            model.stage(set, 2) = n.stage(model.stage(set, 2));
            model.ValidateStage(set, 2);
            return true;
        }))
        return false;
    setMessage(QStringLiteral("Stage 2 is a Notch at %1 Hz (width setting %2, depth %3 dB) on the tone at %4 Hz.")
                   .arg(n.frequencyHz)
                   .arg(n.width)
                   .arg(n.depthDb)
                   .arg(n.tone.frequencyHz, 0, 'f', 1));
    return true;
}

bool ListenTool::play()
{
    if (!hasClip()) {
        setMessage(QStringLiteral("Open an audio file first."));
        return false;
    }
    if (isPlaying())
        return true;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        setMessage(QStringLiteral("No audio output: no sound card or sound server was found, so nothing can be "
                                  "played. Rendering to a file still works (korvane-s-cli render)."));
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(m_rate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        setMessage(
            QStringLiteral("The audio output \"%1\" cannot play %2 Hz mono.").arg(device.description()).arg(m_rate));
        return false;
    }
    m_source.setSampleFormat(format.sampleFormat());
    m_source.resetLargestRead();
    if (m_source.frame() >= m_original->size() && !looping())
        m_source.seek(0);
    m_sink = new QAudioSink(device, format, this);
    // Half a second in the sink's buffer: a busy machine or a re-render on this thread does
    // not starve it (200 ms still ran dry on a loaded 2-core machine). An A/B switch is heard
    // up to that much later, but without a gap.
    m_sink->setBufferSize(format.bytesForDuration(kSinkBufferMicroseconds));
    connect(m_sink, &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        if (!m_sink)
            return;
        if (m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError) {
            setMessage(QStringLiteral("The audio output stopped with an error (%1).").arg(int(m_sink->error())));
            stop();
        } else if (state == QAudio::IdleState && !looping() && m_source.frame() >= m_original->size()) {
            // Played to the end of the clip: the sound server still holds the last part, which
            // closing the stream now would cut off.
            QTimer::singleShot(kEndGraceMilliseconds, this, [this, sink = m_sink] {
                if (m_sink == sink && !looping() && m_source.frame() >= m_original->size())
                    stop();
            });
        }
    });
    m_sink->start(&m_source);
    if (m_sink->error() != QAudio::NoError) {
        setMessage(QStringLiteral("The audio output \"%1\" could not be opened (error %2).")
                       .arg(device.description())
                       .arg(int(m_sink->error())));
        stop();
        return false;
    }
    setMessage(QStringLiteral("Playing on %1").arg(device.description()));
    emit playingChanged(true);
    return true;
}

void ListenTool::stop()
{
    if (!m_sink)
        return;
    QAudioSink *sink = m_sink;
    m_sink = nullptr;
    sink->stop();
    sink->deleteLater();
    emit playingChanged(false);
}

bool ListenTool::isPlaying() const { return m_sink != nullptr; }

void ListenTool::setFilteredOn(bool on)
{
    if (on == filteredOn())
        return;
    m_source.setUseB(on);
    emit filteredOnChanged(on);
}

void ListenTool::setLoop(double from, double to)
{
    const double length = clipSeconds();
    from = std::clamp(from, 0.0, length);
    to = std::clamp(to, 0.0, length);
    if (to <= from) {
        m_loopFrom = m_loopTo = 0;
        m_source.clearLoop();
        matchLevel();
        return;
    }
    m_loopFrom = from;
    m_loopTo = to;
    m_source.setLoop(static_cast<size_t>(from * m_rate), static_cast<size_t>(to * m_rate));
    matchLevel();
}

double ListenTool::positionSeconds() const { return m_rate > 0 ? static_cast<double>(m_source.frame()) / m_rate : 0.0; }

void ListenTool::seekSeconds(double seconds)
{
    m_source.seek(static_cast<size_t>(std::clamp(seconds, 0.0, clipSeconds()) * m_rate));
}

void ListenTool::setMessage(const QString &m)
{
    m_message = m;
    emit messageChanged(m);
}

} // namespace korvane
