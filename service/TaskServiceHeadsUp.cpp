// The task service's heads-up before a run of the shutdown tool, and the
// user's "Skip this time" (the notice itself is HeadsUp's).
#include "service/TaskService.h"

#include "platform/RunHistory.h"
#include "platform/TriggerSchedule.h"
#include "service/HeadsUp.h"
#include "service/RunPlan.h"
#include "service/ServiceLog.h"
#include "service/TaskServiceCommon.h"

using namespace TaskServiceCommon;

namespace {

QString ActionName(THeadsUpAction Action)
{
    return Action == THeadsUpAction::Restart ? QStringLiteral("restart") : QStringLiteral("shutdown");
}

} // namespace

std::optional<qint64> TTaskService::HeadsUpMoment(const TEntry& Entry) const
{
    if (Entry.Action == THeadsUpAction::None || !Entry.Next || Entry.HeadsUpFor == Entry.Next)
        return std::nullopt;
    return RunPlan::HeadsUpAt(*Entry.Next, Entry.SavedAt, FLeadSeconds);
}

void TTaskService::ProcessHeadsUps()
{
    const qint64 Now = NowMs();
    for (auto& [Name, Entry] : FEntries) {
        const std::optional<qint64> HeadsUp = HeadsUpMoment(Entry);
        if (!HeadsUp || *HeadsUp * 1000 > Now || *Entry.Next * 1000 <= Now)
            continue;
        Entry.HeadsUpFor = Entry.Next;
        ServiceLog::Write(QStringLiteral("%1: heads-up for the %2 at %3")
                              .arg(Name, ActionName(Entry.Action), Describe(*Entry.Next)));
        FNotices->Show(Name, *Entry.Next, HeadsUpTextFor(Entry.Action, *Entry.Next), *Entry.Next * 1000 - Now);
    }
}

void TTaskService::SkipRun(const QString& FileName, qint64 Due)
{
    const qint64 Now = NowMs();
    const auto It = FEntries.find(FileName);
    if (It == FEntries.end() || It->second.Next != Due || Due * 1000 <= Now || FRuns.count(FileName)) {
        ServiceLog::Write(QStringLiteral("%1: \"Skip this time\" came too late for the run at %2").arg(FileName, Describe(Due)));
        return;
    }
    const TEntry& Entry = It->second;
    bool Current = false;
    bool Removed = false;
    std::optional<qint64> After;
    // Decided on the item as it is now, under the store's lock: a run that
    // the item no longer has is not skipped, and nothing else changes.
    const TStoreResult Result = WorkItemStore::UpdateOrRemove(FileName, [&](TWorkItem& Item) {
        Current = RunPlan::NextDue(Item, Seconds(Now), Entry.SavedAt, Entry.Handled) == Due;
        if (!Current)
            return TItemChange::Keep;
        After = RunPlan::NextDue(Item, Due + 1, Entry.SavedAt, Due);
        if (!After && DeleteWhenDone(Item)) {
            Removed = true;
            return TItemChange::Remove;
        }
        Item.SkippedRun = TriggerSchedule::LocalFields(Due);
        return TItemChange::Write;
    });
    if (Result != TStoreResult::Ok || !Current) {
        ServiceLog::Write(QStringLiteral("%1: cannot skip the run at %2: %3")
                              .arg(FileName, Describe(Due),
                                  Result != TStoreResult::Ok ? ResultText(Result) : QStringLiteral("the item has changed")));
        return;
    }
    const QString What = Removed ? QStringLiteral("the run due at %1; the item had no other run and is deleted")
                                       .arg(Describe(Due))
        : After ? QStringLiteral("the run due at %1; the next run stays, at %2").arg(Describe(Due), Describe(*After))
                : QStringLiteral("the run due at %1; it has no other run").arg(Describe(Due));
    Tell(RunHistory::TEvent::Skipped, FileName, QStringLiteral("by the user: ") + What);
    if (Removed)
        FEntries.erase(FileName);
    else
        Reload(FileName, Now);
    Arm();
}
