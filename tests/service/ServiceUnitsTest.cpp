#include "platform/TaskServiceLauncher.h"
#include "service/CommandLine.h"
#include "service/TaskProcess.h"
#include "service/UserSession.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <paths.h>
#include <pwd.h>
#include <unistd.h>
#include <utmpx.h>

namespace {

QString OwnUserName()
{
    const passwd* Entry = getpwuid(geteuid());
    return Entry ? QString::fromLocal8Bit(Entry->pw_name) : QString();
}

void AddUtmpEntry(const QString& File, const QString& User, pid_t Pid, short Type = USER_PROCESS)
{
    utmpx Entry{};
    Entry.ut_type = Type;
    Entry.ut_pid = Pid;
    const QByteArray Name = User.toLocal8Bit();
    strncpy(Entry.ut_user, Name.constData(), sizeof Entry.ut_user);
    static int Counter = 0;
    const QByteArray Line = QStringLiteral("pts/%1").arg(++Counter).toLatin1();
    strncpy(Entry.ut_line, Line.constData(), sizeof Entry.ut_line);
    strncpy(Entry.ut_id, Line.right(4).constData(), sizeof Entry.ut_id);
    ASSERT_EQ(utmpxname(QFile::encodeName(File).constData()), 0);
    setutxent();
    ASSERT_NE(pututxline(&Entry), nullptr);
    endutxent();
    (void)utmpxname(_PATH_UTMPX);
}

} // namespace

TEST(CommandLine, SplitsParametersAsWindowsDoes)
{
    const struct {
        QString Line;
        QStringList Args;
    } Cases[] = {
        {"-s", {"-s"}},
        {"", {}},
        {"   ", {}},
        {"-s  -t\t60 ", {"-s", "-t", "60"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"a\\b", {"a\\b"}},
        {"a\\\\b", {"a\\\\b"}},
        {"a\\\"b", {"a\"b"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"a\\\\\\\"b", {"a\\\"b"}},
        {"\"C:\\dir\\\\\" x", {"C:\\dir\\", "x"}},
        {"$HOME `id` ;rm", {"$HOME", "`id`", ";rm"}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Line.toStdString());
        EXPECT_EQ(SplitCommandLine(Case.Line), Case.Args);
    }
}

TEST(UserSession, UtmpCountsLiveLoginsOfTheUserOnly)
{
    QTemporaryDir Dir;
    ASSERT_TRUE(Dir.isValid());
    const QString User = OwnUserName();
    const QString Empty = Dir.filePath("empty");
    const QString Live = Dir.filePath("live");
    const QString Others = Dir.filePath("others");
    const QString Dead = Dir.filePath("dead");
    for (const QString& File : {Empty, Live, Others, Dead}) {
        QFile F(File);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    }
    AddUtmpEntry(Live, User, getpid());
    AddUtmpEntry(Others, QStringLiteral("somebodyelse"), getpid());
    AddUtmpEntry(Others, User, getpid(), DEAD_PROCESS);
    // A pid far above pid_max: a login whose process is gone.
    AddUtmpEntry(Dead, User, 0x3ffffff0);

    EXPECT_FALSE(UserInUtmp(User, Empty));
    EXPECT_TRUE(UserInUtmp(User, Live));
    EXPECT_FALSE(UserInUtmp(User, Others));
    EXPECT_FALSE(UserInUtmp(User, Dead));
    EXPECT_FALSE(UserInUtmp(User, Dir.filePath("missing")));
    // A utmp file given is the only source asked.
    EXPECT_TRUE(UserHasSession(geteuid(), User, Live));
    EXPECT_FALSE(UserHasSession(geteuid(), User, Empty));
}

TEST(TaskEnvironment, IsCleanButKeepsTheSessionVariables)
{
    qputenv("LUMIDOR_SECRET_TEST_VARIABLE", "x");
    qputenv("DISPLAY", ":42");
    qputenv("LD_PRELOAD", "/tmp/evil.so");
    const QStringList Env = TaskEnvironment();
    qunsetenv("LUMIDOR_SECRET_TEST_VARIABLE");
    qunsetenv("LD_PRELOAD");
    EXPECT_TRUE(Env.contains("DISPLAY=:42"));
    EXPECT_TRUE(Env.contains("PATH=/usr/local/bin:/usr/bin:/bin"));
    EXPECT_TRUE(Env.contains("USER=" + OwnUserName()));
    for (const QString& Variable : Env) {
        EXPECT_FALSE(Variable.startsWith("LUMIDOR_")) << Variable.toStdString();
        EXPECT_FALSE(Variable.startsWith("LD_PRELOAD")) << Variable.toStdString();
    }
}

TEST(TaskServiceLauncher, TheLockKeepsASecondServiceOutAndTellsClientsOne)
{
    QTemporaryDir Store;
    ASSERT_TRUE(Store.isValid());
    EXPECT_FALSE(TaskServiceRunning(Store.path()));
    {
        const TTaskServiceLock First(Store.path());
        ASSERT_TRUE(First.Held());
        EXPECT_TRUE(TaskServiceRunning(Store.path()));
        const TTaskServiceLock Second(Store.path());
        EXPECT_FALSE(Second.Held());
        EXPECT_TRUE(Second.HeldByAnother());
        // Probing must not disturb the holder.
        EXPECT_TRUE(TaskServiceRunning(Store.path()));
    }
    EXPECT_FALSE(TaskServiceRunning(Store.path()));
    EXPECT_TRUE(TTaskServiceLock(Store.path()).Held());
    // No folder: no service, and no lock can be taken.
    const TTaskServiceLock Nowhere(Store.filePath("missing"));
    EXPECT_FALSE(Nowhere.Held());
    EXPECT_FALSE(Nowhere.HeldByAnother());
}

TEST(TaskServiceLauncher, FindsTheServiceBesideTheRunningProgram)
{
    const QString Saved = TaskServiceProgram();
    SetTaskServiceProgramForTesting(QString());
    EXPECT_EQ(TaskServiceProgram(), QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd"));
    SetTaskServiceProgramForTesting("/nonexistent/lumidor-taskd");
    QTemporaryDir Store;
    EXPECT_FALSE(StartTaskService(Store.path()));
    SetTaskServiceProgramForTesting(Saved);
}

TEST(TaskServiceResources, AutostartEntryAndUserUnitAreValidAndStartTheService)
{
    const QString Desktop = QStringLiteral(LUMIDOR_BUILD_DIR "/resources/service/lumidor-taskd.desktop");
    const QString Unit = QStringLiteral(LUMIDOR_BUILD_DIR "/resources/service/lumidor-taskd.service");
    for (const QString& File : {Desktop, Unit}) {
        QFile F(File);
        ASSERT_TRUE(F.open(QIODevice::ReadOnly)) << File.toStdString();
        const QString Text = QString::fromUtf8(F.readAll());
        EXPECT_TRUE(Text.contains(QRegularExpression("^Exec(Start)?=/\\S+/lumidor-taskd$", QRegularExpression::MultilineOption)))
            << Text.toStdString();
    }
    if (QStandardPaths::findExecutable("desktop-file-validate").isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess Validate;
    Validate.start("desktop-file-validate", {Desktop});
    ASSERT_TRUE(Validate.waitForFinished(10000));
    EXPECT_EQ(Validate.exitCode(), 0) << Validate.readAllStandardOutput().toStdString();
}
