// A settings save or a filter.bin write that fails or is killed part-way never costs the
// file that was there before.
#include "coefgen/coefimage.h"
#include "config/settingsfile.h"
#include "datatable.h"
#include "faultyfs.h"
#include "scripteddialog.h"

#include <QDir>

#include <QTest>
#include <functional>

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

// The two files the program writes: the settings file (default.min at exit, Save As) and
// the coefficient image filter.bin before every upload.
struct Written {
    QString fileName;
    QByteArray previous, next; // contents of the file before and of the new one
    std::function<bool(const QString &, bool silent, UserDialog &)> write; // writes "next"
    QStringList failureTitles; // what a failed write shows (when not silent)
};

Written written(const QString &what)
{
    Written w;
    const Model first = modelNumber(0), second = modelNumber(1);
    if (what == QLatin1String("settings")) {
        w.fileName = QStringLiteral("default.min");
        w.previous = SettingsFileContent(first);
        w.next = SettingsFileContent(second);
        w.write = [second](const QString &path, bool silent, UserDialog &d) {
            return WriteSettingsFile(second, path, d, SettingsWriteOptions{.silent = silent});
        };
        w.failureTitles = QStringList{QStringLiteral("Unable to Store File.")};
    } else {
        ScriptedDialog quiet;
        w.fileName = QStringLiteral("filter.bin");
        w.previous = BuildFilterImageBytes(first, quiet).value_or(QByteArray());
        w.next = BuildFilterImageBytes(second, quiet).value_or(QByteArray());
        // The programming sequence reports the failure ("Temporary File Error"); the writer
        // itself shows nothing.
        w.write = [second](const QString &path, bool, UserDialog &d) { return BuildFilterImage(second, path, d); };
    }
    return w;
}

} // namespace

class TestNothingLost : public QObject {
    Q_OBJECT
private slots:
    void failedSaveKeepsPreviousFile_data();
    void failedSaveKeepsPreviousFile();
    void killedSaveLeavesOneCompleteFile_data();
    void killedSaveLeavesOneCompleteFile();
};

void TestNothingLost::failedSaveKeepsPreviousFile_data()
{
    // silent: the save at exit shows nothing
    test::addColumns<QString, QString, bool>("what", "where", "silent");
    for (const char *what : {"settings", "image"}) {
        for (bool silent : {false, true}) {
            if (silent && what == QLatin1String("image"))
                continue;
            const char *who = silent ? " at exit" : "";
            QTest::addRow("%s%s, space runs out part-way", what, who) << what << "part-way" << silent;
            QTest::addRow("%s%s, no space at all", what, who) << what << "full" << silent;
            QTest::addRow("%s%s, read-only folder", what, who) << what << "read-only" << silent;
        }
        QTest::addRow("%s, path under a regular file", what) << what << "under-a-file" << false;
    }
}

void TestNothingLost::failedSaveKeepsPreviousFile()
{
    QFETCH(QString, what);
    QFETCH(QString, where);
    QFETCH(bool, silent);
    const Written w = written(what);
    const QByteArray &previous = w.previous;
    QVERIFY(!previous.isEmpty() && !w.next.isEmpty() && previous != w.next);

    std::unique_ptr<SmallFilesystem> small;
    std::unique_ptr<ReadOnlyFolder> readOnly;
    QTemporaryDir plain;
    QString folder, path;
    if (where == QLatin1String("read-only")) {
        readOnly = std::make_unique<ReadOnlyFolder>(w.fileName, previous);
        if (!readOnly->valid())
            QSKIP("cannot make a read-only folder here");
        folder = readOnly->path();
        path = readOnly->filePath();
    } else if (where == QLatin1String("under-a-file")) {
        QVERIFY(WriteFileDirectly(plain.filePath(QStringLiteral("notafolder")), "x"));
        folder = plain.path();
        path = plain.filePath(QStringLiteral("notafolder/") + w.fileName);
    } else {
        // Room for the previous file but not for a second copy beside it.
        small = std::make_unique<SmallFilesystem>(static_cast<int>(previous.size() * 3 / 2 / 1024));
        QVERIFY(small->valid());
        folder = small->path();
        path = folder + QLatin1Char('/') + w.fileName;
        QVERIFY(WriteFileDirectly(path, previous));
        if (where == QLatin1String("full"))
            small->fill();
        else
            small->armLimit(w.next.size() / 2);
    }

    ScriptedDialog dialog;
    QVERIFY(!w.write(path, silent, dialog));
    if (small)
        small->liftLimit(); // before the checks read and write files

    if (where == QLatin1String("under-a-file")) {
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(ReadWholeFile(plain.filePath(QStringLiteral("notafolder"))), QByteArray("x"));
    } else if (where != QLatin1String("read-only") || readOnly) {
        QCOMPARE(ReadWholeFile(path), previous);
    }
    const QStringList titles = silent ? QStringList() : w.failureTitles;
    QCOMPARE(dialog.titles(), titles);
    QCOMPARE(dialog.beeps, int(titles.size()));
    // Nothing half-written is left beside the file for a later read to trip over.
    if (where != QLatin1String("under-a-file"))
        QCOMPARE(OtherEntries(folder, w.fileName).filter(w.fileName), QStringList());
}

void TestNothingLost::killedSaveLeavesOneCompleteFile_data()
{
    QTest::addColumn<QString>("what");
    QTest::newRow("settings") << "settings";
    QTest::newRow("image") << "image";
}

// The program writes default.min only at exit, so a crash at any other moment leaves the file
// of the last exit. A crash during that write (or during the write of filter.bin) must leave
// either the previous file or the new one, whole: a traced child makes the write once and is
// killed at each of its system calls in turn, before and after the call (opening the
// temporary file, writing, syncing, renaming, closing).
void TestNothingLost::killedSaveLeavesOneCompleteFile()
{
    QFETCH(QString, what);
    const Written w = written(what);
    QTemporaryDir dir;
    const QString path = dir.filePath(w.fileName);
    const auto save = [&] {
        ScriptedDialog quiet;
        (void)w.write(path, true, quiet);
    };

    QVERIFY(WriteFileDirectly(path, w.previous));
    const TracedWrite whole = KillAtSystemCall(save, -1);
    if (whole.outcome == TracedWrite::Failed)
        QSKIP("this machine does not let a process trace its child (ptrace)");
    QCOMPARE(whole.outcome, TracedWrite::Finished);
    QCOMPARE(ReadWholeFile(path), w.next);

    // Every stop while there are few; evenly spread ones, the last included, when there are many.
    const int rounds = std::min(whole.stops, 160);
    int seen[2] = {0, 0};
    int leftTemporary = 0;
    for (int round = 0; round < rounds; ++round) {
        const int stop = round == rounds - 1 ? whole.stops - 1 : round * whole.stops / rounds;
        QVERIFY(WriteFileDirectly(path, w.previous));
        const TracedWrite killed = KillAtSystemCall(save, stop);
        QVERIFY2(killed.outcome != TracedWrite::Failed, qPrintable(QStringLiteral("stop %1").arg(stop)));
        const QByteArray now = ReadWholeFile(path);
        QVERIFY2(now == w.previous || now == w.next,
                 qPrintable(QStringLiteral("killed at stop %1 of %2: %3 bytes, neither version")
                                .arg(stop)
                                .arg(whole.stops)
                                .arg(now.size())));
        const int which = now == w.next ? 1 : 0;
        ++seen[which];
        if (what == QLatin1String("settings")) {
            // The next start reads it as the last complete save.
            Model started;
            ScriptedDialog dialog;
            QVERIFY(ReadSettingsFile(started, path, dialog, SettingsReadOptions{.startup = true}));
            QCOMPARE(started.ComPort, modelNumber(which).ComPort);
        }
        // A killed write leaves its unfinished temporary file beside the target (never under
        // the target's name); it costs space, not data.
        for (const QString &other : OtherEntries(dir.path(), w.fileName)) {
            ++leftTemporary;
            QVERIFY(QFile::remove(dir.filePath(other)));
        }
    }
    // Kills landed before the new file was in place, while its temporary was open, and after.
    QVERIFY(seen[0] > 0);
    QVERIFY(seen[1] > 0);
    QVERIFY(leftTemporary > 0);
    qInfo("%d kills over %d system-call stops: %d left the previous file, %d the new one", rounds, whole.stops, seen[0],
          seen[1]);

    // Whatever a killed write left behind does not stop the next one.
    QVERIFY(WriteFileDirectly(path, w.previous));
    QVERIFY(KillAtSystemCall(save, whole.stops / 2).outcome == TracedWrite::Killed);
    ScriptedDialog dialog;
    QVERIFY(w.write(path, true, dialog));
    QCOMPARE(ReadWholeFile(path), w.next);
    QCOMPARE(dialog.messages.size(), size_t(0));
}

QTEST_GUILESS_MAIN(TestNothingLost)
#include "test_nothinglost.moc"
