#include "platform/SleepWatch.h"

#include <gtest/gtest.h>

namespace {

struct TClocks
{
    qint64 Wall = 1700000000000;
    qint64 Monotonic = 1000;
    qint64 Boot = 1000;
    void Awake(qint64 Ms) { Wall += Ms, Monotonic += Ms, Boot += Ms; }
    void Asleep(qint64 Ms) { Wall += Ms, Boot += Ms; }
};

TSleepWatch WatchOn(TClocks& C)
{
    TSleepWatch Watch;
    Watch.SetClocks({[&C] { return C.Wall; }, [&C] { return C.Monotonic; }, [&C] { return C.Boot; }});
    return Watch;
}

} // namespace

// The service's rule: a sleep the kernel counted between two looks covers a
// moment only when the look came late for it; a sleep logind announced
// covers its whole span. An on-time run after an earlier sleep still runs.
TEST(SleepWatchTest, AMomentCountsAsSleptOnlyWhenASleepReallyCoveredIt)
{
    const qint64 Slack = 1000;
    TClocks C;
    TSleepWatch Watch = WatchOn(C);
    const qint64 Start = C.Wall;

    // 8 h awake with an hour's sleep in between, looked at exactly at the moment due.
    C.Awake(4 * 3600000);
    C.Asleep(3600000);
    C.Awake(3 * 3600000);
    const TSleepWatch::TChange Seen = Watch.Look();
    EXPECT_EQ(Seen.SleptMs, 3600000);
    EXPECT_EQ(Seen.ClockSetMs, 0);
    EXPECT_FALSE(Watch.SleptAt(C.Wall, Slack));
    EXPECT_FALSE(Watch.SleptAt(C.Wall - 500, Slack));
    // The tool takes no slack: half a second late after a sleep is slept through.
    EXPECT_TRUE(Watch.SleptAt(C.Wall - 500, 0));
    EXPECT_TRUE(Watch.SleptAt(C.Wall - 2000, Slack));
    EXPECT_FALSE(Watch.SleptAt(Start - 1, 0));

    // logind's word covers its span exactly, and a sleep under way covers what follows its start.
    C.Awake(60000);
    (void)Watch.Look();
    const qint64 Before = C.Wall;
    Watch.PrepareForSleep(true);
    EXPECT_TRUE(Watch.Asleep());
    EXPECT_TRUE(Watch.SleptAt(Before + 10, Slack));
    C.Awake(3000);
    Watch.PrepareForSleep(false);
    EXPECT_FALSE(Watch.Asleep());
    EXPECT_TRUE(Watch.SleptAt(C.Wall - 1, Slack));
    EXPECT_FALSE(Watch.SleptAt(C.Wall + 1, 0));
    EXPECT_FALSE(Watch.SleptAt(Before - 30000, 0));

    // The clock set is told apart from a sleep.
    C.Wall += 7200000;
    const TSleepWatch::TChange Set = Watch.Look();
    EXPECT_EQ(Set.SleptMs, 0);
    EXPECT_EQ(Set.ClockSetMs, 7200000);
}
