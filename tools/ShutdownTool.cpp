#include "tools/ShutdownTool.h"

#include "platform/DesktopNotifications.h"
#include "platform/RunHistory.h"
#include "platform/RunTimeTexts.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QDateTime>
#include <QTextStream>

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
        QStringLiteral("org.freedesktop.DBus.Error.Timeout"), QStringLiteral("org.freedesktop.DBus.Error.TimedOut")};
    return Unreachable.contains(ErrorName);
}

bool IsUnsupported(const QString& ErrorName)
{
    static const QStringList Unsupported{QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"), QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface")};
    return Unsupported.contains(ErrorName);
}

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
    if (FOptions.DryRun)
        FWait = false;
}

TShutdownTool::~TShutdownTool() = default;

void TShutdownTool::SetClock(std::function<qint64()> NowUsec)
{
    FNowUsec = std::move(NowUsec);
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

int TShutdownTool::Run()
{
    if (FOptions.Help) {
        FOut(ShutdownUsage());
        return ShutdownExitOk;
    }
    switch (FOptions.Action) {
    case TShutdownAction::PowerOff:
    case TShutdownAction::Reboot:
        return Schedule();
    case TShutdownAction::Abort:
        return Abort();
    case TShutdownAction::None:
        break;
    }
    FErr(QStringLiteral("no action given: use -s, -r or -a"));
    return ShutdownExitUsage;
}

QDBusMessage TShutdownTool::CallLogind(const QString& Method, const QVariantList& Args)
{
    QDBusMessage Message = QDBusMessage::createMethodCall(Logind::Service, Logind::Path, Logind::Manager, Method);
    Message.setArguments(Args);
    // polkit may ask the user to confirm; that beats a silent refusal.
    Message.setInteractiveAuthorizationAllowed(true);
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
    if (IsUnsupported(Name)) {
        FErr(QStringLiteral("cannot %1: logind on this system offers no scheduled shutdown: %2").arg(What, Detail));
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

QString TShutdownTool::DueText() const
{
    return ShortTimeText(QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000));
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
        // "what" is a colon-separated list; only "block" stops logind, "delay" only waits.
        if (Mode == QLatin1String("block") && What.split(QLatin1Char(':')).contains(QLatin1String("shutdown")))
            Found.append({Who, Why});
    }
    Arg.endArray();
    return Found;
}

int TShutdownTool::Fail(const QDBusMessage* Reply, const QString& What)
{
    // Why logind would not: an inhibitor names itself, which says more than "not allowed".
    QList<QPair<QString, QString>> Inhibitors;
    if (Reply && !IsUnreachable(Reply->errorName()) && !IsUnsupported(Reply->errorName()))
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
        else
            Reason = Text("Failed_Logind", "The login manager (logind) failed: %1").arg(BusErrorText(*Reply));
    }
    (void)RunHistory::Append(RunHistory::TEvent::Failed, ShutdownProgramName,
        QStringLiteral("cannot %1 (exit code %2)%3")
            .arg(What).arg(ExitCode)
            .arg(Causes.isEmpty() ? QString() : QStringLiteral(": ") + Causes.join(QStringLiteral("; "))));
    NotifyFailure(Reason);
    return ExitCode;
}

void TShutdownTool::NotifyFailure(const QString& Reason)
{
    if (!FBus->Available(TShutdownBusKind::Session))
        return;
    DesktopNotifications::TNotification Failure;
    Failure.Icon = QStringLiteral("dialog-error");
    Failure.Summary = ActionText("Failed", "The computer was NOT shut down", "The computer was NOT restarted");
    Failure.Body = Reason;
    // Stays until the user closes it: they must not miss that the computer stays on.
    Failure.Urgency = DesktopNotifications::TUrgency::Critical;
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, DesktopNotifications::NotifyMessage(Failure));
    if (Reply.type() != QDBusMessage::ReplyMessage)
        FErr(QStringLiteral("the failure cannot be shown: %1").arg(Reply.errorMessage()));
}

int TShutdownTool::Schedule()
{
    const QString What = QStringLiteral("schedule a %1").arg(ActionWord());
    if (!FBus->Available(TShutdownBusKind::System))
        return Fail(nullptr, What);
    FDueUsec = FNowUsec() + qint64(FOptions.DelaySeconds) * 1000000;
    // logind keeps one schedule for everyone: another program's is never moved or lost.
    TScheduledShutdown Held;
    if (ReadSchedule(Held) && !Held.IsEmpty() && !ShutdownRecord::IsOwn(Held)) {
        return NotRun(RunHistory::TEvent::Refused,
            ActionText("NotPlanned", "Lumidor did not plan the shutdown at %1", "Lumidor did not plan the restart at %1")
                .arg(DueText()),
            OtherStandsText(Held),
            QStringLiteral("the %1 at %2 was not scheduled: logind holds another program's %3 at %4, left as it is")
                .arg(ActionWord(), QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate), Held.Type,
                    QDateTime::fromMSecsSinceEpoch(qint64(Held.Usec / 1000)).toString(Qt::ISODate)));
    }
    QDBusMessage Reply;
    if (!ScheduleAt(TypeName(), FDueUsec, &Reply))
        return Fail(&Reply, What);

    // The notification is a courtesy: without one the shutdown still stands
    // and "-a" still cancels it.
    if (!FBus->Available(TShutdownBusKind::Session)) {
        FErr(QStringLiteral("no session bus: the countdown cannot be shown; \"Shutdown.exe -a\" cancels it"));
        return ShutdownExitOk;
    }
    FNotificationId = Notify(0, FOptions.DelaySeconds);
    if (FNotificationId == 0 || !FWait)
        return ShutdownExitOk;
    return CountDown();
}

bool TShutdownTool::ReadSchedule(TScheduledShutdown& Schedule)
{
    QDBusMessage Get = QDBusMessage::createMethodCall(
        Logind::Service, Logind::Path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    Get.setArguments({Logind::Manager, QStringLiteral("ScheduledShutdown")});
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::System, Get);
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty())
        return false;
    const QDBusArgument Arg = qvariant_cast<QDBusVariant>(Reply.arguments().at(0)).variant().value<QDBusArgument>();
    if (Arg.currentSignature() != QLatin1String("(st)"))
        return false;
    Schedule = {};
    Arg.beginStructure();
    Arg >> Schedule.Type >> Schedule.Usec;
    Arg.endStructure();
    return true;
}

bool TShutdownTool::ScheduleAt(const QString& Type, qint64 Usec, QDBusMessage* Reply)
{
    const QDBusMessage Answer
        = CallLogind(QStringLiteral("ScheduleShutdown"), {Type, QVariant::fromValue(qulonglong(Usec))});
    if (Reply)
        *Reply = Answer;
    if (Answer.type() != QDBusMessage::ReplyMessage)
        return false;
    // A dry run stands in for the tool's own schedule, which the record keeps naming.
    if (!FOptions.DryRun && !Type.startsWith(QLatin1String("dry-")) && !ShutdownRecord::Write({Type, qulonglong(Usec)}))
        FErr(QStringLiteral("cannot write %1: \"-a\" will take the schedule for another program's")
                 .arg(ShutdownRecord::FilePath()));
    return true;
}

int TShutdownTool::NotRun(RunHistory::TEvent Event, const QString& Summary, const QString& Body, const QString& Details)
{
    FErr(Details);
    (void)RunHistory::Append(Event, ShutdownProgramName, Details);
    if (FBus->Available(TShutdownBusKind::Session)) {
        DesktopNotifications::TNotification Notice;
        Notice.Icon = QStringLiteral("dialog-information");
        Notice.Summary = Summary;
        Notice.Body = Body;
        // Stays until the user closes it: they must learn that their choice did not happen.
        Notice.Urgency = DesktopNotifications::TUrgency::Critical;
        const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, DesktopNotifications::NotifyMessage(Notice));
        if (Reply.type() != QDBusMessage::ReplyMessage)
            FErr(QStringLiteral("this cannot be shown: %1").arg(Reply.errorMessage()));
    }
    return ShutdownExitNotRun;
}

QString TShutdownTool::OtherStandsText(const TScheduledShutdown& Other) const
{
    return Text("Other_Stands", "Another program's shutdown or restart at %1 stands; Lumidor leaves it as it is.")
        .arg(ShortTimeText(QDateTime::fromMSecsSinceEpoch(qint64(Other.Usec / 1000))));
}

QString TShutdownTool::TypeName() const
{
    return FOptions.Action == TShutdownAction::Reboot ? QStringLiteral("reboot") : QStringLiteral("poweroff");
}

QString TShutdownTool::ActionWord() const
{
    return FOptions.Action == TShutdownAction::Reboot ? QStringLiteral("restart") : QStringLiteral("power-off");
}

bool TShutdownTool::CancelShutdown(bool& Cancelled, int& ExitCode)
{
    const QString What = QStringLiteral("cancel a scheduled shutdown");
    if (!FBus->Available(TShutdownBusKind::System)) {
        FErr(QStringLiteral("cannot %1: the system bus is not reachable, so logind is not either").arg(What));
        ExitCode = ShutdownExitNoLogind;
        return false;
    }
    const QDBusMessage Reply = CallLogind(QStringLiteral("CancelScheduledShutdown"), {});
    if (Reply.type() != QDBusMessage::ReplyMessage) {
        ExitCode = ReportError(Reply, What);
        return false;
    }
    Cancelled = !Reply.arguments().isEmpty() && Reply.arguments().at(0).toBool();
    if (!FOptions.DryRun)
        ShutdownRecord::Remove();
    ExitCode = ShutdownExitOk;
    return true;
}

int TShutdownTool::Abort()
{
    // Only the tool's own schedule is cancelled; unknown (a dry run), logind decides.
    TScheduledShutdown Held;
    if (FBus->Available(TShutdownBusKind::System) && ReadSchedule(Held)) {
        if (Held.IsEmpty()) {
            ShutdownRecord::Remove();
            FErr(QStringLiteral("no shutdown or restart was scheduled"));
            return ShutdownExitOk;
        }
        if (!ShutdownRecord::IsOwn(Held)) {
            const QString Time = ShortTimeText(QDateTime::fromMSecsSinceEpoch(qint64(Held.Usec / 1000)));
            return NotRun(RunHistory::TEvent::Refused,
                Text("Declined_Cancel", "Lumidor did not cancel the shutdown or restart at %1").arg(Time),
                Text("Declined_Body", "Another program planned it; Lumidor cancels only its own."),
                QStringLiteral("not cancelled: logind's %1 at %2 is another program's")
                    .arg(Held.Type, QDateTime::fromMSecsSinceEpoch(qint64(Held.Usec / 1000)).toString(Qt::ISODate)));
        }
    }
    bool Cancelled = false;
    int ExitCode = ShutdownExitOk;
    if (!CancelShutdown(Cancelled, ExitCode))
        return ExitCode;
    if (!FOptions.DryRun)
        FErr(Cancelled ? QStringLiteral("the scheduled shutdown was cancelled")
                       : QStringLiteral("no shutdown or restart was scheduled"));
    return ShutdownExitOk;
}
