// Working with many filter sets through the real main window: undo and redo of random edits,
// copy and paste between tabs, typed values in an editor, the stage summaries and tab marks,
// recent files across a restart, Save As name completion and the exports.

#include "app/mainwindow.h"
#include "coefgen/coefimage.h"
#include "config/settingsfile.h"
#include "editors/settingbar.h"
#include "edits/edithistory.h"
#include "edits/stagesummary.h"
#include "mainwindowrun.h"
#include "modalhelper.h"
#include "modeltesting.h"
#include "scripteddialog.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace korvane;
using korvane::test::ScriptedDialog;

class EditsMainWindowTest : public korvane::test::MainWindowRun {
    Q_OBJECT

private:
    QTemporaryDir config_; // the per-user configuration of every "run" of this test

    void start() { startWindow(work_->path()); }
    template <typename T> T *child(const QString &name)
    {
        T *w = window_->findChild<T *>(name);
        if (!w)
            qFatal("no child %s", qPrintable(name));
        return w;
    }
    QComboBox *list(int stage) { return child<QComboBox>(QStringLiteral("FilterList%1").arg(stage)); }
    QTabWidget *tabs() { return child<QTabWidget>(QStringLiteral("TabStrip1")); }
    QAction *action(const char *name) { return child<QAction>(QString::fromLatin1(name)); }
    QByteArray content() { return SettingsFileContent(*model_); }
    QByteArray image()
    {
        ScriptedDialog quiet; // a 20-band stage without its data file reports "File Error" here
        const std::optional<QByteArray> bytes = BuildFilterImageBytes(*model_, quiet);
        return bytes ? *bytes : QByteArray("not built");
    }

    // Opens the editor of the stage with its Control button, types into the named field,
    // presses Enter and then OK. Returns the bar's value after Enter.
    int typeInEditor(int stage, const QString &field, const QString &text)
    {
        int barValue = -1;
        korvane::test::whenModal([&](QWidget *w) {
            auto *edit = w->findChild<QLineEdit *>(field);
            if (edit && barValue < 0) {
                edit->setFocus();
                edit->selectAll();
                QTest::keyClicks(edit, text);
                QTest::keyClick(edit, Qt::Key_Return);
                if (auto *bar = w->findChild<SettingBar *>(field.left(field.indexOf(QStringLiteral("Value")))))
                    barValue = bar->value();
            }
            if (auto *ok = w->findChild<QPushButton *>(QStringLiteral("Command1")))
                ok->click();
            else if (auto *d = qobject_cast<QDialog *>(w))
                d->accept();
        });
        child<QPushButton>(QStringLiteral("Stage%1ControlButton").arg(stage))->click();
        return barValue;
    }

private slots:
    void initTestCase()
    {
        // Before the first QSettings: the recent-files list lives here, not in the real home.
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    }
    void init() { beginRun(); }
    void cleanup() { endRun(); }

    void randomEditsUndoneAndRedoneByteForByte()
    {
        start();
        QRandomGenerator rng(18);
        const int types[] = {Adaptive1CH, Lowpass, Highpass,    Bandpass,     Bandstop, Comb,
                             Notch,       Slot,    GraphicEq20, ImportedCoef, PassThru};
        const QByteArray first = content();
        const QByteArray firstImage = image();
        int steps = 0, attempts = 0;
        while (steps < 20 && ++attempts < 200) {
            const QByteArray before = content();
            const int set = rng.bounded(kFilterSetCount), stage = 1 + rng.bounded(2);
            switch (rng.bounded(6)) {
            case 0:
                tabs()->setCurrentIndex(set);
                list(stage)->setCurrentIndex(types[rng.bounded(int(std::size(types)))]);
                break;
            case 1:
                QTest::mouseClick(child<QRadioButton>(QStringLiteral("AGCButton%1").arg(rng.bounded(4))),
                                  Qt::LeftButton, {}, QPoint(8, 8));
                break;
            case 2:
                child<QCheckBox>(QStringLiteral("NoiseCheck"))->click();
                break;
            case 3: { // an editor's typed cutoff or frequency
                const int type = model_->stage(model_->CurrentSet, stage).Type;
                if (type >= Lowpass && type <= Slot && type != Comb)
                    typeInEditor(stage, QStringLiteral("HScroll1Value"), QString::number(100 + rng.bounded(3000)));
                break;
            }
            case 4: // the shown set onto another tab
                action("mnuEditCopySet")->trigger();
                tabs()->setCurrentIndex(set);
                action("mnuEditPasteSet")->trigger();
                break;
            case 5:
                action(stage == 1 ? "mnuEditCopyStage1" : "mnuEditCopyStage2")->trigger();
                action(stage == 1 ? "mnuEditPasteStage2" : "mnuEditPasteStage1")->trigger();
                break;
            }
            if (content() != before)
                ++steps;
        }
        QCOMPARE(steps, 20);
        QCOMPARE(window_->editHistory().stepCount(), 20);
        QVERIFY(dialog_->messages.empty());
        const QByteArray last = content();
        const QByteArray lastImage = image();
        QVERIFY(last != first);

        for (int i = 0; i < 20; ++i) {
            QVERIFY(action("mnuEditUndo")->isEnabled());
            action("mnuEditUndo")->trigger();
        }
        QVERIFY(!action("mnuEditUndo")->isEnabled());
        QCOMPARE(content(), first);
        QCOMPARE(image(), firstImage);
        // The window shows the model as it is now.
        QCOMPARE(list(1)->currentIndex(), int(model_->stage(model_->CurrentSet, 1).Type));
        QCOMPARE(tabs()->currentIndex(), int(model_->CurrentSet));

        for (int i = 0; i < 20; ++i)
            action("mnuEditRedo")->trigger();
        QVERIFY(!action("mnuEditRedo")->isEnabled());
        QCOMPARE(content(), last);
        QCOMPARE(image(), lastImage);
    }

    void copySet3PastedOnSet7BuildsTheSameBlock()
    {
        // As after an Open: every set validated (7.5 kHz), so both sets run at one sample rate.
        Model opened = test::openedModel();
        opened.ComPort = 1;
        QVERIFY(WriteSettingsFile(opened, work_->filePath(QStringLiteral("default.min")), *dialog_));
        start();
        tabs()->setCurrentIndex(3);
        list(1)->setCurrentIndex(Bandpass);
        list(2)->setCurrentIndex(Notch);
        QTest::mouseClick(child<QRadioButton>(QStringLiteral("AGCButton2")), Qt::LeftButton, {}, QPoint(8, 8));
        child<QCheckBox>(QStringLiteral("NoiseCheck"))->click();
        action("mnuEditCopySet")->trigger();
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("\"Korvane-S Filter Set\"\r\n")));
        tabs()->setCurrentIndex(7);
        action("mnuEditPasteSet")->trigger();
        QCOMPARE(list(1)->currentText(), QStringLiteral("Bandpass"));
        QCOMPARE(action("mnuEditUndo")->text(), QStringLiteral("&Undo Paste of Filter 7"));

        const QByteArray bytes = image();
        QCOMPARE(bytes.size(), kFilterImageSize);
        const QByteArray block3 = bytes.mid(3 * kFilterSetBlockSize, kFilterSetBlockSize);
        QCOMPARE(bytes.mid(7 * kFilterSetBlockSize, kFilterSetBlockSize), block3);
        QVERIFY(bytes.mid(0, kFilterSetBlockSize) != block3); // not two pass-through blocks

        // Text that is not a copied set: a message, and nothing changes.
        const QByteArray before = content();
        QGuiApplication::clipboard()->setText(QStringLiteral("2700"));
        action("mnuEditPasteSet")->trigger();
        QCOMPARE(dialog_->messages.size(), size_t(1));
        QCOMPARE(dialog_->messages[0].title, QStringLiteral("Unable to paste"));
        QCOMPARE(dialog_->messages[0].icon, MessageIcon::Exclamation);
        QCOMPARE(content(), before);
        QCOMPARE(action("mnuEditUndo")->text(), QStringLiteral("&Undo Paste of Filter 7"));
    }

    void typedCutoffIsStoredAndUndoable()
    {
        start();
        list(1)->setCurrentIndex(Lowpass);
        QCOMPARE(typeInEditor(1, QStringLiteral("HScroll1Value"), QStringLiteral("2700")), 2700);
        QCOMPARE(model_->stage(0, 1).Freq1, int16_t(2700));
        QCOMPARE(action("mnuEditUndo")->text(), QStringLiteral("&Undo Lowpass settings of Filter 0 Stage 1"));
        action("mnuEditUndo")->trigger();
        QCOMPARE(model_->stage(0, 1).Freq1, int16_t(2500));
        QCOMPARE(action("mnuEditRedo")->text(), QStringLiteral("&Redo Lowpass settings of Filter 0 Stage 1"));

        // Notch width typed in Hz lands on the setting that shows it (397 Hz at 17200 Hz is 64).
        list(2)->setCurrentIndex(Notch);
        model_->stage(0, 2).Freq2 = 30;
        model_->ValidateStage(0, 1);
        model_->ValidateStage(0, 2);
        QCOMPARE(typeInEditor(2, QStringLiteral("HScroll2Value"), QStringLiteral("397 Hz")), 64);
        QCOMPARE(model_->stage(0, 2).Freq2, int16_t(64));
        // Undo of the width and of the Notch type: the stage list shows the restored type.
        action("mnuEditUndo")->trigger();
        action("mnuEditUndo")->trigger();
        QVERIFY(model_->stage(0, 2).Type != Notch);
        QCOMPARE(list(2)->currentIndex(), int(model_->stage(0, 2).Type));
    }

    void summariesAndTabMarksFollowTheModel()
    {
        start();
        QLabel *summary1 = child<QLabel>(QStringLiteral("StageSummary1"));
        QLabel *summary2 = child<QLabel>(QStringLiteral("StageSummary2"));
        QCOMPARE(summary1->text(), QStringLiteral("Pass Thru"));
        QVERIFY(tabs()->tabIcon(0).isNull());
        list(1)->setCurrentIndex(Lowpass);
        list(2)->setCurrentIndex(Comb);
        QCOMPARE(summary1->toolTip(), StageSummary(*model_, 0, 1));
        QVERIFY(summary1->toolTip().startsWith(QStringLiteral("Lowpass 2500 Hz, ")));
        QVERIFY(summary2->toolTip().startsWith(QStringLiteral("Comb ")));
        QVERIFY(!tabs()->tabIcon(0).isNull());
        QVERIFY(tabs()->tabIcon(1).isNull());
        // The labels sit in their stage frames, under the Control buttons, wholly inside.
        QWidget *frame1 = child<QWidget>(QStringLiteral("StageFrame1"));
        QCOMPARE(summary1->parentWidget(), frame1);
        QVERIFY(summary1->geometry().top()
                > child<QWidget>(QStringLiteral("Stage1ControlButton"))->geometry().bottom());
        QVERIFY(frame1->rect().contains(summary1->geometry()));
        QVERIFY(summary1->isVisible());

        tabs()->setCurrentIndex(5);
        QCOMPARE(summary1->text(), QStringLiteral("Pass Thru"));
        action("mnuEditUndo")->trigger(); // Comb type: back to set 0
        QCOMPARE(tabs()->currentIndex(), 0);
        QCOMPARE(summary2->text(), QStringLiteral("Pass Thru"));
    }

    void recentFilesSurviveARestartAndSaveAsCompletesTheName()
    {
        start();
        list(1)->setCurrentIndex(Highpass);
        const QString typed = work_->filePath(QStringLiteral("ssb"));
        dialog_->fileAnswers = {typed};
        action("mnuFileSaveAs")->trigger();
        QVERIFY(QFile::exists(typed + QStringLiteral(".min")));
        QVERIFY(!QFile::exists(typed));
        QVERIFY(window_->editHistory().isClean());
        QCOMPARE(window_->recentFiles().value(0), typed + QStringLiteral(".min"));

        // Saving under the same typed name again asks before replacing ssb.min.
        list(1)->setCurrentIndex(Lowpass);
        dialog_->fileAnswers = {typed};
        dialog_->answers = {MessageAnswer::No};
        action("mnuFileSaveAs")->trigger();
        QCOMPARE(dialog_->messages.back().title, QStringLiteral("Confirm Save As"));
        QVERIFY(!window_->editHistory().isClean());

        // A restart: the list is read back from the per-user configuration.
        window_.reset();
        *model_ = Model();
        start();
        QCOMPARE(window_->recentFiles().value(0), typed + QStringLiteral(".min"));
        action("mnuFileRecent1")->trigger();
        QCOMPARE(window_->windowTitle(), QStringLiteral("Korvane-S : ssb.min"));
        QCOMPARE(model_->stage(0, 1).Type, int16_t(Highpass));

        // A recent file that has gone is dropped after the reader's message.
        QFile::remove(typed + QStringLiteral(".min"));
        const qsizetype count = window_->recentFiles().size();
        action("mnuFileRecent1")->trigger();
        QCOMPARE(dialog_->messages.back().title, QStringLiteral("Unable to read file"));
        QCOMPARE(window_->recentFiles().size(), count - 1);
    }

    void exportsWriteSummaryAndResponse()
    {
        start();
        list(1)->setCurrentIndex(Lowpass);
        tabs()->setCurrentIndex(2);
        list(2)->setCurrentIndex(Notch);
        dialog_->fileAnswers = {work_->filePath(QStringLiteral("summary"))};
        action("mnuFileExportSummary")->trigger();
        QFile html(work_->filePath(QStringLiteral("summary.html")));
        QVERIFY(html.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(html.readAll());
        QCOMPARE(page.count(QStringLiteral("<img ")), kFilterSetCount);
        QVERIFY(page.contains(QStringLiteral("<h2>Filter 0</h2>")));
        QVERIFY(page.contains(StageSummary(*model_, 2, 2).toHtmlEscaped()));
        QVERIFY(page.contains(QStringLiteral("<h2>Filter 5 (pass-through)</h2>")));

        for (const char *name : {"response.csv", "response.svg", "response.png"}) {
            dialog_->fileAnswers = {work_->filePath(QString::fromLatin1(name))};
            action("mnuFileExportResponse")->trigger();
            QFile f(work_->filePath(QString::fromLatin1(name)));
            QVERIFY2(f.open(QIODevice::ReadOnly), name);
            const QByteArray head = f.read(64);
            if (QByteArray(name).endsWith("csv"))
                QVERIFY(head.startsWith("frequency_hz,stage1_db,stage2_db,cascade_db\n"));
            else if (QByteArray(name).endsWith("svg"))
                QVERIFY(head.contains("<svg") || head.startsWith("<?xml"));
            else
                QVERIFY(head.startsWith("\x89PNG"));
        }
        QVERIFY(dialog_->messages.empty());
    }

    // Not a check: with KORVANE_SHOTS_DIR set, the main window with its summaries and the
    // lowpass editor with its typed fields are saved there as PNG files.
    void screenshots()
    {
        const QString dir = qEnvironmentVariable("KORVANE_SHOTS_DIR");
        if (dir.isEmpty())
            QSKIP("KORVANE_SHOTS_DIR not set");
        // The 20-band stage's data file is read from the working folder.
        QFile::copy(qEnvironmentVariable("KORVANE_PROGRAM_DIR") + QStringLiteral("/20Band"),
                    work_->filePath(QStringLiteral("20Band")));
        start();
        tabs()->setCurrentIndex(3);
        list(1)->setCurrentIndex(Bandpass);
        list(2)->setCurrentIndex(GraphicEq20);
        model_->stage(3, 2).EqBand = {0, 6, 6, 0, 0, 12, 12, 12, 0, 0, 0, 0, 0, 0, 0, 0, 20, 20, 20, 20};
        tabs()->setCurrentIndex(0);
        list(1)->setCurrentIndex(Lowpass);
        list(2)->setCurrentIndex(Notch);
        tabs()->setCurrentIndex(3);
        QVERIFY(window_->grab().save(dir + QStringLiteral("/main-window-summaries.png")));
        tabs()->setCurrentIndex(0);
        bool saved = false;
        korvane::test::whenModal([&](QWidget *w) {
            if (!saved) {
                auto *edit = w->findChild<QLineEdit *>(QStringLiteral("HScroll1Value"));
                edit->setFocus();
                edit->selectAll();
                QTest::keyClicks(edit, QStringLiteral("2700"));
                QTest::keyClick(edit, Qt::Key_Return);
                saved = w->grab().save(dir + QStringLiteral("/lowpass-editor-typed-fields.png"));
            }
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        });
        child<QPushButton>(QStringLiteral("Stage1ControlButton"))->click();
        QVERIFY(saved);
        dialog_->answers = {MessageAnswer::Cancel};
        saved = false;
        korvane::test::whenModal([&](QWidget *w) {
            if (!saved)
                saved = w->grab().save(dir + QStringLiteral("/eq-editor-typed-fields.png"));
            if (auto *d = qobject_cast<QDialog *>(w))
                d->reject();
        });
        tabs()->setCurrentIndex(3);
        child<QPushButton>(QStringLiteral("Stage2ControlButton"))->click();
        QVERIFY(saved);
    }
};

QTEST_MAIN(EditsMainWindowTest)
#include "test_edits_mainwindow.moc"
