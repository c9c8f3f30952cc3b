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

// The latest run the item records as run, refused or missed.
std::optional<qint64> LastHandled(const TWorkItem& Item)
{
    const std::optional<qint64> Ran = RunPlan::MomentOf(Item.MostRecentRun);
    const std::optional<qint64> Handled = RunPlan::MomentOf(Item.HandledRun);
    if (Ran && Handled)
        return std::max(*Ran, *Handled);
    return Ran ? Ran : Handled;
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
    const std::optional<qint64> LastRun = LastHandled(Item);
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
    // A run the item records at or after its due second was made (or refused,
    // or found missed) already, perhaps by a service that was killed and
    // restarted within that second.
    const std::optional<qint64> LastRun = LastHandled(Item);
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
    // After the save, the last run handled and the run the user skipped: those were seen.
    qint64 From = SavedAt + 1;
    for (const std::optional<qint64> Past : {LastHandled(Item), MomentOf(Item.SkippedRun)})
        if (Past)
            From = std::max(From, *Past + 1);
    while (Missed.Count < MissedCountLimit) {
        const std::optional<qint64> Due = TriggerSchedule::NextRun(Item, From);
        if (!Due || *Due * 1000 >= NowMs)
            break;
        if (++Missed.Count == 1)
            Missed.First = *Due;
        Missed.Last = *Due;
        From = *Due + 1;
    }
    Missed.AtLeast = Missed.Count == MissedCountLimit;
    return Missed;
}

} // namespace RunPlan
