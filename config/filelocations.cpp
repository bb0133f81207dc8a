#include "filelocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <unistd.h>

// Set by the build from the install layout; the defaults are Debian's.
#ifndef KORVANE_DATA_SUBDIR
#define KORVANE_DATA_SUBDIR "share/korvane-s"
#endif
#ifndef KORVANE_PRIVATE_LIB_SUBDIR
#define KORVANE_PRIVATE_LIB_SUBDIR "lib/korvane-s"
#endif

namespace korvane {

namespace {

const QString kAppFolderName = QStringLiteral("korvane-s");
const QString k20Band = QStringLiteral("20Band");
const QString kFirmware = QStringLiteral("korvanes.fwr");

QString &programFolderOverride()
{
    static QString folder;
    return folder;
}

// $VAR when it holds an absolute path (the XDG rule: relative values are ignored), else
// $HOME/fallback.
QString xdgFolder(const char *var, const char *fallback)
{
    const QString value = qEnvironmentVariable(var);
    const QString base = !value.isEmpty() && QDir::isAbsolutePath(value)
        ? value
        : QDir(QDir::homePath()).filePath(QString::fromLatin1(fallback));
    return QDir::cleanPath(base + QLatin1Char('/') + kAppFolderName);
}

// <programFolder>/../<subdir>: bin/ and share/ are siblings under the install prefix.
QString besideProgram(const QString &programFolder, const char *subdir)
{
    if (programFolder.isEmpty())
        return {};
    return QDir::cleanPath(programFolder + QStringLiteral("/../") + QString::fromLatin1(subdir));
}

bool sameFile(const QString &a, const QString &b)
{
    return QFileInfo(a).absoluteFilePath() == QFileInfo(b).absoluteFilePath();
}

// A file that exists and can be replaced, or a missing one in a writable folder.
bool canWriteFile(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.isFile() && ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK) == 0
            && IsFolderWritable(info.absolutePath());
    return IsFolderWritable(info.absolutePath());
}

} // namespace

QString ProgramFolder()
{
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return {};
}

void SetProgramFolder(const QString &folder) { programFolderOverride() = folder; }

bool IsFolderWritable(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    // access() rather than the permission bits: it answers for this user, read-only mounts
    // included.
    return info.isDir() && ::access(QFile::encodeName(info.absoluteFilePath()).constData(), W_OK | X_OK) == 0;
}

QString InstalledDataFolder(const QString &programFolder) { return besideProgram(programFolder, KORVANE_DATA_SUBDIR); }

QString PrivateLibraryFolder(const QString &programFolder)
{
    return besideProgram(programFolder, KORVANE_PRIVATE_LIB_SUBDIR);
}

QString UserConfigFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }
QString UserDataFolder() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }
QString UserStateFolder() { return xdgFolder("XDG_STATE_HOME", ".local/state"); }

QString DefaultSettingsReadPath(const QString &startDirectory, const QString &programFolder)
{
    const QString inStart = QDir(startDirectory).filePath(kDefaultSettingsFileName);
    if (QFileInfo::exists(inStart))
        return inStart;
    const QString home = IsFolderWritable(programFolder) ? programFolder : UserConfigFolder();
    return QDir(home).filePath(kDefaultSettingsFileName);
}

QString DefaultSettingsWritePath(const QString &readPath, const QString &programFolder)
{
    if (IsFolderWritable(programFolder))
        return QDir(programFolder).filePath(kDefaultSettingsFileName);
    if (!readPath.isEmpty() && canWriteFile(readPath))
        return readPath;
    return QDir(UserConfigFolder()).filePath(kDefaultSettingsFileName);
}

QString DefaultSettingsFallbackPath(const QString &failedPath)
{
    const QString perUser = QDir(UserConfigFolder()).filePath(kDefaultSettingsFileName);
    return sameFile(failedPath, perUser) ? QString() : perUser;
}

QStringList DataFileFolders(const QString &programFolder)
{
    QStringList folders{QDir::currentPath()};
    if (!programFolder.isEmpty()) {
        folders << programFolder << InstalledDataFolder(programFolder);
    }
    folders.removeDuplicates();
    return folders;
}

QString Find20BandFile()
{
    for (const QString &folder : DataFileFolders(ProgramFolder())) {
        const QString path = QDir(folder).filePath(k20Band);
        if (QFileInfo(path).isFile())
            return folder == QDir::currentPath() ? k20Band : path;
    }
    return k20Band;
}

QString FilterImagePath(const QString &programFolder)
{
    if (IsFolderWritable(programFolder))
        return QDir(programFolder).filePath(kFilterImageFileName);
    const QString state = UserStateFolder();
    (void)QDir().mkpath(state);
    return QDir(state).filePath(kFilterImageFileName);
}

QStringList FirmwareFolders(const QString &programFolder)
{
    QStringList folders;
    if (!programFolder.isEmpty())
        folders << programFolder;
    folders << UserDataFolder();
    if (!programFolder.isEmpty())
        folders << InstalledDataFolder(programFolder);
    folders.removeDuplicates();
    return folders;
}

QString FindFirmwareFile(const QString &programFolder)
{
    const QStringList folders = FirmwareFolders(programFolder);
    for (const QString &folder : folders) {
        const QString path = QDir(folder).filePath(kFirmware);
        if (QFileInfo(path).isFile())
            return path;
    }
    return QDir(folders.value(0)).filePath(kFirmware);
}

QStringList LibraryFolders(const QString &programFolder)
{
    if (programFolder.isEmpty())
        return {};
    return {programFolder, PrivateLibraryFolder(programFolder)};
}

QString FindProgramDataFile(const QString &name, const QString &programFolder)
{
    const QString own = QDir(programFolder).filePath(name);
    if (QFileInfo::exists(own))
        return own;
    const QString installed = QDir(InstalledDataFolder(programFolder)).filePath(name);
    return QFileInfo::exists(installed) ? installed : own;
}

bool MakeParentFolder(const QString &path, QString *why)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (QFileInfo(folder).isDir() || QDir().mkpath(folder))
        return true;
    if (why)
        *why = QStringLiteral("cannot create the folder %1").arg(QDir::toNativeSeparators(folder));
    return false;
}

} // namespace korvane
