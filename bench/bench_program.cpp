// bench_program: how close a full programming run comes to the 9600-baud line, and what it
// costs in CPU. Run by hand from the build tree:
//
//     build/bench-bin/bench_program [--runs N] [--firmware] [--no-sx] [--keep]
//                                   [--via rfc2217|tcp [--chardelay]]
//                                   [--program-dir DIR] [--settings FILE.min]
//     build/bench-bin/bench_program --sx-only IMAGE [--runs N]     (the yardstick alone)
//
// --via rfc2217|tcp puts Debian's ser2net (on 127.0.0.1, a free port) between the program and
// the sim's pseudo-terminal and programs through --device rfc2217://... or tcp://...; the
// upload is timed on the sim's side as before, so the ratio shows what the network hop costs
// (target: at most 1.03 of the line time). The server's port is configured with
// `chardelay: false`: by default ser2net holds every byte from the serial side some 2 to 3 ms
// for more to follow, which delays each ACK and costs about 2.5 % of the upload; --chardelay
// keeps ser2net's default to show that.
//
// --cli PATH runs another build of korvane-s-cli (for before/after comparisons); it still
// runs in the program folder. --unpaced runs the sim without its line model: the upload then
// takes well under a second and is no measure of the line, but the gaps after the ACKs are
// the senders' own reaction times, free of the 138 ms sleeps and of most of the noise.
//
// Each run starts korvane-s-sim paced at 9600 baud on a pseudo-terminal and times
// `korvane-s-cli program FILE.min --device PATH --yes` from start to exit (wall clock, and
// the CPU time of the child from wait4). The sim writes a line trace (every chunk it puts on
// or reads from the line, with the monotonic time): from it the upload is timed on the
// processor's side, from the first byte of block 1 to the ACK of the EOT, and compared with
// the line time of the same bytes in both directions (132 per packet, one ACK each, EOT and
// its ACK, 10 bits a byte). The gap after each ACK is the time from the sim putting the ACK
// on the line to the first byte of the next block arriving: the sender's own reaction time.
//
// Then the same image goes through Debian's `sx -X -b` on a fresh paced sim (the receiver
// starts with NAK, so sx uses the 8-bit checksum) and the two upload times are compared.
//
// The sim is told it holds no filters and runs a newer firmware, so only the filter image
// travels; --firmware lets it report 16 stored filters, which adds the 5952-block firmware
// reload (about 14 minutes).

#include "benchmodel.h"
#include "config/settingsfile.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kByteSeconds = 10.0 / 9600.0;
const char *g_pace = "9600"; // the sim's --pace argument
std::string g_via;           // "", "rfc2217" or "tcp": through ser2net
bool g_chardelay = false;    // ser2net's own wait for more serial bytes before it sends
constexpr std::uint8_t SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15;

struct TraceEvent {
    char direction = 0; // 'W' sim to program, 'R' program to sim
    std::int64_t us = 0;
    std::size_t n = 0;
    std::vector<std::uint8_t> head; // first bytes of the chunk
};

std::vector<TraceEvent> readTrace(const fs::path &path)
{
    std::vector<TraceEvent> events;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        TraceEvent e;
        std::string hex;
        if (!(fields >> e.direction >> e.us >> e.n >> hex))
            continue;
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            e.head.push_back(std::uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
        events.push_back(std::move(e));
    }
    return events;
}

bool isSingle(const TraceEvent &e, std::uint8_t byte) { return e.n == 1 && !e.head.empty() && e.head[0] == byte; }

// One XMODEM upload as the receiving end saw it.
struct Upload {
    long blocks = 0;                  // packets started after an ACK (or the start NAK), repeats included
    long repeats = 0;                 // packets sent again after a NAK
    std::int64_t startUs = 0;         // first byte of block 1 read
    std::int64_t endUs = 0;           // ACK of the EOT written
    std::int64_t firstUs = 0;         // start NAK written -> block 1 read
    std::int64_t eotGapUs = 0;        // last ACK -> EOT read
    std::vector<std::int64_t> gapsUs; // ACK written -> next block read
    // The receiver's side of each block: first byte of a packet read -> its ACK written,
    // less the 133 byte times the packet and the ACK need on the line.
    std::vector<std::int64_t> ackLateUs;

    [[nodiscard]] double seconds() const { return double(endUs - startUs) / 1e6; }
    [[nodiscard]] double lineSeconds() const
    {
        // Every packet and its answer, then EOT and its ACK.
        return double(blocks * 133 + 2) * kByteSeconds;
    }
};

std::vector<Upload> findUploads(const std::vector<TraceEvent> &events)
{
    std::vector<Upload> uploads;
    enum class State { Idle, Blocks, Eot } state = State::Idle;
    const TraceEvent *lastWrite = nullptr;
    bool answered = false; // ACK/NAK written: the next read starts a packet
    std::int64_t answeredAt = 0;
    bool answeredWithNak = false;
    std::int64_t packetAt = -1; // first byte of the packet being received, -1 between packets
    const auto packetLineUs = std::int64_t(133 * kByteSeconds * 1e6);
    Upload current;
    for (const TraceEvent &e : events) {
        if (e.direction == 'W') {
            lastWrite = &e;
            if (state == State::Blocks && (isSingle(e, ACK) || isSingle(e, NAK))) {
                if (packetAt >= 0 && isSingle(e, ACK))
                    current.ackLateUs.push_back(e.us - packetAt - packetLineUs);
                packetAt = -1;
                answered = true;
                answeredAt = e.us;
                answeredWithNak = isSingle(e, NAK);
            } else if (state == State::Eot && !e.head.empty() && e.head[0] == ACK) {
                current.endUs = e.us;
                uploads.push_back(current);
                state = State::Idle;
            }
            continue;
        }
        if (e.head.empty())
            continue;
        if (state == State::Idle) {
            if (e.head[0] == SOH && lastWrite && isSingle(*lastWrite, NAK)) {
                current = Upload{};
                current.blocks = 1;
                current.startUs = e.us;
                current.firstUs = e.us - lastWrite->us;
                packetAt = e.us;
                state = State::Blocks;
                answered = false;
            }
        } else if (state == State::Blocks && answered) {
            if (e.head[0] == SOH) {
                packetAt = e.us;
                ++current.blocks;
                if (answeredWithNak)
                    ++current.repeats;
                else
                    current.gapsUs.push_back(e.us - answeredAt);
            } else if (e.head[0] == EOT) {
                current.eotGapUs = e.us - answeredAt;
                state = State::Eot;
            }
            answered = false;
        }
    }
    return uploads;
}

std::size_t traceBytes(const std::vector<TraceEvent> &events)
{
    return std::accumulate(events.begin(), events.end(), std::size_t{0},
                           [](std::size_t sum, const TraceEvent &e) { return sum + e.n; });
}

double loadAverage()
{
    std::ifstream in("/proc/loadavg");
    double one = 0;
    in >> one;
    return one;
}

// A child with a watchdog: killed when it outlives its time.
pid_t g_watched = 0;
void onAlarm(int)
{
    if (g_watched > 0)
        ::kill(g_watched, SIGKILL);
}

struct ChildResult {
    bool exited = false;
    int status = -1;
    double wallSeconds = 0;
    double cpuSeconds = 0; // user + system of the child
};

ChildResult waitChild(pid_t pid, Clock::time_point started, unsigned timeoutSeconds)
{
    ChildResult r;
    g_watched = pid;
    ::alarm(timeoutSeconds);
    int status = 0;
    rusage usage{};
    pid_t got = -1;
    do {
        got = ::wait4(pid, &status, 0, &usage);
    } while (got < 0 && errno == EINTR);
    ::alarm(0);
    g_watched = 0;
    r.wallSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    if (got != pid)
        return r;
    r.exited = WIFEXITED(status);
    r.status = r.exited ? WEXITSTATUS(status) : -1;
    auto seconds = [](const timeval &tv) { return double(tv.tv_sec) + double(tv.tv_usec) / 1e6; };
    r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return r;
}

// korvane-s-sim, paced, with its line trace; stopped with SIGTERM so the trace is written.
class Sim {
public:
    bool start(const fs::path &programDir, const fs::path &work, const std::string &tag, bool withFirmware)
    {
        tracePath = work / (tag + "-line.trace");
        logPath = work / (tag + "-sim.log");
        int out[2];
        if (::pipe(out) != 0)
            return false;
        const std::string exe = (programDir / "korvane-s-sim").string();
        std::vector<std::string> args = {exe,
                                         "--pace",
                                         g_pace,
                                         "--line-trace",
                                         tracePath.string(),
                                         "--log",
                                         logPath.string(),
                                         "--image-out",
                                         (work / (tag + "-image.bin")).string(),
                                         "--version",
                                         withFirmware ? "0001" : "9999",
                                         "--filters",
                                         withFirmware ? "16" : "0"};
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            std::vector<char *> argv;
            for (std::string &a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            std::perror(exe.c_str());
            ::_exit(127);
        }
        ::close(out[1]);
        if (pid_ < 0) {
            ::close(out[0]);
            return false;
        }
        std::string text;
        char c = 0;
        pollfd pfd{out[0], POLLIN, 0};
        while (text.find('\n') == std::string::npos && ::poll(&pfd, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1)
            text.push_back(c);
        ::close(out[0]);
        if (text.rfind("DEVICE ", 0) != 0)
            return false;
        device = text.substr(7, text.find('\n') - 7);
        return true;
    }

    void stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        (void)waitChild(pid_, Clock::now(), 10);
        pid_ = 0;
    }
    ~Sim() { stop(); }

    std::string device;
    fs::path tracePath;
    fs::path logPath;

private:
    pid_t pid_ = 0;
};

// A TCP port on 127.0.0.1 that was free a moment ago; 0 when none could be had.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &n) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

bool accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// ser2net in the foreground in front of the sim's device, one port of the kind asked for.
class Ser2Net {
public:
    bool start(const fs::path &work, const std::string &tag, const std::string &device)
    {
        port = freePort();
        const fs::path yaml = work / (tag + "-ser2net.yaml");
        std::ofstream(yaml) << "connection: &k\n  accepter: " << (g_via == "rfc2217" ? "telnet(rfc2217),tcp" : "tcp")
                            << ",127.0.0.1," << port << "\n  connector: serialdev," << device << ",9600n81,local\n"
                            << (g_chardelay ? "" : "  options:\n    chardelay: false\n");
        const std::string log = (work / (tag + "-ser2net.log")).string();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, STDOUT_FILENO);
            ::dup2(fd, STDERR_FILENO);
            const std::string pidFile = (work / (tag + "-ser2net.pid")).string();
            ::execlp("ser2net", "ser2net", "-n", "-u", "-P", pidFile.c_str(), "-c", yaml.c_str(),
                     static_cast<char *>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && pid_ > 0; ++i) {
            if (accepts(port))
                return true;
            ::usleep(50000);
        }
        std::fprintf(stderr, "bench_program: ser2net did not come up; its output is in %s\n", log.c_str());
        return false;
    }
    ~Ser2Net()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    [[nodiscard]] std::string url() const { return g_via + "://127.0.0.1:" + std::to_string(port); }
    int port = 0;

private:
    pid_t pid_ = 0;
};

struct GapFigures {
    double meanMs = 0, medianMs = 0, worstMs = 0;
};

GapFigures gapFigures(std::vector<std::int64_t> gaps)
{
    GapFigures g;
    if (gaps.empty())
        return g;
    std::sort(gaps.begin(), gaps.end());
    g.meanMs = double(std::accumulate(gaps.begin(), gaps.end(), std::int64_t{0})) / double(gaps.size()) / 1000.0;
    g.medianMs = double(gaps[gaps.size() / 2]) / 1000.0;
    g.worstMs = double(gaps.back()) / 1000.0;
    return g;
}

void printUpload(const char *who, const Upload &u)
{
    const GapFigures g = gapFigures(u.gapsUs);
    std::printf("  %-5s upload  %ld blocks%s: %.3f s, line limit %.3f s, ratio %.4f\n", who, u.blocks,
                u.repeats ? " (with repeats)" : "", u.seconds(), u.lineSeconds(), u.seconds() / u.lineSeconds());
    std::printf("  %-5s ACK->next block gap: mean %.3f ms, median %.3f ms, worst %.3f ms over %zu gaps; "
                "NAK->block 1 %.3f ms, last ACK->EOT %.3f ms\n",
                who, g.meanMs, g.medianMs, g.worstMs, u.gapsUs.size(), double(u.firstUs) / 1000.0,
                double(u.eotGapUs) / 1000.0);
    if (!u.ackLateUs.empty() && std::strcmp(g_pace, "none") != 0) {
        const GapFigures late = gapFigures(u.ackLateUs);
        std::printf("  %-5s the sim's ACK after the line time of its packet: mean %.3f ms, median %.3f ms, "
                    "worst %.3f ms\n",
                    who, late.meanMs, late.medianMs, late.worstMs);
    }
}

struct RunFigures {
    bool ok = false;
    double wall = 0, cpu = 0, lineAll = 0;
    std::vector<Upload> uploads;
};

RunFigures runProgram(const fs::path &programDir, const fs::path &cli, const fs::path &work, const fs::path &settings,
                      int run, bool withFirmware)
{
    RunFigures f;
    Sim sim;
    const std::string tag = "program" + std::to_string(run);
    if (!sim.start(programDir, work, tag, withFirmware)) {
        std::fprintf(stderr, "bench_program: the sim did not start\n");
        return f;
    }
    Ser2Net server;
    if (!g_via.empty() && !server.start(work, tag, sim.device))
        return f;
    const fs::path output = work / (tag + "-cli.out");
    const std::string exe = cli.string();
    std::vector<std::string> args = {
        exe, "program", settings.string(), "--device", g_via.empty() ? sim.device : server.url(), "--yes"};
    const Clock::time_point started = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The program folder is the current folder, as when the program is started from it.
        if (::chdir(programDir.c_str()) != 0)
            ::_exit(126);
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, STDOUT_FILENO);
        ::dup2(fd, STDERR_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    const ChildResult child = waitChild(pid, started, withFirmware ? 1800 : 300);
    sim.stop();
    f.wall = child.wallSeconds;
    f.cpu = child.cpuSeconds;
    if (!child.exited || child.status != 0) {
        std::fprintf(stderr, "bench_program: korvane-s-cli program ended with status %d; its output is in %s\n",
                     child.status, output.c_str());
        return f;
    }
    const auto events = readTrace(sim.tracePath);
    f.lineAll = double(traceBytes(events)) * kByteSeconds;
    f.uploads = findUploads(events);
    f.ok = !f.uploads.empty();
    if (!f.ok)
        std::fprintf(stderr, "bench_program: no upload found in %s\n", sim.tracePath.c_str());
    return f;
}

struct SxFigures {
    bool ok = false;
    double wall = 0, cpu = 0;
    Upload upload;
};

// Puts the sim into receive mode as the program would ("F P F", "Ready"), then hands the
// line to sx, which waits for the receiver's NAK.
SxFigures runSx(const fs::path &programDir, const fs::path &work, const fs::path &image, int run)
{
    SxFigures f;
    Sim sim;
    const std::string tag = "sx" + std::to_string(run);
    if (!sim.start(programDir, work, tag, false)) {
        std::fprintf(stderr, "bench_program: the sim did not start\n");
        return f;
    }
    const int fd = ::open(sim.device.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror(sim.device.c_str());
        return f;
    }
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::tcflush(fd, TCIOFLUSH);
    const char command[] = "F P F\r\n";
    if (::write(fd, command, sizeof command - 1) != ssize_t(sizeof command - 1)) {
        ::close(fd);
        return f;
    }
    std::string reply;
    pollfd pfd{fd, POLLIN, 0};
    char c = 0;
    while (reply.find("Ready\r\n") == std::string::npos && ::poll(&pfd, 1, 3000) > 0 && ::read(fd, &c, 1) == 1)
        reply.push_back(c);
    if (reply.find("Ready\r\n") == std::string::npos) {
        std::fprintf(stderr, "bench_program: the sim did not answer F P F\n");
        ::close(fd);
        return f;
    }
    const fs::path output = work / (tag + "-sx.out");
    const Clock::time_point started = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fd, STDIN_FILENO);
        ::dup2(fd, STDOUT_FILENO);
        const int err = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(err, STDERR_FILENO);
        ::execlp("sx", "sx", "-X", "-b", image.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    const ChildResult child = waitChild(pid, started, 300);
    ::close(fd);
    sim.stop();
    f.wall = child.wallSeconds;
    f.cpu = child.cpuSeconds;
    if (!child.exited || child.status != 0) {
        std::fprintf(stderr, "bench_program: sx ended with status %d; its output is in %s\n", child.status,
                     output.c_str());
        return f;
    }
    const auto uploads = findUploads(readTrace(sim.tracePath));
    if (uploads.empty()) {
        std::fprintf(stderr, "bench_program: no sx upload found in %s\n", sim.tracePath.c_str());
        return f;
    }
    f.upload = uploads.back();
    f.ok = true;
    return f;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

fs::path defaultProgramDir(const char *argv0)
{
    if (const char *env = std::getenv("KORVANE_PROGRAM_DIR"); env && *env)
        return env;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return (ec ? fs::path(argv0) : self).parent_path().parent_path() / "bin";
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 1;
    bool withFirmware = false;
    bool withSx = true;
    bool keep = false;
    fs::path programDir = defaultProgramDir(argv[0]);
    fs::path settings;
    fs::path sxOnlyImage;
    fs::path cli;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--firmware")
            withFirmware = true;
        else if (a == "--no-sx")
            withSx = false;
        else if (a == "--keep")
            keep = true;
        else if (a == "--via" && i + 1 < argc
                 && (std::string(argv[i + 1]) == "rfc2217" || std::string(argv[i + 1]) == "tcp"))
            g_via = argv[++i];
        else if (a == "--chardelay")
            g_chardelay = true;
        else if (a == "--unpaced")
            g_pace = "none";
        else if (a == "--program-dir" && i + 1 < argc)
            programDir = argv[++i];
        else if (a == "--settings" && i + 1 < argc)
            settings = argv[++i];
        else if (a == "--cli" && i + 1 < argc)
            cli = fs::absolute(argv[++i]);
        else if (a == "--sx-only" && i + 1 < argc)
            sxOnlyImage = fs::absolute(argv[++i]);
        else {
            std::fprintf(stderr,
                         "usage: bench_program [--runs N] [--firmware] [--no-sx] [--keep] [--unpaced] [--via "
                         "rfc2217|tcp [--chardelay]] "
                         "[--program-dir DIR] [--settings FILE.min] [--cli PATH] | --sx-only IMAGE [--runs N]\n");
            return 2;
        }
    }
    programDir = fs::absolute(programDir);
    if (cli.empty())
        cli = programDir / "korvane-s-cli";
    struct sigaction sa { };
    sa.sa_handler = onAlarm;
    sigaction(SIGALRM, &sa, nullptr);

    char pattern[] = "/tmp/korvane-bench-XXXXXX";
    if (!::mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path work = pattern;
    if (settings.empty()) {
        settings = work / "bench.min";
        korvane::bench::PrintingDialog dialog;
        if (!korvane::WriteSettingsFile(korvane::bench::ExpensiveModel(), QString::fromStdString(settings.string()),
                                        dialog))
            return 1;
    }
    settings = fs::absolute(settings);

    std::printf("bench_program: %d run(s), program folder %s, %s, load %.2f at start\n", runs, programDir.c_str(),
                cli.c_str(), loadAverage());
    std::vector<double> ourUpload, sxUpload, cpuShare, meanGap, worstGap, uploadRatio;
    std::vector<double> ourMedianGap, sxMedianGap, pairRatio; // pairRatio: ours / sx of one run
    bool allOk = true;
    for (int run = 1; run <= runs && !sxOnlyImage.empty(); ++run) {
        std::printf("run %d (load %.2f)\n", run, loadAverage());
        const SxFigures sx = runSx(programDir, work, sxOnlyImage, run);
        if (!sx.ok) {
            allOk = false;
            continue;
        }
        printUpload("sx", sx.upload);
        std::printf("  sx    process: %.3f s wall, CPU %.3f s\n", sx.wall, sx.cpu);
        sxUpload.push_back(sx.upload.seconds());
        std::fflush(stdout);
    }
    for (int run = 1; run <= runs && sxOnlyImage.empty(); ++run) {
        std::printf("run %d (load %.2f)\n", run, loadAverage());
        std::fflush(stdout);
        const RunFigures ours = runProgram(programDir, cli, work, settings, run, withFirmware);
        if (!ours.ok) {
            allOk = false;
            continue;
        }
        std::printf("  whole run: %.3f s wall, CPU %.3f s = %.2f %% of wall; line time of all its bytes %.3f s "
                    "(ratio %.3f)\n",
                    ours.wall, ours.cpu, 100.0 * ours.cpu / ours.wall, ours.lineAll, ours.wall / ours.lineAll);
        for (const Upload &u : ours.uploads)
            printUpload(u.blocks > 224 ? "fw" : "ours", u);
        const Upload &filter = ours.uploads.back();
        ourUpload.push_back(filter.seconds());
        uploadRatio.push_back(filter.seconds() / filter.lineSeconds());
        cpuShare.push_back(100.0 * ours.cpu / ours.wall);
        const GapFigures g = gapFigures(filter.gapsUs);
        meanGap.push_back(g.meanMs);
        ourMedianGap.push_back(g.medianMs);
        worstGap.push_back(g.worstMs);
        if (withSx) {
            const SxFigures sx = runSx(programDir, work, programDir / "filter.bin", run);
            if (!sx.ok) {
                allOk = false;
                continue;
            }
            printUpload("sx", sx.upload);
            std::printf("  sx    process: %.3f s wall, CPU %.3f s\n", sx.wall, sx.cpu);
            std::printf("  upload ours / sx: %.4f\n", filter.seconds() / sx.upload.seconds());
            sxUpload.push_back(sx.upload.seconds());
            sxMedianGap.push_back(gapFigures(sx.upload.gapsUs).medianMs);
            pairRatio.push_back(filter.seconds() / sx.upload.seconds());
        }
        std::fflush(stdout);
    }
    if (!ourUpload.empty()) {
        std::printf("summary over %zu run(s), medians (load %.2f at end):\n", ourUpload.size(), loadAverage());
        std::printf("  filter upload %.3f s, ratio to line limit %.4f (target <= %s)\n", median(ourUpload),
                    median(uploadRatio), g_via.empty() ? "1.01" : "1.03 through ser2net");
        std::printf("  ACK->next block gap: mean %.3f ms, worst %.3f ms\n", median(meanGap), median(worstGap));
        std::printf("  CPU of the whole run: %.2f %% of wall (target < 2 %%)\n", median(cpuShare));
        std::printf("  median ACK->next block gap: ours %.3f ms", median(ourMedianGap));
        if (!sxMedianGap.empty())
            std::printf(", sx %.3f ms", median(sxMedianGap));
        std::printf("\n");
        if (!pairRatio.empty()) {
            const auto [lo, hi] = std::minmax_element(pairRatio.begin(), pairRatio.end());
            const auto level = std::count_if(pairRatio.begin(), pairRatio.end(), [](double r) { return r <= 1.0; });
            std::printf("  ours / sx run by run: median %.4f, %.4f..%.4f, at most 1.00 in %td of %zu\n",
                        median(pairRatio), *lo, *hi, level, pairRatio.size());
        }
        if (!sxUpload.empty())
            std::printf("  sx upload %.3f s; ours / sx %.4f (target <= 1.00)\n", median(sxUpload),
                        median(ourUpload) / median(sxUpload));
    } else if (!sxUpload.empty()) {
        std::printf("summary over %zu run(s), median sx upload %.3f s (load %.2f at end)\n", sxUpload.size(),
                    median(sxUpload), loadAverage());
    }
    if (keep || !allOk)
        std::printf("traces and logs kept in %s\n", work.c_str());
    else
        fs::remove_all(work);
    return allOk ? 0 : 1;
}
