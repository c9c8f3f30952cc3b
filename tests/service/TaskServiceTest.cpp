// End-to-end: the real lumidor-taskd on a temporary home and store, with a
// recording stand-in as the items' program. Nothing here shuts anything down.

#include "platform/TaskServiceLauncher.h"
#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"
#include "support/TaskServiceFixture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace ServiceTesting;

namespace {

class TaskServiceTest : public TTaskServiceFixture
{
protected:
    void TearDown() override
    {
        StopService();
        TTaskServiceFixture::TearDown();
    }

    void StopService()
    {
        if (Service.state() == QProcess::NotRunning)
            return;
        Service.terminate();
        ASSERT_TRUE(Service.waitForFinished(20000));
        EXPECT_EQ(Service.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(Service.exitCode(), 0) << LogText().toStdString();
    }

    bool Exists(const QString& Name) const
    {
        return QFileInfo::exists(WorkItemStore::FilePath(Name));
    }

    // The history's lines about one item's file.
    QStringList HistoryOf(const QString& FileName) const
    {
        QFile F(Home.filePath("state/lumidor/history.log"));
        QStringList Found;
        if (F.open(QIODevice::ReadOnly))
            for (const QString& Line : QString::fromUtf8(F.readAll()).split('\n'))
                if (Line.contains(' ' + FileName + ": "))
                    Found += Line;
        return Found;
    }
};

} // namespace

TEST_F(TaskServiceTest, OneTimeItemForTheNextMinuteRunsOnceWithItsParametersAndIsDeleted)
{
    AvoidMinuteEnd(3);
    const qint64 Due = (NowSeconds() / 60 + 1) * 60;
    ASSERT_EQ(WorkItemStore::Create("Zelvo_Lumidor20240101120000", ShutdownItem(WorkItem::TriggerOnce, Due)),
        TStoreResult::Ok);
    StartService();
    EXPECT_TRUE(Exists("Zelvo_Lumidor20240101120000"));
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 75000)) << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !Exists("Zelvo_Lumidor20240101120000"); }, 10000)) << LogText().toStdString();

    const QStringList Lines = Runs();
    ASSERT_EQ(Lines.size(), 1);
    const QStringList Fields = Lines.first().split(' ');
    ASSERT_EQ(Fields.size(), 2);
    EXPECT_EQ(Fields.at(1), "-s");
    const double Delay = Fields.at(0).toDouble() - double(Due);
    EXPECT_GE(Delay, 0.0);
    EXPECT_LT(Delay, 1.0);
    QThread::msleep(1500);
    EXPECT_EQ(Runs().size(), 1);
}

TEST_F(TaskServiceTest, DailyItemRunsAndStaysWithItsNextRunADayLater)
{
    AvoidMinuteEnd(3);
    const qint64 Due = (NowSeconds() / 60 + 1) * 60;
    ASSERT_EQ(WorkItemStore::Create("daily", ShutdownItem(WorkItem::TriggerDaily, Due)), TStoreResult::Ok);
    StartService();
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 75000)) << LogText().toStdString();
    TWorkItem Item;
    ASSERT_TRUE(WaitUntil([&] {
        return WorkItemStore::Load("daily", Item) == TStoreResult::Ok && Item.Status != WorkItem::StatusRunning;
    }, 10000)) << LogText().toStdString();

    EXPECT_EQ(Item.Status, WorkItem::StatusReady);
    EXPECT_EQ(Item.ExitCode, 0u);
    const TCalendarTime Expected = TriggerSchedule::LocalFields(Due);
    EXPECT_EQ(Item.MostRecentRun.wYear, Expected.wYear);
    EXPECT_EQ(Item.MostRecentRun.wDay, Expected.wDay);
    EXPECT_EQ(Item.MostRecentRun.wHour, Expected.wHour);
    EXPECT_EQ(Item.MostRecentRun.wMinute, Expected.wMinute);
    const QDate Tomorrow = QDate(Expected.wYear, Expected.wMonth, Expected.wDay).addDays(1);
    const std::optional<qint64> Next
        = TriggerSchedule::LocalMoment(Tomorrow.year(), Tomorrow.month(), Tomorrow.day(), Expected.wHour, Expected.wMinute);
    ASSERT_TRUE(Next.has_value());
    EXPECT_EQ(TriggerSchedule::NextRun(Item, Due + 1).value_or(0), *Next);
    EXPECT_EQ(Runs().size(), 1);
}

TEST_F(TaskServiceTest, OneTimeRunThatPassedWhileStoppedIsNotRunAndIsDeletedAtStartUp)
{
    AvoidMinuteEnd(5);
    const qint64 Passed = NowSeconds() - 3600;
    ASSERT_EQ(WorkItemStore::Create("passed", ShutdownItem(WorkItem::TriggerOnce, Passed)), TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Create("passedkept", ShutdownItem(WorkItem::TriggerOnce, Passed, 0x2000)), TStoreResult::Ok);
    // Two minutes ago: within no window of the service either.
    ASSERT_EQ(WorkItemStore::Create("justpassed", ShutdownItem(WorkItem::TriggerOnce, NowSeconds() - 120)),
        TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Create("ahead", ShutdownItem(WorkItem::TriggerOnce, NowSeconds() + 7200)), TStoreResult::Ok);
    StartService();

    EXPECT_FALSE(Exists("passed"));
    EXPECT_FALSE(Exists("justpassed"));
    EXPECT_TRUE(Exists("passedkept"));
    EXPECT_TRUE(Exists("ahead"));
    QThread::msleep(1000);
    EXPECT_TRUE(Runs().isEmpty());
    EXPECT_TRUE(LogText().contains("passed.job: deleted without running")) << LogText().toStdString();
}

TEST_F(TaskServiceTest, RunThatPassedAMomentBeforeTheServiceCameUpIsLoggedMissedAndNotRun)
{
    AvoidMinuteEnd(5);
    const qint64 Due = (NowSeconds() / 60 + 1) * 60;
    ASSERT_EQ(WorkItemStore::Create("daily", ShutdownItem(WorkItem::TriggerDaily, Due, 0)), TStoreResult::Ok);
    // No service was up when the run's time came; one comes up within its second.
    while (QDateTime::currentMSecsSinceEpoch() < Due * 1000 + 50)
        QThread::msleep(10);
    StartService();
    QThread::msleep(1500);
    EXPECT_TRUE(Runs().isEmpty()) << LogText().toStdString();
    EXPECT_TRUE(LogText().contains("daily.job: 1 run(s) missed while no service was running")) << LogText().toStdString();
    // The history says so too, once.
    const QStringList Found = HistoryOf("daily.job");
    ASSERT_EQ(Found.size(), 1) << Found.join('\n').toStdString();
    EXPECT_TRUE(Found.first().contains(" missed daily.job: the run due at "
                                       + QDateTime::fromSecsSinceEpoch(Due).toString("yyyy-MM-dd HH:mm:ss")))
        << Found.first().toStdString();
}

TEST_F(TaskServiceTest, OneTimeItemSavedDuringItsMinuteRunsAtOnce)
{
    StartService();
    AvoidMinuteEnd(5);
    ASSERT_EQ(WorkItemStore::Create("thisminute", ShutdownItem(WorkItem::TriggerOnce, NowSeconds())), TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !Exists("thisminute"); }, 5000)) << LogText().toStdString();
    EXPECT_EQ(Runs().size(), 1);
}

// The refusal is kept in the item: a service that comes up again, within the
// run's minute or later, neither refuses it again nor reports it missed.
TEST_F(TaskServiceTest, ARefusedRunIsInTheHistoryOnceAcrossRestarts)
{
    SetLoggedOn(false);
    AvoidMinuteEnd(10);
    ASSERT_EQ(WorkItemStore::Create("refused", ShutdownItem(WorkItem::TriggerOnce, NowSeconds(), 0x2000)),
        TStoreResult::Ok);
    StartService();
    ASSERT_TRUE(WaitUntil([&] { return !HistoryOf("refused.job").isEmpty(); }, 5000)) << LogText().toStdString();
    for (int Restart = 0; Restart < 2; ++Restart) {
        StopService();
        StartService();
        QThread::msleep(1500);
    }
    const QStringList Found = HistoryOf("refused.job");
    ASSERT_EQ(Found.size(), 1) << Found.join('\n').toStdString();
    EXPECT_TRUE(Found.first().contains(" refused refused.job: the run due at ")) << Found.first().toStdString();
    EXPECT_TRUE(Runs().isEmpty());
    EXPECT_TRUE(Exists("refused"));
}

TEST_F(TaskServiceTest, ItemDeletedWhileItRunsIsNotBroughtBack)
{
    StandIn = WriteStandIn("Slow.exe", 2);
    StartService();
    AvoidMinuteEnd(8);
    ASSERT_EQ(WorkItemStore::Create("running", ShutdownItem(WorkItem::TriggerOnce, NowSeconds(), 0x2000)),
        TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    ASSERT_EQ(WorkItemStore::Remove("running"), TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains("deleted meanwhile"); }, 10000)) << LogText().toStdString();
    QThread::msleep(500);
    EXPECT_FALSE(Exists("running"));
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
}

TEST_F(TaskServiceTest, RefusesItemsThatAreNotSafeOrNotTheUsers)
{
    SetLoggedOn(false);
    StartService();
    AvoidMinuteEnd(8);
    const qint64 Now = NowSeconds();
    TWorkItem Relative = ShutdownItem(WorkItem::TriggerOnce, Now, 0x2);
    Relative.Application = "Shutdown.exe";
    TWorkItem OtherUser = ShutdownItem(WorkItem::TriggerOnce, Now, 0x2);
    OtherUser.Account = "somebodyelse";
    TWorkItem System = ShutdownItem(WorkItem::TriggerOnce, Now, 0x2);
    System.HasAccount = false;
    TWorkItem Writable = ShutdownItem(WorkItem::TriggerOnce, Now, 0x2);
    Writable.Parameters = "writable";
    TWorkItem Good = ShutdownItem(WorkItem::TriggerOnce, Now, 0x2);
    Good.Parameters = "\"good one\"";
    // Only while logged on, and the user is not.
    TWorkItem LoggedOff = ShutdownItem(WorkItem::TriggerOnce, Now, 0x2002);
    LoggedOff.Parameters = "loggedoff";

    // Written before the service can see it, then opened to the group.
    const QString WritablePath = Home.filePath("writable.job");
    {
        QFile F(WritablePath);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(WorkItemStore::Serialize(Writable));
    }
    ASSERT_EQ(::chmod(QFile::encodeName(WritablePath).constData(), 0664), 0);
    ASSERT_TRUE(QFile::rename(WritablePath, Store + "/writable.job"));
    for (const auto& [Name, Item] : {std::pair{"relative", Relative}, std::pair{"otheruser", OtherUser},
             std::pair{"system", System}, std::pair{"loggedoff", LoggedOff}, std::pair{"good", Good}})
        ASSERT_EQ(WorkItemStore::Create(Name, Item), TStoreResult::Ok);

    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    QThread::msleep(1500);
    const QStringList Lines = Runs();
    ASSERT_EQ(Lines.size(), 1) << Lines.join('\n').toStdString();
    EXPECT_TRUE(Lines.first().endsWith(" good one"));
    const QString Text = LogText();
    EXPECT_TRUE(Text.contains("relative.job: refused")) << Text.toStdString();
    EXPECT_TRUE(Text.contains("otheruser.job: refused")) << Text.toStdString();
    EXPECT_TRUE(Text.contains("system.job: refused")) << Text.toStdString();
    EXPECT_TRUE(Text.contains("writable.job is left alone: refused")) << Text.toStdString();
    EXPECT_TRUE(Text.contains("loggedoff.job: not run")) << Text.toStdString();
    // The unsafe file is neither run nor touched.
    EXPECT_TRUE(QFileInfo::exists(Store + "/writable.job"));
}

TEST_F(TaskServiceTest, ASecondServiceOnTheSameStoreLeavesAtOnce)
{
    StartService();
    EXPECT_TRUE(TaskServiceRunning(Store));
    QProcess Second;
    Second.setStandardErrorFile(Home.filePath("second.log"));
    Second.start(ServiceProgram, {"--store", Store, "--utmp", Utmp});
    ASSERT_TRUE(Second.waitForFinished(5000));
    EXPECT_EQ(Second.exitCode(), 0);
    StopService();
    EXPECT_FALSE(TaskServiceRunning(Store));
    EXPECT_TRUE(LogText().contains("stopping"));
}

TEST_F(TaskServiceTest, StartTaskServiceStartsOneDetachedServiceThatEndsWithItsStore)
{
    // Test programs start no service unless told which one.
    SetTaskServiceProgramForTesting(ServiceProgram);
    EXPECT_FALSE(TaskServiceRunning(Store));
    ASSERT_TRUE(StartTaskService(Store));
    ASSERT_TRUE(WaitUntil([&] { return TaskServiceRunning(Store); }, 10000));
    // A second start finds the first and starts nothing.
    EXPECT_TRUE(StartTaskService(Store));

    // Find it by its command line, then take its store away.
    const auto ServicePids = [&] {
        QList<int> Pids;
        for (const QString& Entry : QDir("/proc").entryList(QDir::Dirs)) {
            bool Ok = false;
            const int Pid = Entry.toInt(&Ok);
            QFile Cmd("/proc/" + Entry + "/cmdline");
            if (Ok && Cmd.open(QIODevice::ReadOnly)) {
                const QByteArray Line = Cmd.readAll();
                if (Line.contains("lumidor-taskd") && Line.contains(QFile::encodeName(Store)))
                    Pids += Pid;
            }
        }
        return Pids;
    };
    const QList<int> Pids = ServicePids();
    ASSERT_EQ(Pids.size(), 1);
    EXPECT_EQ(getsid(Pids.first()), Pids.first());
    ASSERT_TRUE(QDir(Store).removeRecursively());
    EXPECT_TRUE(WaitUntil([&] { return ServicePids().isEmpty(); }, 10000));
}

TEST_F(TaskServiceTest, RefusesAStoreOthersCanWriteAndRunsNothingFromIt)
{
    ASSERT_EQ(WorkItemStore::Create("thisminute", ShutdownItem(WorkItem::TriggerOnce, NowSeconds())), TStoreResult::Ok);
    ASSERT_EQ(::chmod(QFile::encodeName(Store).constData(), 0770), 0);
    QProcess Refused;
    Refused.setStandardErrorFile(Log);
    Refused.start(ServiceProgram, {"--store", Store, "--utmp", Utmp});
    ASSERT_TRUE(Refused.waitForFinished(10000));
    EXPECT_EQ(Refused.exitCode(), 1);
    EXPECT_TRUE(LogText().contains("refused: the store")) << LogText().toStdString();
    EXPECT_TRUE(Runs().isEmpty());
    EXPECT_FALSE(TaskServiceRunning(Store));
}

TEST_F(TaskServiceTest, TimeLimitEndsOtherProgramsButNotTheShutdownToolWaitingForItsTime)
{
    const QString Tool = WriteStandIn("Shutdown.exe", 3);
    const QString Other = WriteStandIn("Other.exe", 3);
    StartService();
    AvoidMinuteEnd(10);
    TWorkItem Waiting = ShutdownItem(WorkItem::TriggerOnce, NowSeconds(), 0x2000);
    Waiting.Application = Tool;
    Waiting.MaxRunTime = 1000;
    TWorkItem Limited = Waiting;
    Limited.Application = Other;
    ASSERT_EQ(WorkItemStore::Create("waiting", Waiting), TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Create("limited", Limited), TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains("limited.job: ran longer than its limit"); }, 10000))
        << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return LogText().contains("waiting.job: finished with exit code 0"); }, 10000))
        << LogText().toStdString();
    EXPECT_FALSE(LogText().contains("waiting.job: ran longer than its limit")) << LogText().toStdString();
}
