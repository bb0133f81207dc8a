#pragma once
// The simulated Korvane-S processor: its command interpreter and its XMODEM receiver.
// The class knows nothing about file descriptors: bytes come in through feed() with the
// time at which the line delivered them, replies leave through the Output interface with
// the earliest time at which they may be put on the line, and timers run from tick().
// main.cpp owns the pseudo-terminal, the 9600-baud pacing and the event loop.

#include <chrono>
#include <cstdint>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::sim {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::milliseconds;

// Misbehaviour to inject. Block numbers count the packets of one transfer from 1 (they do
// not wrap at 256) and apply to every transfer ("F P F" and "F P C") the sim receives.
struct Faults {
    bool silent = false;                   // never answer anything
    bool nakOnly = false;                  // answer every block with NAK
    bool cInsteadOfNak = false;            // ask for the CRC-16 variant ('C') instead of NAK
    bool verdictFailed = false;            // "Failed" after a filter image, whatever arrived
    std::set<std::string> invalidCommands; // answered "INVALID COMMAND"
    std::set<long> dropBlocks;             // first arrival ignored as if lost on the line
    std::set<long> corruptBlocks;          // first arrival treated as a bad checksum
    std::set<long> dropAcks;               // first arrival stored but not acknowledged
    std::optional<long> stallAfter;        // stop answering for good after this many blocks
    std::optional<long> vanishAfter;       // close the line and exit after this many blocks
    std::optional<long> pauseAfter;        // hold the ACK of this block, and the line, until resume()
};

// How the processor answers one of its checksum self-tests ("T D F", "T D C").
enum class SelfTestAnswer { Valid, Failed, Unknown /* "INVALID COMMAND": an older firmware */ };

struct Settings {
    std::string version = "0105";                       // reported by "F V"
    int filters = 16;                                   // reported by "T S"
    SelfTestAnswer filterCheck = SelfTestAnswer::Valid; // "T D F"
    SelfTestAnswer codeCheck = SelfTestAnswer::Valid;   // "T D C"
    bool echo = false;                                  // echo command characters as a terminal would
    bool exitAfterReset = false;                        // end after the first filter upload and its RESET
    Millis nakInterval{3000};                           // repeat of the start NAK while no block arrives
    int nakTries = 10;                                  // start NAKs (and idle NAKs) before giving up
    // Pause between a text reply and the XMODEM byte that follows it ("Ready" and the
    // first NAK; the EOT's ACK and the verdict), so that a sender reading a reply does
    // not swallow the protocol byte with it.
    Millis gap{200};
    Millis interByteTimeout{1000};       // a packet that stops this long is discarded
    Millis idleTimeout{10000};           // silence between packets that earns a NAK
    std::size_t filterImageSize = 28672; // a complete filter image: 224 blocks
    std::string imageOut;                // last filter image as received
    std::string firmwareOut;             // last firmware image as received
    std::string logPath;                 // one line per command and transfer event
    Faults faults;
};

// Where the device's replies go. notBefore lets a reply wait (the verdict gap, NAK
// repeats); the pacing of the line is added by the implementation.
class Output {
public:
    virtual ~Output() = default;
    virtual void send(std::string_view bytes, Clock::time_point notBefore) = 0;
};

class Device {
public:
    Device(Settings settings, Output &out);

    // One byte as delivered by the line at time t (non-decreasing).
    void feed(std::uint8_t byte, Clock::time_point t);
    // Runs the timers that are due at now.
    void tick(Clock::time_point now);
    // The next time tick() has something to do, if any.
    [[nodiscard]] std::optional<Clock::time_point> nextDeadline() const;

    // The device wants the line closed and the program ended once its output is out:
    // after the RESET that follows a filter upload (exitAfterReset) or a vanish fault.
    [[nodiscard]] bool exitRequested() const { return exitRequested_; }

    // pause-after: the device has stored block N and holds its ACK; it takes no byte and runs
    // no timer until resume() (the sim's SIGUSR1), which sends the ACK at t.
    [[nodiscard]] bool paused() const { return paused_; }
    void resume(Clock::time_point t);

private:
    enum class Mode { Command, XmodemStart, XmodemBlocks, Dead };

    void log(std::string_view line);
    void send(std::string_view bytes, Clock::time_point t);
    void commandByte(std::uint8_t byte, Clock::time_point t);
    void runCommand(const std::string &line, Clock::time_point t);
    void startReceive(const std::string &command, Clock::time_point t);
    void xmodemByte(std::uint8_t byte, Clock::time_point t);
    void packetComplete(Clock::time_point t);
    void endOfTransmission(Clock::time_point t);
    void abandonReceive(std::string_view why, Clock::time_point t);
    void sendStartRequest(Clock::time_point t);
    [[nodiscard]] static bool firstArrival(std::set<long> &faultSet, long block);

    Settings settings_;
    Output &out_;
    std::ofstream logFile_;
    Mode mode_ = Mode::Command;
    bool exitRequested_ = false;
    bool paused_ = false;

    // Command mode.
    std::string line_;
    bool lastWasCr_ = false;
    bool filterUploadDone_ = false; // a filter upload ended with EOT
    bool eotAckable_ = false;       // a repeated EOT right after a transfer is ACKed again

    // Receiver.
    std::string transferCommand_; // "F P F" or "F P C"
    bool crcMode_ = false;        // 133-byte packets with CRC-16 instead of 132 with a sum
    std::vector<std::uint8_t> image_;
    std::vector<std::uint8_t> packet_;
    long blocksStored_ = 0;   // packets accepted in this transfer
    bool cancelSeen_ = false; // one CAN seen; a second one aborts
    int requestsSent_ = 0;    // start NAKs / idle NAKs in a row
    Clock::time_point nextRequest_{};
    Clock::time_point lastByte_{};
    std::set<long> dropBlocksLeft_, corruptBlocksLeft_, dropAcksLeft_;
};

// The 8-bit sum and the CRC-16 (polynomial 0x1021, start 0) of an XMODEM data block.
[[nodiscard]] std::uint8_t blockChecksum(const std::uint8_t *data, std::size_t n);
[[nodiscard]] std::uint16_t blockCrc16(const std::uint8_t *data, std::size_t n);

} // namespace korvane::sim
