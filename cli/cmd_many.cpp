// `program` with several devices at once, and the record of one device's run.
//
// Each device gets a ProgrammingSequence of its own on a thread of its own. The device link's
// waits pump events, but a run is one call that returns only when it has ended: two runs
// started from one event loop nest, and the outer one stands still (its line silent, its
// XMODEM sender stopped) until the inner one has ended, so four runs would take four times
// as long. On threads each run pumps its own thread's events; the progress signals reach
// this view on the main thread through queued connections, and each run honours a cancel
// request of its own.

#include "commands.h"

#include "coefgen/coefimage.h"
#include "config/filelocations.h"
#include "device/comports.h"
#include "device/comroutines.h"
#include "device/qtserialline.h"
#include "device/stopsignals.h"
#include "messages/usermessages.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include <sys/ioctl.h>
#include <unistd.h>

namespace korvane::cli {

namespace {

struct Unit {
    QString device; // the --device text, as given
    Model model;
    std::unique_ptr<ProgrammingSequence> seq;
    std::unique_ptr<QThread> thread;
    bool ok = false;
    // What the view shows of it.
    QString stage;
    int packet = 0;
    int packets = 0;
    int lastTenth = -1;
    QString result;
};

QString oneLine(const QString &text) { return QString(text).replace(QLatin1Char('\r'), QStringLiteral(" / ")); }

// On a terminal one line per device, all redrawn in place; otherwise one line per event,
// "DEVICE: event", and about ten lines per upload.
class ManyView : public QObject {
public:
    explicit ManyView(std::vector<std::unique_ptr<Unit>> &units) : units_(units), tty_(::isatty(STDERR_FILENO) == 1)
    {
        for (auto &u : units_)
            width_ = std::max(width_, int(u->device.size()));
    }

    void attach(Unit &u)
    {
        ProgrammingSequence &seq = *u.seq;
        connect(&seq, &ProgrammingSequence::stageChanged, this, [this, &u](const QString &c) {
            u.stage = c;
            u.packets = 0;
            u.lastTenth = -1;
            event(u, c);
        });
        connect(&seq, &ProgrammingSequence::warningVisibleChanged, this, [this, &u](bool visible) {
            if (visible)
                event(u, FirmwareReloadTexts().warning);
        });
        connect(&seq, &ProgrammingSequence::progressMaximumChanged, this, [&u](int n) {
            u.packets = n;
            u.packet = 0;
            u.lastTenth = -1;
        });
        connect(&seq, &ProgrammingSequence::packetSent, this, [this, &u](int n) {
            u.packet = n;
            const int max = std::max(u.packets, n);
            const int tenth = 10 * n / std::max(max, 1);
            if (tty_)
                redraw();
            else if (tenth != u.lastTenth)
                event(u, QStringLiteral("Data Packet: %1/%2").arg(n).arg(max));
            u.lastTenth = tenth;
        });
        // Every run tries to keep the machine awake; when they cannot, it is said once.
        connect(&seq, &ProgrammingSequence::sleepNotPrevented, this, [this, &u](const QString &problem) {
            if (!sleepWarned_)
                event(u, QStringLiteral("Warning: ") + SleepNotPreventedText(problem));
            sleepWarned_ = true;
        });
        connect(&seq, &ProgrammingSequence::logNotWritten, this, [this, &u](const QString &problem) {
            event(u, QStringLiteral("Warning: ") + LogNotWrittenText(problem));
        });
    }

    // A report of a run (sent from its thread).
    void report(Unit &u, const ProgrammingReport &r)
    {
        const UserMessage m = ProgrammingMessage(r);
        u.result = m.title;
        event(u, m.title + QStringLiteral(": ") + oneLine(m.text));
    }

    void event(Unit &u, const QString &text)
    {
        if (tty_) {
            // Notes that are more than a stage go above the table, which is drawn again.
            if (text != u.stage && text != u.result)
                printAbove(u, text);
            redraw();
            return;
        }
        std::fprintf(stderr, "%s: %s\n", qPrintable(u.device), qPrintable(text));
    }

    void finish()
    {
        if (tty_)
            redraw();
    }

private:
    [[nodiscard]] int columns() const
    {
        winsize ws{};
        return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 20 ? ws.ws_col : 80;
    }

    void clearTable()
    {
        if (drawn_ > 0)
            std::fprintf(stderr, "\x1b[%dA", drawn_);
        for (int i = 0; i < drawn_; ++i)
            std::fputs("\r\x1b[2K\n", stderr);
        if (drawn_ > 0)
            std::fprintf(stderr, "\x1b[%dA", drawn_);
        drawn_ = 0;
    }

    void printAbove(const Unit &u, const QString &text)
    {
        clearTable();
        std::fprintf(stderr, "%s: %s\n", qPrintable(u.device), qPrintable(text));
    }

    void redraw()
    {
        if (drawn_ > 0)
            std::fprintf(stderr, "\x1b[%dA", drawn_);
        const int cols = columns();
        for (const auto &u : units_) {
            QString line = u->device.leftJustified(width_) + QStringLiteral("  ");
            if (!u->result.isEmpty()) {
                line += u->result;
            } else {
                line += u->stage;
                if (u->packets > 0) {
                    constexpr int kBar = 20;
                    const int filled = kBar * u->packet / u->packets;
                    line += QStringLiteral("  [%1%2] %3/%4")
                                .arg(QString(filled, QLatin1Char('#')), QString(kBar - filled, QLatin1Char(' ')))
                                .arg(u->packet)
                                .arg(u->packets);
                }
            }
            // A line longer than the terminal would wrap and break the redraw.
            std::fprintf(stderr, "\r\x1b[2K%s\n", qPrintable(line.left(cols - 1)));
        }
        drawn_ = int(units_.size());
        std::fflush(stderr);
    }

    std::vector<std::unique_ptr<Unit>> &units_;
    bool tty_;
    int width_ = 0;
    int drawn_ = 0;
    bool sleepWarned_ = false;
};

// Every COM port whose device answers "F V", probed one after the other.
QStringList answeringPorts()
{
    QStringList found;
    for (const QString &path : ListComPorts()) {
        if (path.isEmpty())
            continue;
        QtSerialLine line(path);
        ClearCancelAndClosePort(line);
        std::fprintf(stderr, "Probing %s\n", qPrintable(path));
        if (DetermineComPort(line, 1, {}, true) != 0)
            found << path;
    }
    return found;
}

// The devices named (--device) or, with --all, every answering port, once each, when the
// user confirms (or --yes); nothing (said why) when none answered or the user declined.
std::optional<QStringList> devicesToProgram(Invocation &call, CliDialog &dialog)
{
    QStringList devices = call.values("device");
    if (call.isSet("all")) {
        devices = answeringPorts();
        if (devices.isEmpty()) {
            ProgrammingReport r;
            r.outcome = ProgrammingReport::Outcome::DeviceNotFound;
            ShowProgrammingReport(dialog, r);
            return std::nullopt;
        }
    }
    devices.removeDuplicates();
    if (!call.isSet("yes") && !ConfirmProgramAll()) {
        std::fputs("Not programmed.\n", stderr);
        return std::nullopt;
    }
    return devices;
}

// One image for all, built and written once; nothing (reported) when it could not be.
std::optional<QByteArray> sharedImage(const Model &model, const ProgrammingOptions &base, CliDialog &dialog)
{
    QString why = QStringLiteral("a filter set could not be built");
    const auto image = BuildFilterImageBytes(model, dialog);
    const QString imagePath = FilterImagePath(base.programFolder);
    if (!image || !WriteFilterImage(*image, imagePath, &why)) {
        ProgrammingReport r;
        r.outcome = ProgrammingReport::Outcome::ImageNotWritten;
        r.path = QFileInfo(imagePath).absoluteFilePath();
        r.reason = why;
        ShowProgrammingReport(dialog, r);
        return std::nullopt;
    }
    return image;
}

// The unit's sequence, for its device alone with its own cancel request and the shared
// image, shown by view, and the thread that will run it (not started).
void prepareRun(Unit &u, ManyView &view, const ProgrammingOptions &base, const QByteArray &image, CliDialog &dialog)
{
    ProgrammingOptions options = base;
    options.onlyDevicePath = u.device;
    options.image = image;
    options.ownCancelRequest = true;
    Unit *unit = &u;
    // Reports come from the run's thread; the view shows them on this one. The run goes
    // on at once, as after a message on stderr.
    options.present = [&view, unit](const ProgrammingReport &r) {
        QMetaObject::invokeMethod(
            &view, [&view, unit, r] { view.report(*unit, r); }, Qt::QueuedConnection);
    };
    u.seq = std::make_unique<ProgrammingSequence>(u.model, dialog, options);
    view.attach(u);
    u.thread.reset(QThread::create([unit] { unit->ok = unit->seq->run(); }));
}

// Starts every unit's thread and shows their progress until all have ended.
void runAll(std::vector<std::unique_ptr<Unit>> &units, ManyView &view)
{
    QEventLoop loop;
    int running = int(units.size());
    for (auto &u : units) {
        QObject::connect(u->thread.get(), &QThread::finished, &loop, [&running, &loop] {
            if (--running == 0)
                loop.quit();
        });
        u->thread->start();
    }
    if (running > 0)
        loop.exec();
    // The reports queued by the last runs.
    QCoreApplication::sendPostedEvents(&view);
    view.finish();
}

} // namespace

Record ProgrammingRecord(const ProgrammingFacts &f, const QString &device)
{
    const ProgrammingReport last = f.reports.isEmpty() ? ProgrammingReport() : f.reports.last();
    const bool ok = last.outcome == ProgrammingReport::Outcome::Programmed;
    QStringList messages;
    for (const ProgrammingReport &r : f.reports) {
        const UserMessage m = ProgrammingMessage(r);
        messages << m.title + QStringLiteral(": ") + oneLine(m.text);
    }
    // A failed check is the processor's word; "not verified" is a firmware that cannot check.
    const SelfTest verified = f.filterCheck == SelfTest::Failed || f.codeCheck == SelfTest::Failed ? SelfTest::Failed
                                                                                                   : f.filterCheck;
    const auto orNull = [](const QString &t) { return t.isEmpty() ? QJsonValue() : QJsonValue(t); };
    const int version = f.firmwareAfter >= 0 ? f.firmwareAfter : f.firmwareBefore;
    Record r;
    r.value(QStringLiteral("device"), device.isEmpty() ? orNull(f.device) : QJsonValue(device));
    r.value(QStringLiteral("byId"), orNull(f.byId));
    r.value(QStringLiteral("outcome"), ok ? QStringLiteral("success") : QStringLiteral("failure"));
    r.value(QStringLiteral("firmwareVersion"), version >= 0 ? QJsonValue(version) : QJsonValue());
    r.value(QStringLiteral("reloaded"), f.reloaded);
    r.value(QStringLiteral("verified"), SelfTestWord(verified));
    r.value(QStringLiteral("seconds"), qRound(f.seconds * 10) / 10.0);
    r.value(QStringLiteral("imageSha256"), orNull(f.imageSha256));
    r.value(QStringLiteral("message"), messages.join(QStringLiteral(" | ")));
    r.line(QStringLiteral("%1  %2  firmware %3%4  %5  %6 s")
               .arg(device.isEmpty() ? f.device : device, ok ? QStringLiteral("programmed") : QStringLiteral("FAILED"),
                    version >= 0 ? QString::number(version) : QStringLiteral("?"),
                    f.reloaded ? QStringLiteral(" (reloaded)") : QString(), SelfTestText(verified))
               .arg(f.seconds, 0, 'f', 1));
    return r;
}

int RunProgramMany(Invocation &call, Model &model, const ProgrammingOptions &base, CliDialog &dialog)
{
    const std::optional<QStringList> devices = devicesToProgram(call, dialog);
    if (!devices)
        return kFailed;
    const std::optional<QByteArray> image = sharedImage(model, base, dialog);
    if (!image)
        return kFailed;

    std::vector<std::unique_ptr<Unit>> units;
    for (const QString &device : *devices) {
        auto u = std::make_unique<Unit>();
        u->device = device;
        u->model = model;
        units.push_back(std::move(u));
    }
    ManyView view(units);
    for (auto &u : units)
        prepareRun(*u, view, base, *image, dialog);

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &view, [&units](int sig) {
        const QString from = sig == SIGINT ? QString() : StopSignalName(sig) + QStringLiteral(": ");
        for (auto &u : units)
            std::fprintf(stderr, "%s: %s\n", qPrintable(u->device),
                         qPrintable(from + StopRequestText(u->seq->requestStop())));
    });
    runAll(units, view);

    bool all = true;
    for (auto &u : units) {
        u->thread->wait();
        all = all && u->ok;
        call.out().write(ProgrammingRecord(u->seq->facts(), u->device));
    }
    return all ? kSuccess : kFailed;
}

} // namespace korvane::cli
