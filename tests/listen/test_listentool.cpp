// The Listen panel's logic without a display or a sound server: the buffers the sink reads,
// A/B and loops at the byte level, following a changed set, bad and hostile files, no audio
// output, the level match of B, and the refusals of a design from a noise region.

#include "listentesting.h"

#include "filterpath/render.h"
#include "listen/listentool.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

using namespace korvane;
using namespace korvane::test;

namespace {

std::vector<float> readFloats(QIODevice &d, size_t frames)
{
    std::vector<float> out(frames);
    const qint64 got = d.read(reinterpret_cast<char *>(out.data()), static_cast<qint64>(frames * sizeof(float)));
    out.resize(static_cast<size_t>(std::max<qint64>(0, got)) / sizeof(float));
    return out;
}

} // namespace

class TestListenTool : public QObject {
    Q_OBJECT
private slots:
    // The filtered buffer is the clip through the set at its own rate, as the file render.
    void filteredBufferMatchesTheRender()
    {
        ListenTool tool;
        const AudioClip clip = toneNoiseClip(44100, 2.0);
        tool.setClip(clip, QStringLiteral("tones"));
        const FilterPath path = listenPath(Bandpass, Notch);
        QSignalSpy changed(&tool, &ListenTool::filteredChanged);
        tool.setFilterPath(path);
        QCOMPARE(changed.count(), 1);
        const auto offline = RenderClip(path, clip);
        QVERIFY(offline);
        QCOMPARE(tool.filteredSamples().size(), clip.samples.size());
        QCOMPARE(tool.originalSamples(), clip.samples);
        const double r = correlation(tool.filteredSamples().data(), offline->samples.data(), clip.samples.size());
        QVERIFY2(r > 0.999, qPrintable(QString::number(r)));
        // The notes say what the set is and the spectrograms cover the clip at the set's rate.
        QVERIFY(tool.notes().join('\n').contains(QLatin1String("17200 Hz")));
        QCOMPARE(tool.filteredSpectrogram().sampleRate, 17200);
        QVERIFY(tool.filteredSpectrogram().columns > 100);
        QCOMPARE(tool.originalSpectrogram().columns, tool.filteredSpectrogram().columns);
    }

    // A changed set re-renders at once; an adaptive stage is called an approximation.
    void followsTheSet()
    {
        ListenTool tool;
        tool.setClip(sineClip(22050, 1.0, 1000, 0.5)); // inside every set's band
        tool.showModelSet(listenModel(Lowpass, PassThru), 0);
        const std::vector<float> lowpass = tool.filteredSamples();
        tool.showModelSet(listenModel(Notch, PassThru), 0);
        QVERIFY(tool.filteredSamples() != lowpass);
        QVERIFY(tool.lastRenderMilliseconds() > 0);
        tool.showModelSet(listenModel(Adaptive1CH, PassThru), 0);
        QVERIFY(tool.notes().join('\n').contains(QLatin1String("approximation")));
        // Pass Thru twice: B is A (the set's rate and back aside, within conversion error).
        tool.showModelSet(listenModel(PassThru, PassThru), 0);
        QVERIFY(correlation(tool.filteredSamples().data(), tool.originalSamples().data(), tool.originalSamples().size())
                > 0.999);
        // Whatever the clip's length, B has as many frames as A.
        tool.setClip(sineClip(44100, 0.30103, 1000, 0.5));
        QCOMPARE(tool.filteredSamples().size(), tool.originalSamples().size());
    }

    // The sink reads A, then B from the same frame on: no frame is skipped or repeated.
    void abSwitchKeepsThePosition()
    {
        PlaybackSource src;
        auto a = std::make_shared<const std::vector<float>>(std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        auto b = std::make_shared<const std::vector<float>>(std::vector<float>{10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
        src.setBuffers(a, b);
        QVERIFY(src.isOpen());
        QCOMPARE(readFloats(src, 3), (std::vector<float>{0, 1, 2}));
        src.setUseB(true);
        QCOMPARE(readFloats(src, 3), (std::vector<float>{13, 14, 15}));
        src.setUseB(false);
        QCOMPARE(readFloats(src, 10), (std::vector<float>{6, 7, 8, 9})); // the end: only what is left
        QCOMPARE(readFloats(src, 4).size(), size_t(0));
        QCOMPARE(src.largestRead(), size_t(10));
        // A loop region wraps inside one read.
        src.setLoop(2, 5);
        QCOMPARE(readFloats(src, 7), (std::vector<float>{2, 3, 4, 2, 3, 4, 2}));
        // 16-bit output for a sink that takes no floats.
        src.clearLoop();
        src.seek(0);
        src.setSampleFormat(QAudioFormat::Int16);
        auto loud = std::make_shared<const std::vector<float>>(std::vector<float>{0.5f, -1.5f, 1.0f});
        src.setBuffers(loud, loud);
        int16_t pcm[3] = {};
        QCOMPARE(src.read(reinterpret_cast<char *>(pcm), sizeof pcm), qint64(sizeof pcm));
        QCOMPARE(pcm[0], int16_t(16384));
        QCOMPARE(pcm[1], int16_t(-32767));
        QCOMPARE(pcm[2], int16_t(32767));
    }

    void loopInSeconds()
    {
        ListenTool tool;
        tool.setClip(sineClip(8000, 2.0, 100, 0.5));
        tool.setLoop(0.5, 0.75);
        QVERIFY(tool.looping());
        QCOMPARE(tool.positionSeconds(), 0.5);
        QCOMPARE(readFloats(tool.source(), 3000).size(), size_t(3000)); // 0.375 s from a 0.25 s loop
        QVERIFY(tool.positionSeconds() >= 0.5 && tool.positionSeconds() < 0.75);
        tool.setLoop(1.0, 1.0);
        QVERIFY(!tool.looping());
    }

    // A file that cannot be read leaves the clip as it was and says why.
    void badFileKeepsTheClip()
    {
        QTemporaryDir dir;
        const QString text = dir.filePath(QStringLiteral("notes.wav"));
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not audio at all, just words\n");
        f.close();
        ListenTool tool;
        tool.setClip(sineClip(8000, 1.0, 100, 0.5), QStringLiteral("sine"));
        QVERIFY(!tool.openFile(text));
        QVERIFY(tool.message().contains(QLatin1String("Cannot read audio file")));
        QCOMPARE(tool.clipName(), QStringLiteral("sine"));
        QCOMPARE(tool.originalSamples().size(), size_t(8000));
    }

    // Samples that are not numbers play as silence with a warning; a clip whose render would
    // pass the memory bound (15 million frames at 1 kHz, 17.2 times that at the set's rate) is
    // refused and the clip before it kept.
    void hostileFilesAreMessages_data()
    {
        QTest::addColumn<QByteArray>("samples"); // 16-bit, or float when a multiple of 5 floats
        QTest::addColumn<int>("rate");
        QTest::addColumn<qint64>("sparseFrames");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("says");
        QByteArray floats;
        for (float v : {0.25f, NAN, INFINITY, -INFINITY, 0.25f})
            floats += QByteArray(reinterpret_cast<const char *>(&v), 4).repeated(100);
        QTest::newRow("NaN and infinite") << floats << 8000 << qint64(0) << true << "300 sample(s) are not numbers";
        QTest::newRow("beyond the bound") << QByteArray() << 1000 << qint64(15000000) << false << "2048 MiB";
    }
    void hostileFilesAreMessages()
    {
        QFETCH(QByteArray, samples);
        QFETCH(int, rate);
        QFETCH(qint64, sparseFrames);
        QFETCH(bool, opens);
        QFETCH(QString, says);
        const bool isFloat = !samples.isEmpty();
        const quint32 bytes = isFloat ? samples.size() : static_cast<quint32>(sparseFrames * 2);
        auto le = [](quint32 v, int n) { return QByteArray(reinterpret_cast<const char *>(&v), n); };
        const int bits = isFloat ? 32 : 16;
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("clip.wav")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("RIFF" + le(36 + bytes, 4) + "WAVEfmt " + le(16, 4) + le(isFloat ? 3 : 1, 2) + le(1, 2) + le(rate, 4)
                + le(rate * bits / 8, 4) + le(bits / 8, 2) + le(bits, 2) + "data" + le(bytes, 4) + samples);
        QVERIFY(f.resize(44 + bytes));
        f.close();
        ListenTool tool;
        tool.setClip(sineClip(8000, 1.0, 100, 0.5), QStringLiteral("sine"));
        QCOMPARE(tool.openFile(f.fileName()), opens);
        QVERIFY2(tool.message().contains(says), qPrintable(tool.message()));
        QCOMPARE(tool.clipName(), opens ? QStringLiteral("clip.wav") : QStringLiteral("sine"));
        for (const std::vector<float> *buffer : {&tool.originalSamples(), &tool.filteredSamples()})
            for (float v : *buffer)
                QVERIFY(std::isfinite(v));
    }

    // B is read at A's RMS over the loop region (the whole clip without one), or as it is with
    // true levels. The clip is a tone the Lowpass passes, then noise it mostly cuts: the two
    // halves need gains some 10 dB apart, so a match over the wrong stretch misses.
    void levelMatch_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("matched");
        QTest::newRow("whole clip") << 0.0 << 0.0 << true;
        QTest::newRow("loop over the noise") << 1.2 << 1.8 << true;
        QTest::newRow("loop over the tone") << 0.2 << 0.8 << true;
        QTest::newRow("true levels") << 1.2 << 1.8 << false;
    }
    void levelMatch()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(bool, matched);
        AudioClip clip = sineClip(44100, 1.0, 500, 0.3);
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
        for (int i = 0; i < 44100; ++i)
            clip.samples.push_back(noise(rng));
        ListenTool tool;
        tool.setClip(clip);
        tool.showModelSet(listenModel(Lowpass, PassThru), 0);
        tool.setLoop(from, to);
        tool.setLevelMatched(matched);
        const auto first = static_cast<size_t>(from * 44100);
        const auto frames = static_cast<size_t>((to > from ? to - from : 2.0) * 44100);
        tool.source().seek(first);
        const std::vector<float> a = readFloats(tool.source(), frames);
        tool.setFilteredOn(true);
        tool.source().seek(first);
        const std::vector<float> b = readFloats(tool.source(), frames);
        QCOMPARE(b.size(), frames);
        if (matched) {
            QVERIFY2(std::abs(rmsDb(b) - rmsDb(a)) < 0.5,
                     qPrintable(QStringLiteral("A %1 dB, B %2 dB").arg(rmsDb(a)).arg(rmsDb(b))));
        } else {
            QCOMPARE(tool.levelMatchDb(), 0.0);
            QVERIFY(std::equal(b.begin(), b.end(), tool.filteredSamples().begin() + static_cast<long>(first)));
        }
    }

    // Every refusal says why and asks the window for no change.
    void designRefusals_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<bool>("sink");
        QTest::addColumn<QString>("message");
        QTest::newRow("no region") << 1.0 << 1.0 << true << "Drag across";
        QTest::newRow("outside the clip") << 5.0 << 9.0 << true << "outside the clip";
        QTest::newRow("too short") << 1.0 << 1.02 << true << "shorter than one analysis frame";
        QTest::newRow("silent") << 5.6 << 5.95 << true << "silent";
        QTest::newRow("no set to change") << 0.0 << 1.5 << false << "no filter set";
    }
    void designRefusals()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(bool, sink);
        QFETCH(QString, message);
        ListenTool tool;
        int changes = 0;
        if (sink)
            tool.setEditSink(
                [&changes](const QString &, int, const ListenTool::SetChange &, QString *) { return ++changes > 0; });
        tool.setClip(designClip(16000, 1234.5));
        tool.setNoiseRegion(from, to);
        QVERIFY(!tool.designFromNoise());
        QVERIFY2(tool.message().contains(message), qPrintable(tool.message()));
        QCOMPARE(changes, 0);
    }

    // CTest points PULSE_SERVER at nothing: no output device is a message, not a crash.
    void noAudioOutputIsAMessage()
    {
        ListenTool tool;
        QVERIFY(!tool.play()); // no clip
        QVERIFY(tool.message().contains(QLatin1String("Open an audio file")));
        tool.setClip(sineClip(44100, 1.0, 440, 0.5));
        QVERIFY(!tool.play());
        QVERIFY2(tool.message().contains(QLatin1String("No audio output"))
                     || tool.message().contains(QLatin1String("could not")),
                 qPrintable(tool.message()));
        QVERIFY(!tool.isPlaying());
    }
};

QTEST_GUILESS_MAIN(TestListenTool)
#include "test_listentool.moc"
