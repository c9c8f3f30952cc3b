#include "platform/TriggerSchedule.h"
#include "service/RunPlan.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

// Sets TZ for one test and puts the old value back.
class TTimeZone
{
public:
    explicit TTimeZone(const char* Zone)
    {
        if (const char* Old = std::getenv("TZ"))
            FOld = Old;
        FHadOld = std::getenv("TZ") != nullptr;
        setenv("TZ", Zone, 1);
        tzset();
    }
    ~TTimeZone()
    {
        if (FHadOld)
            setenv("TZ", FOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string FOld;
    bool FHadOld = false;
};

qint64 Utc(int Year, int Month, int Day, int Hour, int Minute)
{
    return QDateTime(QDate(Year, Month, Day), QTime(Hour, Minute), QTimeZone::utc()).toSecsSinceEpoch();
}

TTriggerData Trigger(uint32_t Type, int Year, int Month, int Day, int Hour, int Minute)
{
    TTriggerData T;
    T.TriggerType = Type;
    T.wBeginYear = uint16_t(Year);
    T.wBeginMonth = uint16_t(Month);
    T.wBeginDay = uint16_t(Day);
    T.wStartHour = uint16_t(Hour);
    T.wStartMinute = uint16_t(Minute);
    T.TypeWords[0] = 1;
    if (Type == WorkItem::TriggerWeekly)
        T.TypeWords[1] = 0x1; // Sunday
    return T;
}

TWorkItem Item(const TTriggerData& T, uint32_t Flags = 0x2002)
{
    TWorkItem I;
    I.Application = QStringLiteral("/bin/true");
    I.Flags = Flags;
    I.Triggers.push_back(T);
    return I;
}

} // namespace

// Berlin: on 2024-03-31 02:00 CET jumps to 03:00 CEST; on 2024-10-27 03:00
// CEST falls back to 02:00 CET, so 02:00-02:59 occurs twice.
TEST(RunPlan, SkippedHourRunsAtTheFirstMomentAfterTheChange)
{
    const TTimeZone Zone("Europe/Berlin");
    const struct {
        const char* Name;
        TTriggerData T;
        qint64 From;
        qint64 Expected;
        qint64 Following;
    } Cases[] = {
        {"daily 02:30", Trigger(WorkItem::TriggerDaily, 2024, 3, 1, 2, 30), Utc(2024, 3, 30, 12, 0),
            Utc(2024, 3, 31, 1, 0), Utc(2024, 4, 1, 0, 30)},
        {"weekly Sunday 02:00", Trigger(WorkItem::TriggerWeekly, 2024, 3, 1, 2, 0), Utc(2024, 3, 30, 12, 0),
            Utc(2024, 3, 31, 1, 0), Utc(2024, 4, 7, 0, 0)},
        {"daily 02:59", Trigger(WorkItem::TriggerDaily, 2024, 3, 1, 2, 59), Utc(2024, 3, 30, 12, 0),
            Utc(2024, 3, 31, 1, 0), Utc(2024, 4, 1, 0, 59)},
        {"daily 03:00 just after the gap", Trigger(WorkItem::TriggerDaily, 2024, 3, 1, 3, 0),
            Utc(2024, 3, 30, 12, 0), Utc(2024, 3, 31, 1, 0), Utc(2024, 4, 1, 1, 0)},
        {"once 02:15", Trigger(WorkItem::TriggerOnce, 2024, 3, 31, 2, 15), Utc(2024, 3, 30, 12, 0),
            Utc(2024, 3, 31, 1, 0), -1},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const TWorkItem I = Item(Case.T);
        const std::optional<qint64> Due = RunPlan::NextDue(I, Case.From, 0, std::nullopt);
        ASSERT_TRUE(Due.has_value());
        EXPECT_EQ(*Due, Case.Expected);
        const std::optional<qint64> After = RunPlan::NextDue(I, *Due + 1, 0, *Due);
        if (Case.Following < 0)
            EXPECT_FALSE(After.has_value());
        else
            EXPECT_EQ(After.value_or(0), Case.Following);
    }
}

TEST(RunPlan, RepeatedHourRunsOnceAtItsFirstOccurrence)
{
    const TTimeZone Zone("Europe/Berlin");
    const struct {
        const char* Name;
        TTriggerData T;
        qint64 First;     // the first 02:30 (CEST, UTC+2)
        qint64 Following; // the next day, never the second 02:30 (CET) of the same night
    } Cases[] = {
        {"daily 02:30", Trigger(WorkItem::TriggerDaily, 2024, 10, 1, 2, 30), Utc(2024, 10, 27, 0, 30),
            Utc(2024, 10, 28, 1, 30)},
        {"daily 02:00", Trigger(WorkItem::TriggerDaily, 2024, 10, 1, 2, 0), Utc(2024, 10, 27, 0, 0),
            Utc(2024, 10, 28, 1, 0)},
        {"weekly Sunday 02:45", Trigger(WorkItem::TriggerWeekly, 2024, 10, 1, 2, 45), Utc(2024, 10, 27, 0, 45),
            Utc(2024, 11, 3, 1, 45)},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const TWorkItem I = Item(Case.T);
        const std::optional<qint64> Due = RunPlan::NextDue(I, Utc(2024, 10, 26, 12, 0), 0, std::nullopt);
        ASSERT_TRUE(Due.has_value());
        EXPECT_EQ(*Due, Case.First);
        // Between the two occurrences (the service woke up in the repeated hour).
        EXPECT_EQ(RunPlan::NextDue(I, Case.First + 1, 0, Case.First).value_or(0), Case.Following);
        EXPECT_EQ(RunPlan::NextDue(I, Case.First + 3600, 0, Case.First).value_or(0), Case.Following);
    }
    // A one-time run in the repeated hour: once, at the first occurrence.
    const TWorkItem Once = Item(Trigger(WorkItem::TriggerOnce, 2024, 10, 27, 2, 30));
    EXPECT_EQ(RunPlan::NextDue(Once, Utc(2024, 10, 26, 12, 0), 0, std::nullopt).value_or(0), Utc(2024, 10, 27, 0, 30));
    EXPECT_FALSE(RunPlan::NextDue(Once, Utc(2024, 10, 27, 0, 30) + 1, 0, Utc(2024, 10, 27, 0, 30)).has_value());
}

TEST(RunPlan, NextDueNeverGivesTheHandledRunAgain)
{
    const TTimeZone Zone("UTC");
    const TWorkItem Daily = Item(Trigger(WorkItem::TriggerDaily, 2024, 1, 1, 10, 0));
    const qint64 Due = Utc(2024, 5, 5, 10, 0);
    // Recomputed in the very second of the run (the service's own write wakes it).
    EXPECT_EQ(RunPlan::NextDue(Daily, Due, 0, std::nullopt).value_or(0), Due);
    EXPECT_EQ(RunPlan::NextDue(Daily, Due, 0, Due).value_or(0), Due + 86400);
    // A service that comes up again knows it from the item.
    TWorkItem Refused = Daily;
    Refused.HandledRun = TriggerSchedule::LocalFields(Due);
    EXPECT_EQ(RunPlan::NextDue(Refused, Due, 0, std::nullopt).value_or(0), Due + 86400);
}

TEST(RunPlan, OneTimeItemSavedDuringItsMinuteIsDueAtOnce)
{
    const TTimeZone Zone("UTC");
    const qint64 Start = Utc(2024, 5, 5, 10, 0);
    const TWorkItem Once = Item(Trigger(WorkItem::TriggerOnce, 2024, 5, 5, 10, 0));
    TWorkItem HasRun = Once;
    HasRun.MostRecentRun = TriggerSchedule::LocalFields(Start + 2);
    TWorkItem RanBefore = Once;
    RanBefore.MostRecentRun = TriggerSchedule::LocalFields(Start - 3600);
    TWorkItem Refused = Once;
    Refused.HandledRun = TriggerSchedule::LocalFields(Start + 10);
    const TWorkItem Disabled = Item(Once.Triggers[0], 0x2002 | WorkItem::FlagDisabled);
    TTriggerData DisabledTrigger = Once.Triggers[0];
    DisabledTrigger.rgFlags |= WorkItem::TriggerDisabled;
    const TWorkItem Daily = Item(Trigger(WorkItem::TriggerDaily, 2024, 5, 5, 10, 0));

    const struct {
        const char* Name;
        TWorkItem I;
        qint64 SavedAt;
        bool Due;
    } Cases[] = {
        {"saved as the minute begins", Once, Start, true},
        {"saved in its last second", Once, Start + 59, true},
        {"saved after the minute", Once, Start + 60, false},
        {"saved before the minute", Once, Start - 1, false},
        {"has run since the minute began", HasRun, Start + 10, false},
        {"ran before, long ago", RanBefore, Start + 10, true},
        // The service's own note of the refusal saves the item again in that minute.
        {"refused since the minute began", Refused, Start + 11, false},
        {"disabled item", Disabled, Start + 10, false},
        {"disabled trigger", Item(DisabledTrigger), Start + 10, false},
        {"daily trigger", Daily, Start + 10, false},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const std::optional<qint64> OnSave = RunPlan::DueOnSave(Case.I, Case.SavedAt);
        EXPECT_EQ(OnSave.has_value(), Case.Due);
        if (Case.Due) {
            EXPECT_EQ(*OnSave, Case.SavedAt);
            // The run on save comes first even though the trigger's time has passed...
            EXPECT_EQ(RunPlan::NextDue(Case.I, Case.SavedAt + 5, Case.SavedAt, std::nullopt).value_or(0), Case.SavedAt);
            // ...and only once.
            EXPECT_FALSE(RunPlan::NextDue(Case.I, Case.SavedAt + 5, Case.SavedAt, Case.SavedAt).has_value());
        }
    }
}

TEST(RunPlan, OnlyItemsWithTimeTriggersAllInThePastAreDone)
{
    const TTimeZone Zone("UTC");
    const qint64 Now = Utc(2024, 5, 5, 12, 0);
    TWorkItem Events;
    Events.Flags = 0x2002;
    Events.Triggers.push_back(Trigger(WorkItem::TriggerAtLogon, 2024, 1, 1, 0, 0));
    TWorkItem PastAndEvent = Item(Trigger(WorkItem::TriggerOnce, 2024, 5, 5, 11, 0));
    PastAndEvent.Triggers.push_back(Trigger(WorkItem::TriggerOnIdle, 2024, 1, 1, 0, 0));
    TWorkItem EndedDaily = Item(Trigger(WorkItem::TriggerDaily, 2024, 5, 1, 10, 0));
    EndedDaily.Triggers[0].rgFlags |= WorkItem::TriggerHasEndDate;
    EndedDaily.Triggers[0].wEndYear = 2024;
    EndedDaily.Triggers[0].wEndMonth = 5;
    EndedDaily.Triggers[0].wEndDay = 5;

    const struct {
        const char* Name;
        TWorkItem I;
        bool Done;
    } Cases[] = {
        {"one-time run an hour ago", Item(Trigger(WorkItem::TriggerOnce, 2024, 5, 5, 11, 0)), true},
        {"one-time run in an hour", Item(Trigger(WorkItem::TriggerOnce, 2024, 5, 5, 13, 0)), false},
        {"one-time run this very second", Item(Trigger(WorkItem::TriggerOnce, 2024, 5, 5, 12, 0)), false},
        {"daily since long ago", Item(Trigger(WorkItem::TriggerDaily, 2020, 1, 1, 10, 0)), false},
        {"daily whose end date passed today", EndedDaily, true},
        {"no trigger", TWorkItem{}, false},
        {"event triggers only", Events, false},
        {"past run and an event trigger", PastAndEvent, true},
        {"disabled item", Item(Trigger(WorkItem::TriggerOnce, 2024, 5, 5, 11, 0), WorkItem::FlagDisabled), false},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        EXPECT_EQ(RunPlan::RunsAllPast(Case.I, Now), Case.Done);
    }
}

TEST(RunPlan, ARunMoreThanSixtySecondsLateIsMissed)
{
    const qint64 Due = 1700000000000;
    EXPECT_FALSE(RunPlan::IsLate(Due, Due));
    EXPECT_FALSE(RunPlan::IsLate(Due, Due + 60000));
    EXPECT_TRUE(RunPlan::IsLate(Due, Due + 60001));
}

TEST(RunPlan, TheSkippedRunIsLeftOutAndTheNextStays)
{
    const TTimeZone Zone("Europe/Berlin");
    TWorkItem Daily = Item(Trigger(WorkItem::TriggerDaily, 2024, 1, 1, 21, 30));
    // 21:30 in Berlin in summer is 19:30 UTC.
    const qint64 Due = Utc(2024, 6, 5, 19, 30);
    Daily.SkippedRun = TriggerSchedule::LocalFields(Due);
    const struct
    {
        qint64 From;
        qint64 Expected;
    } Cases[] = {
        {Due - 600, Due + 86400},
        {Due, Due + 86400},
        {Due - 86400, Due - 86400},
        {Due + 1, Due + 86400},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(RunPlan::NextDue(Daily, Case.From, 0, std::nullopt).value_or(0), Case.Expected) << Case.From - Due;
}

TEST(RunPlan, HeadsUpComesTheLeadTimeAheadUnlessTheItemWasSavedWithinIt)
{
    const qint64 Due = Utc(2024, 6, 5, 19, 30);
    const struct
    {
        qint64 SavedAt;
        qint64 Lead;
        std::optional<qint64> Expected;
    } Cases[] = {
        {Due - 3600, 300, Due - 300},
        {Due - 301, 300, Due - 300},
        {Due - 300, 300, std::nullopt},
        {Due - 3600, 0, std::nullopt},
        {Due - 3600, -5, std::nullopt},
        {Due - 7201, 7200, Due - 7200},
        {Due - 3600, 7200, std::nullopt},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(RunPlan::HeadsUpAt(Due, Case.SavedAt, Case.Lead), Case.Expected)
            << Case.SavedAt - Due << " " << Case.Lead;
}

TEST(RunPlan, RunsBetweenTheLastRunOrSaveAndTheStartAreMissed)
{
    TTimeZone Zone("UTC");
    const qint64 Now = Utc(2024, 5, 5, 10, 0) * 1000;
    TWorkItem Daily = Item(Trigger(WorkItem::TriggerDaily, 2024, 1, 1, 10, 0), 0);
    TWorkItem RanYesterday = Daily;
    RanYesterday.MostRecentRun = TCalendarTime{2024, 5, 6, 4, 10, 0, 3, 0};
    TWorkItem RefusedToday = RanYesterday;
    RefusedToday.HandledRun = TriggerSchedule::LocalFields(Now / 1000);
    TWorkItem MissedTwoDaysAgo = Daily;
    MissedTwoDaysAgo.HandledRun = TriggerSchedule::LocalFields(Utc(2024, 5, 3, 10, 0));
    TTriggerData EveryMinute = Trigger(WorkItem::TriggerDaily, 2024, 1, 1, 0, 0);
    EveryMinute.MinutesInterval = 1;
    EveryMinute.MinutesDuration = 1439;
    const struct {
        const char* Name;
        TWorkItem I;
        qint64 SavedAt;
        qint64 NowMs;
        int Count;
        bool AtLeast;
        qint64 First;
        qint64 Last;
    } Cases[] = {
        {"the start a moment after today's run", Daily, Utc(2024, 5, 1, 9, 0), Now + 300, 5, false,
            Utc(2024, 5, 1, 10, 0), Now / 1000},
        {"the start at the very millisecond of today's run", Daily, Utc(2024, 5, 1, 9, 0), Now, 4, false,
            Utc(2024, 5, 1, 10, 0), Utc(2024, 5, 4, 10, 0)},
        {"ran yesterday", RanYesterday, Utc(2024, 5, 1, 9, 0), Now + 300, 1, false, Now / 1000, Now / 1000},
        // Refused or reported missed by a service before this one: never again.
        {"refused today", RefusedToday, Utc(2024, 5, 1, 9, 0), Now + 300, 0, false, 0, 0},
        {"missed up to two days ago", MissedTwoDaysAgo, Utc(2024, 5, 1, 9, 0), Now + 300, 2, false,
            Utc(2024, 5, 4, 10, 0), Now / 1000},
        {"saved after today's run", Daily, Now / 1000 + 1, Now + 5000, 0, false, 0, 0},
        {"every minute for weeks", Item(EveryMinute, 0), Utc(2024, 4, 1, 0, 0), Now + 300, RunPlan::MissedCountLimit,
            true, Utc(2024, 4, 1, 0, 1), Utc(2024, 4, 1, 16, 40)},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        const RunPlan::TMissedRuns Missed = RunPlan::MissedWhileStopped(Case.I, Case.SavedAt, Case.NowMs);
        EXPECT_EQ(Missed.Count, Case.Count);
        EXPECT_EQ(Missed.AtLeast, Case.AtLeast);
        if (Case.Count > 0) {
            EXPECT_EQ(Missed.First, Case.First);
            EXPECT_EQ(Missed.Last, Case.Last);
        }
    }
}
