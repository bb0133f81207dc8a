#include "device.h"

#include <cstdio>
#include <filesystem>

namespace korvane::sim {

namespace {

constexpr std::uint8_t SOH = 0x01;
constexpr std::uint8_t EOT = 0x04;
constexpr std::uint8_t ACK = 0x06;
constexpr std::uint8_t NAK = 0x15;
constexpr std::uint8_t CAN = 0x18;
constexpr std::size_t BlockSize = 128;
constexpr std::size_t MaxLine = 256; // longer input still ends up as one unknown command

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// Written next to the target and renamed, so a reader polling the file never sees half of it.
void writeFile(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    if (path.empty())
        return;
    const std::string tmp = path + ".part";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
        if (!f)
            std::fprintf(stderr, "korvane-s-sim: cannot write %s\n", tmp.c_str());
    }
    std::error_code ec;
    std::filesystem::rename(tmp, path, ec);
    if (ec)
        std::fprintf(stderr, "korvane-s-sim: cannot write %s: %s\n", path.c_str(), ec.message().c_str());
}

} // namespace

std::uint8_t blockChecksum(const std::uint8_t *data, std::size_t n)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += data[i];
    return std::uint8_t(sum & 0xFF);
}

std::uint16_t blockCrc16(const std::uint8_t *data, std::size_t n)
{
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= std::uint16_t(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? std::uint16_t((crc << 1) ^ 0x1021) : std::uint16_t(crc << 1);
    }
    return crc;
}

Device::Device(Settings settings, Output &out) : settings_(std::move(settings)), out_(out)
{
    if (!settings_.logPath.empty()) {
        logFile_.open(settings_.logPath, std::ios::out | std::ios::trunc);
        if (!logFile_)
            std::fprintf(stderr, "korvane-s-sim: cannot write log %s\n", settings_.logPath.c_str());
    }
}

void Device::log(std::string_view line)
{
    if (logFile_.is_open()) {
        logFile_ << line << '\n';
        logFile_.flush();
    }
}

void Device::send(std::string_view bytes, Clock::time_point t)
{
    if (!settings_.faults.silent)
        out_.send(bytes, t);
}

void Device::feed(std::uint8_t byte, Clock::time_point t)
{
    switch (mode_) {
    case Mode::Command:
        commandByte(byte, t);
        break;
    case Mode::XmodemStart:
    case Mode::XmodemBlocks:
        xmodemByte(byte, t);
        break;
    case Mode::Dead:
        break;
    }
}

void Device::resume(Clock::time_point t)
{
    if (!paused_)
        return;
    paused_ = false;
    log("RESUME");
    nextRequest_ = t + settings_.idleTimeout;
    send(std::string(1, char(ACK)), t);
}

void Device::tick(Clock::time_point now)
{
    if (paused_)
        return;
    if (mode_ == Mode::XmodemStart) {
        if (now < nextRequest_)
            return;
        if (requestsSent_ < settings_.nakTries)
            sendStartRequest(now);
        else
            abandonReceive("no sender", now);
    } else if (mode_ == Mode::XmodemBlocks) {
        if (!packet_.empty()) {
            if (now - lastByte_ >= settings_.interByteTimeout) {
                log("NAK block " + std::to_string(blocksStored_ + 1) + " incomplete");
                packet_.clear();
                send(std::string(1, char(NAK)), now);
                nextRequest_ = now + settings_.idleTimeout;
            }
        } else if (now >= nextRequest_) {
            if (requestsSent_ < settings_.nakTries) {
                ++requestsSent_;
                send(std::string(1, char(NAK)), now);
                nextRequest_ = now + settings_.idleTimeout;
            } else {
                abandonReceive("timeout", now);
            }
        }
    }
}

std::optional<Clock::time_point> Device::nextDeadline() const
{
    if (paused_)
        return std::nullopt;
    if (mode_ == Mode::XmodemStart)
        return nextRequest_;
    if (mode_ == Mode::XmodemBlocks)
        return packet_.empty() ? nextRequest_ : lastByte_ + settings_.interByteTimeout;
    return std::nullopt;
}

void Device::commandByte(std::uint8_t byte, Clock::time_point t)
{
    if (byte == EOT && eotAckable_) {
        // The sender missed our ACK of its EOT and repeats it.
        send(std::string(1, char(ACK)), t);
        return;
    }
    if (byte == '\r' || byte == '\n') {
        const bool secondHalfOfCrLf = byte == '\n' && lastWasCr_;
        lastWasCr_ = byte == '\r';
        if (secondHalfOfCrLf)
            return;
        if (settings_.echo)
            send("\r\n", t);
        const std::string line = trimmed(line_);
        line_.clear();
        runCommand(line, t);
        return;
    }
    lastWasCr_ = false;
    if (byte == 0x08 || byte == 0x7F) {
        if (!line_.empty())
            line_.pop_back();
        return;
    }
    if (byte < 0x20 || byte > 0x7E)
        return; // line noise and stray protocol bytes
    eotAckable_ = false;
    if (line_.size() < MaxLine)
        line_.push_back(char(byte));
    if (settings_.echo)
        send(std::string(1, char(byte)), t);
}

void Device::runCommand(const std::string &command, Clock::time_point t)
{
    if (command.empty()) {
        send("\r\n>", t);
        return;
    }
    log(command);
    if (settings_.faults.silent)
        return;
    if (settings_.faults.invalidCommands.count(command)) {
        send("INVALID COMMAND\r\n>", t);
    } else if (command == "F V") {
        // Exactly 17 characters before the line end: a reader that stops at 17 characters
        // already has all four version digits.
        send("Korvane-S Rev" + settings_.version + "\r\n>", t);
    } else if (command == "T S") {
        send("Filters Loaded: " + std::to_string(settings_.filters) + "\r\n>", t);
    } else if (command == "T D F" || command == "T D C") {
        const bool filters = command == "T D F";
        const char *what = filters ? "FILTER" : "CODE";
        switch (filters ? settings_.filterCheck : settings_.codeCheck) {
        case SelfTestAnswer::Valid:
            send(std::string("VALID ") + what + " CHECKSUM\r\n>", t);
            break;
        case SelfTestAnswer::Failed:
            send(std::string(what) + " CHECKSUM FAILED\r\n>", t);
            break;
        case SelfTestAnswer::Unknown:
            send("INVALID COMMAND\r\n>", t);
            break;
        }
    } else if (command == "F P F" || command == "F P C") {
        startReceive(command, t);
    } else if (command == "RESET") {
        send("Resetting\r\n>", t);
        if (settings_.exitAfterReset && filterUploadDone_)
            exitRequested_ = true;
    } else {
        send("INVALID COMMAND\r\n>", t);
    }
}

void Device::startReceive(const std::string &command, Clock::time_point t)
{
    transferCommand_ = command;
    crcMode_ = settings_.faults.cInsteadOfNak;
    image_.clear();
    packet_.clear();
    blocksStored_ = 0;
    cancelSeen_ = false;
    requestsSent_ = 0;
    dropBlocksLeft_ = settings_.faults.dropBlocks;
    corruptBlocksLeft_ = settings_.faults.corruptBlocks;
    dropAcksLeft_ = settings_.faults.dropAcks;
    mode_ = Mode::XmodemStart;
    send("Ready\r\n", t);
    nextRequest_ = t + settings_.gap;
}

void Device::sendStartRequest(Clock::time_point t)
{
    send(crcMode_ ? std::string("C") : std::string(1, char(NAK)), t);
    ++requestsSent_;
    nextRequest_ = t + settings_.nakInterval;
}

void Device::xmodemByte(std::uint8_t byte, Clock::time_point t)
{
    lastByte_ = t;
    if (!packet_.empty()) {
        packet_.push_back(byte);
        if (packet_.size() == (crcMode_ ? 3 + BlockSize + 2 : 3 + BlockSize + 1))
            packetComplete(t);
        return;
    }
    if (byte == CAN) {
        if (cancelSeen_)
            abandonReceive("cancelled", t);
        cancelSeen_ = true;
        return;
    }
    cancelSeen_ = false;
    if (byte == SOH) {
        mode_ = Mode::XmodemBlocks;
        packet_.push_back(byte);
    } else if (byte == EOT) {
        endOfTransmission(t);
    }
    // Anything else between packets is line noise: ignored.
}

bool Device::firstArrival(std::set<long> &faultSet, long block) { return faultSet.erase(block) > 0; }

void Device::packetComplete(Clock::time_point t)
{
    const std::vector<std::uint8_t> p = std::move(packet_);
    packet_.clear();
    requestsSent_ = 0;
    nextRequest_ = t + settings_.idleTimeout;

    const std::string nak(1, char(NAK));
    const std::string ack(1, char(ACK));
    const long expected = blocksStored_ + 1;
    const std::uint8_t number = p[1];
    const std::uint8_t complement = p[2];
    const std::uint8_t *data = p.data() + 3;
    const bool dataOk = crcMode_ ? blockCrc16(data, BlockSize) == std::uint16_t((p[131] << 8) | p[132])
                                 : blockChecksum(data, BlockSize) == p[131];

    if (std::uint8_t(number + complement) != 0xFF) {
        log("NAK block " + std::to_string(expected) + " bad complement");
        send(nak, t);
        return;
    }
    if (settings_.faults.nakOnly) {
        log("NAK block " + std::to_string(expected) + " refused");
        send(nak, t);
        return;
    }
    if (number == std::uint8_t(expected & 0xFF)) {
        if (firstArrival(dropBlocksLeft_, expected)) {
            log("DROP block " + std::to_string(expected));
            return;
        }
        if (firstArrival(corruptBlocksLeft_, expected)) {
            log("NAK block " + std::to_string(expected) + " corrupted");
            send(nak, t);
            return;
        }
        if (!dataOk) {
            log("NAK block " + std::to_string(expected) + " bad checksum");
            send(nak, t);
            return;
        }
        image_.insert(image_.end(), data, data + BlockSize);
        blocksStored_ = expected;
        if (settings_.faults.pauseAfter && blocksStored_ == *settings_.faults.pauseAfter) {
            log("PAUSE after " + std::to_string(blocksStored_) + " blocks");
            paused_ = true;
            return;
        }
        if (firstArrival(dropAcksLeft_, expected))
            log("NO-ACK block " + std::to_string(expected));
        else
            send(ack, t);
        const auto &f = settings_.faults;
        if (f.vanishAfter && blocksStored_ >= *f.vanishAfter) {
            log("VANISH after " + std::to_string(blocksStored_) + " blocks");
            mode_ = Mode::Dead;
            exitRequested_ = true;
        } else if (f.stallAfter && blocksStored_ >= *f.stallAfter) {
            log("STALL after " + std::to_string(blocksStored_) + " blocks");
            mode_ = Mode::Dead;
        }
        return;
    }
    if (blocksStored_ > 0 && number == std::uint8_t(blocksStored_ & 0xFF)) {
        if (!dataOk) {
            log("NAK block " + std::to_string(blocksStored_) + " bad checksum");
            send(nak, t);
            return;
        }
        // The sender missed our ACK and repeats the block: acknowledge, keep one copy.
        log("DUPLICATE block " + std::to_string(blocksStored_));
        send(ack, t);
        return;
    }
    log("NAK block " + std::to_string(expected) + " unexpected number " + std::to_string(number));
    send(nak, t);
}

void Device::endOfTransmission(Clock::time_point t)
{
    log("XMODEM " + transferCommand_ + " " + std::to_string(blocksStored_) + " blocks");
    log("EOT");
    const bool filters = transferCommand_ == "F P F";
    writeFile(filters ? settings_.imageOut : settings_.firmwareOut, image_);
    mode_ = Mode::Command;
    line_.clear();
    lastWasCr_ = false;
    eotAckable_ = true;
    if (filters) {
        send(std::string(1, char(ACK)), t);
        // A short or refused image is not a programmed processor: say so.
        const bool good = !settings_.faults.verdictFailed && image_.size() == settings_.filterImageSize;
        send(good ? "Finished\r\n>" : "Failed\r\n>", t + settings_.gap);
        filterUploadDone_ = true;
    } else {
        send(std::string(1, char(ACK)) + "\r\n>", t);
    }
}

void Device::abandonReceive(std::string_view why, Clock::time_point t)
{
    log("XMODEM " + transferCommand_ + " " + std::string(why));
    mode_ = Mode::Command;
    packet_.clear();
    line_.clear();
    send("\r\n>", t);
}

} // namespace korvane::sim
