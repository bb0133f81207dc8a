#include "programmingsequence.h"

#include "coefgen/coefimage.h"
#include "comports.h"
#include "comroutines.h"
#include "firmwarefile.h"
#include "programminglog.h"
#include "qtserialline.h"
#include "sleepinhibitor.h"
#include "tenthstimer.h"
#include "xmodem.h"

#include "config/filelocations.h"
#include "messages/usermessages.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>

#include <optional>

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

// A run on a thread of its own honours its own cancel request for the scope's lifetime.
class OwnCancelScope {
public:
    OwnCancelScope(bool own, std::atomic<bool> &flag)
    {
        if (own)
            scope_.emplace(flag);
    }

private:
    std::optional<CancelScope> scope_;
};

QString outcomeWord(ProgrammingReport::Outcome outcome)
{
    using O = ProgrammingReport::Outcome;
    switch (outcome) {
    case O::Programmed:
        return QStringLiteral("programmed");
    case O::Aborted:
        return QStringLiteral("aborted");
    case O::DeviceNotFound:
        return QStringLiteral("device not found");
    case O::ImageNotWritten:
        return QStringLiteral("image not written");
    case O::FirmwareFileUnreadable:
        return QStringLiteral("firmware file unreadable");
    case O::FirmwareVersionUnreadable:
        return QStringLiteral("firmware version unreadable");
    case O::StandInFirmwareRefused:
        return QStringLiteral("stand-in firmware refused");
    case O::FirmwareUploadFailed:
        return QStringLiteral("firmware upload failed");
    case O::ComWriteError:
        return QStringLiteral("port error");
    case O::FilterChecksumFailed:
        return QStringLiteral("filter checksum failed");
    case O::CodeChecksumFailed:
        return QStringLiteral("code checksum failed");
    case O::SelfTested:
        return QStringLiteral("self-tested");
    }
    return {};
}

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
    if (!ownLine_ && options_.makeLine)
        ownLine_ = options_.makeLine(options_.onlyDevicePath).release();
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
    facts_.reports << report;
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

void ProgrammingSequence::cancelNow()
{
    if (options_.ownCancelRequest)
        ownCancel_ = true;
    else
        (void)RequestCancel();
}

void ProgrammingSequence::requestCancel()
{
    const std::lock_guard lock(cancelMutex_);
    if (cancelEnabled_)
        cancelNow();
}

bool ProgrammingSequence::requestStop()
{
    const std::lock_guard lock(cancelMutex_);
    if (cancelEnabled_) {
        cancelNow();
        return false;
    }
    stopHeld_ = true;
    return true;
}

void ProgrammingSequence::setCancelEnabled(bool enabled)
{
    {
        const std::lock_guard lock(cancelMutex_);
        cancelEnabled_ = enabled;
        if (enabled && stopHeld_) {
            stopHeld_ = false;
            cancelNow();
        }
    }
    emit cancelEnabledChanged(enabled);
}

void ProgrammingSequence::writeLogLine()
{
    if (!options_.writeLog)
        return;
    const ProgrammingFacts &f = facts_;
    const auto version = [](int v) { return v < 0 ? QJsonValue() : QJsonValue(v); };
    const auto text = [](const QString &t) { return t.isEmpty() ? QJsonValue() : QJsonValue(t); };
    const ProgrammingReport last = f.reports.isEmpty() ? ProgrammingReport() : f.reports.last();
    QStringList messages;
    for (const ProgrammingReport &r : f.reports) {
        const UserMessage m = ProgrammingMessage(r);
        messages << m.title + QStringLiteral(": ") + QString(m.text).replace(kCR, QStringLiteral(" / "));
    }
    const QString settings = options_.settingsPath.isEmpty() ? QString()
                                                             : QFileInfo(options_.settingsPath).absoluteFilePath();
    QJsonObject line{
        {QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("device"), text(f.device)},
        {QStringLiteral("byId"), text(f.byId)},
        {QStringLiteral("comPort"), f.comPort > 0 ? QJsonValue(f.comPort) : QJsonValue()},
        {QStringLiteral("settingsFile"), text(settings)},
        {QStringLiteral("settingsSha256"), text(settings.isEmpty() ? QString() : FileSha256Hex(settings))},
        {QStringLiteral("imageSha256"), text(f.imageSha256)},
        {QStringLiteral("firmwareBefore"), version(f.firmwareBefore)},
        {QStringLiteral("firmwareAfter"), version(f.firmwareAfter)},
        {QStringLiteral("reloaded"), f.reloaded},
        {QStringLiteral("filterCheck"), SelfTestWord(f.filterCheck)},
        {QStringLiteral("codeCheck"), SelfTestWord(f.codeCheck)},
        {QStringLiteral("outcome"), outcomeWord(last.outcome)},
        {QStringLiteral("message"), messages.join(QStringLiteral(" | "))},
        {QStringLiteral("seconds"), f.seconds},
    };
    QString why;
    if (!AppendProgrammingLog(line, &why))
        emit logNotWritten(why);
}

bool ProgrammingSequence::run()
{
    FatalDialogScope scope(&dialog_);
    const OwnCancelScope cancelScope(options_.ownCancelRequest, ownCancel_);
    QElapsedTimer elapsed;
    elapsed.start();
    facts_ = ProgrammingFacts();
    // The run's line in the programming log, however it ends.
    struct LogAtEnd {
        ProgrammingSequence *seq;
        QElapsedTimer &elapsed;
        ~LogAtEnd()
        {
            seq->facts_.seconds = static_cast<double>(elapsed.elapsed()) / 1000.0;
            seq->writeLogLine();
        }
    } logAtEnd{this, elapsed};
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
    // Several runs at once share the one image their caller built and wrote.
    const bool built = !options_.image.isEmpty();
    const auto image = built ? std::optional<QByteArray>(options_.image) : BuildFilterImageBytes(model_, dialog_);
    if (image)
        image_ = *image;
    if (!image || (!built && !WriteFilterImage(image_, imagePath(), &why))) {
        image_.clear();
        ProgrammingReport r = Report(ProgrammingReport::Outcome::ImageNotWritten);
        r.path = QFileInfo(imagePath()).absoluteFilePath();
        r.reason = why;
        present(r);
        return false;
    }

    facts_.imageSha256 = Sha256Hex(image_);

    const bool ok = ProgramDevice();
    ProgrammingReport r = Report(ok ? ProgrammingReport::Outcome::Programmed : ProgrammingReport::Outcome::Aborted);
    r.filtersTouched = filtersTouched_;
    r.filterCheck = facts_.filterCheck;
    r.codeCheck = facts_.codeCheck;
    present(r);
    return ok;
}

bool ProgrammingSequence::verify()
{
    FatalDialogScope scope(&dialog_);
    const OwnCancelScope cancelScope(options_.ownCancelRequest, ownCancel_);
    QElapsedTimer elapsed;
    elapsed.start();
    facts_ = ProgrammingFacts();
    if (!LocateDevice())
        return false;
    emit stageChanged(QStringLiteral("Verifying"));
    SerialLine &port = line();
    if (!OpenComPort(port, model_.ComPort)) {
        ProgrammingReport r = Report(ProgrammingReport::Outcome::ComWriteError);
        r.reasons << port.errorText();
        present(r);
        return false;
    }
    ProgrammingReport r = Report(ProgrammingReport::Outcome::SelfTested);
    r.filterCheck = facts_.filterCheck = CheckFilterChecksum(port);
    r.codeCheck = facts_.codeCheck = CheckCodeChecksum(port);
    CloseComPort(port);
    facts_.seconds = static_cast<double>(elapsed.elapsed()) / 1000.0;
    present(r);
    return SelfTestsPassed(r);
}

bool ProgrammingSequence::LocateDevice()
{
    FatalDialogScope scope(&dialog_);
    const OwnCancelScope cancelScope(options_.ownCancelRequest, ownCancel_);
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
        port.setPortNumber(found);
        facts_.comPort = found;
        facts_.device = port.deviceName();
        facts_.byId = facts_.device.isEmpty() ? QString() : StableDeviceName(facts_.device);
        emit comPortChanged(found);
        return true;
    }
    ProgrammingReport r = Report(ProgrammingReport::Outcome::DeviceNotFound);
    r.reasons = reasons;
    present(r);
    return false;
}

XmodemProgress ProgrammingSequence::xmodemProgress()
{
    return {[this](int n) { emit progressMaximumChanged(n); }, [this](int n) { emit packetSent(n); }};
}

bool ProgrammingSequence::askFirmwareStatus(SerialLine &port, bool &reloadDue, bool &reported)
{
    emit stageChanged(QStringLiteral("Determining Firmware Status"));
    int16_t count = 0;
    int16_t fileVersion = 0;
    int16_t deviceVersion = 0;
    if (!GetNumFiltersLoaded(port, count))
        return false;
    if (!GetFirmwareFileVersion(firmwarePath(), fileVersion)) {
        present(firmwareFileReport());
        reported = true;
        return false;
    }
    if (!GetFirmwareVersion(port, deviceVersion)) {
        // After a cancel the unanswered "F V" is the user's doing, not a processor fault.
        if (!IsCancelRequested()) {
            present(Report(ProgrammingReport::Outcome::FirmwareVersionUnreadable));
            reported = true;
        }
        return false;
    }
    facts_.firmwareBefore = facts_.firmwareAfter = deviceVersion;
    reloadDue = fileVersion > deviceVersion || count >= 10;
    return true;
}

bool ProgrammingSequence::reloadFirmware(SerialLine &port, bool &reported)
{
    // The build's stand-in is for the simulated processor: a real one would need a return to
    // the factory. Refused before anything is sent.
    if (IsStandInFirmware(firmwarePath()) && !StandInFirmwareAllowed()) {
        ProgrammingReport r = Report(ProgrammingReport::Outcome::StandInFirmwareRefused);
        r.path = QFileInfo(firmwarePath()).absoluteFilePath();
        r.makerFile = QDir(UserDataFolder()).filePath(kFirmwareFileName);
        present(r);
        reported = true;
        return false;
    }
    setCancelEnabled(false);
    emit stageChanged(QStringLiteral("Uploading Firmware"));
    emit packetInfoVisibleChanged(true);
    emit warningVisibleChanged(true);
    // The reload starts by resetting the processor's memory: its filters are gone.
    filtersTouched_ = true;
    facts_.reloaded = true;
    facts_.firmwareAfter = -1;
    const bool ok = UpdateFirmware(port, firmwarePath(), xmodemProgress());
    emit packetInfoVisibleChanged(false);
    emit warningVisibleChanged(false);
    setCancelEnabled(true);
    if (!ok) {
        present(Report(ProgrammingReport::Outcome::FirmwareUploadFailed));
        reported = true;
    }
    return ok;
}

bool ProgrammingSequence::verifyFirmware(SerialLine &port, bool &reported)
{
    // Once the reloaded processor answers again ("F V" waits for it with its attempts), it
    // checks its new code. A corrupt code is not given filters.
    emit stageChanged(QStringLiteral("Verifying Firmware"));
    int16_t after = 0;
    if (GetFirmwareVersion(port, after))
        facts_.firmwareAfter = after;
    facts_.codeCheck = CheckCodeChecksum(port);
    if (facts_.codeCheck == SelfTest::Failed) {
        present(Report(ProgrammingReport::Outcome::CodeChecksumFailed));
        reported = true;
        return false;
    }
    return true;
}

bool ProgrammingSequence::uploadFilters(SerialLine &port, const QByteArray &image, bool &reported)
{
    emit stageChanged(QStringLiteral("Programming Filters"));
    QString reply;
    // A cancel already requested stops the command before it is written.
    filtersTouched_ = filtersTouched_ || !IsCancelRequested();
    if (!TransmitCommand(port, cmd::FlashProgramFilters, reply, QString(), 0, 10, 5))
        return false;
    emit packetInfoVisibleChanged(true);
    if (!SendDataXModem(port, image, kFilterImageLength, 1, true, xmodemProgress()))
        return false;
    // "Finished" said the transfer arrived; the processor's own checksum says whether what it
    // stored is sound. It is asked before the RESET that puts the filters to use; the RESET
    // goes out either way, so the processor leaves its receive state as after every upload.
    emit stageChanged(QStringLiteral("Verifying Filters"));
    facts_.filterCheck = CheckFilterChecksum(port);
    const bool ok = ResetDevice(port);
    if (facts_.filterCheck == SelfTest::Failed) {
        present(Report(ProgrammingReport::Outcome::FilterChecksumFailed));
        reported = true;
        return false;
    }
    return ok;
}

void ProgrammingSequence::finishUpload(SerialLine &port, bool ok, bool reported, QString portProblem)
{
    if (!ok && portProblem.isEmpty() && port.hasError())
        portProblem = port.errorText();
    if (!ok && !reported && !IsCancelRequested()) {
        ProgrammingReport r = Report(ProgrammingReport::Outcome::ComWriteError);
        if (!portProblem.isEmpty())
            r.reasons << portProblem;
        present(r);
    }
    CloseComPort(port);
}

bool ProgrammingSequence::ProgramDevice()
{
    FatalDialogScope scope(&dialog_);
    const OwnCancelScope cancelScope(options_.ownCancelRequest, ownCancel_);
    SerialLine &port = line();
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
    const QString portProblem = ok ? QString() : port.errorText();
    bool reported = false;
    bool reloadDue = false;
    ok = ok && askFirmwareStatus(port, reloadDue, reported);
    if (ok && reloadDue)
        ok = reloadFirmware(port, reported);
    if (ok && facts_.reloaded)
        ok = verifyFirmware(port, reported);
    ok = ok && uploadFilters(port, image, reported);
    finishUpload(port, ok, reported, portProblem);
    return ok;
}

} // namespace korvane
