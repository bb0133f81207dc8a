#include "programming.h"

#include "commwindow.h"

#include "device/comports.h"
#include "device/programmingsequence.h"

namespace korvane {

bool RunProgrammingSequence(ProgrammingRunContext &context)
{
    ProgrammingOptions options;
    options.programFolder = context.programFolder;
    ProgrammingSequence sequence(context.model, context.dialog, options);
    CommWindow &view = context.view;
    QObject::connect(&sequence, &ProgrammingSequence::stageChanged, &view, &CommWindow::setStageCaption);
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
    if (context.onComPortChanged)
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
