// What the progress window says to a screen reader and when, on a time the test gives.

#include "app/progressannouncer.h"

#include <QTest>

using korvane::ProgressAnnouncer;

class TestProgressAnnouncer : public QObject {
    Q_OBJECT

private slots:
    void saysWhatChangedAtAListenablePace_data()
    {
        // events: "s:caption@ms" (stage), "p:packet/total@ms" (packet sent), "r:result@ms".
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("packets wait out the stage")
            << QStringList{"s:Programming Filters@0", "p:1/224@100", "p:36/224@4999", "p:37/224@5000"}
            << QStringList{"Programming Filters", "Data Packet 37 of 224"};
        QTest::newRow("one count every 5 s, not every packet")
            << QStringList{"p:1/224@0", "p:8/224@1000", "p:40/224@5000", "p:41/224@9999", "p:76/224@10000"}
            << QStringList{"Data Packet 1 of 224", "Data Packet 40 of 224", "Data Packet 76 of 224"};
        QTest::newRow("a caption set again is not said again")
            << QStringList{"s:Finding Korvane-S@0", "s:Finding Korvane-S@10", "s:Configuring Filters@20"}
            << QStringList{"Finding Korvane-S", "Configuring Filters"};
        QTest::newRow("the result at once, after a count")
            << QStringList{"p:224/224@0", "r:Success@10"} << QStringList{"Data Packet 224 of 224", "Success"};
    }
    void saysWhatChangedAtAListenablePace()
    {
        QFETCH(QStringList, events);
        QFETCH(QStringList, said);
        ProgressAnnouncer a;
        QStringList heard;
        for (const QString &e : events) {
            const QString what = e.mid(2).section('@', 0, 0);
            const qint64 ms = e.section('@', 1).toLongLong();
            const std::optional<QString> text = e[0] == 's' ? a.stage(what, ms)
                : e[0] == 'p' ? a.packet(what.section('/', 0, 0).toInt(), what.section('/', 1).toInt(), ms)
                              : a.result(what, ms);
            if (text)
                heard << *text;
        }
        QCOMPARE(heard, said);
    }
};

QTEST_GUILESS_MAIN(TestProgressAnnouncer)
#include "test_progressannouncer.moc"
