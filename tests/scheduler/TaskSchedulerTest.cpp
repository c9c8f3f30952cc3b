#include "scheduler/uTaskScheduler.h"

#include "SchedulerFixture.h"
#include "platform/TriggerSchedule.h"

#include <QFile>
#include <QThread>
#include <QSysInfo>

#include <cstring>

#include <unistd.h>

namespace {

class TaskSchedulerTest : public SchedulerFixture
{
protected:
    static TTaskInfo Info(const QString& Name, TDateTime Start, uint8_t Kind = 0, uint8_t WeekDay = 0)
    {
        TTaskInfo Result;
        Result.TaskName = Name;
        Result.ApplicationName = QStringLiteral("/usr/libexec/lumidor/Shutdown.exe");
        Result.Parameters = QStringLiteral("-s");
        Result.StartTime = Start;
        Result.TriggerKind = Kind;
        Result.WeekDay = WeekDay;
        return Result;
    }

    // An item with only these triggers, in the store.
    static TStoreResult Store(const QString& Name, std::vector<TTriggerData> Triggers)
    {
        TWorkItem Item;
        Item.Triggers = std::move(Triggers);
        return WorkItemStore::Create(Name, Item);
    }

    QByteArray FileContent(const QString& Name)
    {
        QFile File(WorkItemStore::FilePath(Name));
        EXPECT_TRUE(File.open(QIODevice::ReadOnly));
        return File.readAll();
    }
};

TEST_F(TaskSchedulerTest, RecordStartsZeroFilled)
{
    const TTaskInfo Info;
    EXPECT_TRUE(Info.TaskName.isEmpty() && Info.ApplicationName.isEmpty() && Info.Parameters.isEmpty()
        && Info.WorkingDirectory.isEmpty() && Info.AccountName.isEmpty() && Info.Comment.isEmpty()
        && Info.TriggerText.isEmpty());
    EXPECT_EQ(Info.Priority, 0u);
    EXPECT_EQ(Info.MaxRunTime, 0u);
    EXPECT_EQ(Info.StartTime, 0.0);
    EXPECT_EQ(Info.EndTime, 0.0);
    EXPECT_EQ(Info.TriggerKind, 0);
    EXPECT_EQ(Info.WeekDay, 0);
    const SYSTEMTIME Zero = {};
    EXPECT_EQ(std::memcmp(&Info.NextRunTime, &Zero, sizeof Zero), 0);
}

TEST_F(TaskSchedulerTest, EmptyNameFailsWithoutCreatingAnything)
{
    TTaskScheduler Scheduler;
    EXPECT_FALSE(Scheduler.CreateTask(Info(QString(), At(2014, 7, 4, 13, 5))));
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
}

TEST_F(TaskSchedulerTest, OneTimeRecordGivesTheExactTriggerAndReadsBackWithoutSeconds)
{
    TTaskScheduler Scheduler;
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("Zelvo_Lumidor20140704130540"), At(2014, 7, 4, 13, 5, 40))));

    const TWorkItem Item = Stored(QStringLiteral("Zelvo_Lumidor20140704130540"));
    EXPECT_EQ(Item.Application, QStringLiteral("/usr/libexec/lumidor/Shutdown.exe"));
    EXPECT_EQ(Item.Parameters, QStringLiteral("-s"));
    EXPECT_EQ(Item.Flags, 0x2002u);
    EXPECT_TRUE(Item.HasAccount);
    EXPECT_EQ(Item.Account, QStringLiteral("root"));
    ASSERT_EQ(Item.Triggers.size(), 1u);
    EXPECT_EQ(Item.Triggers[0], TestTriggers::AsClientWrites(0, 2014, 7, 4, 13, 5));

    TTaskInfo Back;
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("Zelvo_Lumidor20140704130540"), Back));
    EXPECT_EQ(Back.StartTime, At(2014, 7, 4, 13, 5, 0));
    EXPECT_EQ(Back.TaskName, QStringLiteral("Zelvo_Lumidor20140704130540"));
    EXPECT_EQ(Back.ApplicationName, QStringLiteral("/usr/libexec/lumidor/Shutdown.exe"));
    EXPECT_EQ(Back.Parameters, QStringLiteral("-s"));
    EXPECT_EQ(Back.AccountName, QStringLiteral("root"));
    EXPECT_EQ(Back.Priority, 0x20u);
    EXPECT_EQ(Back.MaxRunTime, 259200000u);
    EXPECT_EQ(Back.TriggerText, QStringLiteral("At 13:05 on 7/4/2014"));
}

TEST_F(TaskSchedulerTest, TriggerKindAndWeekDayShapeTheTrigger)
{
    const struct
    {
        uint8_t Kind;
        uint8_t WeekDay;
        uint32_t Type;
        uint16_t Word0;
        uint16_t Days;
    } Cases[] = {
        {2, 0, 2, 1, 0x1},
        {2, 3, 2, 1, 0x8},
        {2, 6, 2, 1, 0x40},
        {2, 7, 2, 1, 0},
        {2, 255, 2, 1, 0},
        {1, 3, 1, 1, 0}, // a daily record ignores WeekDay
        {0, 3, 0, 1, 0},
        {3, 0, 3, 1, 0},
        {7, 0, 7, 1, 0},
        {9, 0, 0, 1, 0},
        {255, 2, 0, 1, 0},
    };
    TTaskScheduler Scheduler;
    int Number = 0;
    for (const auto& Case : Cases) {
        const QString Name = QStringLiteral("Kind%1").arg(++Number);
        ASSERT_TRUE(Scheduler.CreateTask(Info(Name, At(2014, 7, 4, 13, 5), Case.Kind, Case.WeekDay)));
        const TWorkItem Item = Stored(Name);
        ASSERT_EQ(Item.Triggers.size(), 1u);
        const TTriggerData& T = Item.Triggers[0];
        EXPECT_EQ(T.TriggerType, Case.Type) << int(Case.Kind);
        EXPECT_EQ(T.TypeWords[0], Case.Word0) << int(Case.Kind);
        EXPECT_EQ(T.TypeWords[1], Case.Days) << int(Case.Kind) << " " << int(Case.WeekDay);
        EXPECT_EQ(T.TypeWords[2], 0);
        EXPECT_EQ(T.rgFlags, 2u);
    }
}

TEST_F(TaskSchedulerTest, KindEightKeepsTheDisabledDefaultTriggerAndStillSaves)
{
    TTaskScheduler Scheduler;
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("Eight"), At(2014, 7, 4, 13, 5), 8)));
    const TWorkItem Item = Stored(QStringLiteral("Eight"));
    ASSERT_EQ(Item.Triggers.size(), 1u);
    EXPECT_TRUE(Item.Triggers[0].rgFlags & WorkItem::TriggerDisabled);
}

TEST_F(TaskSchedulerTest, TriggerTextComesFromTheLastTriggerAndStartTimeFromTheFirst)
{
    SetNow(2020, 1, 1, 0, 0);
    ASSERT_EQ(Store(QStringLiteral("Two"),
                  {Trigger(WorkItem::TriggerOnce, 2014, 7, 4, 13, 5), Trigger(WorkItem::TriggerDaily, 2015, 1, 2, 8, 0)}),
        TStoreResult::Ok);
    ASSERT_EQ(Store(QStringLiteral("Daily"), {Trigger(WorkItem::TriggerDaily, 2014, 7, 4, 13, 5)}), TStoreResult::Ok);

    TTaskScheduler Scheduler;
    TTaskInfo Two;
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("Two"), Two));
    EXPECT_EQ(Two.TriggerText, QStringLiteral("At 8:00 every day, starting 1/2/2015"));
    EXPECT_EQ(Two.StartTime, At(2014, 7, 4, 13, 5));

    TTaskInfo Info;
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("Daily"), Info));
    EXPECT_EQ(Info.StartTime, At(2014, 7, 4, 13, 5));
    EXPECT_EQ(Info.NextRunTime.wYear, 2020);
    EXPECT_EQ(Info.NextRunTime.wMonth, 1);
    EXPECT_EQ(Info.NextRunTime.wDay, 1);
    EXPECT_EQ(Info.NextRunTime.wDayOfWeek, 3);
    EXPECT_EQ(Info.NextRunTime.wHour, 13);
    EXPECT_EQ(Info.NextRunTime.wMinute, 5);
}

TEST_F(TaskSchedulerTest, GetTaskInfoWritesOnlyWhatItReads)
{
    ASSERT_EQ(Store(QStringLiteral("Bare"), {}), TStoreResult::Ok);
    ASSERT_EQ(Store(QStringLiteral("Broken"), {Trigger(WorkItem::TriggerOnce, 2014, 13, 40, 13, 5)}), TStoreResult::Ok);

    TTaskScheduler Scheduler;
    TTaskInfo Info;
    Info.EndTime = 5;
    Info.TriggerKind = 2;
    Info.WeekDay = 4;
    Info.StartTime = 0;
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("Bare"), Info));
    EXPECT_TRUE(Info.TriggerText.isEmpty());
    EXPECT_EQ(Info.StartTime, 0.0);
    EXPECT_EQ(Info.EndTime, 5.0);
    EXPECT_EQ(Info.TriggerKind, 2);
    EXPECT_EQ(Info.WeekDay, 4);
    // No account was ever set.
    EXPECT_TRUE(Info.AccountName.isEmpty());

    // Trigger fields that make no date leave StartTime as it was, and the
    // item still counts as read.
    Info.StartTime = 42;
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("Broken"), Info));
    EXPECT_EQ(Info.StartTime, 42.0);
    EXPECT_FALSE(Info.TriggerText.isEmpty());

    Info.Comment = QStringLiteral("stale");
    EXPECT_FALSE(Scheduler.GetTaskInfo(QStringLiteral("Missing"), Info));
    EXPECT_TRUE(Info.Comment.isEmpty());
    EXPECT_TRUE(Info.TaskName.isEmpty());
    EXPECT_EQ(Info.StartTime, 42.0);
}

TEST_F(TaskSchedulerTest, TaskExistsNeedsTheExtensionInAnyCase)
{
    TTaskScheduler Scheduler;
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("Zelvo_Lumidor1"), At(2030, 1, 1, 12, 0))));
    QFile Damaged(Folder + QStringLiteral("/Damaged.job"));
    ASSERT_TRUE(Damaged.open(QIODevice::WriteOnly));
    Damaged.write("LumidorWorkItem 1\n");
    Damaged.close();

    EXPECT_TRUE(Scheduler.TaskExists(QStringLiteral("ZELVO_LUMIDOR1.JOB")));
    EXPECT_TRUE(Scheduler.TaskExists(QStringLiteral("zelvo_lumidor1.job")));
    EXPECT_FALSE(Scheduler.TaskExists(QStringLiteral("Zelvo_Lumidor1")));
    EXPECT_FALSE(Scheduler.TaskExists(QStringLiteral("Zelvo_Lumidor2.job")));
    EXPECT_FALSE(Scheduler.TaskExists(QStringLiteral("Damaged.job")));
    EXPECT_FALSE(Scheduler.TaskExists(QString()));
}

// GetTaskInfo right after TaskExists reuses the item that call opened; it
// must never answer for another job or with an item gone or changed since.
TEST_F(TaskSchedulerTest, GetTaskInfoAfterTaskExistsAnswersForTheRightItemAsItIsNow)
{
    TTaskScheduler Scheduler;
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("A"), At(2030, 1, 1, 12, 0))));
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("B"), At(2031, 2, 2, 8, 0))));
    TTaskInfo Read;

    ASSERT_TRUE(Scheduler.TaskExists(QStringLiteral("A.job")));
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("B"), Read));
    EXPECT_EQ(Read.StartTime, At(2031, 2, 2, 8, 0));
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("A"), Read));
    EXPECT_EQ(Read.StartTime, At(2030, 1, 1, 12, 0));

    ASSERT_TRUE(Scheduler.TaskExists(QStringLiteral("A.job")));
    EXPECT_TRUE(Scheduler.DeleteTask(QStringLiteral("A")));
    EXPECT_FALSE(Scheduler.GetTaskInfo(QStringLiteral("A"), Read));

    // Changed by someone else a while after the check.
    ASSERT_TRUE(Scheduler.TaskExists(QStringLiteral("B.job")));
    QThread::msleep(150);
    TWorkItem Item;
    ASSERT_EQ(WorkItemStore::Load(QStringLiteral("B"), Item), TStoreResult::Ok);
    Item.Comment = QStringLiteral("changed");
    ASSERT_EQ(WorkItemStore::Replace(QStringLiteral("B"), Item), TStoreResult::Ok);
    ASSERT_TRUE(Scheduler.GetTaskInfo(QStringLiteral("B"), Read));
    EXPECT_EQ(Read.Comment, QStringLiteral("changed"));
}

TEST_F(TaskSchedulerTest, CreateTaskLeavesAnExistingItemAsItWas)
{
    TTaskScheduler Scheduler;
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("Job"), At(2030, 1, 1, 12, 0))));
    const QByteArray Before = FileContent(QStringLiteral("Job"));
    TTaskInfo Other = Info(QStringLiteral("Job"), At(2031, 2, 2, 8, 0), 1);
    Other.Parameters = QStringLiteral("-r");
    EXPECT_FALSE(Scheduler.CreateTask(Other));
    Other.TaskName = QStringLiteral("JOB");
    EXPECT_FALSE(Scheduler.CreateTask(Other));
    EXPECT_EQ(FileContent(QStringLiteral("Job")), Before);
    EXPECT_EQ(WorkItemStore::List(), QStringList{QStringLiteral("Job.job")});
}

TEST_F(TaskSchedulerTest, DeleteTaskAnswersWhetherAnItemWasDeleted)
{
    TTaskScheduler Scheduler;
    ASSERT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("Job"), At(2030, 1, 1, 12, 0))));
    EXPECT_FALSE(Scheduler.DeleteTask(QStringLiteral("Missing")));
    EXPECT_TRUE(Scheduler.DeleteTask(QStringLiteral("Job")));
    EXPECT_FALSE(Scheduler.DeleteTask(QStringLiteral("Job")));
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
}

TEST_F(TaskSchedulerTest, UnconnectedClientDoesNothingAndSaysSo)
{
    // A plain file where the store's folder belongs: no scheduler to reach.
    QFile Blocker(Folder);
    ASSERT_TRUE(Blocker.open(QIODevice::WriteOnly));
    Blocker.close();

    TTaskScheduler Scheduler;
    EXPECT_NE(Scheduler.Connect(), S_OK);
    EXPECT_FALSE(Scheduler.CreateTask(Info(QStringLiteral("Job"), At(2030, 1, 1, 12, 0))));
    EXPECT_FALSE(Scheduler.TaskExists(QStringLiteral("Job.job")));
    TTaskInfo Read;
    EXPECT_FALSE(Scheduler.GetTaskInfo(QStringLiteral("Job"), Read));
    EXPECT_FALSE(Scheduler.DeleteTask(QStringLiteral("Job")));
    EXPECT_EQ(Scheduler.ActivateTask(QStringLiteral("Job")), nullptr);

    ASSERT_TRUE(QFile::remove(Folder));
    EXPECT_EQ(Scheduler.Connect(), S_OK);
    EXPECT_EQ(Scheduler.Connect(), S_OK);
    EXPECT_TRUE(Scheduler.CreateTask(Info(QStringLiteral("Job"), At(2030, 1, 1, 12, 0))));
}

TEST_F(TaskSchedulerTest, ConnectStartsTheTaskServiceOnTheStore)
{
    const QString Record = Root.path() + QStringLiteral("/started");
    const QString StandIn = Root.path() + QStringLiteral("/service");
    QFile Script(StandIn);
    ASSERT_TRUE(Script.open(QIODevice::WriteOnly));
    Script.write("#!/bin/sh\necho \"$@\" > '" + QFile::encodeName(Record) + "'\n");
    Script.close();
    ASSERT_TRUE(Script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    SetTaskServiceProgramForTesting(StandIn);

    TTaskScheduler Scheduler;
    QFile Started(Record);
    for (int Waited = 0; Waited < 100 && Started.size() == 0; ++Waited)
        ::usleep(50000);
    ASSERT_TRUE(Started.open(QIODevice::ReadOnly));
    EXPECT_EQ(Started.readAll().trimmed(), "--store " + QFile::encodeName(Folder));
}

TEST_F(TaskSchedulerTest, FindProcessIdIgnoresTheCaseOfAsciiLettersAndTakesTheFirst)
{
    ProcessList::SetSnapshotForTesting([] {
        return std::vector<TProcessEntry>{{3, QStringLiteral("bash"), 0}, {5, QStringLiteral("explorer.exe"), 1000},
            {9, QStringLiteral("Explorer.EXE"), 1001}, {11, QStringLiteral("\u00c9dit"), 0}};
    });
    const TTaskScheduler Scheduler;
    EXPECT_EQ(Scheduler.FindProcessId(QStringLiteral("Explorer.EXE")), 5u);
    EXPECT_EQ(Scheduler.FindProcessId(QStringLiteral("EXPLORER.EXE")), 5u);
    EXPECT_EQ(Scheduler.FindProcessId(QStringLiteral("explorer")), 0u);
    EXPECT_EQ(Scheduler.FindProcessId(QStringLiteral("\u00c9DIT")), 11u);
    EXPECT_EQ(Scheduler.FindProcessId(QStringLiteral("\u00e9dit")), 0u);
    EXPECT_EQ(Scheduler.FindProcessId(QString()), 0u);
}

TEST_F(TaskSchedulerTest, GetProcessAccountNamesTheOwnerOrLeavesTheNames)
{
    ProcessList::SetSnapshotForTesting({});
    QString User = QStringLiteral("as it came");
    QString Domain = QStringLiteral("as it came");
    QString Sid = QStringLiteral("old");
    GetProcessAccount(0, User, Domain, Sid);
    EXPECT_EQ(User, QStringLiteral("as it came"));
    EXPECT_EQ(Domain, QStringLiteral("as it came"));
    EXPECT_TRUE(Sid.isEmpty());

    GetProcessAccount(uint32_t(getpid()), User, Domain, Sid);
    EXPECT_EQ(User, QStringLiteral("root"));
    EXPECT_EQ(Domain, QSysInfo::machineHostName());
    EXPECT_FALSE(User.contains(QLatin1Char('\\')) || Domain.contains(QLatin1Char('\\')));
    EXPECT_EQ(Sid, QStringLiteral("S-1-22-1-0"));

    QString Text = QStringLiteral("old");
    EXPECT_FALSE(SidToText({2, 22, {1}}, Text));
    EXPECT_TRUE(Text.isEmpty());
}

TEST_F(TaskSchedulerTest, JobsRunAsTheOwnerOfTheFirstDesktopShell)
{
    const struct
    {
        const char* What;
        std::vector<TProcessEntry> Processes;
        const char* Account;
    } Cases[] = {
        {"no shell: the user running the program", {{4, QStringLiteral("bash"), 65534}}, "root"},
        {"the first shell in snapshot order",
            {{4, QStringLiteral("bash"), 0}, {8, QStringLiteral("Plasmashell"), 65534}, {9, QStringLiteral("gnome-shell"), 0}},
            "nobody"},
        {"a shell whose owner has no account", {{8, QStringLiteral("xfce4-panel"), 3999999999u}}, "root"},
    };
    int Number = 0;
    for (const auto& Case : Cases) {
        const std::vector<TProcessEntry> Processes = Case.Processes;
        ProcessList::SetSnapshotForTesting([Processes] { return Processes; });
        TTaskScheduler Scheduler;
        const QString Name = QStringLiteral("Shell%1").arg(++Number);
        ASSERT_TRUE(Scheduler.CreateTask(Info(Name, At(2030, 1, 1, 12, 0)))) << Case.What;
        EXPECT_EQ(Stored(Name).Account.toStdString(), Case.Account) << Case.What;
    }
}

} // namespace
