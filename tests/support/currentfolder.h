#pragma once
// The process's current folder changed for as long as the object lives: tests that read the
// program folder's data files by relative name enter it and leave it again as they found it.

#include <QDir>
#include <QString>

namespace korvane::test {

class CurrentFolder {
public:
    explicit CurrentFolder(const QString &path) : saved_(QDir::currentPath()), entered_(QDir::setCurrent(path)) { }
    ~CurrentFolder() { QDir::setCurrent(saved_); }
    CurrentFolder(const CurrentFolder &) = delete;
    CurrentFolder &operator=(const CurrentFolder &) = delete;

    [[nodiscard]] bool entered() const { return entered_; }

private:
    QString saved_;
    bool entered_;
};

} // namespace korvane::test
