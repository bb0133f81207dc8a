#pragma once
// frmMain, the program's working window: one filter set at a time on 16 tabs (the stages'
// type lists and Control buttons and the set-wide AGC and noise options are the tabs' shared
// page, filtersetpage.h), the File and Help commands, the COM Port menu and the programming
// command. The model lives outside; the window only shows it and writes the user's choices
// into it.

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
#include <optional>

class QAction;
class QMenu;
class QTabWidget;
class QToolBar;

namespace korvane {

class EditHistory;
class FilterSetPage;
class RecentFiles;

class ResponsePlot;
class ListenPanel;

inline const QString kMainCaption = QStringLiteral("Korvane-S Configuration Utility");
inline const QString kHelpFileName = QStringLiteral("korvane-s-help.html");
inline const QString kSaveChangesTitle = QStringLiteral("Save Changes?");

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // programFolder: the folder that holds the program. Where default.min, filter.bin,
    // korvanes.fwr and the help document are found from it: config/filelocations.h.
    MainWindow(Model &model, UserDialog &dialog, QString programFolder, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load handler: reads the working folder's default.min (else the one the last exit
    // wrote) and shows set 0.
    void load();
    // A settings file named on the command line, opened after load() as File > Open opens it
    // (same validation and messages); false when it could not be read.
    bool openAtStart(const QString &path);

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
    void verifyKorvane();         // File > Verify Korvane-S: the processor's self-tests alone
    void helpProgrammingLog();    // Help > Programming Log
    void selectComPort(int port); // mnuCom click
    // The program was told to end (SIGTERM, SIGHUP, SIGINT; the dialog no longer waits for
    // answers). Open modal windows are closed with their cancelling answer; a programming run
    // is stopped first, cancelled as the Cancel button does or, during the firmware reload,
    // as soon as the reload has ended. Then the window closes as File > Exit does (default.min
    // is written) and the event loop ends with 0.
    void endOnSignal(int signal);

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

    // Undo, copy and paste, the overview, recent files and the exports (mainwindow_edits.cpp).
    [[nodiscard]] EditHistory &editHistory() const;
    void editUndo();
    void editRedo();
    void copyStage(int stage); // stage 1..2 of the shown set, to the system clipboard
    void pasteStage(int stage);
    void copyFilterSet();
    void pasteFilterSet();
    void exportSummary();  // File > Export Summary: the HTML page
    void exportResponse(); // the response panel's PNG, SVG or CSV
    void openRecentFile(const QString &path);
    [[nodiscard]] QStringList recentFiles() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void setDeviceControlsEnabled(bool enabled);
    void buildMenus();
    void buildToolbar(QWidget *client);
    void buildClientArea(QWidget *client);
    void wireSetPage();
    void buildShortcuts();
    // Shows the next (step 1) or previous (step -1) filter set, round the end.
    void stepFilterSet(int step);
    void toolbarButtonClicked(const QString &key);
    void onTabChanged(int index);
    void onFilterListChanged(int stage);
    void updateControlButton(int stage);
    void onAgcToggled(int index, bool checked);
    void onBandwidthToggled(int index, bool checked);
    void onNoiseToggled(bool checked);
    void showTypeQuietly(int stage, int type);
    // After New and Open: set 0 on the first tab, with the model's values.
    void showFirstSet();
    void setComCheck(int port);
    void refreshComPortTips();
    void shutDown();
    // Closes the window as File > Exit does and ends the event loop.
    void endNow();
    void saveDefaultSettings();
    void openHelp(bool search);
    // True when the configuration differs from the one last opened or saved (or read from
    // default.min at start).
    [[nodiscard]] bool isModified() const;
    // Caption: the settings file's name, or the program's caption before any, with a '*'
    // while there are unsaved changes.
    void updateCaption();
    // The model now matches the file at path (opened or saved; empty: default.min at start).
    void markSaved(const QString &path);
    // Before New and Open: asks whether to save unsaved changes. Yes saves as Save As does;
    // false when the command must stop (Cancel, or the save did not happen).
    [[nodiscard]] bool maySetConfigurationAside();
    [[nodiscard]] bool saveAs();
    // Redraws the response panel for the shown set from the model as it stands.
    void refreshResponsePanel();

    // mainwindow_edits.cpp
    void buildEditFeatures();
    void buildEditMenu();
    void buildFileAdditions();
    void refreshOverview();
    void refreshRecentFilesMenu();
    void refreshUndoActions();
    void showRestoredSet(int set);
    void noteFileUsed(const QString &path);
    [[nodiscard]] std::optional<QString> completeSaveName(const QString &chosen);
    void showPasteFailure(const QString &title, const QString &text);
    // Asks where an export goes: filter as FileDialogRequest::filter, the name offered (may be
    // empty), the extension (".png") a name without one gets. std::nullopt when cancelled.
    [[nodiscard]] std::optional<QString> askExportPath(const QString &filter, const QString &offered,
                                                       const QString &extension);
    void showExportFailure(const QString &path, const QString &error);

    Model &model_;
    UserDialog &dialog_;
    QString programFolder_;
    QString settingsReadPath_; // the default.min read at start (whether or not it existed)
    QString helpFile_ = kHelpFileName;
    ProgrammingRunner runner_ = RunProgrammingSequence;
    CommonDialog dlgCommonDialog;
    std::unique_ptr<CommWindow> comm_;
    QPointer<HelpWindow> help_;
    bool deviceOperation_ = false;
    // True while the window sets its own controls from the model: the handlers of those
    // controls then do not write back into the model or the edit history.
    bool showingModel_ = false;
    bool shutDownDone_ = false;
    bool endRequested_ = false; // endOnSignal() during a run: end when the run has ended
    QString filePath_;          // the settings file last opened or saved
    QString fileTitle_;         // name of the settings file last opened or saved, without folder

    QToolBar *tbToolbar = nullptr;
    QTabWidget *TabStrip1 = nullptr;
    FilterSetPage *setPage_ = nullptr; // the controls of the shown set, on the current tab's page

    QMenu *mnuFile = nullptr;
    QMenu *mnuHelp = nullptr;
    QMenu *mnuFileCOMPort = nullptr;
    std::array<QAction *, 9> mnuCom{};

    // Beside the tab strip: Stage 1, Stage 2 and the cascade of the shown set, as the
    // processor will run them.
    ResponsePlot *ResponsePanel = nullptr;

    std::unique_ptr<EditHistory> history_;
    std::unique_ptr<RecentFiles> recent_;
    QMenu *mnuEdit = nullptr;
    QAction *mnuEditUndo = nullptr;
    QAction *mnuEditRedo = nullptr;
    QMenu *mnuFileRecent = nullptr;
    // On a tab beside the response panel: the shown set's filters on an audio clip.
    ListenPanel *Listen = nullptr;
};

} // namespace korvane
