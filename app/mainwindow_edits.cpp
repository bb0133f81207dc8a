// The main window's additions for working with many filter sets: the Edit menu (undo and
// redo, copy and paste of a stage or a set through the system clipboard), a one-line summary
// under each stage, a mark on the tabs of the sets that change the signal, File > Recent
// Files, File > Export Summary and the response panel's export. The logic lives in edits/;
// these are the views and commands over it.

#include "mainwindow.h"

#include "filtersetpage.h"
#include "menucommand.h"

#include "config/settingsfile.h"
#include "editors/responseplot.h"
#include "edits/clipboardtext.h"
#include "edits/edithistory.h"
#include "edits/recentfiles.h"
#include "edits/stagesummary.h"
#include "listenpanel/listenpanel.h"
#include "plot/responseexport.h"
#include "summaryexport/summaryexport.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTabWidget>

namespace korvane {

namespace {

// A small filled dot in the palette's selection colour, readable on light, dark and
// high-contrast desktops: the tab of a set that is not pass-through throughout.
QIcon activeSetIcon(const QColor &colour)
{
    QPixmap pixmap(10, 10);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(QRectF(1, 1, 8, 8));
    return QIcon(pixmap);
}

const QString kHtmlFilter = QStringLiteral("HTML Files (*.html)|*.html|All Files (*.*)|*.*");
const QString kResponseFilter = QStringLiteral(
    "PNG Image (*.png)|*.png|SVG Image (*.svg)|*.svg|CSV Table (*.csv)|*.csv|All Files (*.*)|*.*");

// A name without an extension gets `extension`.
QString withExtension(const QString &path, const QString &extension)
{
    return QFileInfo(path).fileName().contains(QLatin1Char('.')) ? path : path + extension;
}

} // namespace

void MainWindow::buildEditFeatures()
{
    history_ = std::make_unique<EditHistory>(model_);
    recent_ = std::make_unique<RecentFiles>();
    buildEditMenu();
    buildFileAdditions();
    connect(history_.get(), &EditHistory::changed, this, [this] {
        refreshUndoActions();
        refreshOverview();
    });
    connect(TabStrip1, &QTabWidget::currentChanged, this, [this] { refreshOverview(); });
    // The Listen panel's designs change the shown set as one undo step each, and the stage
    // lists, editors and both panels follow (B plays the new set at once).
    Listen->tool().setEditSink(
        [this](const QString &what, int stage, const ListenTool::SetChange &change, QString *why) {
            bool changed = false;
            {
                EditStep step(*history_, model_, StageStepName(what, model_.CurrentSet, stage), model_.CurrentSet);
                changed = change(model_, model_.CurrentSet, why);
                if (!changed)
                    step.cancel();
            }
            if (changed)
                UpdateStageFilterList();
            return changed;
        });
    refreshUndoActions();
    refreshOverview();
}

EditHistory &MainWindow::editHistory() const { return *history_; }

void MainWindow::buildEditMenu()
{
    mnuEdit = new QMenu(QStringLiteral("&Edit"), this);
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    menuBar()->insertMenu(mnuHelp->menuAction(), mnuEdit);
    auto add = [this](const char *name, const QString &text, const QKeySequence &key, auto slot) {
        return AddMenuCommand(mnuEdit, name, text, key, this, slot);
    };
    mnuEditUndo = add("mnuEditUndo", QStringLiteral("&Undo"), QKeySequence::Undo, &MainWindow::editUndo);
    mnuEditRedo = add("mnuEditRedo", QStringLiteral("&Redo"), QKeySequence::Redo, &MainWindow::editRedo);
    mnuEdit->addSeparator();
    add("mnuEditCopyStage1", QStringLiteral("Copy Stage &1"), QKeySequence(), [this] { copyStage(1); });
    add("mnuEditCopyStage2", QStringLiteral("Copy Stage &2"), QKeySequence(), [this] { copyStage(2); });
    add("mnuEditPasteStage1", QStringLiteral("P&aste into Stage 1"), QKeySequence(), [this] { pasteStage(1); });
    add("mnuEditPasteStage2", QStringLiteral("Pa&ste into Stage 2"), QKeySequence(), [this] { pasteStage(2); });
    mnuEdit->addSeparator();
    add("mnuEditCopySet", QStringLiteral("&Copy Filter Set"), QKeySequence::Copy, &MainWindow::copyFilterSet);
    add("mnuEditPasteSet", QStringLiteral("&Paste Filter Set"), QKeySequence::Paste, &MainWindow::pasteFilterSet);

    // The same commands on each stage frame's context menu.
    connect(setPage_, &FilterSetPage::copyStageRequested, this, &MainWindow::copyStage);
    connect(setPage_, &FilterSetPage::pasteStageRequested, this, &MainWindow::pasteStage);
}

void MainWindow::buildFileAdditions()
{
    // File: New, Open, Recent Files, -, Save As..., Export Summary..., Export Response..., ...
    const QList<QAction *> items = mnuFile->actions();
    auto after = [&](const char *name) -> QAction * {
        for (qsizetype i = 0; i + 1 < items.size(); ++i)
            if (items[i]->objectName() == QLatin1String(name))
                return items[i + 1];
        return nullptr;
    };
    QAction *afterOpen = after("mnuFileOpen");
    QAction *afterSave = after("mnuFileSaveAs");
    mnuFileRecent = new QMenu(QStringLiteral("&Recent Files"), this);
    mnuFileRecent->setObjectName(QStringLiteral("mnuFileRecent"));
    mnuFile->insertMenu(afterOpen, mnuFileRecent);
    auto *summary = new QAction(QStringLiteral("Export S&ummary..."), this);
    summary->setObjectName(QStringLiteral("mnuFileExportSummary"));
    connect(summary, &QAction::triggered, this, &MainWindow::exportSummary);
    auto *response = new QAction(QStringLiteral("&Export Response..."), this);
    response->setObjectName(QStringLiteral("mnuFileExportResponse"));
    connect(response, &QAction::triggered, this, &MainWindow::exportResponse);
    mnuFile->insertAction(afterSave, summary);
    mnuFile->insertAction(afterSave, response);
    // The panel's description is on the menu too, so its key works while the Listen tab
    // covers the panel.
    mnuFile->insertAction(afterSave, ResponsePanel->describeAction());
    connect(ResponsePanel, &ResponsePlot::describeRequested, this, [this] {
        dialog_.inform(ResponsePanel->accessibleName(), ResponsePanel->description(), MessageIcon::Information);
    });
    // The panel offers its own export on a right click, beside its description.
    ResponsePanel->addAction(response);
    refreshRecentFilesMenu();
}

void MainWindow::refreshOverview()
{
    for (int stage = 1; stage <= 2; ++stage)
        setPage_->showSummary(stage, StageSummary(model_, model_.CurrentSet, stage));
    const QIcon mark = activeSetIcon(palette().color(QPalette::Highlight));
    for (int set = 0; set < kFilterSetCount; ++set)
        TabStrip1->setTabIcon(set, IsPassThroughSet(model_, set) ? QIcon() : mark);
}

void MainWindow::refreshUndoActions()
{
    mnuEditUndo->setEnabled(history_->canUndo());
    mnuEditRedo->setEnabled(history_->canRedo());
    // A step's name can hold a file name: its '&' is shown, not taken as a second key.
    auto shown = [](QString name) { return name.replace(QLatin1Char('&'), QStringLiteral("&&")); };
    mnuEditUndo->setText(history_->canUndo() ? QStringLiteral("&Undo ") + shown(history_->undoName())
                                             : QStringLiteral("&Undo"));
    mnuEditRedo->setText(history_->canRedo() ? QStringLiteral("&Redo ") + shown(history_->redoName())
                                             : QStringLiteral("&Redo"));
}

void MainWindow::editUndo() { showRestoredSet(history_->undo()); }

void MainWindow::editRedo() { showRestoredSet(history_->redo()); }

// Shows the set an undone or redone step changed, with the model's values.
void MainWindow::showRestoredSet(int set)
{
    if (set < 0 || set >= kFilterSetCount)
        return;
    {
        const QSignalBlocker block(TabStrip1);
        TabStrip1->setCurrentIndex(set);
    }
    model_.CurrentSet = static_cast<int16_t>(set);
    UpdateStageFilterList();
    refreshOverview();
}

void MainWindow::copyStage(int stage)
{
    QGuiApplication::clipboard()->setText(StageClipboardText(model_, model_.CurrentSet, stage));
}

void MainWindow::copyFilterSet() { QGuiApplication::clipboard()->setText(SetClipboardText(model_, model_.CurrentSet)); }

void MainWindow::pasteStage(int stage)
{
    EditStep step(*history_, model_, StageStepName(QStringLiteral("Paste"), model_.CurrentSet, stage),
                  model_.CurrentSet);
    const PasteResult r = PasteStage(model_, model_.CurrentSet, stage, QGuiApplication::clipboard()->text());
    if (!r.ok) {
        step.cancel();
        showPasteFailure(r.title, r.text);
        return;
    }
    UpdateStageFilterList();
}

void MainWindow::pasteFilterSet()
{
    EditStep step(*history_, model_, SetStepName(QStringLiteral("Paste"), model_.CurrentSet), model_.CurrentSet);
    const PasteResult r = PasteSet(model_, model_.CurrentSet, QGuiApplication::clipboard()->text());
    if (!r.ok) {
        step.cancel();
        showPasteFailure(r.title, r.text);
        return;
    }
    UpdateStageFilterList();
}

void MainWindow::showPasteFailure(const QString &title, const QString &text)
{
    dialog_.beep();
    dialog_.inform(title, text, MessageIcon::Exclamation);
}

void MainWindow::refreshRecentFilesMenu()
{
    mnuFileRecent->clear();
    const QStringList files = recent_->files();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction *a = mnuFileRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(
            QFileInfo(path).fileName().replace(QLatin1Char('&'), QStringLiteral("&&"))));
        a->setObjectName(QStringLiteral("mnuFileRecent%1").arg(i + 1));
        a->setToolTip(QDir::toNativeSeparators(path));
        a->setStatusTip(QDir::toNativeSeparators(path));
        connect(a, &QAction::triggered, this, [this, path] { openRecentFile(path); });
    }
    mnuFileRecent->setToolTipsVisible(true);
    mnuFileRecent->setEnabled(!files.isEmpty());
}

QStringList MainWindow::recentFiles() const { return recent_->files(); }

// File > Recent Files: as File > Open with the file already chosen. A file that has gone is
// dropped from the list after the reader's message.
void MainWindow::openRecentFile(const QString &path)
{
    if (!maySetConfigurationAside())
        return;
    const EditStep step(*history_, model_, QStringLiteral("Open of ") + QFileInfo(path).fileName(), 0);
    if (!ReadSettingsFile(model_, path, dialog_)) {
        if (!QFileInfo::exists(path)) {
            recent_->remove(path);
            refreshRecentFilesMenu();
        }
        return;
    }
    noteFileUsed(path);
    showFirstSet();
    markSaved(path);
}

// After a successful Open or Save As: the file goes to the top of the recent list.
void MainWindow::noteFileUsed(const QString &path)
{
    recent_->add(path);
    refreshRecentFilesMenu();
}

// Save As: ".min" is added to a name without extension so the Open dialog lists the file; the
// dialog asked about replacing the typed name, so a completed name that exists is asked about
// here. std::nullopt when the user keeps the existing file.
std::optional<QString> MainWindow::completeSaveName(const QString &chosen)
{
    const QString completed = CompleteSettingsFileName(chosen);
    if (completed != chosen && QFileInfo::exists(completed)) {
        const MessageAnswer answer = dialog_.showMessage(QStringLiteral("Confirm Save As"),
                                                         QFileInfo(completed).fileName()
                                                             + QStringLiteral(" already exists.") + kCR
                                                             + QStringLiteral("Do you want to replace it?"),
                                                         MessageIcon::Exclamation, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes)
            return std::nullopt;
    }
    return completed;
}

void MainWindow::exportSummary()
{
    const std::optional<QString> path = askExportPath(kHtmlFilter, QString(), QStringLiteral(".html"));
    if (!path)
        return;
    QString error;
    if (!WriteSummaryHtml(model_, windowTitle(), *path, &error))
        showExportFailure(*path, error);
}

void MainWindow::exportResponse()
{
    const std::optional<QString> path = askExportPath(
        kResponseFilter, QStringLiteral("filter%1.png").arg(model_.CurrentSet), QStringLiteral(".png"));
    if (!path)
        return;
    ResponseEngine engine;
    const SetResponse response = engine.setResponse(model_, model_.CurrentSet);
    QString error;
    if (!WriteResponseFile(*path, response, ResponseFileFormatOf(*path), &error))
        showExportFailure(*path, error);
}

std::optional<QString> MainWindow::askExportPath(const QString &filter, const QString &offered,
                                                 const QString &extension)
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.filter = filter;
    request.initialDirectory = QDir::currentPath();
    request.fileName = offered;
    request.confirmOverwrite = true;
    const std::optional<QString> typed = dialog_.askFileName(request);
    if (!typed || typed->isEmpty())
        return std::nullopt;
    return withExtension(*typed, extension);
}

void MainWindow::showExportFailure(const QString &path, const QString &error)
{
    dialog_.beep();
    dialog_.inform(QStringLiteral("Unable to Store File."),
                   QStringLiteral("Error writing file ") + path + kCR + QStringLiteral(".  ") + error,
                   MessageIcon::Exclamation);
}

} // namespace korvane
