#include "programming.h"

#include "commwindow.h"

#include "device/comports.h"
#include "device/programmingsequence.h"
#include "netline/networkdevice.h"
#include "netline/networkportsetting.h"

#include <memory>

namespace korvane {

bool RunProgrammingSequence(ProgrammingRunContext &context)
{
    ProgrammingOptions options;
    options.programFolder = context.programFolder;
    // File > COM Port > Network Port...: the run goes to that server, and only there.
    const NetworkPortSetting network = LoadNetworkPortSetting();
    std::unique_ptr<SerialLine> line;
    if (network.use) {
        line = MakeSerialLine(network.device);
        options.line = line.get();
        options.onlyDevicePath = network.device;
    }
    ProgrammingSequence sequence(context.model, context.dialog, options);
    CommWindow &view = context.view;
    QObject::connect(&sequence, &ProgrammingSequence::stageChanged, &view, &CommWindow::setStageCaption);
    if (options.line)
        QObject::connect(&sequence, &ProgrammingSequence::portProbed, &view,
                         [&view, name = network.device] { view.setProbedDevice(name); });
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
    if (context.onComPortChanged && !options.line)
        QObject::connect(&sequence, &ProgrammingSequence::comPortChanged, &view, context.onComPortChanged);
    return sequence.run();
}

QString ComPortDevicePath(int port) { return ComPortDeviceName(port); }

QString ComPortStableName(int port)
{
    const QString path = ComPortDeviceName(port);
    return path.isEmpty() ? QString() : StableDeviceName(path);
}

} // namespace korvane
