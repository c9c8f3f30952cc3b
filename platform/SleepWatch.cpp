#include "platform/SleepWatch.h"

#include <time.h>

namespace {

qint64 ClockMs(clockid_t Clock)
{
    timespec Now{};
    clock_gettime(Clock, &Now);
    return qint64(Now.tv_sec) * 1000 + Now.tv_nsec / 1000000;
}

// Below this the two counts differ only by the instants they were read at.
constexpr qint64 NoiseMs = 100;
// Enough for every sleep a countdown or the next due run can meet.
constexpr int SpansKept = 16;

} // namespace

TSleepWatch::TSleepWatch()
{
    SetClocks({[] { return ClockMs(CLOCK_REALTIME); }, [] { return ClockMs(CLOCK_MONOTONIC); },
        [] { return ClockMs(CLOCK_BOOTTIME); }});
}

void TSleepWatch::SetClocks(TClocks Clocks)
{
    FClocks = std::move(Clocks);
    FLast = Sample();
}

TSleepWatch::TSample TSleepWatch::Sample() const
{
    TSample Now;
    Now.Monotonic = FClocks.MonotonicMs();
    Now.Wall = FClocks.WallMs();
    Now.Boot = FClocks.BootMs();
    return Now;
}

void TSleepWatch::Keep(const TSpan& Span)
{
    FSpans.append(Span);
    while (FSpans.size() > SpansKept)
        FSpans.removeFirst();
}

void TSleepWatch::PrepareForSleep(bool Start)
{
    const qint64 Now = FClocks.WallMs();
    if (Start && !FAsleepSince) {
        FAsleepSince = Now;
    } else if (!Start && FAsleepSince) {
        Keep({*FAsleepSince, Now, false});
        FAsleepSince.reset();
    }
}

TSleepWatch::TChange TSleepWatch::Look()
{
    const TSample Now = Sample();
    TChange Change;
    Change.SleptMs = (Now.Boot - Now.Monotonic) - (FLast.Boot - FLast.Monotonic);
    Change.ClockSetMs = (Now.Wall - Now.Boot) - (FLast.Wall - FLast.Boot);
    if (Change.SleptMs < NoiseMs)
        Change.SleptMs = 0;
    if (Change.ClockSetMs > -NoiseMs && Change.ClockSetMs < NoiseMs)
        Change.ClockSetMs = 0;
    if (Change.SleptMs > 0)
        Keep({FLast.Wall, Now.Wall, true});
    FLast = Now;
    return Change;
}

bool TSleepWatch::SleptAt(qint64 MomentMs, qint64 SlackMs) const
{
    if (FAsleepSince && MomentMs >= *FAsleepSince)
        return true;
    for (const TSpan& Span : FSpans) {
        if (MomentMs < Span.From || MomentMs > Span.To)
            continue;
        if (!Span.Kernel || Span.To - MomentMs > SlackMs)
            return true;
    }
    return false;
}
