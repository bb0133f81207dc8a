#include "config/firfile.h"
#include "datatable.h"
#include "scripteddialog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using korvane::test::ScriptedDialog;

namespace {

QByteArray numberLines(int count, const char *lineEnd = "\r\n")
{
    QByteArray out;
    for (int i = 0; i < count; ++i)
        out += QByteArray::number((i % 200) / 1000.0) + lineEnd;
    return out;
}

} // namespace

class TestFirFile : public QObject {
    Q_OBJECT
private slots:
    void read_data();
    void read();
    void missingFile();
};

void TestFirFile::read_data()
{
    // leading: Coef[0..n-1]; the rest must be 0
    test::addColumns<QByteArray, bool, QList<float>, bool>("content", "valid", "leading", "clipped");

    using L = QList<float>;
    QTest::newRow("three values") << QByteArray("0.5\r\n-0.25\r\n1\r\n") << true << L{0.5f, -0.25f, 1.0f} << false;
    QTest::newRow("trailing comma") << QByteArray("0.5,\r\n-0.25,\r\n") << true << L{0.5f, -0.25f} << false;
    QTest::newRow("trailing semicolon and space")
        << QByteArray("0.5;\r\n-0.25 \r\n") << true << L{0.5f, -0.25f} << false;
    QTest::newRow("spaces around") << QByteArray("  0.5  ,\r\n\t-1\r\n") << true << L{0.5f, -1.0f} << false;
    QTest::newRow("exponent and no leading zero")
        << QByteArray("-1.5E-03\r\n.75\r\n+2e-1\r\n") << true << L{-1.5e-3f, 0.75f, 0.2f} << false;
    QTest::newRow("trailing period") << QByteArray("1.\r\n") << true << L{1.0f} << false;
    QTest::newRow("no line end at the end") << QByteArray("0.5\r\n0.25") << true << L{0.5f, 0.25f} << false;
    QTest::newRow("lone carriage returns") << QByteArray("0.5\r0.25\r") << true << L{0.5f, 0.25f} << false;
    QTest::newRow("empty file") << QByteArray() << true << L{} << false;
    QTest::newRow("clipped both ways, reported once")
        << QByteArray("1.2\r\n-3\r\n0.5\r\n1.0000001\r\n") << true << L{1.0f, -1.0f, 0.5f, 1.0f} << true;
    QTest::newRow("exact limits are not clipped") << QByteArray("1\r\n-1.0\r\n") << true << L{1.0f, -1.0f} << false;

    QByteArray full = numberLines(256);
    L fullValues;
    for (int i = 0; i < 256; ++i)
        fullValues << static_cast<float>((i % 200) / 1000.0);
    QTest::newRow("256 values then a blank line") << full + "\r\n" << true << fullValues << false;
    QTest::newRow("300 lines, junk after the 256th")
        << full + "abc\r\n\r\n" + numberLines(43) << true << fullValues << false;
    QTest::newRow("255 values then a blank line") << numberLines(255) + "\r\n" << false << L{} << false;

    // Files written on Linux end their lines with a lone LF; mixed ends read line by line.
    QTest::newRow("line feeds alone end lines")
        << QByteArray("0.5\n-0.25\n1\n") << true << L{0.5f, -0.25f, 1.0f} << false;
    QTest::newRow("mixed CR LF, CR and LF")
        << QByteArray("0.5\r\n-0.25\r1\n0.125") << true << L{0.5f, -0.25f, 1.0f, 0.125f} << false;
    QTest::newRow("blank line between line feeds") << QByteArray("0.5\n\n0.25\n") << false << L{} << false;
    QTest::newRow("LF CR is two line ends") << QByteArray("0.5\n\r0.25\r\n") << false << L{} << false;
    QTest::newRow("single value then bare line feed") << QByteArray("0.5\n") << true << L{0.5f} << false;
    QTest::newRow("text") << QByteArray("abc\r\n") << false << L{} << false;
    QTest::newRow("text after good values") << QByteArray("0.5\r\n0.25\r\nx0.1\r\n") << false << L{} << false;
    QTest::newRow("blank line inside") << QByteArray("0.5\r\n\r\n0.25\r\n") << false << L{} << false;
    QTest::newRow("extra blank line at the end") << QByteArray("0.5\r\n\r\n") << false << L{} << false;
    QTest::newRow("line of one space") << QByteArray(" \r\n") << false << L{} << false;
    QTest::newRow("two trailing characters") << QByteArray("0.5,,\r\n") << false << L{} << false;
    QTest::newRow("decimal comma") << QByteArray("0,5\r\n") << false << L{} << false;
    QTest::newRow("thousands separator") << QByteArray("1,000.5\r\n") << false << L{} << false;
    QTest::newRow("beyond single range") << QByteArray("1E+39\r\n") << false << L{} << false;
    QTest::newRow("inf") << QByteArray("inf\r\n") << false << L{} << false;
    QTest::newRow("binary without line ends") << QByteArray(100000, '7') << false << L{} << false;
}

void TestFirFile::read()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, valid);
    QFETCH(QList<float>, leading);
    QFETCH(bool, clipped);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("coef.txt"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

    Model m;
    m.CurrentSet = 5;
    StageConfig &target = m.stage(5, 2);
    target.Type = ImportedCoef;
    target.Coef.fill(0.125f);
    target.CoefFileName = QStringLiteral("/old/file.txt");
    const Model before = m;

    ScriptedDialog dialog;
    const bool ok = ReadFirFile(m, 2, path, dialog);
    QCOMPARE(ok, valid);
    // Only the chosen stage of the current set may change.
    QVERIFY(m.stage(5, 1) == before.stage(5, 1));
    QVERIFY(m.stage(4, 2) == before.stage(4, 2));

    if (!valid) {
        QVERIFY(target == before.stage(5, 2));
        QCOMPARE(dialog.events.size(), size_t(2));
        QCOMPARE(dialog.events[0], ScriptedDialog::Event::Beep);
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, QStringLiteral("File Open Error"));
        QCOMPARE(dialog.messages[0].text, path + QStringLiteral("\r is not valid coefficient file."));
        QCOMPARE(dialog.messages[0].icon, MessageIcon::Exclamation);
        QCOMPARE(dialog.messages[0].buttons, MessageButtons::Ok);
        return;
    }

    QCOMPARE(target.CoefFileName, path);
    for (int i = 0; i < kCoefCount; ++i)
        QCOMPARE(target.Coef[i], i < leading.size() ? leading[i] : 0.0f);
    if (clipped) {
        QCOMPARE(dialog.beeps, 0);
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, QStringLiteral("Coefficients Out of Bounds"));
        QCOMPARE(dialog.messages[0].text,
                 QStringLiteral("One or more coefficients exceeded -1.0 or +1.0\r"
                                "and were clipped to keep within the valid range."));
        QCOMPARE(dialog.messages[0].icon, MessageIcon::Information);
        QCOMPARE(dialog.messages[0].buttons, MessageButtons::Ok);
    } else {
        QVERIFY(dialog.events.empty());
    }
}

void TestFirFile::missingFile()
{
    QTemporaryDir dir;
    Model m;
    m.stage(0, 1).CoefFileName = QStringLiteral("keep");
    m.stage(0, 1).Coef[3] = 0.5f;
    const StageConfig before = m.stage(0, 1);
    ScriptedDialog dialog;
    for (const QString &path : {dir.filePath(QStringLiteral("none.txt")), dir.path()}) {
        dialog.clear();
        QVERIFY(!ReadFirFile(m, 1, path, dialog));
        QVERIFY(m.stage(0, 1) == before);
        QCOMPARE(dialog.titles(), QStringList{QStringLiteral("File Open Error")});
        QCOMPARE(dialog.messages[0].text, path + QStringLiteral("\r is not valid coefficient file."));
    }
}

QTEST_APPLESS_MAIN(TestFirFile)
#include "test_firfile.moc"
