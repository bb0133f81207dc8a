// The smaller windows and the Qt side of the user dialog: message boxes as shown, file
// dialog filters, the progress window's states, About and splash, the help search, and the
// start-up wait.

#include "app/aboutwindow.h"
#include "app/commwindow.h"
#include "app/helptopics.h"
#include "app/helpwindow.h"
#include "app/qtuserdialog.h"
#include "app/splashwindow.h"
#include "app/startup.h"
#include "config/model.h"
#include "datatable.h"
#include "editors/openeditor.h"
#include "editors/settingbar.h"
#include "modalhelper.h"
#include "scripteddialog.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace korvane;
using korvane::test::ScriptedDialog;
using korvane::test::whenModal;

namespace {

template <typename T> T *named(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no child %s", name);
    return c;
}

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void nameFilters_data()
    {
        test::addColumns<QString, QStringList>("filter", "expected");
        QTest::newRow("settings") << QStringLiteral("Korvane-S Files (*.min)|*.min|All Files (*.*)|*.*")
                                  << QStringList{QStringLiteral("Korvane-S Files (*.min)"),
                                                 QStringLiteral("All Files (*)")};
        QTest::newRow("coefficients") << QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*")
                                      << QStringList{QStringLiteral("Text Files (*.txt)"),
                                                     QStringLiteral("All Files (*)")};
        QTest::newRow("description without pattern")
            << QStringLiteral("Images|*.bmp;*.png") << QStringList{QStringLiteral("Images (*.bmp *.png)")};
        QTest::newRow("description pattern differs")
            << QStringLiteral("Old (*.x)|*.y") << QStringList{QStringLiteral("Old (*.y)")};
        QTest::newRow("dangling description")
            << QStringLiteral("Text (*.txt)|*.txt|Orphan") << QStringList{QStringLiteral("Text (*.txt)")};
        QTest::newRow("empty") << QString() << QStringList{};
    }
    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(QtNameFilters(filter), expected);
    }

    void messageBoxShowsLinesAndAnswers()
    {
        QtUserDialog dialog;
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        whenModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::No)->click();
        });
        const MessageAnswer a = dialog.showMessage(
            QStringLiteral("COM Error!"),
            QStringLiteral("Error Writing COM Port.\rEnsure Korvane-S is on and\r"
                           "correct COM Port is selected"),
            MessageIcon::Question, MessageButtons::YesNo);
        QCOMPARE(a, MessageAnswer::No);
        QCOMPARE(title, QStringLiteral("COM Error!"));
        QCOMPARE(text,
                 QStringLiteral("Error Writing COM Port.\nEnsure Korvane-S is on and\ncorrect COM Port is selected"));
        QCOMPARE(icon, QMessageBox::Question);
        QCOMPARE(buttons, QMessageBox::Yes | QMessageBox::No);

        // Escape answers with the cancelling button.
        whenModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(dialog.showMessage(QStringLiteral("t"), QStringLiteral("x"), MessageIcon::Exclamation,
                                    MessageButtons::OkCancel),
                 MessageAnswer::Cancel);
        whenModal([&](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(QMessageBox::Ok)->click();
        });
        QCOMPARE(dialog.showMessage(QStringLiteral("Success"), QStringLiteral("Korvane-S successfully programmed"),
                                    MessageIcon::None, MessageButtons::Ok),
                 MessageAnswer::Ok);
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(MessageDisplayText(QStringLiteral("a\r\nb\rc")), QStringLiteral("a\nb\nc"));
    }

    void messageBoxBelongsToTheWindowThatAsks()
    {
        // The main window is the dialog's parent; an editor open over it asks its save question.
        QWidget main;
        main.setGeometry(20, 20, 700, 500);
        main.show();
        QtUserDialog dialog(&main);
        Model model;
        model.CurrentSet = 1;
        model.CurrentStage = 1;
        model.stage(1, 1).Type = Lowpass;
        model.stage(1, 1).Bandwidth = 2;
        model.ApplyTypeDefaults(1);
        std::unique_ptr<EditorWindow> editor = CreateStageEditor(&main, model, dialog, Lowpass);
        QVERIFY(editor);
        QWidget *owner = nullptr;
        QPoint boxCentre, editorCentre;
        // As the main window opens it: modal, waiting in exec(). Once it is up, a bar moves
        // and Cancel is pressed, which asks the save question.
        QTimer::singleShot(100, editor.get(), [&] {
            editor->move(300, 200);
            editor->findChild<SettingBar *>(QStringLiteral("HScroll1"))->stepTowardsMaximum(1, false);
            whenModal([&](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                if (!box)
                    return;
                owner = box->parentWidget();
                boxCentre = box->frameGeometry().center();
                editorCentre = editor->frameGeometry().center();
                box->button(QMessageBox::Cancel)->click();
            });
            editor->reject();
        });
        editor->exec();
        QCOMPARE(owner, static_cast<QWidget *>(editor.get()));
        QVERIFY2((boxCentre - editorCentre).manhattanLength() < 40,
                 qPrintable(QStringLiteral("box centred at %1,%2, editor at %3,%4")
                                .arg(boxCentre.x())
                                .arg(boxCentre.y())
                                .arg(editorCentre.x())
                                .arg(editorCentre.y())));

        // With no modal window open, the main window asks.
        whenModal([&](QWidget *w) {
            owner = w->parentWidget();
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(dialog.showMessage(QStringLiteral("Save Changes?"), QStringLiteral("x"), MessageIcon::Question,
                                    MessageButtons::YesNoCancel),
                 MessageAnswer::Cancel);
        QCOMPARE(owner, &main);
    }

    void fileDialogFiltersChoiceAndCancel()
    {
        QTemporaryDir dir;
        QtUserDialog dialog;
        FileDialogRequest request;
        request.mode = FileDialogRequest::Mode::Save;
        request.filter = QStringLiteral("Korvane-S Files (*.min)|*.min|All Files (*.*)|*.*");
        request.initialDirectory = dir.path();
        request.confirmOverwrite = true;
        QStringList filters;
        bool confirms = false;
        whenModal([&](QWidget *w) {
            auto *fd = qobject_cast<QFileDialog *>(w);
            QVERIFY(fd);
            filters = fd->nameFilters();
            confirms = !fd->testOption(QFileDialog::DontConfirmOverwrite);
            // As the user would: type the full path into the name field.
            if (auto *edit = fd->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
                edit->setText(dir.filePath(QStringLiteral("plain")));
            else
                fd->selectFile(dir.filePath(QStringLiteral("plain")));
            QMetaObject::invokeMethod(fd, "accept", Qt::QueuedConnection);
        });
        const auto chosen = dialog.askFileName(request);
        QVERIFY(chosen);
        // No extension is added to a typed name.
        QCOMPARE(*chosen, dir.filePath(QStringLiteral("plain")));
        QCOMPARE(filters, (QStringList{QStringLiteral("Korvane-S Files (*.min)"), QStringLiteral("All Files (*)")}));
        QVERIFY(confirms);

        whenModal([](QWidget *w) { qobject_cast<QFileDialog *>(w)->reject(); });
        QVERIFY(!dialog.askFileName(request));
    }

    void progressWindowStates()
    {
        CommWindow w;
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Transferring Filters"));
        auto *info = named<QWidget>(&w, "CommInfo");
        QCOMPARE(info->property("title").toString(), QStringLiteral("Finding Korvane"));
        QCOMPARE(named<QLabel>(&w, "lblPort")->text(), QStringLiteral("Port: COM"));
        QVERIFY(!w.isPacketInfoShown());
        QVERIFY(!w.isWarningShown());
        auto *warning = named<QLabel>(&w, "lblWarning");
        const int shortHeight = w.height();
        QVERIFY(!warning->isVisible()); // the short window shows none of it

        w.setWarningVisible(true);
        QVERIFY(w.isWarningShown());
        QVERIFY(warning->isVisible());
        QVERIFY(w.height() >= warning->geometry().bottom());
        QVERIFY(w.height() - shortHeight >= (4395 - 1980) / 15);
        w.setWarningVisible(false);
        QCOMPARE(w.height(), shortHeight);

        w.setStageCaption(QStringLiteral("Programming Filters"));
        QCOMPARE(info->property("title").toString(), QStringLiteral("Programming Filters"));
        w.setProbedPort(3);
        QCOMPARE(named<QLabel>(&w, "lblPort")->text(), QStringLiteral("Port: COM 3"));
        w.setPacketInfoVisible(true);
        QVERIFY(w.isPacketInfoShown());
        w.setProgressMaximum(224);
        w.setPacketSent(17);
        QCOMPARE(named<QProgressBar>(&w, "pbUploadProgress")->maximum(), 224);
        QCOMPARE(named<QProgressBar>(&w, "pbUploadProgress")->value(), 17);
        QCOMPARE(named<QLabel>(&w, "lblPacketNumber")->text(), QStringLiteral("17"));

        auto *cancel = named<QPushButton>(&w, "Cancel");
        QCOMPARE(cancel->toolTip(), QStringLiteral("Stop coefficient transfer"));
        QSignalSpy spy(&w, &CommWindow::cancelClicked);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
        w.setCancelEnabled(false);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(spy.count(), 1);
    }

    void aboutAndSplashShowTheBuildVersion()
    {
        ScriptedDialog dialog;
        AboutWindow about(dialog);
        QCOMPARE(about.windowTitle(), QStringLiteral("About Korvane"));
        QCOMPARE(named<QLabel>(&about, "lblVersion")->text(), QStringLiteral("Version 1.0.0"));
        QCOMPARE(named<QLabel>(&about, "lblTitle")->text(), QStringLiteral("KorvaneS"));
        auto *sysInfo = named<QPushButton>(&about, "cmdSysInfo");
        QCOMPARE(sysInfo->text(), QStringLiteral("&System Info..."));
        about.show();
        QTest::mouseClick(sysInfo, Qt::LeftButton);
        QCOMPARE(dialog.messages.size(), size_t(1));
        QCOMPARE(dialog.messages[0].title, QStringLiteral("KorvaneS"));
        QCOMPARE(dialog.messages[0].text, QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(dialog.messages[0].buttons, MessageButtons::Ok);
        QTest::mouseClick(named<QPushButton>(&about, "cmdOK"), Qt::LeftButton);
        QVERIFY(!about.isVisible());

        SplashWindow splash;
        QCOMPARE(named<QLabel>(&splash, "lblVersion")->text(), QStringLiteral("Version 1.0.0"));
        QCOMPARE(named<QLabel>(&splash, "lblProductName")->text(), QStringLiteral("KorvaneS Configuration Utility"));
    }

    void helpTopicsAreFoundByKeyword()
    {
        const QString html = QStringLiteral(
            "<h1 id=\"contents\">Help</h1><p>intro</p>"
            "<h2 id=\"lowpass\">Lowpass filter</h2><p>Passes frequencies below the <b>cutoff</b>.</p>"
            "<h2 id=\"notch\">Notch filter</h2><p>Removes one tone &amp; its width.</p>"
            "<h2 id=\"msg\" class=\"m\">Messages</h2><p>Lowpass settings out of range are clamped.</p>");
        const auto topics = ParseHelpTopics(html);
        QCOMPARE(topics.size(), size_t(3));
        QCOMPARE(topics[1].anchor, QStringLiteral("notch"));
        QCOMPARE(topics[1].title, QStringLiteral("Notch filter"));
        QCOMPARE(topics[1].text, QStringLiteral("Removes one tone & its width."));
        QVERIFY(!topics[0].text.contains(QStringLiteral("Notch")));

        auto titles = [&](const QString &key) {
            QStringList out;
            for (const auto &t : FindHelpTopics(topics, key))
                out << t.title;
            return out;
        };
        QCOMPARE(titles(QString()).size(), 3);
        QCOMPARE(titles(QStringLiteral("low")),
                 (QStringList{QStringLiteral("Lowpass filter"), QStringLiteral("Messages")}));
        QCOMPARE(titles(QStringLiteral("FILTER")),
                 (QStringList{QStringLiteral("Lowpass filter"), QStringLiteral("Notch filter")}));
        QCOMPARE(titles(QStringLiteral("cutoff")), QStringList{QStringLiteral("Lowpass filter")});
        QVERIFY(titles(QStringLiteral("xyzzy")).isEmpty());
    }

    void shippedHelpDocumentCoversTheProgram()
    {
        HelpWindow help;
        QString error;
        QVERIFY2(help.loadDocument(qEnvironmentVariable("KORVANE_PROGRAM_DIR") + QStringLiteral("/korvane-s-help.html"),
                                   &error),
                 qPrintable(error));
        help.showSearch(QStringLiteral("Communications Error"));
        QVERIFY(!help.listedTopicTitles().isEmpty());
        help.showSearch(QString());
        const QStringList all = help.listedTopicTitles();
        for (int t = 0; t < kFilterTypeCount; ++t) {
            const QString type = FilterTypeDisplayText(t);
            help.showSearch(type);
            QVERIFY2(!help.listedTopicTitles().isEmpty(), qPrintable(type));
        }
        QVERIFY(!help.loadDocument(QStringLiteral("/nonexistent/help.html"), &error));
        QVERIFY(error.contains(QStringLiteral("help.html")));
        help.showSearch(QString());
        QCOMPARE(help.listedTopicTitles(), all);
    }

    void startUpWaitRunsEventsUntilTheClockHasAdvanced()
    {
        qint64 now = 1000;
        int reads = 0;
        bool eventSeen = false;
        QTimer::singleShot(0, [&] { eventSeen = true; });
        WaitWholeSeconds(3, [&] {
            ++reads;
            if (reads > 3)
                ++now; // one second per poll once the loop runs
            return now;
        });
        QVERIFY(eventSeen);
        QCOMPARE(now, qint64(1003));
    }
};

QTEST_MAIN(WindowsTest)
#include "test_windows.moc"
