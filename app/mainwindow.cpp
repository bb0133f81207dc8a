#include "mainwindow.h"

#include "aboutwindow.h"
#include "commwindow.h"
#include "filtersetpage.h"
#include "helpwindow.h"
#include "korvane_version.h"
#include "menucommand.h"
#include "networkport.h"
#include "programicon.h"
#include "programminglogdialog.h"

#include "config/filelocations.h"
#include "config/firfile.h"
#include "config/settingsfile.h"
#include "device/stopsignals.h"
#include "editors/openeditor.h"
#include "editors/responseplot.h"
#include "edits/edithistory.h"
#include "edits/recentfiles.h"
#include "listenpanel/listenpanel.h"
#include "messages/usermessages.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace korvane {

namespace {

// The response panel docked to the right of the client area, in pixels; no taller than the
// client area, so the window keeps its height.
constexpr int kResponsePanelWidth = 460;
constexpr int kResponsePanelHeight = 440;

const QString kNoHelpText = QStringLiteral(
    "Unable to display Help Contents. There is no Help associated with this project.");

// Runs a callable when the scope is left, however it is left.
template <typename F> struct ScopeExit {
    F f;
    ~ScopeExit() { f(); }
};
template <typename F> ScopeExit(F) -> ScopeExit<F>;

} // namespace

MainWindow::MainWindow(Model &model, UserDialog &dialog, QString programFolder, QWidget *parent)
    : QMainWindow(parent), model_(model), dialog_(dialog), programFolder_(std::move(programFolder))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(kMainCaption);
    setWindowIcon(ProgramIcon());
    // The desktop's own font: every control is laid out from its metrics, so no caption is
    // clipped whatever face and size the user has chosen.

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    setCentralWidget(client);

    buildMenus();
    buildToolbar(client);
    buildClientArea(client);
    buildShortcuts();
    // An addition beside the client area, which keeps its size and layout.
    auto *dock = new QDockWidget(QStringLiteral("Response"), this);
    dock->setObjectName(QStringLiteral("ResponseDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setTitleBarWidget(new QWidget(dock));
    ResponsePanel = new ResponsePlot(dock);
    ResponsePanel->setMinimumSize(kResponsePanelWidth, kResponsePanelHeight);
    dock->setWidget(ResponsePanel);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    // The Listen panel shares the response panel's place as a second tab, so the window still
    // fits a 1024 x 768 screen.
    auto *listenDock = new QDockWidget(QStringLiteral("Listen"), this);
    listenDock->setObjectName(QStringLiteral("ListenDock"));
    listenDock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    Listen = new ListenPanel(listenDock);
    listenDock->setWidget(Listen);
    addDockWidget(Qt::RightDockWidgetArea, listenDock);
    tabifyDockWidget(dock, listenDock);
    dock->raise();
    buildEditFeatures();
    // Every control at its size for the desktop font; the window keeps that size.
    client->layout()->activate();
    setFixedSize(sizeHint().expandedTo(minimumSizeHint()));
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto add = [this](QMenu *menu, const char *name, const QString &text, const QKeySequence &key, auto slot) {
        return AddMenuCommand(menu, name, text, key, this, slot);
    };
    add(mnuFile, "mnuFileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N), &MainWindow::fileNew);
    add(mnuFile, "mnuFileOpen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O), &MainWindow::fileOpen);
    mnuFile->addSeparator();
    add(mnuFile, "mnuFileSaveAs", QStringLiteral("&Save As..."), QKeySequence(Qt::CTRL | Qt::Key_S),
        &MainWindow::fileSaveAs);
    mnuFile->addSeparator();
    add(mnuFile, "mnuProgramKorvane", QStringLiteral("&Program Korvane-S"), QKeySequence(Qt::CTRL | Qt::Key_P),
        &MainWindow::programKorvane);
    add(mnuFile, "mnuVerifyKorvane", QStringLiteral("&Verify Korvane-S"), QKeySequence(), &MainWindow::verifyKorvane);
    mnuFile->addSeparator();
    mnuFileCOMPort = mnuFile->addMenu(QStringLiteral("CO&M Port"));
    mnuFileCOMPort->setObjectName(QStringLiteral("mnuFileCOMPort"));
    mnuFileCOMPort->setToolTipsVisible(true);
    for (int i = 1; i <= 9; ++i) {
        QAction *a = mnuFileCOMPort->addAction(QStringLiteral("COM &%1").arg(i));
        a->setObjectName(QStringLiteral("mnuCom%1").arg(i));
        a->setCheckable(true);
        connect(a, &QAction::triggered, this, [this, i] { selectComPort(i); });
        mnuCom[static_cast<size_t>(i - 1)] = a;
    }
    // The device behind each COM n can change while the program runs (a converter plugged
    // in, a port link made): name it afresh each time the menu opens.
    connect(mnuFileCOMPort, &QMenu::aboutToShow, this, &MainWindow::refreshComPortTips);
    refreshComPortTips();
    AddNetworkPortEntry(mnuFileCOMPort, dialog_, this);
    mnuFile->addSeparator();
    add(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), QKeySequence(), &MainWindow::fileExit);

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    add(mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), QKeySequence(Qt::Key_F1), &MainWindow::helpContents);
    add(mnuHelp, "mnuHelpSearch", QStringLiteral("&Search For Help On..."), QKeySequence(), &MainWindow::helpSearch);
    add(mnuHelp, "mnuHelpLog", QStringLiteral("Programming &Log..."), QKeySequence(), &MainWindow::helpProgrammingLog);
    mnuHelp->addSeparator();
    add(mnuHelp, "mnuHelpAbout", QStringLiteral("&About Korvane-S..."), QKeySequence(), &MainWindow::helpAbout);
}

void MainWindow::buildToolbar(QWidget *client)
{
    tbToolbar = new QToolBar(client);
    tbToolbar->setObjectName(QStringLiteral("tbToolbar"));
    tbToolbar->setMovable(false);
    tbToolbar->setFloatable(false);
    tbToolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbToolbar->setIconSize(QSize(20, 20));
    QStyle *st = style();
    auto add = [this](const QIcon &icon, const QString &key, const QString &tip) {
        QAction *a = tbToolbar->addAction(icon, key);
        a->setObjectName(QStringLiteral("tb") + key);
        a->setData(key);
        a->setToolTip(tip);
    };
    add(st->standardIcon(QStyle::SP_FileIcon), QStringLiteral("New"),
        QStringLiteral("New - makes all filters Pass Thru"));
    add(st->standardIcon(QStyle::SP_DirOpenIcon), QStringLiteral("Open"),
        QStringLiteral("Open filter configuration file"));
    add(st->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save"),
        QStringLiteral("Save filter configuration file"));
    tbToolbar->addSeparator();
    add(st->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Program"),
        QStringLiteral("Program all 16 filters into the Korvane-S"));
    connect(tbToolbar, &QToolBar::actionTriggered, this,
            [this](QAction *a) { toolbarButtonClicked(a->data().toString()); });
}

void MainWindow::buildClientArea(QWidget *client)
{
    auto *clientLayout = new QVBoxLayout(client);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    clientLayout->setSpacing(0);
    clientLayout->addWidget(tbToolbar);

    TabStrip1 = new QTabWidget(client);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setAccessibleName(QStringLiteral("Filter sets"));
    TabStrip1->setUsesScrollButtons(true);
    for (int set = 0; set < kFilterSetCount; ++set) {
        auto *page = new QWidget;
        auto *pageLayout = new QVBoxLayout(page);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        TabStrip1->addTab(page, QStringLiteral("Filter %1").arg(set));
        // The tool tip of the sixth tab has always been spelled this way.
        TabStrip1->setTabToolTip(
            set, set == 5 ? QStringLiteral("Fitler 5 settings") : QStringLiteral("Filter %1 settings").arg(set));
    }
    // The tabs share one set of controls, shown on whichever page is current.
    setPage_ = new FilterSetPage(TabStrip1->widget(0));
    TabStrip1->widget(0)->layout()->addWidget(setPage_);
    connect(TabStrip1, &QTabWidget::currentChanged, this, &MainWindow::onTabChanged);
    auto *tabRow = new QHBoxLayout;
    // The arrangement of the original form, in twips, as margins around the tab strip.
    tabRow->setContentsMargins(PixelsFromTwips(180), PixelsFromTwips(90), PixelsFromTwips(90), PixelsFromTwips(90));
    tabRow->addWidget(TabStrip1);
    clientLayout->addLayout(tabRow);
    wireSetPage();
}

// The page's controls write the user's choices into the shown set.
void MainWindow::wireSetPage()
{
    connect(setPage_, &FilterSetPage::typeChanged, this, &MainWindow::onFilterListChanged);
    connect(setPage_, &FilterSetPage::controlClicked, this, [this](int stage) {
        model_.CurrentStage = static_cast<int16_t>(stage);
        OpenStageEditor(setPage_->shownType(stage), QStringLiteral(" Stage %1").arg(stage));
    });
    connect(setPage_, &FilterSetPage::agcToggled, this, &MainWindow::onAgcToggled);
    connect(setPage_, &FilterSetPage::noiseToggled, this, &MainWindow::onNoiseToggled);
    connect(setPage_, &FilterSetPage::bandwidthToggled, this, &MainWindow::onBandwidthToggled);
}

void MainWindow::buildShortcuts()
{
    // Filter sets by keyboard from anywhere in the window, as tabbed windows do.
    auto add = [this](QKeySequence key, int step) {
        auto *s = new QShortcut(key, this);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, [this, step] { stepFilterSet(step); });
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_Tab), 1);
    add(QKeySequence(Qt::CTRL | Qt::Key_PageDown), 1);
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), -1);
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), -1);
    add(QKeySequence(Qt::CTRL | Qt::Key_PageUp), -1);
}

void MainWindow::stepFilterSet(int step)
{
    if (deviceOperation_)
        return;
    const int count = TabStrip1->count();
    TabStrip1->setCurrentIndex((TabStrip1->currentIndex() + step + count) % count);
}

void MainWindow::load()
{
    // An installed program's folder (/usr/bin) is no place for the user's files: start the
    // dialogs in the home folder then.
    dlgCommonDialog.initialDirectory = KeepsFilesInProgramFolder(programFolder_) ? programFolder_ : QDir::homePath();
    model_.StartDirectory = QDir::currentPath();
    // The working folder's default.min, else the one the last exit wrote.
    settingsReadPath_ = DefaultSettingsReadPath(model_.StartDirectory, programFolder_);
    (void)ReadSettingsFile(model_, settingsReadPath_, dialog_, SettingsReadOptions{.startup = true});
    {
        const QSignalBlocker block(TabStrip1);
        TabStrip1->setCurrentIndex(0);
    }
    model_.CurrentSet = static_cast<int16_t>(TabStrip1->currentIndex());
    model_.ComPort = std::clamp<int16_t>(model_.ComPort, 1, 9);
    setComCheck(model_.ComPort);
    UpdateStageFilterList();
    // What default.min held is where undo stops, and the configuration New and Open compare with.
    history_->clear();
    markSaved(QString());
}

void MainWindow::UpdateStageFilterList()
{
    {
        const QScopedValueRollback showing(showingModel_, true);
        const StageConfig &s1 = model_.stage(model_.CurrentSet, 1);
        showTypeQuietly(1, s1.Type);
        showTypeQuietly(2, model_.stage(model_.CurrentSet, 2).Type);
        setPage_->showAgc(s1.Agc);
        // The noise handler runs on a change and copies the Stage 1 value into Stage 2.
        setPage_->showNoise(s1.NoiseFilter != kFalse);
    }
    refreshResponsePanel();
}

void MainWindow::showFirstSet()
{
    TabStrip1->setCurrentIndex(0);
    model_.CurrentSet = static_cast<int16_t>(TabStrip1->currentIndex());
    UpdateStageFilterList();
}

void MainWindow::refreshResponsePanel()
{
    if (ResponsePanel)
        ResponsePanel->showModelSet(model_, model_.CurrentSet);
    if (Listen)
        Listen->showModelSet(model_, model_.CurrentSet);
    updateCaption();
}

// Showing a type from code runs the list's handler even when the position does not change,
// so the Control button always follows the model.
void MainWindow::showTypeQuietly(int stage, int type)
{
    setPage_->showType(stage, type);
    onFilterListChanged(stage);
}

void MainWindow::onTabChanged(int index)
{
    if (index < 0)
        return;
    if (QWidget *page = TabStrip1->widget(index); page && setPage_->parentWidget() != page) {
        page->layout()->addWidget(setPage_);
        setPage_->show();
    }
    model_.CurrentSet = static_cast<int16_t>(index);
    UpdateStageFilterList();
}

void MainWindow::onFilterListChanged(int stage)
{
    const int type = setPage_->shownType(stage);
    if (!showingModel_ && type >= 0) {
        const EditStep step(
            *history_, model_,
            StageStepName(FilterTypeDisplayText(type) + QStringLiteral(" type"), model_.CurrentSet, stage),
            model_.CurrentSet);
        model_.stage(model_.CurrentSet, stage).Type = static_cast<int16_t>(type);
        model_.ApplyTypeDefaults(stage);
        refreshResponsePanel();
    }
    updateControlButton(stage);
}

void MainWindow::updateControlButton(int stage)
{
    setPage_->setControlEnabled(stage, model_.stage(model_.CurrentSet, stage).Type != PassThru);
}

void MainWindow::onAgcToggled(int index, bool checked)
{
    if (!checked || showingModel_)
        return;
    const EditStep step(*history_, model_, SetStepName(QStringLiteral("AGC"), model_.CurrentSet), model_.CurrentSet);
    for (int stage = 1; stage <= 2; ++stage)
        model_.stage(model_.CurrentSet, stage).Agc = static_cast<int16_t>(index);
    updateCaption();
}

void MainWindow::onBandwidthToggled(int index, bool checked)
{
    if (!checked || showingModel_)
        return;
    const EditStep step(*history_, model_, SetStepName(QStringLiteral("Bandwidth"), model_.CurrentSet),
                        model_.CurrentSet);
    for (int stage = 1; stage <= 2; ++stage)
        model_.stage(model_.CurrentSet, stage).Bandwidth = static_cast<int16_t>(index);
    model_.ValidateStage(model_.CurrentSet, 1);
    model_.ValidateStage(model_.CurrentSet, 2);
    refreshResponsePanel();
}

void MainWindow::onNoiseToggled(bool checked)
{
    // The copy into Stage 2 made while the window shows a set is not the user's change.
    std::optional<EditStep> step;
    if (!showingModel_)
        step.emplace(*history_, model_, SetStepName(QStringLiteral("Noise filter"), model_.CurrentSet),
                     model_.CurrentSet);
    for (int stage = 1; stage <= 2; ++stage)
        model_.stage(model_.CurrentSet, stage).NoiseFilter = checked ? kTrue : kFalse;
    updateCaption();
}

void MainWindow::OpenStageEditor(int type, const QString &suffix)
{
    if (type >= Adaptive1CH && type <= SpectralEq) {
        const EditStep step(*history_, model_,
                            StageStepName(FilterTypeDisplayText(type) + QStringLiteral(" settings"), model_.CurrentSet,
                                          model_.CurrentStage),
                            model_.CurrentSet);
        (void)OpenStageEditorWindow(this, model_, dialog_, type, suffix);
        refreshResponsePanel();
    } else if (type == ImportedCoef) {
        ImportCoefficientFile();
    } else if (type == PassThru) {
        dialog_.inform(QStringLiteral("Pass Thru Filter") + suffix,
                       QStringLiteral("No Control Options for this filter"), MessageIcon::None);
    }
}

void MainWindow::ImportCoefficientFile()
{
    const QString remembered = dlgCommonDialog.fileName;
    dlgCommonDialog.fileName = model_.currentStage().CoefFileName;
    dlgCommonDialog.filter = kCoefficientFileFilter;
    const std::optional<QString> chosen = dlgCommonDialog.show(dialog_, FileDialogRequest::Mode::Open);
    if (!chosen)
        return;
    if (!chosen->isEmpty()) {
        const EditStep step(*history_, model_,
                            StageStepName(QStringLiteral("Import of ") + QFileInfo(*chosen).fileName(),
                                          model_.CurrentSet, model_.CurrentStage),
                            model_.CurrentSet);
        ReadFirFile(model_, model_.CurrentStage, *chosen, dialog_);
        refreshResponsePanel();
        dlgCommonDialog.fileName = remembered;
    }
}

void MainWindow::toolbarButtonClicked(const QString &key)
{
    if (key == QLatin1String("New"))
        fileNew();
    else if (key == QLatin1String("Open"))
        fileOpen();
    else if (key == QLatin1String("Save"))
        fileSaveAs();
    else if (key == QLatin1String("Program"))
        programKorvane();
}

bool MainWindow::isModified() const { return !history_->isClean(); }

void MainWindow::updateCaption()
{
    const QString base = fileTitle_.isEmpty() ? kMainCaption : QStringLiteral("Korvane-S : ") + fileTitle_;
    setWindowTitle(isModified() ? base + QLatin1Char('*') : base);
}

void MainWindow::markSaved(const QString &path)
{
    if (!path.isEmpty()) {
        fileTitle_ = QFileInfo(path).fileName();
        filePath_ = path;
    }
    history_->setClean();
    updateCaption();
}

bool MainWindow::maySetConfigurationAside()
{
    if (!isModified())
        return true;
    const QString where = fileTitle_.isEmpty() ? QString() : QStringLiteral(" (") + fileTitle_ + QLatin1Char(')');
    switch (dialog_.showMessage(kSaveChangesTitle,
                                QStringLiteral("The filter settings have changed since they were last opened or saved")
                                    + where + QStringLiteral(".") + kCR
                                    + QStringLiteral("Do you want to save your changes?"),
                                MessageIcon::Question, MessageButtons::YesNoCancel)) {
    case MessageAnswer::Yes:
        return saveAs();
    case MessageAnswer::No:
        return true;
    default:
        return false;
    }
}

void MainWindow::fileNew()
{
    if (!maySetConfigurationAside())
        return;
    const EditStep step(*history_, model_, QStringLiteral("New"), 0);
    model_.ResetAllFilterSets();
    showFirstSet();
    updateCaption();
}

void MainWindow::fileOpen()
{
    if (!maySetConfigurationAside())
        return;
    dlgCommonDialog.initialDirectory = QDir::currentPath();
    dlgCommonDialog.filter = kSettingsFileFilter;
    const std::optional<QString> chosen = dlgCommonDialog.show(dialog_, FileDialogRequest::Mode::Open);
    if (!chosen || chosen->isEmpty())
        return;
    const EditStep step(*history_, model_, QStringLiteral("Open of ") + QFileInfo(*chosen).fileName(), 0);
    if (!ReadSettingsFile(model_, *chosen, dialog_))
        return;
    noteFileUsed(*chosen);
    showFirstSet();
    markSaved(*chosen);
}

void MainWindow::fileSaveAs() { (void)saveAs(); }

bool MainWindow::saveAs()
{
    dlgCommonDialog.confirmOverwrite = true;
    dlgCommonDialog.filter = kSettingsFileFilter;
    const std::optional<QString> typed = dlgCommonDialog.show(dialog_, FileDialogRequest::Mode::Save);
    if (!typed || typed->isEmpty())
        return false;
    const std::optional<QString> chosen = completeSaveName(*typed);
    if (!chosen)
        return false;
    if (!WriteSettingsFile(model_, *chosen, dialog_))
        return false;
    noteFileUsed(*chosen);
    markSaved(*chosen);
    return true;
}

void MainWindow::fileExit() { close(); }

void MainWindow::helpContents() { openHelp(false); }

void MainWindow::helpSearch() { openHelp(true); }

void MainWindow::openHelp(bool search)
{
    if (helpFile_.isEmpty()) {
        dialog_.inform(windowTitle(), kNoHelpText, MessageIcon::Information);
        return;
    }
    const QString path = QFileInfo(helpFile_).isAbsolute() ? helpFile_ : FindProgramDataFile(helpFile_, programFolder_);
    if (!help_) {
        // A child window of the main window, so it is locked with it during a transfer.
        help_ = new HelpWindow(this);
        help_->setAttribute(Qt::WA_DeleteOnClose);
    }
    QString error;
    if (!help_->loadDocument(path, &error)) {
        delete help_.data();
        dialog_.inform(kProgramTitle, error, MessageIcon::None);
        return;
    }
    if (search)
        help_->showSearch(QString());
    else
        help_->showContents();
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void MainWindow::helpAbout()
{
    AboutWindow about(dialog_, this);
    about.exec();
}

void MainWindow::programKorvane()
{
    const UserMessage question = ProgramAllQuestion();
    const MessageAnswer answer = dialog_.showMessage(question.title, question.text, question.icon, question.buttons);
    if (answer != MessageAnswer::Yes)
        return;
    {
        BeginDeviceOperation();
        ScopeExit unlock{[this] { EndDeviceOperation(); }};
        ProgrammingRunContext context{model_, dialog_, *comm_, programFolder_,
                                      [this](int port) {
                                          setComCheck(port); // the sequence has set ComPort
                                      },
                                      // The log names the settings file only when it holds what is programmed.
                                      isModified() ? QString() : filePath_};
        if (runner_)
            (void)runner_(context);
    }
    // Told to end during the run: now that the port is closed.
    if (endRequested_)
        endNow();
}

void MainWindow::verifyKorvane()
{
    BeginDeviceOperation();
    ScopeExit unlock{[this] { EndDeviceOperation(); }};
    ProgrammingRunContext context{model_,
                                  dialog_,
                                  *comm_,
                                  programFolder_,
                                  [this](int port) {
                                      model_.ComPort = static_cast<int16_t>(port);
                                      setComCheck(port);
                                  },
                                  QString()};
    (void)RunVerifySequence(context);
}

void MainWindow::helpProgrammingLog()
{
    ProgrammingLogDialog log(this);
    log.exec();
}

void MainWindow::endOnSignal(int signal)
{
    // Message boxes, file dialogs and editors give their cancelling answer; a box the run
    // is waiting on lets the run go on to its end.
    for (int i = 0; i < 16; ++i) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break; // it refuses to close; the end of the event loop ends it
    }
    if (!deviceOperation_) {
        endNow();
        return;
    }
    endRequested_ = true;
    if (comm_) {
        const bool held = !comm_->isCancelEnabled();
        std::fprintf(stderr, "korvane-s: %s: %s\n", qPrintable(StopSignalName(signal)),
                     qPrintable(StopRequestText(held)));
        comm_->requestStop();
    }
}

void MainWindow::endNow()
{
    close();
    QCoreApplication::exit(0);
}

void MainWindow::BeginDeviceOperation()
{
    if (comm_)
        comm_->close();
    comm_ = std::make_unique<CommWindow>();
    comm_->setWindowIcon(windowIcon());
    comm_->show();
    CentreWindowOn(comm_.get(), frameGeometry());
    deviceOperation_ = true;
    setDeviceControlsEnabled(false);
}

// Locks or unlocks the window and its input controls around a device operation. Both Control
// buttons are enabled afterwards whatever the stage types (the Pass Thru message is reachable);
// NoiseCheck and the bandwidth buttons are left alone.
void MainWindow::setDeviceControlsEnabled(bool enabled)
{
    setEnabled(enabled);
    TabStrip1->setEnabled(enabled);
    tbToolbar->setEnabled(enabled);
    mnuFile->menuAction()->setEnabled(enabled);
    mnuHelp->menuAction()->setEnabled(enabled);
    setPage_->setInputsEnabled(enabled);
}

void MainWindow::EndDeviceOperation()
{
    if (comm_) {
        comm_->close();
        comm_.reset();
    }
    setDeviceControlsEnabled(true);
    deviceOperation_ = false;
    show();
    raise();
    activateWindow();
}

void MainWindow::selectComPort(int port)
{
    model_.ComPort = static_cast<int16_t>(port);
    setComCheck(port);
}

void MainWindow::refreshComPortTips()
{
    for (int i = 1; i <= 9; ++i) {
        const QString path = ComPortDevicePath(i);
        QString tip = path.isEmpty() ? QStringLiteral("COM %1: no serial device").arg(i)
                                     : QStringLiteral("COM %1: %2").arg(i).arg(QDir::toNativeSeparators(path));
        // A port-folder link: name the device it leads to as well.
        const QFileInfo link(path);
        if (!path.isEmpty() && link.isSymLink())
            tip += QStringLiteral(" \u2192 ") + QDir::toNativeSeparators(link.symLinkTarget());
        // The name that stays with a USB adapter whichever ttyUSB number it got today.
        if (const QString id = ComPortStableName(i); !id.isEmpty())
            tip += QStringLiteral("  (") + id + QLatin1Char(')');
        QAction *a = mnuCom[static_cast<size_t>(i - 1)];
        a->setStatusTip(tip);
        a->setToolTip(tip);
    }
}

void MainWindow::setComCheck(int port)
{
    for (int i = 1; i <= 9; ++i)
        mnuCom[static_cast<size_t>(i - 1)]->setChecked(i == port);
}

int MainWindow::checkedComPort() const
{
    for (int i = 1; i <= 9; ++i)
        if (mnuCom[static_cast<size_t>(i - 1)]->isChecked())
            return i;
    return 0;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A transfer cannot be abandoned half-way by closing the window.
    if (deviceOperation_) {
        event->ignore();
        return;
    }
    shutDown();
    event->accept();
}

void MainWindow::shutDown()
{
    if (shutDownDone_)
        return;
    shutDownDone_ = true;
    // Close the other windows, the most recently opened first.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        QWidget *w = *it;
        if (w != this && w->isVisible())
            w->close();
    }
    if (help_)
        help_->close();
    saveDefaultSettings();
}

void MainWindow::saveDefaultSettings()
{
    // The program folder when it is writable (as always), else back where it was read from,
    // else the per-user configuration folder. Only when every choice fails is the user told:
    // the work of the session is lost otherwise.
    const SettingsWriteOptions silent{.silent = true};
    QString target = DefaultSettingsWritePath(settingsReadPath_, programFolder_);
    if (MakeParentFolder(target) && WriteSettingsFile(model_, target, dialog_, silent))
        return;
    const QString fallback = DefaultSettingsFallbackPath(target);
    if (!fallback.isEmpty()) {
        target = fallback;
        if (MakeParentFolder(target) && WriteSettingsFile(model_, target, dialog_, silent))
            return;
    }
    (void)WriteSettingsFile(model_, target, dialog_); // fails again, now with its message
}

bool MainWindow::openAtStart(const QString &path)
{
    if (!ReadSettingsFile(model_, path, dialog_))
        return false;
    showFirstSet();
    // The file opened at start is where undo stops and what "unsaved" is measured against.
    history_->clear();
    noteFileUsed(path);
    markSaved(path);
    return true;
}

} // namespace korvane
