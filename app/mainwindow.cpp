#include "mainwindow.h"

#include "aboutwindow.h"
#include "commwindow.h"
#include "helpwindow.h"
#include "korvane_version.h"
#include "programicon.h"

#include "config/settingsfile.h"
#include "config/firfile.h"
#include "editors/openeditor.h"
#include "editors/responseplot.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>

namespace korvane {

namespace {

// The window was laid out in twips; this screen shows 15 twips per pixel.
constexpr int px(int twips) { return (twips * 2 + 15) / 30; }
QRect twipRect(int left, int top, int width, int height) { return QRect(px(left), px(top), px(width), px(height)); }

constexpr int kClientWidthTwips = 7485;
constexpr int kClientHeightTwips = 6810;
// The response panel docked to the right of the client area, in pixels; no taller than the
// client area, so the window keeps its height.
constexpr int kResponsePanelWidth = 460;
constexpr int kResponsePanelHeight = 440;

const QString kNoHelpText =
    QStringLiteral("Unable to display Help Contents. There is no Help associated with this project.");

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
    // The layout was drawn for an 8-point face of 11 pixels; larger faces clip the captions.
    QFont small = font();
    small.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"), QStringLiteral("Arial"),
                       small.family()});
    small.setPixelSize(11);
    setFont(small);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("frmMainClient"));
    client->setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));
    setCentralWidget(client);

    buildMenus();
    buildToolbar(client);
    buildClientArea(client);
    // An addition beside the client area, which keeps its size and layout.
    auto *dock = new QDockWidget(this);
    dock->setObjectName(QStringLiteral("ResponseDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setTitleBarWidget(new QWidget(dock));
    ResponsePanel = new ResponsePlot(dock);
    ResponsePanel->setMinimumSize(kResponsePanelWidth, kResponsePanelHeight);
    dock->setWidget(ResponsePanel);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    setFixedSize(sizeHint());
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    auto add = [this](QMenu *menu, const char *name, const QString &text, const QKeySequence &key, auto slot) {
        QAction *a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(mnuFile, "mnuFileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N), &MainWindow::fileNew);
    add(mnuFile, "mnuFileOpen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O), &MainWindow::fileOpen);
    mnuFile->addSeparator();
    add(mnuFile, "mnuFileSaveAs", QStringLiteral("&Save As..."), QKeySequence(Qt::CTRL | Qt::Key_S), &MainWindow::fileSaveAs);
    mnuFile->addSeparator();
    add(mnuFile, "mnuProgramKorvane", QStringLiteral("&Program Korvane-S"), QKeySequence(Qt::CTRL | Qt::Key_P),
        &MainWindow::programKorvane);
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
    mnuFile->addSeparator();
    add(mnuFile, "mnuFileExit", QStringLiteral("E&xit"), QKeySequence(), &MainWindow::fileExit);

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    add(mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"), QKeySequence(), &MainWindow::helpContents);
    add(mnuHelp, "mnuHelpSearch", QStringLiteral("&Search For Help On..."), QKeySequence(), &MainWindow::helpSearch);
    mnuHelp->addSeparator();
    add(mnuHelp, "mnuHelpAbout", QStringLiteral("&About Korvane-S..."), QKeySequence(), &MainWindow::helpAbout);
}

void MainWindow::buildToolbar(QWidget *client)
{
    tbToolbar = new QToolBar(client);
    tbToolbar->setObjectName(QStringLiteral("tbToolbar"));
    tbToolbar->setGeometry(twipRect(0, 0, kClientWidthTwips, 420));
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
    add(st->standardIcon(QStyle::SP_FileIcon), QStringLiteral("New"), QStringLiteral("New - makes all filters Pass Thru"));
    add(st->standardIcon(QStyle::SP_DirOpenIcon), QStringLiteral("Open"), QStringLiteral("Open filter configuration file"));
    add(st->standardIcon(QStyle::SP_DialogSaveButton), QStringLiteral("Save"), QStringLiteral("Save filter configuration file"));
    tbToolbar->addSeparator();
    add(st->standardIcon(QStyle::SP_ArrowUp), QStringLiteral("Program"),
        QStringLiteral("Program all 16 filters into the Korvane-S"));
    connect(tbToolbar, &QToolBar::actionTriggered, this,
            [this](QAction *a) { toolbarButtonClicked(a->data().toString()); });
}

void MainWindow::buildClientArea(QWidget *client)
{
    TabStrip1 = new QTabWidget(client);
    TabStrip1->setObjectName(QStringLiteral("TabStrip1"));
    TabStrip1->setGeometry(twipRect(180, 510, 7215, 6195));
    TabStrip1->setUsesScrollButtons(true);
    for (int set = 0; set < kFilterSetCount; ++set) {
        TabStrip1->addTab(new QWidget, QStringLiteral("Filter %1").arg(set));
        // The tool tip of the sixth tab has always been spelled this way.
        TabStrip1->setTabToolTip(set, set == 5 ? QStringLiteral("Fitler 5 settings")
                                               : QStringLiteral("Filter %1 settings").arg(set));
    }
    connect(TabStrip1, &QTabWidget::currentChanged, this, &MainWindow::onTabChanged);

    QStringList typeTexts;
    for (int t = 0; t < kFilterTypeCount; ++t)
        typeTexts << FilterTypeDisplayText(t);

    const QRect frames[2] = {twipRect(600, 1440, 3210, 1470), twipRect(630, 3390, 3210, 1470)};
    for (int i = 0; i < 2; ++i) {
        const int stage = i + 1;
        StageFrame[static_cast<size_t>(i)] = new QGroupBox(QStringLiteral("Stage %1").arg(stage), client);
        QGroupBox *frame = StageFrame[static_cast<size_t>(i)];
        frame->setObjectName(QStringLiteral("StageFrame%1").arg(stage));
        frame->setGeometry(frames[i]);

        auto *list = new QComboBox(frame);
        list->setObjectName(QStringLiteral("FilterList%1").arg(stage));
        list->setEditable(false);
        list->addItems(typeTexts);
        list->setMaxVisibleItems(kFilterTypeCount);
        list->setGeometry(twipRect(120, 360, 2970, 330));
        list->setToolTip(QStringLiteral("Select Stage %1 filter").arg(stage));
        connect(list, &QComboBox::currentIndexChanged, this, [this, stage] { onFilterListChanged(stage); });

        auto *button = new QPushButton(QStringLiteral("Control"), frame);
        button->setObjectName(QStringLiteral("Stage%1ControlButton").arg(stage));
        button->setGeometry(twipRect(120, 840, 2940, 350));
        button->setToolTip(QStringLiteral("Opens configuration window for Stage %1").arg(stage));
        connect(button, &QPushButton::clicked, this, [this, stage] {
            model_.CurrentStage = static_cast<int16_t>(stage);
            OpenStageEditor((stage == 1 ? FilterList1 : FilterList2)->currentIndex(),
                            QStringLiteral(" Stage %1").arg(stage));
        });
        (stage == 1 ? FilterList1 : FilterList2) = list;
        (stage == 1 ? Stage1ControlButton : Stage2ControlButton) = button;
    }

    fraAGC = new QGroupBox(QStringLiteral("AGC"), client);
    fraAGC->setObjectName(QStringLiteral("fraAGC"));
    fraAGC->setGeometry(twipRect(4980, 1470, 1500, 1600));
    fraAGC->setToolTip(QStringLiteral("Chose stage's Automatic Gain Control setting"));
    agcGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto *b = new QRadioButton(AgcDisplayText(i), fraAGC);
        b->setObjectName(QStringLiteral("AGCButton%1").arg(i));
        b->setGeometry(twipRect(240, 240 + 300 * i, 1092, 372));
        agcGroup_->addButton(b, i);
        AGCButton[static_cast<size_t>(i)] = b;
    }
    connect(agcGroup_, &QButtonGroup::idToggled, this, &MainWindow::onAgcToggled);

    NoiseCheck = new QCheckBox(QStringLiteral("Broadband Noise Filter"), client);
    NoiseCheck->setObjectName(QStringLiteral("NoiseCheck"));
    NoiseCheck->setGeometry(twipRect(4680, 3960, 1995, 495));
    NoiseCheck->setToolTip(QStringLiteral("Checking this box enables the Broadband Noise filter."));
    connect(NoiseCheck, &QCheckBox::toggled, this, &MainWindow::onNoiseToggled);

    Frame1 = new QGroupBox(client);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipRect(510, 5640, 6555, 795));
    Label1 = new QLabel(QStringLiteral("To program the Korvane once all the filters have been updated click on the Program Korvane "
                                       "button on the toolbar or the Program Korvane option in the File Menu."),
                        Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label1->setGeometry(8, 4, Frame1->width() - 16, Frame1->height() - 8);

    // Placed 60 twips above the bottom edge, out of the user's reach, as the window has
    // always had it; its handler still works for whoever reaches it.
    fraBandwidth = new QGroupBox(QStringLiteral("Bandwidth"), client);
    fraBandwidth->setObjectName(QStringLiteral("fraBandwidth"));
    fraBandwidth->setGeometry(twipRect(5430, 6750, 1500, 1335));
    fraBandwidth->setToolTip(QStringLiteral("Choose stage's bandwidth setting"));
    bwGroup_ = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        auto *b = new QRadioButton(BandwidthDisplayText(i), fraBandwidth);
        b->setObjectName(QStringLiteral("BWFiltButton%1").arg(i));
        b->setGeometry(twipRect(240, 240 + 300 * i, 1092, 372));
        bwGroup_->addButton(b, i);
        BWFiltButton[static_cast<size_t>(i)] = b;
    }
    BWFiltButton[2]->setChecked(true);
    connect(bwGroup_, &QButtonGroup::idToggled, this, &MainWindow::onBandwidthToggled);

    // The frames and options lie over the tab strip, as on the tab's page.
    for (QWidget *w : {static_cast<QWidget *>(StageFrame[0]), static_cast<QWidget *>(StageFrame[1]),
                       static_cast<QWidget *>(fraAGC), static_cast<QWidget *>(NoiseCheck),
                       static_cast<QWidget *>(Frame1), static_cast<QWidget *>(fraBandwidth)})
        w->raise();
    tbToolbar->raise();
}

void MainWindow::load()
{
    model_.LoadingAtStartup = true;
    model_.SuppressEvents = true;
    dlgCommonDialog.initialDirectory = programFolder_;
    model_.StartDirectory = QDir::currentPath();
    (void)ReadSettingsFile(model_, model_.StartDirectory + QStringLiteral("/default.min"), dialog_);
    {
        const QSignalBlocker block(TabStrip1);
        TabStrip1->setCurrentIndex(0);
    }
    model_.CurrentSet = static_cast<int16_t>(TabStrip1->currentIndex());
    const StageConfig &s1 = model_.stage(model_.CurrentSet, 1);
    selectFilterListQuietly(FilterList1, 1, s1.Type);
    selectFilterListQuietly(FilterList2, 2, model_.stage(model_.CurrentSet, 2).Type);
    if (s1.Agc >= 0 && s1.Agc < 4)
        AGCButton[static_cast<size_t>(s1.Agc)]->setChecked(true);
    NoiseCheck->setChecked(s1.NoiseFilter != kFalse);
    model_.LoadingAtStartup = false;
    model_.SilentSave = false;
    model_.ComPort = std::clamp<int16_t>(model_.ComPort, 1, 9);
    setComCheck(model_.ComPort);
    model_.SuppressEvents = false;
    refreshResponsePanel();
}

void MainWindow::UpdateStageFilterList()
{
    model_.SuppressEvents = true;
    const StageConfig &s1 = model_.stage(model_.CurrentSet, 1);
    selectFilterListQuietly(FilterList1, 1, s1.Type);
    selectFilterListQuietly(FilterList2, 2, model_.stage(model_.CurrentSet, 2).Type);
    if (s1.Agc >= 0 && s1.Agc < 4)
        AGCButton[static_cast<size_t>(s1.Agc)]->setChecked(true);
    // The noise handler runs on a change and copies the Stage 1 value into Stage 2.
    NoiseCheck->setChecked(s1.NoiseFilter != kFalse);
    model_.SuppressEvents = false;
    refreshResponsePanel();
}

void MainWindow::refreshResponsePanel()
{
    if (ResponsePanel)
        ResponsePanel->showModelSet(model_, model_.CurrentSet);
}

// Selecting an entry from code runs the list's handler even when the position does not
// change, so the Control button always follows the model.
void MainWindow::selectFilterListQuietly(QComboBox *list, int stage, int type)
{
    {
        const QSignalBlocker block(list);
        list->setCurrentIndex(type >= 0 && type < kFilterTypeCount ? type : -1);
    }
    onFilterListChanged(stage);
}

void MainWindow::onTabChanged(int index)
{
    if (index < 0)
        return;
    model_.CurrentSet = static_cast<int16_t>(index);
    UpdateStageFilterList();
}

void MainWindow::onFilterListChanged(int stage)
{
    QComboBox *list = stage == 1 ? FilterList1 : FilterList2;
    if (!model_.SuppressEvents && list->currentIndex() >= 0) {
        model_.stage(model_.CurrentSet, stage).Type = static_cast<int16_t>(list->currentIndex());
        model_.ApplyTypeDefaults(stage);
        refreshResponsePanel();
    }
    updateControlButton(stage);
}

void MainWindow::updateControlButton(int stage)
{
    QPushButton *button = stage == 1 ? Stage1ControlButton : Stage2ControlButton;
    button->setEnabled(model_.stage(model_.CurrentSet, stage).Type != PassThru);
}

void MainWindow::onAgcToggled(int index, bool checked)
{
    if (!checked || model_.SuppressEvents)
        return;
    for (int stage = 1; stage <= 2; ++stage)
        model_.stage(model_.CurrentSet, stage).Agc = static_cast<int16_t>(index);
}

void MainWindow::onBandwidthToggled(int index, bool checked)
{
    if (!checked || model_.SuppressEvents)
        return;
    for (int stage = 1; stage <= 2; ++stage)
        model_.stage(model_.CurrentSet, stage).Bandwidth = static_cast<int16_t>(index);
    model_.ValidateStage(model_.CurrentSet, 1);
    model_.ValidateStage(model_.CurrentSet, 2);
    refreshResponsePanel();
}

void MainWindow::onNoiseToggled(bool checked)
{
    for (int stage = 1; stage <= 2; ++stage)
        model_.stage(model_.CurrentSet, stage).NoiseFilter = checked ? kTrue : kFalse;
}

void MainWindow::OpenStageEditor(int type, const QString &suffix)
{
    if (type >= Adaptive1CH && type <= SpectralEq) {
        (void)OpenStageEditorWindow(this, model_, dialog_, type, suffix);
        refreshResponsePanel();
    } else if (type == ImportedCoef) {
        ImportCoefficientFile();
    } else if (type == PassThru) {
        dialog_.inform(QStringLiteral("Pass Thru Filter") + suffix, QStringLiteral("No Control Options for this filter"),
                       MessageIcon::None);
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

void MainWindow::setCaptionFromFile(const QString &path)
{
    setWindowTitle(QStringLiteral("Korvane-S : ") + QFileInfo(path).fileName());
}

void MainWindow::fileNew()
{
    model_.ResetAllFilterSets();
    TabStrip1->setCurrentIndex(0);
    model_.CurrentSet = static_cast<int16_t>(TabStrip1->currentIndex());
    UpdateStageFilterList();
}

void MainWindow::fileOpen()
{
    dlgCommonDialog.initialDirectory = QDir::currentPath();
    dlgCommonDialog.filter = kSettingsFileFilter;
    const std::optional<QString> chosen = dlgCommonDialog.show(dialog_, FileDialogRequest::Mode::Open);
    if (!chosen || chosen->isEmpty())
        return;
    if (!ReadSettingsFile(model_, *chosen, dialog_))
        return;
    setCaptionFromFile(*chosen);
    TabStrip1->setCurrentIndex(0);
    model_.CurrentSet = static_cast<int16_t>(TabStrip1->currentIndex());
    UpdateStageFilterList();
}

void MainWindow::fileSaveAs()
{
    dlgCommonDialog.confirmOverwrite = true;
    dlgCommonDialog.filter = kSettingsFileFilter;
    const std::optional<QString> chosen = dlgCommonDialog.show(dialog_, FileDialogRequest::Mode::Save);
    if (!chosen || chosen->isEmpty())
        return;
    if (!WriteSettingsFile(model_, *chosen, dialog_))
        return;
    setCaptionFromFile(*chosen);
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
    const QString path = QFileInfo(helpFile_).isAbsolute() ? helpFile_ : programFolder_ + QLatin1Char('/') + helpFile_;
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
    const MessageAnswer answer = dialog_.showMessage(
        QStringLiteral("Program All Filters?"),
        QStringLiteral("Programming the Korvane-S updates all 16 filters (0-15).") +
            QStringLiteral("  Click Yes if you wish to program all the filters."),
        MessageIcon::Question, MessageButtons::YesNo);
    if (answer != MessageAnswer::Yes)
        return;
    BeginDeviceOperation();
    ScopeExit unlock{[this] { EndDeviceOperation(); }};
    ProgrammingRunContext context{model_, dialog_, *comm_, programFolder_, [this](int port) {
                                      if (port >= 1 && port <= 9)
                                          model_.ComPort = static_cast<int16_t>(port);
                                      setComCheck(port);
                                  }};
    if (runner_)
        (void)runner_(context);
}

void MainWindow::BeginDeviceOperation()
{
    if (comm_)
        comm_->close();
    comm_ = std::make_unique<CommWindow>();
    comm_->setWindowIcon(windowIcon());
    comm_->show();
    comm_->move(frameGeometry().center() - comm_->rect().center());
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
    FilterList1->setEnabled(enabled);
    FilterList2->setEnabled(enabled);
    Stage1ControlButton->setEnabled(enabled);
    Stage2ControlButton->setEnabled(enabled);
    StageFrame[0]->setEnabled(enabled);
    StageFrame[1]->setEnabled(enabled);
    fraBandwidth->setEnabled(enabled);
    fraAGC->setEnabled(enabled);
    for (QRadioButton *b : AGCButton)
        b->setEnabled(enabled);
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
    model_.SilentSave = true;
    (void)WriteSettingsFile(model_, programFolder_ + QStringLiteral("/default.min"), dialog_);
}

} // namespace korvane
