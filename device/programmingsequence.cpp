#include "programmingsequence.h"

#include "coefgen/coefimage.h"
#include "comroutines.h"
#include "firmwarefile.h"
#include "qtserialline.h"
#include "sleepinhibitor.h"
#include "tenthstimer.h"
#include "xmodem.h"

#include "config/filelocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace korvane {

namespace {
constexpr int32_t kFilterImageLength = kFilterImageSize; // 28672 = 0x7000: 224 XMODEM packets

// Routes the timers' fatal reports to this run's dialog for the run's duration.
class FatalDialogScope {
public:
    explicit FatalDialogScope(UserDialog *d) : m_previous(TimerFatalDialog()) { SetTimerFatalDialog(d); }
    ~FatalDialogScope() { SetTimerFatalDialog(m_previous); }

private:
    UserDialog *m_previous;
};

// filter.bin for the user: written beside the target and renamed over it, so the file is
// either the previous image or the complete new one.
// The reason a port gave, on a line of its own after a message; nothing when it gave none.
QString reasonLines(const QStringList &reasons)
{
    QString out;
    for (const QString &r : reasons)
        out += kCR + r;
    return out;
}
} // namespace

ProgrammingSequence::ProgrammingSequence(Model &model, UserDialog &dialog, ProgrammingOptions options, QObject *parent)
    : QObject(parent), m_model(model), m_dialog(dialog), m_options(std::move(options))
{
}

ProgrammingSequence::~ProgrammingSequence() { delete m_ownLine; }

SerialLine &ProgrammingSequence::line()
{
    if (m_options.line)
        return *m_options.line;
    if (!m_ownLine)
        m_ownLine = new QtSerialLine(m_options.onlyDevicePath);
    return *m_ownLine;
}

QString ProgrammingSequence::imagePath() const { return FilterImagePath(m_options.programFolder); }

QString ProgrammingSequence::firmwarePath() const
{
    return m_options.firmwarePath.isEmpty() ? FindFirmwareFile(m_options.programFolder) : m_options.firmwarePath;
}

QString ProgrammingSequence::firmwareFileErrorText() const
{
    const QFileInfo fw(firmwarePath());
    QString text = QStringLiteral("Error reading firmware file.  Please ensure file named \"") + fw.fileName()
                   + QStringLiteral("\" is in the program folder: ")
                   + QDir::toNativeSeparators(fw.absolutePath()) + kCR
                   + QStringLiteral("Firmware file may be invalid.") + kCR;
    if (!fw.exists()) {
        QStringList looked;
        if (m_options.firmwarePath.isEmpty()) {
            for (const QString &folder : FirmwareFolders(m_options.programFolder))
                looked << QDir::toNativeSeparators(folder);
        } else {
            looked << QDir::toNativeSeparators(fw.absoluteFilePath());
        }
        text += QStringLiteral("Not found in: ") + looked.join(QStringLiteral(", "));
    } else if (fw.size() != kFirmwareFileSize) {
        text += QStringLiteral("%1 is %2 bytes long; a firmware file has %3.")
                    .arg(QDir::toNativeSeparators(fw.absoluteFilePath()))
                    .arg(fw.size())
                    .arg(kFirmwareFileSize);
    } else {
        QFile file(fw.absoluteFilePath());
        (void)file.open(QIODevice::ReadOnly);
        text += QDir::toNativeSeparators(fw.absoluteFilePath()) + QStringLiteral(": ") + file.errorString();
    }
    return text;
}

void ProgrammingSequence::requestCancel()
{
    if (m_cancelEnabled)
        (void)RequestCancel();
}

void ProgrammingSequence::setCancelEnabled(bool enabled)
{
    m_cancelEnabled = enabled;
    emit cancelEnabledChanged(enabled);
}

bool ProgrammingSequence::run()
{
    FatalDialogScope scope(&m_dialog);
    // No sleep, shutdown or idle log-out from here to the end of the run.
    const SleepInhibitor inhibitor(QStringLiteral("Programming the Korvane-S"));
    m_image.clear();
    if (!LocateDevice())
        return false;

    emit stageChanged(QStringLiteral("Configuring Filters"));
    // The run sends the image it built, from memory: another run writing filter.bin at the
    // same time cannot change what this processor receives. filter.bin is still written for
    // the user, whole.
    QString why = QStringLiteral("a filter set could not be built");
    const auto image = BuildFilterImageBytes(m_model, m_dialog);
    if (image)
        m_image = *image;
    if (!image || !WriteFilterImage(m_image, imagePath(), &why)) {
        m_image.clear();
        m_dialog.inform(QStringLiteral("Temporary File Error"),
                        QStringLiteral("Problem creating temporary file for programming Korvane-S.") + kCR
                            + QStringLiteral("Disk may be full.  Unable to program Korvane-S") + kCR
                            + QDir::toNativeSeparators(QFileInfo(imagePath()).absoluteFilePath())
                            + QStringLiteral(": ") + why,
                        MessageIcon::Exclamation);
        return false;
    }

    const bool ok = ProgramDevice();
    if (ok) {
        m_dialog.inform(QStringLiteral("Success"), QStringLiteral("Korvane-S successfully programmed"),
                        MessageIcon::None);
    } else {
        m_dialog.inform(QStringLiteral("Programming Aborted"),
                        QStringLiteral("Programming operation aborted!") + kCR
                            + QStringLiteral("Filters stored in Korvane-S are no longer valid."),
                        MessageIcon::Exclamation);
    }
    return ok;
}

bool ProgrammingSequence::LocateDevice()
{
    FatalDialogScope scope(&m_dialog);
    emit stageChanged(QStringLiteral("Finding Korvane-S"));
    SerialLine &port = line();
    ClearCancelAndClosePort(port);
    const bool onlyOne = !m_options.onlyDevicePath.isEmpty();
    const int preferred = onlyOne ? Clamp(m_model.ComPort, 1, 9) : m_model.ComPort;
    QStringList reasons;
    const int found = DetermineComPort(port, preferred, [this](int p) { emit portProbed(p); }, onlyOne, &reasons);
    if (found != 0) {
        m_model.ComPort = static_cast<int16_t>(found);
        emit comPortChanged(found);
        return true;
    }
    m_dialog.inform(QStringLiteral("Communications Error!"),
                    QStringLiteral("Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting is correct.")
                        + reasonLines(reasons),
                    MessageIcon::Exclamation);
    return false;
}

bool ProgrammingSequence::ProgramDevice()
{
    FatalDialogScope scope(&m_dialog);
    SerialLine &port = line();
    const XmodemProgress progress{[this](int n) { emit progressMaximumChanged(n); },
                                  [this](int n) { emit packetSent(n); }};
    // The image of this run; ProgramDevice on its own sends filter.bin as it is now, read once.
    QByteArray image = m_image;
    if (image.isEmpty()) {
        QFile file(imagePath());
        if (file.open(QIODevice::ReadOnly))
            image = file.readAll();
    }
    bool ok = OpenComPort(port, m_model.ComPort);
    // Why the port failed, in the system's words, for the "COM Error!" message.
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
            m_dialog.inform(QStringLiteral("Error!"), firmwareFileErrorText(), MessageIcon::Exclamation);
            reported = true;
        }
    }
    if (ok) {
        ok = GetFirmwareVersion(port, deviceVersion);
        // After a cancel the unanswered "F V" is the user's doing, not a processor fault.
        if (!ok && !IsCancelRequested()) {
            m_dialog.inform(QStringLiteral("Error!"), QStringLiteral("Error retrieving firmware version from Korvane-S"),
                            MessageIcon::Exclamation);
            reported = true;
        }
    }
    // The build's stand-in is for the simulated processor: a real one would need a return to
    // the factory. Refused before anything is sent.
    if (ok && (fileVersion > deviceVersion || count >= 10) && IsStandInFirmware(firmwarePath())
        && !StandInFirmwareAllowed()) {
        m_dialog.inform(QStringLiteral("Error!"), StandInFirmwareRefusedText(firmwarePath()), MessageIcon::Exclamation);
        ok = false;
        reported = true;
    }
    if (ok && (fileVersion > deviceVersion || count >= 10)) {
        setCancelEnabled(false);
        emit stageChanged(QStringLiteral("Uploading Firmware"));
        emit packetInfoVisibleChanged(true);
        emit warningVisibleChanged(true);
        ok = UpdateFirmware(port, firmwarePath(), progress);
        emit packetInfoVisibleChanged(false);
        emit warningVisibleChanged(false);
        setCancelEnabled(true);
        if (!ok) {
            m_dialog.inform(QStringLiteral("Error!"),
                            QStringLiteral("Error transmitting updated firmware.  ")
                                + QStringLiteral("Unit may not function properly.  Please contact Halvern for further assistance."),
                            MessageIcon::Exclamation);
            reported = true;
        }
    }
    if (ok) {
        emit stageChanged(QStringLiteral("Programming Filters"));
        QString reply;
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
        m_dialog.inform(QStringLiteral("COM Error!"),
                        QStringLiteral("Error Writing COM Port.") + kCR + QStringLiteral("Ensure Korvane-S is on and") + kCR
                            + QStringLiteral("correct COM Port is selected")
                            + reasonLines(portProblem.isEmpty() ? QStringList{} : QStringList{portProblem}),
                        MessageIcon::Exclamation);
    }
    CloseComPort(port);
    return ok;
}

} // namespace korvane
