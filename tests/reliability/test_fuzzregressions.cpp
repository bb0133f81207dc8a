// Inputs the fuzz targets' checks turned up, kept with the property they broke.
#include "config/settingsfile.h"
#include "datatable.h"
#include "scripteddialog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using korvane::test::ScriptedDialog;

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void settingsFileReadsBackAfterSave_data();
    void settingsFileReadsBackAfterSave();
    void longCoefFileName_data();
    void longCoefFileName();
};

namespace {

QString inputPath(const char *name)
{
    return QDir(qEnvironmentVariable("KORVANE_SOURCE_DIR"))
        .filePath(QStringLiteral("tests/reliability/inputs/") + QLatin1String(name));
}

} // namespace

// Every settings file the reader accepts must be saved into one it accepts again: the save at
// exit would otherwise turn the user's default.min into a file the next start rejects.
void TestFuzzRegressions::settingsFileReadsBackAfterSave_data()
{
    QTest::addColumn<QString>("input");
    // A 40000-byte 8-bit file name (read as Latin-1) became 80000 UTF-8 bytes, beyond the
    // reader's field limit.
    QTest::newRow("long 8-bit file name") << inputPath("settings-long-latin1-name.min");
}

void TestFuzzRegressions::settingsFileReadsBackAfterSave()
{
    QFETCH(QString, input);
    ScriptedDialog dialog;
    Model model;
    model.ResetAllFilterSets();
    QVERIFY(ReadSettingsFile(model, input, dialog));

    QTemporaryDir dir;
    const QString saved = dir.filePath(QStringLiteral("default.min"));
    QVERIFY(WriteSettingsFile(model, saved, dialog));
    Model again;
    QVERIFY(ReadSettingsFile(again, saved, dialog, SettingsReadOptions{.startup = true}));
    QCOMPARE(dialog.messages.size(), size_t(0));
}

void TestFuzzRegressions::longCoefFileName_data()
{
    test::addColumns<QString, bool>("name", "kept");
    QTest::newRow("65535 bytes") << QString(65535, QLatin1Char('a')) << true;
    QTest::newRow("65536 bytes") << QString(65536, QLatin1Char('a')) << false;
    QTest::newRow("40000 accented letters") << QString(40000, QChar(0xE9)) << false;
}

// The longest name the reader takes is stored; a longer one is stored empty and the file
// stays readable.
void TestFuzzRegressions::longCoefFileName()
{
    QFETCH(QString, name);
    QFETCH(bool, kept);
    Model model;
    model.ResetAllFilterSets();
    model.stage(4, 2).CoefFileName = name;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.min"));
    ScriptedDialog dialog;
    QVERIFY(WriteSettingsFile(model, path, dialog));
    Model again;
    QVERIFY(ReadSettingsFile(again, path, dialog));
    QCOMPARE(again.stage(4, 2).CoefFileName, kept ? name : QString());
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "test_fuzzregressions.moc"
