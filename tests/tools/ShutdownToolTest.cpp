#include "tools/ShutdownTool.h"

#include "platform/RunTimeTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr qint64 FixedNowUsec = 1700000000000000;

// Records every call and answers as told; never reaches a real bus.
class TFakeBus : public IShutdownBus
{
public:
    bool SystemUp = true;
    bool SessionUp = true;
    QString ScheduleError;    // error name ScheduleShutdown answers with, empty for success
    bool CancelAnswer = true; // CancelScheduledShutdown's "cancelled"
    QString ScheduledType = QStringLiteral("poweroff");
    std::function<void(TFakeBus&)> OnPropertyGet;
    QStringList Calls;
    QObject* SignalReceiver = nullptr;

    bool Available(TShutdownBusKind Bus) override
    {
        return Bus == TShutdownBusKind::System ? SystemUp : SessionUp;
    }

    QDBusMessage Call(TShutdownBusKind, const QDBusMessage& Message) override
    {
        Calls << Message.member();
        if (Message.member() == QLatin1String("ScheduleShutdown")) {
            if (!ScheduleError.isEmpty())
                return Message.createErrorReply(ScheduleError, QStringLiteral("refused"));
            ScheduledUsec = Message.arguments().at(1).toULongLong();
            Schedules << ScheduledUsec;
            return Message.createReply();
        }
        if (Message.member() == QLatin1String("CancelScheduledShutdown"))
            return Message.createReply(QVariant(CancelAnswer));
        if (Message.member() == QLatin1String("Notify")) {
            Notifications << Message.arguments();
            return Message.createReply(QVariant::fromValue(uint(7)));
        }
        if (Message.member() == QLatin1String("Get")) {
            if (OnPropertyGet)
                OnPropertyGet(*this);
            // Answer with an unmarshallable stand-in: the tool only checks a
            // real reply, so an error keeps the countdown going.
            return Message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.Failed"), QString());
        }
        return Message.createReply();
    }

    bool ConnectSignal(TShutdownBusKind, const QString&, const QString&, const QString&, const QString&,
        QObject* Receiver, const char*) override
    {
        SignalReceiver = Receiver;
        return true;
    }

    qulonglong ScheduledUsec = 0;
    QList<qulonglong> Schedules;
    QList<QVariantList> Notifications;
};

struct TRun
{
    int ExitCode = -1;
    QStringList Out;
    QStringList Err;
};

TRun RunTool(const QStringList& Args, IShutdownBus* Bus, bool Wait = false)
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
    Tool.SetClock([] { return FixedNowUsec; });
    Tool.SetOutput([&](const QString& Line) { Result.Out << Line; }, [&](const QString& Line) { Result.Err << Line; });
    Tool.SetWaitForCountdown(Wait);
    Result.ExitCode = Tool.Run();
    return Result;
}

} // namespace

TEST(ShutdownTool, DryRunPrintsTheLogindCallForEachAction)
{
    const struct {
        QStringList Args;
        QString LogindCall;
    } Cases[] = {
        {{"--dry-run", "-s"},
            "busctl --system call org.freedesktop.login1 /org/freedesktop/login1 org.freedesktop.login1.Manager "
            "ScheduleShutdown st \"poweroff\" 1700000030000000"},
        {{"-r", "--dry-run"},
            "busctl --system call org.freedesktop.login1 /org/freedesktop/login1 org.freedesktop.login1.Manager "
            "ScheduleShutdown st \"reboot\" 1700000030000000"},
        {{"--dry-run", "-s", "-t", "120"},
            "busctl --system call org.freedesktop.login1 /org/freedesktop/login1 org.freedesktop.login1.Manager "
            "ScheduleShutdown st \"poweroff\" 1700000120000000"},
        {{"--dry-run", "-a"},
            "busctl --system call org.freedesktop.login1 /org/freedesktop/login1 org.freedesktop.login1.Manager "
            "CancelScheduledShutdown"},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Args.join(' ').toStdString());
        const TRun Run = RunTool(Case.Args, nullptr);
        EXPECT_EQ(Run.ExitCode, ShutdownExitOk);
        ASSERT_FALSE(Run.Out.isEmpty());
        EXPECT_EQ(Run.Out.first(), Case.LogindCall);
        EXPECT_TRUE(Run.Err.isEmpty()) << Run.Err.join('\n').toStdString();
    }
}

TEST(ShutdownTool, DryRunAnnouncesTheCountdownWithAnAbortAction)
{
    const TRun Run = RunTool({"--dry-run", "-s"}, nullptr);
    ASSERT_EQ(Run.Out.size(), 2);
    const QString Notify = Run.Out.at(1);
    EXPECT_TRUE(Notify.startsWith("busctl --user call org.freedesktop.Notifications /org/freedesktop/Notifications "
                                  "org.freedesktop.Notifications Notify susssasa{sv}i \"Lumidor\" 0 "))
        << Notify.toStdString();
    EXPECT_TRUE(Notify.contains("Shutdown in 30 seconds")) << Notify.toStdString();
    EXPECT_TRUE(Notify.contains(" 4 \"abort\" \"Abort\" \"postpone\" \"Postpone 10 minutes\" ")) << Notify.toStdString();

    // "-a" has nothing to announce.
    EXPECT_EQ(RunTool({"--dry-run", "-a"}, nullptr).Out.size(), 1);
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

TEST(ShutdownTool, EveryLogindFailureHasItsExitCodeAndNeverAnImmediateShutdown)
{
    const struct {
        bool SystemUp;
        QString Error;
        int ExitCode;
    } Cases[] = {
        {false, {}, ShutdownExitNoLogind},
        {true, "org.freedesktop.DBus.Error.ServiceUnknown", ShutdownExitNoLogind},
        {true, "org.freedesktop.DBus.Error.UnknownMethod", ShutdownExitNoLogind},
        {true, "org.freedesktop.DBus.Error.AccessDenied", ShutdownExitNotAllowed},
        {true, "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired", ShutdownExitNotAllowed},
        {true, "org.freedesktop.login1.OperationInProgress", ShutdownExitFailed},
    };
    for (const auto& Case : Cases) {
        for (const char* Action : {"-s", "-r"}) {
            SCOPED_TRACE((Case.Error + " " + Action).toStdString());
            TFakeBus Bus;
            Bus.SystemUp = Case.SystemUp;
            Bus.ScheduleError = Case.Error;
            const TRun Run = RunTool({Action}, &Bus);
            EXPECT_EQ(Run.ExitCode, Case.ExitCode);
            ASSERT_EQ(Run.Err.size(), 1);
            EXPECT_TRUE(Run.Err.first().startsWith("cannot schedule a ")) << Run.Err.first().toStdString();
            // Nothing after the refusal but the question who blocks it and the
            // one critical notification: no PowerOff, no Reboot, no countdown.
            QStringList Calls = Bus.Calls;
            ASSERT_FALSE(Calls.isEmpty());
            EXPECT_EQ(Calls.takeLast(), "Notify");
            Calls.removeAll("ListInhibitors");
            Calls.removeAll("Get");
            EXPECT_LE(Calls.size(), 1) << Bus.Calls.join(',').toStdString();
            EXPECT_TRUE(Calls.isEmpty() || Calls.first() == "ScheduleShutdown") << Bus.Calls.join(',').toStdString();
            ASSERT_EQ(Bus.Notifications.size(), 1);
            EXPECT_TRUE(Bus.Notifications.at(0).at(5).toStringList().isEmpty());
            EXPECT_EQ(Bus.Notifications.at(0).at(6).toMap().value("urgency").toInt(), 2);
        }
    }
}

TEST(ShutdownTool, AbortSucceedsWhetherOrNotAShutdownWasScheduled)
{
    for (const bool Scheduled : {true, false}) {
        TFakeBus Bus;
        Bus.CancelAnswer = Scheduled;
        const TRun Run = RunTool({"-a"}, &Bus);
        EXPECT_EQ(Run.ExitCode, ShutdownExitOk);
        // The fake cannot tell whose schedule it is: logind decides.
        EXPECT_EQ(Bus.Calls, (QStringList{"Get", "CancelScheduledShutdown"}));
    }
    TFakeBus NoBus;
    NoBus.SystemUp = false;
    EXPECT_EQ(RunTool({"-a"}, &NoBus).ExitCode, ShutdownExitNoLogind);
}

TEST(ShutdownTool, ScheduleStandsWithoutASessionBusToAnnounceIt)
{
    TFakeBus Bus;
    Bus.SessionUp = false;
    const TRun Run = RunTool({"-r", "-t", "60"}, &Bus);
    EXPECT_EQ(Run.ExitCode, ShutdownExitOk);
    EXPECT_EQ(Bus.Calls, (QStringList{"Get", "ScheduleShutdown"}));
    EXPECT_EQ(Bus.ScheduledUsec, qulonglong(FixedNowUsec + 60000000));
}

TEST(ShutdownTool, TheNotificationsAbortActionCancelsTheShutdown)
{
    TFakeBus Bus;
    // The user presses "Abort" during the first second of the countdown.
    Bus.OnPropertyGet = [](TFakeBus& B) {
        if (B.SignalReceiver)
            QMetaObject::invokeMethod(B.SignalReceiver, "NotificationActionInvoked", Q_ARG(uint, 7), Q_ARG(QString, "abort"));
    };
    TShutdownOptions Options;
    QString Error;
    ASSERT_TRUE(ParseShutdownArguments({"-s"}, Options, Error));
    TShutdownTool Tool(Options, &Bus);
    QStringList Err;
    Tool.SetOutput([](const QString&) {}, [&](const QString& Line) { Err << Line; });
    Tool.SetWaitForCountdown(true);
    EXPECT_EQ(Tool.Run(), ShutdownExitOk);
    EXPECT_EQ(Bus.Calls,
        (QStringList{"Get", "ScheduleShutdown", "Notify", "Inhibit", "Get", "Get", "CancelScheduledShutdown"}));
    EXPECT_EQ(Err, QStringList{"aborted by the user"});
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
    EXPECT_TRUE(QString::fromUtf8(P.readAllStandardOutput()).contains("ScheduleShutdown st \"poweroff\" "));

    P.start(Program, {"--dry-run", "-x"});
    ASSERT_TRUE(P.waitForFinished(10000));
    EXPECT_EQ(P.exitCode(), ShutdownExitUsage);
    EXPECT_TRUE(QString::fromUtf8(P.readAllStandardError()).contains("unknown option \"-x\""));
    EXPECT_TRUE(P.readAllStandardOutput().isEmpty());
}

TEST(ShutdownTool, PostponeReplacesTheScheduleAndTheCountdownComesBackEachTime)
{
    TFakeBus Bus;
    qint64 Now = FixedNowUsec;
    int Gets = 0;
    // One step a second of the countdown: the user postpones, the clock runs
    // to 30 s before the new time, the user postpones again, then aborts.
    Bus.OnPropertyGet = [&](TFakeBus& B) {
        ++Gets;
        const auto Invoke = [&](const char* Action) {
            QMetaObject::invokeMethod(B.SignalReceiver, "NotificationActionInvoked", Q_ARG(uint, 7), Q_ARG(QString, Action));
        };
        if (Gets == 2 || Gets == 5)
            Invoke("postpone");
        else if (Gets == 3)
            Now = FixedNowUsec + 600000000;
        else if (Gets == 6)
            Now = FixedNowUsec + 1200000000;
        else if (Gets == 8)
            Invoke("abort");
    };
    TShutdownOptions Options;
    QString Error;
    ASSERT_TRUE(ParseShutdownArguments({"-r"}, Options, Error));
    TShutdownTool Tool(Options, &Bus);
    QStringList Err;
    Tool.SetClock([&] { return Now; });
    Tool.SetOutput([](const QString&) {}, [&](const QString& Line) { Err << Line; });
    Tool.SetWaitForCountdown(true);
    EXPECT_EQ(Tool.Run(), ShutdownExitOk);

    const qulonglong Due = FixedNowUsec + 30000000;
    EXPECT_EQ(Bus.Schedules, (QList<qulonglong>{Due, Due + 600000000, Due + 1200000000}));
    EXPECT_EQ(Bus.Calls, (QStringList{"Get", "ScheduleShutdown", "Notify", "Inhibit", "Get", "ScheduleShutdown",
                             "CloseNotification", "Get", "Notify", "Get", "Get", "ScheduleShutdown", "CloseNotification",
                             "Get", "Notify", "Get", "Get", "Get", "CancelScheduledShutdown"}));
    // Each time it comes back as a new countdown, 30 s ahead, with both actions.
    ASSERT_EQ(Bus.Notifications.size(), 3);
    for (const QVariantList& Shown : Bus.Notifications) {
        EXPECT_EQ(Shown.at(1).toUInt(), 0u);
        EXPECT_TRUE(Shown.at(4).toString().startsWith("Restart in 30 seconds")) << Shown.at(4).toString().toStdString();
        EXPECT_EQ(Shown.at(5).toStringList(), (QStringList{"abort", "Abort", "postpone", "Postpone 10 minutes"}));
    }
    EXPECT_EQ(Err.last(), "aborted by the user");
}

TEST(ShutdownTool, TextsComeFromTheLanguageGiven)
{
    QTemporaryDir Dir;
    QFile File(Dir.path() + "/Polish.lng");
    ASSERT_TRUE(File.open(QIODevice::WriteOnly));
    File.write("\xEF\xBB\xBF[Lumidor_M]\nCountdown_Abort=Przerwij\nFailed_Shutdown=Komputer NIE zosta\xC5\x82 wy\xC5\x82\xC4\x85" "czony\n");
    File.close();
    for (const bool Refused : {false, true}) {
        TFakeBus Bus;
        if (Refused)
            Bus.ScheduleError = "org.freedesktop.DBus.Error.AccessDenied";
        TShutdownOptions Options;
        QString Error;
        ASSERT_TRUE(ParseShutdownArguments({"-s"}, Options, Error));
        TShutdownTool Tool(Options, &Bus);
        Tool.SetTexts(TRunTimeTexts::Load(Dir.path(), "Polish"));
        Tool.SetClock([] { return FixedNowUsec; });
        Tool.SetOutput([](const QString&) {}, [](const QString&) {});
        Tool.SetWaitForCountdown(false);
        Tool.Run();
        ASSERT_EQ(Bus.Notifications.size(), 1);
        if (Refused) {
            EXPECT_EQ(Bus.Notifications.at(0).at(3).toString(), QStringLiteral("Komputer NIE został wyłączony"));
        } else {
            // A key the file lacks keeps its English text.
            EXPECT_EQ(Bus.Notifications.at(0).at(5).toStringList(),
                (QStringList{"abort", "Przerwij", "postpone", "Postpone 10 minutes"}));
        }
    }
}

// The record decides what "-a" may cancel: only exactly what the tool wrote
// counts as its own; a damaged record counts as none, so nothing is cancelled.
TEST(ShutdownTool, OnlyTheRecordedScheduleIsTheToolsOwn)
{
    const TScheduledShutdown Logind{"poweroff", 1700000030000000};
    const struct
    {
        QByteArray Content; // empty: no record
        bool Own;
    } Cases[] = {
        {"poweroff 1700000030000000\n", true},
        {"poweroff 1700000030000000", true},
        {"reboot 1700000030000000\n", false},
        {"poweroff 1700000030000001\n", false},
        {"dry-poweroff 1700000030000000\n", false},
        {"poweroff\n", false},
        {"poweroff 1700000030000000 extra\n", false},
        {"poweroff -1700000030000000\n", false},
        {"\xff\xfe garbage", false},
        {"", false},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Content.toStdString());
        ShutdownRecord::Remove();
        if (!Case.Content.isEmpty()) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(ShutdownRecord::FilePath()).path()));
            QFile File(ShutdownRecord::FilePath());
            ASSERT_TRUE(File.open(QIODevice::WriteOnly));
            File.write(Case.Content);
        }
        EXPECT_EQ(ShutdownRecord::IsOwn(Logind), Case.Own);
        // Nothing scheduled is never the tool's own.
        EXPECT_FALSE(ShutdownRecord::IsOwn(TScheduledShutdown{}));
    }
    ASSERT_TRUE(ShutdownRecord::Write(Logind));
    EXPECT_EQ(ShutdownRecord::Read(), Logind);
    ShutdownRecord::Remove();
    EXPECT_TRUE(ShutdownRecord::Read().IsEmpty());
}
