#include "programming.h"

#include "commwindow.h"

#include "device/comports.h"
#include "device/programmingsequence.h"
#include "messages/usermessages.h"
#include "netline/networkdevice.h"
#include "netline/networkportsetting.h"

#include <memory>

namespace korvane {

namespace {

// A run's options and, with File > COM Port > Network Port..., the line to that server: the run
// goes there, and only there.
struct RunSetup {
    ProgrammingOptions options;
    std::unique_ptr<SerialLine> line;
    QString networkDevice;
};

RunSetup setupOf(const ProgrammingRunContext &context)
{
    RunSetup setup;
    setup.options.programFolder = context.programFolder;
    setup.options.settingsPath = context.settingsPath;
    // Each report's title is said by the progress window just before its message shows, so a
    // screen reader hears how the run ended even while it is still reading the window.
    setup.options.present = [&view = context.view, &dialog = context.dialog](const ProgrammingReport &report) {
        view.announceResult(ProgrammingMessage(report).title);
        ShowProgrammingReport(dialog, report);
    };
    const NetworkPortSetting network = LoadNetworkPortSetting();
    if (network.use) {
        setup.line = MakeSerialLine(network.device);
        setup.options.line = setup.line.get();
        setup.options.onlyDevicePath = network.device;
        setup.networkDevice = network.device;
    }
    return setup;
}

// The progress window as the view of one run.
void connectView(ProgrammingSequence &sequence, ProgrammingRunContext &context, const RunSetup &setup)
{
    CommWindow &view = context.view;
    QObject::connect(&sequence, &ProgrammingSequence::stageChanged, &view, &CommWindow::setStageCaption);
    if (setup.line)
        QObject::connect(&sequence, &ProgrammingSequence::portProbed, &view,
                         [&view, name = setup.networkDevice] { view.setProbedDevice(name); });
    else
        QObject::connect(&sequence, &ProgrammingSequence::portProbed, &view, &CommWindow::setProbedPort);
    QObject::connect(&sequence, &ProgrammingSequence::packetInfoVisibleChanged, &view,
                     &CommWindow::setPacketInfoVisible);
    QObject::connect(&sequence, &ProgrammingSequence::warningVisibleChanged, &view, &CommWindow::setWarningVisible);
    QObject::connect(&sequence, &ProgrammingSequence::cancelEnabledChanged, &view, &CommWindow::setCancelEnabled);
    QObject::connect(&sequence, &ProgrammingSequence::progressMaximumChanged, &view, &CommWindow::setProgressMaximum);
    QObject::connect(&sequence, &ProgrammingSequence::packetSent, &view, &CommWindow::setPacketSent);
    QObject::connect(&sequence, &ProgrammingSequence::sleepNotPrevented, &view, &CommWindow::showSleepWarning);
    QObject::connect(&view, &CommWindow::cancelClicked, &sequence, &ProgrammingSequence::requestCancel);
    QObject::connect(&view, &CommWindow::stopRequested, &sequence, &ProgrammingSequence::requestStop);
    // The COM number a network run "found" is that of the settings file, not a discovery.
    if (context.onComPortChanged && !setup.line)
        QObject::connect(&sequence, &ProgrammingSequence::comPortChanged, &view, context.onComPortChanged);
    UserDialog &dialog = context.dialog;
    QObject::connect(&sequence, &ProgrammingSequence::logNotWritten, &view, [&dialog](const QString &problem) {
        dialog.inform(QStringLiteral("Programming Log"), LogNotWrittenText(problem), MessageIcon::Exclamation);
    });
}

} // namespace

bool RunProgrammingSequence(ProgrammingRunContext &context)
{
    const RunSetup setup = setupOf(context);
    ProgrammingSequence sequence(context.model, context.dialog, setup.options);
    connectView(sequence, context, setup);
    return sequence.run();
}

bool RunVerifySequence(ProgrammingRunContext &context)
{
    const RunSetup setup = setupOf(context);
    ProgrammingSequence sequence(context.model, context.dialog, setup.options);
    connectView(sequence, context, setup);
    return sequence.verify();
}

QString ComPortDevicePath(int port) { return ComPortDeviceName(port); }

QString ComPortStableName(int port)
{
    const QString path = ComPortDeviceName(port);
    return path.isEmpty() ? QString() : StableDeviceName(path);
}

} // namespace korvane
