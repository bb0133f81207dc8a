// What every command of korvane-s-cli shares: usage errors, generated help, --json output.

#include "clirun.h"
#include "datatable.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using korvane::test::programDir;
using korvane::test::Run;
using korvane::test::runCli;

namespace {

QStringList words(const QString &text) { return text.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// Each command and the options its help must list.
const QList<QPair<QString, QString>> kCommandOptions = {
    {"show", "--json"},
    {"convert", "--port --keep-port"},
    {"new", "--port"},
    {"import-coef", "--port --keep-port"},
    {"build-image", "-o --lib-dir"},
    {"inspect", "--json"},
    {"ports", "--json"},
    {"probe", "--port --device --json"},
    {"program", "--port --device --all --firmware --folder --yes --json"},
    {"verify", "--port --device --json"},
    {"log", "--json"},
    {"response", "--set --csv --svg --png --size --points --lib-dir"},
    {"render", "--set --stage --lib-dir"},
    {"analyze", "--from --to --json"},
    {"design", "--set --audio --noise --notch -o --json"},
};

// Each line a JSON object.
QList<QJsonObject> jsonLines(const QString &out)
{
    QList<QJsonObject> objects;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line.toUtf8(), &error);
        objects << (error.error == QJsonParseError::NoError ? doc.object() : QJsonObject());
    }
    return objects;
}

} // namespace

class TestCliUsage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        QVERIFY(QDir::setCurrent(dir_.path()));
        QCOMPARE(runCli({"new", "a.min"}).exitCode, 0);
        QCOMPARE(runCli({"build-image", dir_.filePath("a.min"), "-o", dir_.filePath("a.bin")}, programDir()).exitCode,
                 0);
    }

    void usageErrors_data()
    {
        korvane::test::addColumns<QString, QString>("args", "problem");
        QTest::newRow("unknown command") << "bogus"
                                         << "unknown command 'bogus'";
        for (const auto &[command, options] : kCommandOptions)
            QTest::addRow("%s unknown option", qPrintable(command)) << command + " --bogus"
                                                                    << "unknown option --bogus";
        QTest::newRow("missing argument") << "convert a.min"
                                          << "missing OUT";
        QTest::newRow("missing required option") << "build-image a.min"
                                                 << "missing -o OUT.bin";
        QTest::newRow("missing value") << "probe --device"
                                       << "missing value after '--device'";
        QTest::newRow("extra argument") << "show a.min b.min"
                                        << "unexpected argument 'b.min'";
        QTest::newRow("port 10") << "probe --port 10"
                                 << "--port takes a number 1..9, not '10'";
        QTest::newRow("port not a number") << "new x.min --port two"
                                           << "--port takes a number 1..9, not 'two'";
        QTest::newRow("SET 16") << "import-coef a.min 16 1 c.txt x.min"
                                << "SET takes a number 0..15, not '16'";
        QTest::newRow("STAGE 0") << "import-coef a.min 0 0 c.txt x.min"
                                 << "STAGE takes a number 1..2, not '0'";
        QTest::newRow("set -1") << "render a.min in.wav x.wav --set -1"
                                << "--set takes a number 0..15, not '-1'";
        QTest::newRow("points 1") << "response a.min --set 0 --csv - --points 1"
                                  << "--points takes a number 2..16385, not '1'";
        QTest::newRow("given twice") << "probe --device a --device b"
                                     << "--device given more than once";
        QTest::newRow("exclusive") << "probe --port 2 --device /dev/null"
                                   << "--port and --device exclude each other";
    }
    void usageErrors()
    {
        QFETCH(QString, args);
        QFETCH(QString, problem);
        const Run r = runCli(words(args));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith("korvane-s-cli: " + problem + "\n"), qPrintable(r.err));
        const QString command = problem.startsWith("unknown command") ? "COMMAND" : words(args).first();
        QVERIFY(r.err.contains("\nusage: korvane-s-cli " + command + " "));
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists("x.min"));
    }

    void helpListsEachOption_data()
    {
        korvane::test::addColumns<QString, QString>("command", "options");
        for (const auto &[command, options] : kCommandOptions)
            QTest::newRow(qPrintable(command)) << command << options;
    }
    void helpListsEachOption()
    {
        QFETCH(QString, command);
        QFETCH(QString, options);
        const Run r = runCli({command, "--help"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.out.startsWith("usage: korvane-s-cli " + command), qPrintable(r.out));
        for (const QString &o : words(options + " --help"))
            QVERIFY2(r.out.contains(QRegularExpression("\n  (-h, )?" + o + "[ \n]")), qPrintable(o));
        const Run list = runCli({"--help"});
        QVERIFY(list.out.contains("\n  " + command + " "));
    }

    void jsonOutput()
    {
        const QList<QJsonObject> show = jsonLines(runCli({"show", "a.min", "--json"}).out);
        QCOMPARE(show.size(), 1);
        QCOMPARE(show[0]["file"].toString(), "a.min");
        QCOMPARE(show[0]["portInFile"].toInt(), 1);
        QCOMPARE(show[0]["sets"].toArray().size(), 16);
        const QJsonObject stage2 = show[0]["sets"][15]["stages"][1].toObject();
        QCOMPARE(stage2["stage"].toInt(), 2);
        QCOMPARE(stage2["type"].toString(), "Pass Thru Filter");

        const QList<QJsonObject> image = jsonLines(runCli({"inspect", "a.bin", "--json"}).out);
        QCOMPARE(image.size(), 1);
        QCOMPARE(image[0]["size"].toInt(), 28672);
        QCOMPARE(image[0]["wellFormed"].toBool(), true);
        QCOMPARE(image[0]["blocks"].toArray().size(), 16);
        QCOMPARE(image[0]["blocks"][3]["stages"][0]["kind"].toString(), "pass-through");

        QTemporaryDir comDir;
        QVERIFY(QFile::link("/dev/null", comDir.filePath("com3")));
        qputenv("KORVANE_COM_DIR", comDir.path().toLocal8Bit());
        const QList<QJsonObject> ports = jsonLines(runCli({"ports", "--json"}).out);
        qunsetenv("KORVANE_COM_DIR");
        QCOMPARE(ports.size(), 9);
        QCOMPARE(ports[2]["com"].toInt(), 3);
        QCOMPARE(ports[2]["target"].toString(), "/dev/null");
        QVERIFY(ports[8]["device"].isNull());
    }

    // A result that could not be written out (a full disk) is a failure, not a success.
    void unwritableOutputFails()
    {
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(QDir(programDir()).filePath("korvane-s-cli"), {"show", "a.min"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardError().contains("cannot write standard output"));
    }

private:
    QTemporaryDir dir_;
};

QTEST_GUILESS_MAIN(TestCliUsage)
#include "test_cli_usage.moc"
