// The response plot on screen: its curves land on the pixels the chart geometry names, and
// the editors' live plot follows the controls without touching the stored record.

#include "editortesting.h"

#include "coefgen/spectral.h"
#include "editors/responseplot.h"
#include "scripteddialog.h"

#include <QDir>
#include <QImage>
#include <QPaintEngine>
#include <QPainter>
#include <QtTest>

#include <cmath>
#include <set>

using namespace korvane;
using namespace korvane::test;

namespace {

// A set response with flat curves: Stage 1 at s1 dB, Stage 2 at s2 dB, their sum as cascade.
SetResponse flatResponse(double s1, double s2)
{
    SetResponse r;
    r.set = 4;
    r.sampleRate = 17200;
    for (int j = 0; j < 513; ++j)
        r.frequency.push_back(j * 17200.0 / 1024);
    r.stages[0].kind = r.stages[1].kind = StageResponse::Kind::Fir;
    r.stages[0].db.assign(513, s1);
    r.stages[1].db.assign(513, s2);
    r.cascade.assign(513, s1 + s2);
    r.blockBuilt = true;
    return r;
}

int colourDistance(QRgb a, const QColor &b)
{
    return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) + std::abs(qBlue(a) - b.blue());
}

// True when a pixel within 2 px of the point is much nearer the colour than white is
// (antialiasing blends a thin line with the background).
bool colourNear(const QImage &image, QPointF at, const QColor &colour)
{
    const int limit = colourDistance(qRgb(255, 255, 255), colour) * 45 / 100;
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) {
            const QPoint p(int(std::lround(at.x())) + dx, int(std::lround(at.y())) + dy);
            if (image.rect().contains(p) && colourDistance(image.pixel(p), colour) < limit)
                return true;
        }
    return false;
}

// A paint device that keeps every text drawn on it with its position, so a test can see
// which words a chart prints and where.
class TextRecorder final : public QPaintDevice {
public:
    struct Item {
        QPointF at; // baseline start, canvas pixels
        QString text;
        QFont font;
    };
    explicit TextRecorder(QSize size) : size_(size), engine_(this) { }
    QPaintEngine *paintEngine() const override { return &engine_; }
    std::vector<Item> items;

protected:
    int metric(PaintDeviceMetric m) const override
    {
        switch (m) {
        case PdmWidth:
            return size_.width();
        case PdmHeight:
            return size_.height();
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        default:
            return 1;
        }
    }

private:
    class Engine final : public QPaintEngine {
    public:
        explicit Engine(TextRecorder *owner) : QPaintEngine(AllFeatures), owner_(owner) { }
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &state) override
        {
            if (state.state() & DirtyTransform)
                transform_ = state.transform();
        }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
        // Everything but text is of no interest (the base versions call one another).
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
        void drawPath(const QPainterPath &) override { }
        void drawLines(const QLineF *, int) override { }
        void drawRects(const QRectF *, int) override { }
        void drawEllipse(const QRectF &) override { }
        void drawPoints(const QPointF *, int) override { }
        void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override { }
        void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override { }
        void drawTextItem(const QPointF &p, const QTextItem &item) override
        {
            owner_->items.push_back({transform_.map(p), item.text(), item.font()});
        }
        Type type() const override { return User; }

    private:
        TextRecorder *owner_;
        QTransform transform_;
    };
    QSize size_;
    mutable Engine engine_;
};

QImage grabbed(QWidget *w)
{
    // grab() renders at the device pixel ratio; offscreen it is 1.
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

class TestResponsePlot : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(inProgramDir_.entered()); }

    void threeCurvesOnTheirPixels()
    {
        ResponsePlot plot;
        plot.resize(640, 400);
        plot.showSet(flatResponse(-10, -20));
        const QImage image = grabbed(&plot);
        const PlotGeometry g = plot.geometry();
        QCOMPARE(g.range(), (DbRange{-30, 10}));
        QCOMPARE(g.maxHz(), 8600.0);
        for (double hz : {500.0, 2000.0, 3500.0}) {
            QVERIFY2(colourNear(image, g.point(hz, -10), kStage1Color), qPrintable(QString::number(hz)));
            QVERIFY2(colourNear(image, g.point(hz, -20), kStage2Color), qPrintable(QString::number(hz)));
            QVERIFY(!colourNear(image, g.point(hz, -15), kStage1Color));
            QVERIFY(!colourNear(image, g.point(hz, -15), kStage2Color));
        }
        // Told apart without colour too: Stage 1 dashed, Stage 2 dotted, the cascade solid and
        // widest, each so in the legend.
        int dark = 0;
        for (double hz = 1000; hz < 1400; hz += 20)
            dark += colourNear(image, g.point(hz, -30), kCascadeColor) ? 1 : 0;
        QCOMPARE(dark, 20);
        const std::vector<ChartCurve> &c = plot.chart().curves;
        QCOMPARE(c.size(), size_t(3));
        QCOMPARE((std::set<Qt::PenStyle>{c[0].style, c[1].style, c[2].style}).size(), size_t(3));
        QCOMPARE(c[2].style, Qt::SolidLine);
        QVERIFY(c[2].width > c[0].width && c[2].width > c[1].width);
        QCOMPARE(plot.chart().title, QStringLiteral("Filter 4"));
    }

    // On a dark palette the chart's paper and ink are the palette's, and the curves are
    // lightened until they stand out from the dark paper.
    void followsThePalette()
    {
        ResponsePlot plot;
        plot.resize(640, 400);
        QPalette dark;
        dark.setColor(QPalette::Base, QColor(20, 20, 20));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        plot.setPalette(dark);
        plot.showSet(flatResponse(-10, -20));
        const QImage image = grabbed(&plot);
        const ChartInk ink = ChartInk::of(dark);
        QCOMPARE(image.pixelColor(3, 3), QColor(20, 20, 20));
        for (const QColor &designed : {kStage1Color, kStage2Color}) {
            QVERIFY(ContrastRatio(ink.map(designed), dark.color(QPalette::Base)) >= 7.0);
            QVERIFY(ContrastRatio(designed, dark.color(QPalette::Base)) < 4.5);
        }
        QVERIFY(colourNear(image, plot.geometry().point(2000, -10), ink.map(kStage1Color)));
        QVERIFY(colourNear(image, plot.geometry().point(2000, -30), ink.map(kCascadeColor)));
        // White paper and black ink leave every colour as designed.
        for (const QColor &designed : {kStage1Color, kStage2Color, kCascadeColor, kStoredColor})
            QCOMPARE(ChartInk{}.map(designed), designed);
    }

    // The chart says in words what it shows, as its accessible description, renewed with the
    // chart; Ctrl+D shows the words through the window's dialog.
    void describedInWords()
    {
        ScriptedDialog dialog;
        Model m = editorModel(Lowpass);
        auto editor = showEditor(m, dialog, Lowpass);
        QVERIFY(editor);
        editor->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(editor.get()));
        ResponsePlot *plot = editor->responsePlot();
        QCOMPARE(plot->accessibleName(), QStringLiteral("Response of Filter 3, Stage 2"));
        QVERIFY2(plot->description().startsWith(QStringLiteral("Filter 3, Stage 2. Edited: Lowpass 2500 Hz")),
                 qPrintable(plot->description()));
        QVERIFY(plot->description().contains(QStringLiteral("Edited: passes up to 24")));
        QVERIFY(!plot->description().contains(QStringLiteral("Stored")));
        bar(editor.get(), QStringLiteral("HScroll1"))->setValue(1000);
        QTRY_VERIFY(plot->description().contains(QStringLiteral("Edited: Lowpass 1000 Hz")));
        QVERIFY(plot->description().contains(QStringLiteral("Stored: Lowpass 2500 Hz")));
        QVERIFY(plot->description().contains(QStringLiteral("Edited: passes up to 9")));
        QTest::keyClick(editor.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, plot->accessibleName());
        QCOMPARE(dialog.messages[0].text, plot->description());
        editor->reject();
    }

    void modelSet()
    {
        Model m = editorModel(Highpass);
        ResponsePlot plot;
        plot.showModelSet(m, 3);
        QCOMPARE(plot.chart().title, QStringLiteral("Filter 3"));
        ResponseEngine engine;
        const SetResponse r = engine.setResponse(m, 3);
        QCOMPARE(plot.chart().curves.size(), size_t(3));
        QCOMPARE(plot.chart().curves[1].db, r.stages[1].db);
        QCOMPARE(plot.chart().curves[2].db, r.cascade);
        QCOMPARE(plot.chart().maxHz, 8600.0);
    }

    void liveOverStored()
    {
        ResponsePlot plot;
        plot.resize(640, 400);
        plot.showLive(flatResponse(-5, -25), flatResponse(-35, 0), 1);
        const PlotGeometry g = plot.geometry();
        const QImage image = grabbed(&plot);
        QVERIFY(colourNear(image, g.point(1500, -5), kStage1Color));
        QVERIFY(colourNear(image, g.point(1500, -35), kStoredColor));
        QVERIFY(!colourNear(image, g.point(1500, -25), kStage2Color)); // the other stage is not shown
        // The range only grows: a later, shallower curve keeps the deeper axis.
        const DbRange first = g.range();
        plot.showLive(flatResponse(-1, 0), flatResponse(-2, 0), 1);
        QCOMPARE(plot.geometry().range(), first);
        plot.resetRange();
        plot.showLive(flatResponse(-1, 0), flatResponse(-2, 0), 1);
        QCOMPARE(plot.geometry().range(), (DbRange{-20, 10}));
    }

    // Moving the cutoff bar moves the live curve's edge; the record is written only by OK.
    void editorFollowsItsBars()
    {
        ScriptedDialog dialog;
        Model m = editorModel(Lowpass);
        const StageConfig before = m.stage(3, 2);
        auto editor = showEditor(m, dialog, Lowpass);
        QVERIFY(editor);
        ResponsePlot *plot = editor->responsePlot();
        QVERIFY(plot);
        QVERIFY(plot->isVisible());
        QCOMPARE(plot->chart().curves.size(), size_t(2));
        QCOMPARE(plot->chart().curves[1].db, plot->chart().curves[0].db);

        bar(editor.get(), QStringLiteral("HScroll1"))->setValue(1000);
        QTRY_VERIFY(plot->chart().curves[1].db != plot->chart().curves[0].db);
        QCOMPARE(m.stage(3, 2), before);
        const ResponseChart &c = plot->chart();
        auto levelAt = [&](const std::vector<double> &db, double hz) {
            return db[size_t(std::lround(hz / 17200 * 1024))];
        };
        QVERIFY(levelAt(c.curves[0].db, 1800) > -1.0);  // stored: 2500 Hz cutoff
        QVERIFY(levelAt(c.curves[1].db, 1800) < -25.0); // edited: 1000 Hz
        QVERIFY(levelAt(c.curves[1].db, 500) > -1.0);

        // The drawn picture follows too.
        const QImage image = grabbed(plot);
        QVERIFY(colourNear(image, plot->geometry().point(1800, levelAt(c.curves[1].db, 1800)), kStage2Color));
        QVERIFY(colourNear(image, plot->geometry().point(1800, levelAt(c.curves[0].db, 1800)), kStoredColor));
        editor->reject();
    }

    void everyEditorButAdaptive_data()
    {
        QTest::addColumn<int>("type");
        for (int t = Adaptive1CH; t <= SpectralEq; ++t)
            QTest::newRow(qPrintable(FilterTypeDisplayText(t))) << t;
    }
    void everyEditorButAdaptive()
    {
        QFETCH(int, type);
        ScriptedDialog dialog;
        Model m = editorModel(FilterType(type));
        auto editor = CreateStageEditor(nullptr, m, dialog, type);
        QVERIFY(editor);
        QCOMPARE(editor->responsePlot() != nullptr, type != Adaptive1CH);
        if (type == Adaptive1CH)
            return;
        const ResponseChart &c = editor->responsePlot()->chart();
        QVERIFY2(!c.curves[1].db.empty(), qPrintable(c.notes.join('\n')));
        QVERIFY(dialog.messages.empty());
    }

    // A note longer than the plot is wide breaks into lines that all stay inside the plot
    // area, and every word of it is printed.
    void legendStaysInsideThePlot()
    {
        ResponseChart c = ChartFromResponse(flatResponse(-10, -20));
        const QString note = QStringLiteral("Conversion Error: this note is far longer than the small plot of an "
                                            "editor window is wide and must wrap onto lines of its own");
        c.notes = QStringList{note};
        for (QSize size : {QSize(320, 220), QSize(460, 300), QSize(900, 520)}) {
            TextRecorder device(size);
            QPainter p(&device);
            PaintChart(p, QRectF(QPointF(0, 0), QSizeF(size)), c);
            p.end();
            const QRectF area = PlotGeometry::forCanvas(size.width(), size.height(), c.maxHz, c.range).area();
            QStringList printedWords;
            for (const TextRecorder::Item &t : device.items) {
                const QStringList words = t.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                if (words.isEmpty() || !note.contains(t.text))
                    continue;
                printedWords += words;
                const double width = QFontMetricsF(t.font).horizontalAdvance(t.text);
                QVERIFY2(t.at.x() >= area.left() && t.at.x() + width <= area.right() + 0.5 && t.at.y() <= area.bottom(),
                         qPrintable(QStringLiteral("%1x%2: \"%3\" at %4..%5, area %6..%7")
                                        .arg(size.width())
                                        .arg(size.height())
                                        .arg(t.text)
                                        .arg(t.at.x())
                                        .arg(t.at.x() + width)
                                        .arg(area.left())
                                        .arg(area.right())));
            }
            QCOMPARE(printedWords.join(QLatin1Char(' ')), note);
        }
    }

    // While a curve is drawn its unentered points are no setting: the live plot keeps the
    // stored curve and says why, and shows the new one once the last point is placed.
    void spectralCurveBeingDrawn()
    {
        ScriptedDialog dialog;
        Model m = editorModel(SpectralEq);
        m.currentStage().SpectralGain.fill(-6.0f);
        auto editor = showEditor(m, dialog, SpectralEq);
        QVERIFY(editor);
        ResponsePlot *plot = editor->responsePlot();
        QVERIFY(plot);
        const std::vector<double> stored = plot->chart().curves[0].db;
        named<QAbstractButton>(editor.get(), QStringLiteral("NewButton"))->click();
        editor->refreshResponse();
        const ResponseChart &c = plot->chart();
        for (const QString &n : c.notes)
            QVERIFY2(!n.contains(QStringLiteral("Single To Fixed")), qPrintable(n));
        QCOMPARE(c.curves[1].db, stored);
        QVERIFY(!c.notes.isEmpty());
        QVERIFY(dialog.messages.empty());
        named<QAbstractButton>(editor.get(), QStringLiteral("AbortButton"))->click();
        editor->refreshResponse();
        QCOMPARE(plot->chart().curves[1].db, stored);
        editor->reject();
    }

    // The 20-band editor's plot offers a logarithmic frequency axis, where the octaves of
    // the bands are equally wide.
    void eqPlotOffersALogarithmicAxis()
    {
        ScriptedDialog dialog;
        Model m = editorModel(GraphicEq20);
        auto editor = showEditor(m, dialog, GraphicEq20);
        QVERIFY(editor);
        auto *log = named<QAbstractButton>(editor.get(), QStringLiteral("logFrequencyCheck"));
        QVERIFY(log);
        QVERIFY(log->isVisible());
        QVERIFY(!editor->responsePlot()->geometry().logHz());
        log->click();
        const PlotGeometry g = editor->responsePlot()->geometry();
        QVERIFY(g.logHz());
        QVERIFY(std::abs((g.x(200) - g.x(100)) - (g.x(4000) - g.x(2000))) < 0.5);
        QCOMPARE(g.x(0), g.area().left());
        QCOMPARE(g.x(8600), g.area().right());
        QVERIFY(g.frequencyTicks().size() >= 3);
        for (double hz : g.frequencyTicks())
            QVERIFY(hz >= PlotGeometry::kLogAxisLowHz && hz <= 8600);
        log->click();
        QVERIFY(!editor->responsePlot()->geometry().logHz());
        editor->reject();
    }

private:
    InProgramFolder inProgramDir_;
};

QTEST_MAIN(TestResponsePlot)
#include "test_responseplot.moc"
