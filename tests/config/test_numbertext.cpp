#include "config/numbertext.h"
#include "config/settingsfile.h"
#include "datatable.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <cmath>
#include <limits>

using namespace korvane;

class TestNumberText : public QObject {
    Q_OBJECT
private slots:
    void formatSingle_data();
    void formatSingle();
    void parse_data();
    void parse();
    void sevenDigitValuesReadBackExactly();
    void germanLocaleStillWritesPeriods();

private:
    QTemporaryDir localeDir_;
};

void TestNumberText::formatSingle_data()
{
    test::addColumns<float, QString>("value", "text");
    const float inf = std::numeric_limits<float>::infinity();
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative zero") << -0.0f << "0";
    QTest::newRow("one") << 1.0f << "1";
    QTest::newRow("whole negative") << -40.0f << "-40";
    QTest::newRow("hundred") << 100.0f << "100";
    QTest::newRow("half, leading zero") << 0.5f << "0.5";
    QTest::newRow("quarter negative") << -0.25f << "-0.25";
    QTest::newRow("tenth (binary inexact)") << 0.1f << "0.1";
    QTest::newRow("third to 7 digits") << (1.0f / 3.0f) << "0.3333333";
    QTest::newRow("two thirds rounds up") << (2.0f / 3.0f) << "0.6666667";
    QTest::newRow("fraction -12.5") << -12.5f << "-12.5";
    QTest::newRow("7 digits whole") << 1234567.0f << "1234567";
    QTest::newRow("million") << 1000000.0f << "1000000";
    QTest::newRow("ten million exponent") << 10000000.0f << "1E+07";
    QTest::newRow("8 digits rounded") << 12345678.0f << "1.234568E+07";
    QTest::newRow("1e-4 still fixed") << 0.0001f << "0.0001";
    QTest::newRow("0.00015 fixed") << 0.00015f << "0.00015";
    QTest::newRow("1.5E-05") << 1.5e-5f << "1.5E-05";
    QTest::newRow("negative small") << -2.5e-7f << "-2.5E-07";
    QTest::newRow("rounding to next power") << 9.9999999e-5f << "0.0001";
    QTest::newRow("largest single") << std::numeric_limits<float>::max() << "3.402823E+38";
    QTest::newRow("smallest subnormal") << std::numeric_limits<float>::denorm_min() << "1.401298E-45";
    QTest::newRow("infinity stays readable") << inf << "3.402823E+38";
    QTest::newRow("minus infinity") << -inf << "-3.402823E+38";
    QTest::newRow("nan written as zero") << std::numeric_limits<float>::quiet_NaN() << "0";
}

void TestNumberText::formatSingle()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(FormatSingle(value)), text);
}

void TestNumberText::parse_data()
{
    test::addColumns<QString, bool, float, bool, int>("text", "singleOk", "single", "intOk", "integer");
    QTest::newRow("plain") << "2500" << true << 2500.0f << true << 2500;
    QTest::newRow("negative") << "-1" << true << -1.0f << true << -1;
    QTest::newRow("plus sign") << "+7" << true << 7.0f << true << 7;
    QTest::newRow("no leading zero") << ".5" << true << 0.5f << true << 0;
    QTest::newRow("negative no leading zero") << "-.25" << true << -0.25f << true << 0;
    QTest::newRow("trailing period") << "3." << true << 3.0f << true << 3;
    QTest::newRow("exponent") << "1.5E-05" << true << 1.5e-5f << true << 0;
    QTest::newRow("lower-case exponent") << "2e3" << true << 2000.0f << true << 2000;
    QTest::newRow("exponent plus") << "1E+04" << true << 10000.0f << true << 10000;
    QTest::newRow("half to even down") << "2.5" << true << 2.5f << true << 2;
    QTest::newRow("half to even up") << "3.5" << true << 3.5f << true << 4;
    QTest::newRow("int16 max") << "32767" << true << 32767.0f << true << 32767;
    QTest::newRow("int16 min") << "-32768" << true << -32768.0f << true << -32768;
    QTest::newRow("int16 overflow") << "32768" << true << 32768.0f << false << 0;
    QTest::newRow("int16 underflow") << "-32769" << true << -32769.0f << false << 0;
    QTest::newRow("rounds into overflow") << "32767.5" << true << 32767.5f << false << 0;
    QTest::newRow("exponent overflow") << "1E+05" << true << 100000.0f << false << 0;
    QTest::newRow("beyond single") << "1E+39" << false << 0.0f << false << 0;
    QTest::newRow("beyond double") << "1E+400" << false << 0.0f << false << 0;
    QTest::newRow("below single becomes 0") << "1E-50" << true << 0.0f << true << 0;
    QTest::newRow("below double becomes 0") << "0.5E-400" << true << 0.0f << true << 0;
    QTest::newRow("empty") << "" << false << 0.0f << false << 0;
    QTest::newRow("sign only") << "-" << false << 0.0f << false << 0;
    QTest::newRow("period only") << "." << false << 0.0f << false << 0;
    QTest::newRow("text") << "abc" << false << 0.0f << false << 0;
    QTest::newRow("trailing text") << "12x" << false << 0.0f << false << 0;
    QTest::newRow("decimal comma") << "0,5" << false << 0.0f << false << 0;
    QTest::newRow("exponent without digits") << "1E" << false << 0.0f << false << 0;
    QTest::newRow("inner space") << "1 5" << false << 0.0f << false << 0;
    QTest::newRow("inf") << "inf" << false << 0.0f << false << 0;
    QTest::newRow("nan") << "nan" << false << 0.0f << false << 0;
    QTest::newRow("hex") << "0x10" << false << 0.0f << false << 0;
    QTest::newRow("double sign") << "+-1" << false << 0.0f << false << 0;
}

void TestNumberText::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, singleOk);
    QFETCH(float, single);
    QFETCH(bool, intOk);
    QFETCH(int, integer);
    const std::string s = text.toStdString();
    const auto f = ParseSingle(s);
    QCOMPARE(f.has_value(), singleOk);
    if (singleOk)
        QCOMPARE(*f, single);
    const auto i = ParseInt16(s);
    QCOMPARE(i.has_value(), intOk);
    if (intOk)
        QCOMPARE(int(*i), integer);
}

// Values that have at most 7 significant digits come back as the very same single; any
// other single comes back within half a unit of the 7th digit.
void TestNumberText::sevenDigitValuesReadBackExactly()
{
    for (float v : {0.1f, -0.3f, 1234567.0f, 1.5e-5f, -12.5f, 0.7071068f, 3.402823e38f, 1e-38f}) {
        const auto back = ParseSingle(FormatSingle(v));
        QVERIFY(back.has_value());
        QCOMPARE(*back, v);
    }
    for (float v : {1.0f / 3.0f, 0.12345678f, -98765.4321f, 6.0221409e23f, 1.17549435e-38f}) {
        const float back = *ParseSingle(FormatSingle(v));
        QVERIFY2(std::fabs(back - v) <= 5e-7 * std::fabs(v), FormatSingle(v).c_str());
    }
}

// A Qt application runs under the user's locale (setlocale(LC_ALL, "") on Unix); a German
// desktop uses a decimal comma there. The file must not change with it.
void TestNumberText::germanLocaleStillWritesPeriods()
{
    Model m;
    m.ResetAllFilterSets();
    m.stage(0, 1).Coef[0] = 0.5f;
    m.stage(0, 1).SpectralGain[3] = -12.25f;
    m.stage(0, 1).Coef[1] = 1.5e-5f;
    const QByteArray inC = SettingsFileContent(m);

    const char *const names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE"};
    auto trySet = [&]() {
        for (const char *n : names)
            if (std::setlocale(LC_ALL, n))
                return true;
        return false;
    };
    if (!trySet()) {
        // No German locale installed: build one in a temporary folder (glibc takes LOCPATH).
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty() || !localeDir_.isValid())
            QSKIP("no German locale and no localedef to build one");
        const QString target = localeDir_.filePath(QStringLiteral("de_DE.UTF-8"));
        QProcess p;
        p.start(localedef,
                {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"), QStringLiteral("UTF-8"), target});
        p.waitForFinished(60000);
        qputenv("LOCPATH", localeDir_.path().toLocal8Bit());
        if (!trySet())
            QSKIP("a German locale could not be built here");
    }
    QCOMPARE(std::localeconv()->decimal_point, ",");

    const QByteArray inGerman = SettingsFileContent(m);
    const auto halfBack = ParseSingle("0.5");
    const auto comma = ParseSingle("0,5");
    std::setlocale(LC_ALL, "C");
    QCOMPARE(inGerman, inC);
    QVERIFY(inGerman.contains("\r\n0.5\r\n1.5E-05\r\n"));
    QVERIFY(halfBack && *halfBack == 0.5f);
    QVERIFY(!comma);
}

QTEST_APPLESS_MAIN(TestNumberText)
#include "test_numbertext.moc"
