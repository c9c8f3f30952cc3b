#pragma once

#include <QList>

#include <functional>
#include <optional>

// Whether the computer slept through a moment. Two witnesses: logind's
// PrepareForSleep, which a program hears only if it reads its bus before the
// sleep, and the kernel's count of the time spent suspended (CLOCK_BOOTTIME
// less CLOCK_MONOTONIC), which the first look after waking sees whatever the
// order in which a program's events come in. A look also sees the wall clock
// being set. Moments are milliseconds since the epoch.
class TSleepWatch
{
public:
    struct TClocks
    {
        std::function<qint64()> WallMs;
        std::function<qint64()> MonotonicMs; // read first at every look
        std::function<qint64()> BootMs; // monotonic, suspended time included
    };
    // What a look found since the one before.
    struct TChange
    {
        qint64 SleptMs = 0;   // time spent suspended
        qint64 ClockSetMs = 0; // how far the wall clock was set, either way
    };

    TSleepWatch();
    // Tests give their own clocks; the first look starts from them.
    void SetClocks(TClocks Clocks);

    // logind's PrepareForSleep(Start).
    void PrepareForSleep(bool Start);
    // logind announced a sleep and no waking yet.
    bool Asleep() const { return FAsleepSince.has_value(); }

    TChange Look();

    // Whether MomentMs lay in a sleep seen so far: one logind announced (up
    // to its waking, or still under way), or one the kernel counted between
    // two looks when the moment lies more than SlackMs behind the look that
    // found it. A moment the kernel's sleep may only have come close to counts:
    // a moment missed is told, a moment acted on is not taken back.
    bool SleptAt(qint64 MomentMs, qint64 SlackMs = 0) const;

private:
    struct TSpan
    {
        qint64 From;
        qint64 To;
        bool Kernel;
    };
    struct TSample
    {
        qint64 Wall = 0;
        qint64 Monotonic = 0;
        qint64 Boot = 0;
    };
    TSample Sample() const;
    void Keep(const TSpan& Span);

    TClocks FClocks;
    TSample FLast;
    std::optional<qint64> FAsleepSince;
    QList<TSpan> FSpans;
};
