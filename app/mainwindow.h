#pragma once
// frmMain, the program's working window: one filter set at a time on 16 tabs, the two
// stages' type lists and Control buttons, the set-wide AGC and noise options, the File and
// Help commands, the COM Port menu and the programming command. The model lives outside;
// the window only shows it and writes the user's choices into it.

#include "commondialog.h"
#include "commwindow.h"
#include "helpwindow.h"
#include "programming.h"

#include "config/model.h"
#include "config/userdialog.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolBar;

namespace korvane {

class ResponsePlot;
class ListenPanel;

inline const QString kMainCaption = QStringLiteral("Korvane-S Configuration Utility");
inline const QString kHelpFileName = QStringLiteral("korvane-s-help.html");

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // programFolder: the folder that holds the program (default.min is written there at
    // exit, filter.bin and korvanes.fwr live there, the help file is looked up there).
    MainWindow(Model &model, UserDialog &dialog, QString programFolder, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load handler: reads the working folder's default.min and shows set 0.
    void load();

    void UpdateStageFilterList();
    void OpenStageEditor(int type, const QString &suffix);
    void ImportCoefficientFile();
    void BeginDeviceOperation();
    void EndDeviceOperation();

    void fileNew();
    void fileOpen();
    void fileSaveAs();
    void fileExit();
    void helpContents();
    void helpSearch();
    void helpAbout();
    void programKorvane();
    void selectComPort(int port); // mnuCom click

    // The help file name: a name relative to the program folder, or a full path; empty
    // means the program has no help.
    void setHelpFile(const QString &name) { helpFile_ = name; }
    [[nodiscard]] QString helpFile() const { return helpFile_; }
    [[nodiscard]] QString programFolder() const { return programFolder_; }

    void setProgrammingRunner(ProgrammingRunner runner) { runner_ = std::move(runner); }

    [[nodiscard]] CommonDialog &commonDialog() { return dlgCommonDialog; }
    [[nodiscard]] CommWindow *commWindow() const { return comm_.get(); }
    [[nodiscard]] HelpWindow *helpWindow() const { return help_; }
    [[nodiscard]] ResponsePlot *responsePanel() const { return ResponsePanel; }
    [[nodiscard]] ListenPanel *listenPanel() const { return Listen; }
    [[nodiscard]] bool isDeviceOperationRunning() const { return deviceOperation_; }
    // 1..9, the COM Port item carrying the check mark (0 when none does).
    [[nodiscard]] int checkedComPort() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setDeviceControlsEnabled(bool enabled);
    void buildMenus();
    void buildToolbar(QWidget *client);
    void buildClientArea(QWidget *client);
    void toolbarButtonClicked(const QString &key);
    void onTabChanged(int index);
    void onFilterListChanged(int stage);
    void updateControlButton(int stage);
    void onAgcToggled(int index, bool checked);
    void onBandwidthToggled(int index, bool checked);
    void onNoiseToggled(bool checked);
    void selectFilterListQuietly(QComboBox *list, int stage, int type);
    void setComCheck(int port);
    void refreshComPortTips();
    void shutDown();
    void openHelp(bool search);
    void setCaptionFromFile(const QString &path);
    // Redraws the response panel for the shown set from the model as it stands.
    void refreshResponsePanel();

    Model &model_;
    UserDialog &dialog_;
    QString programFolder_;
    QString helpFile_ = kHelpFileName;
    ProgrammingRunner runner_ = RunProgrammingSequence;
    CommonDialog dlgCommonDialog;
    std::unique_ptr<CommWindow> comm_;
    QPointer<HelpWindow> help_;
    bool deviceOperation_ = false;
    bool shutDownDone_ = false;

    QToolBar *tbToolbar = nullptr;
    QTabWidget *TabStrip1 = nullptr;
    std::array<QGroupBox *, 2> StageFrame{};
    QComboBox *FilterList1 = nullptr;
    QComboBox *FilterList2 = nullptr;
    QPushButton *Stage1ControlButton = nullptr;
    QPushButton *Stage2ControlButton = nullptr;
    QGroupBox *fraAGC = nullptr;
    QButtonGroup *agcGroup_ = nullptr;
    std::array<QRadioButton *, 4> AGCButton{};
    QCheckBox *NoiseCheck = nullptr;
    QGroupBox *Frame1 = nullptr;
    QLabel *Label1 = nullptr;
    QGroupBox *fraBandwidth = nullptr;
    QButtonGroup *bwGroup_ = nullptr;
    std::array<QRadioButton *, 3> BWFiltButton{};

    QMenu *mnuFile = nullptr;
    QMenu *mnuHelp = nullptr;
    QMenu *mnuFileCOMPort = nullptr;
    std::array<QAction *, 9> mnuCom{};

    // Beside the tab strip: Stage 1, Stage 2 and the cascade of the shown set, as the
    // processor will run them.
    ResponsePlot *ResponsePanel = nullptr;
    // Beside it: the shown set's filters on an audio clip.
    ListenPanel *Listen = nullptr;
};

} // namespace korvane
