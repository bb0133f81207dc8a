#include "commwindow.h"

#include "device/clock.h"
#include "messages/usermessages.h"
#include "plot/responsechart.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace korvane {

namespace {
constexpr int kClientWidth = 440;
// Title bar and borders that the designed window heights include.
constexpr int kFrameOverhead = 30;

constexpr auto kNoticeName = "progressNotice";

// The warnings' dark red, made lighter on a dark window so that it still reads (the chart's
// rule: a contrast of 4.5 on light backgrounds, 7 on dark ones).
QString WarningStyle(const QPalette &palette)
{
    const ChartInk ink{palette.color(QPalette::Window), palette.color(QPalette::WindowText)};
    return QStringLiteral("color: %1;").arg(ink.map(QColor(0xc0, 0x00, 0x00)).name());
}

// The notice as a screen reader sees it: a notification named by its accessible name. A reader
// says a notification when it appears, wherever the focus is (on the Cancel button, here),
// which a changed label's text is not.
QAccessibleInterface *NoticeFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("QWidget") && object && object->objectName() == QLatin1String(kNoticeName))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
    return nullptr;
}
} // namespace

CommWindow::CommWindow(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmComm"));
    setWindowTitle(QStringLiteral("Transferring Filters"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // The desktop's font; the texts of the warning area take the height their lines need.

    CommInfo = new QGroupBox(QStringLiteral("Finding Korvane"), this);
    CommInfo->setObjectName(QStringLiteral("CommInfo"));
    CommInfo->setGeometry(8, 4, 330, 94);

    lblPort = new QLabel(QStringLiteral("Port: COM"), CommInfo);
    lblPort->setObjectName(QStringLiteral("lblPort"));
    lblPort->setGeometry(12, 20, 240, 18);

    lblDataPacket = new QLabel(QStringLiteral("Data Packet:"), CommInfo);
    lblDataPacket->setObjectName(QStringLiteral("lblDataPacket"));
    lblDataPacket->setGeometry(12, 42, 90, 18);
    lblPacketNumber = new QLabel(CommInfo);
    lblPacketNumber->setObjectName(QStringLiteral("lblPacketNumber"));
    lblPacketNumber->setGeometry(104, 42, 200, 18);

    pbUploadProgress = new QProgressBar(CommInfo);
    pbUploadProgress->setObjectName(QStringLiteral("pbUploadProgress"));
    pbUploadProgress->setGeometry(12, 66, 306, 18);
    pbUploadProgress->setRange(0, 100);
    pbUploadProgress->setValue(0);
    pbUploadProgress->setTextVisible(false);

    Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    Cancel->setObjectName(QStringLiteral("Cancel"));
    Cancel->setToolTip(QStringLiteral("Stop coefficient transfer"));
    Cancel->setGeometry(kClientWidth - 92, 14, 80, 26);
    connect(Cancel, &QPushButton::clicked, this, &CommWindow::cancelClicked);

    buildWarningArea();

    static const bool noticeFactoryInstalled = [] {
        QAccessible::installFactory(NoticeFactory);
        return true;
    }();
    Q_UNUSED(noticeFactoryInstalled);

    setFixedWidth(kClientWidth);
    HidePacketInfo();
    HideWarning();
}

// The warning area below the part the short window shows, and the sleep note under it.
void CommWindow::buildWarningArea()
{
    Line1 = new QFrame(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);
    Line1->setGeometry(0, 106, kClientWidth, 4);

    const FirmwareReloadNotice notice = FirmwareReloadTexts();
    Label1 = new QLabel(notice.wait, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setGeometry(10, 114, kClientWidth - 20, 30);

    Label2 = new QLabel(notice.why, this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setWordWrap(true);
    Label2->setGeometry(10, 146, kClientWidth - 20, 46);

    lblWarning = new QLabel(notice.warning, this);
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
    lblWarning->setWordWrap(true);
    lblWarning->setStyleSheet(WarningStyle(palette()));

    // The wrapped texts one under the other, each as tall as its lines at the desktop font.
    int y = 114;
    for (QLabel *l : {Label1, Label2, lblWarning}) {
        const int h = l->heightForWidth(kClientWidth - 20);
        l->setGeometry(10, y, kClientWidth - 20, h);
        y += h + 6;
    }
    warningClientHeight_ = y;

    // Shown only when the machine may sleep during the run.
    sleepNote_ = new QLabel(this);
    sleepNote_->setObjectName(QStringLiteral("sleepNote"));
    sleepNote_->setWordWrap(true);
    sleepNote_->setStyleSheet(WarningStyle(palette()));
    sleepNote_->hide();
}

bool CommWindow::isPacketInfoShown() const { return !lblDataPacket->isHidden() && !lblPacketNumber->isHidden(); }

void CommWindow::setClientHeightFromTwips(int twips)
{
    baseClientHeight_ = (twips + 7) / 15 - kFrameOverhead;
    setFixedHeight(baseClientHeight_);
}

void CommWindow::placeSleepNote()
{
    if (sleepNote_->isHidden())
        return;
    const int h = sleepNote_->heightForWidth(kClientWidth - 20);
    sleepNote_->setGeometry(10, baseClientHeight_, kClientWidth - 20, h);
    setFixedHeight(baseClientHeight_ + h + 6);
}

void CommWindow::showSleepWarning(const QString &problem)
{
    sleepNote_->setText(SleepNotPreventedText(problem));
    sleepNote_->show();
    placeSleepNote();
}

void CommWindow::requestStop() { emit stopRequested(); }

void CommWindow::announceResult(const QString &result) { announce(announcer_.result(result, CurrentClock().nowMs())); }

void CommWindow::announce(const std::optional<QString> &text)
{
    if (!text)
        return;
    // Each announcement is a notification of its own that appears with its text: a reader that
    // reads the name of an earlier one late still reads that one's text, not the newest. The
    // earlier one is hidden, so that only the last is among the window's shown objects; all
    // go with the window at the end of the run.
    if (notice_)
        notice_->hide();
    notice_ = new QWidget(this);
    notice_->setObjectName(QString::fromLatin1(kNoticeName));
    notice_->setAccessibleName(*text);
    notice_->setGeometry(0, 0, 0, 0);
    notice_->show();
}

void CommWindow::ShowWarning()
{
    setWarningAreaShown(true);
    setClientHeightFromTwips(kWarningHeightTwips);
    if (baseClientHeight_ < warningClientHeight_) {
        baseClientHeight_ = warningClientHeight_;
        setFixedHeight(baseClientHeight_);
    }
    warningShown_ = true;
    placeSleepNote();
}

void CommWindow::HideWarning()
{
    setClientHeightFromTwips(kNoWarningHeightTwips);
    setWarningAreaShown(false);
    warningShown_ = false;
    placeSleepNote();
}

// The short window shows none of the warning area: hidden, it takes no room and no focus.
void CommWindow::setWarningAreaShown(bool shown)
{
    for (QWidget *w : {static_cast<QWidget *>(Line1), static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label2),
                       static_cast<QWidget *>(lblWarning)})
        w->setVisible(shown);
}

void CommWindow::ShowPacketInfo()
{
    lblDataPacket->setVisible(true);
    lblPacketNumber->setVisible(true);
}

void CommWindow::HidePacketInfo()
{
    lblDataPacket->setVisible(false);
    lblPacketNumber->setVisible(false);
}

void CommWindow::setStageCaption(const QString &caption)
{
    CommInfo->setTitle(caption);
    announce(announcer_.stage(caption, CurrentClock().nowMs()));
    emit stageCaptionShown(caption);
}

void CommWindow::setProbedPort(int port) { lblPort->setText(ProbedPortText(port)); }

void CommWindow::setProbedDevice(const QString &name) { lblPort->setText(QStringLiteral("Port: ") + name); }

void CommWindow::setPacketInfoVisible(bool visible) { visible ? ShowPacketInfo() : HidePacketInfo(); }

void CommWindow::setWarningVisible(bool visible) { visible ? ShowWarning() : HideWarning(); }

void CommWindow::setCancelEnabled(bool enabled) { Cancel->setEnabled(enabled); }

bool CommWindow::isCancelEnabled() const { return Cancel->isEnabled(); }

void CommWindow::closeEvent(QCloseEvent *event)
{
    // The window lives exactly as long as a run: the main window destroys it when the run
    // ends, so a close request never hides it while the run goes on.
    event->ignore();
    if (Cancel->isEnabled())
        emit cancelClicked();
}

void CommWindow::setProgressMaximum(int packets)
{
    pbUploadProgress->setMaximum(packets > 0 ? packets : 1);
    pbUploadProgress->setValue(0);
}

void CommWindow::setPacketSent(int packet)
{
    if (packet > pbUploadProgress->maximum())
        pbUploadProgress->setMaximum(packet);
    pbUploadProgress->setValue(packet);
    lblPacketNumber->setText(QString::number(packet));
    announce(announcer_.packet(packet, pbUploadProgress->maximum(), CurrentClock().nowMs()));
}

} // namespace korvane
