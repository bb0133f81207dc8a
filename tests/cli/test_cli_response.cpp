// response through the built korvane-s-cli: the CSV layout, the charts, and exit codes.

#include "clirun.h"
#include "config/settingsfile.h"
#include "datatable.h"
#include "modeltesting.h"
#include "scripteddialog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

// Big-endian 32-bit value at offset.
quint32 be32(const QByteArray &b, int offset)
{
    return (quint32(uchar(b[offset])) << 24) | (quint32(uchar(b[offset + 1])) << 16)
        | (quint32(uchar(b[offset + 2])) << 8) | quint32(uchar(b[offset + 3]));
}

} // namespace

class TestCliResponse : public CliTest {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        const Model m = newModelWith({{0, 1, Lowpass}, {0, 2, Adaptive1CH}, {1, 1, GraphicEq20}, {2, 1, SpectralEq}});
        ScriptedDialog dialog;
        QVERIFY(WriteSettingsFile(m, path(QStringLiteral("sets.min")), dialog));
    }

    // Set 0 after reading is sampled at 17200 Hz: 513 rows from 0 to 8600 Hz; the adaptive
    // Stage 2 has an empty column and the cascade is the lowpass.
    void csvLayout()
    {
        const Run r = runCli({QStringLiteral("response"), path(QStringLiteral("sets.min")), QStringLiteral("--set"),
                              QStringLiteral("0"), QStringLiteral("--csv"), QStringLiteral("-")},
                             programDir());
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 514);
        QCOMPARE(lines[0], QStringLiteral("frequency_hz,stage1_db,stage2_db,cascade_db"));
        for (int i = 1; i < lines.size(); ++i) {
            const QStringList f = lines[i].split(QLatin1Char(','));
            QCOMPARE(f.size(), 4);
            QVERIFY(f[2].isEmpty());
            QCOMPARE(f[3], f[1]);
        }
        QCOMPARE(lines[1].split(',')[0], QStringLiteral("0"));
        QCOMPARE(lines.last().split(',')[0], QStringLiteral("8600"));
        QVERIFY(std::abs(lines[1].split(',')[1].toDouble()) < 0.1); // the lowpass passes 0 Hz
        QVERIFY(lines.last().split(',')[1].toDouble() < -25);

        const Run fine = runCli({QStringLiteral("response"), path(QStringLiteral("sets.min")), QStringLiteral("--set"),
                                 QStringLiteral("0"), QStringLiteral("--points"), QStringLiteral("1025"),
                                 QStringLiteral("--csv"), path(QStringLiteral("fine.csv"))},
                                programDir());
        QCOMPARE(fine.exitCode, 0);
        QCOMPARE(readAll(path(QStringLiteral("fine.csv"))).count('\n'), 1026);
    }

    void charts()
    {
        const Run r = runCli({QStringLiteral("response"), path(QStringLiteral("sets.min")), QStringLiteral("--set"),
                              QStringLiteral("0"), QStringLiteral("--svg"), path(QStringLiteral("r.svg")),
                              QStringLiteral("--png"), path(QStringLiteral("r.png")), QStringLiteral("--size"),
                              QStringLiteral("640x400")},
                             programDir());
        QCOMPARE(r.exitCode, 0);
        const QByteArray svg = readAll(path(QStringLiteral("r.svg")));
        QVERIFY(svg.startsWith("<?xml"));
        QVERIFY(svg.contains("width=\"640\" height=\"400\""));
        QVERIFY(svg.contains("Stage 2: no fixed response"));
        const QByteArray png = readAll(path(QStringLiteral("r.png")));
        QVERIFY(png.startsWith("\x89PNG\r\n\x1a\n"));
        QCOMPARE(be32(png, 16), 640u); // IHDR width and height
        QCOMPARE(be32(png, 20), 400u);
    }

    // A 20-band stage without its data file (none in the working folder, none beside the
    // program) is pass-through, and the message that the image builder would show is printed;
    // without korvanes the spectral stage cannot be built: the other columns are still
    // written, but the run fails.
    void missingPieces()
    {
        const QStringList set1{QStringLiteral("response"), path(QStringLiteral("sets.min")), QStringLiteral("--set"),
                               QStringLiteral("1"),        QStringLiteral("--csv"),          QStringLiteral("-")};
        const Run ownBands = runCli(set1, dir_.path()); // the program folder's 20Band
        QCOMPARE(ownBands.exitCode, 0);
        QVERIFY2(!ownBands.err.contains(QStringLiteral("File Error")), qPrintable(ownBands.err));

        QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("lone")));
        const QString lone = path(QStringLiteral("lone/korvane-s-cli"));
        QVERIFY(QFile::copy(QDir(programDir()).filePath(QStringLiteral("korvane-s-cli")), lone));
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.start(lone, set1);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QVERIFY2(err.contains(QStringLiteral("File Error: Error reading 20-Band Equalizer coefficient file.")),
                 qPrintable(err));
        QVERIFY(out.split('\n').value(101) == QStringLiteral("1679.6875,0.0000,0.0000,0.0000"));

        const Run noLib = runCli({QStringLiteral("response"), path(QStringLiteral("sets.min")), QStringLiteral("--set"),
                                  QStringLiteral("2"), QStringLiteral("--csv"), path(QStringLiteral("nolib.csv")),
                                  QStringLiteral("--lib-dir"), dir_.path()},
                                 programDir());
        QCOMPARE(noLib.exitCode, 1);
        QVERIFY(noLib.err.contains(QStringLiteral("Stage 1: korvanes")));
        const QList<QByteArray> rows = readAll(path(QStringLiteral("nolib.csv"))).split('\n');
        QCOMPARE(rows.value(1), QByteArray("0,,0.0000,"));
    }

    void usage_data()
    {
        const QString file = path(QStringLiteral("sets.min"));
        test::addColumns<QStringList, int>("args", "exitCode");
        QTest::newRow("help") << QStringList{QStringLiteral("response"), QStringLiteral("--help")} << 0;
        QTest::newRow("no set") << QStringList{QStringLiteral("response"), file, QStringLiteral("--csv"),
                                               QStringLiteral("-")}
                                << 2;
        QTest::newRow("set 16") << QStringList{
            QStringLiteral("response"), file, QStringLiteral("--set"), QStringLiteral("16"), QStringLiteral("--csv"),
            QStringLiteral("-")} << 2;
        QTest::newRow("set not a number") << QStringList{
            QStringLiteral("response"), file, QStringLiteral("--set"), QStringLiteral("one"), QStringLiteral("--csv"),
            QStringLiteral("-")} << 2;
        QTest::newRow("no output") << QStringList{QStringLiteral("response"), file, QStringLiteral("--set"),
                                                  QStringLiteral("0")}
                                   << 2;
        QTest::newRow("dangling --csv") << QStringList{QStringLiteral("response"), file, QStringLiteral("--set"),
                                                       QStringLiteral("0"), QStringLiteral("--csv")}
                                        << 2;
        QTest::newRow("bad size") << QStringList{QStringLiteral("response"), file,
                                                 QStringLiteral("--set"),    QStringLiteral("0"),
                                                 QStringLiteral("--png"),    QStringLiteral("x.png"),
                                                 QStringLiteral("--size"),   QStringLiteral("big")}
                                  << 2;
        QTest::newRow("missing settings")
            << QStringList{QStringLiteral("response"), path(QStringLiteral("missing.min")),
                           QStringLiteral("--set"),    QStringLiteral("0"),
                           QStringLiteral("--csv"),    QStringLiteral("-")}
            << 1;
        QTest::newRow("unwritable output")
            << QStringList{QStringLiteral("response"), file,
                           QStringLiteral("--set"),    QStringLiteral("0"),
                           QStringLiteral("--csv"),    path(QStringLiteral("no/such/folder/out.csv"))}
            << 1;
        // A later output written does not hide an earlier one that failed.
        QTest::newRow("unwritable CSV, written SVG")
            << QStringList{QStringLiteral("response"), file,
                           QStringLiteral("--set"),    QStringLiteral("0"),
                           QStringLiteral("--csv"),    path(QStringLiteral("no/such/folder/out.csv")),
                           QStringLiteral("--svg"),    path(QStringLiteral("written.svg"))}
            << 1;
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QCOMPARE(runCli(args, dir_.path()).exitCode, exitCode);
    }
};

QTEST_GUILESS_MAIN(TestCliResponse)
#include "test_cli_response.moc"
