// The programming log's appends under concurrency and failure, and the cancel request of
// one run among several.

#include "device/comroutines.h"
#include "device/programminglog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

using namespace korvane;

class TestProgrammingLog : public QObject {
    Q_OBJECT

private slots:
    // Runs that end together (threads here, processes in use) never tear or mix lines.
    void concurrentAppendsStayWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("state/programming-log.jsonl");
        constexpr int kWriters = 6;
        constexpr int kLines = 150;
        std::vector<std::unique_ptr<QThread>> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back(QThread::create([w, &path] {
                for (int i = 0; i < kLines; ++i)
                    (void)AppendProgrammingLog({{"writer", w}, {"line", i}, {"pad", QString(400, QChar('a' + w))}},
                                               nullptr, path);
            }));
            writers.back()->start();
        }
        for (auto &t : writers)
            t->wait();
        QFile raw(path);
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll().count('\n'), kWriters * kLines);
        QList<QJsonObject> lines;
        QVERIFY(ReadProgrammingLog(lines, nullptr, path));
        QCOMPARE(lines.size(), kWriters * kLines);
        for (const QJsonObject &l : lines)
            QCOMPARE(l["pad"].toString(), QString(400, QChar('a' + l["writer"].toInt())));
    }

    void unwritableLogSaysWhere()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("plain"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QString why;
        const QString path = dir.filePath("plain/programming-log.jsonl");
        QVERIFY(!AppendProgrammingLog({{"a", 1}}, &why, path));
        QVERIFY2(why.startsWith(dir.filePath("plain")), qPrintable(why));
    }

    // A run with a cancel request of its own: cancelling it leaves the others', and the
    // process-wide one, alone.
    void ownCancelRequestIsItsOwn()
    {
        std::atomic<bool> mine{false};
        std::atomic<bool> other{false};
        {
            const CancelScope scope(mine);
            QVERIFY(!RequestCancel());
            QVERIFY(IsCancelRequested());
            bool seenElsewhere = true;
            std::unique_ptr<QThread> t(QThread::create([&] { seenElsewhere = IsCancelRequested(); }));
            t->start();
            t->wait();
            QVERIFY(!seenElsewhere);
            const CancelScope inner(other);
            QVERIFY(!IsCancelRequested());
        }
        QVERIFY(mine);
        QVERIFY(!other);
        QVERIFY(!IsCancelRequested());
    }
};

QTEST_GUILESS_MAIN(TestProgrammingLog)
#include "test_programminglog.moc"
