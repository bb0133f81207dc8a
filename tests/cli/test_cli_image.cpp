// build-image and inspect through the built korvane-s-cli.

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

class TestCliImage : public CliTest {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        Model m = newModelWith(
            {{0, 1, Lowpass}, {0, 2, Comb}, {1, 1, GraphicEq20}, {1, 2, SpectralEq}, {2, 1, Adaptive1CH}});
        m.ComPort = 1;
        ScriptedDialog dialog;
        QVERIFY(WriteSettingsFile(m, path(QStringLiteral("mixed.min")), dialog));
    }

    void buildThenInspect()
    {
        const Run built = runCli({QStringLiteral("build-image"), path(QStringLiteral("mixed.min")),
                                  QStringLiteral("-o"), path(QStringLiteral("out.bin"))},
                                 programDir());
        QCOMPARE(built.exitCode, 0);
        QVERIFY2(built.err.isEmpty(), qPrintable(built.err));
        const QByteArray image = readAll(path(QStringLiteral("out.bin")));
        QCOMPARE(image.size(), 28672);
        QCOMPARE(image.left(6), QByteArray("ZARVEL"));

        const Run shown = runCli({QStringLiteral("inspect"), path(QStringLiteral("out.bin"))}, dir_.path());
        QCOMPARE(shown.exitCode, 0);
        QVERIFY(shown.out.contains(QStringLiteral("block 15:")));
        QVERIFY(shown.out.contains(
            QStringLiteral("adaptive, 128 taps, prediction span 3, rate 10, residue output, auto adaptation")));
        QVERIFY(shown.out.contains(QStringLiteral("comb delay 286, feedback -15350")));
        QVERIFY(shown.out.contains(QStringLiteral("image well formed")));

        QByteArray damaged = image;
        damaged[1792 * 4 + 100] = char(damaged[1792 * 4 + 100] ^ 1);
        QVERIFY(writeFile(path(QStringLiteral("damaged.bin")), damaged));
        const Run bad = runCli({QStringLiteral("inspect"), path(QStringLiteral("damaged.bin"))}, dir_.path());
        QCOMPARE(bad.exitCode, 1);
        QVERIFY(bad.out.contains(QStringLiteral("block 4: MALFORMED")));
        QVERIFY(bad.out.contains(QStringLiteral("WRONG (expected")));
    }

    // Without 20Band in the current folder the program's own is used; without one there
    // either the stage becomes pass-through (after the message) and the image is still built;
    // without korvanes the spectral stage fails the build and nothing is written.
    void missingPieces()
    {
        const QStringList build{QStringLiteral("build-image"), path(QStringLiteral("mixed.min")), QStringLiteral("-o")};
        const Run here = runCli(build + QStringList{path(QStringLiteral("here.bin"))}, programDir());
        const Run elsewhere = runCli(build + QStringList{path(QStringLiteral("elsewhere.bin"))}, dir_.path());
        QCOMPARE(here.exitCode, 0);
        QCOMPARE(elsewhere.exitCode, 0);
        QVERIFY2(!elsewhere.err.contains(QStringLiteral("File Error")), qPrintable(elsewhere.err));
        QCOMPARE(readAll(path(QStringLiteral("elsewhere.bin"))), readAll(path(QStringLiteral("here.bin"))));

        // A copy of the tool in a folder of its own has no 20Band anywhere it looks.
        QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("lone")));
        const QString lone = path(QStringLiteral("lone/korvane-s-cli"));
        QVERIFY(QFile::copy(QDir(programDir()).filePath(QStringLiteral("korvane-s-cli")), lone));
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.start(lone,
                build + QStringList{path(QStringLiteral("nobands.bin")), QStringLiteral("--lib-dir"), programDir()});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("File Error: Error reading 20-Band Equalizer coefficient file.")),
                 qPrintable(err));
        QVERIFY2(err.contains(path(QStringLiteral("20Band"))), qPrintable(err)); // names where it looked first
        QCOMPARE(readAll(path(QStringLiteral("nobands.bin"))).size(), 28672);
        QVERIFY(readAll(path(QStringLiteral("nobands.bin"))) != readAll(path(QStringLiteral("here.bin"))));

        const Run noLib = runCli({QStringLiteral("build-image"), path(QStringLiteral("mixed.min")),
                                  QStringLiteral("-o"), path(QStringLiteral("nolib.bin")), QStringLiteral("--lib-dir"),
                                  dir_.path()},
                                 programDir());
        QCOMPARE(noLib.exitCode, 1);
        QVERIFY(noLib.err.contains(QStringLiteral("Temporary File Error")));
        QVERIFY(!QFile::exists(path(QStringLiteral("nolib.bin"))));
    }

    void usage_data()
    {
        test::addColumns<QStringList, int>("args", "exitCode");
        QTest::newRow("build help") << QStringList{QStringLiteral("build-image"), QStringLiteral("--help")} << 0;
        QTest::newRow("inspect help") << QStringList{QStringLiteral("inspect"), QStringLiteral("--help")} << 0;
        QTest::newRow("no output") << QStringList{QStringLiteral("build-image"), QStringLiteral("x.min")} << 2;
        QTest::newRow("dangling -o") << QStringList{QStringLiteral("build-image"), QStringLiteral("x.min"),
                                                    QStringLiteral("-o")}
                                     << 2;
        QTest::newRow("no image") << QStringList{QStringLiteral("inspect")} << 2;
        QTest::newRow("missing settings") << QStringList{QStringLiteral("build-image"), QStringLiteral("missing.min"),
                                                         QStringLiteral("-o"), QStringLiteral("o.bin")}
                                          << 1;
        QTest::newRow("missing image") << QStringList{QStringLiteral("inspect"), QStringLiteral("missing.bin")} << 1;
    }
    void usage()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QCOMPARE(runCli(args, dir_.path()).exitCode, exitCode);
    }
};

QTEST_GUILESS_MAIN(TestCliImage)
#include "test_cli_image.moc"
