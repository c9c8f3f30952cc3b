#include "service/RunPlan.h"

#include "platform/TriggerSchedule.h"

#include <algorithm>

namespace {

bool Enabled(const TWorkItem& Item)
{
    return !(Item.Flags & WorkItem::FlagDisabled);
}

bool IsTimeTrigger(const TTriggerData& T)
{
    return !(T.rgFlags & WorkItem::TriggerDisabled) && T.TriggerType <= WorkItem::TriggerMonthlyDow;
}

std::optional<qint64> MostRecentRun(const TWorkItem& Item)
{
    return RunPlan::MomentOf(Item.MostRecentRun);
}

} // namespace

namespace RunPlan {

std::optional<qint64> MomentOf(const TCalendarTime& R)
{
    if (R.wYear == 0)
        return std::nullopt;
    return TriggerSchedule::LocalMoment(R.wYear, R.wMonth, R.wDay, R.wHour, R.wMinute, R.wSecond);
}

std::optional<qint64> DueOnSave(const TWorkItem& Item, qint64 SavedAt)
{
    if (!Enabled(Item))
        return std::nullopt;
    const std::optional<qint64> LastRun = MostRecentRun(Item);
    for (const TTriggerData& T : Item.Triggers) {
        if (!IsTimeTrigger(T) || T.TriggerType != WorkItem::TriggerOnce)
            continue;
        const std::optional<qint64> Start
            = TriggerSchedule::LocalMoment(T.wBeginYear, T.wBeginMonth, T.wBeginDay, T.wStartHour, T.wStartMinute);
        if (!Start || SavedAt < *Start || SavedAt >= *Start + 60)
            continue;
        if (LastRun && *LastRun >= *Start)
            continue;
        return SavedAt;
    }
    return std::nullopt;
}

std::optional<qint64> NextDue(const TWorkItem& Item, qint64 From, qint64 SavedAt, std::optional<qint64> Handled)
{
    std::optional<qint64> Next = TriggerSchedule::NextRun(Item, From);
    if (Next && Handled && *Next == *Handled)
        Next = TriggerSchedule::NextRun(Item, *Handled + 1);
    // A run the item records at or after its due second was made already,
    // perhaps by a service that was killed and restarted within that second.
    const std::optional<qint64> LastRun = MostRecentRun(Item);
    if (Next && LastRun && *Next <= *LastRun)
        Next = TriggerSchedule::NextRun(Item, *LastRun + 1);
    // The user skipped that one run; the next stays.
    if (const std::optional<qint64> Skipped = MomentOf(Item.SkippedRun); Next && Skipped && *Next == *Skipped)
        Next = TriggerSchedule::NextRun(Item, *Skipped + 1);
    std::optional<qint64> OnSave = DueOnSave(Item, SavedAt);
    if (OnSave && Handled && *OnSave <= *Handled)
        OnSave.reset();
    if (OnSave && (!Next || *OnSave < *Next))
        return OnSave;
    return Next;
}

bool RunsAllPast(const TWorkItem& Item, qint64 From)
{
    if (!Enabled(Item))
        return false;
    bool HasTimeTrigger = false;
    for (const TTriggerData& T : Item.Triggers)
        HasTimeTrigger = HasTimeTrigger || IsTimeTrigger(T);
    return HasTimeTrigger && !TriggerSchedule::NextRun(Item, From);
}

std::optional<qint64> HeadsUpAt(qint64 Due, qint64 SavedAt, qint64 LeadSeconds)
{
    if (LeadSeconds <= 0 || SavedAt >= Due - LeadSeconds)
        return std::nullopt;
    return Due - LeadSeconds;
}

bool IsLate(qint64 DueMs, qint64 NowMs)
{
    return NowMs - DueMs > LateLimitMs;
}

TMissedRuns MissedWhileStopped(const TWorkItem& Item, qint64 SavedAt, qint64 NowMs)
{
    TMissedRuns Missed;
    // After the save, the last run and the run the user skipped: those were seen.
    qint64 From = SavedAt + 1;
    for (const std::optional<qint64> Past : {MostRecentRun(Item), MomentOf(Item.SkippedRun)})
        if (Past)
            From = std::max(From, *Past + 1);
    while (Missed.Count < MissedCountLimit) {
        const std::optional<qint64> Due = TriggerSchedule::NextRun(Item, From);
        if (!Due || *Due * 1000 >= NowMs)
            break;
        ++Missed.Count;
        Missed.Last = *Due;
        From = *Due + 1;
    }
    Missed.AtLeast = Missed.Count == MissedCountLimit;
    return Missed;
}

} // namespace RunPlan
