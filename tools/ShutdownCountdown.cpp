#include "tools/ShutdownTool.h"

#include "platform/DesktopNotifications.h"
#include "platform/RunHistory.h"
#include "platform/ShutdownCountdown.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

// The countdown: the time kept on the wall clock, the notification with its
// Abort and Postpone, sleeps and settings of the clock, "-a", and the one
// call to logind at the end.

namespace {

const QString AbortActionKey = QStringLiteral("abort");
const QString PostponeActionKey = QStringLiteral("postpone");

// How often the countdown refreshes the notification's time left.
constexpr qint64 NotificationRefreshSeconds = 5;
// "Postpone 10 minutes".
constexpr qint64 PostponeUsec = 600 * qint64(1000000);
// A setting of the wall clock smaller than this is the clock's own drift.
constexpr qint64 ClockSetMs = 1000;

} // namespace

int TShutdownTool::CountDown()
{
    FDueUsec = FNowUsec() + FLeadUsec;
    if (FOptions.DryRun) {
        (void)Notify(0, FOptions.DelaySeconds);
        (void)CallLogind(FOptions.Action == TShutdownAction::Reboot ? QStringLiteral("Reboot") : QStringLiteral("PowerOff"),
            {false});
        return ShutdownExitOk;
    }

    // One countdown per user: the user sees one, and its Abort keeps the computer on.
    FChannel = std::make_unique<TCountdownChannel>();
    switch (FChannel->Open()) {
    case TCountdownChannel::Held:
        break;
    case TCountdownChannel::Busy:
        FChannel.reset();
        return NotRun(RunHistory::TEvent::Refused,
            ActionText("NotPlanned", "Lumidor did not plan the shutdown at %1", "Lumidor did not plan the restart at %1")
                .arg(TimeText(FDueUsec)),
            Text("Countdown_Other", "Another countdown of Lumidor's is under way; its Abort keeps the computer on."),
            QStringLiteral("the %1 at %2 was not counted down: another countdown of Lumidor's is under way")
                .arg(ActionWord(), IsoText(FDueUsec)));
    case TCountdownChannel::Failed:
        FErr(QStringLiteral("cannot open the countdown's lock and socket (%1)").arg(FChannel->ErrorText()));
        FChannel.reset();
        return NotRun(RunHistory::TEvent::Failed,
            ActionText("Failed", "The computer was NOT shut down", "The computer was NOT restarted"),
            Text("Failed_Channel", "Lumidor cannot keep a countdown that can be aborted: its runtime folder cannot be used."),
            QStringLiteral("the %1 at %2 was not counted down: the runtime folder cannot be used")
                .arg(ActionWord(), IsoText(FDueUsec)));
    }
    connect(FChannel.get(), &TCountdownChannel::AbortRequested, this, [this] {
        if (FStop == TStop::None)
            FStop = TStop::AbortByCommand;
        StepSoon();
    });

    if (FBus->Available(TShutdownBusKind::Session)) {
        using namespace DesktopNotifications;
        FBus->ConnectSignal(TShutdownBusKind::Session, Service, Path, Interface, ActionInvokedSignal, this,
            SLOT(NotificationActionInvoked(uint, QString)));
        FBus->ConnectSignal(TShutdownBusKind::Session, Service, Path, Interface, ClosedSignal, this,
            SLOT(NotificationClosed(uint, uint)));
    } else {
        FErr(QStringLiteral("no session bus: the countdown cannot be shown; \"Shutdown.exe -a\" aborts it"));
    }
    if (FBus->Available(TShutdownBusKind::System))
        FBus->ConnectSignal(TShutdownBusKind::System, Logind::Service, Logind::Path, Logind::Manager,
            QStringLiteral("PrepareForSleep"), this, SLOT(PrepareForSleep(bool)));
    FLastShown = FOptions.DelaySeconds;
    FNotificationId = Notify(0, FOptions.DelaySeconds);
    if (!FWait)
        return ShutdownExitOk;

    QEventLoop Loop;
    QTimer Tick;
    Tick.setSingleShot(true);
    FTick = &Tick;
    int Result = -1;
    const auto Next = [&] {
        Result = Step();
        if (Result >= 0) {
            Loop.quit();
            return;
        }
        // Wakes at the second the time comes; else once a step to follow the clocks.
        const qint64 LeftMs = (FDueUsec - FNowUsec()) / 1000;
        Tick.start(int(std::clamp<qint64>(LeftMs, 1, FStepMs)));
    };
    connect(&Tick, &QTimer::timeout, &Loop, Next);
    Next();
    if (Result < 0)
        Loop.exec();
    FTick = nullptr;
    FChannel.reset();
    return Result;
}

void TShutdownTool::StepSoon()
{
    if (FTick)
        FTick->start(0);
}

qint64 TShutdownTool::LeftSeconds() const
{
    return (FDueUsec - FNowUsec() + 999999) / 1000000;
}

int TShutdownTool::Step()
{
    const TSleepWatch::TChange Change = FSleep.Look();
    if (Change.SleptMs > 0 || std::abs(Change.ClockSetMs) >= ClockSetMs)
        FWoke = true;

    switch (FStop) {
    case TStop::None:
        break;
    case TStop::Abort:
    case TStop::AbortByCommand:
        CloseNotification();
        (void)RunHistory::Append(RunHistory::TEvent::Cancelled, ShutdownProgramName,
            QStringLiteral("the %1 at %2 was aborted %3")
                .arg(ActionWord(), IsoText(FDueUsec),
                    FStop == TStop::Abort ? QStringLiteral("by the user") : QStringLiteral("through \"-a\"")));
        FErr(QStringLiteral("aborted"));
        return ShutdownExitOk;
    case TStop::End:
        return NotRun(RunHistory::TEvent::Cancelled,
            ActionText("Failed", "The computer was NOT shut down", "The computer was NOT restarted"),
            Text("Ended_Body", "Lumidor was asked to end before %1.").arg(TimeText(FDueUsec)),
            QStringLiteral("asked to end before the time: the %1 at %2 did not happen")
                .arg(ActionWord(), IsoText(FDueUsec)));
    }
    // Asleep, nothing is decided: logind may yet freeze this program at any instant.
    if (FSleep.Asleep())
        return -1;
    if (FWoke) {
        FWoke = false;
        const int End = AfterJump();
        if (End >= 0)
            return End;
    }
    while (FPostponeRequests > 0) {
        --FPostponeRequests;
        Postpone();
    }
    const qint64 Left = LeftSeconds();
    if (Left <= 0)
        return Act();
    // Shown for the countdown's lead before the time, and refreshed now and then.
    if (Left > FOptions.DelaySeconds) {
        CloseNotification();
    } else if (FNotificationId == 0 && !FDismissed) {
        FLastShown = Left;
        FNotificationId = Notify(0, Left);
    } else if (FNotificationId != 0 && FLastShown - Left >= NotificationRefreshSeconds) {
        FLastShown = Left;
        FNotificationId = Notify(FNotificationId, Left);
    }
    return -1;
}

int TShutdownTool::AfterJump()
{
    const qint64 Now = FNowUsec();
    if (FSleep.SleptAt(FDueUsec / 1000)) {
        // Never caught up: the user chose that moment, not the waking.
        return NotRun(RunHistory::TEvent::Missed,
            ActionText("Slept", "The computer was asleep at %1 and was NOT shut down",
                "The computer was asleep at %1 and was NOT restarted")
                .arg(TimeText(FDueUsec)),
            QString(),
            QStringLiteral("the %1 due at %2 did not happen: the computer was asleep at that time")
                .arg(ActionWord(), IsoText(FDueUsec)));
    }
    if (Now >= FDueUsec) {
        return NotRun(RunHistory::TEvent::Missed,
            ActionText("Failed", "The computer was NOT shut down", "The computer was NOT restarted"),
            Text("Clock_Moved", "The clock was set past %1.").arg(TimeText(FDueUsec)),
            QStringLiteral("the %1 due at %2 did not happen: the clock was set past it").arg(ActionWord(), IsoText(FDueUsec)));
    }
    // The whole countdown comes before the action, also right after waking.
    const qint64 Short = FLeadUsec - (FDueUsec - Now);
    if (Short <= 0)
        return -1;
    const qint64 Was = FDueUsec;
    FDueUsec += Short;
    FNote = Text("Countdown_Moved", "Moved from %1, so that the whole countdown shows.").arg(TimeText(Was));
    (void)RunHistory::Append(RunHistory::TEvent::Postponed, ShutdownProgramName,
        QStringLiteral("after a sleep or a setting of the clock: the %1 from %2 to %3, %4 s later, so that the "
                       "whole countdown shows")
            .arg(ActionWord(), IsoText(Was), IsoText(FDueUsec))
            .arg((Short + 999999) / 1000000));
    FErr(QStringLiteral("awake with less than the countdown left: the %1 moves to %2").arg(ActionWord(), IsoText(FDueUsec)));
    FDismissed = false;
    FLastShown = LeftSeconds();
    FNotificationId = Notify(FNotificationId, FLastShown);
    return -1;
}

void TShutdownTool::Postpone()
{
    FDueUsec += PostponeUsec;
    FNote.clear();
    (void)RunHistory::Append(RunHistory::TEvent::Postponed, ShutdownProgramName,
        QStringLiteral("by the user: the %1 to %2, %3 minutes later")
            .arg(ActionWord(), IsoText(FDueUsec))
            .arg(PostponeUsec / 60000000));
    // Out of sight until the countdown's own lead before the new time.
    CloseNotification();
    FDismissed = false;
    FErr(QStringLiteral("postponed by the user to %1").arg(IsoText(FDueUsec)));
}

int TShutdownTool::Act()
{
    // From here "-a" is too late, and says so.
    FChannel->StopListening();
    const bool Reboot = FOptions.Action == TShutdownAction::Reboot;
    const QString What = Reboot ? QStringLiteral("restart") : QStringLiteral("power off");
    if (!FBus->Available(TShutdownBusKind::System))
        return Fail(nullptr, What);
    // Without interaction: nobody may be there to answer a password prompt,
    // and logind checks rights and block locks now, at the moment itself.
    const QDBusMessage Reply = CallLogind(Reboot ? QStringLiteral("Reboot") : QStringLiteral("PowerOff"), {false});
    if (Reply.type() != QDBusMessage::ReplyMessage)
        return Fail(&Reply, What);
    FErr(QStringLiteral("logind %1 the computer").arg(Reboot ? QStringLiteral("restarts") : QStringLiteral("powers off")));
    return ShutdownExitOk;
}

void TShutdownTool::PrepareForSleep(bool Start)
{
    FSleep.PrepareForSleep(Start);
    if (!Start)
        FWoke = true;
    StepSoon();
}

void TShutdownTool::NotificationActionInvoked(uint Id, const QString& Action)
{
    if (Id != FNotificationId || Id == 0)
        return;
    if (Action == AbortActionKey && FStop == TStop::None)
        FStop = TStop::Abort;
    else if (Action == PostponeActionKey)
        ++FPostponeRequests;
    StepSoon();
}

void TShutdownTool::NotificationClosed(uint Id, uint)
{
    // Closed by the user or the server, the countdown goes on out of sight;
    // "-a" (Delete in the window) still aborts it. Servers close a
    // notification after its action: that is no dismissal.
    if (Id == FNotificationId && Id != 0 && FStop == TStop::None && FPostponeRequests == 0) {
        FNotificationId = 0;
        FDismissed = true;
    }
}

uint TShutdownTool::Notify(uint ReplacesId, qint64 SecondsLeft)
{
    if (!FBus->Available(TShutdownBusKind::Session))
        return 0;
    DesktopNotifications::TNotification Countdown;
    Countdown.ReplacesId = ReplacesId;
    Countdown.Icon = QStringLiteral("system-shutdown");
    Countdown.Summary = ActionText("Countdown", "The computer shuts down soon", "The computer restarts soon");
    Countdown.Body = ActionText("Countdown_Body", "Shutdown in %1 seconds, at %2.", "Restart in %1 seconds, at %2.")
                         .arg(SecondsLeft).arg(TimeText(FDueUsec));
    if (!FNote.isEmpty())
        Countdown.Body += QLatin1Char('\n') + FNote;
    Countdown.Actions = QStringList{AbortActionKey, Text("Countdown_Abort", "Abort"), PostponeActionKey,
        Text("Countdown_Postpone", "Postpone 10 minutes")};
    Countdown.Urgency = DesktopNotifications::TUrgency::Critical;
    const QDBusMessage Reply = FBus->Call(TShutdownBusKind::Session, DesktopNotifications::NotifyMessage(Countdown));
    if (Reply.type() != QDBusMessage::ReplyMessage || Reply.arguments().isEmpty()) {
        if (ReplacesId == 0) {
            FErr(QStringLiteral("the countdown cannot be shown (%1); \"Shutdown.exe -a\" aborts it").arg(Reply.errorMessage()));
            // Not asked again each second; the time moving tries once more.
            FDismissed = true;
        }
        return ReplacesId;
    }
    return Reply.arguments().at(0).toUInt();
}

void TShutdownTool::CloseNotification()
{
    if (FNotificationId == 0)
        return;
    (void)FBus->Call(TShutdownBusKind::Session, DesktopNotifications::CloseMessage(FNotificationId));
    FNotificationId = 0;
}
