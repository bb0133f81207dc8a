// The main window's response panel: beside the client area, which keeps its size, and
// following the shown set, the type lists and what an editor stores.

#include "app/mainwindow.h"
#include "coefgen/response.h"
#include "coefgen/spectral.h"
#include "editors/responseplot.h"
#include "editors/settingbar.h"
#include "mainwindowrun.h"
#include "modalhelper.h"
#include "scripteddialog.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace korvane;
using korvane::test::ScriptedDialog;

// The working folder is the program folder too.
class ResponsePanelTest : public korvane::test::MainWindowRun {
    Q_OBJECT

private:
    const ResponseChart &chart() { return window_->responsePanel()->chart(); }

private slots:
    void initTestCase() { SetKorvanesLocation(qEnvironmentVariable("KORVANE_PROGRAM_DIR")); }
    void init()
    {
        beginRun();
        startWindow(work_->path());
    }
    void cleanup() { endRun(); }

    void besideTheClientArea()
    {
        ResponsePlot *panel = window_->responsePanel();
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QWidget *clientArea = child<QWidget>("frmMainClient");
        const QRect client(clientArea->mapTo(window_.get(), QPoint(0, 0)), clientArea->size());
        const QRect area(panel->mapTo(window_.get(), QPoint(0, 0)), panel->size());
        QVERIFY(!client.intersects(area));
        QVERIFY(area.left() >= client.right());
        QVERIFY(window_->height() <= client.bottom() + 1 + 40);
        QCOMPARE(chart().title, QStringLiteral("Filter 0"));
    }

    void followsListsTabsAndEditors()
    {
        ResponseEngine engine;
        child<QComboBox>("FilterList1")->setCurrentIndex(Lowpass);
        QCOMPARE(chart().curves[0].db, engine.setResponse(*model_, 0).stages[0].db);
        child<QComboBox>("FilterList2")->setCurrentIndex(Adaptive1CH);
        QVERIFY(chart().curves[1].db.empty());
        QVERIFY(chart().notes.contains(QStringLiteral("Stage 2: no fixed response")));
        QCOMPARE(chart().curves[2].db, chart().curves[0].db);

        child<QTabWidget>("TabStrip1")->setCurrentIndex(2);
        QCOMPARE(chart().title, QStringLiteral("Filter 2"));
        child<QTabWidget>("TabStrip1")->setCurrentIndex(0);
        const std::vector<double> before = chart().curves[0].db;

        // The editor's OK stores a new cutoff; the panel shows it once the editor is closed.
        model_->CurrentStage = 1;
        korvane::test::whenModal([](QWidget *w) {
            if (auto *bar = w->findChild<SettingBar *>(QStringLiteral("HScroll1")))
                bar->setValue(1000);
            if (auto *ok = w->findChild<QPushButton *>(QStringLiteral("Command1")))
                ok->click();
            else if (auto *d = qobject_cast<QDialog *>(w))
                d->accept();
        });
        child<QPushButton>("Stage1ControlButton")->click();
        QCOMPARE(model_->stage(0, 1).Freq1, int16_t(1000));
        QVERIFY(chart().curves[0].db != before);
        QCOMPARE(chart().curves[0].db, engine.setResponse(*model_, 0).stages[0].db);
    }

    // The panel's words follow the set; Ctrl+D shows them from anywhere in the window, and
    // File has the command.
    void describedInWords()
    {
        child<QComboBox>("FilterList2")->setCurrentIndex(Notch);
        ResponsePlot *panel = window_->responsePanel();
        QVERIFY2(panel->description().startsWith(QStringLiteral("Filter 0. Stage 1: Pass Thru. Stage 2: Notch ")),
                 qPrintable(panel->description()));
        QVERIFY(panel->description().contains(QStringLiteral("Cascade: passes up to")));
        QVERIFY(child<QMenu>("mnuFile")->actions().contains(panel->describeAction()));
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        child<QComboBox>("FilterList1")->setFocus();
        QTest::keyClick(window_.get(), Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(dialog_->messages.size(), size_t(1));
        QCOMPARE(dialog_->messages[0].title, QStringLiteral("Response of Filter 0"));
        QCOMPARE(dialog_->messages[0].text, panel->description());
    }
};

QTEST_MAIN(ResponsePanelTest)
#include "test_responsepanel.moc"
