// The table of stage limits against every copy of it: validation, each editor's bar and the
// typed field beside the bar, at each bandwidth. A range written anywhere else drifts from the
// table and fails here.

#include "config/stagelimits.h"
#include "datatable.h"
#include "editortesting.h"
#include "scripteddialog.h"

#include <QLineEdit>
#include <QSet>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

Q_DECLARE_METATYPE(const StageLimit *)

class TestStageLimits : public QObject {
    Q_OBJECT
private slots:
    void copiesAgreeWithTheTable_data();
    void copiesAgreeWithTheTable();
};

void TestStageLimits::copiesAgreeWithTheTable_data()
{
    test::addColumns<const StageLimit *, int>("limit", "bandwidth");
    std::vector<const StageLimit *> rows{&kEqBandLimit};
    for (const StageLimit &l : AllStageLimits())
        rows.push_back(&l);
    for (const StageLimit *l : rows)
        for (int bandwidth = 0; bandwidth <= 2; ++bandwidth)
            QTest::addRow("%s %s bw%d", qPrintable(FilterTypeDisplayText(l->type)), l->field, bandwidth)
                << l << bandwidth;
}

void TestStageLimits::copiesAgreeWithTheTable()
{
    QFETCH(const StageLimit *, limit);
    QFETCH(int, bandwidth);
    const auto type = static_cast<FilterType>(limit->type);
    Model m = editorModel(type, bandwidth);
    const int maxHz = m.MaxFilterFrequency(m.CurrentSet);
    StageConfig &r = m.currentStage();

    // Validation (of Stage 2, which keeps Stage 1's bandwidth) keeps the type's defaults and
    // moves a value just outside the range to its end.
    auto field = [limit](StageConfig &s) -> int16_t & {
        return limit->member ? s.*limit->member : s.EqBand[kEqBandCount - 1];
    };
    auto validated = [&](int value) {
        Model v = m;
        field(v.currentStage()) = int16_t(value);
        v.ValidateStage(v.CurrentSet, 2);
        return int(field(v.currentStage()));
    };
    QCOMPARE(validated(field(r)), int(field(r)));
    QCOMPARE(validated(limit->high.at(maxHz) + 1), limit->high.at(maxHz));
    if (limit->low.kind != LimitEnd::FromOtherFields)
        QCOMPARE(validated(limit->low.at(maxHz) - 1), limit->low.at(maxHz));
    if (!limit->bar)
        return;

    // Both cutoffs of a band filter can reach their ends only while the other gives way.
    if (type == Bandpass || type == Bandstop) {
        r.Freq1 = 0;
        r.Freq2 = int16_t(maxHz);
    }
    ScriptedDialog d;
    auto w = showEditor(m, d, type);
    QVERIFY(w);
    const QString barName = QString::fromLatin1(limit->bar)
        + (limit == &kEqBandLimit ? QStringLiteral("19") : QString());
    SettingBar *b = bar(w.get(), barName);
    QVERIFY(b);
    QCOMPARE(b->minimum(), limit->barMinimum(maxHz));
    QCOMPARE(b->maximum(), limit->barMaximum(maxHz));
    QCOMPARE(b->smallChange(), limit->smallStep);
    QCOMPARE(b->largeChange(), limit->largeStep);

    // A typed figure far beyond either end moves the bar to an end: to the setting whose
    // figure the field shows at that end (neighbouring settings may show the same figure).
    const int lowEnd = limit->barLowEnd().at(maxHz), highEnd = limit->high.at(maxHz);
    const QList<QLineEdit *> fields = w->findChildren<QLineEdit *>(
        QRegularExpression(QStringLiteral("^%1Value").arg(barName) + QStringLiteral("[A-Za-z]*$")));
    QVERIFY(!fields.isEmpty());
    for (QLineEdit *field : fields) {
        QSet<QString> atEnds, typed;
        for (int end : {lowEnd, highEnd}) {
            b->setValue(end);
            atEnds << field->text();
        }
        for (const char *text : {"-99999", "99999"}) {
            field->setText(QString::fromLatin1(text));
            QTest::keyClick(field, Qt::Key_Return);
            QVERIFY(b->value() >= lowEnd && b->value() <= highEnd);
            typed << field->text();
        }
        QCOMPARE(typed, atEnds);
    }
}

QTEST_MAIN(TestStageLimits)
#include "test_stagelimits.moc"
