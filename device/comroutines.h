#pragma once
// The processor's text command protocol: each command is sent followed by CR LF and
// answered with text that ends in the prompt ">". TransmitCommand sends one command and
// collects its reply with a time-out and retries; the commands below are built on it.
// Every wait pumps events once per pass and honours the process-wide cancel request.
// Nothing here shows a message; callers report failures.

#include "clock.h"
#include "serialline.h"

#include "messages/programmingreport.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>

namespace korvane {

// Command vocabulary of the processor, each command followed by the replies defined with it.
// Only "F P C", "F P F", "F V", "T S", "T D F", "T D C" and "RESET" are sent.
namespace cmd {
inline const QString FlashErase = QStringLiteral("F E");
inline const QString FlashEraseReply = QStringLiteral("FLASH ERASE");
inline const QString FlashProgramCode = QStringLiteral("F P C");
inline const QString FlashProgramFinished = QStringLiteral("Flash Program Finished");
inline const QString FlashProgramFailed = QStringLiteral("Flash Program Failed");
inline const QString FlashProgramFilters = QStringLiteral("F P F");
inline const QString PleaseReloadFirmware = QStringLiteral("Please reload Firmware");
inline const QString FirmwareVersion = QStringLiteral("F V");
inline const QString FirmwareVersionReply = QStringLiteral("Korvane-S Rev");
inline const QString TestAudio = QStringLiteral("T A");
inline const QString TestAudioReply = QStringLiteral("TEST AUDIO ");
inline const QString TestCodeChecksum = QStringLiteral("T D C");
inline const QString ValidCodeChecksum = QStringLiteral("VALID CODE CHECKSUM");
inline const QString CodeChecksumFailed = QStringLiteral("CODE CHECKSUM FAILED");
inline const QString TestFilterChecksum = QStringLiteral("T D F");
inline const QString ValidFilterChecksum = QStringLiteral("VALID FILTER CHECKSUM");
inline const QString FilterChecksumFailed = QStringLiteral("FILTER CHECKSUM FAILED");
inline const QString TestStatus = QStringLiteral("T S");
inline const QString FiltersLoaded = QStringLiteral("Filters Loaded:");
inline const QString UartBaud = QStringLiteral("U B");
inline const QString UartBaudReply = QStringLiteral("UART BAUD ");
inline const QString UartEcho = QStringLiteral("U E");
inline const QString UartEchoReply = QStringLiteral("ECHO");
inline const QString Reset = QStringLiteral("RESET");
inline const QString InvalidCommand = QStringLiteral("INVALID COMMAND");
inline const QString TransferFinished = QStringLiteral("Finished");
inline const QString TransferFailed = QStringLiteral("Failed");
} // namespace cmd

// value forced into low..high.
[[nodiscard]] int Clamp(int value, int low, int high);

// Removes every non-overlapping occurrence of pattern, scanning left to right; returns how
// many were removed. An empty pattern removes nothing.
int RemoveAll(QString &text, const QString &pattern);

// Removes every CR LF pair, then every prompt ">". A lone CR or LF stays.
void CleanReply(QString &reply);

// Pumps events until the time of day (whole seconds, of the current clock) has advanced by n,
// or until a cancel request; lasts between n-1 and n seconds, also across midnight.
void WaitSeconds(int n);

// The cancel request read by every wait of the device link. It is process-wide, unless a
// CancelScope on the calling thread has put a flag of its own in place: then these act on
// that flag (one run among several at once, each on its own thread).
bool RequestCancel(); // sets it; returns its previous value
[[nodiscard]] bool IsCancelRequested();
bool ClearCancelAndClosePort(SerialLine &port);

// For its lifetime the calling thread's waits honour flag instead of the process-wide
// request. Scopes nest.
class CancelScope {
public:
    explicit CancelScope(std::atomic<bool> &flag);
    ~CancelScope();
    CancelScope(const CancelScope &) = delete;
    CancelScope &operator=(const CancelScope &) = delete;

private:
    std::atomic<bool> *previous_;
};

// port is forced into 1..9. True when the port is open afterwards.
[[nodiscard]] bool OpenComPort(SerialLine &port, int port_number);
// True when no port error is pending (closing a closed port succeeds).
bool CloseComPort(SerialLine &port);

// Sends command + CR LF and collects the cleaned reply (see CleanReply). Before each attempt
// what is left of an earlier reply is drained, until the prompt ">" has been seen or the line
// has been quiet for 100 ms. The reply takes only text: once it is complete, a protocol byte
// (NAK, ACK) and what follows it stay on the line for the next wait.
//  minLength > 0: complete once the reply has minLength characters (expected is ignored);
//  minLength 0, expected empty: complete on the first text received;
//  minLength 0, expected given: complete when the reply contains expected, after a
//  1-second settle that collects what follows.
// timeout: tenths of a second per attempt. A reply containing "INVALID COMMAND" or no
// complete reply ends the attempt and the command is sent again. A port error or a cancel
// request ends the command at once. Out-of-range arguments are normalised: attempts < 1
// -> 5, minLength < 0 -> 0, timeout < 1 -> 10. True when a complete reply arrived; reply
// holds what was collected either way.
[[nodiscard]] bool TransmitCommand(SerialLine &port, const QString &command, QString &reply, const QString &expected,
                                   int minLength, int timeout, int attempts);

[[nodiscard]] bool ResetDevice(SerialLine &port);
// "F V"; the reply is complete once "Korvane-S Rev" and the four digits of the version have
// arrived (an echo and stray line ends before them do no harm), or once its line has ended;
// version = those four digits (for example 0105 -> 105), 0 on failure.
[[nodiscard]] bool GetFirmwareVersion(SerialLine &port, int16_t &version);
// "T S"; count = the number after "Filters Loaded:". Always true: an unanswered command or
// a reply without a number leaves count unchanged.
bool GetNumFiltersLoaded(SerialLine &port, int16_t &count);

// The processor's own checksum tests, sent after an upload has finished: "T D F" (its stored
// filters: "VALID FILTER CHECKSUM" / "FILTER CHECKSUM FAILED") and "T D C" (its code: "VALID
// CODE CHECKSUM" / "CODE CHECKSUM FAILED"). Judged by content as soon as one of the two texts
// has arrived, with the time-out and attempts of every command (1 s, 5 attempts). A firmware
// that answers "INVALID COMMAND" or nothing cannot check itself: NotUnderstood (also after a
// port error or a cancel request).
[[nodiscard]] SelfTest CheckFilterChecksum(SerialLine &port);
[[nodiscard]] SelfTest CheckCodeChecksum(SerialLine &port);

// Looks for the processor: preferred first (unless 0), then the other ports 1..9 in
// ascending order, each probed with "F V". onProbe is told each port before it is tried.
// onlyPreferred limits the search to the preferred port. Returns the port that answered,
// or 0 (also after a cancel request). The port is closed on return. openFailures, when
// given, collects the reason of every existing device that could not be opened (the device
// path and the system's words, with the remedy where there is one).
[[nodiscard]] int DetermineComPort(SerialLine &port, int preferred, const std::function<void(int)> &onProbe = {},
                                   bool onlyPreferred = false, QStringList *openFailures = nullptr);

} // namespace korvane
