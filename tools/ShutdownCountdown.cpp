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
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const qint64 NewDueUsec = FDueUsec + PostponeUsec;
    const QDBusMessage Reply = CallLogind(QStringLiteral("ScheduleShutdown"),
        {Reboot ? QStringLiteral("reboot") : QStringLiteral("poweroff"), QVariant::fromValue(qulonglong(NewDueUsec))});
    if (Reply.type() != QDBusMessage::ReplyMessage) {
        FErr(QStringLiteral("cannot postpone: %1; it stays at %2").arg(BusErrorText(Reply), DueText()));
        const qint64 Left = (FDueUsec - FNowUsec() + 999999) / 1000000;
        FNotificationId = Notify(FNotificationId, Left,
            Text("Postpone_Failed", "Could not postpone: the time stays %1.").arg(DueText()));
        return false;
    }
    FDueUsec = NewDueUsec;
    (void)RunHistory::Append(QStringLiteral("postponed"), QStringLiteral("Shutdown.exe"),
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
    using namespace DesktopNotifications;
    FBus->ConnectSignal(TShutdownBusKind::Session, Service, Path, Interface, ActionInvokedSignal, this,
        SLOT(NotificationActionInvoked(uint, QString)));
    FBus->ConnectSignal(TShutdownBusKind::Session, Service, Path, Interface, ClosedSignal, this,
        SLOT(NotificationClosed(uint, uint)));

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
        QDBusMessage Get = QDBusMessage::createMethodCall(Logind::Service, Logind::Path,
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        Get.setArguments({Logind::Manager, QStringLiteral("ScheduledShutdown")});
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
    DesktopNotifications::TNotification Countdown;
    Countdown.ReplacesId = ReplacesId;
    Countdown.Icon = QStringLiteral("system-shutdown");
    Countdown.Summary = Reboot ? Text("Countdown_Restart", "The computer restarts soon")
                               : Text("Countdown_Shutdown", "The computer shuts down soon");
    Countdown.Body = (Reboot ? Text("Countdown_Body_Restart", "Restart in %1 seconds, at %2.")
                             : Text("Countdown_Body_Shutdown", "Shutdown in %1 seconds, at %2."))
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
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    DesktopNotifications::TNotification Standing;
    Standing.ReplacesId = FNotificationId;
    Standing.Icon = QStringLiteral("system-shutdown");
    Standing.Summary = (Reboot ? Text("HeadsUp_Restart", "The computer restarts at %1")
                               : Text("HeadsUp_Shutdown", "The computer shuts down at %1"))
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
