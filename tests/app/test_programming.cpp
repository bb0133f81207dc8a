// Whole programming runs started from the main window against the simulated processor on
// a pseudo-terminal attached as COM 3: the confirmation, the stages in order, the final
// message, and the failure paths with exactly the messages the user sees.

#include "app/commwindow.h"
#include "app/mainwindow.h"
#include "app/programminglogdialog.h"
#include "datatable.h"
#include "modalhelper.h"
#include "netline/networkportsetting.h"
#include "scripteddialog.h"
#include "simprocess.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace korvane;
using korvane::test::addBoolRows;
using korvane::test::ScriptedDialog;
using korvane::test::SimProcess;

namespace {

const QString kProgramAll = QStringLiteral("Program All Filters?");

struct Sample {
    QString caption;
    bool cancelEnabled = true;
    bool warningShown = false;
};

} // namespace

class ProgrammingTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> comDir_;
    std::unique_ptr<QTemporaryDir> program_;
    std::unique_ptr<QTemporaryDir> work_;
    QString savedCwd_;
    Model model_;
    ScriptedDialog dialog_;
    std::unique_ptr<MainWindow> window_;
    QStringList captions_;
    std::vector<Sample> samples_;
    // Called with the progress window when a run starts.
    std::function<void(CommWindow &)> onRunStart_;
    QString sleepNote_; // the progress window's sleep warning at the end of the last run, if shown

    void prepareProgramFolder(bool withFirmware)
    {
        const QString shipped = qEnvironmentVariable("KORVANE_PROGRAM_DIR");
        for (const char *name : {"20Band", "libkorvanes.so"})
            QFile::copy(shipped + QLatin1Char('/') + QLatin1String(name), program_->filePath(QLatin1String(name)));
        if (withFirmware)
            QVERIFY(QFile::copy(shipped + QStringLiteral("/korvanes.fwr"),
                                program_->filePath(QStringLiteral("korvanes.fwr"))));
    }

    void startWindow()
    {
        window_ = std::make_unique<MainWindow>(model_, dialog_, program_->path());
        window_->load();
        window_->selectComPort(1);
        // A stage of each kind of design, so the image is not all pass-through.
        model_.stage(0, 1).Type = Lowpass;
        model_.ApplyTypeDefaults(1);
        window_->show();
        window_->setProgrammingRunner([this](ProgrammingRunContext &ctx) {
            CommWindow &view = ctx.view;
            connect(&view, &CommWindow::stageCaptionShown, this, [this](const QString &c) { captions_ << c; });
            auto *sampler = new QTimer(&view);
            connect(sampler, &QTimer::timeout, this, [this, &view] {
                samples_.push_back({view.findChild<QWidget *>(QStringLiteral("CommInfo"))->property("title").toString(),
                                    view.findChild<QPushButton *>(QStringLiteral("Cancel"))->isEnabled(),
                                    view.isWarningShown()});
            });
            sampler->start(20);
            if (onRunStart_)
                onRunStart_(view);
            const bool ok = RunProgrammingSequence(ctx);
            const auto *note = view.findChild<QLabel *>(QStringLiteral("sleepNote"));
            sleepNote_ = note->isVisibleTo(&view) ? note->text() : QString();
            return ok;
        });
    }

    void program()
    {
        dialog_.answers = {MessageAnswer::Yes};
        window_->programKorvane();
        QVERIFY(window_->isEnabled());
        QVERIFY(!window_->commWindow());
        QCOMPARE(dialog_.messages.front().title, kProgramAll);
    }

private slots:
    // No system bus, so no inhibitor: the progress window must say the machine may sleep.
    void initTestCase() { qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/korvane-test-bus"); }

    void init()
    {
        comDir_ = std::make_unique<QTemporaryDir>();
        program_ = std::make_unique<QTemporaryDir>();
        work_ = std::make_unique<QTemporaryDir>();
        qputenv("KORVANE_COM_DIR", comDir_->path().toLocal8Bit());
        qputenv("XDG_STATE_HOME", work_->filePath(QStringLiteral("state")).toLocal8Bit()); // a log per test
        savedCwd_ = QDir::currentPath();
        QDir::setCurrent(work_->path());
        model_ = Model();
        dialog_.clear();
        captions_.clear();
        samples_.clear();
        onRunStart_ = nullptr;
    }
    void cleanup()
    {
        window_.reset();
        QDir::setCurrent(savedCwd_);
    }

    void successfulRunProgramsTheSimAndMovesTheCheckMark()
    {
        prepareProgramFolder(true);
        // Up-to-date firmware and few filters stored: no reload.
        SimProcess sim(
            {QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--filters"), QStringLiteral("2")});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        startWindow();
        program();
        QCOMPARE(dialog_.titles(), (QStringList{kProgramAll, QStringLiteral("Success")}));
        QCOMPARE(dialog_.messages[1].text,
                 QStringLiteral("Korvane-S successfully programmed\rFilters: verified (the "
                                "Korvane-S reports a valid checksum)"));
        QCOMPARE(dialog_.messages[1].icon, MessageIcon::None);
        QCOMPARE(captions_,
                 (QStringList{QStringLiteral("Finding Korvane-S"), QStringLiteral("Configuring Filters"),
                              QStringLiteral("Determining Firmware Status"), QStringLiteral("Programming Filters"),
                              QStringLiteral("Verifying Filters")}));
        QCOMPARE(model_.ComPort, int16_t(3));
        QCOMPARE(window_->checkedComPort(), 3);
        QVERIFY2(sleepNote_.startsWith(QStringLiteral("This computer may go to sleep")), qPrintable(sleepNote_));
        // Opening the COM Port menu names the device behind each port.
        auto *comMenu = window_->findChild<QMenu *>(QStringLiteral("mnuFileCOMPort"));
        QVERIFY(QMetaObject::invokeMethod(comMenu, "aboutToShow"));
        const QString tip = window_->findChild<QAction *>(QStringLiteral("mnuCom3"))->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("com3")) && tip.endsWith(sim.devicePath()), qPrintable(tip));
        QCOMPARE(window_->findChild<QAction *>(QStringLiteral("mnuCom4"))->toolTip(),
                 QStringLiteral("COM 4: no serial device"));
        // A USB adapter also shows its stable by-id name.
        QTemporaryDir byId;
        const QString id = byId.filePath(QStringLiteral("usb-Maker_Adapter_A1B2-if00-port0"));
        QVERIFY(QFile::link(sim.devicePath(), id));
        qputenv("KORVANE_SERIAL_BY_ID", byId.path().toLocal8Bit());
        QVERIFY(QMetaObject::invokeMethod(comMenu, "aboutToShow"));
        qunsetenv("KORVANE_SERIAL_BY_ID");
        const QString idTip = window_->findChild<QAction *>(QStringLiteral("mnuCom3"))->toolTip();
        QVERIFY2(idTip.endsWith(sim.devicePath() + QStringLiteral("  (") + id + QLatin1Char(')')), qPrintable(idTip));
        QFile image(program_->filePath(QStringLiteral("filter.bin")));
        QVERIFY(image.open(QIODevice::ReadOnly));
        const QByteArray sent = image.readAll();
        QCOMPARE(sent.size(), 28672);
        QVERIFY(sim.waitForLogLine(QStringLiteral("RESET")));
        QCOMPARE(sim.image(), sent);
        QVERIFY(sim.firmware().isEmpty());
        // The warning area never showed: no reload was needed.
        for (const Sample &s : samples_)
            QVERIFY(!s.warningShown);
        // The run is in the programming log, and Help > Programming Log shows it.
        ProgrammingLogDialog log(window_.get());
        const QAbstractItemModel *table = log.findChild<QTableView *>(QStringLiteral("logTable"))->model();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(table->index(0, 1).data().toString(), comDir_->filePath(QStringLiteral("com3")));
        QCOMPARE(table->index(0, 2).data().toString(), QStringLiteral("programmed"));
        QCOMPARE(table->index(0, 3).data().toString(), QStringLiteral("valid"));
    }

    // The processor's own check of the filters ends the run, and its answer the closing message.
    void selfTestEndsTheRun_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QString>("said");
        const QString success = QStringLiteral("Success");
        QTest::newRow("valid") << "valid" << QStringList{kProgramAll, success} << "Filters: verified";
        QTest::newRow("failed") << "failed"
                                << QStringList{kProgramAll, QStringLiteral("Verify Failed"),
                                               QStringLiteral("Programming Aborted")}
                                << "Filters stored in Korvane-S are no longer valid.";
        QTest::newRow("not understood") << "unknown" << QStringList{kProgramAll, success} << "Filters: not verified";
    }
    void selfTestEndsTheRun()
    {
        QFETCH(QString, answer);
        QFETCH(QStringList, titles);
        QFETCH(QString, said);
        prepareProgramFolder(true);
        SimProcess sim({QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--filters"), QStringLiteral("2"),
                        QStringLiteral("--self-test"), answer});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        startWindow();
        program();
        QCOMPARE(dialog_.titles(), titles);
        QVERIFY2(dialog_.messages.back().text.contains(said), qPrintable(dialog_.messages.back().text));
        QCOMPARE(captions_.last(), QStringLiteral("Verifying Filters"));
    }

    void noProcessorGivesOneMessageAndKeepsThePort()
    {
        prepareProgramFolder(true);
        startWindow();
        window_->selectComPort(5);
        program();
        QCOMPARE(dialog_.titles(), (QStringList{kProgramAll, QStringLiteral("Communications Error!")}));
        QCOMPARE(
            dialog_.messages[1].text,
            QStringLiteral("Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting is correct."));
        QCOMPARE(dialog_.messages[1].icon, MessageIcon::Exclamation);
        QCOMPARE(model_.ComPort, int16_t(5));
        QCOMPARE(window_->checkedComPort(), 5);
        QVERIFY(!QFile::exists(program_->filePath(QStringLiteral("filter.bin"))));
    }

    // A port that exists but cannot be used says why, after the usual message: a device that
    // is gone, and a port another program holds (named from its lock file).
    void portFailuresAreNamedInTheMessage()
    {
        prepareProgramFolder(true);
        QVERIFY(QFile::link(QStringLiteral("/dev/ttyKORVANE-none"), comDir_->filePath(QStringLiteral("com1"))));
        SimProcess sim({QStringLiteral("--com"), QStringLiteral("2")});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        const bool canLock = QFileInfo(QStringLiteral("/var/lock")).isWritable();
        QProcess holder;
        const QString device = QFileInfo(sim.devicePath()).canonicalFilePath();
        const QString lock = QStringLiteral("/var/lock/LCK..")
            + device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
        if (canLock) {
            holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
            QVERIFY(holder.waitForStarted());
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray::number(holder.processId()) + "\n");
        }
        startWindow();
        program();
        if (canLock) {
            QFile::remove(lock);
            holder.kill();
            holder.waitForFinished();
        }
        QCOMPARE(dialog_.titles(), (QStringList{kProgramAll, QStringLiteral("Communications Error!")}));
        const QString text = dialog_.messages[1].text;
        QVERIFY2(
            text.startsWith(QStringLiteral("Unable to locate Korvane-S.  Ensure Korvane-S is ON and COM Port setting "
                                           "is correct.\r")),
            qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("\r") + comDir_->filePath(QStringLiteral("com1"))
                               + QStringLiteral(": No such file or directory")),
                 qPrintable(text));
        if (canLock)
            QVERIFY2(text.contains(QStringLiteral("\r") + comDir_->filePath(QStringLiteral("com2"))
                                   + QStringLiteral(": Device or resource busy; in use by sleep")),
                     qPrintable(text));
        QVERIFY(sim.logLines().isEmpty());
    }

    void missingFirmwareFileNamesTheFolder()
    {
        prepareProgramFolder(false);
        SimProcess sim({QStringLiteral("--com"), QStringLiteral("3")});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        startWindow();
        program();
        QCOMPARE(dialog_.titles(),
                 (QStringList{kProgramAll, QStringLiteral("Error!"), QStringLiteral("Programming Aborted")}));
        QVERIFY(dialog_.messages[1].text.startsWith(QStringLiteral("Error reading firmware file.")));
        QVERIFY(dialog_.messages[1].text.contains(QDir::toNativeSeparators(program_->path())));
        QVERIFY(sim.image().isEmpty());
    }

    // The close box of the progress window is its Cancel button while Cancel is enabled.
    void cancelDuringTheUploadShowsOnlyTheAbort_data() { addBoolRows("closeBox", "Cancel button", "close box"); }
    void cancelDuringTheUploadShowsOnlyTheAbort()
    {
        QFETCH(bool, closeBox);
        prepareProgramFolder(true);
        // Paced like the real line, so the upload lasts long enough to be cancelled.
        SimProcess sim({QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--filters"), QStringLiteral("2"),
                        QStringLiteral("--pace"), QStringLiteral("9600")});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        bool stayedOpen = false;
        onRunStart_ = [closeBox, &stayedOpen](CommWindow &view) {
            auto *watch = new QTimer(&view);
            QObject::connect(watch, &QTimer::timeout, &view, [&view, watch, closeBox, &stayedOpen] {
                const QString packet = view.findChild<QLabel *>(QStringLiteral("lblPacketNumber"))->text();
                if (packet.toInt() >= 3) {
                    watch->stop();
                    if (closeBox) {
                        view.close();
                        stayedOpen = view.isVisible();
                    } else {
                        QTest::mouseClick(view.findChild<QPushButton *>(QStringLiteral("Cancel")), Qt::LeftButton);
                    }
                }
            });
            watch->start(20);
        };
        startWindow();
        program();
        if (dialog_.titles().size() != 2 || dialog_.titles()[1] != QStringLiteral("Programming Aborted"))
            qInfo() << dialog_.titles() << sim.logLines()
                    << QFileInfo(comDir_->filePath(QStringLiteral("com3"))).symLinkTarget() << sim.devicePath();
        QCOMPARE(dialog_.titles(), (QStringList{kProgramAll, QStringLiteral("Programming Aborted")}));
        QCOMPARE(dialog_.messages[1].text,
                 QStringLiteral("Programming operation aborted!\rFilters stored in Korvane-S are no longer valid."));
        QVERIFY(sim.image().isEmpty());
        if (closeBox)
            QVERIFY(stayedOpen); // the window stays until the run has ended
    }

    void firmwareReloadLocksCancelAndShowsTheWarning()
    {
        prepareProgramFolder(true);
        // The processor reports an older firmware than the program folder's file.
        SimProcess sim({QStringLiteral("--com"), QStringLiteral("3"), QStringLiteral("--version"),
                        QStringLiteral("0104"), QStringLiteral("--filters"), QStringLiteral("2")});
        QVERIFY2(sim.isReady(), qPrintable(sim.errorString()));
        bool triedCancel = false;
        onRunStart_ = [&triedCancel](CommWindow &view) {
            QObject::connect(&view, &CommWindow::stageCaptionShown, &view, [&view, &triedCancel](const QString &c) {
                if (c != QStringLiteral("Uploading Firmware"))
                    return;
                // Pressing Cancel or the close box during the reload must do nothing: the
                // window and its warning stay.
                QTimer::singleShot(100, &view, [&view, &triedCancel] {
                    QTest::mouseClick(view.findChild<QPushButton *>(QStringLiteral("Cancel")), Qt::LeftButton);
                    view.close();
                    triedCancel = view.isVisible() && view.isWarningShown();
                });
            });
        };
        startWindow();
        program();
        QVERIFY(triedCancel);
        QCOMPARE(dialog_.titles(), (QStringList{kProgramAll, QStringLiteral("Success")}));
        QVERIFY(captions_.contains(QStringLiteral("Uploading Firmware")));
        QCOMPARE(captions_.last(), QStringLiteral("Verifying Filters"));
        bool lockedWithWarning = false;
        for (const Sample &s : samples_) {
            if (s.caption == QStringLiteral("Uploading Firmware") && s.warningShown) {
                QVERIFY(!s.cancelEnabled);
                lockedWithWarning = true;
            }
            if (s.caption == QStringLiteral("Programming Filters")) {
                QVERIFY(s.cancelEnabled);
                QVERIFY(!s.warningShown);
            }
        }
        QVERIFY(lockedWithWarning);
        QCOMPARE(sim.firmware().size(), 761856);
        QCOMPARE(sim.image().size(), 28672);
    }

    // File > COM Port > Network Port...: the run goes to the server given there (here one that
    // refuses), the settings file keeps its COM port, and choosing a COM port goes back to it.
    void networkPortFromTheMenu()
    {
        prepareProgramFolder(false);
        startWindow();
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        auto *entry = window_->findChild<QAction *>(QStringLiteral("mnuNetworkPort"));
        QVERIFY(entry);
        korvane::test::whenModal([port](QWidget *w) {
            w->findChild<QLineEdit *>(QStringLiteral("txtNetHost"))->setText(QStringLiteral("127.0.0.1"));
            w->findChild<QSpinBox *>(QStringLiteral("spnNetPort"))->setValue(port);
            w->findChild<QComboBox *>(QStringLiteral("cboNetProtocol"))->setCurrentIndex(0);
            w->findChild<QCheckBox *>(QStringLiteral("chkNetUse"))->setChecked(true);
            qobject_cast<QDialog *>(w)->accept();
        });
        entry->trigger();
        QVERIFY(entry->isChecked());
        const QString device = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
        QCOMPARE(LoadNetworkPortSetting().device, device);

        program();
        QCOMPARE(dialog_.messages.back().title, QStringLiteral("Communications Error!"));
        QVERIFY2(dialog_.messages.back().text.contains(device + QStringLiteral(": connection refused")),
                 qPrintable(dialog_.messages.back().text));
        QCOMPARE(model_.ComPort, 1);

        window_->findChild<QAction *>(QStringLiteral("mnuCom3"))->trigger();
        QVERIFY(!entry->isChecked());
        QVERIFY(!LoadNetworkPortSetting().use);
        QCOMPARE(LoadNetworkPortSetting().device, device);
    }
};

QTEST_MAIN(ProgrammingTest)
#include "test_programming.moc"
