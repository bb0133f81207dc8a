#include "clirun.h"
#include "config/settingsfile.h"
#include "datatable.h"
#include "scripteddialog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

QByteArray line(const QString &path, int index) { return readAll(path).split('\n').value(index).trimmed(); }

} // namespace

class TestCliConfig : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void newWritesResetModel();
    void convertPortChoices();
    void convertFailures();
    void showPrintsParameters();
    void importCoef();
    void usage_data();
    void usage();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }
    QTemporaryDir dir_;
    QString sample_;
};

void TestCliConfig::initTestCase()
{
    QVERIFY(dir_.isValid());
    Model m;
    m.ResetAllFilterSets();
    m.ComPort = 7;
    m.stage(2, 1).Type = Lowpass;
    m.CurrentSet = 2;
    m.ApplyTypeDefaults(1);
    m.stage(2, 2).Type = Comb;
    m.ApplyTypeDefaults(2);
    m.stage(2, 1).Agc = 2;
    m.stage(2, 2).Agc = 2;
    m.stage(2, 1).NoiseFilter = kTrue;
    m.stage(2, 2).NoiseFilter = kTrue;
    sample_ = path(QStringLiteral("sample.min"));
    ScriptedDialog dialog;
    QVERIFY(WriteSettingsFile(m, sample_, dialog));
}

void TestCliConfig::newWritesResetModel()
{
    const QString out = path(QStringLiteral("new.min"));
    const Run r = runCli({QStringLiteral("new"), out});
    QCOMPARE(r.exitCode, 0);
    Model m;
    m.ResetAllFilterSets();
    m.CurrentSet = 0;
    m.ComPort = 1;
    QCOMPARE(readAll(out), SettingsFileContent(m));

    QCOMPARE(runCli({QStringLiteral("new"), out, QStringLiteral("--port"), QStringLiteral("4")}).exitCode, 0);
    QCOMPARE(line(out, 1), QByteArray("4"));
}

void TestCliConfig::convertPortChoices()
{
    const QString out = path(QStringLiteral("conv.min"));
    QCOMPARE(runCli({QStringLiteral("convert"), sample_, out}).exitCode, 0);
    QCOMPARE(line(out, 1), QByteArray("1"));
    QCOMPARE(line(out, 2 + 4 * kStageBlockLines), QByteArray("1"));       // set 2 Stage 1 Lowpass
    QCOMPARE(line(out, 2 + 4 * kStageBlockLines + 258), QByteArray("2")); // validated bandwidth

    Model back;
    ScriptedDialog dialog;
    QVERIFY(ReadSettingsFile(back, out, dialog));
    QCOMPARE(back.stage(2, 2).Type, Comb);
    QCOMPARE(back.stage(2, 1).NoiseFilter, kTrue);

    QCOMPARE(runCli({QStringLiteral("convert"), sample_, out, QStringLiteral("--keep-port")}).exitCode, 0);
    QCOMPARE(line(out, 1), QByteArray("7"));
    QCOMPARE(runCli({QStringLiteral("convert"), QStringLiteral("--port"), QStringLiteral("3"), sample_, out}).exitCode,
             0);
    QCOMPARE(line(out, 1), QByteArray("3"));
}

void TestCliConfig::convertFailures()
{
    const QString bad = path(QStringLiteral("bad.min"));
    QVERIFY(writeFile(bad, "\"korvane-s\"\r\n1\r\n"));
    const QString out = path(QStringLiteral("never.min"));
    Run r = runCli({QStringLiteral("convert"), bad, out});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Unable to read file")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("Error reading file ") + bad));
    QVERIFY(r.err.contains(QStringLiteral(".  Invalid settings file.")));
    QVERIFY(!QFile::exists(out));

    const QString unwritable = sample_ + QStringLiteral("/out.min"); // parent is a file
    r = runCli({QStringLiteral("convert"), sample_, unwritable});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(QStringLiteral("Unable to Store File.")), qPrintable(r.err));
    QVERIFY(r.err.contains(QStringLiteral("Disk may be full or write protected")));

    QCOMPARE(runCli({QStringLiteral("show"), path(QStringLiteral("missing.min"))}).exitCode, 1);
}

void TestCliConfig::showPrintsParameters()
{
    // A comb's fundamental is S / (N + 1): at the setting 5, 17200 / 6 Hz.
    Model comb;
    comb.ResetAllFilterSets();
    comb.stage(4, 2).Type = Comb;
    comb.stage(4, 2).Freq1 = 5;
    comb.ValidateStage(4, 1);
    comb.ValidateStage(4, 2);
    ScriptedDialog quiet;
    QVERIFY(WriteSettingsFile(comb, path(QStringLiteral("comb.min")), quiet));
    QVERIFY(runCli({QStringLiteral("show"), path(QStringLiteral("comb.min"))})
                .out.contains(QStringLiteral("Fundamental setting: 5 (fundamental 2867 Hz)")));

    const Run r = runCli({QStringLiteral("show"), sample_});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("Filter 2: 20dB AGC, 7.5 kHz, Broadband Noise Filter on")),
             qPrintable(r.out));
    QVERIFY(r.out.contains(QStringLiteral("Stage 1: Lowpass\n      Cutoff frequency: 2500 Hz\n      Slope: 64\n"
                                          "      Attenuation: 30 dB\n")));
    QVERIFY(r.out.contains(QStringLiteral("Stage 2: Comb\n      Fundamental setting: 286 (fundamental 60 Hz)\n"
                                          "      Notch limit: 2500 Hz\n")));
    QVERIFY(r.out.contains(QStringLiteral("Filter 15: No AGC, 7.5 kHz, Broadband Noise Filter off\n"
                                          "    Stage 1: Pass Thru Filter\n    Stage 2: Pass Thru Filter")));
    QVERIFY(r.out.contains(QStringLiteral("COM 7")));
    QVERIFY(r.err.isEmpty());
}

void TestCliConfig::importCoef()
{
    const QString coef = path(QStringLiteral("coef.txt"));
    QVERIFY(writeFile(coef, "0.5\r\n-0.25\r\n1.5\r\n"));
    const QString out = path(QStringLiteral("imported.min"));
    Run r = runCli({QStringLiteral("import-coef"), sample_, QStringLiteral("2"), QStringLiteral("1"), coef, out});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(r.err.contains(QStringLiteral("Coefficients Out of Bounds")));
    Model m;
    ScriptedDialog dialog;
    QVERIFY(ReadSettingsFile(m, out, dialog));
    const StageConfig &s = m.stage(2, 1);
    QCOMPARE(s.Type, ImportedCoef);
    QCOMPARE(s.CoefFileName, coef);
    QCOMPARE(s.Coef[0], 0.5f);
    QCOMPARE(s.Coef[1], -0.25f);
    QCOMPARE(s.Coef[2], 1.0f);
    QCOMPARE(s.Coef[3], 0.0f);
    QCOMPARE(m.stage(2, 2).Type, Comb);
    // The same into Stage 2 of that file: its Stage 1 stays as it was.
    const QString again = path(QStringLiteral("imported2.min"));
    QCOMPARE(
        runCli({QStringLiteral("import-coef"), out, QStringLiteral("2"), QStringLiteral("2"), coef, again}).exitCode,
        0);
    Model m2;
    QVERIFY(ReadSettingsFile(m2, again, dialog));
    QCOMPARE(m2.stage(2, 2).Type, ImportedCoef);
    QCOMPARE(m2.stage(2, 2).Coef[1], -0.25f);
    QCOMPARE(m2.stage(2, 1).Coef, s.Coef);

    const QString badCoef = path(QStringLiteral("bad.txt"));
    QVERIFY(writeFile(badCoef, "0.5\r\n\r\n"));
    const QString notWritten = path(QStringLiteral("not-written.min"));
    r = runCli({QStringLiteral("import-coef"), sample_, QStringLiteral("0"), QStringLiteral("2"), badCoef, notWritten});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains(QStringLiteral("File Open Error")));
    QVERIFY(r.err.contains(QStringLiteral(" is not valid coefficient file.")));
    QVERIFY(!QFile::exists(notWritten));
}

void TestCliConfig::usage_data()
{
    test::addColumns<QStringList, int>("args", "exitCode");
    const QString f = QStringLiteral("x.min");
    for (const char *cmd : {"show", "convert", "new", "import-coef"})
        QTest::addRow("%s --help", cmd) << QStringList{QString::fromLatin1(cmd), QStringLiteral("--help")} << 0;
    QTest::newRow("show without file") << QStringList{QStringLiteral("show")} << 2;
    QTest::newRow("show two files") << QStringList{QStringLiteral("show"), f, f} << 2;
    QTest::newRow("convert one file") << QStringList{QStringLiteral("convert"), f} << 2;
    QTest::newRow("convert unknown option")
        << QStringList{QStringLiteral("convert"), f, f, QStringLiteral("--fast")} << 2;
    QTest::newRow("port out of range") << QStringList{QStringLiteral("new"), f, QStringLiteral("--port"),
                                                      QStringLiteral("10")}
                                       << 2;
    QTest::newRow("port and keep-port")
        << QStringList{QStringLiteral("convert"),    f, f, QStringLiteral("--port"), QStringLiteral("2"),
                       QStringLiteral("--keep-port")}
        << 2;
    QTest::newRow("set 16") << QStringList{QStringLiteral("import-coef"), f, QStringLiteral("16"),
                                           QStringLiteral("1"),           f, f}
                            << 2;
    QTest::newRow("stage 3") << QStringList{QStringLiteral("import-coef"), f, QStringLiteral("0"),
                                            QStringLiteral("3"),           f, f}
                             << 2;
    QTest::newRow("set not a number") << QStringList{QStringLiteral("import-coef"), f, QStringLiteral("a"),
                                                     QStringLiteral("1"),           f, f}
                                      << 2;
}

void TestCliConfig::usage()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QDir::setCurrent(dir_.path());
    const Run r = runCli(args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY((exitCode == 0 ? r.out : r.err).contains(QStringLiteral("usage: korvane-s-cli ") + args[0]));
    QVERIFY(!QFile::exists(path(QStringLiteral("x.min"))));
}

QTEST_GUILESS_MAIN(TestCliConfig)
#include "test_cli_config.moc"
