// How the programming sequence ends when the simulated processor misbehaves. Kept apart from
// the other sequence tests because the lost-packet cases sit out the 10 s ACK wait.

#include "datatable.h"
#include "simrig.h"

#include <QTest>

using namespace korvane;
using namespace korvane::test;

class TestSequenceFaults : public QObject {
    Q_OBJECT

private slots:
    // Each fault must end in failure with the right message, never in a success report.
    void faults_data()
    {
        test::addColumns<QStringList, bool, QStringList, QString>("simArgs", "ok", "titles", "lastLogLine");
        QTest::newRow("verdict failed") << QStringList{"--fault", "verdict-failed"} << false
                                        << QStringList{"COM Error!"} << "EOT";
        QTest::newRow("filter command refused")
            << QStringList{"--fault", "invalid=F P F"} << false << QStringList{"COM Error!"} << "F P F";
        QTest::newRow("vanishes mid-upload") << QStringList{"--fault", "vanish-after=50"} << false
                                             << QStringList{"COM Error!"} << "VANISH after 50 blocks";
        QTest::newRow("status refused") << QStringList{"--fault", "invalid=T S"} << true << QStringList{} << "RESET";
        QTest::newRow("version unreadable")
            << QStringList{"--version", "01x5"} << false << QStringList{"Error!"} << "F V";
        QTest::newRow("firmware command refused") << QStringList{"--version", "0100", "--fault", "invalid=F P C"}
                                                  << false << QStringList{"Error!"} << "F P C";
        QTest::newRow("lost block is sent again")
            << QStringList{"--fault", "drop-block=7"} << true << QStringList{} << "RESET";
        QTest::newRow("corrupt block is sent again")
            << QStringList{"--fault", "corrupt-block=5"} << true << QStringList{} << "RESET";
        QTest::newRow("receiver wants CRC")
            << QStringList{"--fault", "c-instead-of-nak"} << false << QStringList{"COM Error!"} << "EOT";
        QTest::newRow("lost ack is sent again")
            << QStringList{"--fault", "drop-ack=220"} << true << QStringList{} << "RESET";
    }
    void faults()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(bool, ok);
        QFETCH(QStringList, titles);
        QFETCH(QString, lastLogLine);
        SimRig rig;
        QStringList args = simArgs;
        if (!args.contains("--filters") && !args.join(' ').contains("invalid=T S"))
            args += QStringList{"--filters", "3"};
        QVERIFY(rig.startSim(1, args));
        const QByteArray image = rig.writeFilterImage();
        QCOMPARE(rig.sequence().ProgramDevice(), ok);
        QCOMPARE(rig.dialog.titles(), titles);
        QVERIFY(rig.sim().waitForLogLine(lastLogLine, 15000));
        QCOMPARE(rig.sim().logLines().back(), lastLogLine);
        if (ok)
            QCOMPARE(rig.sim().image(), image);
        if (QTest::currentDataTag() == QLatin1String("version unreadable"))
            QCOMPARE(rig.dialog.messages[0].text, QStringLiteral("Error retrieving firmware version from Korvane-S"));
        if (QTest::currentDataTag() == QLatin1String("firmware command refused"))
            QCOMPARE(rig.dialog.messages[0].text,
                     QStringLiteral("Error transmitting updated firmware.  Unit may not function properly.  Please "
                                    "contact Halvern for further assistance."));
        // The message of the sequence first; a line that went away says so after it, naming
        // the device.
        if (titles == QStringList{"COM Error!"}) {
            const QString text = rig.dialog.messages[0].text;
            const QString fixed = QStringLiteral(
                "Error Writing COM Port.\rEnsure Korvane-S is on and\rcorrect COM Port is selected");
            if (QTest::currentDataTag() == QLatin1String("vanishes mid-upload"))
                QVERIFY2(text.startsWith(fixed + QStringLiteral("\r"))
                             && text.endsWith(QStringLiteral(": the device went away")),
                         qPrintable(text));
            else
                QCOMPARE(text, fixed);
        }
    }

    void silentProcessorIsNotFound()
    {
        SimRig rig;
        QVERIFY(rig.startSim(5, {"--fault", "silent"}));
        rig.model.ComPort = 5;
        QVERIFY(!rig.sequence().LocateDevice());
        QCOMPARE(rig.model.ComPort, int16_t(5));
        QCOMPARE(rig.dialog.titles(), QStringList{"Communications Error!"});
        QCOMPARE(
            rig.dialog.messages[0].text,
            QStringLiteral("Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting is correct."));
        QCOMPARE(rig.sim().logLines(), QStringList({"F V", "F V", "F V", "F V", "F V"}));
    }
};

QTEST_GUILESS_MAIN(TestSequenceFaults)
#include "test_sequencefaults.moc"
