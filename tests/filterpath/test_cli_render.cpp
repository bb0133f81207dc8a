// render through the built korvane-s-cli: WAV and FLAC in and out, the result equal to the
// library's own render, one stage or both, the clear refusals, hostile audio files within a
// small memory limit, and an output that replaces its target all or nothing.

#include "clirun.h"
#include "modeltesting.h"
#include "scripteddialog.h"

#include "config/settingsfile.h"
#include "filterpath/render.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <numbers>
#include <random>
#include <sys/stat.h>

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

QByteArray le32(quint32 v) { return QByteArray(reinterpret_cast<const char *>(&v), 4); }
QByteArray le16(quint16 v) { return QByteArray(reinterpret_cast<const char *>(&v), 2); }

// A canonical 44-byte WAV header: format 1 (PCM) or 3 (float), the data chunk's size as given.
QByteArray wavHeader(int format, int channels, quint32 rate, int bits, quint32 dataBytes)
{
    const int block = channels * bits / 8;
    return "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + le16(format) + le16(channels) + le32(rate)
        + le32(rate * block) + le16(block) + le16(bits) + "data" + le32(dataBytes);
}

// The tool with a command in front (a memory limit, a file size limit): exit status and
// standard error; -1 when it crashed or hung.
Run runWrapped(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

double maxDiff(const std::vector<float> &a, const std::vector<float> &b)
{
    double d = 0;
    for (size_t i = 0; i < a.size(); ++i)
        d = std::max(d, std::abs(static_cast<double>(a[i]) - b[i]));
    return d;
}

} // namespace

class TestCliRender : public CliTest {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        m_model = twoStageModel(3, Lowpass, Notch);
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

    // Files that claim more than they hold, rates no clip has, samples that are not numbers, a
    // clip whose render would pass the memory bound: each ends in a clear message or in a render
    // of what the file really holds, within 400 MB of address space (the tool itself takes
    // about 200). Under the sanitizers, which reserve terabytes of address space, the limit is
    // on any one allocation instead.
    void hostileAudioWithinBoundedMemory_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("sparseSize"); // grown to this many bytes of zeros, 0 for none
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::addColumn<int>("frames"); // rendered, when it succeeds

        QByteArray pcm(2000, '\x10');
        QTest::newRow("WAV data claims 4 GiB")
            << wavHeader(1, 1, 8000, 16, 0xfffffff0u) + pcm << qint64(0) << "claim.wav" << 0 << "" << 1000;
        QTest::newRow("WAV cut short") << wavHeader(1, 2, 8000, 16, 40000) + pcm << qint64(0) << "short.wav" << 0 << ""
                                       << 500;
        QTest::newRow("WAV at 1 Hz") << wavHeader(1, 1, 1, 16, 2000) + pcm << qint64(0) << "1hz.wav" << 1
                                     << "sample rate is 1 Hz" << 0;
        QTest::newRow("WAV at 10 MHz") << wavHeader(1, 1, 10000000, 16, 2000) + pcm << qint64(0) << "10mhz.wav" << 1
                                       << "1000 to 768000 Hz" << 0;
        QByteArray floats;
        for (float v : {0.25f, NAN, INFINITY, -INFINITY, 0.25f})
            floats += QByteArray(reinterpret_cast<const char *>(&v), 4).repeated(200);
        QTest::newRow("NaN and infinite samples") << wavHeader(3, 1, 8000, 32, 4000) + floats << qint64(0) << "nan.wav"
                                                  << 0 << "warning: 600 sample(s) of" << 1000;
        // 15 million frames at 1 kHz become 258 million at the set's 17200 Hz: about 2.2 GiB.
        QTest::newRow("render beyond 2 GiB")
            << wavHeader(1, 1, 1000, 16, 30000000) << qint64(44 + 30000000) << "long.wav" << 1 << "2048 MiB" << 0;

        // FLAC whose STREAMINFO claims 2^36 - 1 and 2^28 frames (36 bits at byte 21.5).
        AudioClip tone = noiseClip(8000, 1, 0.25);
        QString why;
        QVERIFY2(WriteAudioFile(path("tone.flac"), tone, &why), qPrintable(why));
        const QByteArray flac = readAll(path("tone.flac"));
        QVERIFY(flac.startsWith("fLaC"));
        for (quint64 claim : {(quint64{1} << 36) - 1, quint64{1} << 28}) {
            QByteArray lie = flac;
            lie[21] = static_cast<char>((lie[21] & 0xf0) | static_cast<int>((claim >> 32) & 0x0f));
            for (int i = 0; i < 4; ++i)
                lie[22 + i] = static_cast<char>((claim >> (24 - 8 * i)) & 0xff);
            QTest::addRow("FLAC claims %llu frames", static_cast<unsigned long long>(claim))
                << lie << qint64(0) << "claim.flac" << 0 << "" << 2000;
        }
    }
    void hostileAudioWithinBoundedMemory()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, sparseSize);
        QFETCH(QString, name);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        QFETCH(int, frames);
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) == content.size());
        if (sparseSize > 0)
            QVERIFY(f.resize(sparseSize));
        f.close();
        const QString out = path("hostile-out.wav");
        QFile::remove(out);
        const QStringList args{
            QDir(programDir()).filePath("korvane-s-cli"), "render", path("sets.min"), "--set", "3", path(name), out};
#if defined(__SANITIZE_ADDRESS__)
        qputenv("ASAN_OPTIONS", qgetenv("ASAN_OPTIONS") + ":max_allocation_size_mb=300:allocator_may_return_null=1");
        const Run r = runWrapped(args[0], args.mid(1));
#else
        const Run r = runWrapped("prlimit", QStringList{"--as=" + QString::number(400 << 20), "--"} + args);
#endif
        QVERIFY2(r.exitCode == exitCode, qPrintable(QStringLiteral("exit %1: %2").arg(r.exitCode).arg(r.err)));
        QVERIFY2(r.err.contains(says), qPrintable(r.err));
        if (exitCode != 0) {
            QVERIFY(!QFile::exists(out));
            return;
        }
        const auto written = ReadAudioFile(out);
        QVERIFY(written);
        QCOMPARE(written->frames(), size_t(frames));
        for (float v : written->samples)
            QVERIFY(std::isfinite(v));
    }

    // The output replaces OUT as the settings file is replaced: never through a planted
    // OUT.part, through a symbolic link to the file it points to, keeping a 0600 mode, and on
    // a failed write (a file size limit) leaving the old file and nothing else, with the file
    // system's reason.
    void outputReplacesAllOrNothing()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto at = [&](const QString &name) { return dir.filePath(name); };
        QString why;
        QVERIFY2(WriteAudioFile(at("in.wav"), noiseClip(22050, 1, 1.0), &why), qPrintable(why));
        auto render = [&](const QString &out) {
            return runCli({"render", path("sets.min"), "--set", "3", at("in.wav"), out});
        };
        QVERIFY(QFile(at("victim")).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(at("victim"), at("out.wav.part")));
        QVERIFY(QDir().mkdir(at("real")));
        QVERIFY(QFile::link(at("real/target.wav"), at("link.wav")));
        QVERIFY(QFile(at("real/target.wav")).open(QIODevice::WriteOnly));
        QCOMPARE(::chmod(QFile::encodeName(at("real/target.wav")).constData(), 0600), 0);

        Run r = render(at("out.wav"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QCOMPARE(QFileInfo(at("victim")).size(), 0);
        QVERIFY(QFileInfo(at("out.wav.part")).isSymLink());
        QVERIFY(ReadAudioFile(at("out.wav")));

        r = render(at("link.wav"));
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY(QFileInfo(at("link.wav")).isSymLink());
        QVERIFY(ReadAudioFile(at("real/target.wav")));
        struct stat st { };
        QCOMPARE(::stat(QFile::encodeName(at("real/target.wav")).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
        QCOMPARE(QDir(at("real")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{"target.wav"});

        // 8 KiB of file size: the FLAC encoder's writes are refused part-way (EFBIG, with
        // SIGXFSZ ignored so that the write fails instead of killing the tool).
        const QByteArray old("the previous render");
        QFile keep(at("keep.flac"));
        QVERIFY(keep.open(QIODevice::WriteOnly) && keep.write(old) == old.size());
        keep.close();
        r = runWrapped("/bin/sh",
                       {"-c", "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$@\"",
                        QDir(programDir()).filePath("korvane-s-cli"), "render", path("sets.min"), "--set", "3",
                        at("in.wav"), at("keep.flac")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(QLatin1String("File too large")), qPrintable(r.err));
        QCOMPARE(readAll(at("keep.flac")), old);
        QCOMPARE(QDir(dir.path()).entryList({"keep*"}, QDir::Files | QDir::Hidden), QStringList{"keep.flac"});
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
    Model m_model;
};

QTEST_GUILESS_MAIN(TestCliRender)
#include "test_cli_render.moc"
