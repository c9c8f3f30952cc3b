#include "platform/DateTime.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr qint64 MSecsPerDay = 86400000;

// QDate's Julian day of 1899-12-30, day 0 of the count.
constexpr qint64 JulianDayOfZero = 2415019;

std::function<QDateTime()>& Clock()
{
    static std::function<QDateTime()> Instance;
    return Instance;
}

// Days and milliseconds of the day. Rounding the whole value to the
// millisecond first keeps 13:05:00 from decoding as 13:04:59.999. Before day 0
// the whole part counts back and the fraction still runs forward in the day.
void Split(TDateTime Value, qint64& Days, qint64& MSecOfDay)
{
    const qint64 Total = std::llround(Value * double(MSecsPerDay));
    Days = Total / MSecsPerDay;
    MSecOfDay = std::llabs(Total) % MSecsPerDay;
}

} // namespace

namespace DateTime {

TDateTime Now()
{
    return FromQDateTime(CurrentDateTime());
}

QDateTime CurrentDateTime()
{
    const auto& Source = Clock();
    return Source ? Source() : QDateTime::currentDateTime();
}

qint64 NowSecsSinceEpoch()
{
    const auto& Source = Clock();
    return Source ? Source().toSecsSinceEpoch() : QDateTime::currentSecsSinceEpoch();
}

void SetClockForTesting(std::function<QDateTime()> Source)
{
    Clock() = std::move(Source);
}

bool TryEncode(const TDateTimeFields& Fields, TDateTime& Out)
{
    if (Fields.Year < 1 || Fields.Year > 9999 || !QDate::isValid(Fields.Year, Fields.Month, Fields.Day))
        return false;
    if (Fields.Hour < 0 || Fields.Hour > 23 || Fields.Minute < 0 || Fields.Minute > 59 || Fields.Second < 0
        || Fields.Second > 59 || Fields.MSec < 0 || Fields.MSec > 999)
        return false;
    const qint64 Days = QDate(Fields.Year, Fields.Month, Fields.Day).toJulianDay() - JulianDayOfZero;
    const qint64 MSecs = ((qint64(Fields.Hour) * 60 + Fields.Minute) * 60 + Fields.Second) * 1000 + Fields.MSec;
    const double Time = double(MSecs) / double(MSecsPerDay);
    Out = Days < 0 ? double(Days) - Time : double(Days) + Time;
    return true;
}

TDateTimeFields Decode(TDateTime Value)
{
    // Far beyond the year 9999 nothing is left to decode; day 0 is the answer.
    if (!std::isfinite(Value) || std::fabs(Value) > 1e7)
        return {};
    qint64 Days = 0;
    qint64 MSecOfDay = 0;
    Split(Value, Days, MSecOfDay);
    const QDate Date = QDate::fromJulianDay(Days + JulianDayOfZero);
    TDateTimeFields Fields;
    Fields.Year = Date.year();
    Fields.Month = Date.month();
    Fields.Day = Date.day();
    Fields.Hour = int(MSecOfDay / 3600000);
    Fields.Minute = int(MSecOfDay / 60000 % 60);
    Fields.Second = int(MSecOfDay / 1000 % 60);
    Fields.MSec = int(MSecOfDay % 1000);
    return Fields;
}

TDateTime EncodeDate(int Year, int Month, int Day)
{
    TDateTimeFields Fields;
    Fields.Year = Year;
    Fields.Month = Month;
    Fields.Day = Day;
    TDateTime Result = 0;
    return TryEncode(Fields, Result) ? Result : 0;
}

TDateTime EncodeTime(int Hour, int Minute, int Second, int MSec)
{
    TDateTimeFields Fields;
    Fields.Hour = Hour;
    Fields.Minute = Minute;
    Fields.Second = Second;
    Fields.MSec = MSec;
    TDateTime Result = 0;
    return TryEncode(Fields, Result) ? Result : 0;
}

TDateTime IncMinute(TDateTime Value, int Minutes)
{
    return Value + Minutes / MinutesPerDay;
}

TDateTime FromQDateTime(const QDateTime& Value)
{
    if (!Value.isValid())
        return 0;
    const QDateTime Local = Value.timeSpec() == Qt::LocalTime ? Value : Value.toLocalTime();
    const QDate Date = Local.date();
    const QTime Time = Local.time();
    TDateTimeFields Fields;
    Fields.Year = Date.year();
    Fields.Month = Date.month();
    Fields.Day = Date.day();
    Fields.Hour = Time.hour();
    Fields.Minute = Time.minute();
    Fields.Second = Time.second();
    Fields.MSec = Time.msec();
    TDateTime Result = 0;
    return TryEncode(Fields, Result) ? Result : 0;
}

QDateTime ToQDateTime(TDateTime Value)
{
    const TDateTimeFields Fields = Decode(Value);
    return QDateTime(QDate(Fields.Year, Fields.Month, Fields.Day),
                     QTime(Fields.Hour, Fields.Minute, Fields.Second, Fields.MSec));
}

} // namespace DateTime
