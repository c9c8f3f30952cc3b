#include "tools/ShutdownTool.h"

#include "platform/DesktopNotifications.h"
#include "platform/RunHistory.h"

#include <QDBusArgument>
#include <QDBusVariant>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

// The wait between scheduling and the time: the countdown notification, its
// Abort and Postpone, and the watch on logind's schedule.

namespace {

const QString AbortActionKey = QStringLiteral("abort");
const QString PostponeActionKey = QStringLiteral("postpone");

// How often the countdown refreshes the notification's time left.
constexpr int NotificationRefreshSeconds = 5;
// "Postpone 10 minutes".
constexpr qint64 PostponeUsec = 600 * qint64(1000000);

} // namespace

bool TShutdownTool::Postpone()
{
    // One ScheduleShutdown replaces logind's schedule: at no moment is none
    // scheduled, and a refusal leaves the old time standing.
    const qint64 NewDueUsec = FDueUsec + PostponeUsec;
    QDBusMessage Reply;
    if (!ScheduleAt(TypeName(), NewDueUsec, &Reply)) {
        FErr(QStringLiteral("cannot postpone: %1; it stays at %2").arg(BusErrorText(Reply), DueText()));
        const qint64 Left = (FDueUsec - FNowUsec() + 999999) / 1000000;
        FNotificationId = Notify(FNotificationId, Left,
            Text("Postpone_Failed", "Could not postpone: the time stays %1.").arg(DueText()));
        return false;
    }
    FDueUsec = NewDueUsec;
    (void)RunHistory::Append(RunHistory::TEvent::Postponed, ShutdownProgramName,
        QStringLiteral("by the user: the %1 to %2, %3 minutes later")
            .arg(ActionWord(), QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate))
            .arg(PostponeUsec / 60000000));
    // Out of sight until the countdown's own lead before the new time.
    CloseNotification();
    FErr(QStringLiteral("postponed by the user to %1").arg(
        QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate)));
    return true;
}

int TShutdownTool::CountDown()
{
    using namespace DesktopNotifications;
    FBus->ConnectSignal(TShutdownBusKind::Session, Service, Path, Interface, ActionInvokedSignal, this,
        SLOT(NotificationActionInvoked(uint, QString)));
    FBus->ConnectSignal(TShutdownBusKind::Session, Service, Path, Interface, ClosedSignal, this,
        SLOT(NotificationClosed(uint, uint)));
    FBus->ConnectSignal(TShutdownBusKind::System, Logind::Service, Logind::Path, Logind::Manager,
        QStringLiteral("PrepareForSleep"), this, SLOT(PrepareForSleep(bool)));
    TakeSleepLock();

    QEventLoop Loop;
    QTimer Tick;
    int Result = ShutdownExitOk;
    FLastShown = FOptions.DelaySeconds;
    connect(&Tick, &QTimer::timeout, &Loop, [&] {
        // Asleep, nothing is decided: the user's clicks wait for the waking.
        if (FAsleep && !FStopRequested)
            return;
        if (FEnd >= 0) {
            Result = FEnd;
            Loop.quit();
            return;
        }
        if (FAborted) {
            Loop.quit();
            return;
        }
        if (FStopRequested) {
            // Ended in a sleep: the time stands again before the tool goes.
            if (FParked)
                FParked = !ScheduleAt(TypeName(), FDueUsec);
            NotifyStanding();
            Loop.quit();
            return;
        }
        // Checked before a Postpone, which must never replace another program's schedule.
        TScheduledShutdown Held;
        if (ReadSchedule(Held)) {
            const int Changed = OutsideChange(Held, false);
            if (Changed >= 0) {
                Result = Changed;
                Loop.quit();
                return;
            }
        }
        while (FPostponeRequests > 0 && FEmptyTicks == 0) {
            --FPostponeRequests;
            // After a refusal the other clicks would only be refused as well.
            if (!Postpone())
                FPostponeRequests = 0;
        }
        if (FNotificationGone) {
            Loop.quit();
            return;
        }
        const qint64 Left = (FDueUsec - FNowUsec() + 999999) / 1000000;
        if (Left <= 0) {
            Loop.quit();
            return;
        }
        if (FNotificationId == 0) {
            // Postponed: the countdown comes back with the lead it had at first.
            if (Left <= FOptions.DelaySeconds) {
                FLastShown = Left;
                FNotificationId = Notify(0, Left);
            }
        } else if (FLastShown - Left >= NotificationRefreshSeconds) {
            FLastShown = Left;
            FNotificationId = Notify(FNotificationId, Left);
        }
    });
    Tick.start(1000);
    Loop.exec();
    FSleepLock = QDBusUnixFileDescriptor();

    // Never cancelled in a sleep: newer logind would cancel the sleep with it.
    if (FAborted && !FAsleep && Result == ShutdownExitOk) {
        // Abort cancels the tool's own schedule, never one that replaced it a moment ago.
        TScheduledShutdown Held;
        if (ReadSchedule(Held) && !(Held == TScheduledShutdown{TypeName(), qulonglong(FDueUsec)})) {
            if (!Held.IsEmpty())
                return OutsideChange(Held, true);
            ShutdownRecord::Remove();
            CloseNotification();
        } else {
            bool Cancelled = false;
            if (!CancelShutdown(Cancelled, Result))
                return Result;
        }
        FErr(QStringLiteral("aborted by the user"));
    }
    return Result;
}

int TShutdownTool::OutsideChange(const TScheduledShutdown& Held, bool Settled)
{
    if (Held == TScheduledShutdown{TypeName(), qulonglong(FDueUsec)}) {
        FEmptyTicks = 0;
        return -1;
    }
    const QString Planned = QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate);
    if (Held.IsEmpty()) {
        // A Suspend() empties the schedule a moment before its PrepareForSleep.
        if (!Settled && ++FEmptyTicks < 2)
            return -1;
        CloseNotification();
        // "-a" of Lumidor's own removed the record: the user's choice, nothing to tell.
        if (ShutdownRecord::Read().IsEmpty()) {
            FErr(QStringLiteral("the scheduled shutdown was cancelled"));
            return ShutdownExitOk;
        }
        ShutdownRecord::Remove();
        return NotRun(RunHistory::TEvent::Cancelled,
            ActionText("Cancelled", "The shutdown planned for %1 was cancelled by another program",
                "The restart planned for %1 was cancelled by another program")
                .arg(DueText()),
            QString(),
            QStringLiteral("the %1 planned for %2 was cancelled by another program").arg(ActionWord(), Planned));
    }
    CloseNotification();
    ShutdownRecord::Remove();
    return NotRun(RunHistory::TEvent::Replaced,
        ActionText("Replaced", "The shutdown planned for %1 was replaced by another program",
            "The restart planned for %1 was replaced by another program")
            .arg(DueText()),
        OtherStandsText(Held),
        QStringLiteral("the %1 planned for %2 was replaced by another program's %3 at %4; it is left as it is")
            .arg(ActionWord(), Planned, Held.Type,
                QDateTime::fromMSecsSinceEpoch(qint64(Held.Usec / 1000)).toString(Qt::ISODate)));
}

void TShutdownTool::TakeSleepLock()
{
    // "delay", never "block": the user's sleep always goes ahead.
    const QDBusMessage Reply = CallLogind(QStringLiteral("Inhibit"),
        {QStringLiteral("sleep"), QStringLiteral("Lumidor"),
            QStringLiteral("Takes its scheduled shutdown out of logind before the computer sleeps"),
            QStringLiteral("delay")});
    if (Reply.type() != QDBusMessage::ReplyMessage)
        FErr(QStringLiteral("no sleep delay lock (%1): a sleep may find the shutdown armed").arg(BusErrorText(Reply)));
    else if (!Reply.arguments().isEmpty())
        FSleepLock = Reply.arguments().at(0).value<QDBusUnixFileDescriptor>();
}

void TShutdownTool::PrepareForSleep(bool Start)
{
    if (Start && !FAsleep) {
        FAsleep = true;
        BeforeSleep();
    } else if (!Start && FAsleep) {
        FAsleep = false;
        FEnd = AfterSleep();
    }
}

void TShutdownTool::BeforeSleep()
{
    // Quick: logind waits for the lock InhibitDelayMaxSec at most. A dry run
    // of the same action replaces the armed one in one call, so that nothing
    // fires on waking; CancelScheduledShutdown is no choice here, as newer
    // logind would cancel the waiting sleep with it.
    FParked = false;
    TScheduledShutdown Held;
    if (ReadSchedule(Held) && Held == TScheduledShutdown{TypeName(), qulonglong(FDueUsec)}) {
        QDBusMessage Reply;
        FParked = ScheduleAt(QStringLiteral("dry-") + TypeName(), FDueUsec, &Reply);
        if (!FParked)
            FErr(QStringLiteral("cannot disarm the shutdown before the sleep: %1").arg(BusErrorText(Reply)));
    }
    FSleepLock = QDBusUnixFileDescriptor();
    FErr(QStringLiteral("the computer goes to sleep; the %1 at %2 waits for the waking").arg(ActionWord(), DueText()));
}

int TShutdownTool::AfterSleep()
{
    TScheduledShutdown Held;
    const bool Known = ReadSchedule(Held);
    const bool HeldIsOurs = Known && Held == TScheduledShutdown{TypeName(), qulonglong(FDueUsec)};
    if (FNowUsec() >= FDueUsec) {
        // The time passed in the sleep: never caught up.
        if (HeldIsOurs) {
            bool Cancelled = false;
            int ExitCode = ShutdownExitOk;
            (void)CancelShutdown(Cancelled, ExitCode);
        } else {
            ShutdownRecord::Remove();
        }
        CloseNotification();
        return NotRun(RunHistory::TEvent::Missed,
            ActionText("Slept", "The computer was asleep at %1 and was NOT shut down",
                "The computer was asleep at %1 and was NOT restarted")
                .arg(DueText()),
            QString(),
            QStringLiteral("the %1 due at %2 did not happen: the computer was asleep at that time")
                .arg(ActionWord(), QDateTime::fromMSecsSinceEpoch(FDueUsec / 1000).toString(Qt::ISODate)));
    }
    // Emptied while parked, or replaced: another program's doing.
    if (Known && !HeldIsOurs && (FParked || !Held.IsEmpty()))
        return OutsideChange(Held, true);
    QDBusMessage Reply;
    if (!ScheduleAt(TypeName(), FDueUsec, &Reply))
        return Fail(&Reply, QStringLiteral("schedule the %1 again after the sleep").arg(ActionWord()));
    FParked = false;
    FEmptyTicks = 0;
    TakeSleepLock();
    if (FNotificationId != 0) {
        FLastShown = (FDueUsec - FNowUsec() + 999999) / 1000000;
        FNotificationId = Notify(FNotificationId, FLastShown);
    }
    FErr(QStringLiteral("awake before the time: the %1 at %2 stands again").arg(ActionWord(), DueText()));
    return -1;
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
    DesktopNotifications::TNotification Countdown;
    Countdown.ReplacesId = ReplacesId;
    Countdown.Icon = QStringLiteral("system-shutdown");
    Countdown.Summary = ActionText("Countdown", "The computer shuts down soon", "The computer restarts soon");
    Countdown.Body = ActionText("Countdown_Body", "Shutdown in %1 seconds, at %2.", "Restart in %1 seconds, at %2.")
                         .arg(SecondsLeft).arg(DueText());
    if (!Note.isEmpty())
        Countdown.Body += QLatin1Char('\n') + Note;
    Countdown.Actions = QStringList{AbortActionKey, Text("Countdown_Abort", "Abort"), PostponeActionKey,
        Text("Countdown_Postpone", "Postpone 10 minutes")};
    Countdown.Urgency = DesktopNotifications::TUrgency::Critical;
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, DesktopNotifications::NotifyMessage(Countdown));
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
    DesktopNotifications::TNotification Standing;
    Standing.ReplacesId = FNotificationId;
    Standing.Icon = QStringLiteral("system-shutdown");
    Standing.Summary = ActionText("HeadsUp", "The computer shuts down at %1", "The computer restarts at %1")
                           .arg(DueText());
    Standing.Urgency = DesktopNotifications::TUrgency::Critical;
    (void)FBus->Call(TShutdownBusKind::Session, DesktopNotifications::NotifyMessage(Standing));
    FErr(QStringLiteral("asked to end: the scheduled shutdown stands; \"Shutdown.exe -a\" cancels it"));
}

void TShutdownTool::CloseNotification()
{
    if (FNotificationId == 0)
        return;
    (void)FBus->Call(TShutdownBusKind::Session, DesktopNotifications::CloseMessage(FNotificationId));
    FNotificationId = 0;
}
