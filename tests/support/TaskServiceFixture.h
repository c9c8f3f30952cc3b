#pragma once

// The real lumidor-taskd on a temporary home and store, with a recording
// stand-in as the items' program and a utmp file that says whether the user
// is logged on. Nothing here shuts anything down.

#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"
#include "support/ProcessSweep.h"
#include "support/TestFiles.h"
#include "support/TestTriggers.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
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

namespace ServiceTesting {

// Inline in the header: the build folder is known to the test programs only.
inline const QString ServiceProgram = QStringLiteral(LUMIDOR_BUILD_DIR "/bin/lumidor-taskd");

inline QString OwnUserName()
{
    const passwd* Entry = getpwuid(geteuid());
    return Entry ? QString::fromLocal8Bit(Entry->pw_name) : QString();
}

inline bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs)
{
    QDeadlineTimer Deadline(TimeoutMs);
    while (!Done()) {
        if (Deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    return true;
}

inline qint64 NowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

// Leaves at least Margin seconds before the next minute begins, so that a
// trigger "this minute" or "next minute" means what the test thinks.
inline void AvoidMinuteEnd(int Margin)
{
    const int Second = int(NowSeconds() % 60);
    if (Second >= 60 - Margin)
        QThread::msleep(uint((60 - Second) * 1000 + 200));
}

inline TTriggerData TriggerAt(uint32_t Type, qint64 Moment)
{
    const TCalendarTime F = TriggerSchedule::LocalFields(Moment);
    TTriggerData T = TestTriggers::On(Type, F.wYear, F.wMonth, F.wDay, F.wHour, F.wMinute);
    T.rgFlags = WorkItem::TriggerKillAtDurationEnd;
    return T;
}

// A utmp file for the service's --utmp: empty, or with one live login of
// this user.
inline void WriteUtmp(const QString& Path, bool LoggedOn)
{
    QFile F(Path);
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
    ASSERT_EQ(utmpxname(QFile::encodeName(Path).constData()), 0);
    setutxent();
    ASSERT_NE(pututxline(&Entry), nullptr);
    endutxent();
    (void)utmpxname(_PATH_UTMPX);
}

class TTaskServiceFixture : public ::testing::Test
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

    // Whatever the test started on this home ends with it, also a service
    // that StartTaskService detached and the items' programs it ran.
    void TearDown() override
    {
        if (Service.state() != QProcess::NotRunning) {
            Service.terminate();
            if (!Service.waitForFinished(20000))
                Service.kill();
        }
        EndProcessesCarrying(Home.path());
        WorkItemStore::SetFolderForTesting(QString());
    }

    // A program that records its start time and arguments, then sleeps.
    QString WriteStandIn(const QString& Name, int SleepSeconds)
    {
        const QString Path = Home.filePath(Name);
        EXPECT_TRUE(TestFiles::WriteRecordingProgram(Path, Record, QStringLiteral("%s.%N"), SleepSeconds));
        return Path;
    }

    void SetLoggedOn(bool LoggedOn) { WriteUtmp(Utmp, LoggedOn); }

    TWorkItem ShutdownItem(uint32_t Type, qint64 Moment, uint32_t Flags = 0x2002) const
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

    // Returns once the service says it has started; its log is kept across
    // restarts.
    void StartService()
    {
        Service.setProgram(ServiceProgram);
        Service.setArguments({"--store", Store, "--utmp", Utmp});
        Service.setStandardErrorFile(Log, QIODevice::Append);
        Service.setStandardOutputFile(QProcess::nullDevice());
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("HOME", Home.path());
        Env.insert("XDG_DATA_HOME", Home.filePath("share"));
        Env.insert("XDG_STATE_HOME", Home.filePath("state"));
        Env.insert("XDG_CONFIG_HOME", Home.filePath("config"));
        Env.remove("LUMIDOR_TASK_STORE");
        // Never the machine's own buses: the test's own, or none that answers.
        const QString NoBus = "unix:path=" + Home.filePath("no-bus");
        Env.insert("DBUS_SESSION_BUS_ADDRESS", SessionBus.isEmpty() ? NoBus : SessionBus);
        Env.insert("DBUS_SYSTEM_BUS_ADDRESS", SystemBus.isEmpty() ? NoBus : SystemBus);
        Service.setProcessEnvironment(Env);
        const int Starts = LogText().count("started for");
        Service.start();
        ASSERT_TRUE(Service.waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return LogText().count("started for") > Starts; }, 20000)) << LogText().toStdString();
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
    // Addresses of private buses a test started, for the service.
    QString SessionBus;
    QString SystemBus;
    QProcess Service;
};

} // namespace ServiceTesting
