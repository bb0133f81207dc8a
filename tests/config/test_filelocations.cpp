// Where the program's files live: a writable program folder keeps everything as it always
// did; an installed (read-only) one finds its data relative to itself and keeps the user's
// files in the XDG folders.

#include "config/filelocations.h"
#include "datatable.h"
#include "device/comports.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;

namespace {

void touch(const QString &path)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class TestFileLocations : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_savedCwd;
    QString at(const QString &rel) const { return m_dir->filePath(rel); }
    // An installed program's folder: not writable, because it lies under a regular file
    // (root may write anywhere else).
    QString readOnlyProgram() const { return at(QStringLiteral("plain/usr/bin")); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        touch(at(QStringLiteral("plain")));
        QVERIFY(QDir().mkpath(at(QStringLiteral("work"))));
        QVERIFY(QDir().mkpath(at(QStringLiteral("prefix/bin"))));
        m_savedCwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(at(QStringLiteral("work"))));
        qputenv("XDG_CONFIG_HOME", at(QStringLiteral("xdg/config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", at(QStringLiteral("xdg/data")).toLocal8Bit());
        qputenv("XDG_STATE_HOME", at(QStringLiteral("xdg/state")).toLocal8Bit());
    }
    void cleanup()
    {
        QDir::setCurrent(m_savedCwd);
        SetProgramFolder(QString());
    }

    // Where the user's files go, by the program's layout and the environment: an installed
    // program keeps them per user even when its folder can be written (as root can), the
    // port folder follows the same XDG rule as the rest, no home means the account's home
    // (never "/"), and the folders made for them are the user's alone.
    void perUserFiles_data()
    {
        // installed: <prefix>/share/korvane-s beside the writable <prefix>/bin
        // home: under the test folder; empty: HOME unset
        // xdgConfig: under the test folder, relative ("rel/...") or unset
        // config: the per-user configuration folder; HOME = the home folder
        test::addColumns<bool, QByteArray, QByteArray, QString>("installed", "home", "xdgConfig", "config");
        QTest::newRow("installed") << true << QByteArray("home") << QByteArray("xdg/config") << "xdg/config/korvane-s";
        QTest::newRow("portable") << false << QByteArray("home") << QByteArray("xdg/config") << "xdg/config/korvane-s";
        QTest::newRow("relative XDG_CONFIG_HOME")
            << true << QByteArray("home") << QByteArray("rel/config") << "HOME/.config/korvane-s";
        QTest::newRow("HOME unset") << true << QByteArray() << QByteArray() << "HOME/.config/korvane-s";
    }
    void perUserFiles()
    {
        QFETCH(bool, installed);
        QFETCH(QByteArray, home);
        QFETCH(QByteArray, xdgConfig);
        QFETCH(QString, config);
        const QByteArray savedHome = qgetenv("HOME");
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
        const passwd *account = ::getpwuid(::getuid());
        QVERIFY(account);
        const QString homeFolder = home.isEmpty() ? QString::fromLocal8Bit(account->pw_dir) : at(home);
        if (home.isEmpty())
            qunsetenv("HOME");
        else
            qputenv("HOME", homeFolder.toLocal8Bit());
        if (xdgConfig.isEmpty())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", xdgConfig.startsWith("rel") ? xdgConfig : at(xdgConfig).toLocal8Bit());
        qunsetenv("KORVANE_COM_DIR");
        const QString program = at(QStringLiteral("prefix/bin"));
        if (installed)
            QVERIFY(QDir().mkpath(at(QStringLiteral("prefix/share/korvane-s"))));
        config = config.startsWith(QLatin1String("HOME")) ? config.replace(QLatin1String("HOME"), homeFolder)
                                                          : at(config);

        QCOMPARE(UserConfigFolder(), config);
        QCOMPARE(ComPortFolder(), config + QStringLiteral("/ports"));
        const QString perUser = installed ? config : program;
        QCOMPARE(DefaultSettingsWritePath(DefaultSettingsReadPath(QDir::currentPath(), program), program),
                 perUser + QStringLiteral("/default.min"));
        const mode_t oldMask = ::umask(022);
        const QString image = FilterImagePath(program);
        ::umask(oldMask);
        QCOMPARE(image, installed ? at(QStringLiteral("xdg/state/korvane-s/filter.bin")) : program + "/filter.bin");
        // Both folders made for filter.bin are 0700, whatever the umask lets through.
        for (const char *made : {"xdg/state", "xdg/state/korvane-s"}) {
            struct stat st { };
            QCOMPARE(::stat(QFile::encodeName(at(QString::fromLatin1(made))).constData(), &st), installed ? 0 : -1);
            QVERIFY(!installed || (st.st_mode & 07777) == 0700);
        }
    }

    void perUserFoldersFollowXdgAndIgnoreRelativeValues()
    {
        QCOMPARE(UserConfigFolder(), at(QStringLiteral("xdg/config/korvane-s")));
        QCOMPARE(UserDataFolder(), at(QStringLiteral("xdg/data/korvane-s")));
        QCOMPARE(UserStateFolder(), at(QStringLiteral("xdg/state/korvane-s")));
        qputenv("XDG_STATE_HOME", "relative/state");
        QCOMPARE(UserStateFolder(), QDir::homePath() + QStringLiteral("/.local/state/korvane-s"));
    }

    void installedFoldersLieBesideTheProgram()
    {
        const QString bin = at(QStringLiteral("prefix/bin"));
        QCOMPARE(InstalledDataFolder(bin), at(QStringLiteral("prefix/share/korvane-s")));
        QVERIFY(PrivateLibraryFolder(bin).startsWith(at(QStringLiteral("prefix/lib/"))));
        QVERIFY(PrivateLibraryFolder(bin).endsWith(QStringLiteral("/korvane-s")));
        QCOMPARE(LibraryFolders(bin), QStringList({bin, PrivateLibraryFolder(bin)}));
    }

    void defaultSettings_data()
    {
        test::addColumns<bool, bool, QString, QString>("writableProgram", "inWorkingFolder", "readFrom", "writeTo");
        // As the program always had it: the working folder's is read, the program folder's written.
        QTest::newRow("own folder, file in working folder") << true << true << "work/default.min"
                                                            << "prefix/bin/default.min";
        QTest::newRow("own folder, none in working folder") << true << false << "prefix/bin/default.min"
                                                            << "prefix/bin/default.min";
        QTest::newRow("installed, file in working folder") << false << true << "work/default.min"
                                                           << "work/default.min";
        QTest::newRow("installed, none in working folder") << false << false << "xdg/config/korvane-s/default.min"
                                                           << "xdg/config/korvane-s/default.min";
    }
    void defaultSettings()
    {
        QFETCH(bool, writableProgram);
        QFETCH(bool, inWorkingFolder);
        QFETCH(QString, readFrom);
        QFETCH(QString, writeTo);
        const QString program = writableProgram ? at(QStringLiteral("prefix/bin")) : readOnlyProgram();
        if (inWorkingFolder)
            touch(at(QStringLiteral("work/default.min")));
        const QString read = DefaultSettingsReadPath(QDir::currentPath(), program);
        QCOMPARE(read, at(readFrom));
        QCOMPARE(DefaultSettingsWritePath(read, program), at(writeTo));
    }

    void aWorkingFolderFileThatCannotBeWrittenGoesPerUser()
    {
        // A default.min read from under a regular file cannot be written back.
        const QString unwritable = at(QStringLiteral("plain/default.min"));
        QCOMPARE(DefaultSettingsWritePath(unwritable, readOnlyProgram()),
                 at(QStringLiteral("xdg/config/korvane-s/default.min")));
        QCOMPARE(DefaultSettingsFallbackPath(at(QStringLiteral("prefix/bin/default.min"))),
                 at(QStringLiteral("xdg/config/korvane-s/default.min")));
        QVERIFY(DefaultSettingsFallbackPath(at(QStringLiteral("xdg/config/korvane-s/default.min"))).isEmpty());
    }

    void twentyBandIsTheWorkingFoldersThenTheProgramsThenTheInstalledOne()
    {
        SetProgramFolder(at(QStringLiteral("prefix/bin")));
        QCOMPARE(Find20BandFile(), QStringLiteral("20Band")); // none anywhere: the bare name
        touch(at(QStringLiteral("prefix/share/korvane-s/20Band")));
        QCOMPARE(Find20BandFile(), at(QStringLiteral("prefix/share/korvane-s/20Band")));
        touch(at(QStringLiteral("prefix/bin/20Band")));
        QCOMPARE(Find20BandFile(), at(QStringLiteral("prefix/bin/20Band")));
        touch(at(QStringLiteral("work/20Band")));
        QCOMPARE(Find20BandFile(), QStringLiteral("20Band"));
    }

    void filterImageGoesToTheProgramFolderOnlyWhenWritable()
    {
        QCOMPARE(FilterImagePath(at(QStringLiteral("prefix/bin"))), at(QStringLiteral("prefix/bin/filter.bin")));
        QCOMPARE(FilterImagePath(readOnlyProgram()), at(QStringLiteral("xdg/state/korvane-s/filter.bin")));
        QVERIFY(QFileInfo(at(QStringLiteral("xdg/state/korvane-s"))).isDir()); // made for the write
    }

    void firmwareIsTheProgramFoldersThenTheUsersThenTheInstalledOne()
    {
        const QString bin = at(QStringLiteral("prefix/bin"));
        QCOMPARE(
            FirmwareFolders(bin),
            QStringList({bin, at(QStringLiteral("xdg/data/korvane-s")), at(QStringLiteral("prefix/share/korvane-s"))}));
        QCOMPARE(FindFirmwareFile(bin), at(QStringLiteral("prefix/bin/korvanes.fwr"))); // none: where to put it
        touch(at(QStringLiteral("prefix/share/korvane-s/korvanes.fwr")));
        QCOMPARE(FindFirmwareFile(bin), at(QStringLiteral("prefix/share/korvane-s/korvanes.fwr")));
        touch(at(QStringLiteral("xdg/data/korvane-s/korvanes.fwr")));
        QCOMPARE(FindFirmwareFile(bin), at(QStringLiteral("xdg/data/korvane-s/korvanes.fwr")));
        touch(at(QStringLiteral("prefix/bin/korvanes.fwr")));
        QCOMPARE(FindFirmwareFile(bin), at(QStringLiteral("prefix/bin/korvanes.fwr")));
    }
};

QTEST_GUILESS_MAIN(TestFileLocations)
#include "test_filelocations.moc"
