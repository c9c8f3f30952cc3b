#include "tools/ShutdownTool.h"

#include "platform/DesktopNotifications.h"
#include "platform/RunHistory.h"
#include "platform/RunTimeTexts.h"
#include "platform/ShutdownCountdown.h"

#include <QDBusArgument>
#include <QDateTime>
#include <QTextStream>

#include <unistd.h>

namespace {

bool IsRefusal(const QString& ErrorName)
{
    static const QStringList Refused{QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
        QStringLiteral("org.freedesktop.DBus.Error.AuthFailed"),
        QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
        QStringLiteral("org.freedesktop.PolicyKit1.Error.NotAuthorized")};
    return Refused.contains(ErrorName);
}

bool IsUnreachable(const QString& ErrorName)
{
    static const QStringList Unreachable{QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"), QStringLiteral("org.freedesktop.DBus.Error.NoServer"),
        QStringLiteral("org.freedesktop.DBus.Error.Disconnected"), QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
        QStringLiteral("org.freedesktop.DBus.Error.Timeout"), QStringLiteral("org.freedesktop.DBus.Error.TimedOut"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface")};
    return Unreachable.contains(ErrorName);
}

// logind's answer while a sleep or a shutdown is under way.
const QString OperationInProgress = QStringLiteral("org.freedesktop.login1.OperationInProgress");

void WriteTo(FILE* Stream, const QString& Line)
{
    QTextStream(Stream) << Line << Qt::endl;
}

} // namespace

TShutdownTool::TShutdownTool(const TShutdownOptions& Options, IShutdownBus* Bus)
    : FOptions(Options), FTexts(std::make_unique<TRunTimeTexts>(TRunTimeTexts::ForSuite()))
{
    FNowUsec = [] { return QDateTime::currentMSecsSinceEpoch() * 1000; };
    FOut = [](const QString& Line) { WriteTo(stdout, Line); };
    FErr = [](const QString& Line) { WriteTo(stderr, QStringLiteral("Shutdown.exe: ") + Line); };
    if (Bus) {
        FBus = Bus;
    } else if (FOptions.DryRun) {
        FOwnedBus = CreateDryRunShutdownBus([this](const QString& Line) { FOut(Line); });
        FBus = FOwnedBus.get();
    } else {
        FOwnedBus = CreateSystemShutdownBus();
        FBus = FOwnedBus.get();
    }
    FLeadUsec = qint64(FOptions.DelaySeconds) * 1000000;
    if (FOptions.DryRun)
        FWait = false;
}

TShutdownTool::~TShutdownTool() = default;

void TShutdownTool::SetClock(std::function<qint64()> NowUsec)
{
    FNowUsec = std::move(NowUsec);
}

void TShutdownTool::SetSleepClocks(TSleepWatch::TClocks Clocks)
{
    FSleep.SetClocks(std::move(Clocks));
}

void TShutdownTool::SetStepMs(int Ms)
{
    FStepMs = Ms;
}

void TShutdownTool::SetOutput(std::function<void(const QString&)> Out, std::function<void(const QString&)> Err)
{
    FOut = std::move(Out);
    FErr = std::move(Err);
}

void TShutdownTool::SetTexts(const TRunTimeTexts& Texts)
{
    *FTexts = Texts;
}

void TShutdownTool::SetWaitForCountdown(bool Wait)
{
    FWait = Wait && !FOptions.DryRun;
}

void TShutdownTool::StopWaiting()
{
    if (FStop == TStop::None)
        FStop = TStop::End;
    StepSoon();
}

int TShutdownTool::Run()
{
    if (FOptions.Help) {
        FOut(ShutdownUsage());
        return ShutdownExitOk;
    }
    switch (FOptions.Action) {
    case TShutdownAction::PowerOff:
    case TShutdownAction::Reboot:
        return CountDown();
    case TShutdownAction::Abort:
        return Abort();
    case TShutdownAction::None:
        break;
    }
    FErr(QStringLiteral("no action given: use -s, -r or -a"));
    return ShutdownExitUsage;
}

int TShutdownTool::Abort()
{
    // Nothing of logind's is touched: a countdown of Lumidor's is all there is to stop.
    if (FOptions.DryRun) {
        FOut(ShutdownCountdown::Running() ? QStringLiteral("would abort the countdown under way")
                                          : QStringLiteral("nothing to abort"));
        return ShutdownExitOk;
    }
    switch (ShutdownCountdown::Abort()) {
    case ShutdownCountdown::TAbort::NothingToAbort:
        FOut(QStringLiteral("nothing to abort"));
        return ShutdownExitOk;
    case ShutdownCountdown::TAbort::Aborted:
        FOut(QStringLiteral("the countdown was aborted"));
        return ShutdownExitOk;
    case ShutdownCountdown::TAbort::NotStopped:
        break;
    }
    FErr(QStringLiteral("the countdown under way did not stop: its moment has come, or it does not answer"));
    return ShutdownExitFailed;
}

QDBusMessage TShutdownTool::CallLogind(const QString& Method, const QVariantList& Args)
{
    QDBusMessage Message = QDBusMessage::createMethodCall(Logind::Service, Logind::Path, Logind::Manager, Method);
    Message.setArguments(Args);
    return FBus->Call(TShutdownBusKind::System, Message);
}

int TShutdownTool::ReportError(const QDBusMessage& Reply, const QString& What, const QString& Cause)
{
    const QString Name = Reply.errorName();
    const QString Detail = BusErrorText(Reply) + Cause;
    if (IsUnreachable(Name)) {
        FErr(QStringLiteral("cannot %1: logind is not reachable: %2").arg(What, Detail));
        return ShutdownExitNoLogind;
    }
    if (IsRefusal(Name)) {
        FErr(QStringLiteral("cannot %1: not allowed: %2").arg(What, Detail));
        return ShutdownExitNotAllowed;
    }
    FErr(QStringLiteral("cannot %1: logind failed: %2").arg(What, Detail));
    return ShutdownExitFailed;
}

QString TShutdownTool::Text(const char* Key, const char* English) const
{
    return FTexts->Text(QLatin1String(Key), QString::fromUtf8(English));
}

QString TShutdownTool::ActionText(const char* Stem, const char* Shutdown, const char* Restart) const
{
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    return FTexts->Text(QLatin1String(Stem) + (Reboot ? QLatin1String("_Restart") : QLatin1String("_Shutdown")),
        QString::fromUtf8(Reboot ? Restart : Shutdown));
}

QString TShutdownTool::TimeText(qint64 Usec) const
{
    return ShortTimeText(QDateTime::fromMSecsSinceEpoch(Usec / 1000));
}

QString TShutdownTool::IsoText(qint64 Usec) const
{
    return RunHistory::LocalTimeText(Usec / 1000000);
}

QString TShutdownTool::ActionWord() const
{
    return FOptions.Action == TShutdownAction::Reboot ? QStringLiteral("restart") : QStringLiteral("power-off");
}

QList<QPair<QString, QString>> TShutdownTool::BlockingInhibitors()
{
    QList<QPair<QString, QString>> Found;
    const QDBusMessage Reply = CallLogind(QStringLiteral("ListInhibitors"), {});
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return Found;
    const QDBusArgument Arg = Reply.arguments().at(0).value<QDBusArgument>();
    if (Arg.currentType() != QDBusArgument::ArrayType)
        return Found;
    Arg.beginArray();
    while (!Arg.atEnd()) {
        QString What, Who, Why, Mode;
        uint Uid = 0, Pid = 0;
        Arg.beginStructure();
        Arg >> What >> Who >> Why >> Mode >> Uid >> Pid;
        Arg.endStructure();
        // "what" is a colon-separated list; "delay" only waits, and logind
        // lets a user's own block locks pass (manager_is_inhibited with ignore_uid).
        if ((Mode == QLatin1String("block") || Mode == QLatin1String("block-weak")) && Uid != geteuid()
            && What.split(QLatin1Char(':')).contains(QLatin1String("shutdown")))
            Found.append({Who, Why});
    }
    Arg.endArray();
    return Found;
}

int TShutdownTool::Fail(const QDBusMessage* Reply, const QString& What)
{
    // Why logind would not: a lock names itself, which says more than "not allowed".
    QList<QPair<QString, QString>> Inhibitors;
    if (Reply && IsRefusal(Reply->errorName()))
        Inhibitors = BlockingInhibitors();
    QStringList Causes;
    for (const auto& [Who, Why] : std::as_const(Inhibitors))
        Causes << Text("Failed_Inhibited", "%1 is blocking it: %2").arg(Who, Why);

    int ExitCode = ShutdownExitNoLogind;
    QString Reason;
    if (!Reply) {
        FErr(QStringLiteral("cannot %1: the system bus is not reachable, so logind is not either").arg(What));
        Reason = Text("Failed_NoLogind", "The login manager (logind) cannot be reached.");
    } else {
        ExitCode = ReportError(*Reply, What,
            Causes.isEmpty() ? QString() : QStringLiteral("; ") + Causes.join(QStringLiteral("; ")));
        if (!Causes.isEmpty())
            Reason = Causes.join(QLatin1Char('\n'));
        else if (ExitCode == ShutdownExitNoLogind)
            Reason = Text("Failed_NoLogind", "The login manager (logind) cannot be reached.");
        else if (ExitCode == ShutdownExitNotAllowed)
            Reason = Text("Failed_Refused", "The system did not allow it (polkit).");
        else if (Reply->errorName() == OperationInProgress)
            Reason = Text("Failed_InProgress", "A sleep or a shutdown is already under way.");
        else
            Reason = Text("Failed_Logind", "The login manager (logind) failed: %1").arg(BusErrorText(*Reply));
    }
    (void)RunHistory::Append(RunHistory::TEvent::Failed, ShutdownProgramName,
        QStringLiteral("cannot %1 (exit code %2)%3")
            .arg(What).arg(ExitCode)
            .arg(Causes.isEmpty() ? QString() : QStringLiteral(": ") + Causes.join(QStringLiteral("; "))));
    NotifyFailure(ActionText("Failed", "The computer was NOT shut down", "The computer was NOT restarted"), Reason,
        QStringLiteral("dialog-error"));
    return ExitCode;
}

int TShutdownTool::NotRun(RunHistory::TEvent Event, const QString& Summary, const QString& Body, const QString& Details)
{
    FErr(Details);
    (void)RunHistory::Append(Event, ShutdownProgramName, Details);
    NotifyFailure(Summary, Body, QStringLiteral("dialog-information"));
    return ShutdownExitNotRun;
}

void TShutdownTool::NotifyFailure(const QString& Summary, const QString& Reason, const QString& Icon)
{
    if (!FBus->Available(TShutdownBusKind::Session))
        return;
    DesktopNotifications::TNotification Failure;
    Failure.ReplacesId = FNotificationId;
    Failure.Icon = Icon;
    Failure.Summary = Summary;
    Failure.Body = Reason;
    // Stays until the user closes it: they must not miss that the computer stays on.
    Failure.Urgency = DesktopNotifications::TUrgency::Critical;
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, DesktopNotifications::NotifyMessage(Failure));
    if (Reply.type() != QDBusMessage::ReplyMessage)
        FErr(QStringLiteral("this cannot be shown: %1").arg(Reply.errorMessage()));
    FNotificationId = 0;
}
