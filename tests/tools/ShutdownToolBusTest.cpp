// The real shutdown tool against a real dbus-daemon: python3-dbusmock's
// logind on a private system bus, its notification server on a private
// session bus. logind here is a mock: nothing is ever shut down.

#include "support/PrivateBuses.h"
#include "platform/RunHistory.h"

#include <QDBusArgument>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace {

const QString Program = QStringLiteral(LUMIDOR_BUILD_DIR "/libexec/lumidor/Shutdown.exe");
const QString AccessDenied = QStringLiteral("org.freedesktop.DBus.Error.AccessDenied");

struct TNotification
{
    uint ReplacesId = 0;
    QString Summary;
    QString Body;
    QStringList Actions;
    int Urgency = -1;
};

TNotification NotificationOf(const TMockCall& Call)
{
    TNotification N;
    if (Call.Args.size() != 8)
        return N;
    N.ReplacesId = Call.Args.at(1).toUInt();
    N.Summary = Call.Args.at(3).toString();
    N.Body = Call.Args.at(4).toString();
    N.Actions = Call.Args.at(5).toStringList();
    const QVariantMap Hints = qdbus_cast<QVariantMap>(Call.Args.at(6).value<QDBusArgument>());
    if (Hints.contains("urgency"))
        N.Urgency = Hints.value("urgency").toInt();
    return N;
}

QStringList MethodsOf(const QList<TMockCall>& Calls)
{
    QStringList Out;
    for (const TMockCall& Call : Calls)
        Out << Call.Method;
    return Out;
}

class ShutdownToolBus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFileInfo::exists(Program))
            GTEST_SKIP() << "Shutdown.exe is not built";
        if (!QFileInfo::exists("/usr/bin/dbus-daemon") || !QFileInfo::exists("/usr/lib/python3/dist-packages/dbusmock"))
            GTEST_SKIP() << "dbus and python3-dbusmock are needed (scripts/deps.sh installs them)";
        ASSERT_TRUE(Dir.isValid());
        Buses = std::make_unique<TPrivateBuses>(Dir.path());
        QString Error;
        ASSERT_TRUE(Buses->Start(Error)) << Error.toStdString();
    }

    void TearDown() override
    {
        if (Tool.state() != QProcess::NotRunning) {
            Tool.kill();
            Tool.waitForFinished(10000);
        }
        Buses.reset();
    }

    void SetSuiteLanguage(const QByteArray& Language)
    {
        const QString Folder = Dir.path() + "/config/Zelvo/Corvane V8";
        ASSERT_TRUE(QDir().mkpath(Folder));
        QFile Settings(Folder + "/Main.ini");
        ASSERT_TRUE(Settings.open(QIODevice::WriteOnly));
        Settings.write("[Main]\nLanguage=" + Language + "\n");
    }

    void StartTool(const QStringList& Args, QProcessEnvironment Env = {})
    {
        if (Env.isEmpty())
            Env = Buses->Environment();
        Env.insert("XDG_CONFIG_HOME", Dir.path() + "/config");
        Env.insert("HOME", Dir.path());
        Env.insert("LC_ALL", "C");
        Tool.setProcessEnvironment(Env);
        Tool.setProcessChannelMode(QProcess::SeparateChannels);
        Tool.start(Program, Args);
        ASSERT_TRUE(Tool.waitForStarted(10000));
    }

    int WaitForTool()
    {
        EXPECT_TRUE(Tool.waitForFinished(30000)) << "the tool did not end";
        return Tool.exitCode();
    }

    QString ToolErrors() { return QString::fromUtf8(Tool.readAllStandardError()); }

    QTemporaryDir Dir;
    std::unique_ptr<TPrivateBuses> Buses;
    QProcess Tool;
};

} // namespace

namespace {

// The tool writes its history line right after logind answered.
QString LastHistoryLineAfterAMoment(const QString& Event)
{
    for (int Tries = 0; Tries < 100; ++Tries) {
        const QStringList Lines = RunHistory::Read();
        if (!Lines.isEmpty() && Lines.last().contains(Event))
            return Lines.last();
        QThread::msleep(50);
    }
    const QStringList Lines = RunHistory::Read();
    return Lines.isEmpty() ? QString() : Lines.last();
}

} // namespace

TEST_F(ShutdownToolBus, ScheduleShowsTheCountdownAndPostponeMovesItTenMinutesInOneCall)
{
    const qint64 Before = QDateTime::currentMSecsSinceEpoch() * 1000;
    StartTool({"-s"});
    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", 1)) << ToolErrors().toStdString();
    const qint64 After = QDateTime::currentMSecsSinceEpoch() * 1000;

    QList<TMockCall> Logind = Buses->LogindCalls();
    QList<TMockCall> Schedules = Buses->CallsOf(Logind, "ScheduleShutdown");
    ASSERT_EQ(Schedules.size(), 1);
    EXPECT_EQ(Schedules.at(0).Args.at(0).toString(), "poweroff");
    const qint64 First = qint64(Schedules.at(0).Args.at(1).toULongLong());
    EXPECT_GE(First, Before + 30000000);
    EXPECT_LE(First, After + 30000000);

    const TNotification Countdown = NotificationOf(Buses->CallsOf(Buses->NotificationCalls(), "Notify").at(0));
    EXPECT_EQ(Countdown.Summary, "The computer shuts down soon");
    EXPECT_TRUE(Countdown.Body.startsWith("Shutdown in 30 seconds, at ")) << Countdown.Body.toStdString();
    EXPECT_EQ(Countdown.Actions, (QStringList{"abort", "Abort", "postpone", "Postpone 10 minutes"}));

    // The mock numbers notifications from 1.
    ASSERT_TRUE(Buses->EmitActionInvoked(1, "postpone"));
    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::System, "ScheduleShutdown", 2)) << ToolErrors().toStdString();
    Logind = Buses->LogindCalls();
    Schedules = Buses->CallsOf(Logind, "ScheduleShutdown");
    ASSERT_EQ(Schedules.size(), 2);
    EXPECT_EQ(Schedules.at(1).Args.at(0).toString(), "poweroff");
    EXPECT_EQ(qint64(Schedules.at(1).Args.at(1).toULongLong()), First + 600000000);
    EXPECT_FALSE(MethodsOf(Logind).contains("CancelScheduledShutdown")) << MethodsOf(Logind).join(',').toStdString();
    for (const char* Immediate : {"PowerOff", "Reboot"})
        EXPECT_FALSE(MethodsOf(Logind).contains(Immediate));

    QString Type;
    qulonglong Usec = 0;
    ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
    EXPECT_EQ(Type, "poweroff");
    EXPECT_EQ(qint64(Usec), First + 600000000);
    const QString Postponed = LastHistoryLineAfterAMoment(" postponed Shutdown.exe: ");
    EXPECT_TRUE(Postponed.contains(" postponed Shutdown.exe: by the user: the power-off to ")
        && Postponed.endsWith(", 10 minutes later")) << Postponed.toStdString();

    // The tool waits for the new time; ended now, logind keeps what the user chose.
    QThread::msleep(1500);
    EXPECT_EQ(Tool.state(), QProcess::Running) << ToolErrors().toStdString();
    Tool.kill();
    Tool.waitForFinished(10000);
    ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
    EXPECT_EQ(qint64(Usec), First + 600000000);
}

TEST_F(ShutdownToolBus, AbortInTheCountdownCancels)
{
    StartTool({"-r"});
    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", 1)) << ToolErrors().toStdString();
    ASSERT_TRUE(Buses->EmitActionInvoked(1, "abort"));
    EXPECT_EQ(WaitForTool(), 0);
    const QList<TMockCall> Logind = Buses->LogindCalls();
    EXPECT_EQ(Buses->CallsOf(Logind, "ScheduleShutdown").size(), 1);
    EXPECT_EQ(Buses->CallsOf(Logind, "CancelScheduledShutdown").size(), 1);
    QString Type = "?";
    qulonglong Usec = 1;
    ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
    EXPECT_EQ(Type, "");
}

TEST_F(ShutdownToolBus, CountdownSpeaksTheSuitesLanguage)
{
    SetSuiteLanguage("German");
    StartTool({"-s"});
    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", 1)) << ToolErrors().toStdString();
    const TNotification Countdown = NotificationOf(Buses->CallsOf(Buses->NotificationCalls(), "Notify").at(0));
    EXPECT_EQ(Countdown.Summary, QStringLiteral("Der Computer wird gleich heruntergefahren"));
    EXPECT_TRUE(Countdown.Body.startsWith(QStringLiteral("Herunterfahren in 30 Sekunden, um "))) << Countdown.Body.toStdString();
    EXPECT_EQ(Countdown.Actions, (QStringList{"abort", "Abbrechen", "postpone", "10 Minuten verschieben"}));
}

// Refused by polkit, blocked by another program, or no logind at all: a
// critical notification says the computer stays on and why; no other call.
TEST_F(ShutdownToolBus, EveryRefusalIsShownAsACriticalNotificationAndNothingElseHappens)
{
    struct TCase
    {
        QString Action;
        QString Language;
        std::function<void(TPrivateBuses&)> Arrange;
        bool NoSystemBus;
        int ExitCode;
        QString Summary;
        QString Body;
    } Cases[] = {
        {"-s", "English", [](TPrivateBuses& B) { ASSERT_TRUE(B.SetScheduleError(AccessDenied)); }, false, 4,
            "The computer was NOT shut down", "The system did not allow it (polkit)."},
        {"-r", "English",
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.AddInhibitor("sleep:shutdown", "Backup Tool", "Copying your files", "block"));
                // A delay inhibitor only makes logind wait: it is not named.
                ASSERT_TRUE(B.AddInhibitor("shutdown", "Music Player", "Saving the playlist", "delay"));
            },
            false, 4, "The computer was NOT restarted", "Backup Tool is blocking it: Copying your files"},
        {"-s", "German", [](TPrivateBuses& B) { ASSERT_TRUE(B.SetScheduleError(AccessDenied)); }, false, 4,
            "Der Computer wurde NICHT heruntergefahren", "Das System hat es nicht erlaubt (polkit)."},
        {"-s", "English", [](TPrivateBuses&) {}, true, 3, "The computer was NOT shut down",
            "The login manager (logind) cannot be reached."},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE((C.Action + " " + C.Summary).toStdString());
        TearDown();
        Buses = std::make_unique<TPrivateBuses>(Dir.path());
        QString Error;
        ASSERT_TRUE(Buses->Start(Error)) << Error.toStdString();
        SetSuiteLanguage(C.Language.toUtf8());
        C.Arrange(*Buses);

        QProcessEnvironment Env = Buses->Environment();
        if (C.NoSystemBus)
            Env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + Dir.path() + "/no-such-bus");
        StartTool({C.Action}, Env);
        EXPECT_EQ(WaitForTool(), C.ExitCode) << ToolErrors().toStdString();

        const QStringList Logind = MethodsOf(Buses->LogindCalls());
        if (C.NoSystemBus)
            EXPECT_TRUE(Logind.isEmpty()) << Logind.join(',').toStdString();
        else
            EXPECT_EQ(Logind, (QStringList{"ScheduleShutdown", "ListInhibitors"}));
        const QList<TMockCall> Shown = Buses->NotificationCalls();
        ASSERT_EQ(MethodsOf(Shown), QStringList{"Notify"});
        const TNotification Failure = NotificationOf(Shown.at(0));
        EXPECT_EQ(Failure.Summary, C.Summary);
        EXPECT_EQ(Failure.Body, C.Body);
        EXPECT_EQ(Failure.Urgency, 2);
        EXPECT_TRUE(Failure.Actions.isEmpty());
        const QString Failed = LastHistoryLineAfterAMoment(" failed Shutdown.exe: ");
        EXPECT_TRUE(Failed.contains(QStringLiteral(" failed Shutdown.exe: cannot schedule a %1 (exit code %2)")
                                        .arg(C.Action == "-r" ? "restart" : "power-off").arg(C.ExitCode)))
            << Failed.toStdString();
    }
}

// The task service ends a run at its maximum run time with SIGTERM: the time
// the user chose stands, and no button is left that nobody would hear.
TEST_F(ShutdownToolBus, EndedWhileWaitingLeavesTheScheduleAndAPlainNotification)
{
    StartTool({"-s"});
    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", 1)) << ToolErrors().toStdString();
    Tool.terminate();
    EXPECT_EQ(WaitForTool(), 0) << ToolErrors().toStdString();
    EXPECT_EQ(Tool.exitStatus(), QProcess::NormalExit);

    const QList<TMockCall> Shown = Buses->CallsOf(Buses->NotificationCalls(), "Notify");
    ASSERT_GE(Shown.size(), 2);
    const TNotification Last = NotificationOf(Shown.last());
    EXPECT_EQ(Last.ReplacesId, 1u);
    EXPECT_TRUE(Last.Summary.startsWith("The computer shuts down at ")) << Last.Summary.toStdString();
    EXPECT_TRUE(Last.Actions.isEmpty());

    const QStringList Logind = MethodsOf(Buses->LogindCalls());
    EXPECT_FALSE(Logind.contains("CancelScheduledShutdown")) << Logind.join(',').toStdString();
    QString Type;
    qulonglong Usec = 0;
    ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
    EXPECT_EQ(Type, "poweroff");
}

namespace {

enum class TStep { Postpone, SleepByLid, Suspend, PastTheTime, Wake, OutsideCancel, OutsideReplace, ClickPostpone, ClickAbort };

// What logind holds at the end: nothing, the tool's time, another program's.
enum class THeld { Nothing, Own, Other };

constexpr qint64 OtherUsecAhead = 3600 * qint64(1000000);

bool WaitUntilTrue(const std::function<bool()>& Done, int TimeoutMs)
{
    for (int Waited = 0; !Done(); Waited += 50) {
        if (Waited >= TimeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

const QStringList SleepLock{"sleep Lumidor delay"};

} // namespace

// A sleep or another program meets a pending shutdown. Nothing real may be
// armed while the computer sleeps, no sleep is ever cancelled, and nothing
// fires on waking; a time that passed asleep is told, not caught up.
TEST_F(ShutdownToolBus, APendingShutdownStaysTheUsersAcrossSleepAndOutsideChanges)
{
    struct TCase
    {
        const char* Name;
        uint Version;
        QStringList Args;
        std::vector<TStep> Steps;
        int ExitCode;       // -1: still waiting for its time
        QString Summary;    // of the last notification; a %1 stands for any time
        QString Event;      // the last history line's, or ""
        THeld Held;
        qint64 DueShift;    // the tool's time from the first one, Own only
        QString Armed;      // what each sleep found armed
    } Cases[] = {
        {"sleep past the time, newer logind", 257, {"-s", "-t", "10"},
            {TStep::SleepByLid, TStep::PastTheTime, TStep::Wake}, 6,
            "The computer was asleep at %1 and was NOT shut down", " missed Shutdown.exe: ", THeld::Nothing, 0,
            "dry-poweroff"},
        {"short sleep by the lid", 252, {"-r", "-t", "60"}, {TStep::SleepByLid, TStep::Wake}, -1,
            "The computer restarts soon", "", THeld::Own, 0, "dry-reboot"},
        {"short sleep by the lid, newer logind", 257, {"-s", "-t", "60"}, {TStep::SleepByLid, TStep::Wake}, -1,
            "The computer shuts down soon", "", THeld::Own, 0, "dry-poweroff"},
        {"short sleep through Suspend()", 252, {"-s", "-t", "60"}, {TStep::Suspend, TStep::Wake}, -1,
            "The computer shuts down soon", "", THeld::Own, 0, ""},
        {"short sleep through Suspend(), newer logind", 257, {"-s", "-t", "60"}, {TStep::Suspend, TStep::Wake}, -1,
            "The computer shuts down soon", "", THeld::Own, 0, ""},
        {"sleep in a postponed wait", 252, {"-s", "-t", "10"}, {TStep::Postpone, TStep::SleepByLid, TStep::Wake}, -1,
            "The computer shuts down soon", " postponed Shutdown.exe: ", THeld::Own, 600000000, "dry-poweroff"},
        {"outside cancel", 252, {"-s", "-t", "60"}, {TStep::OutsideCancel}, 6,
            "The shutdown planned for %1 was cancelled by another program", " cancelled Shutdown.exe: ", THeld::Nothing, 0,
            ""},
        {"outside replacement, then Postpone", 257, {"-s", "-t", "60"}, {TStep::OutsideReplace, TStep::ClickPostpone}, 6,
            "The shutdown planned for %1 was replaced by another program", " replaced Shutdown.exe: ", THeld::Other, 0, ""},
        {"outside replacement, then Abort", 252, {"-r", "-t", "60"}, {TStep::OutsideReplace, TStep::ClickAbort}, 6,
            "The restart planned for %1 was replaced by another program", " replaced Shutdown.exe: ", THeld::Other, 0, ""},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(C.Name);
        TearDown();
        Buses = std::make_unique<TPrivateBuses>(Dir.path());
        QString Error;
        ASSERT_TRUE(Buses->Start(Error)) << Error.toStdString();
        ASSERT_TRUE(Buses->SetLogindVersion(C.Version));
        const int HistoryBefore = RunHistory::Read().size();

        StartTool(C.Args);
        ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::System, "Inhibit", 1)) << ToolErrors().toStdString();
        EXPECT_EQ(Buses->Inhibitors(), SleepLock);
        const qint64 First = qint64(Buses->CallsOf(Buses->LogindCalls(), "ScheduleShutdown").at(0).Args.at(1).toULongLong());
        const QString Type = C.Args.at(0) == "-r" ? "reboot" : "poweroff";
        int Inhibits = 1;

        for (const TStep Step : C.Steps) {
            switch (Step) {
            case TStep::Postpone:
                ASSERT_TRUE(Buses->EmitActionInvoked(1, "postpone"));
                ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::System, "ScheduleShutdown", 2));
                break;
            case TStep::SleepByLid:
            case TStep::Suspend:
                ASSERT_TRUE(Step == TStep::SleepByLid ? Buses->SleepByLid() : Buses->CallLogind("Suspend", {false}));
                // The tool lets go of its lock, and the sleep goes ahead.
                ASSERT_TRUE(WaitUntilTrue([&] { return Buses->SleepState() == "asleep"; }, 4000))
                    << Buses->SleepState().toStdString() << ToolErrors().toStdString();
                EXPECT_TRUE(Buses->Inhibitors().isEmpty());
                break;
            case TStep::PastTheTime:
                while (QDateTime::currentMSecsSinceEpoch() * 1000 < First + 1000000)
                    QThread::msleep(100);
                break;
            case TStep::Wake:
                ASSERT_TRUE(Buses->Wake());
                if (C.ExitCode < 0) {
                    ++Inhibits;
                    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::System, "Inhibit", Inhibits)) << ToolErrors().toStdString();
                }
                break;
            case TStep::OutsideCancel:
                ASSERT_TRUE(Buses->CallLogind("CancelScheduledShutdown", {}));
                break;
            case TStep::OutsideReplace:
                ASSERT_TRUE(Buses->CallLogind(
                    "ScheduleShutdown", {"reboot", QVariant::fromValue(qulonglong(First + OtherUsecAhead))}));
                break;
            case TStep::ClickPostpone:
            case TStep::ClickAbort:
                ASSERT_TRUE(Buses->EmitActionInvoked(1, Step == TStep::ClickAbort ? "abort" : "postpone"));
                break;
            }
        }

        if (C.ExitCode >= 0) {
            EXPECT_EQ(WaitForTool(), C.ExitCode) << ToolErrors().toStdString();
            EXPECT_TRUE(Buses->Inhibitors().isEmpty());
        } else {
            QThread::msleep(1500);
            EXPECT_EQ(Tool.state(), QProcess::Running) << ToolErrors().toStdString();
            EXPECT_EQ(Buses->Inhibitors(), SleepLock);
        }

        QString HeldType;
        qulonglong HeldUsec = 0;
        ASSERT_TRUE(Buses->ScheduledShutdown(HeldType, HeldUsec));
        switch (C.Held) {
        case THeld::Nothing:
            EXPECT_EQ(HeldType, "");
            break;
        case THeld::Own:
            EXPECT_EQ(HeldType, Type);
            EXPECT_EQ(qint64(HeldUsec), First + C.DueShift);
            break;
        case THeld::Other:
            EXPECT_EQ(HeldType, "reboot");
            EXPECT_EQ(qint64(HeldUsec), First + OtherUsecAhead);
            break;
        }
        // No sleep cancelled, nothing of the tool's armed in it, nothing fired on waking.
        for (const TPrivateBuses::TSleep& Sleep : Buses->Sleeps()) {
            EXPECT_EQ(Sleep.Outcome, "slept");
            EXPECT_EQ(Sleep.Armed, C.Armed);
        }
        EXPECT_EQ(Buses->Fired(), 0u);
        // The tool's own schedules have the type and a time the user chose.
        for (const TMockCall& Call : Buses->CallsOf(Buses->LogindCalls(), "ScheduleShutdown")) {
            const qint64 Usec = qint64(Call.Args.at(1).toULongLong());
            EXPECT_TRUE(Usec == First || Usec == First + 600000000 || Usec == First + OtherUsecAhead) << Usec;
        }
        for (const char* Immediate : {"PowerOff", "Reboot"})
            EXPECT_FALSE(MethodsOf(Buses->LogindCalls()).contains(Immediate));

        const QList<TMockCall> Shown = Buses->CallsOf(Buses->NotificationCalls(), "Notify");
        ASSERT_FALSE(Shown.isEmpty());
        const QString Last = NotificationOf(Shown.last()).Summary;
        const QStringList Parts = C.Summary.split("%1");
        EXPECT_TRUE(Last.startsWith(Parts.first()) && Last.endsWith(Parts.last())) << Last.toStdString();
        if (C.ExitCode < 0 && C.Steps.back() == TStep::Wake && C.Steps.front() != TStep::Postpone) {
            // The countdown is back in place of the one shown, with the time left.
            EXPECT_EQ(NotificationOf(Shown.last()).ReplacesId, 1u);
            EXPECT_TRUE(NotificationOf(Shown.last()).Body.contains(" seconds, at "));
        }
        if (!C.Event.isEmpty())
            EXPECT_TRUE(LastHistoryLineAfterAMoment(C.Event).contains(C.Event));
        else
            EXPECT_EQ(RunHistory::Read().size(), HistoryBefore);
    }
}

// logind holds one schedule for everyone: "-s", "-r" and "-a" never move,
// replace or cancel one that another program made, and say so.
TEST_F(ShutdownToolBus, AnotherProgramsScheduleIsNeitherReplacedNorCancelled)
{
    const qint64 OtherUsec = (QDateTime::currentMSecsSinceEpoch() + 3600000) * 1000;
    const struct
    {
        QStringList Args;
        bool OwnFirst;      // a run of the tool scheduled first and was ended while it waited
        int ExitCode;
        QString Summary;
        QString Event;
        QString HeldType;   // what logind holds afterwards: "" nothing, else the other program's
    } Cases[] = {
        {{"-s"}, false, 6, "Lumidor did not plan the shutdown at ", " refused Shutdown.exe: ", "reboot"},
        {{"-r"}, false, 6, "Lumidor did not plan the restart at ", " refused Shutdown.exe: ", "reboot"},
        {{"-a"}, false, 6, "Lumidor did not cancel the shutdown or restart at ", " refused Shutdown.exe: ", "reboot"},
        {{"-a"}, true, 0, "", "", ""},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE((C.Args.join(' ') + (C.OwnFirst ? " own" : " other")).toStdString());
        TearDown();
        Buses = std::make_unique<TPrivateBuses>(Dir.path());
        QString Error;
        ASSERT_TRUE(Buses->Start(Error)) << Error.toStdString();
        if (C.OwnFirst) {
            StartTool({"-s", "-t", "600"});
            ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", 1)) << ToolErrors().toStdString();
            Tool.terminate();
            ASSERT_EQ(WaitForTool(), 0);
        } else {
            ASSERT_TRUE(Buses->CallLogind("ScheduleShutdown", {"reboot", QVariant::fromValue(qulonglong(OtherUsec))}));
        }
        const int Notices = Buses->CallsOf(Buses->NotificationCalls(), "Notify").size();
        const int Schedules = Buses->CallsOf(Buses->LogindCalls(), "ScheduleShutdown").size();

        StartTool(C.Args);
        EXPECT_EQ(WaitForTool(), C.ExitCode) << ToolErrors().toStdString();
        const QList<TMockCall> Logind = Buses->LogindCalls();
        EXPECT_EQ(Buses->CallsOf(Logind, "ScheduleShutdown").size(), Schedules);
        EXPECT_EQ(Buses->CallsOf(Logind, "CancelScheduledShutdown").size(), C.OwnFirst ? 1 : 0);
        QString Type = "?";
        qulonglong Usec = 0;
        ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
        EXPECT_EQ(Type, C.HeldType);
        if (!C.HeldType.isEmpty()) {
            EXPECT_EQ(qint64(Usec), OtherUsec);
        }

        const QList<TMockCall> Shown = Buses->CallsOf(Buses->NotificationCalls(), "Notify");
        if (C.Summary.isEmpty()) {
            EXPECT_EQ(Shown.size(), Notices);
            continue;
        }
        ASSERT_EQ(Shown.size(), Notices + 1);
        const TNotification Told = NotificationOf(Shown.last());
        EXPECT_TRUE(Told.Summary.startsWith(C.Summary)) << Told.Summary.toStdString();
        EXPECT_FALSE(Told.Body.isEmpty());
        EXPECT_EQ(Told.Urgency, 2);
        EXPECT_TRUE(LastHistoryLineAfterAMoment(C.Event).contains(C.Event));
    }
}
