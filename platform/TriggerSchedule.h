#pragma once

#include "platform/WorkItemStore.h"

#include <QString>
#include <optional>

// When triggers run, in local wall-clock time. Moments are seconds since the
// Unix epoch, so that a change of the clock or the time zone between two
// calls needs nothing more than calling again. The local time zone is the
// process's (TZ, then /etc/localtime), read afresh on every call.
//
// Rules: a trigger time that a daylight-saving change skips runs at the first
// moment after the gap; a time that occurs twice runs once, at its first
// occurrence. Event triggers (idle, system start, logon) and disabled ones
// never run by time. An end date counts only with TriggerHasEndDate. A
// repetition (MinutesInterval within MinutesDuration) adds runs after each
// start. An interval of 0 days or weeks counts as 1.
namespace TriggerSchedule {

// The first run of Trigger at or after From; none when it runs no more.
std::optional<qint64> NextRun(const TTriggerData& Trigger, qint64 From);

// The earliest run at or after From of all enabled triggers of an item
// that is not disabled.
std::optional<qint64> NextRun(const TWorkItem& Item, qint64 From);

// True for idle, system-start and logon triggers.
bool IsEventTrigger(const TTriggerData& Trigger);

// The checks of SetTrigger: size 48, a real begin date (and end date with
// TriggerHasEndDate), hour below 24, minute below 60, a duration longer than
// a non-zero interval.
bool IsValid(const TTriggerData& Trigger);

// A short English sentence, such as "At 13:05 every day, starting 7/4/2014".
QString Describe(const TTriggerData& Trigger);

// Local calendar fields of a moment (day of week 0 = Sunday), and back. The
// way back follows the rules above for skipped and repeated times; none when
// the fields name no real date and time.
TCalendarTime LocalFields(qint64 Moment);
std::optional<qint64> LocalMoment(int Year, int Month, int Day, int Hour, int Minute, int Second = 0);

} // namespace TriggerSchedule
