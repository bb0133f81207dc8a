#include "recentfiles.h"

#include <QFileInfo>
#include <QSettings>

namespace korvane {

namespace {
const QString kKey = QStringLiteral("recentFiles");

// The per-user configuration file of the program.
#define KORVANE_USER_SETTINGS(name)                                                                                    \
    QSettings name(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("korvane-s"),                         \
                   QStringLiteral("korvane-s"))
} // namespace

RecentFiles::RecentFiles()
{
    KORVANE_USER_SETTINGS(settings);
    const QStringList stored = settings.value(kKey).toStringList();
    for (const QString &f : stored)
        if (!f.isEmpty() && !files_.contains(f) && files_.size() < kRecentFileCount)
            files_ << f;
}

void RecentFiles::add(const QString &path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    files_.removeAll(full);
    files_.prepend(full);
    while (files_.size() > kRecentFileCount)
        files_.removeLast();
    store();
}

void RecentFiles::remove(const QString &path)
{
    files_.removeAll(path);
    store();
}

void RecentFiles::store() const
{
    KORVANE_USER_SETTINGS(settings);
    settings.setValue(kKey, files_);
    settings.sync();
}

QString CompleteSettingsFileName(const QString &path)
{
    if (path.isEmpty() || QFileInfo(path).fileName().contains(QLatin1Char('.')))
        return path;
    return path + QStringLiteral(".min");
}

} // namespace korvane
