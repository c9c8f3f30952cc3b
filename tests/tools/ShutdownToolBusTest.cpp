// The real shutdown tool against a real dbus-daemon: python3-dbusmock's
// logind, made to act as logind 252 and 257 do, on a private system bus, its
// notification server on a private session bus. logind here is a mock:
// nothing is ever shut down.

#include "support/PrivateBuses.h"
#include "platform/RunHistory.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

namespace {

const QString Program = QStringLiteral(LUMIDOR_BUILD_DIR "/libexec/lumidor/Shutdown.exe");
// A user other than the one the tool runs as, for another program's lock.
const uint OtherUid = getuid() + 4321;

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

qint64 NowUsec()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

bool WaitUntil(const std::function<bool()>& Done, int TimeoutMs)
{
    for (int Waited = 0; !Done(); Waited += 50) {
        if (Waited >= TimeoutMs)
            return false;
        QThread::msleep(50);
    }
    return true;
}

// The tool writes its history line right after the event.
QString LastHistoryLineAfterAMoment(const QString& Event)
{
    QString Last;
    WaitUntil([&] {
        const QStringList Lines = RunHistory::Read();
        Last = Lines.isEmpty() ? QString() : Lines.last();
        return Last.contains(Event);
    }, 5000);
    return Last;
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
        StartBuses();
    }

    void TearDown() override
    {
        EndTools();
        Buses.reset();
    }

    void StartBuses()
    {
        EndTools();
        Buses = std::make_unique<TPrivateBuses>(Dir.path());
        QString Error;
        ASSERT_TRUE(Buses->Start(Error)) << Error.toStdString();
    }

    void EndTools()
    {
        for (auto& Tool : Tools) {
            if (Tool->state() != QProcess::NotRunning) {
                Tool->kill();
                Tool->waitForFinished(10000);
            }
        }
        Tools.clear();
    }

    void SetSuiteLanguage(const QByteArray& Language)
    {
        const QString Folder = Dir.path() + "/config/Zelvo/Corvane V8";
        ASSERT_TRUE(QDir().mkpath(Folder));
        QFile Settings(Folder + "/Main.ini");
        ASSERT_TRUE(Settings.open(QIODevice::WriteOnly));
        Settings.write("[Main]\nLanguage=" + Language + "\n");
    }

    QProcess& StartTool(const QStringList& Args, QProcessEnvironment Env = {})
    {
        if (Env.isEmpty())
            Env = Buses->Environment();
        Env.insert("XDG_CONFIG_HOME", Dir.path() + "/config");
        Env.insert("HOME", Dir.path());
        Env.insert("LC_ALL", "C");
        Tools.push_back(std::make_unique<QProcess>());
        QProcess& Tool = *Tools.back();
        Tool.setProcessEnvironment(Env);
        Tool.setProcessChannelMode(QProcess::SeparateChannels);
        Tool.start(Program, Args);
        EXPECT_TRUE(Tool.waitForStarted(10000));
        return Tool;
    }

    static int WaitFor(QProcess& Tool, int TimeoutMs = 30000)
    {
        if (Tool.state() != QProcess::NotRunning) {
            EXPECT_TRUE(Tool.waitForFinished(TimeoutMs)) << "the tool did not end";
        }
        return Tool.exitCode();
    }

    QList<TNotification> Shown() const
    {
        QList<TNotification> Out;
        for (const TMockCall& Call : Buses->CallsOf(Buses->NotificationCalls(), "Notify"))
            Out << NotificationOf(Call);
        return Out;
    }

    QTemporaryDir Dir;
    std::unique_ptr<TPrivateBuses> Buses;
    std::vector<std::unique_ptr<QProcess>> Tools;
};

enum class TStep {
    Countdown,     // the first tool starts and shows its countdown
    SecondJob,     // another tool of the same user starts
    MenuSuspend,   // Suspend(false), as the desktop's menu asks it
    LidSleep,
    Wake,
    PastTheTime,   // the first tool's time passes
    ThreeBefore,   // until 3 s before the first tool's time
    Terminate,     // SIGTERM to the first tool
    ClickPostpone,
    ClickAbort,
    BlockLock,     // another user's program takes a block lock of shutdown
    AdminSchedule, // an administrator's ScheduleShutdown, an hour ahead
    AbortCommand,  // "-a"
};

} // namespace

// What logind does with a run of the tool: only the one call at the moment,
// never a schedule of logind's, never /run/nologin, a wall message only when
// the action really happens, and another program's schedule left as it is.
TEST_F(ShutdownToolBus, NothingOfLumidorsIsInLogindUntilTheMoment)
{
    struct TCase
    {
        const char* Name;
        uint Version;
        QStringList Args;
        std::vector<TStep> Steps;
        int ExitCode;              // of the first tool
        QStringList Actions;       // what logind carried out: "handle how"
        QString Summary;           // of the first tool's last notification; %1 stands for a time
        QString Event;             // of the last history line, or ""
        QStringList AbortOutputs;  // what each "-a" printed
    } Cases[] = {
        {"menu suspend, a wake before the time, then a second job", 252, {"-s", "-t", "10"},
            {TStep::Countdown, TStep::MenuSuspend, TStep::Wake, TStep::ClickAbort, TStep::SecondJob}, 0,
            {"suspend call", "reboot call"}, "The computer shuts down soon", " cancelled Shutdown.exe: ", {}},
        {"menu suspend, a wake before the time, then a second job", 257, {"-s", "-t", "10"},
            {TStep::Countdown, TStep::MenuSuspend, TStep::Wake, TStep::ClickAbort, TStep::SecondJob}, 0,
            {"suspend call", "reboot call"}, "The computer shuts down soon", " cancelled Shutdown.exe: ", {}},
        {"a lid sleep past the time", 252, {"-s", "-t", "10"},
            {TStep::Countdown, TStep::LidSleep, TStep::PastTheTime, TStep::Wake}, 6, {"suspend lid"},
            "The computer was asleep at %1 and was NOT shut down", " missed Shutdown.exe: ", {}},
        {"SIGTERM while asleep", 257, {"-r", "-t", "10"},
            {TStep::Countdown, TStep::LidSleep, TStep::Terminate, TStep::PastTheTime, TStep::Wake}, 6, {"suspend lid"},
            "The computer was NOT restarted", " cancelled Shutdown.exe: asked to end before the time", {}},
        {"a wake 3 s before the time", 252, {"-s", "-t", "10"},
            {TStep::Countdown, TStep::LidSleep, TStep::ThreeBefore, TStep::Wake}, 0, {"suspend lid", "poweroff call"},
            "The computer shuts down soon", " postponed Shutdown.exe: after a sleep", {}},
        {"two countdowns, then -a", 252, {"-s", "-t", "30"},
            {TStep::Countdown, TStep::SecondJob, TStep::AbortCommand, TStep::AbortCommand}, 0, {},
            "The computer shuts down soon", " cancelled Shutdown.exe: ", {"the countdown was aborted", "nothing to abort"}},
        {"Postpone, with no /run/nologin at any point", 257, {"-s", "-t", "10"},
            {TStep::Countdown, TStep::ClickPostpone, TStep::PastTheTime, TStep::AbortCommand}, 0, {},
            "The computer shuts down soon", " cancelled Shutdown.exe: ", {"the countdown was aborted"}},
        {"a block lock taken during the countdown", 252, {"-r", "-t", "10"},
            {TStep::Countdown, TStep::BlockLock}, 4, {}, "The computer was NOT restarted", " failed Shutdown.exe: ", {}},
        {"a block lock taken during the countdown", 257, {"-r", "-t", "10"},
            {TStep::Countdown, TStep::BlockLock}, 4, {}, "The computer was NOT restarted", " failed Shutdown.exe: ", {}},
        {"an administrator's schedule stands through a run and -a", 252, {"-s", "-t", "10"},
            {TStep::AdminSchedule, TStep::Countdown, TStep::ClickAbort, TStep::AbortCommand}, 0, {},
            "The computer shuts down soon", " cancelled Shutdown.exe: ", {"nothing to abort"}},
    };
    for (const TCase& C : Cases) {
        SCOPED_TRACE(QStringLiteral("%1 (%2)").arg(C.Name).arg(C.Version).toStdString());
        StartBuses();
        ASSERT_TRUE(Buses->SetLogindVersion(C.Version));
        qint64 DueUsec = 0;
        qint64 WokeUsec = 0;
        qint64 AdminUsec = 0;
        int OwnSchedules = 0;
        QStringList AbortOutputs;
        QProcess* First = nullptr;

        for (const TStep Step : C.Steps) {
            switch (Step) {
            case TStep::Countdown: {
                const int Before = Shown().size();
                DueUsec = NowUsec() + C.Args.at(2).toLongLong() * 1000000;
                First = &StartTool(C.Args);
                ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", Before + 1));
                break;
            }
            case TStep::SecondJob: {
                QProcess& Second = StartTool({"-r", "-t", "10"});
                // Only one countdown at a time: a second one stands aside while the first runs.
                const bool FirstRuns = First->state() != QProcess::NotRunning;
                EXPECT_EQ(WaitFor(Second), FirstRuns ? 6 : 0) << Second.readAllStandardError().toStdString();
                if (FirstRuns) {
                    EXPECT_TRUE(Shown().last().Summary.startsWith("Lumidor did not plan the restart at "));
                }
                break;
            }
            case TStep::MenuSuspend:
                ASSERT_TRUE(Buses->CallLogind("Suspend", {false}));
                ASSERT_EQ(Buses->SleepState(), "asleep");
                QThread::msleep(3000);
                break;
            case TStep::LidSleep:
                ASSERT_TRUE(Buses->SleepByLid());
                ASSERT_EQ(Buses->SleepState(), "asleep");
                break;
            case TStep::Wake:
                ASSERT_TRUE(Buses->Wake());
                WokeUsec = NowUsec();
                break;
            case TStep::PastTheTime:
                ASSERT_TRUE(WaitUntil([&] { return NowUsec() > DueUsec + 1000000; }, 40000));
                break;
            case TStep::ThreeBefore:
                ASSERT_TRUE(WaitUntil([&] { return NowUsec() > DueUsec - 3000000; }, 40000));
                break;
            case TStep::Terminate:
                First->terminate();
                EXPECT_EQ(WaitFor(*First), 6);
                break;
            case TStep::ClickPostpone:
            case TStep::ClickAbort:
                // The mock numbers notifications from 1; the countdown keeps its number.
                ASSERT_TRUE(Buses->EmitActionInvoked(1, Step == TStep::ClickAbort ? "abort" : "postpone"));
                if (Step == TStep::ClickAbort) {
                    EXPECT_EQ(WaitFor(*First), 0);
                } else {
                    EXPECT_TRUE(LastHistoryLineAfterAMoment(" postponed Shutdown.exe: by the user").contains(" postponed "));
                }
                break;
            case TStep::BlockLock:
                ASSERT_TRUE(Buses->AddInhibitor("shutdown", "Unattended Upgrades", "Upgrading the system", "block", OtherUid));
                break;
            case TStep::AdminSchedule:
                AdminUsec = NowUsec() + 3600 * qint64(1000000);
                ++OwnSchedules;
                ASSERT_TRUE(Buses->CallLogind("ScheduleShutdown", {"reboot", QVariant::fromValue(qulonglong(AdminUsec))}));
                break;
            case TStep::AbortCommand: {
                QProcess& Abort = StartTool({"-a"});
                EXPECT_EQ(WaitFor(Abort), 0);
                AbortOutputs << QString::fromUtf8(Abort.readAllStandardOutput()).trimmed();
                break;
            }
            }
        }

        ASSERT_NE(First, nullptr);
        EXPECT_EQ(WaitFor(*First), C.ExitCode) << First->readAllStandardError().toStdString();
        EXPECT_EQ(AbortOutputs, C.AbortOutputs);

        // What logind did, and nothing more.
        QStringList Actions;
        for (const TPrivateBuses::TAction& Action : Buses->Actions())
            Actions << Action.Handle + " " + Action.How;
        EXPECT_EQ(Actions, C.Actions);
        for (const TPrivateBuses::TAction& Action : Buses->Actions()) {
            if (Action.Handle == "poweroff" && WokeUsec > 0) {
                // The whole countdown after the waking.
                EXPECT_GE(qint64(Action.Usec), WokeUsec + 9500000);
            }
        }
        EXPECT_FALSE(Buses->NologinMade());
        for (const QString& Wall : Buses->WallMessages())
            EXPECT_TRUE(Wall.endsWith(" now!")) << Wall.toStdString();
        const QStringList Logind = MethodsOf(Buses->LogindCalls());
        EXPECT_EQ(Logind.count("ScheduleShutdown"), OwnSchedules) << Logind.join(',').toStdString();
        EXPECT_FALSE(Logind.contains("CancelScheduledShutdown"));
        EXPECT_FALSE(Logind.contains("Inhibit"));
        if (AdminUsec > 0) {
            QString Type;
            qulonglong Usec = 0;
            ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
            EXPECT_EQ(Type, "reboot");
            EXPECT_EQ(qint64(Usec), AdminUsec);
        }

        QList<TNotification> All = Shown();
        ASSERT_FALSE(All.isEmpty());
        const QStringList Around = C.Summary.split("%1");
        // The first tool's notifications replace its own first one.
        TNotification Last;
        for (const TNotification& N : All)
            if (N.ReplacesId == 1 || &N == &All.first())
                Last = N;
        EXPECT_TRUE(Last.Summary.startsWith(Around.first()) && Last.Summary.endsWith(Around.last()))
            << Last.Summary.toStdString();
        if (C.ExitCode == 4) {
            EXPECT_EQ(Last.Body, "Unattended Upgrades is blocking it: Upgrading the system");
        }
        if (WokeUsec > 0 && C.ExitCode == 0 && C.Actions.contains("poweroff call")) {
            EXPECT_TRUE(Last.Body.contains("Moved from ")) << Last.Body.toStdString();
        }
        if (!C.Event.isEmpty()) {
            EXPECT_TRUE(LastHistoryLineAfterAMoment(C.Event).contains(C.Event));
        }
    }
}

TEST_F(ShutdownToolBus, CountdownSpeaksTheSuitesLanguage)
{
    SetSuiteLanguage("German");
    StartTool({"-s"});
    ASSERT_TRUE(Buses->WaitForCalls(TPrivateBuses::Session, "Notify", 1));
    const TNotification Countdown = Shown().at(0);
    EXPECT_EQ(Countdown.Summary, QStringLiteral("Der Computer wird gleich heruntergefahren"));
    EXPECT_TRUE(Countdown.Body.startsWith(QStringLiteral("Herunterfahren in 30 Sekunden, um "))) << Countdown.Body.toStdString();
    EXPECT_EQ(Countdown.Actions, (QStringList{"abort", "Abbrechen", "postpone", "10 Minuten verschieben"}));
    EXPECT_EQ(Countdown.Urgency, 2);
}

// Refused by polkit at the moment, or no logind at all: a critical
// notification says the computer stays on and why; no other call.
TEST_F(ShutdownToolBus, ARefusalAtTheMomentIsToldInTheSuitesLanguage)
{
    const struct
    {
        QString Polkit;
        QString Language;
        bool NoSystemBus;
        int ExitCode;
        QString Summary;
        QString Body;
    } Cases[] = {
        {"no", "English", false, 4, "The computer was NOT shut down", "The system did not allow it (polkit)."},
        {"challenge", "German", false, 4, "Der Computer wurde NICHT heruntergefahren",
            "Das System hat es nicht erlaubt (polkit)."},
        {"yes", "English", true, 3, "The computer was NOT shut down", "The login manager (logind) cannot be reached."},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE((C.Polkit + " " + C.Language).toStdString());
        StartBuses();
        SetSuiteLanguage(C.Language.toUtf8());
        ASSERT_TRUE(Buses->SetPolkit(C.Polkit));
        QProcessEnvironment Env = Buses->Environment();
        if (C.NoSystemBus)
            Env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + Dir.path() + "/no-such-bus");
        QProcess& Run = StartTool({"-s", "-t", "10"}, Env);
        EXPECT_EQ(WaitFor(Run), C.ExitCode) << Run.readAllStandardError().toStdString();
        const QStringList Logind = MethodsOf(Buses->LogindCalls());
        const QStringList Expected = C.NoSystemBus ? QStringList() : QStringList{"PowerOff", "ListInhibitors"};
        EXPECT_EQ(Logind, Expected);
        EXPECT_TRUE(Buses->Actions().isEmpty());
        const TNotification Failure = Shown().last();
        EXPECT_EQ(Failure.Summary, C.Summary);
        EXPECT_EQ(Failure.Body, C.Body);
        EXPECT_EQ(Failure.Urgency, 2);
        EXPECT_TRUE(Failure.Actions.isEmpty());
    }
}

// The mock acts as logind's source does where the old way of the tool met
// it (logind_mock.py names each function): a program that used logind's
// scheduled shutdown would lock users out and fire on waking here too.
TEST_F(ShutdownToolBus, TheMockLogindActsAsLogindDoes)
{
    const QString InProgress = "org.freedesktop.login1.OperationInProgress";
    const struct
    {
        const char* Name;
        uint Version;
        std::function<void(TPrivateBuses&)> Do;
        QString Type;        // ScheduledShutdown's type afterwards
        bool Nologin;        // /run/nologin made
        QStringList Actions; // what logind carried out
    } Cases[] = {
        {"a dry run 2 minutes ahead makes /run/nologin at once", 252,
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.CallLogind("ScheduleShutdown", {"dry-poweroff", QVariant::fromValue(qulonglong(NowUsec() + 120000000))}));
            },
            "poweroff", true, {}},
        {"a menu suspend leaves (suspend, 0) and /run/nologin", 257,
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.CallLogind("ScheduleShutdown", {"poweroff", QVariant::fromValue(qulonglong(NowUsec() + 120000000))}));
                ASSERT_TRUE(B.CallLogind("Suspend", {false}));
                ASSERT_TRUE(B.Wake());
            },
            "suspend", true, {"suspend call"}},
        {"a lid sleep keeps the schedule, which fires on waking", 252,
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.CallLogind("ScheduleShutdown", {"poweroff", QVariant::fromValue(qulonglong(NowUsec() + 1000000))}));
                ASSERT_TRUE(B.SleepByLid());
                QThread::msleep(1500);
                ASSERT_TRUE(B.Wake());
            },
            "poweroff", true, {"suspend lid", "poweroff timer"}},
        {"a scheduled shutdown fires through a block lock", 257,
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.CallLogind("ScheduleShutdown", {"reboot", QVariant::fromValue(qulonglong(NowUsec() + 1000000))}));
                ASSERT_TRUE(B.AddInhibitor("shutdown", "apt", "upgrading", "block", OtherUid));
                QThread::msleep(1500);
            },
            "reboot", true, {"reboot timer"}},
        {"PowerOff: another user's block lock refuses without interaction", 252,
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.AddInhibitor("shutdown", "apt", "upgrading", "block", OtherUid));
                EXPECT_EQ(B.LogindError("PowerOff", {false}), "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired");
            },
            "", false, {}},
        {"PowerOff: another user's block lock refuses without interaction", 257,
            [](TPrivateBuses& B) {
                ASSERT_TRUE(B.AddInhibitor("shutdown", "apt", "upgrading", "block", OtherUid));
                EXPECT_EQ(B.LogindError("Reboot", {false}), "org.freedesktop.DBus.Error.AccessDenied");
            },
            "", false, {}},
        {"PowerOff while a sleep waits for its delay locks", 257,
            [&](TPrivateBuses& B) {
                QDBusMessage Lock = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                    "org.freedesktop.login1.Manager", "Inhibit");
                Lock.setArguments({"sleep", "test", "holds the sleep", "delay"});
                QDBusMessage Held = B.Connection(TPrivateBuses::System).call(Lock);
                ASSERT_EQ(Held.type(), QDBusMessage::ReplyMessage);
                ASSERT_TRUE(B.CallLogind("Suspend", {false}));
                EXPECT_EQ(B.SleepState(), "delaying");
                EXPECT_EQ(B.LogindError("PowerOff", {false}), InProgress);
                QString Type;
                qulonglong Usec = 0;
                // 257 shows the waiting sleep in place of the schedule.
                EXPECT_TRUE(B.ScheduledShutdown(Type, Usec) && Type == "suspend" && Usec > 0);
                // The lock goes, and the sleep with it.
                Held = QDBusMessage();
                EXPECT_TRUE(WaitUntil([&] { return B.SleepState() == "asleep"; }, 3000));
            },
            "suspend", false, {"suspend call"}},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(QStringLiteral("%1 (%2)").arg(C.Name).arg(C.Version).toStdString());
        StartBuses();
        ASSERT_TRUE(Buses->SetLogindVersion(C.Version));
        C.Do(*Buses);
        QString Type = "?";
        qulonglong Usec = 0;
        ASSERT_TRUE(Buses->ScheduledShutdown(Type, Usec));
        EXPECT_EQ(Type, C.Type);
        EXPECT_EQ(Buses->NologinMade(), C.Nologin);
        // Made, it stays: nothing in these cases removes it.
        EXPECT_EQ(QFileInfo::exists(Dir.path() + "/nologin"), C.Nologin);
        QStringList Actions;
        for (const TPrivateBuses::TAction& Action : Buses->Actions())
            Actions << Action.Handle + " " + Action.How;
        EXPECT_EQ(Actions, C.Actions);
        QFile::remove(Dir.path() + "/nologin");
    }
}
