#include "platform/DateTime.h"

#include <gtest/gtest.h>

namespace {

TDateTime Encode(int Year, int Month, int Day, int Hour = 0, int Minute = 0, int Second = 0, int MSec = 0)
{
    TDateTime Value = -1e9;
    EXPECT_TRUE(DateTime::TryEncode({Year, Month, Day, Hour, Minute, Second, MSec}, Value));
    return Value;
}

void ExpectFields(const TDateTimeFields& F, int Year, int Month, int Day, int Hour, int Minute, int Second, int MSec)
{
    EXPECT_EQ(F.Year, Year);
    EXPECT_EQ(F.Month, Month);
    EXPECT_EQ(F.Day, Day);
    EXPECT_EQ(F.Hour, Hour);
    EXPECT_EQ(F.Minute, Minute);
    EXPECT_EQ(F.Second, Second);
    EXPECT_EQ(F.MSec, MSec);
}

struct ClockReset
{
    ~ClockReset() { DateTime::SetClockForTesting({}); }
};

} // namespace

TEST(DateTime, EncodesDaysSinceTheEndOf1899WithTheTimeAsFraction)
{
    const struct
    {
        TDateTimeFields Fields;
        double Expected;
    } Cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1899, 12, 31, 0, 0, 0, 0}, 1.0},
        {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
        {{2014, 12, 8, 21, 20, 0, 0}, 41981.0 + 21.0 / 24 + 20.0 / 1440},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25}, // before day 0 the fraction still counts forward in the day
        {{1899, 12, 30, 18, 0, 0, 0}, 0.75},
    };
    for (const auto& Case : Cases) {
        TDateTime Value = 0;
        ASSERT_TRUE(DateTime::TryEncode(Case.Fields, Value)) << Case.Fields.Year;
        EXPECT_DOUBLE_EQ(Value, Case.Expected) << Case.Fields.Year << "-" << Case.Fields.Month << "-" << Case.Fields.Day;
    }
}

TEST(DateTime, RefusesFieldsThatNameNoRealMoment)
{
    const TDateTimeFields Bad[] = {
        {2014, 2, 29, 0, 0, 0, 0}, {2014, 13, 1, 0, 0, 0, 0}, {2014, 0, 1, 0, 0, 0, 0}, {2014, 4, 31, 0, 0, 0, 0},
        {0, 1, 1, 0, 0, 0, 0},     {10000, 1, 1, 0, 0, 0, 0}, {2014, 1, 1, 24, 0, 0, 0}, {2014, 1, 1, 0, 60, 0, 0},
        {2014, 1, 1, 0, 0, 60, 0}, {2014, 1, 1, 0, 0, 0, 1000}, {2014, 1, 1, -1, 0, 0, 0},
    };
    for (const auto& Fields : Bad) {
        TDateTime Value = 123.0;
        EXPECT_FALSE(DateTime::TryEncode(Fields, Value)) << Fields.Year << "-" << Fields.Month << "-" << Fields.Day
                                                         << " " << Fields.Hour << ":" << Fields.Minute;
        EXPECT_EQ(Value, 123.0);
    }
    TDateTime Leap = 0;
    EXPECT_TRUE(DateTime::TryEncode({2016, 2, 29, 23, 59, 59, 999}, Leap));
}

TEST(DateTime, DecodeRoundsToTheMillisecondWithoutLosingOne)
{
    // Every minute and a spread of milliseconds of one day, far from day 0 where the
    // floating-point fraction is least exact.
    for (int Minute = 0; Minute < 1440; ++Minute) {
        const TDateTimeFields F = DateTime::Decode(Encode(2014, 7, 4, Minute / 60, Minute % 60));
        ASSERT_EQ(F.Hour * 60 + F.Minute, Minute);
        ASSERT_EQ(F.Second, 0);
        ASSERT_EQ(F.MSec, 0);
    }
    for (int MSec = 0; MSec < 1000; MSec += 7)
        ASSERT_EQ(DateTime::Decode(Encode(9999, 12, 31, 23, 59, 59, MSec)).MSec, MSec);
    ExpectFields(DateTime::Decode(41824 + 13.0 / 24 + 5.0 / 1440), 2014, 7, 4, 13, 5, 0, 0);
    // Half a millisecond short of midnight rounds into the next day.
    ExpectFields(DateTime::Decode(Encode(2014, 12, 31) + 1.0 - 0.4 / 86400000), 2015, 1, 1, 0, 0, 0, 0);
}

TEST(DateTime, DecodeBeforeDayZeroReadsTheFractionAsTimeOfDay)
{
    ExpectFields(DateTime::Decode(-1.25), 1899, 12, 29, 6, 0, 0, 0);
    ExpectFields(DateTime::Decode(-0.5), 1899, 12, 30, 12, 0, 0, 0);
    ExpectFields(DateTime::Decode(-693593.75), 1, 1, 1, 18, 0, 0, 0);
    EXPECT_DOUBLE_EQ(Encode(1, 1, 1, 7, 30), -693593.3125);
}

TEST(DateTime, DecodeOfNoNumberGivesDayZero)
{
    for (double Value : {std::nan(""), 1e300, -1e300, HUGE_VAL})
        ExpectFields(DateTime::Decode(Value), 1899, 12, 30, 0, 0, 0, 0);
}

TEST(DateTime, AddingMinutesCrossesMidnight)
{
    ExpectFields(DateTime::Decode(DateTime::IncMinute(Encode(2014, 12, 31, 23, 45), 30)), 2015, 1, 1, 0, 15, 0, 0);
    ExpectFields(DateTime::Decode(DateTime::IncMinute(Encode(2014, 12, 8, 21, 20), 10)), 2014, 12, 8, 21, 30, 0, 0);
    EXPECT_DOUBLE_EQ(DateTime::EncodeDate(2014, 12, 8) + DateTime::EncodeTime(21, 20), Encode(2014, 12, 8, 21, 20));
    EXPECT_EQ(DateTime::EncodeDate(2014, 2, 30), 0.0);
}

TEST(DateTime, NowFollowsTheClockSeamToTheMillisecond)
{
    ClockReset Reset;
    DateTime::SetClockForTesting([] { return QDateTime(QDate(2014, 12, 8), QTime(21, 20, 7, 123)); });
    ExpectFields(DateTime::Decode(DateTime::Now()), 2014, 12, 8, 21, 20, 7, 123);

    DateTime::SetClockForTesting({});
    const QDateTime Before = QDateTime::currentDateTime();
    const TDateTime Now = DateTime::Now();
    const QDateTime After = QDateTime::currentDateTime();
    EXPECT_GE(Now, DateTime::FromQDateTime(Before));
    EXPECT_LE(Now, DateTime::FromQDateTime(After));
}

TEST(DateTime, QDateTimeRoundTripKeepsTheWallClock)
{
    const QDateTime Local(QDate(2014, 7, 4), QTime(13, 5, 0, 250));
    EXPECT_EQ(DateTime::ToQDateTime(DateTime::FromQDateTime(Local)), Local);
    EXPECT_EQ(DateTime::ToQDateTime(Encode(2014, 7, 4, 13, 5)).time(), QTime(13, 5));

    const QDateTime Utc(QDate(2014, 7, 4), QTime(13, 5), Qt::UTC);
    EXPECT_EQ(DateTime::ToQDateTime(DateTime::FromQDateTime(Utc)), Utc.toLocalTime());
    EXPECT_EQ(DateTime::FromQDateTime(QDateTime()), 0.0);
}
