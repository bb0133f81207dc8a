#include "config/settingsfile.h"
#include "datatable.h"
#include "scripteddialog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <cmath>
#include <csignal>

using namespace korvane;
using korvane::test::ScriptedDialog;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Lines of a file written with CR LF; the empty piece after the last CR LF is dropped.
QList<QByteArray> lines(const QByteArray &content)
{
    QList<QByteArray> out = content.split('\n');
    if (!out.isEmpty() && out.back().isEmpty())
        out.removeLast();
    for (auto &l : out)
        if (l.endsWith('\r'))
            l.chop(1);
    return out;
}

QByteArray joinLines(const QList<QByteArray> &ls)
{
    QByteArray out;
    for (const auto &l : ls)
        out += l + "\r\n";
    return out;
}

// 0-based line of field `offset` of the stage block of set/stage.
int blockLine(int set, int stage, int offset) { return 2 + (set * 2 + stage - 1) * kStageBlockLines + offset; }

Model resetModel(int16_t port = 1)
{
    Model m;
    m.ResetAllFilterSets();
    m.CurrentSet = 0;
    m.ComPort = port;
    return m;
}

// Every type, in both stages, with values at and beyond their limits and singles that need
// all seven digits.
Model richModel()
{
    Model m = resetModel(4);
    for (int set = 0; set < kFilterSetCount; ++set) {
        for (int st = 1; st <= 2; ++st) {
            StageConfig &s = m.stage(set, st);
            s.Type = static_cast<int16_t>((set * 2 + st - 1) % 13); // 12 is unknown
            s.Bandwidth = static_cast<int16_t>(set % 3);
            s.Agc = static_cast<int16_t>(set % 5);
            s.NoiseFilter = set % 2 ? kTrue : kFalse;
            s.FilterSize = static_cast<int16_t>(set * 20);
            s.AdaptRate = static_cast<int16_t>(300 - set);
            s.PredictionSpan = static_cast<int16_t>(set * 5);
            s.ModeOption = static_cast<int16_t>(set % 6);
            s.OutputOption = static_cast<int16_t>(st);
            s.Freq1 = static_cast<int16_t>(set * 500 - 200);
            s.Freq2 = static_cast<int16_t>(7500 - set * 300);
            s.Slope = static_cast<int16_t>(set * 9);
            s.AttenDb = static_cast<int16_t>(set * 5);
            for (int i = 0; i < kEqBandCount; ++i)
                s.EqBand[i] = static_cast<int16_t>(i * 3 - 5);
            for (int i = 0; i < kCoefCount; ++i)
                s.Coef[i] = std::sin(0.1f * i + set) * (i % 7 == 0 ? 1.3f : 0.7f);
            s.Coef[255] = 1.5e-5f;
            s.Coef[254] = -0.3333333f;
            for (int i = 0; i < kSpectralPointCount; ++i)
                s.SpectralGain[i] = -0.4f * i + 3.0f;
            s.CoefFileName = set == 3 ? QStringLiteral("/home/jürgen/koeffizienten 3.txt")
                                      : QStringLiteral("/tmp/set%1-%2.txt").arg(set).arg(st);
        }
    }
    m.stage(15, 2).Type = -1;
    m.stage(5, 1).CoefFileName = QString(600, QLatin1Char('p'));
    m.stage(6, 1).SpectralGain[0] = -123456.7f;
    return m;
}

// What a successful read makes of a model written from `source`.
Model afterRead(Model source, int16_t port)
{
    Model expected = source;
    expected.ResetAllFilterSets();
    expected.FilterData = source.FilterData;
    for (int set = 0; set < kFilterSetCount; ++set) {
        expected.ValidateStage(set, 1);
        expected.ValidateStage(set, 2);
    }
    expected.ComPort = port;
    return expected;
}

bool nearSingle(float a, float b) { return std::fabs(a - b) <= 5e-7f * std::fabs(b) + 1e-37f; }

void compareModels(const Model &got, const Model &want)
{
    QCOMPARE(got.ComPort, want.ComPort);
    for (int set = 0; set < kFilterSetCount; ++set) {
        for (int st = 1; st <= 2; ++st) {
            StageConfig g = got.stage(set, st);
            const StageConfig &w = want.stage(set, st);
            for (int i = 0; i < kCoefCount; ++i) {
                QVERIFY2(nearSingle(g.Coef[i], w.Coef[i]),
                         qPrintable(QStringLiteral("set %1 stage %2 coef %3").arg(set).arg(st).arg(i)));
                g.Coef[i] = w.Coef[i];
            }
            for (int i = 0; i < kSpectralPointCount; ++i) {
                QVERIFY(nearSingle(g.SpectralGain[i], w.SpectralGain[i]));
                g.SpectralGain[i] = w.SpectralGain[i];
            }
            QVERIFY2(g == w, qPrintable(QStringLiteral("set %1 stage %2").arg(set).arg(st)));
        }
    }
}

} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void init();
    void resetModelLayout();
    void roundTripValidates();
    void portOnlyTakenAtStartup_data();
    void portOnlyTakenAtStartup();
    void tolerantFieldReader_data();
    void tolerantFieldReader();
    void olderTenSetFile();
    void badFileLeavesModel_data();
    void badFileLeavesModel();
    void fileNameThatCannotBeQuoted();
    void writeFailureMessages();
    void failedWriteKeepsPreviousFile();

private:
    QString path(const QString &name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestSettingsFile::init() { dir_ = std::make_unique<QTemporaryDir>(); }

void TestSettingsFile::resetModelLayout()
{
    ScriptedDialog dialog;
    const QString file = path(QStringLiteral("default.min"));
    QVERIFY(WriteSettingsFile(resetModel(), file, dialog));
    QVERIFY(dialog.events.empty());
    const QByteArray bytes = readAll(file);
    QCOMPARE(bytes, SettingsFileContent(resetModel()));

    // CR LF after every value and nowhere else.
    QCOMPARE(bytes.count("\r\n"), kSettingsFileLines);
    QCOMPARE(bytes.count('\r'), kSettingsFileLines);
    QCOMPARE(bytes.count('\n'), kSettingsFileLines);
    QVERIFY(bytes.endsWith("#FALSE#\r\n"));

    const QList<QByteArray> ls = lines(bytes);
    QCOMPARE(ls.size(), 12962);
    QCOMPARE(ls[0], QByteArray("\"Korvane-S\""));
    QCOMPARE(ls[1], QByteArray("1"));
    QCOMPARE(ls[2], QByteArray("11"));
    QCOMPARE(ls[3], QByteArray("\"\""));
    for (int line = 5; line <= 260; ++line)
        QCOMPARE(ls[line - 1], QByteArray("0"));
    QCOMPARE(ls[260], QByteArray("1")); // Bandwidth 1 of a reset model, not validated
    QCOMPARE(ls[406], QByteArray("#FALSE#"));
    QCOMPARE(ls[407], QByteArray("11")); // set 0 Stage 2 begins
    QCOMPARE(ls[blockLine(15, 2, 0)], QByteArray("11"));
}

void TestSettingsFile::roundTripValidates()
{
    const Model source = richModel();
    ScriptedDialog dialog;
    const QString file = path(QStringLiteral("rich.min"));
    QVERIFY(WriteSettingsFile(source, file, dialog));
    const QList<QByteArray> ls = lines(readAll(file));
    QCOMPARE(ls.size(), kSettingsFileLines);
    QCOMPARE(ls[1], QByteArray("4"));
    QCOMPARE(ls[blockLine(0, 1, 2 + 255)], QByteArray("1.5E-05"));
    QCOMPARE(ls[blockLine(0, 1, 2 + 254)], QByteArray("-0.3333333"));
    QCOMPARE(ls[blockLine(0, 2, 404)], QByteArray("#FALSE#"));
    QCOMPARE(ls[blockLine(1, 1, 404)], QByteArray("#TRUE#"));
    QCOMPARE(ls[blockLine(6, 1, 289)], QByteArray("-123456.7"));
    QCOMPARE(ls[blockLine(15, 2, 0)], QByteArray("-1"));

    Model read = resetModel(2);
    QVERIFY(ReadSettingsFile(read, file, dialog));
    QVERIFY(dialog.events.empty());
    const Model want = afterRead(source, 2);
    compareModels(read, want);

    // Spot checks of what validation did, so a broken validation cannot hide behind the
    // expected model.
    for (int set = 0; set < kFilterSetCount; ++set) {
        QCOMPARE(read.SampleRate(set), 17200);
        QCOMPARE(read.stage(set, 2).Bandwidth, 2);
    }
    QCOMPARE(read.stage(15, 2).Type, Adaptive1CH);
    QCOMPARE(read.stage(15, 2).FilterSize, 128);
    QCOMPARE(read.stage(3, 1).CoefFileName, QStringLiteral("/home/jürgen/koeffizienten 3.txt"));
    QVERIFY(read.stage(5, 1).CoefFileName.isEmpty()); // ImportedCoef, name over 512 characters
    QCOMPARE(read.stage(5, 1).Coef[0], -1.0f);        // 1.3 x sin 5 clipped
    QCOMPARE(read.stage(6, 1).Agc, 1);
    QCOMPARE(read.stage(4, 1).Agc, 3);
    QCOMPARE(read.stage(5, 2).Type, PassThru);
    QCOMPARE(read.stage(5, 2).Freq1, 2300); // unused fields stay as they were

    // Saving what was read and reading it again changes nothing more.
    QVERIFY(WriteSettingsFile(read, file, dialog));
    Model again = resetModel(2);
    QVERIFY(ReadSettingsFile(again, file, dialog));
    compareModels(again, read);
}

void TestSettingsFile::portOnlyTakenAtStartup_data()
{
    test::addColumns<QByteArray, int>("portText", "atStartup");
    QTest::newRow("zero") << QByteArray("0") << 1;
    QTest::newRow("negative") << QByteArray("-3") << 1;
    QTest::newRow("twelve") << QByteArray("12") << 9;
    QTest::newRow("in range") << QByteArray("5") << 5;
    QTest::newRow("upper bound") << QByteArray("9") << 9;
}

void TestSettingsFile::portOnlyTakenAtStartup()
{
    QFETCH(QByteArray, portText);
    QFETCH(int, atStartup);
    QList<QByteArray> ls = lines(SettingsFileContent(resetModel()));
    ls[1] = portText;
    const QString file = path(QStringLiteral("port.min"));
    writeAll(file, joinLines(ls));

    ScriptedDialog dialog;
    Model opened = resetModel(4);
    SettingsFileInfo info;
    QVERIFY(ReadSettingsFile(opened, file, dialog, &info));
    QCOMPARE(opened.ComPort, 4);
    QCOMPARE(int(info.filePort), atStartup);

    Model started;
    QVERIFY(ReadSettingsFile(started, file, dialog, SettingsReadOptions{.startup = true}));
    QCOMPARE(int(started.ComPort), atStartup);
    QVERIFY(dialog.events.empty());
}

// Files that were not written by this program but hold the same fields.
void TestSettingsFile::tolerantFieldReader_data()
{
    test::addColumns<QByteArray, float, int>("content", "coef0", "freq1");

    Model m = resetModel();
    m.stage(0, 1).Type = Lowpass;
    m.stage(0, 1).Coef[0] = 0.5f;
    m.stage(0, 1).Freq1 = 2500;
    const QByteArray base = SettingsFileContent(m);
    QList<QByteArray> ls = lines(base);
    const int coefLine = blockLine(0, 1, 2);
    const int freqLine = blockLine(0, 1, 265);
    auto with = [&](int line, const QByteArray &text) {
        QList<QByteArray> copy = ls;
        copy[line] = text;
        return joinLines(copy);
    };

    QTest::newRow("as written") << base << 0.5f << 2500;
    QTest::newRow("spaces around values") << with(freqLine, "   2500 \t") << 0.5f << 2500;
    QTest::newRow("no leading zero") << with(coefLine, ".5") << 0.5f << 2500;
    QTest::newRow("plus sign and exponent") << with(coefLine, "+5E-01") << 0.5f << 2500;
    QTest::newRow("fraction in an integer field") << with(freqLine, "2499.5") << 0.5f << 2500;
    QTest::newRow("spaces around a quoted field") << with(blockLine(0, 1, 1), "  \"\"  ") << 0.5f << 2500;
    {
        QList<QByteArray> copy = ls;
        copy[coefLine] = "0.5,0";
        copy.removeAt(coefLine + 1);
        QTest::newRow("comma separates fields") << joinLines(copy) << 0.5f << 2500;
    }
    {
        QByteArray lf = base;
        lf.replace("\r\n", "\n");
        QTest::newRow("line feeds only") << lf << 0.5f << 2500;
        QByteArray cr = base;
        cr.replace("\r\n", "\r");
        QTest::newRow("carriage returns only") << cr << 0.5f << 2500;
    }
    // The reader takes the file in 64 KB blocks: leading blanks move a field onto the edge.
    auto acrossBlockEdge = [&](int line, const QByteArray &text, int bytesBeforeEdge) {
        QList<QByteArray> copy = ls;
        const qsizetype start = joinLines(copy.mid(0, line)).size();
        copy[line] = QByteArray(65536 - start - bytesBeforeEdge, ' ') + text;
        return joinLines(copy);
    };
    QTest::newRow("number across a block edge") << acrossBlockEdge(coefLine, "0.5", 2) << 0.5f << 2500;
    QTest::newRow("quoted field across a block edge") << acrossBlockEdge(blockLine(0, 1, 1), "\"\"", 1) << 0.5f << 2500;
    QTest::newRow("CR LF across a block edge") << acrossBlockEdge(coefLine, "0.5", 4) << 0.5f << 2500;
    QTest::newRow("no line end after the last field") << base.chopped(2) << 0.5f << 2500;
    QTest::newRow("junk after the last field") << base + "junk, \"more\r\n12\r\n" << 0.5f << 2500;
    QTest::newRow("an eleventh set in an old file is ignored")
        << QByteArray(base).replace("\"Korvane-S\"", "\"Korvane\"") << 0.5f << 2500;
}

void TestSettingsFile::tolerantFieldReader()
{
    QFETCH(QByteArray, content);
    QFETCH(float, coef0);
    QFETCH(int, freq1);
    const QString file = path(QStringLiteral("tolerant.min"));
    writeAll(file, content);
    ScriptedDialog dialog;
    Model m = resetModel();
    QVERIFY(ReadSettingsFile(m, file, dialog));
    QVERIFY(dialog.messages.empty());
    QCOMPARE(m.stage(0, 1).Type, Lowpass);
    QCOMPARE(m.stage(0, 1).Coef[0], coef0);
    QCOMPARE(int(m.stage(0, 1).Freq1), freq1);
    QCOMPARE(m.stage(0, 1).Coef[1], 0.0f);
    QCOMPARE(m.stage(0, 1).AttenDb, 12); // 0 clamped by validation
}

void TestSettingsFile::olderTenSetFile()
{
    Model source = resetModel();
    for (int set = 0; set < kFilterSetCount; ++set) {
        source.stage(set, 1).Type = Notch;
        source.stage(set, 1).Freq1 = static_cast<int16_t>(1000 + set);
        source.stage(set, 2).Agc = 2;
    }
    QList<QByteArray> ls = lines(SettingsFileContent(source));
    ls[0] = "\"Korvane\"";
    ls = ls.mid(0, 2 + 20 * kStageBlockLines);
    QCOMPARE(ls.size(), 8102);
    // Older files hold file names in an 8-bit code page, not UTF-8: "Köln" with ö = 0xF6.
    ls[blockLine(4, 2, 1)] = "\"C:\\Filter\\K\xF6ln.txt\"";
    const QString file = path(QStringLiteral("old.min"));
    writeAll(file, joinLines(ls));

    Model m = resetModel();
    for (int set = 10; set < kFilterSetCount; ++set) {
        for (int st = 1; st <= 2; ++st) {
            m.stage(set, st).Type = Lowpass;
            m.stage(set, st).Agc = 3;
            m.stage(set, st).NoiseFilter = kTrue;
            m.stage(set, st).Freq1 = 1234;
        }
    }
    ScriptedDialog dialog;
    SettingsFileInfo info;
    QVERIFY(ReadSettingsFile(m, file, dialog, &info));
    QCOMPARE(info.setCount, 10);
    for (int set = 0; set < 10; ++set) {
        QCOMPARE(m.stage(set, 1).Type, Notch);
        QCOMPARE(int(m.stage(set, 1).Freq1), 1000 + set);
        QCOMPARE(m.stage(set, 2).Agc, 2);
    }
    QCOMPARE(m.stage(4, 2).CoefFileName, QStringLiteral("C:\\Filter\\K\u00F6ln.txt"));
    for (int set = 10; set < kFilterSetCount; ++set) {
        for (int st = 1; st <= 2; ++st) {
            const StageConfig &s = m.stage(set, st);
            QCOMPARE(s.Type, PassThru);
            QCOMPARE(s.Agc, 0);
            QCOMPARE(s.NoiseFilter, kFalse);
            QCOMPARE(s.Bandwidth, 2);
            QCOMPARE(s.Freq1, 1234);
        }
    }

    const QString again = path(QStringLiteral("again.min"));
    QVERIFY(WriteSettingsFile(m, again, dialog));
    const QList<QByteArray> out = lines(readAll(again));
    QCOMPARE(out.size(), kSettingsFileLines);
    QCOMPARE(out[0], QByteArray("\"Korvane-S\""));
}

void TestSettingsFile::badFileLeavesModel_data()
{
    test::addColumns<QByteArray, bool>("content", "missing");

    const QByteArray good = SettingsFileContent(richModel());
    const QList<QByteArray> ls = lines(good);
    auto with = [&](int line, const QByteArray &text) {
        QList<QByteArray> copy = ls;
        copy[line] = text;
        return joinLines(copy);
    };
    auto tenSet = [&](int blocks) {
        QList<QByteArray> copy = ls.mid(0, 2 + blocks * kStageBlockLines);
        copy[0] = "\"Korvane\"";
        return joinLines(copy);
    };

    QTest::newRow("missing file") << QByteArray() << true;
    QTest::newRow("empty file") << QByteArray() << false;
    QTest::newRow("header in other case") << with(0, "\"korvane-s\"") << false;
    QTest::newRow("header upper case") << with(0, "\"KORVANE-S\"") << false;
    QTest::newRow("other header") << with(0, "\"Korvane-X\"") << false;
    QTest::newRow("header only") << QByteArray("\"Korvane-S\"\r\n") << false;
    QTest::newRow("cut after the port") << joinLines(ls.mid(0, 2)) << false;
    QTest::newRow("cut inside set 7") << joinLines(ls.mid(0, blockLine(7, 2, 100))) << false;
    QTest::newRow("last field missing") << joinLines(ls.mid(0, kSettingsFileLines - 1)) << false;
    QTest::newRow("last field cut") << good.chopped(5) << false;
    QTest::newRow("old header, 19 blocks") << tenSet(19) << false;
    QTest::newRow("old header, last field missing") << tenSet(20).chopped(9) << false;
    QTest::newRow("text in a coefficient") << with(blockLine(2, 1, 40), "abc") << false;
    QTest::newRow("decimal comma") << with(blockLine(2, 1, 40), "0,5") << false;
    QTest::newRow("text in an integer") << with(blockLine(9, 2, 265), "12x") << false;
    QTest::newRow("empty integer line") << with(blockLine(9, 2, 258), "") << false;
    QTest::newRow("type beyond 16 bits") << with(blockLine(4, 1, 0), "32768") << false;
    QTest::newRow("frequency below 16 bits") << with(blockLine(4, 2, 266), "-32769") << false;
    QTest::newRow("port beyond 16 bits") << with(1, "40000") << false;
    QTest::newRow("gain beyond single") << with(blockLine(11, 2, 300), "1E+39") << false;
    QTest::newRow("boolean as word") << with(blockLine(3, 1, 404), "TRUE") << false;
    QTest::newRow("boolean as number") << with(blockLine(3, 1, 404), "-1") << false;
    QTest::newRow("unterminated quote") << with(blockLine(15, 2, 1), "\"/tmp/x.txt") << false;
}

void TestSettingsFile::badFileLeavesModel()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, missing);
    const QString file = path(QStringLiteral("bad.min"));
    if (!missing)
        writeAll(file, content);

    Model before = richModel();
    before.CurrentSet = 6;
    Model m = before;
    ScriptedDialog dialog;
    QVERIFY(!ReadSettingsFile(m, file, dialog));
    QVERIFY(m.FilterData == before.FilterData);
    QCOMPARE(m.ComPort, before.ComPort);
    QCOMPARE(m.CurrentSet, 6);
    QCOMPARE(dialog.events.size(), size_t(2));
    QCOMPARE(dialog.events[0], ScriptedDialog::Event::Beep);
    QCOMPARE(dialog.messages.size(), size_t(1));
    const auto &msg = dialog.messages[0];
    QCOMPARE(msg.title, QStringLiteral("Unable to read file"));
    QCOMPARE(msg.text, QStringLiteral("Error reading file ") + file + QStringLiteral("\r.  Invalid settings file."));
    QCOMPARE(msg.icon, MessageIcon::Exclamation);
    QCOMPARE(msg.buttons, MessageButtons::OkCancel);

    // At start-up the same file silently gives a clean model on COM 1.
    Model started = richModel();
    ScriptedDialog quiet;
    QVERIFY(!ReadSettingsFile(started, file, quiet, SettingsReadOptions{.startup = true}));
    QVERIFY(quiet.events.empty());
    Model reset = richModel();
    reset.ResetAllFilterSets();
    QVERIFY(started.FilterData == reset.FilterData);
    QCOMPARE(started.ComPort, 1);
}

void TestSettingsFile::fileNameThatCannotBeQuoted()
{
    Model m = resetModel();
    m.stage(1, 1).Type = ImportedCoef;
    m.stage(1, 1).CoefFileName = QStringLiteral("/tmp/a \"quoted\" name.txt");
    m.stage(1, 2).Type = ImportedCoef;
    m.stage(1, 2).CoefFileName = QStringLiteral("/tmp/plain.txt");
    m.stage(1, 1).Coef[0] = 0.25f;
    ScriptedDialog dialog;
    const QString file = path(QStringLiteral("q.min"));
    QVERIFY(WriteSettingsFile(m, file, dialog));
    QCOMPARE(lines(readAll(file)).size(), kSettingsFileLines);
    Model back = resetModel();
    QVERIFY(ReadSettingsFile(back, file, dialog));
    QVERIFY(back.stage(1, 1).CoefFileName.isEmpty());
    QCOMPARE(back.stage(1, 1).Coef[0], 0.25f);
    QCOMPARE(back.stage(1, 2).CoefFileName, QStringLiteral("/tmp/plain.txt"));
}

void TestSettingsFile::writeFailureMessages()
{
    // A folder that is a regular file cannot hold anything, not even for root.
    const QString notAFolder = path(QStringLiteral("plain-file"));
    writeAll(notAFolder, "x");
    const QString target = notAFolder + QStringLiteral("/out.min");

    ScriptedDialog dialog;
    Model m = resetModel();
    QVERIFY(!WriteSettingsFile(m, target, dialog));
    QCOMPARE(dialog.events.size(), size_t(2));
    QCOMPARE(dialog.events[0], ScriptedDialog::Event::Beep);
    QCOMPARE(dialog.messages.size(), size_t(1));
    QCOMPARE(dialog.messages[0].title, QStringLiteral("Unable to Store File."));
    const QString fixed = QStringLiteral("Error writing file ") + target
        + QStringLiteral("\r.  Disk may be full or write protected\r");
    QVERIFY2(dialog.messages[0].text.startsWith(fixed), qPrintable(dialog.messages[0].text));
    QVERIFY2(dialog.messages[0].text.size() > fixed.size(), "the system's reason follows"); // e.g. "Not a directory"
    QCOMPARE(dialog.messages[0].icon, MessageIcon::Exclamation);
    QCOMPARE(dialog.messages[0].buttons, MessageButtons::Ok);

    ScriptedDialog quiet;
    QVERIFY(!WriteSettingsFile(m, target, quiet, SettingsWriteOptions{.silent = true}));
    QVERIFY(quiet.events.empty());
}

// A write that breaks off half-way (here: a file size limit, which binds root as well as
// anyone, standing in for a full disk) must leave the previous settings as they were.
void TestSettingsFile::failedWriteKeepsPreviousFile()
{
    const QString file = path(QStringLiteral("default.min"));
    ScriptedDialog dialog;
    QVERIFY(WriteSettingsFile(richModel(), file, dialog));
    const QByteArray previous = readAll(file);
    QCOMPARE(lines(previous).size(), kSettingsFileLines);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    Model other = resetModel(7);
    const bool written = WriteSettingsFile(other, file, dialog);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!written);
    QCOMPARE(readAll(file), previous);
    QCOMPARE(dialog.titles(), QStringList{QStringLiteral("Unable to Store File.")});
    QCOMPARE(dialog.beeps, 1);
    // No half-written temporary file is left beside it.
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files), QStringList{QStringLiteral("default.min")});

    // Without the limit the same write replaces the file completely.
    QVERIFY(WriteSettingsFile(other, file, dialog));
    QCOMPARE(readAll(file), SettingsFileContent(other));
}

QTEST_APPLESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
