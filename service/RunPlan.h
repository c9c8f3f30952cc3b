#pragma once

#include "platform/WorkItemStore.h"

#include <optional>

// Which run of a work item the service handles next, and when an item is
// done. Moments are seconds since the epoch (milliseconds where named so).
namespace RunPlan {

// A run reached more than this late (a clock jump, a service held up) is missed, not run.
constexpr qint64 LateLimitMs = 60 * 1000;
// A run the kernel saw a sleep come close to is missed once it is reached
// later than this; one logind announced a sleep for is missed however little late.
constexpr qint64 SleepSlackMs = 1000;

// The moment of a time the item records (its most recent or skipped run);
// none for "none" (all fields 0).
std::optional<qint64> MomentOf(const TCalendarTime& R);

// A one-time trigger has no seconds: an item saved while its trigger's minute
// had begun but not ended would otherwise never run, though the user was told
// it was added. Such an item is due at SavedAt, unless it has run since the
// minute began.
std::optional<qint64> DueOnSave(const TWorkItem& Item, qint64 SavedAt);

// The next run to handle at or after From, the run on save included;
// Handled, a run already handled, is never given again, nor the run the
// user skipped.
std::optional<qint64> NextDue(const TWorkItem& Item, qint64 From, qint64 SavedAt, std::optional<qint64> Handled);

// Whether the item has at least one enabled time trigger and none of them
// runs at or after From: its runs all lie in the past. A disabled item, one
// without triggers or with event triggers only is never done.
bool RunsAllPast(const TWorkItem& Item, qint64 From);

// When to warn of the run at Due, LeadSeconds ahead. None without a lead,
// and none for an item saved in that moment's second or later: the user has
// just chosen the run.
std::optional<qint64> HeadsUpAt(qint64 Due, qint64 SavedAt, qint64 LeadSeconds);

bool IsLate(qint64 DueMs, qint64 NowMs);

// The runs of an item that fell between its last run handled, skip or save and
// NowMs (a service's start): they passed while no service was up. Counted up
// to MissedCountLimit.
struct TMissedRuns
{
    int Count = 0;
    bool AtLeast = false; // Count reached the limit; there may be more
    qint64 First = 0;
    qint64 Last = 0;
};
constexpr int MissedCountLimit = 1000;
TMissedRuns MissedWhileStopped(const TWorkItem& Item, qint64 SavedAt, qint64 NowMs);

} // namespace RunPlan
