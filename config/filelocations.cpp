#include "filelocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <pwd.h>
#include <sys/stat.h>
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

// "korvane-s" under an XDG base folder; empty when the base is unknown.
QString appFolderUnder(const char *variable, const char *underHome)
{
    QString why;
    const QString base = XdgBaseFolder(variable, underHome, &why);
    if (base.isEmpty()) {
        // Every per-user path is unknown: say so once rather than write under "/" or the
        // working folder.
        static bool warned = false;
        if (!warned) {
            warned = true;
            qWarning("korvane-s: %s; the per-user files are neither read nor written", qPrintable(why));
        }
        return {};
    }
    return QDir::cleanPath(base + QLatin1Char('/') + kAppFolderName);
}

QString fileIn(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
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

bool IsInstalledProgramFolder(const QString &programFolder)
{
    return !programFolder.isEmpty() && QFileInfo(InstalledDataFolder(programFolder)).isDir();
}

bool KeepsFilesInProgramFolder(const QString &programFolder)
{
    return !IsInstalledProgramFolder(programFolder) && IsFolderWritable(programFolder);
}

QString InstalledDataFolder(const QString &programFolder) { return besideProgram(programFolder, KORVANE_DATA_SUBDIR); }

QString PrivateLibraryFolder(const QString &programFolder)
{
    return besideProgram(programFolder, KORVANE_PRIVATE_LIB_SUBDIR);
}

QString UserHomeFolder(QString *why)
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QDir::isAbsolutePath(home))
        return QDir::cleanPath(home);
    // Not QDir::homePath(): without $HOME it answers "/", and the user's files would land
    // in the root folder.
    passwd entry{};
    passwd *found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir
        && found->pw_dir[0] == '/')
        return QDir::cleanPath(QFile::decodeName(found->pw_dir));
    if (why)
        *why = QStringLiteral("no home folder: HOME is not set and user %1 has none in the password database")
                   .arg(::getuid());
    return {};
}

QString XdgBaseFolder(const char *variable, const char *underHome, QString *why)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    const QString home = UserHomeFolder(why);
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QLatin1Char('/') + QString::fromLatin1(underHome));
}

bool MakeUserFolder(const QString &folder, QString *why)
{
    if (folder.isEmpty()) {
        if (why)
            *why = QStringLiteral("no folder for the user's files");
        return false;
    }
    // QDir::mkpath makes 0777 less the umask (0755 as a rule); the user's settings are
    // nobody else's business, so every folder made here is 0700.
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    qsizetype from = 1;
    for (;;) {
        const qsizetype slash = clean.indexOf(QLatin1Char('/'), from);
        const QString part = slash < 0 ? clean : clean.left(slash);
        const QByteArray local = QFile::encodeName(part);
        if (::mkdir(local.constData(), 0700) != 0 && errno != EEXIST) {
            if (why)
                *why = QStringLiteral("cannot create the folder %1: %2")
                           .arg(QDir::toNativeSeparators(part), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (slash < 0)
            break;
        from = slash + 1;
    }
    if (QFileInfo(clean).isDir())
        return true;
    if (why)
        *why = QStringLiteral("cannot create the folder %1: %2")
                   .arg(QDir::toNativeSeparators(clean), QString::fromLocal8Bit(std::strerror(EEXIST)));
    return false;
}

QString UserConfigFolder() { return appFolderUnder("XDG_CONFIG_HOME", ".config"); }
QString UserDataFolder() { return appFolderUnder("XDG_DATA_HOME", ".local/share"); }
QString UserStateFolder() { return appFolderUnder("XDG_STATE_HOME", ".local/state"); }

QString DefaultSettingsReadPath(const QString &startDirectory, const QString &programFolder)
{
    const QString inStart = QDir(startDirectory).filePath(kDefaultSettingsFileName);
    if (QFileInfo::exists(inStart))
        return inStart;
    const QString home = KeepsFilesInProgramFolder(programFolder) ? programFolder : UserConfigFolder();
    return fileIn(home, kDefaultSettingsFileName);
}

QString DefaultSettingsWritePath(const QString &readPath, const QString &programFolder)
{
    if (KeepsFilesInProgramFolder(programFolder))
        return QDir(programFolder).filePath(kDefaultSettingsFileName);
    if (!readPath.isEmpty() && canWriteFile(readPath))
        return readPath;
    return fileIn(UserConfigFolder(), kDefaultSettingsFileName);
}

QString DefaultSettingsFallbackPath(const QString &failedPath)
{
    const QString perUser = fileIn(UserConfigFolder(), kDefaultSettingsFileName);
    return perUser.isEmpty() || sameFile(failedPath, perUser) ? QString() : perUser;
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
    if (KeepsFilesInProgramFolder(programFolder))
        return QDir(programFolder).filePath(kFilterImageFileName);
    const QString state = UserStateFolder();
    // A folder that cannot be made shows up as the write's own failure, with its reason.
    (void)MakeUserFolder(state);
    return fileIn(state, kFilterImageFileName);
}

QStringList FirmwareFolders(const QString &programFolder)
{
    QStringList folders;
    if (!programFolder.isEmpty())
        folders << programFolder;
    if (const QString data = UserDataFolder(); !data.isEmpty())
        folders << data;
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
    if (path.isEmpty()) {
        if (why)
            *why = QStringLiteral("no folder for the user's files");
        return false;
    }
    const QString folder = QFileInfo(path).absolutePath();
    return QFileInfo(folder).isDir() || MakeUserFolder(folder, why);
}

} // namespace korvane
