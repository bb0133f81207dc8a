#pragma once
// File > recent files: the last four settings files opened or saved, newest first, kept in
// the per-user configuration ($XDG_CONFIG_HOME/korvane-s/korvane-s.conf, key "recentFiles"),
// so the list survives a restart. And the name completion of Save As.

#include <QString>
#include <QStringList>

namespace korvane {

inline constexpr int kRecentFileCount = 4;

class RecentFiles {
public:
    // Reads the list from the per-user configuration.
    RecentFiles();

    [[nodiscard]] const QStringList &files() const { return files_; }
    // Puts path (made absolute) first, drops an older entry of the same file and anything
    // beyond four, and stores the list at once.
    void add(const QString &path);
    // Drops path (a file that has gone) and stores the list.
    void remove(const QString &path);

private:
    void store() const;
    QStringList files_;
};

// Save As: a name without an extension gets ".min", so the file is listed by the Open
// dialog's "Korvane-S Files (*.min)" filter. A name that has an extension is kept.
[[nodiscard]] QString CompleteSettingsFileName(const QString &path);

} // namespace korvane
