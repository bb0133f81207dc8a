// render through the built korvane-s-cli: WAV and FLAC in and out, the result equal to the
// library's own render, one stage or both, and the clear refusals.

#include "clirun.h"
#include "scripteddialog.h"

#include "config/settingsfile.h"
#include "filterpath/render.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numbers>
#include <random>

using namespace korvane;
using namespace korvane::test;

namespace {

AudioClip noiseClip(int rate, int channels, double seconds, int fileFormat = 0)
{
    AudioClip c;
    c.sampleRate = rate;
    c.channels = channels;
    c.fileFormat = fileFormat;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-0.4f, 0.4f);
    c.samples.resize(static_cast<size_t>(rate * seconds) * channels);
    for (float &v : c.samples)
        v = u(rng);
    return c;
}

double maxDiff(const std::vector<float> &a, const std::vector<float> &b)
{
    double d = 0;
    for (size_t i = 0; i < a.size(); ++i)
        d = std::max(d, std::abs(static_cast<double>(a[i]) - b[i]));
    return d;
}

} // namespace

class TestCliRender : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_model.ResetAllFilterSets();
        m_model.CurrentSet = 3;
        m_model.stage(3, 1).Type = Lowpass;
        m_model.ApplyTypeDefaults(1);
        m_model.stage(3, 2).Type = Notch;
        m_model.ApplyTypeDefaults(2);
        ScriptedDialog dialog;
        QVERIFY(WriteSettingsFile(m_model, path("sets.min"), dialog));
        // What the reader makes of it (every set validated to 17200 Hz).
        m_model = Model();
        QVERIFY(ReadSettingsFile(m_model, path("sets.min"), dialog));
    }

    void rendersLikeTheLibrary_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QString>("stage");
        QTest::newRow("WAV stereo 44100 to WAV") << "in.wav"
                                                 << "out.wav" << 44100 << 2 << "both";
        QTest::newRow("FLAC mono 22050 to FLAC") << "in.flac"
                                                 << "out.flac" << 22050 << 1 << "both";
        QTest::newRow("WAV 48000 stage 2 to FLAC") << "in48.wav"
                                                   << "out2.flac" << 48000 << 1 << "2";
    }
    void rendersLikeTheLibrary()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QString, stage);
        const AudioClip clip = noiseClip(rate, channels, 1.5);
        QString why;
        QVERIFY2(WriteAudioFile(path(in), clip, &why), qPrintable(why));
        const Run r = runCli({"render", path("sets.min"), "--set", "3", path(in), path(out), "--stage", stage},
                             programDir());
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("17200 Hz")), qPrintable(r.err));
        const auto written = ReadAudioFile(path(out), &why);
        QVERIFY2(written, qPrintable(why));
        QCOMPARE(written->sampleRate, rate);
        QCOMPARE(written->channels, channels);
        QCOMPARE(written->frames(), clip.frames());

        // The same render in this process, from the 16-bit samples the tool read.
        const auto source = ReadAudioFile(path(in));
        QVERIFY(source);
        ScriptedDialog dialog;
        const auto fp = FilterPathForSet(m_model, 3, dialog);
        QVERIFY(fp);
        const auto expected = RenderClip(*fp, *source, stage == "2" ? StageSelection::Stage2 : StageSelection::Both);
        QVERIFY(expected);
        QVERIFY2(maxDiff(expected->samples, written->samples) <= 1.5 / 32768,
                 qPrintable(QString::number(maxDiff(expected->samples, written->samples))));
        // And it did filter: the output is not the input.
        QVERIFY(maxDiff(source->samples, written->samples) > 0.05);
    }

    void refusesBadAudio_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QByteArray() << "empty.wav";
        QFile good(path("in.wav"));
        QVERIFY(good.open(QIODevice::ReadOnly));
        QTest::newRow("truncated header") << good.read(30) << "truncated.wav";
        QTest::newRow("text renamed .wav")
            << QByteArray("frequency,level\n1000,-3\n2000,-6\n").repeated(20) << "text.wav";
        // A canonical 44-byte WAV header that says 0 channels, then some data.
        QByteArray zero("RIFF");
        auto le32 = [](quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); };
        auto le16 = [](quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); };
        zero += le32(36 + 400) + "WAVEfmt " + le32(16) + le16(1) + le16(0) + le32(44100) + le32(0) + le16(0) + le16(16)
            + "data" + le32(400) + QByteArray(400, '\0');
        QTest::newRow("0 channels") << zero << "zero.wav";
    }
    void refusesBadAudio()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        const QString out = path("never-" + name);
        const Run r = runCli({"render", path("sets.min"), "--set", "3", path(name), out}, programDir());
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QLatin1String("Cannot read audio file")) && r.err.contains(name), qPrintable(r.err));
        QVERIFY2(r.err.contains(QLatin1String("WAV, FLAC or Ogg")), qPrintable(r.err));
        QVERIFY(!QFile::exists(out));
    }

    void usageAndOutputErrors()
    {
        QCOMPARE(runCli({"render", path("sets.min"), path("in.wav"), path("x.wav")}).exitCode, 2); // no --set
        QCOMPARE(
            runCli({"render", path("sets.min"), "--set", "3", path("in.wav"), path("x.wav"), "--stage", "3"}).exitCode,
            2);
        QCOMPARE(runCli({"render", path("sets.min"), "--set", "16", path("in.wav"), path("x.wav")}).exitCode, 2);
        const Run mp3 = runCli({"render", path("sets.min"), "--set", "3", path("in.wav"), path("x.mp3")});
        QCOMPARE(mp3.exitCode, 1);
        QVERIFY(mp3.err.contains(QLatin1String(".wav, .flac or .ogg")));
        QCOMPARE(runCli({"render", path("missing.min"), "--set", "3", path("in.wav"), path("x.wav")}).exitCode, 1);
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
    Model m_model;
};

QTEST_GUILESS_MAIN(TestCliRender)
#include "test_cli_render.moc"
