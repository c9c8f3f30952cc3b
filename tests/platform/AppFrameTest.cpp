#include "platform/AppFrame_New.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace {

// Sets or clears one environment variable for the life of the object.
class TEnvGuard
{
public:
    TEnvGuard(const char* Name, std::optional<QByteArray> Value)
        : FName(Name)
        , FOld(qEnvironmentVariableIsSet(Name) ? std::optional<QByteArray>(qgetenv(Name)) : std::nullopt)
    {
        Value ? qputenv(Name, *Value) : qunsetenv(Name);
    }
    ~TEnvGuard() { FOld ? qputenv(FName, *FOld) : qunsetenv(FName); }

private:
    const char* FName;
    std::optional<QByteArray> FOld;
};

QString BuildDir()
{
    return QFileInfo(QStringLiteral(LUMIDOR_BUILD_DIR)).canonicalFilePath();
}

} // namespace

TEST(AppFrameTest, ApplicationDataFoldersFollowTheXdgVariables)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QByteArray h = home.path().toUtf8();
    const QString long400 = home.path() + QStringLiteral("/") + QString(400, QLatin1Char('c'));
    struct TCase
    {
        std::optional<QByteArray> ConfigHome;
        std::optional<QByteArray> ConfigDirs;
        QString AppData;
        QString CommonAppData;
    } cases[] = {
        {h + "/cfg", h + "/etc1:" + h + "/etc2", home.path() + "/cfg", home.path() + "/etc1"},
        {h + "/cfg/", h + "/etc1/", home.path() + "/cfg", home.path() + "/etc1"},
        {std::nullopt, std::nullopt, home.path() + "/.config", "/etc/xdg"},
        {QByteArray(), QByteArray(), home.path() + "/.config", "/etc/xdg"},
        // Relative entries do not count.
        {"relative/cfg", "relative:" + h + "/etc2", home.path() + "/.config", home.path() + "/etc2"},
        {"", "relative::", home.path() + "/.config", "/etc/xdg"},
        // No length limit.
        {long400.toUtf8(), std::nullopt, long400, "/etc/xdg"},
    };
    TEnvGuard homeGuard("HOME", h);
    for (const TCase& c : cases) {
        TEnvGuard configHome("XDG_CONFIG_HOME", c.ConfigHome);
        TEnvGuard configDirs("XDG_CONFIG_DIRS", c.ConfigDirs);
        TAppFrame frame;
        EXPECT_EQ(frame.AppDataPath, c.AppData) << c.ConfigHome.value_or("(unset)").constData();
        EXPECT_EQ(frame.CommonAppDataPath, c.CommonAppData) << c.ConfigDirs.value_or("(unset)").constData();
    }
}

// A relative value would put the files wherever the program was started.
TEST(AppFrameTest, LumidorsFilesLieInTheXdgFoldersOrBelowTheHome)
{
    QTemporaryDir home;
    const QByteArray h = home.path().toUtf8();
    const struct
    {
        std::optional<QByteArray> Value;
        QString Data;
        QString State;
    } cases[] = {
        {h + "/x/", home.path() + "/x", home.path() + "/x"},
        {QByteArray("relative/x"), home.path() + "/.local/share", home.path() + "/.local/state"},
        {QByteArray(), home.path() + "/.local/share", home.path() + "/.local/state"},
        {std::nullopt, home.path() + "/.local/share", home.path() + "/.local/state"},
    };
    TEnvGuard homeGuard("HOME", h);
    for (const auto& c : cases) {
        TEnvGuard data("XDG_DATA_HOME", c.Value);
        TEnvGuard state("XDG_STATE_HOME", c.Value);
        EXPECT_EQ(UserFolders::TaskStore(), c.Data + "/lumidor/tasks") << c.Value.value_or("(unset)").constData();
        EXPECT_EQ(UserFolders::HistoryFile(), c.State + "/lumidor/history.log");
        EXPECT_EQ(UserFolders::ErrorLog(), c.State + "/lumidor/errors.log");
    }
}

TEST(AppFrameTest, ExePathIsTheExecutablesFolderWithSeparator)
{
    TAppFrame frame;
    EXPECT_EQ(frame.ExePath, BuildDir() + QStringLiteral("/bin/"));
    EXPECT_EQ(ModuleFileName(), BuildDir() + QStringLiteral("/bin/test_platform"));
    // Two objects made one after the other agree.
    TAppFrame second;
    EXPECT_EQ(second.ExePath, frame.ExePath);
    EXPECT_EQ(second.AppDataPath, frame.AppDataPath);
    EXPECT_EQ(second.CommonAppDataPath, frame.CommonAppDataPath);
}

TEST(AppFrameTest, SystemDirIsTheLibexecFolderBesideTheExecutable)
{
    EXPECT_EQ(GetSystemDir(), BuildDir() + QStringLiteral("/libexec/lumidor"));
    EXPECT_EQ(SystemPath(GetSystemDir(), QStringLiteral("\\Shutdown.exe")),
              BuildDir() + QStringLiteral("/libexec/lumidor/Shutdown.exe"));
}

TEST(AppFrameTest, SystemPathTurnsTheCallersSuffixesIntoPathsOfThisSystem)
{
    const QString deep = QStringLiteral("/d") + QString(300, QLatin1Char('x'));
    struct TCase
    {
        QString Base;
        QString Suffix;
        QString Expected;
    } cases[] = {
        {"/home/u/.config", "\\Zelvo\\Corvane V8\\Lumidor\\Lumidor.ini", "/home/u/.config/Zelvo/Corvane V8/Lumidor/Lumidor.ini"},
        {"/home/u/.config", "\\Zelvo\\Corvane V8\\Main.ini", "/home/u/.config/Zelvo/Corvane V8/Main.ini"},
        {"/opt/lumidor/bin/", "Toolbox_Language", "/opt/lumidor/bin/Toolbox_Language"},
        {"/usr/libexec/lumidor", "\\Shutdown.exe", "/usr/libexec/lumidor/Shutdown.exe"},
        // An executable in the root folder: the language folder lies in the root.
        {"/", "Toolbox_Language", "/Toolbox_Language"},
        {deep, "\\Zelvo\\Corvane V8\\Main.ini", deep + "/Zelvo/Corvane V8/Main.ini"},
        // A failed lookup still gives a predictable path.
        {"", "\\Shutdown.exe", "/Shutdown.exe"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(SystemPath(c.Base, c.Suffix), c.Expected) << c.Base.toStdString() << " + " << c.Suffix.toStdString();
}
