// The editors' figures and the spectral curve operations, without a display.

#include "datatable.h"
#include "editors/spectraltrace.h"
#include "labelformulas/labelformulas.h"

#include <QTest>

using namespace korvane;
using G = SpectralPlotGeometry;

Q_DECLARE_METATYPE(korvane::EqBands)

namespace {
TraceValues flat(float v)
{
    TraceValues t;
    t.fill(v);
    return t;
}

bool noUndefined(const TraceValues &t)
{
    return std::none_of(t.begin(), t.end(), [](float v) { return SpectralTrace::isUndefined(v); });
}

// x in plot units inside point k's column.
int rawAt(int k) { return G::pointIndex(k == kLastPoint ? 6900.0 : 500 + (k + 0.5) * 6400.0 / 114.0); }
} // namespace

class TestEditorLogic : public QObject {
    Q_OBJECT
private slots:
    void labels_data();
    void labels();
    void cutoffPair();
    void eqBulk_data();
    void eqBulk();
    void eqFrequencyColumns();
    void geometry();
    void newCurveInterpolates();
    void editRegionAfterDrop();
    void edgeClicksOnSamePoint();
    void secondEdgeLeftOfFirst();
    void pointsClampToRegion();
    void readoutFollowsState();
    void normalizeAndUndo();
    void abortRestoresBeforeDrop();
};

void TestEditorLogic::labels_data()
{
    test::addColumns<QString, QString>("shown", "expected");
    QTest::newRow("lowpass slope 17200") << SlopeLabel(64, 2500, 17200) << "228";
    QTest::newRow("lowpass slope 9000") << SlopeLabel(64, 2500, 9000) << "436";
    QTest::newRow("bandpass lower slope") << SlopeLabel(64, 300 / 2.0, 17200) << "14";
    QTest::newRow("bandpass upper slope") << SlopeLabel(64, 2500, 17200) << "228";
    QTest::newRow("notch width") << WidthLabel(64, kNotchWidthFactor, 17200) << "397";
    QTest::newRow("slot width") << WidthLabel(64, kSlotWidthFactor, 17200) << "227";
    QTest::newRow("comb 286 at 17200") << CombFundamentalLabel(286, 17200) << "60.00";
    // 60 Hz is only the rounding of 17200 / 287; elsewhere the label shows the true spacing.
    QTest::newRow("comb 286 at 9000") << CombFundamentalLabel(286, 9000) << "31.36";
    QTest::newRow("comb 286 at 12000") << CombFundamentalLabel(286, 12000) << "41.81";
    QTest::newRow("comb 287 at 17200") << CombFundamentalLabel(287, 17200) << "59.72";
    QTest::newRow("comb 285") << CombFundamentalLabel(285, 17200) << "60.14";
    QTest::newRow("comb 5") << CombFundamentalLabel(5, 17200) << "2866.67";
    QTest::newRow("comb 509") << CombFundamentalLabel(509, 17200) << "33.73";
    QTest::newRow("128 taps 17200") << MillisecondsLabel(128, 17200) << "0007.442";
    QTest::newRow("128 taps 12000") << MillisecondsLabel(128, 12000) << "0010.667";
    QTest::newRow("128 taps 9000") << MillisecondsLabel(128, 9000) << "0014.222";
    QTest::newRow("256 taps 9000") << MillisecondsLabel(256, 9000) << "0028.444";
    QTest::newRow("span 3 17200") << MillisecondsLabel(3, 17200) << "0000.174";
    QTest::newRow("span 64 9000") << MillisecondsLabel(64, 9000) << "0007.111";
    QTest::newRow("lower cutoff out") << LowerCutoffLabel(0) << "(Out)";
    QTest::newRow("lower cutoff") << LowerCutoffLabel(300) << "300";
    QTest::newRow("eq gain 5") << EqGainLabel(5) << "-5";
    QTest::newRow("eq gain 0") << EqGainLabel(0) << "0";
    QTest::newRow("half rounds away") << FormatFixed(2.5, 0) << "3";
    QTest::newRow("negative half") << FormatFixed(-2.25, 1) << "-2.3";
    QTest::newRow("no minus zero") << FormatFixed(-0.04, 1) << "0.0";
}

void TestEditorLogic::labels()
{
    QFETCH(QString, shown);
    QFETCH(QString, expected);
    QCOMPARE(shown, expected);
}

void TestEditorLogic::cutoffPair()
{
    QCOMPARE(ConstrainLowerCutoff(950, 1000), 900);
    QCOMPARE(ConstrainLowerCutoff(900, 1000), 900);
    QCOMPARE(ConstrainLowerCutoff(0, 100), 0);
    QCOMPARE(ConstrainUpperCutoff(950, 900), 1000);
    QCOMPARE(ConstrainUpperCutoff(1000, 900), 1000);
}

void TestEditorLogic::eqBulk_data()
{
    test::addColumns<EqBands, EqBands, EqBands>("before", "normalized", "downOne");
    EqBands a;
    a.fill(10);
    a[0] = 3;
    a[1] = 7;
    EqBands an;
    an.fill(7);
    an[0] = 0;
    an[1] = 4;
    EqBands ad;
    ad.fill(11);
    ad[0] = 4;
    ad[1] = 8;
    QTest::newRow("3, 7 and eighteen 10s") << a << an << ad;
    EqBands eq;
    eq.fill(25);
    EqBands eqd;
    eqd.fill(26);
    QTest::newRow("all equal") << eq << EqBands{} << eqd;
    EqBands z{};
    z[5] = 40;
    z[6] = 12;
    EqBands zd;
    zd.fill(1);
    zd[5] = 40;
    zd[6] = 13;
    QTest::newRow("one band at 0, one at 40") << z << z << zd;
}

void TestEditorLogic::eqBulk()
{
    QFETCH(EqBands, before);
    QFETCH(EqBands, normalized);
    QFETCH(EqBands, downOne);
    QCOMPARE(EqNormalize(before), normalized);
    QCOMPARE(EqAllDown1dB(before), downOne);
}

void TestEditorLogic::eqFrequencyColumns()
{
    QCOMPARE(EqFrequencyLabels(0)[0], QStringLiteral("75"));
    QCOMPARE(EqFrequencyLabels(0)[19], QStringLiteral("3.7K"));
    QCOMPARE(EqFrequencyLabels(1)[0], QStringLiteral("67"));
    QCOMPARE(EqFrequencyLabels(1)[19], QStringLiteral("4.9K"));
    QCOMPARE(EqFrequencyLabels(2)[0], QStringLiteral("100"));
    QCOMPARE(EqFrequencyLabels(2)[5], QStringLiteral("1.1K"));
    QCOMPARE(EqFrequencyLabels(2)[19], QStringLiteral("7.4K"));
    QCOMPARE(EqFrequencyLabels(7), EqFrequencyLabels(1));
}

void TestEditorLogic::geometry()
{
    QCOMPARE(G::dBToVideo(0.0f), 90);
    QCOMPARE(G::dBToVideo(-40.0f), 2470);
    QCOMPARE(G::dBToVideo(-10.0f), 685);
    QCOMPARE(G::VideoTodB(1280), -20.0f);
    QCOMPARE(G::pointerDb(50), 0.0f);
    QCOMPARE(G::pointerDb(3000), -40.0f);
    QCOMPARE(G::pointerDb(1e9), -40.0f);
    QCOMPARE(G::pointX(0), 500);
    QCOMPARE(G::pointX(57), 3700);
    QCOMPARE(G::pointX(114), 6900);
    QCOMPARE(G::pointIndex(6900), 114);
    QCOMPARE(G::pointIndex(499), -1); // clamped to 0 by every user of the index
    QCOMPARE(G::pointIndex(3700), 57);
    for (int k = 0; k <= kLastPoint; ++k) {
        const QPoint px = G::pixelForPoint(k, 1280);
        QCOMPARE(G::pointIndex(G::toUnits(px).x()), k);
    }
    QCOMPARE(G::cursorX(10), 500);
    QCOMPARE(G::cursorX(7200), 6900);

    SpectralTrace t(flat(-3.0f));
    QCOMPARE(t.readout(rawAt(57), 0.0f, 17200).hz, 57 * 17200 / 256.0);
    QCOMPARE(FormatFixed(t.readout(rawAt(57), 0.0f, 17200).hz, 0), QStringLiteral("3830"));
    QCOMPARE(FormatFixed(17200 * 115.0 / 256.0, 0), QStringLiteral("7727"));
    QCOMPARE(FormatFixed(12000 * 115.0 / 256.0, 0), QStringLiteral("5391"));
    QCOMPARE(FormatFixed(9000 * 115.0 / 256.0, 0), QStringLiteral("4043"));
}

void TestEditorLogic::newCurveInterpolates()
{
    SpectralTrace t(flat(-5.0f));
    t.startNew();
    QVERIFY(t.editActive());
    QVERIFY(!t.fullDrawing());
    QCOMPARE(t.trace()[0], -5.0f);
    QVERIFY(SpectralTrace::isUndefined(t.trace()[1]));

    QCOMPARE(t.release(rawAt(40), 0.0f), SpectralTrace::Release::PointPlaced); // first click is point 0
    QCOMPARE(t.trace()[0], 0.0f);
    QVERIFY(t.firstPointMarked());
    QCOMPARE(t.release(rawAt(20), -20.0f), SpectralTrace::Release::PointPlaced);
    QCOMPARE(t.enteredLines().size(), std::size_t(1));
    QCOMPARE(t.release(rawAt(114), -10.0f), SpectralTrace::Release::Completed);
    QVERIFY(!t.editActive());
    QVERIFY(t.traceModified());
    QVERIFY(t.undoOffered());
    QVERIFY(noUndefined(t.trace()));
    for (int i = 0; i <= 20; ++i)
        QCOMPARE(t.trace()[i], 0.0f + float(i) * -20.0f / 20.0f);
    for (int i = 21; i <= 114; ++i)
        QCOMPARE(t.trace()[i], -20.0f + float(i - 20) * 10.0f / 94.0f);
    QCOMPARE(t.trace()[114], -10.0f);
    QCOMPARE(t.undoTrace(), flat(-5.0f));
}

void TestEditorLogic::editRegionAfterDrop()
{
    TraceValues start;
    for (int k = 0; k < kTracePoints; ++k)
        start[k] = -float(k % 40); // some points fall below -40 after the drop
    SpectralTrace t(start);
    t.startEdit(10.0f);
    QVERIFY(t.definingEdges());
    QCOMPARE(t.editLeft(), -1);
    for (int k = 0; k < kTracePoints; ++k)
        QCOMPARE(t.trace()[k], std::max(start[k] - 10.0f, -40.0f));

    QCOMPARE(t.release(rawAt(30), -33.0f), SpectralTrace::Release::FirstEdge);
    QCOMPARE(t.release(rawAt(60), -33.0f), SpectralTrace::Release::SecondEdge);
    QCOMPARE(t.editLeft(), 30);
    QCOMPARE(t.editRight(), 60);
    QVERIFY(!t.firstPoint());
    for (int k = 31; k <= 60; ++k)
        QVERIFY(SpectralTrace::isUndefined(t.trace()[k]));

    QCOMPARE(t.release(rawAt(45), -25.0f), SpectralTrace::Release::PointPlaced);
    QCOMPARE(t.release(rawAt(60), -5.0f), SpectralTrace::Release::Completed);
    const float a30 = std::max(start[30] - 10.0f, -40.0f);
    for (int k = 31; k < 45; ++k)
        QCOMPARE(t.trace()[k], a30 + float(k - 30) * (-25.0f - a30) / 15.0f);
    for (int k = 46; k < 60; ++k)
        QCOMPARE(t.trace()[k], -25.0f + float(k - 45) * 20.0f / 15.0f);
    for (int k : {0, 15, 30, 61, 100, 114})
        QCOMPARE(t.trace()[k], std::max(start[k] - 10.0f, -40.0f));
}

void TestEditorLogic::edgeClicksOnSamePoint()
{
    SpectralTrace t(flat(-6.0f));
    t.startEdit(0.0f);
    t.release(rawAt(50), -1.0f);
    t.release(rawAt(50), -1.0f);
    QCOMPARE(t.editLeft(), 50);
    QCOMPARE(t.editRight(), 51);
    QCOMPARE(t.release(rawAt(51), -12.0f), SpectralTrace::Release::Completed);
    QCOMPARE(t.trace()[51], -12.0f);
    QVERIFY(!t.traceModified()); // nothing needed interpolating

    SpectralTrace end(flat(-6.0f));
    end.startEdit(0.0f);
    end.release(rawAt(114), -1.0f);
    end.release(G::pointIndex(7200), -1.0f);
    QCOMPARE(end.editLeft(), 113);
    QCOMPARE(end.editRight(), 114);
    QCOMPARE(end.trace()[113], -6.0f);
    QVERIFY(SpectralTrace::isUndefined(end.trace()[114]));

    // Edges at point 0: the first click re-enters point 0 as the anchor.
    SpectralTrace left(flat(-6.0f));
    left.startEdit(0.0f);
    left.release(G::pointIndex(100), -1.0f);
    left.release(rawAt(10), -1.0f);
    QVERIFY(left.firstPoint());
    left.release(rawAt(5), -2.0f);
    QCOMPARE(left.trace()[0], -2.0f);
    QCOMPARE(left.release(rawAt(30), -12.0f), SpectralTrace::Release::Completed);
    QCOMPARE(left.trace()[10], -12.0f);
    QCOMPARE(left.trace()[5], -2.0f + 5.0f * -10.0f / 10.0f);
}

void TestEditorLogic::secondEdgeLeftOfFirst()
{
    SpectralTrace t(flat(-6.0f));
    t.startEdit(0.0f);
    t.release(rawAt(80), 0.0f);
    t.release(rawAt(20), 0.0f);
    QCOMPARE(t.editLeft(), 20);
    QCOMPARE(t.editRight(), 80);
    QCOMPARE(t.trace()[20], -6.0f);
    QVERIFY(SpectralTrace::isUndefined(t.trace()[21]));
    QVERIFY(SpectralTrace::isUndefined(t.trace()[80]));
    QCOMPARE(t.trace()[81], -6.0f);
}

void TestEditorLogic::pointsClampToRegion()
{
    SpectralTrace t(flat(-6.0f));
    t.startEdit(0.0f);
    t.release(rawAt(30), 0.0f);
    t.release(rawAt(60), 0.0f);
    // Left of the anchor: becomes the next point right of it.
    QCOMPARE(t.release(rawAt(10), -20.0f), SpectralTrace::Release::PointPlaced);
    QCOMPARE(t.editLeft(), 31);
    QCOMPARE(t.trace()[31], -20.0f);
    // Far right: becomes the region's last point and completes.
    QCOMPARE(t.release(rawAt(100), -20.0f), SpectralTrace::Release::Completed);
    QCOMPARE(t.lastPoint(), 60);
    QCOMPARE(t.trace()[45], -20.0f);
    QCOMPARE(t.trace()[61], -6.0f);
}

void TestEditorLogic::readoutFollowsState()
{
    SpectralTrace t(flat(-7.5f));
    TraceReadout r = t.readout(200, -3.0f, 12000);
    QCOMPARE(r.point, 114);
    QCOMPARE(r.dB, -7.5f); // idle: the curve's level under the pointer

    t.startNew();
    r = t.readout(rawAt(30), -3.0f, 12000);
    QCOMPARE(r.hz, 0.0); // the first point is always point 0
    QCOMPARE(r.dB, -3.0f);
    t.release(rawAt(0), -3.0f);
    r = t.readout(rawAt(30), -4.0f, 12000);
    QCOMPARE(r.point, 30);
    QCOMPARE(r.dB, -4.0f);

    SpectralTrace e(flat(-7.5f));
    e.startEdit(5.0f);
    r = e.readout(rawAt(30), -1.0f, 12000);
    QCOMPARE(r.dB, -12.5f); // choosing edges reads the dropped curve
    QCOMPARE(t.release(-5, 0.0f), SpectralTrace::Release::PointPlaced);

    SpectralTrace idle(flat(-1.0f));
    QCOMPARE(idle.release(rawAt(3), -20.0f), SpectralTrace::Release::Ignored);
    QCOMPARE(idle.trace(), flat(-1.0f));
}

void TestEditorLogic::normalizeAndUndo()
{
    TraceValues start = flat(-20.0f);
    start[40] = -6.0f;
    SpectralTrace t(start);
    t.normalize();
    QCOMPARE(t.trace()[40], 0.0f);
    QCOMPARE(t.trace()[0], -14.0f);
    QVERIFY(!t.traceModified());
    QVERIFY(t.undoOffered()); // Normalize is undone like New and Edit
    t.undo();
    QCOMPARE(t.trace(), start);

    // After a completed New, Undo returns to the curve before the latest Normalize.
    SpectralTrace n(flat(-30.0f));
    n.startNew();
    n.release(0, -6.0f);
    n.release(rawAt(114), -6.0f);
    const TraceValues drawn = n.trace();
    n.normalize();
    QCOMPARE(n.trace()[70], 0.0f);
    QVERIFY(n.undoOffered());
    n.undo();
    QCOMPARE(n.trace(), drawn);
}

void TestEditorLogic::abortRestoresBeforeDrop()
{
    TraceValues start = flat(-12.0f);
    start[9] = -2.0f;
    SpectralTrace t(start);
    t.startEdit(35.0f);
    t.release(rawAt(5), 0.0f);
    t.release(rawAt(25), 0.0f);
    t.release(rawAt(10), -1.0f);
    t.abort();
    QCOMPARE(t.trace(), start);
    QVERIFY(!t.editActive());
    QVERIFY(t.undoOffered());
    QVERIFY(t.fullDrawing());
    QCOMPARE(t.editLeft(), 0);
    QCOMPARE(t.editRight(), 114);
}

QTEST_APPLESS_MAIN(TestEditorLogic)
#include "test_editorlogic.moc"
