#pragma once
// What the main window tests share: each test function runs the window in a fresh working
// folder with a new model and a scripted dialog, and leaves the process's folder as it was.

#include "app/mainwindow.h"
#include "scripteddialog.h"

#include <QDir>
#include <QObject>
#include <QTemporaryDir>

#include <memory>

namespace korvane::test {

class MainWindowRun : public QObject {
protected:
    QString savedCwd_;
    std::unique_ptr<QTemporaryDir> work_; // the working folder the program starts in
    std::unique_ptr<Model> model_;
    std::unique_ptr<ScriptedDialog> dialog_;
    std::unique_ptr<MainWindow> window_; // last: closed before the model and dialog go

    // From init(): the fresh folder made current, a new model and dialog, no window yet.
    void beginRun()
    {
        savedCwd_ = QDir::currentPath();
        work_ = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(work_->path());
        model_ = std::make_unique<Model>();
        dialog_ = std::make_unique<ScriptedDialog>();
    }
    // The window as the program starts it, with programDir as its own folder.
    void startWindow(const QString &programDir)
    {
        window_ = std::make_unique<MainWindow>(*model_, *dialog_, programDir);
        window_->load();
        window_->show();
    }
    // The window's child of that object name; a test whose window lacks it ends there.
    template <typename T> T *child(const char *name)
    {
        T *w = window_->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qFatal("no child %s", name);
        return w;
    }
    // From cleanup().
    void endRun()
    {
        window_.reset();
        QDir::setCurrent(savedCwd_);
    }
};

} // namespace korvane::test
