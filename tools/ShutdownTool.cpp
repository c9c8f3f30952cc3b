#include "tools/ShutdownTool.h"

#include "platform/RunHistory.h"
#include "platform/RunTimeTexts.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QDateTime>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

namespace {

const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString NotifyService = QStringLiteral("org.freedesktop.Notifications");
const QString NotifyPath = QStringLiteral("/org/freedesktop/Notifications");
const QString NotifyInterface = QStringLiteral("org.freedesktop.Notifications");
const QString AbortActionKey = QStringLiteral("abort");
const QString PostponeActionKey = QStringLiteral("postpone");

// How often the countdown refreshes the notification's time left.
constexpr int NotificationRefreshSeconds = 5;
// "Postpone 10 minutes".
constexpr qint64 PostponeUsec = 600 * qint64(1000000);

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

QString ErrorDetail(const QDBusMessage& Reply)
{
    const QString Name = Reply.errorName();
    return Reply.errorMessage().isEmpty() ? Name : Reply.errorMessage() + QStringLiteral(" (") + Name + QLatin1Char(')');
}

QString Quote(const QString& Text)
{
    QString Out = Text;
    Out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    Out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + Out + QLatin1Char('"');
}

// Signature and busctl text of one argument, for the types the tool sends.
void FormatValue(const QVariant& Value, QString& Signature, QStringList& Words)
{
    switch (Value.metaType().id()) {
    case QMetaType::QString:
        Signature += QLatin1Char('s');
        Words << Quote(Value.toString());
        break;
    case QMetaType::UInt:
        Signature += QLatin1Char('u');
        Words << QString::number(Value.toUInt());
        break;
    case QMetaType::Int:
        Signature += QLatin1Char('i');
        Words << QString::number(Value.toInt());
        break;
    case QMetaType::ULongLong:
        Signature += QLatin1Char('t');
        Words << QString::number(Value.toULongLong());
        break;
    case QMetaType::LongLong:
        Signature += QLatin1Char('x');
        Words << QString::number(Value.toLongLong());
        break;
    case QMetaType::UChar:
        Signature += QLatin1Char('y');
        Words << QString::number(Value.value<uchar>());
        break;
    case QMetaType::Bool:
        Signature += QLatin1Char('b');
        Words << (Value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        break;
    case QMetaType::QStringList: {
        const QStringList List = Value.toStringList();
        Signature += QLatin1String("as");
        Words << QString::number(List.size());
        for (const QString& Item : List)
            Words << Quote(Item);
        break;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap Map = Value.toMap();
        Signature += QLatin1String("a{sv}");
        Words << QString::number(Map.size());
        for (auto It = Map.cbegin(); It != Map.cend(); ++It) {
            QString Inner;
            QStringList InnerWords;
            FormatValue(It.value(), Inner, InnerWords);
            Words << Quote(It.key()) << Inner << InnerWords;
        }
        break;
    }
    default:
        Signature += QLatin1Char('?');
        Words << Quote(Value.toString());
        break;
    }
}

class TRealShutdownBus : public IShutdownBus
{
public:
    bool Available(TShutdownBusKind Bus) override { return Connection(Bus).isConnected(); }

    QDBusMessage Call(TShutdownBusKind Bus, const QDBusMessage& Message) override
    {
        QDBusConnection C = Connection(Bus);
        if (!C.isConnected())
            return Message.createErrorReply(QDBusError::Disconnected, C.lastError().message());
        return C.call(Message, QDBus::Block, 25000);
    }

    bool ConnectSignal(TShutdownBusKind Bus, const QString& Service, const QString& Path,
        const QString& Interface, const QString& Name, QObject* Receiver, const char* Slot) override
    {
        return Connection(Bus).connect(Service, Path, Interface, Name, Receiver, Slot);
    }

private:
    static QDBusConnection Connection(TShutdownBusKind Bus)
    {
        return Bus == TShutdownBusKind::System ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    }
};

// Prints every call and makes none; answers as a quiet system would.
class TDryRunShutdownBus : public IShutdownBus
{
public:
    explicit TDryRunShutdownBus(std::function<void(const QString&)> Out) : FOut(std::move(Out)) {}

    bool Available(TShutdownBusKind) override { return true; }

    QDBusMessage Call(TShutdownBusKind Bus, const QDBusMessage& Message) override
    {
        FOut(FormatBusCall(Bus, Message));
        if (Message.member() == QLatin1String("Notify"))
            return Message.createReply(QVariant::fromValue(uint(0)));
        if (Message.member() == QLatin1String("CancelScheduledShutdown"))
            return Message.createReply(QVariant(false));
        return Message.createReply();
    }

    bool ConnectSignal(TShutdownBusKind, const QString&, const QString&, const QString&, const QString&,
        QObject*, const char*) override
    {
        return false;
    }

private:
    std::function<void(const QString&)> FOut;
};

void WriteTo(FILE* Stream, const QString& Line)
{
    QTextStream(Stream) << Line << Qt::endl;
}

} // namespace

bool ParseShutdownArguments(const QStringList& Args, TShutdownOptions& Options, QString& Error)
{
    Options = TShutdownOptions();
    for (int I = 0; I < Args.size(); ++I) {
        const QString Arg = Args.at(I);
        const QString Lower = Arg.toLower();
        if (Lower == QLatin1String("--dry-run")) {
            Options.DryRun = true;
            continue;
        }
        if (Lower == QLatin1String("--help")) {
            Options.Help = true;
            continue;
        }
        if (Arg.size() != 2 || (Arg[0] != QLatin1Char('-') && Arg[0] != QLatin1Char('/'))) {
            Error = QStringLiteral("unknown option \"%1\"").arg(Arg);
            return false;
        }
        TShutdownAction Action = TShutdownAction::None;
        switch (Lower[1].unicode()) {
        case 's': Action = TShutdownAction::PowerOff; break;
        case 'r': Action = TShutdownAction::Reboot; break;
        case 'a': Action = TShutdownAction::Abort; break;
        case 'h':
        case '?':
            Options.Help = true;
            continue;
        case 't': {
            if (I + 1 >= Args.size()) {
                Error = QStringLiteral("option \"%1\" needs a number of seconds").arg(Arg);
                return false;
            }
            bool Ok = false;
            const int Seconds = Args.at(++I).toInt(&Ok);
            if (!Ok || Seconds < MinShutdownDelaySeconds || Seconds > MaxShutdownDelaySeconds) {
                Error = QStringLiteral("the delay must be a number of seconds from %1 to %2, not \"%3\"")
                            .arg(MinShutdownDelaySeconds).arg(MaxShutdownDelaySeconds).arg(Args.at(I));
                return false;
            }
            Options.DelaySeconds = Seconds;
            continue;
        }
        default:
            Error = QStringLiteral("unknown option \"%1\"").arg(Arg);
            return false;
        }
        if (Options.Action != TShutdownAction::None && Options.Action != Action) {
            Error = QStringLiteral("give only one of -s, -r and -a");
            return false;
        }
        Options.Action = Action;
    }
    if (Options.Action == TShutdownAction::None && !Options.Help) {
        Error = QStringLiteral("no action given: use -s, -r or -a");
        return false;
    }
    return true;
}

QString ShutdownUsage()
{
    return QStringLiteral(
        "Usage: Shutdown.exe -s | -r | -a [-t seconds] [--dry-run]\n"
        "  -s          power the computer off after the delay\n"
        "  -r          restart the computer after the delay\n"
        "  -a          cancel a scheduled power-off or restart\n"
        "  -t seconds  the delay, %1 to %2 seconds (default 30)\n"
        "  --dry-run   print the D-Bus calls instead of making them\n"
        "Exit codes: 0 done, 2 bad usage, 3 logind not reachable, 4 not allowed, 5 logind failed.")
        .arg(MinShutdownDelaySeconds).arg(MaxShutdownDelaySeconds);
}

std::unique_ptr<IShutdownBus> CreateSystemShutdownBus()
{
    return std::make_unique<TRealShutdownBus>();
}

QString FormatBusCall(TShutdownBusKind Bus, const QDBusMessage& Message)
{
    QString Signature;
    QStringList Words;
    for (const QVariant& Arg : Message.arguments())
        FormatValue(Arg, Signature, Words);
    QStringList Line{QStringLiteral("busctl"),
        Bus == TShutdownBusKind::System ? QStringLiteral("--system") : QStringLiteral("--user"),
        QStringLiteral("call"), Message.service(), Message.path(), Message.interface(), Message.member()};
    if (!Signature.isEmpty())
        Line << Signature << Words;
    return Line.join(QLatin1Char(' '));
}

TShutdownTool::TShutdownTool(const TShutdownOptions& Options, IShutdownBus* Bus)
    : FOptions(Options), FTexts(std::make_unique<TRunTimeTexts>(TRunTimeTexts::ForSuite()))
{
    FNowUsec = [] { return QDateTime::currentMSecsSinceEpoch() * 1000; };
    FOut = [](const QString& Line) { WriteTo(stdout, Line); };
    FErr = [](const QString& Line) { WriteTo(stderr, QStringLiteral("Shutdown.exe: ") + Line); };
    if (Bus) {
        FBus = Bus;
    } else if (FOptions.DryRun) {
        FOwnedBus = std::make_unique<TDryRunShutdownBus>([this](const QString& Line) { FOut(Line); });
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
    QDBusMessage Message = QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, Method);
    Message.setArguments(Args);
    // polkit may ask the user to confirm; that beats a silent refusal.
    Message.setInteractiveAuthorizationAllowed(true);
    return FBus->Call(TShutdownBusKind::System, Message);
}

int TShutdownTool::ReportError(const QDBusMessage& Reply, const QString& What, const QString& Cause)
{
    const QString Name = Reply.errorName();
    const QString Detail = ErrorDetail(Reply) + Cause;
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
            Reason = Text("Failed_Logind", "The login manager (logind) failed: %1").arg(ErrorDetail(*Reply));
    }
    (void)RunHistory::Append(RunHistory::TEvent::Failed, QStringLiteral("Shutdown.exe"),
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
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const QString Summary = Reboot ? Text("Failed_Restart", "The computer was NOT restarted")
                                   : Text("Failed_Shutdown", "The computer was NOT shut down");
    QDBusMessage Message = QDBusMessage::createMethodCall(NotifyService, NotifyPath, NotifyInterface, QStringLiteral("Notify"));
    QVariantMap Hints;
    Hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    // Stays until the user closes it: they must not miss that the computer stays on.
    Message.setArguments({QStringLiteral("Lumidor"), QVariant::fromValue(uint(0)), QStringLiteral("dialog-error"), Summary,
        Reason, QStringList(), Hints, QVariant::fromValue(int(0))});
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, Message);
    if (Reply.type() != QDBusMessage::ReplyMessage)
        FErr(QStringLiteral("the failure cannot be shown: %1").arg(Reply.errorMessage()));
}

int TShutdownTool::Schedule()
{
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const QString What = Reboot ? QStringLiteral("schedule a restart") : QStringLiteral("schedule a power-off");
    if (!FBus->Available(TShutdownBusKind::System))
        return Fail(nullptr, What);
    FDueUsec = FNowUsec() + qint64(FOptions.DelaySeconds) * 1000000;
    const QDBusMessage Reply = CallLogind(QStringLiteral("ScheduleShutdown"),
        {Reboot ? QStringLiteral("reboot") : QStringLiteral("poweroff"), QVariant::fromValue(qulonglong(FDueUsec))});
    if (Reply.type() != QDBusMessage::ReplyMessage)
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

bool TShutdownTool::Postpone()
{
    // One ScheduleShutdown replaces logind's schedule: at no moment is none
    // scheduled, and a refusal leaves the old time standing.
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const qint64 NewDueUsec = FDueUsec + PostponeUsec;
    const QDBusMessage Reply = CallLogind(QStringLiteral("ScheduleShutdown"),
        {Reboot ? QStringLiteral("reboot") : QStringLiteral("poweroff"), QVariant::fromValue(qulonglong(NewDueUsec))});
    if (Reply.type() != QDBusMessage::ReplyMessage) {
        FErr(QStringLiteral("cannot postpone: %1; it stays at %2").arg(ErrorDetail(Reply), DueText()));
        const qint64 Left = (FDueUsec - FNowUsec() + 999999) / 1000000;
        FNotificationId = Notify(FNotificationId, Left,
            Text("Postpone_Failed", "Could not postpone: the time stays %1.").arg(DueText()));
        return false;
    }
    FDueUsec = NewDueUsec;
    (void)RunHistory::Append(RunHistory::TEvent::Postponed, QStringLiteral("Shutdown.exe"),
        QStringLiteral("by the user: the %1 to %2, %3 minutes later")
            .arg(Reboot ? QStringLiteral("restart") : QStringLiteral("power-off"),
                QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate))
            .arg(PostponeUsec / 60000000));
    // Out of sight until the countdown's own lead before the new time.
    CloseNotification();
    FErr(QStringLiteral("postponed by the user to %1").arg(
        QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate)));
    return true;
}

int TShutdownTool::CountDown()
{
    FBus->ConnectSignal(TShutdownBusKind::Session, NotifyService, NotifyPath, NotifyInterface,
        QStringLiteral("ActionInvoked"), this, SLOT(NotificationActionInvoked(uint, QString)));
    FBus->ConnectSignal(TShutdownBusKind::Session, NotifyService, NotifyPath, NotifyInterface,
        QStringLiteral("NotificationClosed"), this, SLOT(NotificationClosed(uint, uint)));

    QEventLoop Loop;
    QTimer Tick;
    int Result = ShutdownExitOk;
    qint64 LastShown = FOptions.DelaySeconds;
    connect(&Tick, &QTimer::timeout, &Loop, [&] {
        if (FAborted) {
            Loop.quit();
            return;
        }
        while (FPostponeRequests > 0) {
            --FPostponeRequests;
            // After a refusal the other clicks would only be refused as well.
            if (!Postpone())
                FPostponeRequests = 0;
        }
        if (FNotificationGone) {
            Loop.quit();
            return;
        }
        if (FStopRequested) {
            NotifyStanding();
            Loop.quit();
            return;
        }
        const qint64 Left = (FDueUsec - FNowUsec() + 999999) / 1000000;
        if (Left <= 0) {
            Loop.quit();
            return;
        }
        // Someone else cancelled or replaced it (for instance "-a"): our countdown is over.
        QDBusMessage Get = QDBusMessage::createMethodCall(LogindService, LogindPath,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        Get.setArguments({LogindManager, QStringLiteral("ScheduledShutdown")});
        const QDBusMessage Reply = FBus->Call(TShutdownBusKind::System, Get);
        if (Reply.type() == QDBusMessage::ReplyMessage && !Reply.arguments().isEmpty()) {
            const QDBusArgument Arg = qvariant_cast<QDBusVariant>(Reply.arguments().at(0)).variant().value<QDBusArgument>();
            QString Type;
            qulonglong Usec = 0;
            Arg.beginStructure();
            Arg >> Type >> Usec;
            Arg.endStructure();
            if (Type.isEmpty() || Usec != qulonglong(FDueUsec)) {
                CloseNotification();
                FErr(QStringLiteral("the scheduled shutdown was cancelled"));
                Loop.quit();
                return;
            }
        }
        if (FNotificationId == 0) {
            // Postponed: the countdown comes back with the lead it had at first.
            if (Left <= FOptions.DelaySeconds) {
                LastShown = Left;
                FNotificationId = Notify(0, Left);
            }
        } else if (LastShown - Left >= NotificationRefreshSeconds) {
            LastShown = Left;
            FNotificationId = Notify(FNotificationId, Left);
        }
    });
    Tick.start(1000);
    Loop.exec();

    if (FAborted) {
        bool Cancelled = false;
        if (!CancelShutdown(Cancelled, Result))
            return Result;
        FErr(QStringLiteral("aborted by the user"));
    }
    return Result;
}

void TShutdownTool::NotificationActionInvoked(uint Id, const QString& Action)
{
    if (Id != FNotificationId || Id == 0)
        return;
    if (Action == AbortActionKey)
        FAborted = true;
    else if (Action == PostponeActionKey)
        ++FPostponeRequests;
}

void TShutdownTool::NotificationClosed(uint Id, uint)
{
    // A dismissed notification cannot abort any more; the shutdown stands.
    // Servers close a notification after its action: that is no dismissal.
    if (Id == FNotificationId && !FAborted && FPostponeRequests == 0)
        FNotificationGone = true;
}

uint TShutdownTool::Notify(uint ReplacesId, qint64 SecondsLeft, const QString& Note)
{
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const QString Summary = Reboot ? Text("Countdown_Restart", "The computer restarts soon")
                                   : Text("Countdown_Shutdown", "The computer shuts down soon");
    QString Body = (Reboot ? Text("Countdown_Body_Restart", "Restart in %1 seconds, at %2.")
                           : Text("Countdown_Body_Shutdown", "Shutdown in %1 seconds, at %2."))
                       .arg(SecondsLeft).arg(DueText());
    if (!Note.isEmpty())
        Body += QLatin1Char('\n') + Note;
    QDBusMessage Message = QDBusMessage::createMethodCall(NotifyService, NotifyPath, NotifyInterface, QStringLiteral("Notify"));
    QVariantMap Hints;
    Hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    Message.setArguments({QStringLiteral("Lumidor"), QVariant::fromValue(ReplacesId), QStringLiteral("system-shutdown"),
        Summary, Body,
        QStringList{AbortActionKey, Text("Countdown_Abort", "Abort"), PostponeActionKey,
            Text("Countdown_Postpone", "Postpone 10 minutes")},
        Hints, QVariant::fromValue(int(0))});
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, Message);
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
        if (ReplacesId == 0)
            FErr(QStringLiteral("the countdown cannot be shown (%1); \"Shutdown.exe -a\" cancels it").arg(Reply.errorMessage()));
        return ReplacesId;
    }
    return Reply.arguments().at(0).toUInt();
}

void TShutdownTool::StopWaiting()
{
    FStopRequested = true;
}

void TShutdownTool::NotifyStanding()
{
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const QString Summary = (Reboot ? Text("HeadsUp_Restart", "The computer restarts at %1")
                                    : Text("HeadsUp_Shutdown", "The computer shuts down at %1"))
                                .arg(DueText());
    QDBusMessage Message = QDBusMessage::createMethodCall(NotifyService, NotifyPath, NotifyInterface, QStringLiteral("Notify"));
    QVariantMap Hints;
    Hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(2)));
    Message.setArguments({QStringLiteral("Lumidor"), QVariant::fromValue(FNotificationId), QStringLiteral("system-shutdown"),
        Summary, QString(), QStringList(), Hints, QVariant::fromValue(int(0))});
    (void)FBus->Call(TShutdownBusKind::Session, Message);
    FErr(QStringLiteral("asked to end: the scheduled shutdown stands; \"Shutdown.exe -a\" cancels it"));
}

void TShutdownTool::CloseNotification()
{
    if (FNotificationId == 0)
        return;
    QDBusMessage Message = QDBusMessage::createMethodCall(NotifyService, NotifyPath, NotifyInterface,
        QStringLiteral("CloseNotification"));
    Message.setArguments({QVariant::fromValue(FNotificationId)});
    (void)FBus->Call(TShutdownBusKind::Session, Message);
    FNotificationId = 0;
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
    ExitCode = ShutdownExitOk;
    return true;
}

int TShutdownTool::Abort()
{
    bool Cancelled = false;
    int ExitCode = ShutdownExitOk;
    if (!CancelShutdown(Cancelled, ExitCode))
        return ExitCode;
    if (!FOptions.DryRun)
        FErr(Cancelled ? QStringLiteral("the scheduled shutdown was cancelled")
                       : QStringLiteral("no shutdown or restart was scheduled"));
    return ShutdownExitOk;
}
