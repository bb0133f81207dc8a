// The words of the shared messages: each report gives the title, text and icon the user has
// always seen, with the facts of the report in their place.

#include "datatable.h"
#include "messages/usermessages.h"
#include "scripteddialog.h"

#include <QTest>

using namespace korvane;
using Outcome = ProgrammingReport::Outcome;
using FileProblem = ProgrammingReport::FileProblem;

Q_DECLARE_METATYPE(korvane::ProgrammingReport)
Q_DECLARE_METATYPE(korvane::MessageIcon)

namespace {

ProgrammingReport report(Outcome outcome)
{
    ProgrammingReport r;
    r.outcome = outcome;
    return r;
}

const QString kNotFound = QStringLiteral(
    "Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting is correct.");
const QString kTempFile = QStringLiteral("Problem creating temporary file for programming Korvane-S.\r"
                                         "Disk may be full.  Unable to program Korvane-S");
const QString kFirmwareFile = QStringLiteral("Error reading firmware file.  Please ensure file named \"korvanes.fwr\" "
                                             "is in the program folder: /opt/k\rFirmware file may be invalid.\r");
const QString kComError = QStringLiteral(
    "Error Writing COM Port.\rEnsure Korvane-S is on and\rcorrect COM Port is selected");

} // namespace

class TestUserMessages : public QObject {
    Q_OBJECT

private slots:
    void programmingReports_data()
    {
        test::addColumns<ProgrammingReport, QString, QString, MessageIcon>("report", "title", "text", "icon");
        const MessageIcon warn = MessageIcon::Exclamation;

        QTest::newRow("programmed") << report(Outcome::Programmed) << "Success"
                                    << "Korvane-S successfully programmed" << MessageIcon::None;
        QTest::newRow("aborted") << report(Outcome::Aborted) << "Programming Aborted"
                                 << "Programming operation aborted!\rFilters stored in Korvane-S are no longer valid."
                                 << warn;
        ProgrammingReport r = report(Outcome::Aborted);
        r.filtersTouched = false; // stopped before anything was stored
        QTest::newRow("aborted, filters untouched") << r << "Programming Aborted"
                                                    << "Programming operation aborted!" << warn;

        QTest::newRow("not found") << report(Outcome::DeviceNotFound) << "Communications Error!" << kNotFound << warn;
        r = report(Outcome::DeviceNotFound);
        r.reasons = QStringList{"COM 2 (/dev/ttyUSB0): permission denied", "COM 3 (/dev/ttyS2): busy"};
        QTest::newRow("not found, with each port's reason")
            << r << "Communications Error!"
            << kNotFound + "\rCOM 2 (/dev/ttyUSB0): permission denied\rCOM 3 (/dev/ttyS2): busy" << warn;

        QTest::newRow("image not written, no path")
            << report(Outcome::ImageNotWritten) << "Temporary File Error" << kTempFile << warn;
        r = report(Outcome::ImageNotWritten);
        r.path = "/opt/k/filter.bin";
        r.reason = "No space left on device";
        QTest::newRow("image not written, with path")
            << r << "Temporary File Error" << kTempFile + "\r/opt/k/filter.bin: No space left on device" << warn;

        r = report(Outcome::FirmwareFileUnreadable);
        r.path = "/opt/k/korvanes.fwr";
        r.fileProblem = FileProblem::Missing;
        r.searched = QStringList{"/opt/k", "/home/u/.local/share/korvane-s"};
        QTest::newRow("firmware missing")
            << r << "Error!" << kFirmwareFile + "Not found in: /opt/k, /home/u/.local/share/korvane-s" << warn;
        r.fileProblem = FileProblem::WrongSize;
        r.fileSize = 1024;
        r.expectedSize = 761856;
        QTest::newRow("firmware wrong size")
            << r << "Error!" << kFirmwareFile + "/opt/k/korvanes.fwr is 1024 bytes long; a firmware file has 761856."
            << warn;
        r.fileProblem = FileProblem::Unreadable;
        r.reason = "Permission denied";
        QTest::newRow("firmware unreadable")
            << r << "Error!" << kFirmwareFile + "/opt/k/korvanes.fwr: Permission denied" << warn;

        QTest::newRow("version unreadable") << report(Outcome::FirmwareVersionUnreadable) << "Error!"
                                            << "Error retrieving firmware version from Korvane-S" << warn;
        r = report(Outcome::StandInFirmwareRefused);
        r.path = "/build/bin/korvanes.fwr";
        r.makerFile = "/home/u/.local/share/korvane-s/korvanes.fwr";
        QTest::newRow("stand-in refused")
            << r << "Error!"
            << "The firmware file /build/bin/korvanes.fwr is the stand-in written by the build for the simulated "
               "processor, not the maker's firmware.  It was not sent, and the firmware of the Korvane-S was left as "
               "it is.\rPut the maker's file \"korvanes.fwr\" into /home/u/.local/share/korvane-s and program again."
            << warn;
        QTest::newRow("firmware upload failed")
            << report(Outcome::FirmwareUploadFailed) << "Error!"
            << "Error transmitting updated firmware.  Unit may not function properly.  Please contact Halvern for "
               "further assistance."
            << warn;

        QTest::newRow("COM error") << report(Outcome::ComWriteError) << "COM Error!" << kComError << warn;
        r = report(Outcome::ComWriteError);
        r.reasons = QStringList{"/dev/ttyUSB0: the device went away"};
        QTest::newRow("COM error, with the port's reason")
            << r << "COM Error!" << kComError + "\r/dev/ttyUSB0: the device went away" << warn;

        // The self-tests alone: a failed firmware check is a warning even when the filters pass.
        r = report(Outcome::SelfTested);
        r.filterCheck = SelfTest::Valid;
        r.codeCheck = SelfTest::Failed;
        QTest::newRow("self-test, firmware failed")
            << r << "Verify Korvane-S"
            << "Korvane-S self-test:\rFilters: verified (the Korvane-S reports a valid checksum)\rFirmware: CHECKSUM "
               "FAILED\rIts firmware is corrupt and the unit may not function properly: program the Korvane-S again; "
               "if the check still fails, please contact Halvern for further assistance."
            << warn;
    }
    void programmingReports()
    {
        QFETCH(ProgrammingReport, report);
        QFETCH(QString, title);
        QFETCH(QString, text);
        QFETCH(MessageIcon, icon);
        const UserMessage m = ProgrammingMessage(report);
        QCOMPARE(m.title, title);
        QCOMPARE(m.text, text);
        QCOMPARE(m.icon, icon);
        QCOMPARE(m.buttons, MessageButtons::Ok);

        // Shown as one message box with an OK button, nothing else (no beep, no question).
        test::ScriptedDialog dialog;
        ShowProgrammingReport(dialog, report);
        QCOMPARE(dialog.events.size(), size_t(1));
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, title);
        QCOMPARE(dialog.messages[0].text, text);
        QCOMPARE(dialog.messages[0].icon, icon);
        QCOMPARE(dialog.messages[0].buttons, MessageButtons::Ok);
    }
};

QTEST_GUILESS_MAIN(TestUserMessages)
#include "test_usermessages.moc"
