// Device commands: ports, probe, program.

#include "clidialog.h"
#include "commands.h"

#include "config/model.h"
#include "config/settingsfile.h"
#include "device/comports.h"
#include "device/comroutines.h"
#include "device/programmingsequence.h"
#include "device/stopsignals.h"
#include "messages/usermessages.h"
#include "netline/networkdevice.h"
#include "output.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <optional>

#include <unistd.h>

namespace korvane::cli {

namespace {

// A programming run on stderr: stage captions, the port being probed, the firmware and sleep
// warnings and a bar of the data packets sent.
class ProgressView : public QObject {
public:
    ProgressView(ProgrammingSequence &seq, Progress &progress) : progress_(progress)
    {
        connect(&seq, &ProgrammingSequence::stageChanged, this, [this](const QString &c) {
            endLine();
            WriteError(c + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::portProbed, this, [this](int p) {
            endLine();
            WriteError(QStringLiteral("  ") + ProbedPortText(p) + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::warningVisibleChanged, this, [this](bool visible) {
            if (!visible)
                return;
            endLine();
            const FirmwareReloadNotice notice = FirmwareReloadTexts();
            WriteError(notice.wait + QLatin1Char('\n') + notice.warning + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::progressMaximumChanged, this, [this](int n) {
            max_ = n;
            progress_.restart();
        });
        connect(&seq, &ProgrammingSequence::packetSent, this, [this](int n) {
            const int max = max_ > 0 ? max_ : n;
            progress_.step(n, max, QStringLiteral("Data Packet: %1/%2").arg(n).arg(max));
        });
        connect(&seq, &ProgrammingSequence::sleepNotPrevented, this, [this](const QString &problem) {
            endLine();
            WriteError(QStringLiteral("Warning: ") + SleepNotPreventedText(problem) + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::logNotWritten, this, [this](const QString &problem) {
            endLine();
            WriteError(QStringLiteral("Warning: ") + LogNotWrittenText(problem) + QLatin1Char('\n'));
        });
    }

    void endLine() { progress_.endLine(); }

private:
    Progress &progress_;
    int max_ = 0;
};

} // namespace

bool ConfirmProgramAll()
{
    const UserMessage question = ProgramAllQuestion();
    WriteError(question.title + QStringLiteral(": ") + question.text + QStringLiteral("\nProgram? [y/N] "));
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return false;
    return line[0] == 'y' || line[0] == 'Y';
}

namespace {

bool confirm() { return ConfirmProgramAll(); }

int runPorts(Invocation &call)
{
    const QStringList ports = ListComPorts();
    for (int i = 0; i < ports.size(); ++i) {
        Record r;
        r.value(QStringLiteral("com"), i + 1);
        r.value(QStringLiteral("device"), ports[i].isEmpty() ? QJsonValue() : QJsonValue(ports[i]));
        QString dev = ports[i].isEmpty() ? QStringLiteral("-") : ports[i];
        // A port-folder entry is a link: show the device it leads to as well.
        const QFileInfo info(ports[i]);
        if (info.isSymLink()) {
            dev += QStringLiteral(" -> ") + info.symLinkTarget();
            r.value(QStringLiteral("target"), info.symLinkTarget());
        }
        // The name that stays with the adapter whichever ttyUSB number it has today.
        if (const QString id = ports[i].isEmpty() ? QString() : StableDeviceName(ports[i]); !id.isEmpty()) {
            dev += QStringLiteral("  (") + id + QLatin1Char(')');
            r.value(QStringLiteral("byId"), id);
        }
        r.line(QStringLiteral("COM %1  %2").arg(i + 1).arg(dev));
        call.out().write(r);
    }
    return kSuccess;
}

int runProbe(Invocation &call)
{
    CliDialog dialog;
    const QString onlyPath = call.value("device");
    QString why;
    const std::unique_ptr<SerialLine> owned = MakeSerialLine(onlyPath, &why);
    if (!owned)
        return call.usageError(QStringLiteral("--device %1: %2").arg(onlyPath, why));
    SerialLine &line = *owned;
    ClearCancelAndClosePort(line);
    const bool onlyDevice = !onlyPath.isEmpty();
    QStringList reasons;
    const int found = DetermineComPort(
        line, call.optionInt("port").value_or(1), [](int p) { WriteError(ProbedPortText(p) + QLatin1Char('\n')); },
        onlyDevice, &reasons);
    if (found == 0) {
        ProgrammingReport report;
        report.outcome = ProgrammingReport::Outcome::DeviceNotFound;
        report.reasons = reasons;
        ShowProgrammingReport(dialog, report);
        return kFailed;
    }
    int16_t version = 0;
    int16_t count = 0;
    bool ok = OpenComPort(line, found) && GetFirmwareVersion(line, version);
    const bool counted = ok && GetNumFiltersLoaded(line, count);
    const QString device = line.deviceName();
    CloseComPort(line);
    if (!ok) {
        ProgrammingReport report;
        report.outcome = ProgrammingReport::Outcome::FirmwareVersionUnreadable;
        ShowProgrammingReport(dialog, report);
        return kFailed;
    }
    Record r;
    r.field(QStringLiteral("comPort"), onlyDevice ? QJsonValue() : QJsonValue(found), QStringLiteral("COM port"),
            onlyDevice ? QStringLiteral("-") : QString::number(found));
    r.field(QStringLiteral("device"), device, QStringLiteral("Device"));
    r.field(QStringLiteral("firmwareVersion"), version, QStringLiteral("Firmware version"));
    r.field(QStringLiteral("filtersLoaded"), counted ? QJsonValue(count) : QJsonValue(),
            QStringLiteral("Filters loaded"), QString::number(counted ? count : 0));
    call.out().write(r);
    return kSuccess;
}

int runProgram(Invocation &call)
{
    CliDialog dialog(&call.out().progress());
    Model model;
    model.ResetAllFilterSets();
    model.ComPort = 1;
    SettingsFileInfo info;
    if (!ReadSettingsFile(model, call.argument(0), dialog, &info))
        return kFailed;
    // The port stored in the file is where the program would look first after loading it.
    model.ComPort = static_cast<int16_t>(call.optionInt("port").value_or(info.filePort));
    model.ComPort = static_cast<int16_t>(Clamp(model.ComPort, 1, 9));

    ProgrammingOptions options;
    const QString folder = call.value("folder");
    options.programFolder = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    options.firmwarePath = call.value("firmware");
    options.settingsPath = call.argument(0);
    // Each run makes its line from its device text (a network serial server's address, or a
    // serial device), on its own thread when there are several.
    options.makeLine = [](const QString &device) { return MakeSerialLine(device); };
    const QStringList devices = call.values("device");
    for (const QString &device : devices)
        if (QString why; !MakeSerialLine(device, &why))
            return call.usageError(QStringLiteral("--device %1: %2").arg(device, why));
    if (devices.size() > 1 || call.isSet("all"))
        return RunProgramMany(call, model, options, dialog);
    options.onlyDevicePath = devices.value(0);
    if (!call.isSet("yes") && !confirm()) {
        WriteError(QStringLiteral("Not programmed.\n"));
        return kFailed;
    }

    ProgrammingSequence seq(model, dialog, options);
    ProgressView view(seq, call.out().progress());

    // Ctrl-C, SIGTERM and SIGHUP cancel the run; during the firmware reload they are held
    // until it has ended: a closed terminal or a dropped session must not cut the reload
    // short, the processor would be left without firmware.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &seq, [&seq, &view](int sig) {
        view.endLine();
        const QString from = sig == SIGINT ? QString() : StopSignalName(sig) + QStringLiteral(": ");
        WriteError(from + StopRequestText(seq.requestStop()) + QLatin1Char('\n'));
    });

    const bool ok = seq.run();
    view.endLine();
    if (call.out().json())
        call.out().write(ProgrammingRecord(seq.facts(), options.onlyDevicePath));
    return ok ? kSuccess : kFailed;
}

int runVerify(Invocation &call)
{
    CliDialog dialog(&call.out().progress());
    Model model;
    model.ResetAllFilterSets();
    model.ComPort = static_cast<int16_t>(call.optionInt("port").value_or(1));
    ProgrammingOptions options;
    options.onlyDevicePath = call.value("device");
    if (QString why; !MakeSerialLine(options.onlyDevicePath, &why))
        return call.usageError(QStringLiteral("--device %1: %2").arg(options.onlyDevicePath, why));
    options.makeLine = [](const QString &device) { return MakeSerialLine(device); };
    // The result is the record on stdout; the dialog carries only what went wrong.
    options.present = [&dialog](const ProgrammingReport &r) {
        if (r.outcome != ProgrammingReport::Outcome::SelfTested)
            ShowProgrammingReport(dialog, r);
    };
    ProgrammingSequence seq(model, dialog, options);
    ProgressView view(seq, call.out().progress());
    const bool answered = seq.verify();
    view.endLine();
    const ProgrammingFacts &f = seq.facts();
    if (f.reports.isEmpty() || f.reports.last().outcome != ProgrammingReport::Outcome::SelfTested)
        return kFailed;
    Record r;
    r.field(QStringLiteral("device"), f.device, QStringLiteral("Device"));
    if (!f.byId.isEmpty())
        r.field(QStringLiteral("byId"), f.byId, QStringLiteral("By id"));
    r.field(QStringLiteral("filters"), SelfTestWord(f.filterCheck), QStringLiteral("Filters"),
            SelfTestText(f.filterCheck));
    r.field(QStringLiteral("code"), SelfTestWord(f.codeCheck), QStringLiteral("Firmware"), SelfTestText(f.codeCheck));
    call.out().write(r);
    if (!answered) {
        // What a failed check means and what to do.
        const UserMessage m = ProgrammingMessage(f.reports.last());
        call.out().note(QString(m.text).replace(kCR, QStringLiteral("\n")));
    }
    return answered ? kSuccess : kFailed;
}

} // namespace

const Command kPortsCommand{
    .name = "ports",
    .summary = "COM 1..9 and the device behind each",
    .options = {JsonOption()},
    .description = "Lists COM 1..9 and the serial device behind each (\"-\" when there is none), with its\n"
                   "stable /dev/serial/by-id name where it has one.\n"
                   "COM n is <comdir>/comN when that entry exists, where comdir is $KORVANE_COM_DIR or else\n"
                   "${XDG_CONFIG_HOME:-$HOME/.config}/korvane-s/ports. Without KORVANE_COM_DIR the remaining\n"
                   "numbers go, in order, to USB adapters sorted by their by-id name, then to the built-in\n"
                   "ports /dev/ttyS* that have hardware.\n",
    .exitStatus = "0.",
    .run = runPorts,
};

const Command kProbeCommand{
    .name = "probe",
    .summary = "find the processor",
    .options = {PortOption("look on COM N first (default 1)"),
                DeviceOption(
                    "probe only the device PATH, or a network serial server\n(rfc2217://HOST:PORT or tcp://HOST:PORT)"),
                JsonOption()},
    .exclusive = {{"port", "device"}},
    .description = "Looks for the processor as a programming run does: COM N first (default 1), then the\n"
                   "other ports 1..9 in ascending order, each asked \"F V\".\n"
                   "Prints the port, the device, the firmware version (for example 105) and the number of\n"
                   "filters loaded.\n",
    .exitStatus = "0 found, 1 not found, 2 usage error.",
    .run = runProbe,
};

const Command kVerifyCommand{
    .name = "verify",
    .summary = "the processor's own checksum tests",
    .options = {PortOption("look on COM N first (default 1)"), DeviceOption("ask only the device PATH"), JsonOption()},
    .exclusive = {{"port", "device"}},
    .description = "Finds the processor as a programming run does and asks it to check what it holds: \"T D F\"\n"
                   "(its stored filters) and \"T D C\" (its firmware). Prints each result: valid, failed, or\n"
                   "not verified when this firmware cannot check itself (it answers \"INVALID COMMAND\" or\n"
                   "nothing). Nothing is changed on the processor.\n",
    .exitStatus = "0 no check failed (\"not verified\" included), 1 a check failed or no processor, 2 usage\n"
                  "error.",
    .run = runVerify,
};

const Command kProgramCommand{
    .name = "program",
    .summary = "program the processor",
    .arguments = {{"FILE.min"}},
    .options
    = {PortOption("look on COM N first (default: the port stored in FILE.min)"),
       {.name = "device",
        .valueName = "PATH",
        .help = "program only the device PATH, or the processor behind a\nnetwork serial server: "
                "rfc2217://HOST:PORT sets the\nserver's port to 9600 baud 8N1; tcp://HOST:PORT is a raw\nTCP port; "
                "given more than once, program those devices at once",
        .repeatable = true},
       {.name = "all", .help = "program at once every port where a processor answers"},
       JsonOption(),
       {.name = "firmware",
        .valueName = "PATH",
        .help = "firmware image to use instead of korvanes.fwr, which is looked for\n"
                "in the program folder, then ~/.local/share/korvane-s, then the\n"
                "installed data folder"},
       {.name = "folder",
        .valueName = "DIR",
        .help = "program folder (default: the folder of korvane-s-cli); filter.bin is\n"
                "written there when it is writable, else to ~/.local/state/korvane-s"},
       {.name = "yes", .help = "do not ask \"Program All Filters?\""}},
    .exclusive = {{"port", "device"}, {"port", "all"}, {"device", "all"}},
    .description = "Programs all 16 filter sets of the settings file FILE.min into the processor, as\n"
                   "File > Program Korvane-S does: finds the processor, builds filter.bin, reloads the\n"
                   "firmware when the processor's is older or it reports 10 or more filters, uploads the\n"
                   "filters, asks the processor to check them (\"T D F\"; after a reload also its firmware,\n"
                   "\"T D C\") and resets it. A failed check fails the run; a firmware that cannot check\n"
                   "itself leaves it \"not verified\". Every run appends a line to programming-log.jsonl\n"
                   "(korvane-s-cli log). With several --device or --all the processors are programmed at\n"
                   "once, one line of progress each, and --json writes one object per device. Progress\n"
                   "goes to stderr; Ctrl-C, SIGTERM and SIGHUP cancel, except while the firmware is being\n"
                   "reloaded, when they are held off until the reload has ended. The machine is kept from sleeping or "
                   "shutting down while the run\n"
                   "lasts. The 20-band equalizer file \"20Band\" is the current folder's, else the program's\n"
                   "own.\n",
    .exitStatus = "0 programmed (every device), 1 not programmed (any device), 2 usage error.",
    .run = runProgram,
};

} // namespace korvane::cli
