#pragma once
// Where each of the program's files lives: asked by the windows, the command-line tool, the
// coefficient generator and the device link alike, so that all of them agree.
//
// Two layouts, told apart by what lies beside the program's folder (never by whether it can
// be written: root can write /usr/bin):
//  - a portable program folder (the build tree's bin/, an unpacked tarball: no
//    ../share/korvane-s beside it) that this user can write holds everything, as the program
//    has always had it: the programs, libkorvanes.so, "20Band", the help document and, at run
//    time, default.min (written at exit) and filter.bin;
//  - an installed program (<prefix>/bin with <prefix>/share/korvane-s) finds its own data in
//    <prefix>/share/korvane-s and its private library in <prefix>/lib/<multiarch>/korvane-s,
//    both relative to the program's folder (so an unpacked or relocated package works), and
//    keeps the user's files in the per-user XDG folders:
//      $XDG_CONFIG_HOME/korvane-s/default.min    (normally ~/.config)
//      $XDG_DATA_HOME/korvane-s/korvanes.fwr     (normally ~/.local/share; the maker's file)
//      $XDG_STATE_HOME/korvane-s/filter.bin      (normally ~/.local/state)
//    A portable folder this user cannot write behaves the same way.
// Folders made for the user's files are created with mode 0700 (missing parents too).
//
// Plain QtCore; nothing here shows a message (but a missing home folder is warned about once
// (qWarning), since every per-user path is then unknown).

#include <QString>
#include <QStringList>

namespace korvane {

inline const QString kDefaultSettingsFileName = QStringLiteral("default.min");
inline const QString kFilterImageFileName = QStringLiteral("filter.bin");

// The folder that holds the running program: the folder given to SetProgramFolder, else
// QCoreApplication::applicationDirPath(), else empty (no application object).
[[nodiscard]] QString ProgramFolder();
// Overrides ProgramFolder() (tests, --folder); an empty folder returns to the default.
void SetProgramFolder(const QString &folder);

// True when this user may create files in folder (an existing folder only).
[[nodiscard]] bool IsFolderWritable(const QString &folder);

// True for an installed program: <programFolder>/../share/korvane-s exists.
[[nodiscard]] bool IsInstalledProgramFolder(const QString &programFolder);
// True when the program keeps default.min and filter.bin in its own folder: a portable
// (not installed) folder this user can write.
[[nodiscard]] bool KeepsFilesInProgramFolder(const QString &programFolder);

// <programFolder>/../share/korvane-s, the installed data ("20Band", the help document).
[[nodiscard]] QString InstalledDataFolder(const QString &programFolder);
// <programFolder>/../lib/<multiarch>/korvane-s, the installed private library folder.
[[nodiscard]] QString PrivateLibraryFolder(const QString &programFolder);

// The user's home folder: $HOME when it is an absolute path, else the account's home from
// the password database; empty, with the reason in why, when neither is known.
[[nodiscard]] QString UserHomeFolder(QString *why = nullptr);
// An XDG base folder: $variable when it holds an absolute path (relative values are ignored),
// else <home>/<underHome> ("XDG_CONFIG_HOME", ".config"). Empty, with the reason in why, when
// the home folder is unknown. Every per-user folder of the program goes through this.
[[nodiscard]] QString XdgBaseFolder(const char *variable, const char *underHome, QString *why = nullptr);
// Creates folder and its missing parents with mode 0700 (folders that exist keep their
// mode). False, with the folder and the system's reason in why, when one cannot be made.
[[nodiscard]] bool MakeUserFolder(const QString &folder, QString *why = nullptr);

// The per-user folders, "korvane-s" under $XDG_CONFIG_HOME, $XDG_DATA_HOME, $XDG_STATE_HOME
// (each falling back to its usual place under the home folder). Empty when the home folder
// is unknown. Not created here.
[[nodiscard]] QString UserConfigFolder();
[[nodiscard]] QString UserDataFolder();
[[nodiscard]] QString UserStateFolder();

// default.min at start: the working folder's when there is one, else the one in the folder
// the program writes it to (the program folder when KeepsFilesInProgramFolder, else the
// per-user configuration folder; empty when that is unknown). The path is returned even when the file does not exist.
[[nodiscard]] QString DefaultSettingsReadPath(const QString &startDirectory, const QString &programFolder);
// default.min at exit: the program folder's when KeepsFilesInProgramFolder (as the program
// always did); otherwise the file read at start when it can be written, else the per-user one
// (empty when the home folder is unknown).
[[nodiscard]] QString DefaultSettingsWritePath(const QString &readPath, const QString &programFolder);
// Where an exit save goes when the first choice failed: the per-user one (empty when that
// was the first choice).
[[nodiscard]] QString DefaultSettingsFallbackPath(const QString &failedPath);

// Folders searched for "20Band", in order: the current folder, the program folder, the
// installed data folder.
[[nodiscard]] QStringList DataFileFolders(const QString &programFolder);
// The first existing "20Band" of DataFileFolders(ProgramFolder()); the bare name (the current
// folder's, which the reader then reports as missing) when there is none.
[[nodiscard]] QString Find20BandFile();

// filter.bin: <programFolder>/filter.bin when KeepsFilesInProgramFolder, else in the per-user
// state folder (created, 0700, when missing); empty when the home folder is unknown.
[[nodiscard]] QString FilterImagePath(const QString &programFolder);

// Folders searched for korvanes.fwr, in order: the program folder, the per-user data folder
// (where the user puts the maker's file), the installed data folder.
[[nodiscard]] QStringList FirmwareFolders(const QString &programFolder);
// The first existing korvanes.fwr of FirmwareFolders; the program folder's when none exists.
[[nodiscard]] QString FindFirmwareFile(const QString &programFolder);

// Folders searched for libkorvanes.so, in order: the program folder, the private library
// folder.
[[nodiscard]] QStringList LibraryFolders(const QString &programFolder);

// A data file of the program (the help document): the program folder's when there, else the
// installed data folder's; the program folder's path when neither exists.
[[nodiscard]] QString FindProgramDataFile(const QString &name, const QString &programFolder);

// Creates the folder that will hold path (as MakeUserFolder: 0700, since it holds the user's
// files); false (with the system's reason in why) when it cannot be made or path is empty.
[[nodiscard]] bool MakeParentFolder(const QString &path, QString *why = nullptr);

} // namespace korvane
