// End-to-end: the real lumidor-taskd on a temporary home and store, with a
// recording stand-in as the items' program. Nothing here shuts anything down.

#include "platform/TaskServiceLauncher.h"
#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <paths.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utmpx.h>

namespace {

const QString ServiceProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd");

QString OwnUserName()
{
    const passwd* Entry = getpwuid(geteuid());
    return Entry ? QString::fromLocal8Bit(Entry->pw_name) : QString();
}

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs)
{
    QDeadlineTimer Deadline(TimeoutMs);
    while (!Done()) {
        if (Deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

qint64 NowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

// Leaves at least Margin seconds before the next minute begins, so that a
// trigger "this minute" or "next minute" means what the test thinks.
void AvoidMinuteEnd(int Margin)
{
    const int Second = int(NowSeconds() % 60);
    if (Second >= 60 - Margin)
        QThread::msleep(uint((60 - Second) * 1000 + 200));
}

TTriggerData TriggerAt(uint32_t Type, qint64 Moment)
{
    const TCalendarTime F = TriggerSchedule::LocalFields(Moment);
    TTriggerData T;
    T.TriggerType = Type;
    T.wBeginYear = F.wYear;
    T.wBeginMonth = F.wMonth;
    T.wBeginDay = F.wDay;
    T.wStartHour = F.wHour;
    T.wStartMinute = F.wMinute;
    T.rgFlags = WorkItem::TriggerKillAtDurationEnd;
    T.TypeWords[0] = 1;
    return T;
}

// A temporary home with a store, a stand-in program that records its runs,
// a utmp file that says whether the user is logged on, and the service.
class TaskServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(ServiceProgram)) << "build lumidor-taskd first";
        ASSERT_TRUE(Home.isValid());
        Store = Home.filePath("share/lumidor/tasks");
        Record = Home.filePath("record.txt");
        Log = Home.filePath("service.log");
        Utmp = Home.filePath("utmp");
        WorkItemStore::SetFolderForTesting(Store);
        ASSERT_TRUE(WorkItemStore::EnsureFolder());
        StandIn = WriteStandIn("Shutdown.exe", 0);
        SetLoggedOn(true);
    }

    void TearDown() override
    {
        StopService();
        WorkItemStore::SetFolderForTesting(QString());
    }

    QString WriteStandIn(const QString& Name, int SleepSeconds)
    {
        const QString Path = Home.filePath(Name);
        QFile F(Path);
        EXPECT_TRUE(F.open(QIODevice::WriteOnly));
        F.write(QStringLiteral("#!/bin/sh\n"
                               "echo \"$(date +%s.%N) $*\" >> '%1'\n"
                               "sleep %2\n")
                    .arg(Record).arg(SleepSeconds)
                    .toUtf8());
        F.close();
        EXPECT_EQ(::chmod(QFile::encodeName(Path).constData(), 0755), 0);
        return Path;
    }

    void SetLoggedOn(bool LoggedOn)
    {
        QFile F(Utmp);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        F.close();
        if (!LoggedOn)
            return;
        utmpx Entry{};
        Entry.ut_type = USER_PROCESS;
        Entry.ut_pid = getpid();
        const QByteArray User = OwnUserName().toLocal8Bit();
        strncpy(Entry.ut_user, User.constData(), sizeof Entry.ut_user);
        strncpy(Entry.ut_line, "pts/99", sizeof Entry.ut_line);
        strncpy(Entry.ut_id, "/99", sizeof Entry.ut_id);
        ASSERT_EQ(utmpxname(QFile::encodeName(Utmp).constData()), 0);
        setutxent();
        ASSERT_NE(pututxline(&Entry), nullptr);
        endutxent();
        (void)utmpxname(_PATH_UTMPX);
    }

    TWorkItem ShutdownItem(uint32_t Type, qint64 Moment, uint32_t Flags = 0x2002)
    {
        TWorkItem Item;
        Item.Application = StandIn;
        Item.Parameters = QStringLiteral("-s");
        Item.Flags = Flags;
        Item.HasAccount = true;
        Item.Account = OwnUserName();
        Item.Triggers.push_back(TriggerAt(Type, Moment));
        return Item;
    }

    void StartService()
    {
        Service.setProgram(ServiceProgram);
        Service.setArguments({"--store", Store, "--utmp", Utmp});
        Service.setStandardErrorFile(Log);
        Service.setStandardOutputFile(QProcess::nullDevice());
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("HOME", Home.path());
        Env.insert("XDG_DATA_HOME", Home.filePath("share"));
        Env.remove("LUMIDOR_TASK_STORE");
        Service.setProcessEnvironment(Env);
        Service.start();
        ASSERT_TRUE(Service.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return LogText().contains("started for"); }, 20000)) << LogText().toStdString();
    }

    // SIGTERM ends it cleanly: exit code 0.
    void StopService()
    {
        if (Service.state() == QProcess::NotRunning)
            return;
        Service.terminate();
        ASSERT_TRUE(Service.waitForFinished(20000));
        EXPECT_EQ(Service.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(Service.exitCode(), 0) << LogText().toStdString();
    }

    QString LogText() const
    {
        QFile F(Log);
        return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
    }

    QStringList Runs() const
    {
        QFile F(Record);
        if (!F.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(F.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    bool Exists(const QString& Name) const
    {
        return QFileInfo::exists(WorkItemStore::FilePath(Name));
    }

    QTemporaryDir Home;
    QString Store;
    QString Record;
    QString Log;
    QString Utmp;
    QString StandIn;
    QProcess Service;
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

TEST_F(TaskServiceTest, OneTimeItemSavedDuringItsMinuteRunsAtOnce)
{
    StartService();
    AvoidMinuteEnd(5);
    ASSERT_EQ(WorkItemStore::Create("thisminute", ShutdownItem(WorkItem::TriggerOnce, NowSeconds())), TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !Exists("thisminute"); }, 5000)) << LogText().toStdString();
    EXPECT_EQ(Runs().size(), 1);
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
