#include "app/UniqueInstance.h"
#include "platform/InstanceLock.h"
#include "platform/TaskServiceLauncher.h"
#include "support/ProcessSweep.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <signal.h>

// Starts the built program as separate processes on the offscreen platform,
// each run with a runtime folder of its own. The program starts the task
// service beside it on its store, which lies in the test's folder too.
namespace {

const QString Program = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor");

bool WaitFor(const std::function<bool()>& Done, int Ms)
{
    QDeadlineTimer deadline(Ms);
    while (!Done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
}

class ProgramStartTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo(Program).isExecutable()) << "build the lumidor target first";
        ASSERT_TRUE(FRoot.isValid());
        FRuntime = FRoot.path() + "/run";
        ASSERT_TRUE(QDir().mkpath(FRuntime));
        ASSERT_TRUE(QFile::setPermissions(FRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        FOldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", FRuntime.toUtf8());
    }

    void TearDown() override
    {
        // A started program's task service is detached and outlives it.
        EndStartedPrograms(FProcesses, FRoot.path());
        qputenv("XDG_RUNTIME_DIR", FOldRuntime);
    }

    QProcess* Start(const QString& Path, const QString& Runtime = QString())
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", Runtime.isEmpty() ? FRuntime : Runtime);
        env.insert("HOME", FRoot.path());
        env.insert("XDG_CONFIG_HOME", FRoot.path() + "/config");
        env.insert("XDG_DATA_HOME", FRoot.path() + "/share");
        env.remove("LUMIDOR_TASK_STORE");
        process->setProcessEnvironment(env);
        process->setProgram(Path);
        process->start();
        EXPECT_TRUE(process->waitForStarted(5000)) << Path.toStdString();
        FProcesses.push_back(std::move(process));
        return FProcesses.back().get();
    }

    // True once a running program of that file name listens for wake-ups
    // (it does so only while holding the lock). Taking the lock to probe
    // would turn the program into a later instance.
    bool WaitUntilHeld(const QString& ExeFileName, int Ms = 15000)
    {
        const QString channel = TInstanceLock(InstanceNameOf(ExeFileName)).ChannelPath();
        return WaitFor([&] {
            QLocalSocket probe;
            probe.connectToServer(channel);
            return probe.waitForConnected(100);
        }, Ms);
    }

    static bool EndedWithZero(QProcess* Process, int Ms)
    {
        return Process->waitForFinished(Ms) && Process->exitStatus() == QProcess::NormalExit && Process->exitCode() == 0;
    }

    QString CopyOfProgram(const QString& Folder, const QString& FileName)
    {
        EXPECT_TRUE(QDir().mkpath(Folder));
        const QString path = Folder + "/" + FileName;
        EXPECT_TRUE(QFile::copy(Program, path));
        return path;
    }

    QTemporaryDir FRoot;
    QString FRuntime;
    QByteArray FOldRuntime;
    std::vector<std::unique_ptr<QProcess>> FProcesses;
};

} // namespace

TEST_F(ProgramStartTest, SecondStartEndsAtOnceWithZeroAndTheFirstRunsOn)
{
    QProcess* first = Start(Program);
    ASSERT_TRUE(WaitUntilHeld("lumidor"));

    QProcess* second = Start(Program);
    EXPECT_TRUE(EndedWithZero(second, 1000));
    EXPECT_EQ(second->readAllStandardError(), QByteArray());
    EXPECT_EQ(first->state(), QProcess::Running);

    // The same file name in another folder, also with other letter case, is the same program.
    const QString deep = FRoot.path() + "/" + QString(150, QLatin1Char('f')) + "/" + QString(150, QLatin1Char('g'));
    EXPECT_TRUE(EndedWithZero(Start(CopyOfProgram(deep, "lumidor")), 1000));
    EXPECT_TRUE(EndedWithZero(Start(CopyOfProgram(FRoot.path() + "/upper", "LUMIDOR")), 1000));
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, LaterStartSendsItsWakeUpToTheHolder)
{
    // This test holds the program's lock itself, standing in for the first instance.
    TInstanceLock holder(InstanceNameOf("lumidor"));
    int wakeUps = 0;
    QObject::connect(&holder, &TInstanceLock::WakeUp, [&] { ++wakeUps; });
    ASSERT_EQ(holder.Acquire(), TInstanceLock::First);

    QProcess* later = Start(Program);
    EXPECT_TRUE(EndedWithZero(later, 1000));
    EXPECT_TRUE(WaitFor([&] { return wakeUps == 1; }, 2000));
}

TEST_F(ProgramStartTest, CopyUnderAnotherFileNameRunsAlongside)
{
    QProcess* first = Start(Program);
    ASSERT_TRUE(WaitUntilHeld("lumidor"));
    QProcess* copy = Start(CopyOfProgram(FRoot.path() + "/copy", "lumidor-copy"));
    EXPECT_TRUE(WaitUntilHeld("lumidor-copy"));
    EXPECT_EQ(copy->state(), QProcess::Running);
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, AfterTheFirstIsKilledTheNextStartIsFirstAgain)
{
    QProcess* first = Start(Program);
    ASSERT_TRUE(WaitUntilHeld("lumidor"));
    kill(pid_t(first->processId()), SIGKILL);
    ASSERT_TRUE(first->waitForFinished(5000));

    QProcess* next = Start(Program);
    EXPECT_TRUE(WaitUntilHeld("lumidor"));
    EXPECT_EQ(next->state(), QProcess::Running);
    // And it answers wake-ups over the channel the killed one left behind.
    EXPECT_TRUE(EndedWithZero(Start(Program), 1000));
    EXPECT_EQ(next->state(), QProcess::Running);
}

TEST_F(ProgramStartTest, GivesWayWhenNoInstanceLockCanBeHad)
{
    // A runtime folder so deep that no socket path fits into it.
    const QString deep = FRuntime + "/" + QString(120, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_TRUE(QFile::setPermissions(deep, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_TRUE(EndedWithZero(Start(Program, deep), 3000));
}

TEST_F(ProgramStartTest, StartsItsTaskServiceOnTheStoreOfItsDataFolderAndTheTestEndsIt)
{
    if (!QFileInfo(QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd")).isExecutable())
        GTEST_SKIP() << "lumidor-taskd is not built";
    const QString store = FRoot.path() + "/share/lumidor/tasks";
    QProcess* program = Start(Program);
    ASSERT_TRUE(WaitFor([&] { return TaskServiceRunning(store); }, 15000));

    // The service is its own session's: the program's end leaves it running.
    program->kill();
    ASSERT_TRUE(program->waitForFinished(5000));
    EXPECT_TRUE(TaskServiceRunning(store));
    EXPECT_FALSE(ProcessesCarrying(FRoot.path()).isEmpty());

    EXPECT_GE(EndProcessesCarrying(FRoot.path()), 1);
    EXPECT_TRUE(ProcessesCarrying(FRoot.path()).isEmpty());
    EXPECT_FALSE(TaskServiceRunning(store));
}
