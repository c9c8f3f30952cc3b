// The real lumidor-taskd, killed, restarted and robbed of its store, with a
// recording stand-in as the items' program. Nothing here shuts anything down.

#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

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

// At least Margin seconds before the next minute begins.
void AvoidMinuteEnd(int Margin)
{
    const int Second = int(NowSeconds() % 60);
    if (Second >= 60 - Margin)
        QThread::msleep(uint((60 - Second) * 1000 + 200));
}

class ServiceFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(ServiceProgram)) << "build lumidor-taskd first";
        Store = Home.filePath("share/lumidor/tasks");
        Record = Home.filePath("record.txt");
        Log = Home.filePath("service.log");
        Utmp = Home.filePath("utmp");
        WorkItemStore::SetFolderForTesting(Store);
        ASSERT_TRUE(WorkItemStore::EnsureFolder());
        WriteStandIn(0);
        WriteUtmp();
    }

    void TearDown() override
    {
        if (Service.state() != QProcess::NotRunning) {
            Service.terminate();
            Service.waitForFinished(20000);
        }
        WorkItemStore::SetFolderForTesting(QString());
    }

    void WriteStandIn(int SleepSeconds)
    {
        StandIn = Home.filePath("Shutdown.exe");
        QFile F(StandIn);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        F.write(QStringLiteral("#!/bin/sh\necho \"$(date +%s.%N) $*\" >> '%1'\nsleep %2\n").arg(Record).arg(SleepSeconds).toUtf8());
        F.close();
        ASSERT_EQ(::chmod(QFile::encodeName(StandIn).constData(), 0755), 0);
    }

    // A utmp file in which the user is logged on.
    void WriteUtmp()
    {
        QFile F(Utmp);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        F.close();
        utmpx Entry{};
        Entry.ut_type = USER_PROCESS;
        Entry.ut_pid = getpid();
        const QByteArray User = OwnUserName().toLocal8Bit();
        strncpy(Entry.ut_user, User.constData(), sizeof Entry.ut_user);
        strncpy(Entry.ut_line, "pts/98", sizeof Entry.ut_line);
        strncpy(Entry.ut_id, "/98", sizeof Entry.ut_id);
        ASSERT_EQ(utmpxname(QFile::encodeName(Utmp).constData()), 0);
        setutxent();
        ASSERT_NE(pututxline(&Entry), nullptr);
        endutxent();
        (void)utmpxname(_PATH_UTMPX);
    }

    TWorkItem Item(uint32_t Type, qint64 Moment, uint32_t Flags) const
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
        TWorkItem I;
        I.Application = StandIn;
        I.Parameters = QStringLiteral("-s");
        I.Flags = Flags;
        I.HasAccount = true;
        I.Account = OwnUserName();
        I.Triggers.push_back(T);
        return I;
    }

    void StartService()
    {
        Service.setProgram(ServiceProgram);
        Service.setArguments({"--store", Store, "--utmp", Utmp});
        Service.setStandardErrorFile(Log, QIODevice::Append);
        Service.setStandardOutputFile(QProcess::nullDevice());
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("HOME", Home.path());
        Env.insert("XDG_DATA_HOME", Home.filePath("share"));
        Env.remove("LUMIDOR_TASK_STORE");
        Service.setProcessEnvironment(Env);
        const int Starts = LogText().count("started for");
        Service.start();
        ASSERT_TRUE(Service.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return LogText().count("started for") > Starts; }, 20000)) << LogText().toStdString();
    }

    void KillService()
    {
        Service.kill();
        ASSERT_TRUE(Service.waitForFinished(10000));
    }

    QString LogText() const
    {
        QFile F(Log);
        return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()) : QString();
    }

    QStringList Runs() const
    {
        QFile F(Record);
        return F.open(QIODevice::ReadOnly) ? QString::fromUtf8(F.readAll()).split('\n', Qt::SkipEmptyParts) : QStringList();
    }

    QTemporaryDir Home;
    QString Store;
    QString Record;
    QString Log;
    QString Utmp;
    QString StandIn;
    QProcess Service;
};

TEST_F(ServiceFaultTest, KilledAndRestartedBeforeItemsAreDueRunsEachOnceAtItsTimeAndLosesNothing)
{
    AvoidMinuteEnd(15);
    const qint64 Due = (NowSeconds() / 60 + 1) * 60;
    const TWorkItem Once = Item(WorkItem::TriggerOnce, Due, WorkItem::FlagDeleteWhenDone | WorkItem::FlagRunOnlyIfLoggedOn);
    const TWorkItem Daily = Item(WorkItem::TriggerDaily, Due, WorkItem::FlagRunOnlyIfLoggedOn);
    const TWorkItem Later = Item(WorkItem::TriggerOnce, Due + 7200, WorkItem::FlagDeleteWhenDone);
    ASSERT_EQ(WorkItemStore::Create("once", Once), TStoreResult::Ok);
    ASSERT_EQ(WorkItemStore::Create("daily", Daily), TStoreResult::Ok);
    StartService();
    ASSERT_EQ(WorkItemStore::Create("later", Later), TStoreResult::Ok);
    QThread::msleep(300);
    KillService();

    // Nothing that was stored is gone or changed by the kill.
    TWorkItem Loaded;
    for (const auto& [Name, Expected] : {std::pair{"once", Once}, std::pair{"daily", Daily}, std::pair{"later", Later}}) {
        ASSERT_EQ(WorkItemStore::Load(Name, Loaded), TStoreResult::Ok) << Name;
        EXPECT_EQ(Loaded, Expected) << Name;
    }

    // The lock of the killed service went with it: a new one starts and runs
    // both items at their time, once each.
    StartService();
    ASSERT_TRUE(WaitUntil([&] { return Runs().size() >= 2; }, 80000)) << LogText().toStdString();
    ASSERT_TRUE(WaitUntil([&] { return !QFileInfo::exists(WorkItemStore::FilePath("once")); }, 10000)) << LogText().toStdString();
    QThread::msleep(1500);
    EXPECT_EQ(Runs().size(), 2);
    for (const QString& Line : Runs())
        EXPECT_GE(Line.split(' ').value(0).toDouble(), double(Due)) << Line.toStdString();
    EXPECT_EQ(WorkItemStore::List(), QStringList({"daily.job", "later.job"}));
}

TEST_F(ServiceFaultTest, KilledWhileAnItemRunsDoesNotRunItAgainAfterARestart)
{
    WriteStandIn(3);
    StartService();
    AvoidMinuteEnd(20);
    // Saved during its minute: runs at once; kept when done.
    ASSERT_EQ(WorkItemStore::Create("running", Item(WorkItem::TriggerOnce, NowSeconds(), WorkItem::FlagRunOnlyIfLoggedOn)),
        TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    KillService();

    StartService();
    QThread::msleep(5000);
    EXPECT_EQ(Runs().size(), 1) << LogText().toStdString();
    TWorkItem Loaded;
    EXPECT_EQ(WorkItemStore::Load("running", Loaded), TStoreResult::Ok);
}

TEST_F(ServiceFaultTest, StoreDeletedWhileItRunsEndsItCleanlyAndANewStoreWorks)
{
    StartService();
    ASSERT_EQ(WorkItemStore::Create("ahead", Item(WorkItem::TriggerOnce, NowSeconds() + 7200, WorkItem::FlagDeleteWhenDone)),
        TStoreResult::Ok);
    ASSERT_TRUE(QDir(Store).removeRecursively());
    ASSERT_TRUE(Service.waitForFinished(10000)) << LogText().toStdString();
    EXPECT_EQ(Service.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Service.exitCode(), 0) << LogText().toStdString();

    // The client makes the store again; a service started on it runs items.
    AvoidMinuteEnd(8);
    ASSERT_EQ(WorkItemStore::Create("thisminute", Item(WorkItem::TriggerOnce, NowSeconds(), WorkItem::FlagDeleteWhenDone)),
        TStoreResult::Ok);
    StartService();
    ASSERT_TRUE(WaitUntil([&] { return Runs().size() == 1; }, 5000)) << LogText().toStdString();
}

} // namespace
