#include "tools/ShutdownTool.h"

#include "platform/RunHistory.h"
#include "platform/RunTimeTexts.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr qint64 StartMs = 1700000000000;

// Records every call and answers as told; never reaches a real bus.
class TFakeBus : public IShutdownBus
{
public:
    bool SystemUp = true;
    bool SessionUp = true;
    QString ActError; // error name PowerOff and Reboot answer with, empty for success
    QStringList Calls;
    QList<QVariantList> Notifications;
    QVariantList ActArgs;
    QObject* Receiver = nullptr;

    bool Available(TShutdownBusKind Bus) override { return Bus == TShutdownBusKind::System ? SystemUp : SessionUp; }

    QDBusMessage Call(TShutdownBusKind, const QDBusMessage& Message) override
    {
        Calls << Message.member();
        if (Message.member() == QLatin1String("PowerOff") || Message.member() == QLatin1String("Reboot")) {
            ActArgs = Message.arguments();
            return ActError.isEmpty() ? Message.createReply() : Message.createErrorReply(ActError, QStringLiteral("refused"));
        }
        if (Message.member() == QLatin1String("Notify")) {
            Notifications << Message.arguments();
            return Message.createReply(QVariant::fromValue(uint(7)));
        }
        return Message.createReply();
    }

    bool ConnectSignal(TShutdownBusKind, const QString&, const QString&, const QString&, const QString&,
        QObject* Object, const char*) override
    {
        Receiver = Object;
        return true;
    }
};

// The clocks of a countdown, one step a look: each step the computer is
// awake for a second unless the script says otherwise.
struct TWorld
{
    qint64 Wall = StartMs;
    qint64 Monotonic = 5000;
    qint64 Boot = 5000;
    int Steps = 0;
    std::function<void(TWorld&)> Script;

    void Awake(qint64 Ms) { Wall += Ms, Monotonic += Ms, Boot += Ms; }
    void Asleep(qint64 Ms) { Wall += Ms, Boot += Ms; }
    void SetClock(qint64 Ms) { Wall += Ms; }
};

struct TRun
{
    int ExitCode = -1;
    QStringList Out;
    QStringList Err;
};

TRun RunTool(const QStringList& Args, TFakeBus* Bus, TWorld* World = nullptr,
    const TRunTimeTexts* Texts = nullptr)
{
    TRun Result;
    TShutdownOptions Options;
    QString Error;
    if (!ParseShutdownArguments(Args, Options, Error)) {
        Result.ExitCode = ShutdownExitUsage;
        Result.Err << Error;
        return Result;
    }
    TShutdownTool Tool(Options, Bus);
    TWorld Fixed;
    TWorld& W = World ? *World : Fixed;
    Tool.SetClock([&W] { return W.Wall * 1000; });
    Tool.SetSleepClocks({[&W] { return W.Wall; },
        [&W, Bus] {
            if (W.Steps++ > 0) {
                if (W.Script)
                    W.Script(W);
                else
                    W.Awake(1000);
            }
            return W.Monotonic;
        },
        [&W] { return W.Boot; }});
    if (Texts)
        Tool.SetTexts(*Texts);
    Tool.SetStepMs(1);
    Tool.SetOutput([&](const QString& Line) { Result.Out << Line; }, [&](const QString& Line) { Result.Err << Line; });
    Tool.SetWaitForCountdown(World != nullptr);
    Result.ExitCode = Tool.Run();
    return Result;
}

QString LastHistoryEvent()
{
    const QStringList Lines = RunHistory::Read();
    return Lines.isEmpty() ? QString() : Lines.last().section(QLatin1Char(' '), 3, 3);
}

} // namespace

TEST(ShutdownTool, DryRunPrintsTheCountdownAndTheOneLogindCallAndAbortTouchesNothingOfLogind)
{
    const QString Logind = "busctl --system call org.freedesktop.login1 /org/freedesktop/login1 org.freedesktop.login1.Manager ";
    const struct {
        QStringList Args;
        QStringList Out; // each line's start
    } Cases[] = {
        {{"--dry-run", "-s"}, {"busctl --user call org.freedesktop.Notifications", Logind + "PowerOff b false"}},
        {{"-r", "--dry-run", "-t", "120"}, {"busctl --user call org.freedesktop.Notifications", Logind + "Reboot b false"}},
        {{"--dry-run", "-a"}, {"nothing to abort"}},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Args.join(' ').toStdString());
        const TRun Run = RunTool(Case.Args, nullptr);
        EXPECT_EQ(Run.ExitCode, ShutdownExitOk);
        ASSERT_EQ(Run.Out.size(), Case.Out.size()) << Run.Out.join('\n').toStdString();
        for (int I = 0; I < Run.Out.size(); ++I)
            EXPECT_TRUE(Run.Out.at(I).startsWith(Case.Out.at(I))) << Run.Out.at(I).toStdString();
        EXPECT_TRUE(Run.Err.isEmpty()) << Run.Err.join('\n').toStdString();
    }
    const QString Notify = RunTool({"--dry-run", "-s"}, nullptr).Out.first();
    EXPECT_TRUE(Notify.contains("Shutdown in 30 seconds")) << Notify.toStdString();
    EXPECT_TRUE(Notify.contains(" 4 \"abort\" \"Abort\" \"postpone\" \"Postpone 10 minutes\" ")) << Notify.toStdString();
}

TEST(ShutdownTool, ParsesOptionsLikeTheWindowsToolAndRefusesTheRest)
{
    const struct {
        QStringList Args;
        bool Ok;
        TShutdownAction Action;
        int Delay;
    } Cases[] = {
        {{"-s"}, true, TShutdownAction::PowerOff, 30},
        {{"/S"}, true, TShutdownAction::PowerOff, 30},
        {{"-R"}, true, TShutdownAction::Reboot, 30},
        {{"/a"}, true, TShutdownAction::Abort, 30},
        {{"-s", "-s"}, true, TShutdownAction::PowerOff, 30},
        {{"-s", "-t", "10"}, true, TShutdownAction::PowerOff, 10},
        {{"-s", "-t", "9"}, false, TShutdownAction::None, 30},
        {{"-s", "-t", "86400"}, true, TShutdownAction::PowerOff, 86400},
        {{"-s", "-t", "86401"}, false, TShutdownAction::None, 30},
        {{"-s", "-t", "0"}, false, TShutdownAction::None, 30},
        {{"-s", "-t", "ten"}, false, TShutdownAction::None, 30},
        {{"-s", "-t"}, false, TShutdownAction::None, 30},
        {{"-s", "-r"}, false, TShutdownAction::None, 30},
        {{"-x"}, false, TShutdownAction::None, 30},
        {{"-s", "-f"}, false, TShutdownAction::None, 30},
        {{"-sr"}, false, TShutdownAction::None, 30},
        {{"s"}, false, TShutdownAction::None, 30},
        {{}, false, TShutdownAction::None, 30},
        {{"--dry-run"}, false, TShutdownAction::None, 30},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Args.join(' ').toStdString());
        TShutdownOptions Options;
        QString Error;
        const bool Ok = ParseShutdownArguments(Case.Args, Options, Error);
        EXPECT_EQ(Ok, Case.Ok);
        if (Ok) {
            EXPECT_EQ(Options.Action, Case.Action);
            EXPECT_EQ(Options.DelaySeconds, Case.Delay);
        } else {
            EXPECT_FALSE(Error.isEmpty());
        }
    }
}

// At the moment logind is asked once, without interaction; a refusal is one
// critical notification in place of the countdown, its exit code, and
// nothing else: no second try of any kind.
TEST(ShutdownTool, EveryRefusalAtTheMomentHasItsExitCodeAndItsReason)
{
    const struct {
        bool SystemUp;
        QString Error;
        int ExitCode;
        QString Reason;
    } Cases[] = {
        {false, {}, ShutdownExitNoLogind, "The login manager (logind) cannot be reached."},
        {true, "org.freedesktop.DBus.Error.ServiceUnknown", ShutdownExitNoLogind,
            "The login manager (logind) cannot be reached."},
        {true, "org.freedesktop.DBus.Error.UnknownMethod", ShutdownExitNoLogind,
            "The login manager (logind) cannot be reached."},
        {true, "org.freedesktop.DBus.Error.AccessDenied", ShutdownExitNotAllowed, "The system did not allow it (polkit)."},
        {true, "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", ShutdownExitNotAllowed,
            "The system did not allow it (polkit)."},
        {true, "org.freedesktop.login1.OperationInProgress", ShutdownExitFailed,
            "A sleep or a shutdown is already under way."},
        {true, "org.freedesktop.DBus.Error.Failed", ShutdownExitFailed,
            "The login manager (logind) failed: refused (org.freedesktop.DBus.Error.Failed)"},
    };
    for (const auto& Case : Cases) {
        for (const char* Action : {"-s", "-r"}) {
            SCOPED_TRACE((Case.Error + " " + Action).toStdString());
            TFakeBus Bus;
            Bus.SystemUp = Case.SystemUp;
            Bus.ActError = Case.Error;
            TWorld World;
            const TRun Run = RunTool({Action, "-t", "10"}, &Bus, &World);
            EXPECT_EQ(Run.ExitCode, Case.ExitCode);
            // The countdown and its refreshes, then the one call and what follows it.
            QStringList Tail = Bus.Calls;
            while (!Tail.isEmpty() && Tail.first() == "Notify")
                Tail.removeFirst();
            QStringList Expected{QString(Action) == "-s" ? "PowerOff" : "Reboot", "Notify"};
            if (!Case.SystemUp)
                Expected.clear();
            else if (Case.ExitCode == ShutdownExitNotAllowed)
                Expected.insert(1, "ListInhibitors");
            EXPECT_EQ(Tail, Expected) << Bus.Calls.join(',').toStdString();
            if (Case.SystemUp) {
                EXPECT_EQ(Bus.ActArgs, QVariantList{false});
            }
            const QVariantList Failure = Bus.Notifications.last();
            EXPECT_EQ(Failure.at(1).toUInt(), 7u) << "replaces the countdown";
            EXPECT_EQ(Failure.at(4).toString(), Case.Reason);
            EXPECT_TRUE(Failure.at(5).toStringList().isEmpty());
            EXPECT_EQ(Failure.at(6).toMap().value("urgency").toInt(), 2);
            EXPECT_EQ(LastHistoryEvent(), "failed");
        }
    }
}

// The tool's own look at the kernel's clocks decides, also when logind's
// PrepareForSleep comes after the first event of the waking, or never.
TEST(ShutdownTool, SleepsAndClockSettingsTheKernelSawDecideBeforeAnyCall)
{
    enum class TWhat { Sleep, SetClock, Postpone };
    const struct {
        const char* Name;
        TWhat What;
        int AtStep;
        qint64 Ms;
        int ExitCode;
        QString Act;       // the call at the end, or ""
        qint64 ActAfterMs; // how long after the start logind is asked
        QString Summary;   // of the last notification
        QString Event;     // the last history line's
    } Cases[] = {
        {"the moment comes", TWhat::Sleep, 0, 0, 0, "PowerOff", 10000, "The computer shuts down soon", ""},
        {"asleep through the moment", TWhat::Sleep, 3, 60000, 6, "", 0,
            "The computer was asleep at %1 and was NOT shut down", "missed"},
        {"awake 2 s before the moment: the whole countdown follows", TWhat::Sleep, 3, 5000, 0, "PowerOff", 18000,
            "The computer shuts down soon", "postponed"},
        {"the clock set past the moment", TWhat::SetClock, 3, 3600000, 6, "", 0, "The computer was NOT shut down",
            "missed"},
        {"the clock set back: the countdown comes back for the time", TWhat::SetClock, 3, -20000, 0, "PowerOff", 10000,
            "The computer shuts down soon", ""},
        {"postponed twice", TWhat::Postpone, 2, 0, 0, "PowerOff", 1210000, "The computer shuts down soon", "postponed"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TFakeBus Bus;
        TWorld World;
        const int HistoryBefore = RunHistory::Read().size();
        World.Script = [&](TWorld& W) {
            if (W.Steps - 1 == Case.AtStep && Case.What == TWhat::Sleep)
                W.Asleep(Case.Ms);
            else if (W.Steps - 1 == Case.AtStep && Case.What == TWhat::SetClock)
                W.SetClock(Case.Ms);
            // Postpone at the step given and again when the countdown is back.
            if (Case.What == TWhat::Postpone && (W.Steps - 1 == Case.AtStep || W.Wall == StartMs + 602000))
                QMetaObject::invokeMethod(Bus.Receiver, "NotificationActionInvoked", Q_ARG(uint, 7), Q_ARG(QString, "postpone"));
            W.Awake(1000);
        };
        const TRun Run = RunTool({"-s", "-t", "10"}, &Bus, &World);
        EXPECT_EQ(Run.ExitCode, Case.ExitCode) << Run.Err.join('\n').toStdString();
        EXPECT_EQ(Bus.Calls.contains("PowerOff"), !Case.Act.isEmpty()) << Bus.Calls.join(',').toStdString();
        EXPECT_FALSE(Bus.Calls.contains("Reboot"));
        if (!Case.Act.isEmpty()) {
            EXPECT_EQ(Bus.Calls.last(), Case.Act);
            EXPECT_EQ(World.Wall - StartMs, Case.ActAfterMs);
        }
        ASSERT_FALSE(Bus.Notifications.isEmpty());
        const QString Summary = Bus.Notifications.last().at(3).toString();
        const QStringList Around = Case.Summary.split("%1");
        EXPECT_TRUE(Summary.startsWith(Around.first()) && Summary.endsWith(Around.last())) << Summary.toStdString();
        if (Case.Event.isEmpty())
            EXPECT_EQ(RunHistory::Read().size(), HistoryBefore);
        else
            EXPECT_EQ(LastHistoryEvent(), Case.Event);
    }
}

TEST(ShutdownTool, WithoutASessionBusTheCountdownIsKeptUnseenAndTheMomentStillComes)
{
    TFakeBus Bus;
    Bus.SessionUp = false;
    TWorld World;
    const TRun Run = RunTool({"-r", "-t", "60"}, &Bus, &World);
    EXPECT_EQ(Run.ExitCode, ShutdownExitOk);
    EXPECT_EQ(Bus.Calls, QStringList{"Reboot"});
    EXPECT_EQ(World.Wall - StartMs, 60000);
}

TEST(ShutdownTool, TextsComeFromTheLanguageGiven)
{
    QTemporaryDir Dir;
    QFile File(Dir.path() + "/Polish.lng");
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("\xEF\xBB\xBF[Lumidor_M]\nCountdown_Abort=Przerwij\nFailed_Shutdown=Komputer NIE zosta\xC5\x82 wy\xC5\x82\xC4\x85" "czony\n");
    File.close();
    const TRunTimeTexts Texts = TRunTimeTexts::Load(Dir.path(), "Polish");
    TFakeBus Bus;
    Bus.ActError = "org.freedesktop.DBus.Error.AccessDenied";
    TWorld World;
    RunTool({"-s", "-t", "10"}, &Bus, &World, &Texts);
    ASSERT_GE(Bus.Notifications.size(), 2);
    // A key the file lacks keeps its English text.
    EXPECT_EQ(Bus.Notifications.first().at(5).toStringList(),
        (QStringList{"abort", "Przerwij", "postpone", "Postpone 10 minutes"}));
    EXPECT_EQ(Bus.Notifications.last().at(3).toString(), QStringLiteral("Komputer NIE został wyłączony"));
}

TEST(ShutdownTool, ProgramDryRunPrintsAndUnknownOptionsFailWithUsage)
{
    const QString Program = QStringLiteral(LUMIDOR_BUILD_DIR "/libexec/lumidor/Shutdown.exe");
    if (!QFileInfo::exists(Program))
        GTEST_SKIP() << "Shutdown.exe is not built";
    // Every run carries --dry-run: the real action never happens here.
    QProcess P;
    P.start(Program, {"--dry-run", "-s"});
    ASSERT_TRUE(P.waitForFinished(10000));
    EXPECT_EQ(P.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(P.readAllStandardOutput()).contains("PowerOff b false"));

    P.start(Program, {"--dry-run", "-x"});
    ASSERT_TRUE(P.waitForFinished(10000));
    EXPECT_EQ(P.exitCode(), ShutdownExitUsage);
    EXPECT_TRUE(QString::fromUtf8(P.readAllStandardError()).contains("unknown option \"-x\""));
    EXPECT_TRUE(P.readAllStandardOutput().isEmpty());
}
