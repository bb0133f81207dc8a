// analyze and design through the built korvane-s-cli: the tone found, the designed set written
// into one set only and built into an image, and the refusals of bad regions.

#include "clirun.h"
#include "datatable.h"
#include "listentesting.h" // tests/listen

#include "config/settingsfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

class TestCliDesign : public CliTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY(WriteAudioFile(path("clip.wav"), designClip(16000, 1234.5)));
        QCOMPARE(runCli({"new", path("base.min")}).exitCode, 0);
    }

    void analyzeFindsTheTone()
    {
        const Run r = runCli({"analyze", path("clip.wav"), "--from", "0", "--to", "1.5", "--json"});
        QCOMPARE(r.exitCode, 0);
        const QJsonArray tones = QJsonDocument::fromJson(r.out.toUtf8()).object().value("tones").toArray();
        QVERIFY2(!tones.isEmpty(), qPrintable(r.out));
        QVERIFY2(std::abs(tones[0].toObject().value("frequencyHz").toDouble() - 1234.5) < 1.0, qPrintable(r.out));
    }

    // Set 3 gets the curve (and the Notch with --notch); the other sets stay as they were, and
    // the file builds an image.
    void designThenBuildImage_data() { addBoolRows("notch", "curve", "curve and notch"); }
    void designThenBuildImage()
    {
        QFETCH(bool, notch);
        QStringList args{"design",         path("base.min"), "--set", "3",  "--audio",
                         path("clip.wav"), "--noise",        "0-1.5", "-o", path("out.min")};
        if (notch)
            args << "--notch";
        const Run r = runCli(args);
        QVERIFY2(r.exitCode == 0, qPrintable(r.err));
        QVERIFY2(r.out.contains(notch ? "Stage 2: Notch at 1235 Hz" : "Stage 2: Pass Thru Filter, as it was"),
                 qPrintable(r.out));
        ScriptedDialog dialog;
        Model base, out;
        QVERIFY(ReadSettingsFile(base, path("base.min"), dialog));
        QVERIFY(ReadSettingsFile(out, path("out.min"), dialog));
        QCOMPARE(out.stage(3, 1).Type, int16_t(SpectralEq));
        QCOMPARE(out.stage(3, 2).Type, int16_t(notch ? Notch : PassThru));
        for (int set = 0; set < kFilterSetCount; ++set)
            QCOMPARE(out.FilterData[static_cast<size_t>(set)] == base.FilterData[static_cast<size_t>(set)], set != 3);
        const Run image = runCli({"build-image", path("out.min"), "-o", path("out.bin")});
        QVERIFY2(image.exitCode == 0, qPrintable(image.err));
        QCOMPARE(readAll(path("out.bin")).size(), 28672);
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QStringList design{"design", "base.min", "--set", "3", "--audio", "clip.wav", "-o", "x.min", "--noise"};
        QTest::newRow("empty noise region") << (design + QStringList{"1-1"}) << 1 << "is empty";
        QTest::newRow("noise outside the clip")
            << (design + QStringList{"5-9"}) << 1 << "outside the clip (0 s to 6.000 s)";
        QTest::newRow("no noise") << (design + QStringList{"5.6-5.95"}) << 1 << "silent";
        QTest::newRow("noise not seconds") << (design + QStringList{"a-2"}) << 2 << "--noise takes START-END";
        QTest::newRow("no audio file") << QStringList{"design",   "base.min", "--set", "3",  "--audio",
                                                      "none.wav", "--noise",  "0-1",   "-o", "x.min"}
                                       << 1 << "none.wav";
        QTest::newRow("analyze inverted region")
            << QStringList{"analyze", "clip.wav", "--from", "3", "--to", "1"} << 1 << "is empty";
        QTest::newRow("analyze --from not seconds")
            << QStringList{"analyze", "clip.wav", "--from", "-1"} << 2 << "--from takes seconds";
    }
    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        const Run r = runCli(args, dir_.path());
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(!QFile::exists(path("x.min")));
    }
};

QTEST_GUILESS_MAIN(TestCliDesign)
#include "test_cli_design.moc"
