#include "programmingsequence.h"

#include "coefgen/coefimage.h"
#include "comroutines.h"
#include "firmwarefile.h"
#include "qtserialline.h"
#include "sleepinhibitor.h"
#include "tenthstimer.h"
#include "xmodem.h"

#include "config/filelocations.h"
#include "messages/usermessages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace korvane {

namespace {
constexpr int32_t kFilterImageLength = kFilterImageSize; // 28672 = 0x7000: 224 XMODEM packets

// Routes the timers' fatal reports to this run's dialog for the run's duration.
class FatalDialogScope {
public:
    explicit FatalDialogScope(UserDialog *d) : previous_(TimerFatalDialog()) { SetTimerFatalDialog(d); }
    ~FatalDialogScope() { SetTimerFatalDialog(previous_); }

private:
    UserDialog *previous_;
};

ProgrammingReport Report(ProgrammingReport::Outcome outcome)
{
    ProgrammingReport r;
    r.outcome = outcome;
    return r;
}
} // namespace

ProgrammingSequence::ProgrammingSequence(Model &model, UserDialog &dialog, ProgrammingOptions options, QObject *parent)
    : QObject(parent), model_(model), dialog_(dialog), options_(std::move(options))
{ }

ProgrammingSequence::~ProgrammingSequence() { delete ownLine_; }

SerialLine &ProgrammingSequence::line()
{
    if (options_.line)
        return *options_.line;
    if (!ownLine_)
        ownLine_ = new QtSerialLine(options_.onlyDevicePath);
    return *ownLine_;
}

QString ProgrammingSequence::imagePath() const { return FilterImagePath(options_.programFolder); }

QString ProgrammingSequence::firmwarePath() const
{
    return options_.firmwarePath.isEmpty() ? FindFirmwareFile(options_.programFolder) : options_.firmwarePath;
}

void ProgrammingSequence::present(const ProgrammingReport &report)
{
    if (options_.present)
        options_.present(report);
    else
        ShowProgrammingReport(dialog_, report);
}

ProgrammingReport ProgrammingSequence::firmwareFileReport() const
{
    const QFileInfo fw(firmwarePath());
    ProgrammingReport r = Report(ProgrammingReport::Outcome::FirmwareFileUnreadable);
    r.path = fw.absoluteFilePath();
    if (!fw.exists()) {
        r.fileProblem = ProgrammingReport::FileProblem::Missing;
        if (options_.firmwarePath.isEmpty())
            r.searched = FirmwareFolders(options_.programFolder);
        else
            r.searched << fw.absoluteFilePath();
    } else if (fw.size() != kFirmwareFileSize) {
        r.fileProblem = ProgrammingReport::FileProblem::WrongSize;
        r.fileSize = fw.size();
        r.expectedSize = kFirmwareFileSize;
    } else {
        r.fileProblem = ProgrammingReport::FileProblem::Unreadable;
        QFile file(fw.absoluteFilePath());
        (void)file.open(QIODevice::ReadOnly);
        r.reason = file.errorString();
    }
    return r;
}

void ProgrammingSequence::requestCancel()
{
    if (cancelEnabled_)
        (void)RequestCancel();
}

bool ProgrammingSequence::requestStop()
{
    if (cancelEnabled_) {
        (void)RequestCancel();
        return false;
    }
    stopHeld_ = true;
    return true;
}

void ProgrammingSequence::setCancelEnabled(bool enabled)
{
    cancelEnabled_ = enabled;
    if (enabled && stopHeld_) {
        stopHeld_ = false;
        (void)RequestCancel();
    }
    emit cancelEnabledChanged(enabled);
}

bool ProgrammingSequence::run()
{
    FatalDialogScope scope(&dialog_);
    // No sleep, shutdown or idle log-out from here to the end of the run.
    const SleepInhibitor inhibitor(QStringLiteral("Programming the Korvane-S"));
    if (!inhibitor.problem().isEmpty())
        emit sleepNotPrevented(inhibitor.problem());
    image_.clear();
    if (!LocateDevice())
        return false;

    emit stageChanged(QStringLiteral("Configuring Filters"));
    // The run sends the image it built, from memory: another run writing filter.bin at the
    // same time cannot change what this processor receives. filter.bin is still written for
    // the user, whole.
    QString why = QStringLiteral("a filter set could not be built");
    const auto image = BuildFilterImageBytes(model_, dialog_);
    if (image)
        image_ = *image;
    if (!image || !WriteFilterImage(image_, imagePath(), &why)) {
        image_.clear();
        ProgrammingReport r = Report(ProgrammingReport::Outcome::ImageNotWritten);
        r.path = QFileInfo(imagePath()).absoluteFilePath();
        r.reason = why;
        present(r);
        return false;
    }

    const bool ok = ProgramDevice();
    ProgrammingReport r = Report(ok ? ProgrammingReport::Outcome::Programmed : ProgrammingReport::Outcome::Aborted);
    r.filtersTouched = filtersTouched_;
    present(r);
    return ok;
}

bool ProgrammingSequence::LocateDevice()
{
    FatalDialogScope scope(&dialog_);
    emit stageChanged(QStringLiteral("Finding Korvane-S"));
    SerialLine &port = line();
    ClearCancelAndClosePort(port);
    const bool onlyOne = !options_.onlyDevicePath.isEmpty();
    const int preferred = onlyOne ? Clamp(model_.ComPort, 1, 9) : model_.ComPort;
    QStringList reasons;
    const int found = DetermineComPort(
        port, preferred, [this](int p) { emit portProbed(p); }, onlyOne, &reasons);
    if (found != 0) {
        model_.ComPort = static_cast<int16_t>(found);
        emit comPortChanged(found);
        return true;
    }
    ProgrammingReport r = Report(ProgrammingReport::Outcome::DeviceNotFound);
    r.reasons = reasons;
    present(r);
    return false;
}

bool ProgrammingSequence::ProgramDevice()
{
    FatalDialogScope scope(&dialog_);
    SerialLine &port = line();
    const XmodemProgress progress{[this](int n) { emit progressMaximumChanged(n); },
                                  [this](int n) { emit packetSent(n); }};
    // The image of this run; ProgramDevice on its own sends filter.bin as it is now, read once.
    QByteArray image = image_;
    if (image.isEmpty()) {
        QFile file(imagePath());
        if (file.open(QIODevice::ReadOnly))
            image = file.readAll();
    }
    filtersTouched_ = false;
    bool ok = OpenComPort(port, model_.ComPort);
    // Why the port failed, in the system's words, for the ComWriteError report.
    QString portProblem = ok ? QString() : port.errorText();
    bool reported = false;
    int16_t count = 0;
    int16_t fileVersion = 0;
    int16_t deviceVersion = 0;

    if (ok) {
        emit stageChanged(QStringLiteral("Determining Firmware Status"));
        ok = GetNumFiltersLoaded(port, count);
    }
    if (ok) {
        ok = GetFirmwareFileVersion(firmwarePath(), fileVersion);
        if (!ok) {
            present(firmwareFileReport());
            reported = true;
        }
    }
    if (ok) {
        ok = GetFirmwareVersion(port, deviceVersion);
        // After a cancel the unanswered "F V" is the user's doing, not a processor fault.
        if (!ok && !IsCancelRequested()) {
            present(Report(ProgrammingReport::Outcome::FirmwareVersionUnreadable));
            reported = true;
        }
    }
    // The build's stand-in is for the simulated processor: a real one would need a return to
    // the factory. Refused before anything is sent.
    if (ok && (fileVersion > deviceVersion || count >= 10) && IsStandInFirmware(firmwarePath())
        && !StandInFirmwareAllowed()) {
        ProgrammingReport r = Report(ProgrammingReport::Outcome::StandInFirmwareRefused);
        r.path = QFileInfo(firmwarePath()).absoluteFilePath();
        r.makerFile = QDir(UserDataFolder()).filePath(kFirmwareFileName);
        present(r);
        ok = false;
        reported = true;
    }
    if (ok && (fileVersion > deviceVersion || count >= 10)) {
        setCancelEnabled(false);
        emit stageChanged(QStringLiteral("Uploading Firmware"));
        emit packetInfoVisibleChanged(true);
        emit warningVisibleChanged(true);
        // The reload starts by resetting the processor's memory: its filters are gone.
        filtersTouched_ = true;
        ok = UpdateFirmware(port, firmwarePath(), progress);
        emit packetInfoVisibleChanged(false);
        emit warningVisibleChanged(false);
        setCancelEnabled(true);
        if (!ok) {
            present(Report(ProgrammingReport::Outcome::FirmwareUploadFailed));
            reported = true;
        }
    }
    if (ok) {
        emit stageChanged(QStringLiteral("Programming Filters"));
        QString reply;
        // A cancel already requested stops the command before it is written.
        filtersTouched_ = filtersTouched_ || !IsCancelRequested();
        ok = TransmitCommand(port, cmd::FlashProgramFilters, reply, QString(), 0, 10, 5);
    }
    if (ok) {
        emit packetInfoVisibleChanged(true);
        ok = SendDataXModem(port, image, kFilterImageLength, 1, true, progress);
    }
    if (ok)
        ok = ResetDevice(port);
    if (!ok && portProblem.isEmpty() && port.hasError())
        portProblem = port.errorText();
    if (!ok && !reported && !IsCancelRequested()) {
        ProgrammingReport r = Report(ProgrammingReport::Outcome::ComWriteError);
        if (!portProblem.isEmpty())
            r.reasons << portProblem;
        present(r);
    }
    CloseComPort(port);
    return ok;
}

} // namespace korvane
