// The chart in words: real stages through the response engine, each read back as a person
// would say it, after the stage words of the stage summaries.

#include "coefgen/response.h"
#include "edits/stagesummary.h"
#include "modeltesting.h"
#include "plot/responsedescription.h"

#include <QtTest>

using namespace korvane;

class TestResponseDescription : public QObject {
    Q_OBJECT
private slots:
    // Filter 2, Stage 1 of type with freq1 and freq2 (0: the type's default), Stage 2 Pass Thru.
    void setInWords_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("freq1");
        QTest::addColumn<int>("freq2");
        QTest::addColumn<QString>("cascade");
        QTest::newRow("Lowpass") << int(Lowpass) << 3000 << 0
                                 << "passes up to 2930 Hz (-3 dB edge); above 2930 Hz falls to 30 dB down.";
        QTest::newRow("Bandpass") << int(Bandpass) << 300 << 2500
                                  << "passes 370 to 2430 Hz (-3 dB edges); below 370 Hz falls to 27 dB down; "
                                     "above 2430 Hz falls to 30 dB down.";
        QTest::newRow("Bandstop") << int(Bandstop) << 800 << 2500
                                  << "passes up to 730 Hz and from 2570 Hz up (-3 dB edges); "
                                     "stops 730 to 2570 Hz, 30 dB down.";
        QTest::newRow("Notch")
            << int(Notch) << 1000 << 0
            << "passes up to 800 Hz and from 1200 Hz up (-3 dB edges); notch at 1000 Hz, 32 dB deep.";
        QTest::newRow("Comb") << int(Comb) << 0 << 0
                              << "passes up to 2460 Hz (-3 dB edge); above 2460 Hz falls to 60 dB down. "
                                 "Stage 1: comb, notches 59.9 Hz apart, 29.7 dB deep.";
        QTest::newRow("Pass Thru") << int(PassThru) << 0 << 0 << "passes all frequencies at 0 dB.";
    }
    void setInWords()
    {
        QFETCH(int, type);
        QFETCH(int, freq1);
        QFETCH(int, freq2);
        QFETCH(QString, cascade);
        Model m = test::twoStageModel(2, int16_t(type), PassThru);
        if (freq1)
            m.stage(2, 1).Freq1 = int16_t(freq1);
        if (freq2)
            m.stage(2, 1).Freq2 = int16_t(freq2);
        ResponseEngine engine;
        const QString stage1 = QStringLiteral("Stage 1: ") + StageSummary(m, 2, 1);
        const ResponseDescription d(ChartFromResponse(engine.setResponse(m, 2)),
                                    {stage1, QStringLiteral("Stage 2: Pass Thru")});
        QCOMPARE(d.name(), QStringLiteral("Response of Filter 2"));
        QCOMPARE(d.text(), "Filter 2. " + stage1 + ". Stage 2: Pass Thru. Cascade: " + cascade);
    }

    // Many dips at -6 dB: the passbands are counted, the four deepest dips named in order of
    // frequency and the rest counted.
    void manyDips()
    {
        std::vector<double> hz, db;
        for (int j = 0; j <= 100; ++j) {
            hz.push_back(j * 10.0);
            db.push_back(j % 15 == 7 ? -10.0 - j / 15 : -6.0); // 4 to 10 dB deep
        }
        QCOMPARE(ResponseDescription::curveText(hz, db, 1000),
                 QStringLiteral("passes 8 bands from 0 to 1000 Hz at -6 dB (-3 dB edges); notch at 520 Hz, 7 dB deep; "
                                "notch at 670 Hz, 8 dB deep; notch at 820 Hz, 9 dB deep; notch at 970 Hz, 10 dB deep; "
                                "3 more dips"));
    }
};

QTEST_GUILESS_MAIN(TestResponseDescription)
#include "test_responsedescription.moc"
