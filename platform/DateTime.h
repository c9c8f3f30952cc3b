#pragma once

#include <QDateTime>
#include <functional>

// A local wall-clock moment: days since 1899-12-30 00:00, the fraction being
// the time of day. Adding n minutes adds n / 1440.
using TDateTime = double;

struct TDateTimeFields
{
    int Year = 1899;
    int Month = 12;
    int Day = 30;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int MSec = 0;
};

namespace DateTime {

constexpr double MinutesPerDay = 1440.0;

// The local clock to the millisecond, through the clock seam.
TDateTime Now();

// The same moment as an instant, through the clock seam.
QDateTime CurrentDateTime();

// The same moment as whole seconds since 1970 UTC, without a trip through
// local time.
qint64 NowSecsSinceEpoch();

// Tests set "now"; an empty function restores the real clock.
void SetClockForTesting(std::function<QDateTime()> Clock);

// False (and Out untouched) when the fields name no real date or time.
bool TryEncode(const TDateTimeFields& Fields, TDateTime& Out);
TDateTimeFields Decode(TDateTime Value);

// Day 0 (midnight of 1899-12-30) when the fields name no real date or time.
TDateTime EncodeDate(int Year, int Month, int Day);
TDateTime EncodeTime(int Hour, int Minute, int Second = 0, int MSec = 0);

TDateTime IncMinute(TDateTime Value, int Minutes);

TDateTime FromQDateTime(const QDateTime& Value);
QDateTime ToQDateTime(TDateTime Value);

} // namespace DateTime
