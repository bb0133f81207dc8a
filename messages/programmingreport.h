#pragma once
// What a programming run (or one of its steps) ended with, as the device library reports it:
// an outcome and the facts a message about it needs. The words are chosen by the view that
// shows the report (messages/usermessages.h); nothing here is text for the user except the
// reasons, which are the system's own (a port's or a file's error string).

#include <QString>
#include <QStringList>

namespace korvane {

// The processor's own checksum test of what it holds ("T D F": the stored filters, "T D C":
// its code), as it answered.
enum class SelfTest {
    NotRun,        // not asked (no upload finished, no reload)
    Valid,         // "VALID ... CHECKSUM"
    Failed,        // "... CHECKSUM FAILED": what it holds is corrupt
    NotUnderstood, // "INVALID COMMAND" or no answer: this firmware cannot check itself
};

struct ProgrammingReport {
    enum class Outcome {
        Programmed,                // the processor took the filters and was reset
        Aborted,                   // the run stopped after the port was opened (a specific report came first)
        DeviceNotFound,            // no port answered "F V", or the search was cancelled; reasons: one per port
        ImageNotWritten,           // filter.bin could not be built or written; path, reason
        FirmwareFileUnreadable,    // korvanes.fwr absent, of the wrong size or unreadable; see fileProblem
        FirmwareVersionUnreadable, // the processor did not answer "F V" with a version
        StandInFirmwareRefused,    // the build's stand-in firmware was about to be sent; path, makerFile
        FirmwareUploadFailed,      // the firmware reload ("F P C", XMODEM, "RESET") failed
        ComWriteError,             // port not opened, "F P F" unanswered, filter upload or reset failed; reasons
        FilterChecksumFailed,      // the upload finished but "T D F" answered "FILTER CHECKSUM FAILED"
        CodeChecksumFailed,        // after a reload "T D C" answered "CODE CHECKSUM FAILED"
        SelfTested,                // the self-tests run alone: filterCheck and codeCheck
    };
    // Why korvanes.fwr could not be used (FirmwareFileUnreadable).
    enum class FileProblem {
        Missing,    // searched: the folders looked in (or the one file given)
        WrongSize,  // fileSize and expectedSize in bytes
        Unreadable, // reason: the system's error string
    };

    Outcome outcome = Outcome::Aborted;
    QString path;         // absolute: filter.bin (ImageNotWritten, may be empty) or korvanes.fwr
    QString makerFile;    // StandInFirmwareRefused: absolute path where the maker's firmware belongs
    QStringList searched; // FileProblem::Missing
    FileProblem fileProblem = FileProblem::Missing;
    qint64 fileSize = -1;
    qint64 expectedSize = -1;
    QString reason;      // one cause in the system's words; may be empty
    QStringList reasons; // DeviceNotFound, ComWriteError: one line per cause; may be empty
    // Aborted: whether the processor was told to store anything ("F P C" or "F P F" went
    // out), so that its stored filters can no longer be relied on. False only when the run
    // knows it stopped before that (it sent nothing but questions).
    bool filtersTouched = true;
    // Programmed, SelfTested: the processor's own tests (NotRun when not asked).
    SelfTest filterCheck = SelfTest::NotRun;
    SelfTest codeCheck = SelfTest::NotRun;
};

// True when none of the report's self-tests failed.
[[nodiscard]] inline bool SelfTestsPassed(const ProgrammingReport &r)
{
    return r.filterCheck != SelfTest::Failed && r.codeCheck != SelfTest::Failed;
}

} // namespace korvane
