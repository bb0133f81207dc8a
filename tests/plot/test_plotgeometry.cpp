// Chart geometry: the value-to-pixel mapping and its inverse, round ticks, the fitted level
// range, and the SVG document built on them.

#include "datatable.h"
#include "plot/plotgeometry.h"
#include "plot/responsechart.h"

#include <QXmlStreamReader>
#include <QtTest>

#include <cmath>

using namespace korvane;

class TestPlotGeometry : public QObject {
    Q_OBJECT
private slots:
    void mapping()
    {
        const PlotGeometry g(QRectF(50, 20, 800, 400), 8600, {-80, 10});
        QCOMPARE(g.x(0), 50.0);
        QCOMPARE(g.x(8600), 850.0);
        QCOMPARE(g.x(4300), 450.0);
        QCOMPARE(g.y(10), 20.0);
        QCOMPARE(g.y(-80), 420.0);
        QCOMPARE(g.y(-35), 220.0);
        // Beyond the range a level is held at the edge.
        QCOMPARE(g.y(-160), 420.0);
        QCOMPARE(g.y(40), 20.0);
        for (double hz : {0.0, 123.4, 8600.0})
            QVERIFY(std::abs(g.hzAt(g.x(hz)) - hz) < 1e-9);
        for (double db : {-80.0, -12.5, 10.0})
            QVERIFY(std::abs(g.dbAt(g.y(db)) - db) < 1e-9);

        const PlotGeometry c = PlotGeometry::forCanvas(900, 520, 6000, {-40, 10});
        QCOMPARE(c.area().left(), PlotGeometry::kLeftMargin);
        QCOMPARE(c.area().top(), PlotGeometry::kTopMargin);
        QCOMPARE(c.area().right(), 900 - PlotGeometry::kRightMargin);
        QCOMPARE(c.area().bottom(), 520 - PlotGeometry::kBottomMargin);
        // Ticks thin out on a small area so that their labels do not run together.
        QCOMPARE(g.frequencyTicks().size(), size_t(9));
        const PlotGeometry narrow(QRectF(0, 0, 250, 100), 8600, {-80, 10});
        const std::vector<double> few = narrow.frequencyTicks();
        QCOMPARE(QList<double>(few.begin(), few.end()), (QList<double>{0, 2000, 4000, 6000, 8000}));
        QCOMPARE(narrow.dbTicks().size(), size_t(2)); // -50 and 0 on 100 pixels
        // A canvas smaller than its margins still gives a usable (tiny) area.
        QVERIFY(PlotGeometry::forCanvas(10, 10, 6000, {-40, 10}).area().width() > 0);
        // An empty range does not divide by zero.
        QVERIFY(std::isfinite(PlotGeometry(QRectF(0, 0, 10, 10), 100, {0, 0}).y(0)));
    }

    void ticks_data()
    {
        test::addColumns<double, double, int, QList<double>>("lo", "hi", "maxCount", "expected");
        QTest::newRow("17200 Hz") << 0.0 << 8600.0 << 10
                                  << QList<double>{0, 1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000};
        QTest::newRow("9000 Hz") << 0.0 << 4500.0 << 10
                                 << QList<double>{0, 500, 1000, 1500, 2000, 2500, 3000, 3500, 4000, 4500};
        QTest::newRow("dB wide") << -100.0 << 10.0 << 10 << QList<double>{-100, -80, -60, -40, -20, 0};
        QTest::newRow("dB narrow") << -40.0 << 10.0 << 10 << QList<double>{-40, -30, -20, -10, 0, 10};
        QTest::newRow("odd bounds") << -37.0 << 3.0 << 5 << QList<double>{-30, -20, -10, 0};
        QTest::newRow("empty range") << 5.0 << 5.0 << 10 << QList<double>{};
        QTest::newRow("one tick allowed") << 0.0 << 100.0 << 1 << QList<double>{};
    }
    void ticks()
    {
        QFETCH(double, lo);
        QFETCH(double, hi);
        QFETCH(int, maxCount);
        QFETCH(QList<double>, expected);
        const std::vector<double> t = PlotGeometry::ticks(lo, hi, maxCount);
        QCOMPARE(QList<double>(t.begin(), t.end()), expected);
    }

    void fittedRange()
    {
        const std::vector<double> lowpass = {0.0, -0.2, -6.0, -30.4, -29.6};
        const std::vector<double> deep = {0.0, -160.0};
        const std::vector<double> flat = {0.0, 0.0};
        const std::vector<double> loud = {3.0, std::nan(""), -std::numeric_limits<double>::infinity(), 14.0};
        QCOMPARE(FitDbRange({&lowpass}), (DbRange{-40, 10}));
        QCOMPARE(FitDbRange({&lowpass, &deep}), (DbRange{-100, 10}));
        QCOMPARE(FitDbRange({&deep}, -60), (DbRange{-60, 10}));
        QCOMPARE(FitDbRange({&flat}), (DbRange{-20, 10}));
        QCOMPARE(FitDbRange({&loud, nullptr}), (DbRange{-10, 20}));
        QCOMPARE(FitDbRange({}), (DbRange{-20, 10}));
    }

    // The SVG is one well-formed document with a polyline per drawn curve and the captions.
    void svgDocument()
    {
        ResponseChart chart;
        chart.title = QStringLiteral("Filter 3 <test> & more");
        chart.maxHz = 8600;
        chart.frequency = {0, 4300, 8600};
        chart.curves.push_back({QStringLiteral("Stage 1"), {0, -6, -30}, kStage1Color, 1.5, Qt::DashLine, {}, {}});
        chart.curves.push_back({QStringLiteral("Stage 2"), {}, kStage2Color, 2.0, Qt::DotLine, {}, {}});
        chart.curves.push_back(
            {QStringLiteral("Cascade"), {0, -6, -30}, kCascadeColor, 2.5, Qt::SolidLine, {-1, -7, -31}, {0, 0, 0}});
        chart.notes << QStringLiteral("Stage 2: no fixed response");
        chart.range = {-40, 10};
        const QByteArray svg = ChartSvg(chart, QSize(900, 520));
        QXmlStreamReader xml(svg);
        int polylines = 0, polygons = 0;
        QStringList texts;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("polyline"))
                ++polylines;
            else if (xml.name() == QLatin1String("polygon"))
                ++polygons;
            else if (xml.name() == QLatin1String("text"))
                texts << xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(polylines, 1); // Stage 1; Stage 2 has no curve; the cascade is drawn as its band
        QCOMPARE(polygons, 1);
        for (const char *t : {"Frequency (Hz)", "Level (dB)", "Filter 3 <test> & more", "Stage 1", "Stage 2", "Cascade",
                              "Stage 2: no fixed response", "8000", "-40"})
            QVERIFY2(texts.contains(QLatin1String(t)), t);
        // The curve's middle point sits where the geometry puts it.
        const PlotGeometry g = PlotGeometry::forCanvas(900, 520, 8600, {-40, 10});
        const QString mid = QStringLiteral("%1,%2").arg(g.x(4300), 0, 'f', 1).arg(g.y(-6), 0, 'f', 1);
        QVERIFY(svg.contains(mid.toUtf8()));
    }
};

QTEST_GUILESS_MAIN(TestPlotGeometry)
#include "test_plotgeometry.moc"
