// Device commands: ports, probe, program.

#include "clidialog.h"
#include "commands.h"

#include "config/model.h"
#include "config/settingsfile.h"
#include "device/comports.h"
#include "device/comroutines.h"
#include "device/programmingsequence.h"
#include "device/qtserialline.h"
#include "device/stopsignals.h"
#include "messages/usermessages.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <optional>

#include <unistd.h>

namespace korvane::cli {

namespace {

const char kPortsUsage[] = "usage: korvane-s-cli ports\n"
                           "\n"
                           "Lists COM 1..9 and the serial device behind each (\"-\" when there is none), with its\n"
                           "stable /dev/serial/by-id name where it has one.\n"
                           "COM n is <comdir>/comN when that entry exists, where comdir is $KORVANE_COM_DIR or else\n"
                           "${XDG_CONFIG_HOME:-$HOME/.config}/korvane-s/ports. Without KORVANE_COM_DIR the remaining\n"
                           "numbers go, in order, to USB adapters sorted by their by-id name, then to the built-in\n"
                           "ports /dev/ttyS* that have hardware.\n"
                           "Exit status: 0.\n";

const char kProbeUsage[] = "usage: korvane-s-cli probe [--port N | --device PATH]\n"
                           "\n"
                           "Looks for the processor as a programming run does: COM N first (default 1), then the\n"
                           "other ports 1..9 in ascending order, each asked \"F V\". --device probes only PATH.\n"
                           "Prints the port, the device, the firmware version (for example 105) and the number of\n"
                           "filters loaded.\n"
                           "Exit status: 0 found, 1 not found, 2 usage error.\n";

const char kProgramUsage[]
    = "usage: korvane-s-cli program FILE.min [--port N | --device PATH] [--firmware PATH]\n"
      "                              [--folder DIR] [--yes]\n"
      "\n"
      "Programs all 16 filter sets of the settings file FILE.min into the processor, as\n"
      "File > Program Korvane-S does: finds the processor (the file's port first, or COM N with\n"
      "--port; only PATH with --device), builds filter.bin, reloads the firmware when the\n"
      "processor's is older or it reports 10 or more filters, uploads the filters and resets\n"
      "the processor. Progress goes to stderr; Ctrl-C, SIGTERM and SIGHUP cancel, except while\n"
      "the firmware is being reloaded, when they are held off until the reload has ended. The\n"
      "machine is kept from sleeping or shutting down while the run lasts. The 20-band\n"
      "equalizer file \"20Band\" is the current folder's, else the program's own.\n"
      "  --firmware PATH  firmware image to use instead of korvanes.fwr, which is looked for in\n"
      "                   the program folder, then ~/.local/share/korvane-s, then the\n"
      "                   installed data folder\n"
      "  --folder DIR     program folder (default: the folder of korvane-s-cli); filter.bin is\n"
      "                   written there when it is writable, else to ~/.local/state/korvane-s\n"
      "  --yes            do not ask \"Program All Filters?\"\n"
      "Exit status: 0 programmed, 1 not programmed, 2 usage error.\n";

struct DeviceArgs {
    QStringList positional;
    std::optional<int> port;
    QString device;
    QString firmware;
    QString folder;
    bool yes = false;
};

bool parseDeviceArgs(const QStringList &args, bool programOptions, DeviceArgs &out, QString &problem)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString &into) {
            if (i + 1 >= args.size()) {
                problem = a + QStringLiteral(" needs a value");
                return false;
            }
            into = args[++i];
            return true;
        };
        if (a == QLatin1String("--port")) {
            QString v;
            if (!value(v))
                return false;
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < 1 || n > 9) {
                problem = QStringLiteral("--port takes a number 1..9");
                return false;
            }
            out.port = n;
        } else if (a == QLatin1String("--device")) {
            if (!value(out.device))
                return false;
        } else if (programOptions && a == QLatin1String("--firmware")) {
            if (!value(out.firmware))
                return false;
        } else if (programOptions && a == QLatin1String("--folder")) {
            if (!value(out.folder))
                return false;
        } else if (programOptions && a == QLatin1String("--yes")) {
            out.yes = true;
        } else if (a.startsWith(QLatin1String("--"))) {
            problem = QStringLiteral("unknown option %1").arg(a);
            return false;
        } else {
            out.positional << a;
        }
    }
    if (out.port && !out.device.isEmpty()) {
        problem = QStringLiteral("--port and --device exclude each other");
        return false;
    }
    return true;
}

void err(const QString &text) { std::fputs(qPrintable(text), stderr); }

// Terminal view of a programming run on stderr: stage captions, the port being probed, a
// packet bar. On a terminal the bar redraws in place; otherwise a line per tenth.
class ProgressView : public QObject {
public:
    explicit ProgressView(ProgrammingSequence &seq) : tty_(::isatty(STDERR_FILENO) == 1)
    {
        connect(&seq, &ProgrammingSequence::stageChanged, this, [this](const QString &c) {
            endLine();
            err(c + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::portProbed, this, [this](int p) {
            endLine();
            err(QStringLiteral("  ") + ProbedPortText(p) + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::warningVisibleChanged, this, [this](bool visible) {
            if (!visible)
                return;
            endLine();
            const FirmwareReloadNotice notice = FirmwareReloadTexts();
            err(notice.wait + QLatin1Char('\n') + notice.warning + QLatin1Char('\n'));
        });
        connect(&seq, &ProgrammingSequence::progressMaximumChanged, this, [this](int n) {
            max_ = n;
            lastTenth_ = -1;
        });
        connect(&seq, &ProgrammingSequence::packetSent, this, [this](int n) { packet(n); });
        connect(&seq, &ProgrammingSequence::sleepNotPrevented, this, [this](const QString &problem) {
            endLine();
            err(QStringLiteral("Warning: ") + SleepNotPreventedText(problem) + QLatin1Char('\n'));
        });
    }
    ~ProgressView() override { endLine(); }

    void endLine()
    {
        if (open_)
            err(QStringLiteral("\n"));
        open_ = false;
    }

private:
    void packet(int n)
    {
        const int max = max_ > 0 ? max_ : n;
        if (tty_) {
            constexpr int width = 40;
            const int filled = int(qint64(width) * n / max);
            err(QStringLiteral("\r  [%1%2] Data Packet: %3/%4")
                    .arg(QString(filled, QLatin1Char('#')), QString(width - filled, QLatin1Char(' ')))
                    .arg(n)
                    .arg(max));
            open_ = true;
        } else {
            const int tenth = int(qint64(10) * n / max);
            if (tenth != lastTenth_) {
                lastTenth_ = tenth;
                err(QStringLiteral("  Data Packet: %1/%2\n").arg(n).arg(max));
            }
        }
    }

    bool tty_;
    bool open_ = false;
    int max_ = 0;
    int lastTenth_ = -1;
};

// Messages start on a line of their own, after a progress bar that is still being drawn.
class ProgramDialog : public CliDialog {
public:
    MessageAnswer showMessage(const QString &title, const QString &text, MessageIcon icon,
                              MessageButtons buttons) override
    {
        if (view)
            view->endLine();
        return CliDialog::showMessage(title, text, icon, buttons);
    }
    ProgressView *view = nullptr;
};

bool confirm()
{
    const UserMessage question = ProgramAllQuestion();
    err(question.title + QStringLiteral(": ") + question.text + QStringLiteral("\nProgram? [y/N] "));
    char line[64] = {};
    if (!std::fgets(line, sizeof line, stdin))
        return false;
    return line[0] == 'y' || line[0] == 'Y';
}

} // namespace

int cmdPorts(const QStringList &args)
{
    if (wantsHelp(args, kPortsUsage))
        return 0;
    if (!args.isEmpty())
        return usageError(kPortsUsage, QStringLiteral("ports takes no arguments"));
    const QStringList ports = ListComPorts();
    for (int i = 0; i < ports.size(); ++i) {
        QString dev = ports[i].isEmpty() ? QStringLiteral("-") : ports[i];
        // A port-folder entry is a link: show the device it leads to as well.
        const QFileInfo info(ports[i]);
        if (info.isSymLink())
            dev += QStringLiteral(" -> ") + info.symLinkTarget();
        // The name that stays with the adapter whichever ttyUSB number it has today.
        if (const QString id = ports[i].isEmpty() ? QString() : StableDeviceName(ports[i]); !id.isEmpty())
            dev += QStringLiteral("  (") + id + QLatin1Char(')');
        std::printf("COM %d  %s\n", i + 1, qPrintable(dev));
    }
    return 0;
}

int cmdProbe(const QStringList &args)
{
    if (wantsHelp(args, kProbeUsage))
        return 0;
    DeviceArgs a;
    QString problem;
    if (!parseDeviceArgs(args, false, a, problem))
        return usageError(kProbeUsage, problem);
    if (!a.positional.isEmpty())
        return usageError(kProbeUsage, QStringLiteral("probe takes no file"));

    CliDialog dialog;
    QtSerialLine line(a.device);
    ClearCancelAndClosePort(line);
    const bool onlyDevice = !a.device.isEmpty();
    QStringList reasons;
    const int found = DetermineComPort(
        line, a.port.value_or(1), [](int p) { err(ProbedPortText(p) + QLatin1Char('\n')); }, onlyDevice, &reasons);
    if (found == 0) {
        ProgrammingReport report;
        report.outcome = ProgrammingReport::Outcome::DeviceNotFound;
        report.reasons = reasons;
        ShowProgrammingReport(dialog, report);
        return 1;
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
        return 1;
    }
    if (onlyDevice)
        std::printf("COM port: -\n");
    else
        std::printf("COM port: %d\n", found);
    std::printf("Device: %s\nFirmware version: %d\nFilters loaded: %d\n", qPrintable(device), int(version),
                counted ? int(count) : 0);
    return 0;
}

int cmdProgram(const QStringList &args)
{
    if (wantsHelp(args, kProgramUsage))
        return 0;
    DeviceArgs a;
    QString problem;
    if (!parseDeviceArgs(args, true, a, problem))
        return usageError(kProgramUsage, problem);
    if (a.positional.size() != 1)
        return usageError(kProgramUsage, QStringLiteral("program needs exactly one FILE.min"));

    ProgramDialog dialog;
    Model model;
    model.ResetAllFilterSets();
    model.ComPort = 1;
    SettingsFileInfo info;
    if (!ReadSettingsFile(model, a.positional[0], dialog, &info))
        return 1;
    // The port stored in the file is where the program would look first after loading it.
    model.ComPort = a.port ? static_cast<int16_t>(*a.port) : info.filePort;
    model.ComPort = static_cast<int16_t>(Clamp(model.ComPort, 1, 9));

    ProgrammingOptions options;
    options.programFolder = a.folder.isEmpty() ? QCoreApplication::applicationDirPath() : a.folder;
    options.firmwarePath = a.firmware;
    options.onlyDevicePath = a.device;
    if (!a.yes && !confirm()) {
        err(QStringLiteral("Not programmed.\n"));
        return 1;
    }

    ProgrammingSequence seq(model, dialog, options);
    ProgressView view(seq);
    dialog.view = &view;

    // Ctrl-C, SIGTERM and SIGHUP cancel the run; during the firmware reload they are held
    // until it has ended: a closed terminal or a dropped session must not cut the reload
    // short, the processor would be left without firmware.
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &seq, [&seq, &view](int sig) {
        view.endLine();
        const QString from = sig == SIGINT ? QString() : StopSignalName(sig) + QStringLiteral(": ");
        err(from + StopRequestText(seq.requestStop()) + QLatin1Char('\n'));
    });

    const bool ok = seq.run();
    view.endLine();
    return ok ? 0 : 1;
}

} // namespace korvane::cli
