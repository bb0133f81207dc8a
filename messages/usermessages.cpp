#include "messages/usermessages.h"

#include <QDir>
#include <QFileInfo>

namespace korvane {

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

// Each reason on a line of its own after the fixed text; nothing when there is none.
QString reasonLines(const QStringList &reasons)
{
    QString out;
    for (const QString &r : reasons)
        out += kCR + r;
    return out;
}

QString firmwareFileText(const ProgrammingReport &r)
{
    const QFileInfo fw(r.path);
    // The fixed sentences, then what was wrong with this file.
    QString text = QStringLiteral("Error reading firmware file.  Please ensure file named \"") + fw.fileName()
        + QStringLiteral("\" is in the program folder: ") + native(fw.absolutePath()) + kCR
        + QStringLiteral("Firmware file may be invalid.") + kCR;
    switch (r.fileProblem) {
    case ProgrammingReport::FileProblem::Missing: {
        QStringList looked;
        for (const QString &s : r.searched)
            looked << native(s);
        return text + QStringLiteral("Not found in: ") + looked.join(QStringLiteral(", "));
    }
    case ProgrammingReport::FileProblem::WrongSize:
        return text
            + QStringLiteral("%1 is %2 bytes long; a firmware file has %3.")
                  .arg(native(r.path))
                  .arg(r.fileSize)
                  .arg(r.expectedSize);
    case ProgrammingReport::FileProblem::Unreadable:
        return text + native(r.path) + QStringLiteral(": ") + r.reason;
    }
    return text;
}

} // namespace

namespace {

// One line per self-test that was asked, in the words of ProgrammingMessage.
QString selfTestLines(const ProgrammingReport &r)
{
    QString text;
    if (r.filterCheck != SelfTest::NotRun)
        text += kCR + QStringLiteral("Filters: ") + SelfTestText(r.filterCheck);
    if (r.codeCheck != SelfTest::NotRun)
        text += kCR + QStringLiteral("Firmware: ") + SelfTestText(r.codeCheck);
    return text;
}

const QString kFiltersCorrupt = QStringLiteral(
    "The Korvane-S reports that the filters it stored do not match their checksum: they are corrupt and the unit "
    "must not be used as it is.");
const QString kProgramAgain = QStringLiteral(
    "Program the Korvane-S again.  If the check fails again, its firmware must be reloaded: please contact Halvern "
    "for further assistance.");
} // namespace

QString SelfTestWord(SelfTest result)
{
    switch (result) {
    case SelfTest::NotRun:
        return QStringLiteral("not run");
    case SelfTest::Valid:
        return QStringLiteral("valid");
    case SelfTest::Failed:
        return QStringLiteral("failed");
    case SelfTest::NotUnderstood:
        return QStringLiteral("not verified");
    }
    return {};
}

QString SelfTestText(SelfTest result)
{
    switch (result) {
    case SelfTest::NotRun:
        return QStringLiteral("not checked");
    case SelfTest::Valid:
        return QStringLiteral("verified (the Korvane-S reports a valid checksum)");
    case SelfTest::Failed:
        return QStringLiteral("CHECKSUM FAILED");
    case SelfTest::NotUnderstood:
        return QStringLiteral("not verified (this Korvane-S firmware cannot check itself)");
    }
    return {};
}

UserMessage ProgrammingMessage(const ProgrammingReport &report)
{
    using Outcome = ProgrammingReport::Outcome;
    const MessageIcon warn = MessageIcon::Exclamation;
    switch (report.outcome) {
    case Outcome::Programmed:
        return {QStringLiteral("Success"), QStringLiteral("Korvane-S successfully programmed") + selfTestLines(report),
                MessageIcon::None};
    case Outcome::FilterChecksumFailed:
        return {QStringLiteral("Verify Failed"), kFiltersCorrupt + kCR + kProgramAgain, warn};
    case Outcome::CodeChecksumFailed:
        return {QStringLiteral("Verify Failed"),
                QStringLiteral("The Korvane-S reports that its reloaded firmware does not match its checksum: the "
                               "firmware is corrupt and the unit may not function properly.  The filters were not "
                               "sent.")
                    + kCR
                    + QStringLiteral("Program the Korvane-S again to reload the firmware.  If the check fails again, "
                                     "please contact Halvern for further assistance."),
                warn};
    case Outcome::SelfTested: {
        QString text = QStringLiteral("Korvane-S self-test:") + selfTestLines(report);
        if (report.filterCheck == SelfTest::Failed)
            text += kCR + kFiltersCorrupt + kCR + kProgramAgain;
        if (report.codeCheck == SelfTest::Failed)
            text += kCR
                + QStringLiteral("Its firmware is corrupt and the unit may not function properly: program the "
                                 "Korvane-S again; if the check still fails, please contact Halvern for further "
                                 "assistance.");
        return {QStringLiteral("Verify Korvane-S"), text, SelfTestsPassed(report) ? MessageIcon::None : warn};
    }
    case Outcome::Aborted:
        // A run that stopped before anything was stored leaves the processor's filters as
        // they were: it must not say they are lost.
        return {QStringLiteral("Programming Aborted"),
                QStringLiteral("Programming operation aborted!")
                    + (report.filtersTouched ? kCR + QStringLiteral("Filters stored in Korvane-S are no longer valid.")
                                             : QString()),
                warn};
    case Outcome::DeviceNotFound:
        return {QStringLiteral("Communications Error!"),
                QStringLiteral("Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting is correct.")
                    + reasonLines(report.reasons),
                warn};
    case Outcome::ImageNotWritten: {
        QString text = QStringLiteral("Problem creating temporary file for programming Korvane-S.") + kCR
            + QStringLiteral("Disk may be full.  Unable to program Korvane-S");
        // Where the image was to go and why it could not, when the caller knows.
        if (!report.path.isEmpty())
            text += kCR + native(report.path) + QStringLiteral(": ") + report.reason;
        return {QStringLiteral("Temporary File Error"), text, warn};
    }
    case Outcome::FirmwareFileUnreadable:
        return {QStringLiteral("Error!"), firmwareFileText(report), warn};
    case Outcome::FirmwareVersionUnreadable:
        return {QStringLiteral("Error!"), QStringLiteral("Error retrieving firmware version from Korvane-S"), warn};
    case Outcome::StandInFirmwareRefused:
        return {
            QStringLiteral("Error!"),
            QStringLiteral("The firmware file %1 is the stand-in written by the build for the simulated processor, "
                           "not the maker's firmware.  It was not sent, and the firmware of the Korvane-S was left "
                           "as it is.")
                    .arg(native(report.path))
                + kCR
                + QStringLiteral("Put the maker's file \"%1\" into %2 and program again.")
                      .arg(QFileInfo(report.makerFile).fileName(), native(QFileInfo(report.makerFile).absolutePath())),
            warn};
    case Outcome::FirmwareUploadFailed:
        return {QStringLiteral("Error!"),
                QStringLiteral("Error transmitting updated firmware.  ")
                    + QStringLiteral("Unit may not function properly.  Please contact Halvern for further assistance."),
                warn};
    case Outcome::ComWriteError:
        return {QStringLiteral("COM Error!"),
                QStringLiteral("Error Writing COM Port.") + kCR + QStringLiteral("Ensure Korvane-S is on and") + kCR
                    + QStringLiteral("correct COM Port is selected") + reasonLines(report.reasons),
                warn};
    }
    return {QStringLiteral("Programming Aborted"), QString(), warn};
}

void ShowProgrammingReport(UserDialog &dialog, const ProgrammingReport &report)
{
    const UserMessage m = ProgrammingMessage(report);
    dialog.inform(m.title, m.text, m.icon, m.buttons);
}

UserMessage ProgramAllQuestion()
{
    return {QStringLiteral("Program All Filters?"),
            QStringLiteral("Programming the Korvane-S updates all 16 filters (0-15).")
                + QStringLiteral("  Click Yes if you wish to program all the filters."),
            MessageIcon::Question, MessageButtons::YesNo};
}

QString ProbedPortText(int port) { return QStringLiteral("Port: COM ") + QString::number(port); }

FirmwareReloadNotice FirmwareReloadTexts()
{
    return {QStringLiteral("  Please wait while the firmware is being reloaded.  This may take up to 20 minutes."),
            QStringLiteral("Periodically the memory on the Korvane-S must be reset to provide optimal space for the "
                           "filter configurations to be stored.  Once the memory is reset the software that resides "
                           "on the Korvane-S (the firmware) must be reloaded."),
            QStringLiteral("WARNING:  Do not turn off the power or disconnect the RS-232 cable while the firmware is "
                           "being uploaded.  Doing so will require the Korvane-S to be returned to the factory for "
                           "reprogramming.")};
}

QString StopRequestText(bool held)
{
    return held ? QStringLiteral("Cancel is disabled while the firmware is being reloaded; the reload goes on, and "
                                 "programming is cancelled when it has ended")
                : QStringLiteral("Cancel requested");
}

QString SleepNotPreventedText(const QString &problem)
{
    return QStringLiteral("This computer may go to sleep or shut down while the Korvane-S is being programmed: it "
                          "could not be kept awake (%1).  Keep it running and its lid open until programming has "
                          "finished.")
        .arg(problem);
}

QString LogNotWrittenText(const QString &problem)
{
    return QStringLiteral("The programming log could not be written (%1); this run is not recorded in it.")
        .arg(problem);
}

} // namespace korvane
