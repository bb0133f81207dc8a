// The main window driven as the user drives it: lists, options, tabs, the File commands,
// the COM Port menu, the programming command's locking and the shut-down save.

#include "app/commwindow.h"
#include "app/helpwindow.h"
#include "app/mainwindow.h"
#include "clirun.h"
#include "config/settingsfile.h"
#include "mainwindowrun.h"
#include "modalhelper.h"
#include "scripteddialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

using namespace korvane;
using korvane::test::ScriptedDialog;
using korvane::test::writeFile;

class MainWindowTest : public korvane::test::MainWindowRun {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> program_; // the program's own folder

    void start() { startWindow(program_->path()); }
    QComboBox *list(int stage) { return child<QComboBox>(stage == 1 ? "FilterList1" : "FilterList2"); }
    QPushButton *control(int stage)
    {
        return child<QPushButton>(stage == 1 ? "Stage1ControlButton" : "Stage2ControlButton");
    }
    QTabWidget *tabs() { return child<QTabWidget>("TabStrip1"); }
    QRadioButton *agc(int i) { return child<QRadioButton>(qPrintable(QStringLiteral("AGCButton%1").arg(i))); }
    QCheckBox *noise() { return child<QCheckBox>("NoiseCheck"); }
    QAction *action(const char *name) { return child<QAction>(name); }

private slots:
    void init()
    {
        beginRun();
        program_ = std::make_unique<QTemporaryDir>();
    }
    void cleanup() { endRun(); }

    void typeListAppliesDefaultsButTabSwitchDoesNot()
    {
        start();
        list(1)->setCurrentIndex(Lowpass);
        list(1)->setCurrentIndex(Highpass);
        StageConfig &s = model_->stage(0, 1);
        QCOMPARE(s.Type, int16_t(Highpass));
        QCOMPARE(s.Freq1, int16_t(300));
        QCOMPARE(s.AttenDb, int16_t(30));
        QCOMPARE(s.Slope, int16_t(64));

        s.Freq1 = 1234; // as an editor would have left it
        tabs()->setCurrentIndex(1);
        QCOMPARE(model_->CurrentSet, int16_t(1));
        QCOMPARE(list(1)->currentIndex(), int(model_->stage(1, 1).Type));
        tabs()->setCurrentIndex(0);
        QCOMPARE(list(1)->currentText(), QStringLiteral("Highpass"));
        QCOMPARE(model_->stage(0, 1).Freq1, int16_t(1234));

        // Stage 2's list writes Stage 2 only.
        list(2)->setCurrentIndex(Notch);
        QCOMPARE(model_->stage(0, 2).Type, int16_t(Notch));
        QCOMPARE(model_->stage(0, 2).Freq1, int16_t(400));
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Highpass));
    }

    void passThruDisablesControlUntilADeviceOperationEnablesBoth()
    {
        start();
        list(1)->setCurrentIndex(PassThru);
        list(2)->setCurrentIndex(PassThru);
        QVERIFY(!control(1)->isEnabled());
        QVERIFY(!control(2)->isEnabled());
        list(2)->setCurrentIndex(Lowpass);
        QVERIFY(control(2)->isEnabled());

        window_->BeginDeviceOperation();
        QVERIFY(!window_->isEnabled());
        QVERIFY(window_->commWindow() && window_->commWindow()->isVisible());
        window_->EndDeviceOperation();
        QVERIFY(window_->isEnabled());
        QVERIFY(!window_->commWindow());
        QVERIFY(control(1)->isEnabled());

        QTest::mouseClick(control(1), Qt::LeftButton);
        QCOMPARE(model_->CurrentStage, int16_t(1));
        QCOMPARE(dialog_->messages.size(), size_t(1));
        const auto &m = dialog_->messages.front();
        QCOMPARE(m.title, QStringLiteral("Pass Thru Filter Stage 1"));
        QCOMPARE(m.text, QStringLiteral("No Control Options for this filter"));
        QCOMPARE(m.icon, MessageIcon::None);
        QCOMPARE(m.buttons, MessageButtons::Ok);
    }

    void agcAndNoiseWriteBothStagesOfTheCurrentSetOnly()
    {
        start();
        tabs()->setCurrentIndex(3);
        QTest::mouseClick(agc(2), Qt::LeftButton);
        QTest::mouseClick(noise(), Qt::LeftButton);
        for (int set = 0; set < kFilterSetCount; ++set) {
            for (int stage = 1; stage <= 2; ++stage) {
                const StageConfig &s = model_->stage(set, stage);
                QCOMPARE(s.Agc, int16_t(set == 3 ? 2 : 0));
                QCOMPARE(s.NoiseFilter, set == 3 ? kTrue : kFalse);
            }
        }
        tabs()->setCurrentIndex(5);
        QVERIFY(agc(0)->isChecked());
        QVERIFY(!noise()->isChecked());
        tabs()->setCurrentIndex(3);
        QVERIFY(agc(2)->isChecked());
        QVERIFY(noise()->isChecked());
        // Visiting the other sets wrote nothing into them.
        QCOMPARE(model_->stage(5, 1).Agc, int16_t(0));
        QCOMPARE(model_->stage(5, 2).NoiseFilter, kFalse);
    }

    void bandwidthButtonIsForcedBackToFullBandwidth()
    {
        start();
        tabs()->setCurrentIndex(2);
        list(1)->setCurrentIndex(Lowpass);
        model_->stage(2, 1).Freq1 = 9000;
        const int16_t otherSet = model_->stage(0, 1).Bandwidth;
        auto *bw0 = child<QRadioButton>("BWFiltButton0");
        bw0->setChecked(true);
        QCOMPARE(model_->stage(2, 1).Bandwidth, int16_t(2));
        QCOMPARE(model_->stage(2, 2).Bandwidth, int16_t(2));
        QVERIFY(model_->stage(2, 1).Freq1 <= model_->MaxFilterFrequency(2));
        QCOMPARE(model_->stage(0, 1).Bandwidth, otherSet);
    }

    void fileNewResetsEverySetAndKeepsTheCaption()
    {
        start();
        dialog_->fileAnswers = {work_->filePath(QStringLiteral("earlier.min"))};
        action("mnuFileSaveAs")->trigger();
        tabs()->setCurrentIndex(7);
        list(1)->setCurrentIndex(Comb);
        QTest::mouseClick(agc(3), Qt::LeftButton);
        QTest::mouseClick(noise(), Qt::LeftButton);
        dialog_->answers = {MessageAnswer::No}; // do not save the changes first
        action("tbNew")->trigger();
        QCOMPARE(tabs()->currentIndex(), 0);
        QCOMPARE(model_->CurrentSet, int16_t(0));
        QCOMPARE(list(1)->currentText(), QStringLiteral("Pass Thru Filter"));
        QCOMPARE(list(2)->currentText(), QStringLiteral("Pass Thru Filter"));
        QVERIFY(agc(0)->isChecked());
        QVERIFY(!noise()->isChecked());
        QVERIFY(!control(1)->isEnabled());
        QCOMPARE(model_->stage(7, 1).Type, int16_t(PassThru));
        QCOMPARE(model_->stage(7, 2).NoiseFilter, kFalse);
        // The caption still names the last file, now with unsaved changes.
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : earlier.min*"));
    }

    void cancelledFileDialogsChangeNothing()
    {
        start();
        tabs()->setCurrentIndex(4);
        list(1)->setCurrentIndex(Slot);
        const auto before = model_->FilterData;
        const QString caption = window_->windowTitle();
        dialog_->answers = {MessageAnswer::No}; // Open: go on without saving the change
        dialog_->fileAnswers = {std::nullopt, std::nullopt, QString()};
        action("mnuFileOpen")->trigger();
        action("tbSave")->trigger();
        action("mnuFileSaveAs")->trigger(); // an empty name counts as cancel too
        QCOMPARE(dialog_->fileRequests.size(), size_t(3));
        QCOMPARE(dialog_->titles(), QStringList{kSaveChangesTitle});
        QCOMPARE(dialog_->beeps, 0);
        QVERIFY(model_->FilterData == before);
        QCOMPARE(window_->windowTitle(), caption);
        QCOMPARE(tabs()->currentIndex(), 4);
        QVERIFY(QDir(work_->path()).entryList(QDir::Files).isEmpty());

        const FileDialogRequest &open = dialog_->fileRequests[0];
        QCOMPARE(open.mode, FileDialogRequest::Mode::Open);
        QCOMPARE(open.filter, QStringLiteral("Korvane-S Files (*.min)|*.min|All Files (*.*)|*.*"));
        QCOMPARE(QDir(open.initialDirectory).canonicalPath(), QDir(work_->path()).canonicalPath());
        const FileDialogRequest &save = dialog_->fileRequests[1];
        QCOMPARE(save.mode, FileDialogRequest::Mode::Save);
        QVERIFY(save.confirmOverwrite);
        QCOMPARE(save.filter, open.filter);
    }

    void saveAsThenOpenRoundTripsWithCaptions()
    {
        start();
        tabs()->setCurrentIndex(6);
        list(2)->setCurrentIndex(Bandpass);
        QTest::mouseClick(agc(1), Qt::LeftButton);
        const QString noExtension = work_->filePath(QStringLiteral("bench-setup"));
        dialog_->fileAnswers = {noExtension};
        action("mnuFileSaveAs")->trigger();
        // A name without extension gets ".min", so the Open dialog's filter lists the file.
        QVERIFY(!QFile::exists(noExtension));
        QVERIFY(QFile::exists(noExtension + QStringLiteral(".min")));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : bench-setup.min"));
        const auto saved = model_->FilterData;

        action("tbNew")->trigger();
        tabs()->setCurrentIndex(9);
        dialog_->fileAnswers = {noExtension + QStringLiteral(".min")};
        dialog_->answers = {MessageAnswer::No}; // the New is not worth keeping
        action("tbOpen")->trigger();
        QCOMPARE(dialog_->titles(), QStringList{kSaveChangesTitle});
        QCOMPARE(tabs()->currentIndex(), 0);
        QCOMPARE(model_->CurrentSet, int16_t(0));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : bench-setup.min"));
        QCOMPARE(model_->stage(6, 2).Type, int16_t(Bandpass));
        QCOMPARE(model_->stage(6, 1).Agc, int16_t(1));
        QCOMPARE(model_->stage(6, 2).Freq2, saved[6][2].Freq2);
        // The Save dialog opens where the last one left off.
        QCOMPARE(window_->commonDialog().initialDirectory, QFileInfo(noExtension).absolutePath());
    }

    void openOfABadFileKeepsTabCaptionAndModel()
    {
        start();
        tabs()->setCurrentIndex(2);
        list(1)->setCurrentIndex(Comb);
        const auto before = model_->FilterData;
        const QString bad = work_->filePath(QStringLiteral("bad.min"));
        QVERIFY(writeFile(bad, "Korvane-S\r\nnot a port\r\n"));
        dialog_->fileAnswers = {bad};
        dialog_->answers = {MessageAnswer::No};
        action("mnuFileOpen")->trigger();
        QCOMPARE(dialog_->titles(), (QStringList{kSaveChangesTitle, QStringLiteral("Unable to read file")}));
        QVERIFY(model_->FilterData == before);
        QCOMPARE(tabs()->currentIndex(), 2);
        QCOMPARE(window_->windowTitle(), kMainCaption + QStringLiteral("*"));
    }

    void startUpReadsTheWorkingFolderAndExitWritesTheProgramFolder()
    {
        Model configured;
        configured.ComPort = 6;
        configured.stage(0, 1).Type = Notch;
        configured.stage(0, 1).Agc = configured.stage(0, 2).Agc = 3;
        ScriptedDialog quiet;
        QVERIFY(WriteSettingsFile(configured, work_->filePath(QStringLiteral("default.min")), quiet));
        Model other;
        other.ComPort = 2;
        QVERIFY(WriteSettingsFile(other, program_->filePath(QStringLiteral("default.min")), quiet));

        start();
        QCOMPARE(model_->StartDirectory, QDir::currentPath());
        QCOMPARE(list(1)->currentText(), QStringLiteral("Notch"));
        QVERIFY(agc(3)->isChecked());
        QCOMPARE(window_->checkedComPort(), 6);

        list(2)->setCurrentIndex(Lowpass);
        action("mnuFileExit")->trigger();
        QVERIFY(!window_->isVisible());
        QVERIFY(dialog_->messages.empty());
        Model back;
        QVERIFY(ReadSettingsFile(back, program_->filePath(QStringLiteral("default.min")), quiet));
        QCOMPARE(back.stage(0, 1).Type, int16_t(Notch));
        QCOMPARE(back.stage(0, 2).Type, int16_t(Lowpass));
        // The working folder's file is only read.
        Model untouched;
        QVERIFY(ReadSettingsFile(untouched, work_->filePath(QStringLiteral("default.min")), quiet,
                                 SettingsReadOptions{.startup = true}));
        QCOMPARE(untouched.stage(0, 2).Type, configured.stage(0, 2).Type);
    }

    // An installed program's folder cannot be written: default.min is read from and written
    // back to the per-user configuration folder, so the next start from any folder finds it.
    // Only when no place can take it is the user told: the session's work is lost otherwise.
    void exitSaveFallsBackToThePerUserFolderAndReportsOnlyATotalFailure()
    {
        QTemporaryDir home;
        const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        const QString perUser = home.filePath(QStringLiteral("korvane-s/default.min"));

        // A program folder that does not exist cannot be written.
        const QString gone = home.filePath(QStringLiteral("gone"));
        const auto startIn = [&] {
            window_ = std::make_unique<MainWindow>(*model_, *dialog_, gone);
            window_->load();
            window_->show();
        };
        startIn();
        list(1)->setCurrentIndex(Notch);
        window_->close();
        QVERIFY(dialog_->messages.empty());
        Model back;
        ScriptedDialog quiet;
        QVERIFY(ReadSettingsFile(back, perUser, quiet));
        QCOMPARE(back.stage(0, 1).Type, int16_t(Notch));

        // The next start, from another folder, reads it.
        QVERIFY(QDir::setCurrent(home.path()));
        model_ = std::make_unique<Model>();
        startIn();
        QCOMPARE(list(1)->currentText(), QStringLiteral("Notch"));
        window_.reset();

        // Neither place can be written: the message names the file and the reason.
        qputenv("XDG_CONFIG_HOME", (perUser + QStringLiteral("/under-a-file")).toLocal8Bit());
        model_ = std::make_unique<Model>();
        startIn();
        window_->close();
        qputenv("XDG_CONFIG_HOME", saved);
        QCOMPARE(dialog_->messages.size(), size_t(1));
        QCOMPARE(dialog_->messages[0].title, QStringLiteral("Unable to Store File."));
        QVERIFY2(dialog_->messages[0].text.startsWith(QStringLiteral("Error writing file ") + perUser
                                                      + QStringLiteral("/under-a-file/korvane-s/default.min\r")),
                 qPrintable(dialog_->messages[0].text));
    }

    void comPortMenuCarriesExactlyOneCheckMark()
    {
        model_->ComPort = 0; // what a reset model holds: clamped into 1..9 at start
        start();
        QCOMPARE(model_->ComPort, int16_t(1));
        auto checked = [this] {
            int n = 0;
            for (int i = 1; i <= 9; ++i)
                n += action(qPrintable(QStringLiteral("mnuCom%1").arg(i)))->isChecked() ? 1 : 0;
            return n;
        };
        QCOMPARE(checked(), 1);
        QCOMPARE(window_->checkedComPort(), 1);
        QAction *com7 = action("mnuCom7");
        QCOMPARE(com7->text(), QStringLiteral("COM &7"));
        com7->trigger();
        QCOMPARE(model_->ComPort, int16_t(7));
        QCOMPARE(checked(), 1);
        QCOMPARE(window_->checkedComPort(), 7);
        // Choosing the checked item again keeps its mark.
        com7->trigger();
        QCOMPARE(window_->checkedComPort(), 7);
        QVERIFY(com7->toolTip().startsWith(QStringLiteral("COM 7")));
    }

    void menusAndToolbarCarryTheirTextsAndShortcuts()
    {
        start();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S Configuration Utility"));
        QCOMPARE(action("mnuFileSaveAs")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(action("mnuProgramKorvane")->text(), QStringLiteral("&Program Korvane-S"));
        QCOMPARE(action("mnuProgramKorvane")->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
        QCOMPARE(action("mnuHelpSearch")->text(), QStringLiteral("&Search For Help On..."));
        QCOMPARE(action("tbNew")->toolTip(), QStringLiteral("New - makes all filters Pass Thru"));
        QCOMPARE(tabs()->count(), 16);
        QCOMPARE(tabs()->tabText(15), QStringLiteral("Filter 15"));
        QCOMPARE(tabs()->tabToolTip(4), QStringLiteral("Filter 4 settings"));
        QCOMPARE(tabs()->tabToolTip(5), QStringLiteral("Fitler 5 settings"));
        QCOMPARE(list(1)->count(), kFilterTypeCount);
        QCOMPARE(list(1)->itemText(10), QStringLiteral("Imported Coefficient File"));
        // The arrangement of the form: Stage 2 under Stage 1, AGC and the noise box to their
        // right, the note under all; sizes come from the font.
        const QRect stage1 = child<QWidget>("StageFrame1")->geometry();
        const QRect stage2 = child<QWidget>("StageFrame2")->geometry();
        QVERIFY(stage2.top() > stage1.bottom());
        QVERIFY(stage1.width() >= 214);
        QVERIFY(child<QWidget>("fraAGC")->geometry().left() > stage1.right());
        QVERIFY(noise()->geometry().left() > stage2.right());
        QVERIFY(child<QWidget>("Frame1")->geometry().top() > stage2.bottom());
    }

    void programmingNeedsAYesAndLocksTheWindowWhileItRuns()
    {
        start();
        int runs = 0;
        bool lockedDuringRun = false;
        window_->setProgrammingRunner([&](ProgrammingRunContext &ctx) {
            ++runs;
            lockedDuringRun = !window_->isEnabled() && ctx.view.isVisible()
                && !child<QMenu>("mnuFile")->menuAction()->isEnabled()
                && !child<QMenu>("mnuHelp")->menuAction()->isEnabled() && !list(1)->isEnabled();
            // Closing the main window mid-transfer is refused.
            window_->close();
            lockedDuringRun = lockedDuringRun && window_->isVisible();
            ctx.view.setProbedPort(4);
            ctx.model.ComPort = 4; // as the sequence's discovery does
            ctx.onComPortChanged(4);
            return true;
        });
        dialog_->answers = {MessageAnswer::No};
        action("mnuProgramKorvane")->trigger();
        QCOMPARE(runs, 0);
        QCOMPARE(dialog_->messages.size(), size_t(1));
        const auto &q = dialog_->messages.front();
        QCOMPARE(q.title, QStringLiteral("Program All Filters?"));
        QCOMPARE(q.text,
                 QStringLiteral("Programming the Korvane-S updates all 16 filters (0-15).  Click Yes if you wish to "
                                "program all the filters."));
        QCOMPARE(q.icon, MessageIcon::Question);
        QCOMPARE(q.buttons, MessageButtons::YesNo);
        QVERIFY(!window_->commWindow());

        dialog_->answers = {MessageAnswer::Yes};
        action("tbProgram")->trigger();
        QCOMPARE(runs, 1);
        QVERIFY(lockedDuringRun);
        QVERIFY(window_->isEnabled());
        QVERIFY(child<QMenu>("mnuFile")->menuAction()->isEnabled());
        QVERIFY(!window_->commWindow());
        QCOMPARE(model_->ComPort, int16_t(4));
        QCOMPARE(window_->checkedComPort(), 4);
    }

    void aRunThatThrowsStillUnlocksTheWindow()
    {
        start();
        window_->setProgrammingRunner([](ProgrammingRunContext &) -> bool { throw std::runtime_error("line gone"); });
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, window_->programKorvane());
        QVERIFY(window_->isEnabled());
        QVERIFY(!window_->isDeviceOperationRunning());
    }

    void importOffersTheStageFileAndPutsTheDialogNameBack()
    {
        start();
        window_->commonDialog().fileName = QStringLiteral("/setups/last.min");
        list(2)->setCurrentIndex(ImportedCoef);
        model_->stage(0, 2).CoefFileName = QStringLiteral("/coefs/earlier.txt");

        const QString chosen = work_->filePath(QStringLiteral("taps.txt"));
        QVERIFY(writeFile(chosen, "0.5\r\n-0.25,\r\n"));
        dialog_->fileAnswers = {chosen};
        QTest::mouseClick(control(2), Qt::LeftButton);
        QCOMPARE(model_->CurrentStage, int16_t(2));
        QCOMPARE(dialog_->fileRequests.size(), size_t(1));
        QCOMPARE(dialog_->fileRequests[0].fileName, QStringLiteral("/coefs/earlier.txt"));
        QCOMPARE(dialog_->fileRequests[0].filter, QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*"));
        QCOMPARE(dialog_->fileRequests[0].mode, FileDialogRequest::Mode::Open);
        QCOMPARE(window_->commonDialog().fileName, QStringLiteral("/setups/last.min"));
        QCOMPARE(model_->stage(0, 2).Coef[0], 0.5f);
        QCOMPARE(model_->stage(0, 2).Coef[1], -0.25f);
        QCOMPARE(model_->stage(0, 2).CoefFileName, chosen);
        QVERIFY(dialog_->messages.empty());

        // Cancel: the dialog keeps the stage's name, the stage is untouched.
        const StageConfig before = model_->stage(0, 2);
        QTest::mouseClick(control(2), Qt::LeftButton);
        QCOMPARE(dialog_->fileRequests.back().fileName, chosen); // the imported file is offered again
        QCOMPARE(window_->commonDialog().fileName, chosen);
        QVERIFY(model_->stage(0, 2) == before);
    }

    void eachControlClickOpensAFreshEditorCaptionedOnce()
    {
        start();
        tabs()->setCurrentIndex(2);
        list(2)->setCurrentIndex(Notch);
        QStringList captions;
        for (int i = 0; i < 2; ++i) {
            korvane::test::whenModal([&](QWidget *w) {
                if (captions.size() <= i) {
                    captions << w->windowTitle();
                    QVERIFY(!window_->isActiveWindow() || w->isModal());
                }
                w->close();
            });
            QTest::mouseClick(control(2), Qt::LeftButton);
        }
        QCOMPARE(captions, (QStringList{QStringLiteral("Notch Stage 2"), QStringLiteral("Notch Stage 2")}));
        QCOMPARE(model_->CurrentStage, int16_t(2));
        // Closing without a change stores nothing.
        QCOMPARE(model_->stage(2, 2).Freq1, int16_t(400));
        QVERIFY(dialog_->messages.empty());
    }

    void helpNeedsAHelpFileName()
    {
        start();
        window_->setWindowTitle(QStringLiteral("Korvane-S : lab.min"));
        window_->setHelpFile(QString());
        action("mnuHelpContents")->trigger();
        action("mnuHelpSearch")->trigger();
        QCOMPARE(dialog_->messages.size(), size_t(2));
        for (const auto &m : dialog_->messages) {
            QCOMPARE(m.title, QStringLiteral("Korvane-S : lab.min"));
            QCOMPARE(m.text,
                     QStringLiteral("Unable to display Help Contents. There is no Help associated with this project."));
            QCOMPARE(m.icon, MessageIcon::Information);
            QCOMPARE(m.buttons, MessageButtons::Ok);
        }
        QVERIFY(!window_->helpWindow());
    }

    void helpOpensTheShippedDocumentAndAMissingOneIsReported()
    {
        start();
        window_->setHelpFile(qEnvironmentVariable("KORVANE_PROGRAM_DIR") + QStringLiteral("/korvane-s-help.html"));
        action("mnuHelpSearch")->trigger();
        QVERIFY(dialog_->messages.empty());
        HelpWindow *help = window_->helpWindow();
        QVERIFY(help && help->isVisible());
        QVERIFY(help->listedTopicTitles().size() >= 10);
        window_->setHelpFile(QStringLiteral("no-such-help.html"));
        action("mnuHelpContents")->trigger();
        QCOMPARE(dialog_->titles(), QStringList{QStringLiteral("KorvaneS")});
        QVERIFY(dialog_->messages[0].text.contains(QStringLiteral("no-such-help.html")));
    }

    // Scrolling the wheel over a closed type list that has no keyboard focus leaves the
    // stage alone; once the list has the focus the wheel picks types as before.
    void wheelOverAnUnfocusedTypeListChangesNothing()
    {
        start();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        list(1)->setCurrentIndex(Lowpass);
        model_->stage(0, 1).Freq1 = 5000;
        control(2)->setFocus();
        auto wheel = [this](int notches) {
            const QPointF at = list(1)->rect().center();
            QWheelEvent e(at, list(1)->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(list(1), &e);
        };
        wheel(2);
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Lowpass));
        QCOMPARE(model_->stage(0, 1).Freq1, int16_t(5000));
        QVERIFY(!list(1)->hasFocus());
        list(1)->setFocus();
        wheel(1);
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Highpass));
    }

    // The bandwidth options are out of the user's reach: Tab never lands on them.
    void hiddenBandwidthOptionsTakeNoFocus()
    {
        start();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        control(1)->setEnabled(true);
        control(1)->setFocus();
        QStringList visited;
        for (int i = 0; i < 40; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (QWidget *f = QApplication::focusWidget())
                visited << f->objectName();
        }
        QVERIFY2(visited.contains(QStringLiteral("NoiseCheck")), qPrintable(visited.join(' ')));
        for (const QString &name : visited)
            QVERIFY2(!name.startsWith(QStringLiteral("BWFiltButton")), qPrintable(visited.join(' ')));
        for (int i = 0; i < 3; ++i) {
            auto *b = child<QRadioButton>(qPrintable(QStringLiteral("BWFiltButton%1").arg(i)));
            QVERIFY(!b->isVisible());
            QCOMPARE(b->focusPolicy(), Qt::NoFocus);
        }
    }

    // The caption names the settings file and marks unsaved changes; New and Open ask before
    // they drop them: Yes saves as Save As does, No goes on, Cancel stops.
    void unsavedChangesAreMarkedAndAskedAbout()
    {
        start();
        QCOMPARE(window_->windowTitle(), kMainCaption);
        list(1)->setCurrentIndex(Lowpass);
        QCOMPARE(window_->windowTitle(), kMainCaption + QStringLiteral("*"));

        dialog_->answers = {MessageAnswer::Cancel};
        action("mnuFileNew")->trigger();
        QCOMPARE(dialog_->titles(), QStringList{kSaveChangesTitle});
        QCOMPARE(dialog_->messages[0].buttons, MessageButtons::YesNoCancel);
        QCOMPARE(dialog_->messages[0].icon, MessageIcon::Question);
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Lowpass));

        // Yes, then Cancel in the Save As dialog: the Open does not go ahead.
        dialog_->clear();
        dialog_->answers = {MessageAnswer::Yes};
        dialog_->fileAnswers = {std::nullopt};
        action("mnuFileOpen")->trigger();
        QCOMPARE(dialog_->fileRequests.size(), size_t(1));
        QCOMPARE(dialog_->fileRequests[0].mode, FileDialogRequest::Mode::Save);
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Lowpass));

        // Yes: saved first, then opened.
        dialog_->clear();
        const QString kept = work_->filePath(QStringLiteral("kept.min"));
        const QString other = work_->filePath(QStringLiteral("other.min"));
        Model otherModel;
        otherModel.ResetAllFilterSets();
        otherModel.stage(0, 1).Type = Notch;
        QVERIFY(WriteSettingsFile(otherModel, other, *dialog_));
        dialog_->answers = {MessageAnswer::Yes};
        dialog_->fileAnswers = {kept, other};
        action("tbOpen")->trigger();
        QCOMPARE(dialog_->fileRequests.size(), size_t(2));
        Model reread;
        QVERIFY(ReadSettingsFile(reread, kept, *dialog_));
        QCOMPARE(reread.stage(0, 1).Type, int16_t(Lowpass));
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Notch));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : other.min"));

        // Nothing changed since the Open: no question. A change, then No: New goes ahead.
        dialog_->clear();
        QTest::mouseClick(agc(2), Qt::LeftButton);
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : other.min*"));
        dialog_->answers = {MessageAnswer::No};
        action("tbNew")->trigger();
        QCOMPARE(dialog_->titles(), QStringList{kSaveChangesTitle});
        QCOMPARE(model_->stage(0, 1).Type, int16_t(PassThru));
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : other.min*"));

        // Save As clears the mark; Exit still writes default.min without asking.
        dialog_->clear();
        dialog_->fileAnswers = {kept};
        action("mnuFileSaveAs")->trigger();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : kept.min"));
        list(2)->setCurrentIndex(Slot);
        QVERIFY(window_->windowTitle().endsWith(QLatin1Char('*')));
        window_->close();
        QVERIFY(dialog_->messages.empty());
        QVERIFY(QFile::exists(program_->filePath(QStringLiteral("default.min"))));
    }

    // Ctrl+Tab / Ctrl+PgDn go to the next filter set, Ctrl+Shift+Tab / Ctrl+PgUp to the
    // previous one, round the ends, wherever the focus is; F1 opens the help.
    void keyboardMovesBetweenSetsAndF1OpensHelp()
    {
        start();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        noise()->setFocus();
        QTest::keyClick(noise(), Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(tabs()->currentIndex(), 1);
        QCOMPARE(model_->CurrentSet, int16_t(1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(tabs()->currentIndex(), 2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(tabs()->currentIndex(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(tabs()->currentIndex(), 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(tabs()->currentIndex(), 15);
        QCOMPARE(model_->CurrentSet, int16_t(15));

        window_->setHelpFile(qEnvironmentVariable("KORVANE_SOURCE_DIR")
                             + QStringLiteral("/app/help/korvane-s-help.html"));
        QTest::keyClick(window_.get(), Qt::Key_F1);
        QVERIFY(window_->helpWindow());
        QVERIFY(window_->helpWindow()->isVisible());
        QVERIFY(dialog_->messages.empty());
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_mainwindow.moc"
