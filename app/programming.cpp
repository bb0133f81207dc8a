#include "programming.h"

#include "commwindow.h"

#include "device/comports.h"
#include "device/programmingsequence.h"
#include "messages/usermessages.h"

namespace korvane {

namespace {

// The progress window as the view of one run.
void connectView(ProgrammingSequence &sequence, ProgrammingRunContext &context)
{
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
    UserDialog &dialog = context.dialog;
    QObject::connect(&sequence, &ProgrammingSequence::logNotWritten, &view, [&dialog](const QString &problem) {
        dialog.inform(QStringLiteral("Programming Log"), LogNotWrittenText(problem), MessageIcon::Exclamation);
    });
}

ProgrammingOptions optionsOf(const ProgrammingRunContext &context)
{
    ProgrammingOptions options;
    options.programFolder = context.programFolder;
    options.settingsPath = context.settingsPath;
    return options;
}

} // namespace

bool RunProgrammingSequence(ProgrammingRunContext &context)
{
    ProgrammingSequence sequence(context.model, context.dialog, optionsOf(context));
    connectView(sequence, context);
    return sequence.run();
}

bool RunVerifySequence(ProgrammingRunContext &context)
{
    ProgrammingSequence sequence(context.model, context.dialog, optionsOf(context));
    connectView(sequence, context);
    return sequence.verify();
}

QString ComPortDevicePath(int port) { return ComPortDeviceName(port); }

QString ComPortStableName(int port)
{
    const QString path = ComPortDeviceName(port);
    return path.isEmpty() ? QString() : StableDeviceName(path);
}

} // namespace korvane
