// The 20-band equalizer: the tolerant reader of "20Band", the weighted sum, the per-block
// failure memory, and the shipped band file's flatness.

#include "imagetestutil.h"

#include "coefgen/eq20.h"
#include "coefgen/spectral.h"
#include "scripteddialog.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <complex>

using namespace korvane;
using namespace korvane::test;

namespace {

// A band file whose band i has taps (i + 1) * 10 + s % 7 (small integers, exact in singles).
QByteArray syntheticFile(const QByteArray &labelSuffix = ":", const char *separator = ",")
{
    QByteArray out;
    for (int i = 0; i < kEqBandCount; ++i) {
        out += "Band " + QByteArray::number(i) + labelSuffix + "\r\n";
        for (int s = 0; s < kCoefCount; ++s) {
            out += QByteArray::number((i + 1) * 10 + s % 7);
            out += (s % 16 == 15) ? "\r\n" : separator;
        }
    }
    return out;
}

float syntheticTap(int band, int s) { return float((band + 1) * 10 + s % 7); }

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

std::array<float, kCoefCount> generatedSum(const BandFilters &bands)
{
    std::array<float, kCoefCount> sum{};
    for (const auto &band : bands)
        for (int k = 0; k < kCoefCount; ++k)
            sum[k] += band[k] * 256.0f / 8388607.0f;
    return sum;
}

double responseDb(const float *h, double f, double fs)
{
    std::complex<double> s;
    for (int k = 0; k < kCoefCount; ++k)
        s += static_cast<double>(h[k]) * std::polar(1.0, -2.0 * M_PI * f * k / fs);
    return 20.0 * std::log10(std::abs(s));
}

const double kCentres[kEqBandCount] = {100,  300,  500,  700,  900,  1100, 1300, 1500, 1700, 1900,
                                       2200, 2700, 3200, 3800, 4400, 5000, 5600, 6200, 6800, 7400};

} // namespace

class TestEq20 : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_oldCurrent;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_oldCurrent = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_dir.path()));
        SetKorvanesLocation(programDir(), QStringLiteral("korvanes"), false);
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldCurrent); }
    void init() { QFile::remove(m_dir.filePath(k20BandFileName)); }

    void bandGain()
    {
        QCOMPARE(BandGainFromDb(0), 1.0f);
        QCOMPARE(BandGainFromDb(40), 0.01f);
        QCOMPARE(BandGainFromDb(20), 0.1f);
        QCOMPARE(BandGainFromDb(6), static_cast<float>(std::pow(10.0, -0.3)));
    }

    void readerAcceptsItsForms_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("commas and CR LF") << syntheticFile();
        QTest::newRow("LF only") << syntheticFile().replace("\r\n", "\n");
        QTest::newRow("one item per line") << QByteArray(syntheticFile()).replace(",", "\r\n");
        QTest::newRow("blanks between numbers") << syntheticFile(":", "  ");
        QTest::newRow("blanks around commas") << syntheticFile(":", " , ");
        QTest::newRow("quoted labels") << syntheticFile(":\"").replace("Band ", "\"Band ");
        QTest::newRow("label with trailing blanks") << syntheticFile(":   ");
        QTest::newRow("trailing matter ignored") << syntheticFile() + "Band 21: whatever\r\nnot numbers";
        QByteArray formatted = syntheticFile();
        formatted.replace("\r\n10,", "\r\n+10.0,").replace(",11,", ",1.1e1,").replace(",12,", ",120E-1,");
        QTest::newRow("sign, fraction, exponent") << formatted;
    }
    void readerAcceptsItsForms()
    {
        QFETCH(QByteArray, data);
        const auto bands = Parse20BandData(data);
        QVERIFY(bands);
        for (int i = 0; i < kEqBandCount; ++i)
            for (int s = 0; s < kCoefCount; ++s)
                QCOMPARE((*bands)[i][s], syntheticTap(i, s));
    }

    void readerRejectsDamage_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("label without colon") << syntheticFile(";");
        QTest::newRow("last band short") << syntheticFile().left(syntheticFile().size() - 8);
        QTest::newRow("word for a tap") << QByteArray(syntheticFile()).replace(",13,", ",ten,");
        QTest::newRow("nan for a tap") << QByteArray(syntheticFile()).replace(",13,", ",nan,");
        QTest::newRow("overflowing tap") << QByteArray(syntheticFile()).replace(",13,", ",1e40,");
        QTest::newRow("unterminated quote") << "\"Band 0:" + syntheticFile().mid(8);
    }
    void readerRejectsDamage()
    {
        QFETCH(QByteArray, data);
        QVERIFY(!Parse20BandData(data));
    }

    void weightedSum()
    {
        writeFile(k20BandFileName, syntheticFile());
        ScriptedDialog dialog;
        std::array<int16_t, kEqBandCount> flat{};
        Eq20Accumulator acc;
        acc.fill(99.0f);
        QCOMPARE(Read20BandCoefficients(flat, acc, dialog), 0);
        for (int s = 0; s < kCoefCount; ++s) {
            float expected = 0;
            for (int i = 0; i < kEqBandCount; ++i)
                expected += syntheticTap(i, s) * 256.0f;
            QCOMPARE(acc[s], expected);
        }
        std::array<int16_t, kEqBandCount> cut{};
        cut[3] = 40;
        Eq20Accumulator acc2;
        QCOMPARE(Read20BandCoefficients(cut, acc2, dialog), 0);
        for (int s = 0; s < kCoefCount; ++s) {
            const float expected = acc[s] - syntheticTap(3, s) * 256.0f + syntheticTap(3, s) * 0.01f * 256.0f;
            QVERIFY(std::abs(acc2[s] - expected) <= std::abs(expected) * 1e-6f);
        }
        QVERIFY(dialog.messages.empty());
    }

    // Each stage sums its own bands; sums beyond 24 bits wrap instead of saturating.
    void stagesInTheImage()
    {
        QByteArray big = syntheticFile();
        big.replace("Band 0:\r\n10,", "Band 0:\r\n40000,"); // 40000 * 256 wraps past 0x7FFFFF
        writeFile(k20BandFileName, big);
        Model m = passThruModel();
        setType(m, 4, 1, GraphicEq20);
        setType(m, 4, 2, GraphicEq20);
        m.stage(4, 2).EqBand.fill(40);
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        QVERIFY(dialog.messages.empty());
        const uint8_t *b = blockAt(*image, 4);
        float first = 40000.0f * 256.0f;
        for (int i = 1; i < kEqBandCount; ++i)
            first += syntheticTap(i, 0) * 256.0f;
        const int32_t wrapped = static_cast<int32_t>(first) & 0xFFFFFF;
        QCOMPARE(tapAt(b, 0, 0), (wrapped & 0x800000) ? wrapped - 0x1000000 : wrapped);
        QVERIFY(first > 8388607.0f);
        float second = 0;
        for (int i = 0; i < kEqBandCount; ++i)
            second += (i == 0 ? 11.0f : syntheticTap(i, 1)) * 0.01f * 256.0f;
        QCOMPARE(tapAt(b, 1, 1), static_cast<int32_t>(std::nearbyint(second)));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(b + 786), 8),
                 QByteArray("\x00\xFF\x00\x00\x00\x01\x00\x04", 8));
    }

    // One message per filter set; the failed stages are written as pass-through, and the
    // image still builds.
    void failureMemoryPerBlock()
    {
        Model m = passThruModel();
        setType(m, 1, 1, GraphicEq20);
        setType(m, 1, 2, GraphicEq20);
        setType(m, 6, 2, GraphicEq20);
        setType(m, 9, 1, GraphicEq20);
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        QCOMPARE(dialog.messages.size(), size_t(3));
        for (const auto &msg : dialog.messages) {
            QCOMPARE(msg.title, QStringLiteral("File Error"));
            QVERIFY2(msg.text.startsWith(QStringLiteral(
                         "Error reading 20-Band Equalizer coefficient file.\r  Filter replaced by empty filter.\r")),
                     qPrintable(msg.text));
            // Then where it was looked for and why it failed.
            QVERIFY2(msg.text.contains(QDir::currentPath() + QStringLiteral("/20Band: ")), qPrintable(msg.text));
            QCOMPARE(msg.icon, MessageIcon::Exclamation);
        }
        QCOMPARE(dialog.beeps, 3);
        const QByteArray passThru = *BuildFilterImageBytes(passThruModel(), dialog);
        QCOMPARE(*image, passThru);
        QCOMPARE(m.stage(1, 1).Type, int16_t(GraphicEq20));

        // A label without its colon counts the same.
        writeFile(k20BandFileName, syntheticFile(" -"));
        dialog.clear();
        QCOMPARE(*BuildFilterImageBytes(m, dialog), passThru);
        QCOMPARE(dialog.messages.size(), size_t(3));

        // The next build tries the file again.
        writeFile(k20BandFileName, syntheticFile());
        dialog.clear();
        QVERIFY(*BuildFilterImageBytes(m, dialog) != passThru);
        QVERIFY(dialog.messages.empty());
    }

    // The file is read at every stage: an edit, a removal or a restore between two sums takes
    // effect at once, whatever was parsed before.
    void everyReadSeesTheFileAsItIsNow()
    {
        ScriptedDialog dialog;
        const std::array<int16_t, kEqBandCount> flat{};
        Eq20Accumulator original;
        writeFile(k20BandFileName, syntheticFile());
        QCOMPARE(Read20BandCoefficients(flat, original, dialog), 0);

        QByteArray edited = syntheticFile();
        edited.replace("Band 0:\r\n10,", "Band 0:\r\n20,"); // same length, one tap changed
        writeFile(k20BandFileName, edited);
        Eq20Accumulator acc;
        QCOMPARE(Read20BandCoefficients(flat, acc, dialog), 0);
        QCOMPARE(acc[0], original[0] + 10.0f * 256.0f);
        for (int s = 1; s < kCoefCount; ++s)
            QCOMPARE(acc[s], original[s]);

        QVERIFY(QFile::remove(k20BandFileName));
        QCOMPARE(Read20BandCoefficients(flat, acc, dialog), -1);
        QCOMPARE(dialog.messages.size(), size_t(1));

        writeFile(k20BandFileName, syntheticFile());
        QCOMPARE(Read20BandCoefficients(flat, acc, dialog), 0);
        QCOMPARE(acc, original);
    }

    void sumBeyond32BitsFailsTheBuild()
    {
        writeFile(k20BandFileName, QByteArray(syntheticFile()).replace(",13,", ",3e35,"));
        Model m = passThruModel();
        setType(m, 0, 1, GraphicEq20);
        ScriptedDialog dialog;
        QVERIFY(!BuildFilterImageBytes(m, dialog));
    }

    // With every band at 0 dB the shipped bands sum to a delay just under unit gain, which
    // must not wrap to -1.0 in 24 bits.
    void shippedBandsSumToADelay()
    {
        QVERIFY(QFile::copy(QDir(programDir()).filePath(k20BandFileName), k20BandFileName));
        Model m = passThruModel();
        setType(m, 0, 1, GraphicEq20);
        ScriptedDialog dialog;
        const auto image = BuildFilterImageBytes(m, dialog);
        QVERIFY(image);
        for (int k = 0; k < kCoefCount; ++k)
            QCOMPARE(tapAt(blockAt(*image, 0), 0, k), k == 127 ? 0x7FFF00 : 0);
    }

    void shippedBandFileIsFlat()
    {
        QFile f(QDir(programDir()).filePath(k20BandFileName));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        const auto bands = Parse20BandData(f.readAll());
        QVERIFY(bands);
        const auto sum = generatedSum(*bands);
        double worst = 0;
        for (double hz = kCentres[0]; hz <= kCentres[kEqBandCount - 1]; hz += 10.0)
            worst = std::max(worst, std::abs(responseDb(sum.data(), hz, 17200)));
        QVERIFY2(worst <= 0.5, qPrintable(QString::number(worst)));

        for (int i = 0; i < kEqBandCount; ++i) {
            std::array<float, kCoefCount> h{};
            for (int k = 0; k < kCoefCount; ++k)
                h[k] = (*bands)[i][k] * 256.0f / 8388607.0f;
            // Linear phase about tap 127.
            for (int j = 1; j <= 126; ++j)
                QCOMPARE(h[127 - j], h[127 + j]);
            QCOMPARE(h[255], 0.0f);
            // Each band passes its own centre within 1 dB and every other band is at least
            // 20 dB down there.
            const double own = responseDb(h.data(), kCentres[i], 17200);
            QVERIFY2(own > -1.0, qPrintable(QStringLiteral("band %1: %2 dB").arg(i).arg(own)));
            for (int o = 0; o < kEqBandCount; ++o) {
                if (o == i)
                    continue;
                std::array<float, kCoefCount> other{};
                for (int k = 0; k < kCoefCount; ++k)
                    other[k] = (*bands)[o][k] * 256.0f / 8388607.0f;
                QVERIFY2(responseDb(other.data(), kCentres[i], 17200) < -20.0,
                         qPrintable(QStringLiteral("%1 vs %2").arg(i).arg(o)));
            }
            // The inner bands peak between their split frequencies, and the centre is on
            // the crest.
            if (i > 0 && i < kEqBandCount - 1) {
                double peakHz = 0;
                double peak = -1e9;
                for (double hz = 0; hz <= 8600; hz += 5) {
                    const double r = responseDb(h.data(), hz, 17200);
                    if (r > peak)
                        peak = r, peakHz = hz;
                }
                const double lowEdge = std::sqrt(kCentres[i - 1] * kCentres[i]);
                const double highEdge = std::sqrt(kCentres[i] * kCentres[i + 1]);
                QVERIFY2(peakHz > lowEdge && peakHz < highEdge,
                         qPrintable(QStringLiteral("band %1 peaks at %2 Hz").arg(i).arg(peakHz)));
                QVERIFY2(own > peak - 1.0,
                         qPrintable(QStringLiteral("band %1: %2 dB at centre, peak %3 dB").arg(i).arg(own).arg(peak)));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestEq20)
#include "test_eq20.moc"
