// A settings save that fails or is killed part-way never costs the user the file they had.
#include "config/settingsfile.h"
#include "faultyfs.h"
#include "scripteddialog.h"

#include <QDir>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

// Two models whose files differ in every block, so a mix of the two is never mistaken for
// either.
Model modelNumber(int n)
{
    Model m;
    m.ResetAllFilterSets();
    m.ComPort = static_cast<int16_t>(2 + n);
    for (int set = 0; set < kFilterSetCount; ++set)
        for (int stage = 1; stage <= 2; ++stage) {
            StageConfig &s = m.stage(set, stage);
            s.Type = static_cast<int16_t>(FilterType::ImportedCoef);
            s.CoefFileName = QStringLiteral("/coef/%1-%2-%3.txt").arg(n).arg(set).arg(stage);
            for (int i = 0; i < kCoefCount; ++i)
                s.Coef[i] = static_cast<float>((i + set + n * 7) % 19) / 19.0f - 0.5f;
        }
    return m;
}

} // namespace

class TestNothingLost : public QObject {
    Q_OBJECT
private slots:
    void failedSaveKeepsPreviousFile_data();
    void failedSaveKeepsPreviousFile();
    void killedSaveLeavesOneCompleteFile();
};

void TestNothingLost::failedSaveKeepsPreviousFile_data()
{
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("silent"); // the save at exit shows nothing
    for (bool silent : {false, true}) {
        const char *who = silent ? "at exit" : "Save As";
        QTest::addRow("%s, space runs out part-way", who) << "part-way" << silent;
        QTest::addRow("%s, no space at all", who) << "full" << silent;
        QTest::addRow("%s, read-only folder", who) << "read-only" << silent;
    }
    QTest::addRow("path under a regular file") << "under-a-file" << false;
}

void TestNothingLost::failedSaveKeepsPreviousFile()
{
    QFETCH(QString, where);
    QFETCH(bool, silent);
    const QByteArray previous = SettingsFileContent(modelNumber(0));
    Model next = modelNumber(1);
    next.SilentSave = silent;

    std::unique_ptr<SmallFilesystem> small;
    std::unique_ptr<ReadOnlyFolder> readOnly;
    QTemporaryDir plain;
    QString folder, path;
    if (where == QLatin1String("read-only")) {
        readOnly = std::make_unique<ReadOnlyFolder>(QStringLiteral("default.min"), previous);
        if (!readOnly->valid())
            QSKIP("cannot make a read-only folder here");
        folder = readOnly->path();
        path = readOnly->filePath();
    } else if (where == QLatin1String("under-a-file")) {
        QVERIFY(WriteFileDirectly(plain.filePath(QStringLiteral("notafolder")), "x"));
        folder = plain.path();
        path = plain.filePath(QStringLiteral("notafolder/default.min"));
    } else {
        // Room for the previous file but not for a second copy beside it.
        small = std::make_unique<SmallFilesystem>(static_cast<int>(previous.size() * 3 / 2 / 1024));
        QVERIFY(small->valid());
        folder = small->path();
        path = folder + QStringLiteral("/default.min");
        QVERIFY(WriteFileDirectly(path, previous));
        if (where == QLatin1String("full"))
            small->fill();
        else
            small->armLimit(SettingsFileContent(next).size() / 2);
    }

    ScriptedDialog dialog;
    QVERIFY(!WriteSettingsFile(next, path, dialog));
    if (small)
        small->liftLimit(); // before the checks read and write files

    if (where == QLatin1String("under-a-file")) {
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(ReadWholeFile(plain.filePath(QStringLiteral("notafolder"))), QByteArray("x"));
    } else if (where != QLatin1String("read-only") || readOnly) {
        QCOMPARE(ReadWholeFile(path), previous);
    }
    if (silent) {
        QCOMPARE(dialog.messages.size(), size_t(0));
        QCOMPARE(dialog.beeps, 0);
    } else {
        QCOMPARE(dialog.titles(), QStringList{QStringLiteral("Unable to Store File.")});
        QCOMPARE(dialog.beeps, 1);
    }
    // Nothing half-written is left beside the file for a later read to trip over.
    if (where != QLatin1String("under-a-file"))
        QCOMPARE(OtherEntries(folder, QStringLiteral("default.min")).filter(QStringLiteral("default.min")), QStringList());
}

// The program writes default.min only at exit, so a crash at any other moment leaves the file
// of the last exit. A crash during that write must leave either the previous file or the new
// one, whole: kill a process that saves two models alternately at many different moments.
void TestNothingLost::killedSaveLeavesOneCompleteFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("default.min"));
    const Model models[2] = {modelNumber(0), modelNumber(1)};
    const QByteArray contents[2] = {SettingsFileContent(models[0]), SettingsFileContent(models[1])};
    QVERIFY(WriteFileDirectly(path, contents[0]));

    auto save = [&](int i) {
        Model m = models[i % 2];
        m.SilentSave = true;
        ScriptedDialog quiet;
        (void)WriteSettingsFile(m, path, quiet);
    };
    int seen[2] = {0, 0};
    for (int round = 0; round < 40; ++round) {
        // 0.2 ms .. 20 ms: before the first save finishes, and at varied points of later ones.
        QVERIFY(KillWhileWriting(save, 200 + (round * 7919) % 20000));
        const QByteArray now = ReadWholeFile(path);
        QVERIFY2(now == contents[0] || now == contents[1],
                 qPrintable(QStringLiteral("round %1: %2 bytes, neither save").arg(round).arg(now.size())));
        ++seen[now == contents[1] ? 1 : 0];

        // The next start reads it as the last complete save.
        Model started;
        started.LoadingAtStartup = true;
        ScriptedDialog dialog;
        QVERIFY(ReadSettingsFile(started, path, dialog));
        QCOMPARE(started.ComPort, models[now == contents[1] ? 1 : 0].ComPort);
    }
    // The kills did land while saves were in progress, not only before the first one.
    QVERIFY(seen[1] > 0);

    // Whatever a killed save left behind does not stop the next save.
    ScriptedDialog dialog;
    QVERIFY(WriteSettingsFile(models[1], path, dialog));
    QCOMPARE(ReadWholeFile(path), contents[1]);
    QCOMPARE(dialog.messages.size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestNothingLost)
#include "test_nothinglost.moc"
