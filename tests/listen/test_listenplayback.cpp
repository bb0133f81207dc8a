// Playback through a real sound server: the test starts its own PulseAudio with a null sink
// (nothing is heard), plays through ListenTool and records the sink's monitor with parec.
// What the sink receives must match the offline render, and switching A/B while playing must
// leave no silence as long as one audio period.

#include "listentesting.h"

#include "filterpath/render.h"
#include "listen/listentool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr int kRate = 44100;
const QString kSink = QStringLiteral("korvane_null");

// Where the played samples start: the first sample clearly above the silence of the sink.
size_t onset(const std::vector<float> &rec)
{
    for (size_t i = 0; i < rec.size(); ++i)
        if (std::abs(rec[i]) > 1e-3f)
            return i;
    return rec.size();
}

// The position in ref of the sample rec[at], by the best correlation of n samples, searched
// over the first `within` samples of ref.
size_t clipPosition(const std::vector<float> &rec, size_t at, const std::vector<float> &ref, size_t n, size_t within)
{
    double best = -2;
    size_t pos = 0;
    for (size_t k = 0; k < within && k + n <= ref.size() && at + n <= rec.size(); ++k) {
        const double r = correlation(rec.data() + at, ref.data() + k, n);
        if (r > best) {
            best = r;
            pos = k;
        }
    }
    return pos;
}

} // namespace

class TestListenPlayback : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_server;
    QProcessEnvironment m_env;

    // Records the sink while work() runs; the samples the sink was given.
    template <class F> std::vector<float> record(F &&work)
    {
        QProcess parec;
        parec.setProcessEnvironment(m_env);
        const QString file = m_dir.filePath(QStringLiteral("rec.raw"));
        QFile::remove(file);
        parec.setStandardOutputFile(file);
        parec.start(QStandardPaths::findExecutable(QStringLiteral("parec")),
                    {QStringLiteral("--device=%1.monitor").arg(kSink), QStringLiteral("--format=float32le"),
                     QStringLiteral("--rate=%1").arg(kRate), QStringLiteral("--channels=1"), QStringLiteral("--raw"),
                     QStringLiteral("--latency-msec=10")});
        if (!parec.waitForStarted(5000))
            qFatal("parec did not start");
        QTest::qWait(400); // connected and recording silence
        work();
        QTest::qWait(400);
        parec.terminate();
        parec.waitForFinished(5000);
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = f.readAll();
        std::vector<float> out(static_cast<size_t>(bytes.size()) / sizeof(float));
        std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(float));
        return out;
    }

    static void playToTheEnd(ListenTool &tool)
    {
        QVERIFY2(tool.play(), qPrintable(tool.message()));
        QTRY_VERIFY_WITH_TIMEOUT(!tool.isPlaying(), 20000);
    }

private slots:
    void initTestCase()
    {
        const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        QVERIFY2(!pulseaudio.isEmpty() && !QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty(),
                 "pulseaudio and parec are needed (tools/install-deps.sh installs them)");
        QVERIFY(m_dir.isValid());
        const QString socket = m_dir.filePath(QStringLiteral("native"));
        // A private server: its own runtime folder and home, reachable only through our socket.
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        m_env.insert(QStringLiteral("HOME"), m_dir.path());
        m_env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
        m_server.setProcessEnvironment(m_env);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(
            pulseaudio,
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
             QStringLiteral("--log-target=newfile:") + m_dir.filePath(QStringLiteral("pulse.log")),
             QStringLiteral("-L"),
             QStringLiteral("module-null-sink sink_name=%1 rate=%2 channels=1 format=float32le").arg(kSink).arg(kRate),
             QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)});
        QVERIFY(m_server.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(socket), 10000);
        // Qt's audio backend connects at its first use, which comes after this.
        qputenv("PULSE_SERVER", (QStringLiteral("unix:") + socket).toLocal8Bit());
    }
    void cleanupTestCase()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000))
                m_server.kill();
        }
    }

    void sinkReceivesTheOfflineRender()
    {
        const AudioClip clip = toneNoiseClip(kRate, 2.0);
        const FilterPath path = listenPath(Bandpass, Notch);
        ListenTool tool;
        tool.setClip(clip);
        tool.setFilterPath(path);
        tool.setFilteredOn(true);
        const std::vector<float> rec = record([&] { playToTheEnd(tool); });
        const auto offline = RenderClip(path, clip);
        QVERIFY(offline);
        const size_t start = onset(rec);
        QVERIFY2(start < rec.size(), "the sink received nothing");
        // The sink's first sample is not always the clip's first: see the start below.
        const size_t pos = clipPosition(rec, start, offline->samples, 4096, kRate / 2);
        size_t end = rec.size();
        while (end > start && std::abs(rec[end - 1]) < 1e-3f)
            --end;
        const size_t n = std::min(offline->samples.size() - pos, end - start);
        QVERIFY2(n > offline->samples.size() * 8 / 10, qPrintable(QStringLiteral("only %1 samples").arg(n)));
        const double r = correlation(rec.data() + start, offline->samples.data() + pos, n);
        qInfo("correlation with the offline render: %.5f over %zu samples; the sink began at clip sample %zu", r, n,
              pos);
        QVERIFY2(r >= 0.99, qPrintable(QString::number(r)));
    }

    void abSwitchLeavesNoGap()
    {
        const AudioClip clip = sineClip(kRate, 3.0, 440, 0.5);
        ListenTool tool;
        tool.setClip(clip);
        tool.setFilterPath(listenPath(Lowpass, PassThru)); // 440 Hz passes, 7 ms later
        int switches = 0;
        QTimer flip;
        flip.setInterval(130);
        connect(&flip, &QTimer::timeout, &tool, [&] {
            tool.toggleFiltered();
            ++switches;
        });
        size_t period = 0;
        const std::vector<float> rec = record([&] {
            flip.start();
            QVERIFY2(tool.play(), qPrintable(tool.message()));
            QTRY_VERIFY_WITH_TIMEOUT(!tool.isPlaying(), 20000);
            period = tool.periodFrames();
            flip.stop();
        });
        QVERIFY(switches >= 15);
        QVERIFY(period > 0);
        const size_t start = onset(rec);
        QVERIFY(start < rec.size());
        // Up to the last sound: the sink may begin a little into the clip (reported above), so
        // the clip's length from the first sound would run into the silence after it.
        size_t end = rec.size();
        while (end > start && std::abs(rec[end - 1]) < 1e-3f)
            --end;
        QVERIFY(end - start > clip.frames() * 8 / 10);
        // The longest run of near-silent samples while the clip plays (a 0.5 sine at 440 Hz
        // changes by 0.03 a sample, so its own zero crossings give runs of one sample).
        size_t longest = 0, run = 0, where = 0;
        for (size_t i = start; i < end; ++i) {
            run = std::abs(rec[i]) < 1e-3f ? run + 1 : 0;
            if (run > longest) {
                longest = run;
                where = i - start;
            }
        }
        qInfo("longest silence ends %zu samples after the start", where);
        // Which buffer each 10 ms of the recording came from: A and B differ in phase.
        const std::vector<float> &a = tool.originalSamples(), &b = tool.filteredSamples();
        int fromA = 0, fromB = 0, changes = 0, last = -1;
        const size_t pos = clipPosition(rec, start, a, 2048, kRate / 2);
        for (size_t blk = start; blk + 441 < end && blk - start + pos + 441 < a.size(); blk += 441) {
            double ea = 0, eb = 0;
            for (size_t i = 0; i < 441; ++i) {
                ea += std::pow(rec[blk + i] - a[blk - start + pos + i], 2);
                eb += std::pow(rec[blk + i] - b[blk - start + pos + i], 2);
            }
            const int which = ea < eb ? 0 : 1;
            (which ? fromB : fromA)++;
            changes += last >= 0 && which != last;
            last = which;
        }
        qInfo("%d switches, period %zu frames, longest silence %zu samples, %d blocks from A, %d from B, %d changes",
              switches, period, longest, fromA, fromB, changes);
        QVERIFY2(longest < period, qPrintable(QStringLiteral("a gap of %1 samples").arg(longest)));
        QVERIFY(longest <= 2);
        QVERIFY(fromA > 20 && fromB > 20);
        QVERIFY(changes >= 10); // the switches reached the sink (some fall after the clip's end)
    }
};

QTEST_GUILESS_MAIN(TestListenPlayback)
#include "test_listenplayback.moc"
