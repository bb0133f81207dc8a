// korvane-s-sim: a simulated Korvane-S processor on a pseudo-terminal.
//
// The sim opens a pty pair, prints "DEVICE <slave path>" as its first line and then answers
// on the master side like the processor: text commands ending in CR LF, and XMODEM uploads
// after "F P F" (filter image) and "F P C" (firmware). It keeps its own descriptor of the
// slave open so the line stays up while no client has it open; bytes sent meanwhile wait in
// the pty as they would not on a real line, so clients flush before they start.
//
// Line model with --pace BAUD: a byte takes 10 bit times (start, 8 data, stop), 1.0417 ms
// at 9600 baud. Output bytes are put on the pty one by one, each at the moment its last bit
// would have left a real UART. Input is modelled the same way: a byte read from the pty
// counts as delivered one byte time after the later of "read" and "previous byte
// delivered", and the device sees it only then. A 132-byte XMODEM packet written at once
// therefore reaches the device 137.5 ms after it was written, and the ACK follows one byte
// time later. Without pacing everything moves as fast as the pty does.

#include "device.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <iostream>
#include <string>

namespace fs = std::filesystem;
using namespace korvane::sim;

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_resume = 0;

void onSignal(int) { g_stop = 1; }
void onResume(int) { g_resume = 1; }

const char *const HelpText = R"(Usage: korvane-s-sim [options]

A simulated Korvane-S processor on a pseudo-terminal. Prints "DEVICE <path>" (and
"LINK <path>" when a link was made) on stdout, then serves until SIGTERM or SIGINT.

Commands (lines end in CR LF; a lone CR or LF also ends a line):
  F V      -> "Korvane-S Rev<version>" CR LF ">"
  T S      -> "Filters Loaded: <filters>" CR LF ">"
  F P F    -> "Ready" CR LF, then an XMODEM receiver for the filter image; after the
              EOT: ACK, "Finished" (or "Failed") CR LF ">"
  F P C    -> "Ready" CR LF, then an XMODEM receiver for the firmware; after the EOT:
              ACK, CR LF ">"
  T D F    -> "VALID FILTER CHECKSUM" or "FILTER CHECKSUM FAILED" CR LF ">" (--filter-check)
  T D C    -> "VALID CODE CHECKSUM" or "CODE CHECKSUM FAILED" CR LF ">" (--code-check)
  RESET    -> "Resetting" CR LF ">"
  other    -> "INVALID COMMAND" CR LF ">"
The verdict is "Finished" only for a complete filter image (exactly --image-size bytes).

Options:
  --version TEXT        version digits reported by "F V" (default 0105)
  --filters N           count reported by "T S" (default 16)
  --filter-check valid|failed|unknown
                        answer to "T D F" (default valid; unknown: "INVALID COMMAND",
                        as a firmware without the self-test)
  --code-check valid|failed|unknown
                        the same for "T D C"
  --self-test valid|failed|unknown
                        both at once
  --pace 9600|BAUD|none model the line speed on both directions (default none)
  --com N               link <comdir>/comN to the device (N = 1..9); comdir is
                        $KORVANE_COM_DIR, else ${XDG_CONFIG_HOME:-$HOME/.config}/korvane-s/ports
  --link PATH           link PATH to the device (may be combined with --com)
  --log FILE            command log: one line per command and transfer event
  --line-trace FILE     every chunk written to and read from the line, timed (below)
  --image-out FILE      the last filter image as received
  --firmware-out FILE   the last firmware image as received
  --exit-after-reset, --once
                        exit after the RESET that follows a completed filter upload
  --echo                echo command characters back, as a terminal would
  --group MS            hand output over in groups, as a USB serial adapter does: the
                        first byte waits up to MS ms and all bytes due by then go out in
                        one write (with --gap 0, an ACK and "Finished", or "Ready" and
                        the NAK, arrive together)
  --nak-interval MS     repeat of the start NAK while no block arrives (default 3000)
  --nak-tries N         start NAKs, and NAKs for silence between blocks, before the
                        receiver gives up and returns to the prompt (default 10)
  --gap MS              pause between "Ready" and the first NAK and between the EOT's
                        ACK and the verdict (default 200)
  --image-size BYTES    size of a complete filter image (default 28672)
  --fault FAULT         inject a fault; repeat the option or separate FAULTs by commas:
      silent              never answer anything (commands are still logged)
      nak-only            answer every block with NAK
      c-instead-of-nak    start with 'C' (CRC-16 packets of 133 bytes) instead of NAK
      invalid=CMD         answer "INVALID COMMAND" to CMD, e.g. invalid="T S"
      drop-block=N        ignore the first arrival of block N, as if lost
      corrupt-block=N     treat the first arrival of block N as a bad checksum (NAK)
      drop-ack=N          store block N but do not acknowledge its first arrival
      stall-after=N       stop answering anything after N blocks
      verdict-failed      answer "Failed" after a filter image
      vanish-after=N      close the line and exit after acknowledging N blocks
      pause-after=N       store block N but hold its ACK, and read nothing more, until
                          the sim receives SIGUSR1 (log "PAUSE after N blocks", "RESUME");
                          a sender waits at a known point for as long as a test needs
    Block numbers count the packets of a transfer from 1 (no wrap at 256) and apply to
    every transfer.
  --help                show this text

Log lines: each command as received; "XMODEM <cmd> <n> blocks" and "EOT" at the end of a
transfer; "XMODEM <cmd> no sender|timeout|cancelled" when a receive is abandoned; and
"NAK block <n> <why>", "DUPLICATE block <n>", "DROP block <n>", "NO-ACK block <n>",
"STALL after <n> blocks", "VANISH after <n> blocks" for the exceptions.

Line trace lines: "W <us> <n> <hex>" for n bytes put on the line and "R <us> <n> <hex>"
for n bytes read from it, <us> the monotonic clock in microseconds when the write or read
returned, <hex> the first bytes (at most 8). Written in blocks; complete when the sim ends.
)";

[[noreturn]] void usage(const std::string &message)
{
    std::cerr << "korvane-s-sim: " << message << "\nTry 'korvane-s-sim --help'.\n";
    std::exit(2);
}

long parseNumber(const std::string &text, const std::string &what, long min, long max)
{
    long value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max)
        usage("bad value for " + what + ": '" + text + "'");
    return value;
}

void addFault(Faults &f, const std::string &fault)
{
    const auto eq = fault.find('=');
    const std::string name = fault.substr(0, eq);
    const std::string arg = eq == std::string::npos ? std::string() : fault.substr(eq + 1);
    const bool hasArg = eq != std::string::npos;
    auto number = [&] {
        if (!hasArg)
            usage("fault " + name + " needs =N");
        return parseNumber(arg, "fault " + name, 1, 1L << 30);
    };
    if (name == "silent" && !hasArg)
        f.silent = true;
    else if (name == "nak-only" && !hasArg)
        f.nakOnly = true;
    else if (name == "c-instead-of-nak" && !hasArg)
        f.cInsteadOfNak = true;
    else if (name == "verdict-failed" && !hasArg)
        f.verdictFailed = true;
    else if (name == "invalid" && hasArg && !arg.empty())
        f.invalidCommands.insert(arg);
    else if (name == "drop-block")
        f.dropBlocks.insert(number());
    else if (name == "corrupt-block")
        f.corruptBlocks.insert(number());
    else if (name == "drop-ack")
        f.dropAcks.insert(number());
    else if (name == "stall-after")
        f.stallAfter = number();
    else if (name == "vanish-after")
        f.vanishAfter = number();
    else if (name == "pause-after")
        f.pauseAfter = number();
    else
        usage("unknown fault '" + fault + "'");
}

struct Options {
    Settings settings;
    long baud = 0; // 0: unpaced
    int com = 0;
    std::string link;
    std::string lineTrace;
    long groupMs = 0; // 0: every byte as soon as it is due
};

Options parseOptions(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inlineValue = true;
            }
        }
        auto next = [&]() -> std::string {
            if (inlineValue)
                return value;
            if (i + 1 >= argc)
                usage(arg + " needs a value");
            return argv[++i];
        };
        Settings &s = o.settings;
        if (arg == "--help" || arg == "-h") {
            std::cout << HelpText;
            std::exit(0);
        } else if (arg == "--version") {
            s.version = next();
            if (s.version.empty() || s.version.find_first_of(" \t\r\n") != std::string::npos)
                usage("bad version text");
        } else if (arg == "--filters") {
            s.filters = int(parseNumber(next(), arg, 0, 9999));
        } else if (arg == "--filter-check" || arg == "--code-check" || arg == "--self-test") {
            const std::string v = next();
            SelfTestAnswer a = SelfTestAnswer::Valid;
            if (v == "failed")
                a = SelfTestAnswer::Failed;
            else if (v == "unknown")
                a = SelfTestAnswer::Unknown;
            else if (v != "valid")
                usage(arg + " takes valid, failed or unknown");
            if (arg != "--code-check")
                s.filterCheck = a;
            if (arg != "--filter-check")
                s.codeCheck = a;
        } else if (arg == "--pace") {
            const std::string v = next();
            o.baud = v == "none" ? 0 : parseNumber(v, arg, 50, 4000000);
        } else if (arg == "--com") {
            o.com = int(parseNumber(next(), arg, 1, 9));
        } else if (arg == "--link") {
            o.link = next();
        } else if (arg == "--log") {
            s.logPath = next();
        } else if (arg == "--line-trace") {
            o.lineTrace = next();
        } else if (arg == "--image-out") {
            s.imageOut = next();
        } else if (arg == "--firmware-out") {
            s.firmwareOut = next();
        } else if (arg == "--exit-after-reset" || arg == "--once") {
            s.exitAfterReset = true;
        } else if (arg == "--group") {
            o.groupMs = parseNumber(next(), arg, 0, 10000);
        } else if (arg == "--echo") {
            s.echo = true;
        } else if (arg == "--nak-interval") {
            s.nakInterval = Millis(parseNumber(next(), arg, 1, 600000));
        } else if (arg == "--nak-tries") {
            s.nakTries = int(parseNumber(next(), arg, 1, 1000));
        } else if (arg == "--gap") {
            s.gap = Millis(parseNumber(next(), arg, 0, 60000));
        } else if (arg == "--image-size") {
            s.filterImageSize = std::size_t(parseNumber(next(), arg, 0, 1L << 30));
        } else if (arg == "--fault") {
            const std::string specs = next();
            std::size_t start = 0;
            while (start <= specs.size()) {
                const auto comma = specs.find(',', start);
                const std::string one = specs.substr(start,
                                                     comma == std::string::npos ? std::string::npos : comma - start);
                addFault(s.faults, one);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else {
            usage("unknown option '" + arg + "'");
        }
    }
    return o;
}

fs::path comDirectory()
{
    if (const char *dir = std::getenv("KORVANE_COM_DIR"); dir && *dir)
        return dir;
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        return fs::path(xdg) / "korvane-s" / "ports";
    const char *home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".config" / "korvane-s" / "ports";
}

// Points link at target, replacing an earlier link (a sim that died without cleaning up)
// but never a real file.
bool makeLink(const fs::path &link, const std::string &target)
{
    std::error_code ec;
    if (link.has_parent_path())
        fs::create_directories(link.parent_path(), ec);
    if (fs::is_symlink(fs::symlink_status(link, ec))) {
        fs::remove(link, ec);
    } else if (fs::exists(fs::symlink_status(link, ec))) {
        std::cerr << "korvane-s-sim: " << link << " exists and is not a link; not replaced\n";
        return false;
    }
    fs::create_symlink(target, link, ec);
    if (ec) {
        std::cerr << "korvane-s-sim: cannot create " << link << ": " << ec.message() << '\n';
        return false;
    }
    return true;
}

// Removes the link only while it still points at our device: a newer sim may own it now.
void removeLink(const fs::path &link, const std::string &target)
{
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(link, ec)) && fs::read_symlink(link, ec) == target)
        fs::remove(link, ec);
}

// Timing of every chunk on the line, for measuring how fast a sender answers an ACK.
// Fully buffered (written in blocks of the stream's buffer size), so tracing costs no
// system call per byte; the file is complete once the sim ends.
class LineTrace {
public:
    bool open(const std::string &path)
    {
        file_ = std::fopen(path.c_str(), "w");
        if (!file_)
            return false;
        std::setvbuf(file_, nullptr, _IOFBF, 0);
        return true;
    }
    ~LineTrace()
    {
        if (file_)
            std::fclose(file_);
    }
    void record(char direction, const std::uint8_t *bytes, std::size_t n)
    {
        if (!file_ || n == 0)
            return;
        const auto us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
        std::fprintf(file_, "%c %lld %zu ", direction, static_cast<long long>(us), n);
        for (std::size_t i = 0; i < n && i < 8; ++i)
            std::fprintf(file_, "%02x", bytes[i]);
        std::fputc('\n', file_);
    }

private:
    std::FILE *file_ = nullptr;
};

struct Timed {
    std::uint8_t byte;
    Clock::time_point due;
};

// The sending half of the line: bytes wait here until their paced delivery time.
// With a group interval the bytes are handed over as a USB serial adapter does: the first
// byte due waits up to the interval (the adapter's latency timer), and everything due by then
// goes out in one write, so an ACK and the text after it, or a reply and the NAK behind it,
// arrive in one read.
class LineOutput : public Output {
public:
    LineOutput(Clock::duration byteTime, Clock::duration group, LineTrace &trace)
        : byteTime_(byteTime), group_(group), trace_(trace)
    { }

    void send(std::string_view bytes, Clock::time_point notBefore) override
    {
        for (char c : bytes) {
            lastDue_ = std::max(notBefore, lastDue_) + byteTime_;
            queue_.push_back({std::uint8_t(c), lastDue_});
        }
    }

    // Writes what is due; returns false when the pty would block.
    bool flush(int fd, Clock::time_point now)
    {
        if (group_ > Clock::duration::zero()) {
            if (queue_.empty() || queue_.front().due > now)
                return true;
            if (!groupStart_)
                groupStart_ = queue_.front().due;
            if (now < *groupStart_ + group_)
                return true;
            groupStart_.reset();
        }
        std::string chunk;
        for (const Timed &t : queue_) {
            if (t.due > now)
                break;
            chunk.push_back(char(t.byte));
        }
        if (chunk.empty())
            return true;
        const ssize_t n = ::write(fd, chunk.data(), chunk.size());
        if (n > 0)
            trace_.record('W', reinterpret_cast<const std::uint8_t *>(chunk.data()), std::size_t(n));
        if (n > 0)
            queue_.erase(queue_.begin(), queue_.begin() + n);
        return n == ssize_t(chunk.size()) || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    [[nodiscard]] bool empty() const { return queue_.empty(); }
    [[nodiscard]] std::optional<Clock::time_point> nextDue() const
    {
        if (queue_.empty())
            return std::nullopt;
        if (group_ > Clock::duration::zero())
            return std::max(queue_.front().due, groupStart_.value_or(queue_.front().due)) + group_;
        return queue_.front().due;
    }

private:
    Clock::duration byteTime_;
    Clock::duration group_;
    std::optional<Clock::time_point> groupStart_;
    LineTrace &trace_;
    Clock::time_point lastDue_{};
    std::deque<Timed> queue_;
};

} // namespace

int main(int argc, char **argv)
{
    Options options = parseOptions(argc, argv);
    LineTrace trace;
    if (!options.lineTrace.empty() && !trace.open(options.lineTrace)) {
        std::perror(("korvane-s-sim: " + options.lineTrace).c_str());
        return 1;
    }
    const Clock::duration byteTime = options.baud > 0
        ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(10.0 / double(options.baud)))
        : Clock::duration::zero();

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("korvane-s-sim: openpty");
        return 1;
    }
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(slave, TCSANOW, &tio);
    const int flags = ::fcntl(master, F_GETFL);
    ::fcntl(master, F_SETFL, flags | O_NONBLOCK);
    const std::string device = name;

    std::vector<fs::path> links;
    if (options.com > 0)
        links.push_back(comDirectory() / ("com" + std::to_string(options.com)));
    if (!options.link.empty())
        links.emplace_back(options.link);
    for (const fs::path &l : links) {
        if (!makeLink(l, device)) {
            for (const fs::path &made : links)
                removeLink(made, device);
            return 1;
        }
    }

    // Signals are only let through while the loop waits in ppoll, so a stop request can
    // never fall between the flag test and the wait.
    sigset_t blocked, waitMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGHUP);
    sigaddset(&blocked, SIGUSR1);
    sigprocmask(SIG_BLOCK, &blocked, &waitMask);
    struct sigaction sa { };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_handler = onResume;
    sigaction(SIGUSR1, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::printf("DEVICE %s\n", device.c_str());
    for (const fs::path &l : links)
        std::printf("LINK %s\n", l.c_str());
    std::fflush(stdout);

    LineOutput out(byteTime, Millis(options.groupMs), trace);
    Device dev(options.settings, out);
    std::deque<Timed> input;
    Clock::time_point lastRx{};
    bool writeBlocked = false;
    std::optional<Clock::time_point> lingerUntil;
    Clock::time_point settledAt{};

    while (!g_stop) {
        const Clock::time_point now = Clock::now();
        if (g_resume) {
            g_resume = 0;
            dev.resume(now);
        }
        while (!dev.paused() && !input.empty() && input.front().due <= now) {
            const Timed b = input.front();
            input.pop_front();
            dev.tick(b.due);
            dev.feed(b.byte, b.due);
        }
        dev.tick(now);
        writeBlocked = !out.flush(master, now);

        if (dev.exitRequested() && out.empty()) {
            // Give the client a moment to read the last reply before the line goes away:
            // closing the master discards what the slave has not read yet. Bytes written
            // to the master reach the slave's queue a little later, so an empty queue
            // counts only after a short settle time.
            if (!lingerUntil) {
                lingerUntil = now + std::chrono::seconds(2);
                settledAt = now + Millis(100);
            }
            int waiting = 0;
            const bool drained = ::ioctl(slave, FIONREAD, &waiting) != 0 || waiting == 0;
            if ((drained && now >= settledAt) || now >= *lingerUntil)
                break;
        }

        std::optional<Clock::time_point> wake = dev.nextDeadline();
        auto earliest = [&](std::optional<Clock::time_point> t) {
            if (t && (!wake || *t < *wake))
                wake = t;
        };
        if (!input.empty() && !dev.paused())
            earliest(input.front().due);
        if (!writeBlocked)
            earliest(out.nextDue());
        if (lingerUntil)
            earliest(now + Millis(20));

        timespec ts{};
        timespec *timeout = nullptr;
        if (wake) {
            const auto left = std::max(Clock::duration::zero(), *wake - now);
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
            ts.tv_sec = time_t(ns / 1000000000);
            ts.tv_nsec = long(ns % 1000000000);
            timeout = &ts;
        }
        // While paused, what the sender writes stays in the pty.
        pollfd pfd{master, short((dev.paused() ? 0 : POLLIN) | (writeBlocked ? POLLOUT : 0)), 0};
        const int r = ::ppoll(&pfd, 1, timeout, &waitMask);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::perror("korvane-s-sim: ppoll");
            break;
        }
        if (pfd.revents & POLLIN) {
            std::uint8_t buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            const Clock::time_point readAt = Clock::now();
            if (n > 0)
                trace.record('R', buf, std::size_t(n));
            for (ssize_t i = 0; i < n; ++i) {
                lastRx = std::max(readAt, lastRx) + byteTime;
                input.push_back({buf[i], lastRx});
            }
        } else if (pfd.revents & (POLLHUP | POLLERR)) {
            // Cannot happen while we hold the slave open; never spin if it does.
            ::usleep(50000);
        }
    }

    ::close(master);
    ::close(slave);
    for (const fs::path &l : links)
        removeLink(l, device);
    return 0;
}
