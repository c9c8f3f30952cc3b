#include "platform/TriggerSchedule.h"
#include "support/TestTriggers.h"

#include <QDateTime>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <ctime>

namespace {

// Berlin in 2014: summer time began on 30 March (02:00 became 03:00) and
// ended on 26 October (03:00 became 02:00 again).
class TriggerScheduleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SavedZone = qgetenv("TZ");
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void TearDown() override
    {
        SavedZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", SavedZone);
        tzset();
    }

    static qint64 Utc(int Year, int Month, int Day, int Hour, int Minute, int Second = 0)
    {
        return QDateTime(QDate(Year, Month, Day), QTime(Hour, Minute, Second), Qt::UTC).toSecsSinceEpoch();
    }
    // Berlin's standard time is UTC+1, its summer time UTC+2.
    static qint64 Winter(int Year, int Month, int Day, int Hour, int Minute)
    {
        return Utc(Year, Month, Day, Hour, Minute) - 3600;
    }
    static qint64 Summer(int Year, int Month, int Day, int Hour, int Minute)
    {
        return Utc(Year, Month, Day, Hour, Minute) - 7200;
    }

    static TTriggerData Trigger(uint32_t Type, uint16_t Word0 = 1, uint16_t Word1 = 0, uint16_t Word2 = 0)
    {
        TTriggerData T = TestTriggers::AsClientWrites(Type, 2014, 7, 4, 13, 5);
        T.TypeWords[0] = Word0;
        T.TypeWords[1] = Word1;
        T.TypeWords[2] = Word2;
        return T;
    }

    QByteArray SavedZone;
};

TEST_F(TriggerScheduleTest, WallClockTimesAroundDaylightSavingChanges)
{
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 7, 4, 13, 5), Summer(2014, 7, 4, 13, 5));
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 1, 4, 13, 5), Winter(2014, 1, 4, 13, 5));
    // Skipped: the first moment after the gap, which shows 03:00.
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 3, 30, 2, 30), Utc(2014, 3, 30, 1, 0));
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 3, 30, 2, 0), Utc(2014, 3, 30, 1, 0));
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 3, 30, 3, 0), Utc(2014, 3, 30, 1, 0));
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 3, 30, 1, 59), Utc(2014, 3, 30, 0, 59));
    // Twice: the first occurrence, still in summer time.
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 10, 26, 2, 30), Utc(2014, 10, 26, 0, 30));
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 2, 30, 12, 0), std::nullopt);
    EXPECT_EQ(TriggerSchedule::LocalMoment(2014, 2, 3, 24, 0), std::nullopt);

    const TCalendarTime Fields = TriggerSchedule::LocalFields(Summer(2014, 7, 4, 13, 5));
    EXPECT_EQ(Fields, (TCalendarTime{2014, 7, 5, 4, 13, 5, 0, 0}));
}

TEST_F(TriggerScheduleTest, NextRunOfTimeTriggers)
{
    TTriggerData WithEnd = Trigger(WorkItem::TriggerDaily);
    WithEnd.rgFlags |= WorkItem::TriggerHasEndDate;
    WithEnd.wEndYear = 2014;
    WithEnd.wEndMonth = 7;
    WithEnd.wEndDay = 6;
    TTriggerData Disabled = Trigger(WorkItem::TriggerDaily);
    Disabled.rgFlags |= WorkItem::TriggerDisabled;
    TTriggerData Gap = Trigger(WorkItem::TriggerDaily);
    Gap.wBeginMonth = 3;
    Gap.wBeginDay = 1;
    Gap.wStartHour = 2;
    Gap.wStartMinute = 30;
    TTriggerData Repeating = Trigger(WorkItem::TriggerOnce);
    Repeating.wStartMinute = 0;
    Repeating.MinutesInterval = 15;
    Repeating.MinutesDuration = 60;

    const struct
    {
        const char* What;
        TTriggerData T;
        qint64 From;
        std::optional<qint64> Run;
    } Cases[] = {
        {"once, at its minute", Trigger(WorkItem::TriggerOnce), Summer(2014, 7, 4, 13, 5), Summer(2014, 7, 4, 13, 5)},
        {"once, a second late", Trigger(WorkItem::TriggerOnce), Summer(2014, 7, 4, 13, 5) + 1, std::nullopt},
        {"daily, before the begin", Trigger(WorkItem::TriggerDaily), Utc(2014, 1, 1, 0, 0), Summer(2014, 7, 4, 13, 5)},
        {"daily, later", Trigger(WorkItem::TriggerDaily), Summer(2014, 7, 10, 14, 0), Summer(2014, 7, 11, 13, 5)},
        {"every 3 days", Trigger(WorkItem::TriggerDaily, 3), Summer(2014, 7, 5, 0, 0), Summer(2014, 7, 7, 13, 5)},
        {"interval 0 counts as 1", Trigger(WorkItem::TriggerDaily, 0), Summer(2014, 7, 5, 0, 0),
            Summer(2014, 7, 5, 13, 5)},
        {"daily with an end date", WithEnd, Summer(2014, 7, 6, 14, 0), std::nullopt},
        {"daily up to its end date", WithEnd, Summer(2014, 7, 6, 13, 0), Summer(2014, 7, 6, 13, 5)},
        {"disabled", Disabled, Summer(2014, 7, 1, 0, 0), std::nullopt},
        {"weekly on Wednesday", Trigger(WorkItem::TriggerWeekly, 1, 0x8), Summer(2014, 7, 4, 0, 0),
            Summer(2014, 7, 9, 13, 5)},
        {"every 2 weeks on Wednesday", Trigger(WorkItem::TriggerWeekly, 2, 0x8), Summer(2014, 7, 4, 0, 0),
            Summer(2014, 7, 16, 13, 5)},
        {"weekly on no day", Trigger(WorkItem::TriggerWeekly, 1, 0), Summer(2014, 7, 4, 0, 0), std::nullopt},
        {"monthly on the 31st", Trigger(WorkItem::TriggerMonthlyDate, 0, 0x4000, 0xfff), Summer(2014, 8, 1, 0, 0),
            Summer(2014, 8, 31, 13, 5)},
        {"monthly on 29 February", Trigger(WorkItem::TriggerMonthlyDate, 0, 0x1000, 0x2), Summer(2014, 8, 1, 0, 0),
            Winter(2016, 2, 29, 13, 5)},
        {"monthly on 30 February", Trigger(WorkItem::TriggerMonthlyDate, 0, 0x2000, 0x2), Summer(2014, 8, 1, 0, 0),
            std::nullopt},
        {"last Monday of the month", Trigger(WorkItem::TriggerMonthlyDow, 5, 0x2, 0xfff), Summer(2014, 7, 4, 0, 0),
            Summer(2014, 7, 28, 13, 5)},
        {"second Tuesday of August", Trigger(WorkItem::TriggerMonthlyDow, 2, 0x4, 0x80), Summer(2014, 7, 4, 0, 0),
            Summer(2014, 8, 12, 13, 5)},
        {"at logon", Trigger(WorkItem::TriggerAtLogon), Summer(2014, 7, 1, 0, 0), std::nullopt},
        {"a skipped time runs after the gap", Gap, Winter(2014, 3, 30, 0, 0), Utc(2014, 3, 30, 1, 0)},
        {"a doubled time runs at its first", Gap, Summer(2014, 10, 26, 0, 0), Utc(2014, 10, 26, 0, 30)},
        {"a doubled time runs once", Gap, Utc(2014, 10, 26, 0, 30) + 1, Winter(2014, 10, 27, 2, 30)},
        {"repetition within the duration", Repeating, Summer(2014, 7, 4, 13, 20), Summer(2014, 7, 4, 13, 30)},
        {"repetition ends with the duration", Repeating, Summer(2014, 7, 4, 14, 0), std::nullopt},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(TriggerSchedule::NextRun(Case.T, Case.From), Case.Run) << Case.What;
}

TEST_F(TriggerScheduleTest, ItemRunsAtTheEarliestOfItsTriggersUnlessDisabled)
{
    TWorkItem Item;
    Item.Triggers = {Trigger(WorkItem::TriggerDaily), Trigger(WorkItem::TriggerOnce)};
    Item.Triggers[1].wStartHour = 9;
    const qint64 From = Summer(2014, 7, 1, 0, 0);
    EXPECT_EQ(TriggerSchedule::NextRun(Item, From), Summer(2014, 7, 4, 9, 5));
    Item.Flags = WorkItem::FlagDisabled;
    EXPECT_EQ(TriggerSchedule::NextRun(Item, From), std::nullopt);
}

TEST_F(TriggerScheduleTest, ValidationFollowsSetTrigger)
{
    const auto With = [this](auto Change) {
        TTriggerData T = Trigger(WorkItem::TriggerOnce);
        Change(T);
        return TriggerSchedule::IsValid(T);
    };
    EXPECT_TRUE(With([](TTriggerData&) {}));
    EXPECT_FALSE(With([](TTriggerData& T) { T.cbTriggerSize = 47; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wBeginMonth = 0; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wBeginMonth = 13; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wBeginDay = 0; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wBeginDay = 32; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wBeginMonth = 2, T.wBeginDay = 30; }));
    EXPECT_TRUE(With([](TTriggerData& T) { T.wStartHour = 23; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wStartHour = 24; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wStartMinute = 60; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.MinutesInterval = 10, T.MinutesDuration = 10; }));
    EXPECT_TRUE(With([](TTriggerData& T) { T.MinutesInterval = 10, T.MinutesDuration = 11; }));
    // The end date counts only when the trigger says it has one.
    EXPECT_TRUE(With([](TTriggerData& T) { T.wEndMonth = 0; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.wEndMonth = 0, T.rgFlags |= WorkItem::TriggerHasEndDate; }));
    EXPECT_TRUE(With([](TTriggerData& T) { T.TriggerType = WorkItem::TriggerAtLogon; }));
    EXPECT_FALSE(With([](TTriggerData& T) { T.TriggerType = 8; }));
}

TEST_F(TriggerScheduleTest, DescriptionsAreShortEnglishSentences)
{
    TTriggerData Ending = Trigger(WorkItem::TriggerDaily, 2);
    Ending.rgFlags |= WorkItem::TriggerHasEndDate;
    Ending.wEndYear = 2014;
    Ending.wEndMonth = 8;
    Ending.wEndDay = 1;
    const struct
    {
        TTriggerData T;
        const char* Text;
    } Cases[] = {
        {Trigger(WorkItem::TriggerDaily), "At 13:05 every day, starting 7/4/2014"},
        {Trigger(WorkItem::TriggerOnce), "At 13:05 on 7/4/2014"},
        {Ending, "At 13:05 every 2 days, starting 7/4/2014, ending 8/1/2014"},
        {Trigger(WorkItem::TriggerWeekly, 1, 0x8), "At 13:05 every Wednesday of every week, starting 7/4/2014"},
        {Trigger(WorkItem::TriggerWeekly, 3, 0x41), "At 13:05 every Sunday, Saturday of every 3 weeks, starting 7/4/2014"},
        {Trigger(WorkItem::TriggerMonthlyDate, 0x4001, 0, 0xfff), "At 13:05 on day 1, 15 of every month, starting 7/4/2014"},
        {Trigger(WorkItem::TriggerMonthlyDow, 1, 0x2, 0x3), "At 13:05 on the first Monday of January, February, starting 7/4/2014"},
        {Trigger(WorkItem::TriggerAtLogon), "At logon"},
        {Trigger(9), "Trigger not set"},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(TriggerSchedule::Describe(Case.T).toStdString(), Case.Text);
}

} // namespace
