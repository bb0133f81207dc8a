// The programming sequence against the simulated processor on a real pseudo-terminal, one
// run per fault of the line or the processor and per moment of a cancel. Every run must end
// with its proper result and messages, report success only when the processor holds the
// whole image, close the port and leave the model alone. Each run adds a row to a table
// (observed against expected) that tools/reliability/fault-table.sh turns into the report.
//
// Built twice: the quick runs, and (KORVANE_SLOW_FAULTS) the ones that sit out the full
// XMODEM time-outs (10 tries of 10 s, minutes per run), labelled slow.
#include "coefgen/coefimage.h"
#include "datatable.h"
#include "device/programmingsequence.h"
#include "device/qtserialline.h"
#include "scripteddialog.h"
#include "simprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

const QString kSuccess = QStringLiteral("Success");
const QString kAborted = QStringLiteral("Programming Aborted");
const QString kComError = QStringLiteral("COM Error!");
const QString kNotFound = QStringLiteral("Communications Error!");

// What the test does to the run besides the sim's own fault.
enum class Action { None, CancelOnProbe, CancelAtStage, CancelAtPacket, ClosePtyAtPacket };

Model sampleModel()
{
    Model m;
    m.ResetAllFilterSets();
    m.ComPort = 3;
    m.CurrentSet = 0;
    const FilterType types[] = {FilterType::Lowpass, FilterType::Bandpass, FilterType::Notch, FilterType::Comb};
    for (int set = 0; set < kFilterSetCount; ++set) {
        m.CurrentSet = static_cast<int16_t>(set);
        m.stage(set, 1).Type = static_cast<int16_t>(types[set % 4]);
        m.ApplyTypeDefaults(1);
    }
    m.CurrentSet = 0;
    return m;
}

QString tablePath()
{
    const QString env = qEnvironmentVariable("KORVANE_FAULT_TABLE");
    return env.isEmpty() ? QStringLiteral(KORVANE_FAULT_TABLE_DEFAULT) : env;
}

QString cell(QString text)
{
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(kCR, QStringLiteral(" / "));
}

} // namespace

class TestFaultInjection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void programmingRun_data();
    void programmingRun();
};

void TestFaultInjection::initTestCase()
{
    QVERIFY2(QFileInfo::exists(SimProcess::programPath()), "korvane-s-sim is not built");
    QDir().mkpath(QFileInfo(tablePath()).absolutePath());
    QFile table(tablePath());
    QVERIFY(table.open(QIODevice::WriteOnly | QIODevice::Truncate));
    table.write("fault\texpected_result\texpected_message\tobserved_result\tobserved_message\tport_closed\t"
                "model_untouched\tseconds\tverdict\n");
}

void TestFaultInjection::programmingRun_data()
{
    // actionAt: stage caption or packet number
    test::addColumns<QStringList, int, QString, bool, QStringList>("simArgs", "action", "actionAt", "expectOk",
                                                                   "expectTitles");

    const QStringList aborted{kComError, kAborted};
    const int none = int(Action::None);
#ifndef KORVANE_SLOW_FAULTS
    QTest::newRow("no fault") << QStringList() << none << QString() << true << QStringList{kSuccess};
    QTest::newRow("silent") << QStringList{"--fault", "silent"} << none << QString() << false << QStringList{kNotFound};
    QTest::newRow("invalid=F V") << QStringList{"--fault", "invalid=F V"} << none << QString() << false
                                 << QStringList{kNotFound};
    // An unanswered "T S" leaves the count at 0; the run goes on.
    QTest::newRow("invalid=T S") << QStringList{"--fault", "invalid=T S"} << none << QString() << true
                                 << QStringList{kSuccess};
    QTest::newRow("invalid=F P F") << QStringList{"--fault", "invalid=F P F"} << none << QString() << false << aborted;
    // A reload the processor refuses: its own message, and no "COM Error!" on top.
    QTest::newRow("invalid=F P C (reload refused)")
        << QStringList{"--filters", "12", "--fault", "invalid=F P C"} << none << QString() << false
        << QStringList{QStringLiteral("Error!"), kAborted};
    // A version that is not four digits does not count as an answer, so nothing is found.
    QTest::newRow("version 01x5") << QStringList{"--version", "01x5"} << none << QString() << false
                                  << QStringList{kNotFound};
    // The image arrived, but the processor never confirmed the restart.
    QTest::newRow("invalid=RESET") << QStringList{"--fault", "invalid=RESET"} << none << QString() << false << aborted;
    // A lost block costs one 10-second wait and a repeat, a damaged one (NAK) an immediate
    // repeat; the image still arrives.
    QTest::newRow("drop-block=5") << QStringList{"--fault", "drop-block=5"} << none << QString() << true
                                  << QStringList{kSuccess};
    QTest::newRow("corrupt-block=200") << QStringList{"--fault", "corrupt-block=200"} << none << QString() << true
                                       << QStringList{kSuccess};
    QTest::newRow("drop-ack=224") << QStringList{"--fault", "drop-ack=224"} << none << QString() << true
                                  << QStringList{kSuccess};
    QTest::newRow("verdict-failed") << QStringList{"--fault", "verdict-failed"} << none << QString() << false
                                    << aborted;
    // No packet goes out: the sender waits 10 s for a NAK that never comes.
    QTest::newRow("c-instead-of-nak") << QStringList{"--fault", "c-instead-of-nak"} << none << QString() << false
                                      << aborted;
    // The line goes away mid-transfer: the sim closing its end, or the sim killed.
    QTest::newRow("vanish-after=100") << QStringList{"--fault", "vanish-after=100"} << none << QString() << false
                                      << aborted;
    QTest::newRow("pty closed after packet 100")
        << QStringList() << int(Action::ClosePtyAtPacket) << QStringLiteral("100") << false << aborted;

    // A cancel never brings "COM Error!": it is the user's doing.
    QTest::newRow("cancel while finding the processor")
        << QStringList() << int(Action::CancelOnProbe) << QString() << false << QStringList{kNotFound};
    for (const char *stage : {"Configuring Filters", "Determining Firmware Status", "Programming Filters"})
        QTest::addRow("cancel at \"%s\"", stage) << QStringList() << int(Action::CancelAtStage)
                                                 << QString::fromLatin1(stage) << false << QStringList{kAborted};
    for (const char *packet : {"1", "100", "224"})
        QTest::addRow("cancel after packet %s", packet)
            << QStringList() << int(Action::CancelAtPacket) << QString::fromLatin1(packet) << false
            << QStringList{kAborted};
    // The reload cannot be cancelled: an interrupted firmware would leave the unit unusable.
    QTest::newRow("cancel during the firmware reload")
        << QStringList{"--filters", "12"} << int(Action::CancelAtPacket) << QStringLiteral("firmware:100") << true
        << QStringList{kSuccess};
#else
    QTest::newRow("nak-only") << QStringList{"--fault", "nak-only"} << none << QString() << false << aborted;
    QTest::newRow("stall-after=100") << QStringList{"--fault", "stall-after=100"} << none << QString() << false
                                     << aborted;
#endif
}

void TestFaultInjection::programmingRun()
{
    QFETCH(QStringList, simArgs);
    QFETCH(int, action);
    QFETCH(QString, actionAt);
    QFETCH(bool, expectOk);
    QFETCH(QStringList, expectTitles);

    // 4 filters and the firmware file's own version: no reload unless the row asks for one.
    QStringList args{"--filters", "4"};
    args += simArgs;
    SimProcess sim(args);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));

    QTemporaryDir folder;
    const QString firmware = QDir(qEnvironmentVariable("KORVANE_PROGRAM_DIR")).filePath(QStringLiteral("korvanes.fwr"));
    QVERIFY2(QFileInfo::exists(firmware), "korvanes.fwr is not built");

    Model model = sampleModel();
    const Model before = model;
    ScriptedDialog dialog;
    QtSerialLine line(sim.devicePath());
    ProgrammingOptions options;
    options.programFolder = folder.path();
    options.firmwarePath = firmware;
    options.onlyDevicePath = sim.devicePath();
    options.line = &line;
    ProgrammingSequence sequence(model, dialog, options);

    bool inReload = false;
    bool acted = false;
    const Action what = Action(action);
    connect(&sequence, &ProgrammingSequence::portProbed, this, [&](int) {
        if (what == Action::CancelOnProbe && !acted) {
            acted = true;
            sequence.requestCancel();
        }
    });
    connect(&sequence, &ProgrammingSequence::stageChanged, this, [&](const QString &caption) {
        inReload = caption == QLatin1String("Uploading Firmware");
        if (what == Action::CancelAtStage && caption == actionAt && !acted) {
            acted = true;
            sequence.requestCancel();
        }
    });
    connect(&sequence, &ProgrammingSequence::packetSent, this, [&](int packet) {
        const bool firmwareRow = actionAt.startsWith(QLatin1String("firmware:"));
        const int at = (firmwareRow ? actionAt.mid(9) : actionAt).toInt();
        if (acted || packet != at || firmwareRow != inReload)
            return;
        if (what == Action::CancelAtPacket) {
            acted = true;
            sequence.requestCancel();
        } else if (what == Action::ClosePtyAtPacket) {
            acted = true;
            sim.stop();
        }
    });

    QElapsedTimer clock;
    clock.start();
    const bool ok = sequence.run();
    const double seconds = clock.elapsed() / 1000.0;

    const QByteArray built = [&] {
        QFile f(sequence.imagePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const bool portClosed = !line.isOpen();
    const bool modelUntouched = model.FilterData == before.FilterData && model.ComPort == before.ComPort;
    const QStringList titles = dialog.titles();

    QStringList texts;
    for (const auto &m : dialog.messages)
        texts << m.title + QStringLiteral(": ") + m.text;
    const bool pass = ok == expectOk && titles == expectTitles && portClosed && modelUntouched
        && (what == Action::None || acted);
    {
        QFile table(tablePath());
        QVERIFY(table.open(QIODevice::Append));
        const QString row = QStringList{QString::fromLatin1(QTest::currentDataTag()),
                                        expectOk ? "true" : "false",
                                        cell(expectTitles.join(" + ")),
                                        ok ? "true" : "false",
                                        cell(titles.join(" + ")),
                                        portClosed ? "yes" : "NO",
                                        modelUntouched ? "yes" : "NO",
                                        QString::number(seconds, 'f', 1),
                                        pass ? "as expected" : "DIFFERS"}
                                .join(QLatin1Char('\t'));
        table.write(row.toUtf8() + '\n');
    }

    // The messages and what the processor saw, for the log of a run that went wrong.
    if (!pass) {
        qWarning().noquote() << "messages:" << texts.join(QLatin1String(" | "));
        qWarning().noquote() << "sim log:" << sim.logLines().join(QLatin1String(" | "));
    }
    if (what != Action::None)
        QVERIFY2(acted, "the moment to act never came");
    QCOMPARE(ok, expectOk);
    QCOMPARE(titles, expectTitles);
    QVERIFY(portClosed);
    QVERIFY(modelUntouched);
    // Success only when the processor holds exactly the image that was built.
    if (ok) {
        QCOMPARE(built.size(), kFilterImageSize);
        QCOMPARE(sim.image(), built);
    }
    // Nobody else holds the device: another program could open it now (unless the row took
    // the line away).
    const bool lineGone = what == Action::ClosePtyAtPacket
        || simArgs.join(QLatin1Char(' ')).contains(QLatin1String("vanish"));
    if (!lineGone) {
        QSerialPort probe(sim.devicePath());
        QVERIFY2(probe.open(QIODevice::ReadWrite), qPrintable(probe.errorString()));
    }
}

QTEST_GUILESS_MAIN(TestFaultInjection)
#include "test_faultinjection.moc"
