// The inverse transform against figures worked out by hand and against the direct cosine
// sum it stands for.

#include "ifft/korvanes.h"

#include <QtTest>

#include <cmath>
#include <random>
#include <vector>

namespace {

std::vector<float> flatTrace()
{
    std::vector<float> buf(KorvanesBufferSize, 0.0f);
    for (int k = 0; k <= 114; ++k)
        buf[k] = 1.0f;
    return buf;
}

// x[k] = (1/N) * sum over j of X[j] cos(2 pi j k / N) for the even extension of X[0..N/2].
std::vector<double> directInverse(const std::vector<float> &half, int N)
{
    std::vector<double> x(N, 0.0);
    for (int k = 0; k < N; ++k) {
        double s = 0;
        for (int j = 0; j < N; ++j) {
            const int jj = j <= N / 2 ? j : N - j;
            s += half[jj] * std::cos(2.0 * M_PI * j * k / N);
        }
        x[k] = s / N;
    }
    return x;
}

} // namespace

class TestCalculateIfft : public QObject {
    Q_OBJECT
private slots:
    void flatSpectrumWithHann()
    {
        auto buf = flatTrace();
        QCOMPARE(CalculateIFFT(256, 1, buf.data()), int16_t(8));
        QVERIFY(std::abs(buf[127] - 0.894497f) < 2e-6f);
        QVERIFY(std::abs(buf[126] - 0.1035168f) < 2e-6f);
        QVERIFY(std::abs(buf[128] - 0.1035482f) < 2e-6f);
        QCOMPARE(buf[0], 0.0f);
        QCOMPARE(buf[255], 0.0f);
    }

    void unwindowedMatchesDirectSum()
    {
        std::mt19937 rng(7);
        std::uniform_real_distribution<float> dist(0.0f, 1.0f);
        std::vector<float> buf(KorvanesBufferSize, 0.0f);
        for (int k = 0; k <= 128; ++k)
            buf[k] = dist(rng);
        const auto x = directInverse(buf, 256);
        QCOMPARE(CalculateIFFT(256, 7, buf.data()), int16_t(8));
        for (int j = 0; j <= 127; ++j) {
            QVERIFY2(std::abs(buf[127 + j] - x[j]) < 1e-5, qPrintable(QString::number(j)));
            QVERIFY2(std::abs(buf[127 - j] - x[j]) < 1e-5, qPrintable(QString::number(j)));
        }
        QCOMPARE(buf[255], 0.0f);
    }

    void impulseAtDcGivesConstant()
    {
        std::vector<float> buf(KorvanesBufferSize, 0.0f);
        buf[0] = 1.0f;
        CalculateIFFT(256, 7, buf.data());
        for (int i = 0; i < 255; ++i)
            QCOMPARE(buf[i], 0.00390625f);
        QCOMPARE(buf[255], 0.0f);
    }

    // m odd leaves the scaled response in plane 1; the window still lands in plane 0.
    void oddStageCountWindowsIntoPlaneZero_data()
    {
        QTest::addColumn<int>("window");
        QTest::newRow("hamming") << 0;
        QTest::newRow("hann") << 1;
        QTest::newRow("blackman") << 2;
    }
    void oddStageCountWindowsIntoPlaneZero()
    {
        QFETCH(int, window);
        const int n = 8;
        std::vector<float> buf(KorvanesBufferSize, 0.0f);
        const float spectrum[5] = {1.0f, 0.8f, 0.5f, 0.25f, 0.1f};
        std::copy(spectrum, spectrum + 5, buf.begin());
        const auto x = directInverse(buf, n);
        QCOMPARE(CalculateIFFT(n, static_cast<int16_t>(window), buf.data()), int16_t(3));
        const int h = n / 2 - 1;
        for (int i = 0; i < n; ++i) {
            const double centred = i == n - 1 ? 0.0 : x[std::abs(i - h)];
            const double a = i * 2.0 * M_PI / (n - 1);
            const double w = window == 0 ? 0.54 - 0.46 * std::cos(a)
                : window == 1            ? 0.5 - 0.5 * std::cos(a)
                                         : 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(2 * a);
            QVERIFY2(std::abs(buf[i] - centred * w) < 1e-5, qPrintable(QString::number(i)));
        }
    }

    void leftoversAndRepeatedCallsDoNotMatter()
    {
        auto clean = flatTrace();
        CalculateIFFT(256, 1, clean.data());

        auto dirty = flatTrace();
        for (int i = 129; i < KorvanesBufferSize; ++i)
            dirty[i] = 123.0f;
        CalculateIFFT(256, 1, dirty.data());
        auto again = flatTrace();
        CalculateIFFT(256, 1, again.data());
        for (int i = 0; i < 256; ++i) {
            QCOMPARE(dirty[i], clean[i]);
            QCOMPARE(again[i], clean[i]);
        }
    }

    void lengthBeyondTheBufferIsRefused()
    {
        std::vector<float> buf(KorvanesBufferSize + 16, 5.0f);
        QCOMPARE(CalculateIFFT(8192, 1, buf.data()), int16_t(0));
        QCOMPARE(CalculateIFFT(0, 1, buf.data()), int16_t(0));
        QCOMPARE(CalculateIFFT(256, 1, nullptr), int16_t(0));
        for (float v : buf)
            QCOMPARE(v, 5.0f);
    }
};

QTEST_APPLESS_MAIN(TestCalculateIfft)
#include "test_calculateifft.moc"
