// End-to-end on private buses: the real lumidor-taskd, python3-dbusmock's
// notification server, and a recording stand-in as the shutdown tool. Nothing here shuts anything down or touches the machine's
// own buses.

#include "platform/RunTimeTexts.h"
#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"
#include "service/HeadsUp.h"
#include "service/RunPlan.h"
#include "support/PrivateBuses.h"
#include "support/TaskServiceFixture.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/time.h>

using namespace ServiceTesting;

namespace {

// One notification the service sent, as the server got it.
struct TNotice
{
    double At = 0; // seconds since the epoch, when the test saw it
    QString Summary;
    QString Body;
    QStringList Actions;
};

class HeadsUpTest : public TTaskServiceFixture
{
protected:
    void SetUp() override
    {
        TTaskServiceFixture::SetUp();
        QString Error;
        ASSERT_TRUE(Buses.Start(Error)) << Error.toStdString();
        SessionBus = Buses.Address(TPrivateBuses::Session);
        SystemBus = Buses.Address(TPrivateBuses::System);
    }

    QList<TMockCall> Calls(const QString& Method) const
    {
        return Buses.CallsOf(Buses.NotificationCalls(), Method);
    }

    // Waits for the first heads-up and notes when it came.
    bool WaitForNotice(TNotice& Notice, int TimeoutMs = 20000)
    {
        QList<TMockCall> Shown;
        if (!WaitUntil([&] { return !(Shown = Calls("Notify")).isEmpty(); }, TimeoutMs))
            return false;
        Notice.At = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
        const QVariantList& Args = Shown.first().Args;
        if (Args.size() < 8)
            return false;
        Notice.Summary = Args[3].toString();
        Notice.Body = Args[4].toString();
        Notice.Actions = Args[5].canConvert<QDBusArgument>() ? qdbus_cast<QStringList>(Args[5]) : Args[5].toStringList();
        return true;
    }

    void SetLeadSeconds(qint64 Seconds)
    {
        ASSERT_TRUE(QDir().mkpath(Home.filePath("config/lumidor")));
        QFile F(Home.filePath("config/lumidor/lumidor-taskd.ini"));
        ASSERT_TRUE(F.open(QIODevice::WriteOnly | QIODevice::Truncate));
        F.write(QStringLiteral("[HeadsUp]\nLeadSeconds=%1\n").arg(Seconds).toUtf8());
    }

    // A run at the next minute and a lead time that puts its heads-up a few
    // seconds from now.
    qint64 PlanNextMinute(qint64& Lead)
    {
        AvoidMinuteEnd(12);
        const qint64 Due = (NowSeconds() / 60 + 1) * 60;
        Lead = Due - NowSeconds() - 4;
        SetLeadSeconds(Lead);
        return Due;
    }

    // A shutdown item named Name due at the next minute, the service started
    // and its heads-up seen; false when it did not come.
    bool HeadsUpFor(const QString& Name, uint32_t Trigger, qint64& Due, qint64& Lead, TNotice& Shown)
    {
        Due = PlanNextMinute(Lead);
        if (WorkItemStore::Create(Name, ShutdownItem(Trigger, Due)) != TStoreResult::Ok)
            return false;
        StartService();
        return WaitForNotice(Shown);
    }

    QString History() const
    {
        QProcess Print;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert("HOME", Home.path());
        Env.insert("XDG_STATE_HOME", Home.filePath("state"));
        Print.setProcessEnvironment(Env);
        Print.start(ServiceProgram, {"--history"});
        if (!Print.waitForFinished(10000) || Print.exitCode() != 0)
            return QString();
        return QString::fromUtf8(Print.readAllStandardOutput());
    }

    TPrivateBuses Buses{Home.path()};
};

QString ShortTime(qint64 Moment)
{
    return ShortTimeText(QDateTime::fromSecsSinceEpoch(Moment));
}

} // namespace

TEST(HeadsUpAction, OnlyAShutdownOrRestartOfTheShutdownToolIsAnnounced)
{
    const struct
    {
        const char* Application;
        const char* Parameters;
        THeadsUpAction Expected;
    } Cases[] = {
        {"/usr/libexec/lumidor/Shutdown.exe", "-s", THeadsUpAction::Shutdown},
        {"/usr/libexec/lumidor/Shutdown.exe", "/R", THeadsUpAction::Restart},
        {"/usr/libexec/lumidor/SHUTDOWN.EXE", "-t 60 \"-s\"", THeadsUpAction::Shutdown},
        {"/usr/libexec/lumidor/Shutdown.exe", "-a", THeadsUpAction::None},
        {"/usr/libexec/lumidor/Shutdown.exe", "-s -r", THeadsUpAction::None},
        {"/usr/libexec/lumidor/Shutdown.exe", "-s -a", THeadsUpAction::None},
        {"/usr/libexec/lumidor/Shutdown.exe", "", THeadsUpAction::None},
        {"/usr/libexec/lumidor/Shutdown.exe", "-ss", THeadsUpAction::None},
        {"/usr/bin/poweroff", "-s", THeadsUpAction::None},
        {"/opt/NotShutdown.exe", "-s", THeadsUpAction::None},
    };
    for (const auto& Case : Cases) {
        TWorkItem Item;
        Item.Application = Case.Application;
        Item.Parameters = Case.Parameters;
        EXPECT_EQ(HeadsUpActionOf(Item), Case.Expected) << Case.Application << " " << Case.Parameters;
    }
}

TEST_F(HeadsUpTest, HeadsUpComesTheLeadTimeBeforeTheRunAndNeverMovesIt)
{
    qint64 Lead = 0, Due = 0;
    TNotice Shown;
    ASSERT_TRUE(HeadsUpFor("shutdown", WorkItem::TriggerOnce, Due, Lead, Shown)) << LogText().toStdString();
    EXPECT_NEAR(Shown.At, double(Due - Lead), 1.0);
    EXPECT_EQ(Shown.Summary, "The computer shuts down at " + ShortTime(Due));
    EXPECT_EQ(Shown.Body, "Save your work. Lumidor does this as you scheduled it.");
    EXPECT_EQ(Shown.Actions, (QStringList{"skip", "Skip this time"}));

    // Saved within the lead time: the user has just chosen it, no heads-up.
    TWorkItem Restart = ShutdownItem(WorkItem::TriggerOnce, Due);
    Restart.Parameters = "-r";
    ASSERT_EQ(WorkItemStore::Create("restart", Restart), TStoreResult::Ok);

    ASSERT_TRUE(WaitUntil([&] { return Runs().size() == 2; }, int(Due - NowSeconds() + 5) * 1000))
        << LogText().toStdString();
    for (const QString& Run : Runs()) {
        const double Delay = Run.section(' ', 0, 0).toDouble() - double(Due);
        EXPECT_GE(Delay, 0.0);
        EXPECT_LT(Delay, 1.0);
    }
    // Taken down once the run has begun.
    EXPECT_TRUE(WaitUntil([&] { return !Calls("CloseNotification").isEmpty(); }, 5000));
    EXPECT_EQ(Calls("Notify").size(), 1);
}

// The computer sleeps while a heads-up shows and wakes 3 s after its run's
// time: the run is missed, not caught up however little late, and the
// heads-up for it is taken down and not shown again. The service stands
// still in the sleep, as a frozen program does, so that the waking and its
// timer reach it in whatever order.
TEST_F(HeadsUpTest, AHeadsUpForARunMissedInASleepIsWithdrawnAndNotShownAgain)
{
    qint64 Lead = 0, Due = 0;
    TNotice Shown;
    ASSERT_TRUE(HeadsUpFor("daily", WorkItem::TriggerDaily, Due, Lead, Shown)) << LogText().toStdString();
    // The service notes a sleep before logind lets it begin.
    EXPECT_EQ(Buses.Inhibitors(), QStringList{"sleep Lumidor task service delay"});
    ASSERT_TRUE(Buses.SleepByLid());
    ASSERT_TRUE(WaitUntil([&] { return Buses.SleepState() == "asleep"; }, 4000));
    const pid_t Pid = pid_t(Service.processId());
    ASSERT_EQ(::kill(Pid, SIGSTOP), 0);
    QThread::msleep(uint(std::max<qint64>(0, Due * 1000 + 3000 - QDateTime::currentMSecsSinceEpoch())));
    ASSERT_TRUE(Buses.Wake());
    ASSERT_EQ(::kill(Pid, SIGCONT), 0);

    EXPECT_TRUE(WaitUntil([&] { return !Calls("CloseNotification").isEmpty(); }, 5000)) << LogText().toStdString();
    QThread::msleep(1500);
    EXPECT_EQ(Calls("Notify").size(), 1);
    EXPECT_TRUE(Runs().isEmpty());
    const QString Text = History();
    EXPECT_TRUE(Text.contains(" missed daily.job: ") && Text.contains("fell in a sleep")) << Text.toStdString();
    // A new lock for the next sleep.
    EXPECT_TRUE(WaitUntil([&] { return Buses.Inhibitors() == QStringList{"sleep Lumidor task service delay"}; }, 3000));
}

TEST_F(HeadsUpTest, InGermanSkipThisTimeDeletesAOneTimeItemUnrun)
{
    // The suite's language, as the window sets it.
    ASSERT_TRUE(QDir().mkpath(Home.filePath("config/Zelvo/Corvane V8")));
    {
        QFile F(Home.filePath("config/Zelvo/Corvane V8/Main.ini"));
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write("[Main]\nLanguage=German\n");
    }
    qint64 Lead = 0, Due = 0;
    TNotice Shown;
    ASSERT_TRUE(HeadsUpFor("once", WorkItem::TriggerOnce, Due, Lead, Shown)) << LogText().toStdString();
    EXPECT_EQ(Shown.Summary, "Der Computer wird um " + ShortTime(Due) + " heruntergefahren");
    EXPECT_EQ(Shown.Body, "Speichern Sie Ihre Arbeit. Lumidor tut dies, wie Sie es geplant haben.");
    EXPECT_EQ(Shown.Actions, (QStringList{"skip", QString::fromUtf8("Diesmal \u00fcberspringen")}));
    ASSERT_TRUE(Buses.EmitActionInvoked(1, "skip"));
    ASSERT_TRUE(WaitUntil([&] { return !QFileInfo::exists(WorkItemStore::FilePath("once")); }, 5000))
        << LogText().toStdString();
    QThread::msleep(uint(std::max<qint64>(0, (Due + 2) * 1000 - QDateTime::currentMSecsSinceEpoch())));
    EXPECT_TRUE(Runs().isEmpty());
    const QString Text = History();
    EXPECT_TRUE(Text.contains(QRegularExpression(" skipped once\\.job: by the user: .*deleted"))) << Text.toStdString();
    EXPECT_FALSE(Text.contains("started")) << Text.toStdString();
}

TEST_F(HeadsUpTest, SkipThisTimeOnADailyItemSkipsThatRunOnlyAlsoAfterARestart)
{
    qint64 Lead = 0, Due = 0;
    TNotice Shown;
    ASSERT_TRUE(HeadsUpFor("daily", WorkItem::TriggerDaily, Due, Lead, Shown)) << LogText().toStdString();
    ASSERT_TRUE(Buses.EmitActionInvoked(1, "skip"));
    TWorkItem Item;
    ASSERT_TRUE(WaitUntil([&] {
        return WorkItemStore::Load("daily", Item) == TStoreResult::Ok && Item.SkippedRun != TCalendarTime();
    }, 5000)) << LogText().toStdString();

    // The skip is kept with the item, not in the service's memory.
    Service.terminate();
    ASSERT_TRUE(Service.waitForFinished(10000));
    StartService();
    QThread::msleep(uint(std::max<qint64>(0, (Due + 2) * 1000 - QDateTime::currentMSecsSinceEpoch())));
    EXPECT_TRUE(Runs().isEmpty()) << LogText().toStdString();
    ASSERT_EQ(WorkItemStore::Load("daily", Item), TStoreResult::Ok);
    const TCalendarTime Today = TriggerSchedule::LocalFields(Due);
    const QDate Tomorrow = QDate(Today.wYear, Today.wMonth, Today.wDay).addDays(1);
    EXPECT_EQ(RunPlan::NextDue(Item, Due - 60, 0, std::nullopt),
        TriggerSchedule::LocalMoment(Tomorrow.year(), Tomorrow.month(), Tomorrow.day(), Today.wHour, Today.wMinute));
    EXPECT_EQ(Calls("Notify").size(), 1);
    const QString Text = History();
    EXPECT_EQ(Text.count(" skipped daily.job: by the user: "), 1) << Text.toStdString();
    EXPECT_TRUE(Text.contains("the next run stays")) << Text.toStdString();
}

TEST_F(HeadsUpTest, HistoryHoldsOneLineAnEventAndTheServicePrintsIt)
{
    SetLeadSeconds(0);
    AvoidMinuteEnd(8);
    const qint64 Now = NowSeconds();
    // Due an hour ago, saved before that: the computer was off.
    ASSERT_EQ(WorkItemStore::Create("passed", ShutdownItem(WorkItem::TriggerOnce, Now - 3600)), TStoreResult::Ok);
    const timeval Saved[2] = {{time_t(Now - 7200), 0}, {time_t(Now - 7200), 0}};
    ASSERT_EQ(::utimes(QFile::encodeName(WorkItemStore::FilePath("passed")).constData(), Saved), 0);
    ASSERT_EQ(WorkItemStore::Create("good", ShutdownItem(WorkItem::TriggerOnce, Now)), TStoreResult::Ok);
    TWorkItem Failing = ShutdownItem(WorkItem::TriggerOnce, Now);
    Failing.Application = Home.filePath("fails.sh");
    {
        QFile F(Failing.Application);
        ASSERT_TRUE(F.open(QIODevice::WriteOnly));
        F.write("#!/bin/sh\nexit 3\n");
    }
    ASSERT_EQ(::chmod(QFile::encodeName(Failing.Application).constData(), 0755), 0);
    ASSERT_EQ(WorkItemStore::Create("failing", Failing), TStoreResult::Ok);
    TWorkItem Other = ShutdownItem(WorkItem::TriggerOnce, Now);
    Other.Account = "somebodyelse";
    ASSERT_EQ(WorkItemStore::Create("other", Other), TStoreResult::Ok);
    StartService();

    QString Text;
    ASSERT_TRUE(WaitUntil([&] {
        Text = History();
        return Text.contains("finished good.job") && Text.contains("failed failing.job");
    }, 10000)) << Text.toStdString() << LogText().toStdString();
    const QRegularExpression Line("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d\\d:\\d\\d (\\w+) (\\S+): ");
    QStringList Events;
    for (const QString& L : Text.split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch M = Line.match(L);
        ASSERT_TRUE(M.hasMatch()) << L.toStdString();
        Events += M.captured(1) + ' ' + M.captured(2);
    }
    Events.sort();
    EXPECT_EQ(Events, (QStringList{"failed failing.job", "finished good.job", "missed passed.job", "refused other.job",
                          "started failing.job", "started good.job"}))
        << Text.toStdString();
    EXPECT_TRUE(Text.contains(QRegularExpression("missed passed\\.job: the run due .*, 36\\d\\d s ago")))
        << Text.toStdString();
    EXPECT_TRUE(Text.contains("failed failing.job: finished with exit code 3")) << Text.toStdString();
}

TEST_F(HeadsUpTest, AHistoryThatCannotBeWrittenLosesLinesNeverARun)
{
    ASSERT_TRUE(QDir().mkpath(Home.filePath("state/lumidor")));
    ASSERT_TRUE(QFile::link("/dev/full", Home.filePath("state/lumidor/history.log")));
    StartService();
    AvoidMinuteEnd(5);
    ASSERT_EQ(WorkItemStore::Create("thisminute", ShutdownItem(WorkItem::TriggerOnce, NowSeconds())), TStoreResult::Ok);
    ASSERT_TRUE(WaitUntil([&] { return !Runs().isEmpty(); }, 5000)) << LogText().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return LogText().contains("could not be added to the history"); }, 5000))
        << LogText().toStdString();
    EXPECT_TRUE(WaitUntil([&] { return !QFileInfo::exists(WorkItemStore::FilePath("thisminute")); }, 5000));
}
