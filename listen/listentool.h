#pragma once
// The Listen panel's logic, without widgets: one audio clip, played original (A) or through
// the shown filter set (B), switched without a gap while it plays, a loop region, and the
// spectrograms of both. Audio goes out through Qt Multimedia's QAudioSink, pulling from
// PlaybackSource, which reads whichever buffer is selected at the current position: the A/B
// switch is only a change of buffer.
//
// Rates: the clip is kept at its file's rate and played at that rate, mono (the processor has
// one channel; the channels are averaged). The filtered buffer is made at the set's rate
// (9000/12000/17200 Hz) and converted back to the clip's rate (libsoxr, medium quality, which
// keeps a re-render of a 30 s clip short); the spectrograms are taken at the set's rate.
//
// Fair comparison: B is played level-matched by default, scaled so that its RMS over the loop
// region (the whole clip without one) equals A's; a filter that takes out noise then does not
// merely sound quieter. The match is plain RMS (no loudness weighting), at most +-20 dB.
//
// Design from a recording: a noise region chosen on the spectrogram gives a Spectral Graphic
// Equalizer curve for Stage 1 and the steady tones of the clip, each of which can be notched in
// Stage 2 (Stage 1 holds the curve; a later notch replaces an earlier one). The tool changes the
// configuration only through the edit sink the window gives it, one undo step per change.

#include "analysis/design.h"
#include "filterpath/audioclip.h"
#include "filterpath/filterpath.h"
#include "filterpath/render.h"

#include <QAudioFormat>
#include <QIODevice>
#include <QMutex>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAudioSink;

namespace korvane {

// The QIODevice the sink pulls from: float or 16-bit mono samples of buffer A or B from the
// current frame, wrapping inside the loop region when one is set. Opened (read-only,
// unbuffered) from construction. Thread-safe.
class PlaybackSource : public QIODevice {
    Q_OBJECT
public:
    explicit PlaybackSource(QObject *parent = nullptr);

    // Both buffers hold the same number of frames at one rate.
    void setBuffers(std::shared_ptr<const std::vector<float>> a, std::shared_ptr<const std::vector<float>> b);
    void setFilteredBuffer(std::shared_ptr<const std::vector<float>> b);
    void setUseB(bool useB);
    [[nodiscard]] bool useB() const;
    // Frames [from, to); an empty or inverted region plays to the end and stops.
    void setLoop(size_t from, size_t to);
    void clearLoop();
    void seek(size_t frame);
    [[nodiscard]] size_t frame() const;
    // B's samples are multiplied by gain as they are read (the level match); 1 by default.
    void setGainB(float gain);
    void setSampleFormat(QAudioFormat::SampleFormat format); // Float or Int16
    [[nodiscard]] size_t largestRead() const;                // frames, the most one read asked for
    void resetLargestRead();

    [[nodiscard]] bool isSequential() const override { return true; }
    [[nodiscard]] qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    mutable QMutex m_lock;
    std::shared_ptr<const std::vector<float>> m_a, m_b;
    bool m_useB = false;
    size_t m_frame = 0;
    size_t m_loopFrom = 0, m_loopTo = 0;
    QAudioFormat::SampleFormat m_format = QAudioFormat::Float;
    size_t m_largestRead = 0;
    float m_gainB = 1.0f;
};

class ListenTool : public QObject {
    Q_OBJECT
public:
    explicit ListenTool(QObject *parent = nullptr);
    ~ListenTool() override;

    // Reads an audio file (the clip is replaced only when it can be read and rendering it
    // through any set stays within kMaxRenderBytes). False with the reason in message(); when
    // memory runs out while the clip is taken in, no clip is left. NaN or infinite samples
    // are played as silence, with a warning in message().
    bool openFile(const QString &path);
    // The same from a clip in memory.
    void setClip(const AudioClip &clip, const QString &name = {});
    [[nodiscard]] bool hasClip() const { return m_original && !m_original->empty(); }
    [[nodiscard]] QString clipName() const { return m_name; }
    [[nodiscard]] double clipSeconds() const;
    [[nodiscard]] int playbackRate() const { return m_rate; }

    // The filter set to listen through: its block is built as filter.bin would carry it and
    // the filtered buffer re-rendered. Call on every change of the set's stages.
    void showModelSet(const Model &model, int set);
    // The same from a path directly (tests, benchmarks).
    void setFilterPath(const std::optional<FilterPath> &path, const QStringList &problems = {});

    // Playback. play() opens the default audio output; without one (no sound card, no sound
    // server) it returns false and message() says so.
    bool play();
    void stop();
    [[nodiscard]] bool isPlaying() const;
    void setFilteredOn(bool on); // B when true
    [[nodiscard]] bool filteredOn() const { return m_source.useB(); }
    void toggleFiltered() { setFilteredOn(!filteredOn()); }
    // Loop region in seconds of the clip; from >= to clears it.
    void setLoop(double from, double to);
    [[nodiscard]] bool looping() const { return m_loopTo > m_loopFrom; }
    [[nodiscard]] double positionSeconds() const;
    void seekSeconds(double seconds);
    // The largest number of frames the sink has asked for in one pull since play(): its period.
    [[nodiscard]] size_t periodFrames() const { return m_source.largestRead(); }

    [[nodiscard]] const std::vector<float> &originalSamples() const { return *m_original; }
    [[nodiscard]] const std::vector<float> &filteredSamples() const { return *m_filtered; }
    [[nodiscard]] const Spectrogram &originalSpectrogram() const { return m_originalSpec; }
    [[nodiscard]] const Spectrogram &filteredSpectrogram() const { return m_filteredSpec; }
    [[nodiscard]] QString message() const { return m_message; }
    // The set's rate and stages, the approximations, problems of the block; one per line.
    [[nodiscard]] QStringList notes() const { return m_notes; }
    [[nodiscard]] double lastRenderMilliseconds() const { return m_renderMs; }
    [[nodiscard]] PlaybackSource &source() { return m_source; }

    // Level match of B to A (on by default); the gain B is played with, dB (0 when off or when
    // there is nothing to match), limited to +-kLevelMatchLimitDb.
    void setLevelMatched(bool on);
    [[nodiscard]] bool levelMatched() const { return m_levelMatched; }
    [[nodiscard]] double levelMatchDb() const { return m_matchDb; }
    static constexpr double kLevelMatchLimitDb = 20.0;

    // A change of the window's model: applied to filter set `set` (0..15); false with *why
    // when it cannot be made, the model then unchanged.
    using SetChange = std::function<bool(Model &model, int set, QString *why)>;
    // The window's side: runs change on its model for the shown set as one undo step named
    // after `what` and `stage` (1..2), then shows the set again (showModelSet) so that B plays
    // it at once. Returns what change returned.
    using EditSink = std::function<bool(const QString &what, int stage, const SetChange &change, QString *why)>;
    void setEditSink(EditSink sink) { m_editSink = std::move(sink); }

    // The noise-only region, seconds of the clip; from >= to clears it.
    void setNoiseRegion(double from, double to);
    [[nodiscard]] const std::optional<ClipRegion> &noiseRegion() const { return m_noise; }
    // Designs from the noise region against the whole clip and writes the curve into Stage 1
    // of the shown set through the edit sink. False with the reason in message() (no clip, no
    // region, a region the design refuses, no sink, the change refused).
    bool designFromNoise();
    // The last design (its tones are the tone list), or none.
    [[nodiscard]] const std::optional<Design> &design() const { return m_design; }
    // The Notch proposed for design()->tones[toneIndex]; null when a Notch cannot reach it.
    [[nodiscard]] const NotchProposal *notchFor(int toneIndex) const;
    // Puts that Notch into Stage 2 through the edit sink; false with message() as above.
    bool notchTone(int toneIndex);

signals:
    void clipChanged();
    void filteredChanged(); // a new filtered buffer and spectrogram
    void playingChanged(bool playing);
    void filteredOnChanged(bool on);
    void messageChanged(const QString &message);
    void designChanged(); // a new design (curve and tones), or none
    void levelMatchChanged();

private:
    void rerender();
    void dropClip();
    void matchLevel();
    bool applyChange(const QString &what, int stage, const SetChange &change);
    void setMessage(const QString &m);

    PlaybackSource m_source;
    QAudioSink *m_sink = nullptr;
    std::shared_ptr<const std::vector<float>> m_original, m_filtered;
    std::vector<float> m_originalAtSetRate;
    std::vector<float> m_work;                   // the filter's buffer, kept between renders
    std::shared_ptr<std::vector<float>> m_spare; // the filtered buffer before the last, reused
    int m_originalSetRate = 0;                   // rate m_originalAtSetRate is at, 0 when none
    std::optional<FilterPath> m_path;
    int m_rate = 0;
    QString m_name;
    QString m_message;
    QStringList m_notes;
    Spectrogram m_originalSpec, m_filteredSpec;
    double m_renderMs = 0;
    double m_loopFrom = 0, m_loopTo = 0;
    bool m_levelMatched = true;
    double m_matchDb = 0;
    EditSink m_editSink;
    std::optional<ClipRegion> m_noise;
    std::optional<Design> m_design;
};

} // namespace korvane
