// The task service's runs: which are due, starting them under the item's
// policy and recording them in the store, their end, and what the history
// and the log say of them.
#include "service/TaskService.h"

#include "platform/RunHistory.h"
#include "platform/TriggerSchedule.h"
#include "service/CommandLine.h"
#include "service/HeadsUp.h"
#include "service/RunPlan.h"
#include "service/ServiceLog.h"
#include "service/SleepNotices.h"
#include "service/TaskProcess.h"
#include "service/TaskServiceCommon.h"
#include "service/UserSession.h"

#include <QTimer>

#include <climits>
#include <utility>
#include <unistd.h>

using namespace TaskServiceCommon;

namespace {

constexpr int ExitCodeCannotStart = 127;

// Notes in the item that the run at Due was dealt with, so that no later
// service reports it again; false when it already says so.
bool MarkHandled(TWorkItem& Item, qint64 Due)
{
    const std::optional<qint64> Known = RunPlan::MomentOf(Item.HandledRun);
    if (Known && *Known >= Due)
        return false;
    Item.HandledRun = TriggerSchedule::LocalFields(Due);
    return true;
}

} // namespace

void TTaskService::ProcessDue()
{
    const qint64 Now = NowMs();
    TSleepWatch& Sleep = FSleep->Watch();
    (void)Sleep.Look();
    QStringList Names;
    for (const auto& [Name, Entry] : FEntries)
        if (Entry.Next && *Entry.Next * 1000 <= Now)
            Names += Name;
    for (const QString& Name : Names) {
        auto It = FEntries.find(Name);
        if (It == FEntries.end())
            continue;
        TEntry& Entry = It->second;
        qint64 Last = 0;
        while (Entry.Next && *Entry.Next * 1000 <= Now) {
            const qint64 Due = *Entry.Next;
            Entry.Handled = Due;
            Last = Due;
            if (Sleep.SleptAt(Due * 1000, RunPlan::SleepSlackMs)) {
                Tell(RunHistory::TEvent::Missed, Name,
                    QStringLiteral("the run due at %1 fell in a sleep of the computer; not run").arg(Describe(Due)));
                RecordHandled(Name, Due);
                Entry.Next = RunPlan::NextDue(Entry.Item, Due + 1, Entry.SavedAt, Entry.Handled);
            } else if (RunPlan::IsLate(Due * 1000, Now)) {
                Tell(RunHistory::TEvent::Missed, Name,
                    QStringLiteral("the run due at %1, reached %2 s late (the computer was asleep or the clock "
                                   "was set); not run")
                        .arg(Describe(Due)).arg((Now - Due * 1000) / 1000));
                RecordHandled(Name, Due);
                // Runs that are late as well are missed in the same breath.
                Entry.Next = RunPlan::NextDue(Entry.Item, std::max(Due + 1, Seconds(Now - RunPlan::LateLimitMs)),
                    Entry.SavedAt, Entry.Handled);
            } else {
                Entry.Next = RunPlan::NextDue(Entry.Item, Due + 1, Entry.SavedAt, Entry.Handled);
                StartRun(Name, Entry, Due, Now);
                // StartRun may have let go of the entry (the item was deleted).
                It = FEntries.find(Name);
                if (It == FEntries.end())
                    break;
            }
        }
        if (It != FEntries.end() && !It->second.Next)
            DeleteIfDone(Name, std::max(Last + 1, Seconds(Now)), "it has no run left");
    }
}

void TTaskService::StartRun(const QString& FileName, TEntry& Entry, qint64 Due, qint64 Now)
{
    if (FRuns.count(FileName)) {
        Tell(RunHistory::TEvent::Refused, FileName,
            QStringLiteral("the run due at %1: its previous run still goes on").arg(Describe(Due)));
        RecordHandled(FileName, Due);
        return;
    }
    if (!StoreIsSafe())
        return;
    if ((Entry.Item.Flags & WorkItem::FlagRunOnlyIfLoggedOn)
        && !UserHasSession(geteuid(), FUserName, FOptions.UtmpFile)) {
        ServiceLog::Write(QStringLiteral("%1: not run at %2: it runs only while %3 is logged on, and %3 is not")
                              .arg(FileName, Describe(Due), FUserName));
        History(RunHistory::TEvent::Refused, FileName,
            QStringLiteral("the run due at %1: %2 is not logged on").arg(Describe(Due), FUserName));
        RecordHandled(FileName, Due);
        return;
    }

    // Checked and recorded on the item as it is now, under the store's lock,
    // so that an item deleted a moment ago is neither run nor brought back.
    QString Refusal;
    TWorkItem Run;
    const TStoreResult Recorded = WorkItemStore::Update(FileName, [&](TWorkItem& Item) {
        if (!Item.Application.startsWith(QLatin1Char('/')))
            Refusal = QStringLiteral("its application \"%1\" is not an absolute path").arg(Item.Application);
        else if (!Item.HasAccount || Item.Account != FUserName)
            Refusal = QStringLiteral("it is to run as \"%1\", and this service runs as %2")
                          .arg(Item.HasAccount ? Item.Account : QStringLiteral("the system account"), FUserName);
        if (!Refusal.isEmpty())
            return MarkHandled(Item, Due);
        TCalendarTime Started = TriggerSchedule::LocalFields(Seconds(Now));
        Started.wMilliseconds = uint16_t(Now % 1000);
        Item.MostRecentRun = Started;
        Item.Status = WorkItem::StatusRunning;
        Run = Item;
        return true;
    });
    if (Recorded == TStoreResult::NotFound) {
        ServiceLog::Write(QStringLiteral("%1: deleted before its run at %2; not run").arg(FileName, Describe(Due)));
        FEntries.erase(FileName);
        return;
    }
    if (Recorded != TStoreResult::Ok) {
        Tell(RunHistory::TEvent::Failed, FileName,
            QStringLiteral("the run due at %1: cannot record it in the item: %2; not run")
                .arg(Describe(Due), ResultText(Recorded)));
        return;
    }
    if (!Refusal.isEmpty()) {
        Tell(RunHistory::TEvent::Refused, FileName, QStringLiteral("the run due at %1: %2").arg(Describe(Due), Refusal));
        return;
    }

    const QStringList Arguments = SplitCommandLine(Run.Parameters);
    const QStringList Environment = TaskEnvironment();
    QString Folder = Run.WorkingDirectory;
    if (Folder.isEmpty())
        for (const QString& Variable : Environment)
            if (Variable.startsWith(QLatin1String("HOME=")))
                Folder = Variable.mid(5);
    auto* Process = new TTaskProcess(this);
    QString Error;
    if (!Process->Start(Run.Application, Arguments, Folder, Environment, Error)) {
        delete Process;
        Tell(RunHistory::TEvent::Failed, FileName,
            QStringLiteral("the run due at %1: cannot start %2: %3").arg(Describe(Due), Run.Application, Error));
        FRuns[FileName] = TRun{nullptr, Due, false};
        RunFinished(FileName, ExitCodeCannotStart, 0);
        return;
    }
    ServiceLog::Write(QStringLiteral("%1: started for the run due at %2 (%3 s late): %4 %5 (pid %6)")
                          .arg(FileName, Describe(Due)).arg(double(Now - Due * 1000) / 1000.0, 0, 'f', 3)
                          .arg(Run.Application, Arguments.join(QLatin1Char(' '))).arg(Process->Pid()));
    History(RunHistory::TEvent::Started, FileName,
        QStringLiteral("the run due at %1 (%2 s late): %3 %4")
            .arg(Describe(Due)).arg(double(Now - Due * 1000) / 1000.0, 0, 'f', 3)
            .arg(Run.Application, Arguments.join(QLatin1Char(' '))));
    if (!Error.isEmpty())
        ServiceLog::Write(QStringLiteral("%1: %2").arg(FileName, Error));
    FRuns[FileName] = TRun{Process, Due, false};
    connect(Process, &TTaskProcess::Finished, this,
        [this, FileName](int ExitCode, int Signal) { RunFinished(FileName, ExitCode, Signal); });
    // The shutdown tool may wait past any limit for a time the user postponed
    // to; it ends by itself at that time, on Abort or when dismissed.
    if (HeadsUpActionOf(Run) != THeadsUpAction::None)
        return;
    if (Run.MaxRunTime > 0 && Run.MaxRunTime <= uint32_t(INT_MAX))
        QTimer::singleShot(int(Run.MaxRunTime), Process, [this, FileName, Process] {
            ServiceLog::Write(QStringLiteral("%1: ran longer than its limit; ending it").arg(FileName));
            FRuns[FileName].TimedOut = true;
            Process->Terminate();
        });
}

void TTaskService::RunFinished(const QString& FileName, int ExitCode, int Signal)
{
    const auto Found = FRuns.find(FileName);
    if (Found == FRuns.end())
        return;
    const TRun Run = Found->second;
    FRuns.erase(Found);
    if (Run.Process)
        Run.Process->deleteLater();

    const qint64 From = std::max(Run.Due + 1, Seconds(NowMs()));
    bool Remove = false;
    const TStoreResult Recorded = WorkItemStore::Update(FileName, [&](TWorkItem& Item) {
        const bool RunsLeft = TriggerSchedule::NextRun(Item, From).has_value();
        if (DeleteWhenDone(Item) && !RunsLeft) {
            Remove = true;
            return false;
        }
        Item.Status = Run.TimedOut ? WorkItem::StatusTerminated : RunsLeft ? WorkItem::StatusReady : WorkItem::StatusNoMoreRuns;
        Item.ExitCode = uint32_t(ExitCode);
        return true;
    });
    const QString How = Signal ? QStringLiteral("ended by signal %1").arg(Signal)
                               : QStringLiteral("finished with exit code %1").arg(ExitCode);
    if (Run.TimedOut)
        History(RunHistory::TEvent::Failed, FileName, QStringLiteral("ran longer than its limit and was ended (%1)").arg(How));
    else if (Signal || ExitCode != 0)
        History(RunHistory::TEvent::Failed, FileName, How);
    else
        History(RunHistory::TEvent::Finished, FileName, How);
    if (Recorded == TStoreResult::NotFound) {
        ServiceLog::Write(QStringLiteral("%1: %2; the item was deleted meanwhile, nothing recorded").arg(FileName, How));
        FEntries.erase(FileName);
        return;
    }
    if (Recorded != TStoreResult::Ok) {
        ServiceLog::Write(QStringLiteral("%1: %2; cannot record it: %3").arg(FileName, How, ResultText(Recorded)));
        return;
    }
    ServiceLog::Write(QStringLiteral("%1: %2").arg(FileName, How));
    if (Remove) {
        const TStoreResult Removed = WorkItemStore::Remove(FileName);
        if (Removed == TStoreResult::Ok || Removed == TStoreResult::NotFound) {
            ServiceLog::Write(QStringLiteral("%1: deleted, it has no run left").arg(FileName));
            FEntries.erase(FileName);
        } else {
            ServiceLog::Write(QStringLiteral("%1: cannot delete it: %2").arg(FileName, ResultText(Removed)));
        }
    }
}

void TTaskService::ReportMissedWhileAway(const QString& FileName, const TEntry& Entry, qint64 ToMs)
{
    const RunPlan::TMissedRuns Missed = RunPlan::MissedWhileStopped(Entry.Item, Entry.SavedAt, ToMs);
    if (Missed.Count == 0)
        return;
    ServiceLog::Write(QStringLiteral("%1: %2%3 run(s) missed while no service was running, the last due at %4; "
                                     "they do not run")
                          .arg(FileName, Missed.AtLeast ? QStringLiteral("at least ") : QString())
                          .arg(Missed.Count).arg(Describe(Missed.Last)));
    const QString Runs = Missed.Count == 1
        ? QStringLiteral("the run due at %1").arg(Describe(Missed.Last))
        : QStringLiteral("%1%2 runs due from %3 to %4")
              .arg(Missed.AtLeast ? QStringLiteral("at least ") : QString())
              .arg(Missed.Count).arg(Describe(Missed.First), Describe(Missed.Last));
    History(RunHistory::TEvent::Missed, FileName,
        QStringLiteral("%1 passed while the service was not running (the computer was off or the service "
                       "stopped); not run, %2%3 s ago")
            .arg(Runs, Missed.Count == 1 ? QString() : QStringLiteral("the last "))
            .arg(Seconds(NowMs()) - Missed.Last));
    RecordHandled(FileName, Missed.Last);
}

void TTaskService::RecordHandled(const QString& FileName, qint64 Due)
{
    const TStoreResult Result = WorkItemStore::Update(FileName, [Due](TWorkItem& Item) { return MarkHandled(Item, Due); });
    if (Result != TStoreResult::Ok && Result != TStoreResult::NotFound)
        ServiceLog::Write(QStringLiteral("%1: cannot record that the run due at %2 was dealt with: %3")
                              .arg(FileName, Describe(Due), ResultText(Result)));
}

void TTaskService::History(RunHistory::TEvent Event, const QString& FileName, const QString& Details)
{
    if (FHistory.empty())
        QTimer::singleShot(0, this, &TTaskService::WriteHistory);
    FHistory.push_back(THistoryLine{Event, FileName, Details});
}

void TTaskService::Tell(RunHistory::TEvent Event, const QString& FileName, const QString& Details)
{
    ServiceLog::Write(FileName + QStringLiteral(": ") + RunHistory::EventName(Event) + QLatin1Char(' ') + Details);
    History(Event, FileName, Details);
}

void TTaskService::WriteHistory()
{
    const std::vector<THistoryLine> Lines = std::exchange(FHistory, {});
    int Lost = 0;
    for (const THistoryLine& Line : Lines)
        Lost += RunHistory::Append(Line.Event, Line.FileName, Line.Details) ? 0 : 1;
    if (Lost)
        ServiceLog::Write(QStringLiteral("%1 line(s) could not be added to the history %2")
                              .arg(Lost).arg(RunHistory::FilePath()));
}
