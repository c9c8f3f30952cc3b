#pragma once

#include "platform/WorkItemStore.h"

#include <cstdint>

// Triggers as the tests build them.
namespace TestTriggers {

// Of Type, beginning on the day at the time of day; its first type word 1
// (every day, every week).
inline TTriggerData On(uint32_t Type, int Year, int Month, int Day, int Hour, int Minute)
{
    TTriggerData T;
    T.wBeginYear = uint16_t(Year);
    T.wBeginMonth = uint16_t(Month);
    T.wBeginDay = uint16_t(Day);
    T.wStartHour = uint16_t(Hour);
    T.wStartMinute = uint16_t(Minute);
    T.TriggerType = Type;
    T.TypeWords[0] = 1;
    return T;
}

// As the scheduler client writes one: the end date of a day count 0
// (1899-12-30), not heeded, and ended with its duration.
inline TTriggerData AsClientWrites(uint32_t Type, int Year, int Month, int Day, int Hour, int Minute)
{
    TTriggerData T = On(Type, Year, Month, Day, Hour, Minute);
    T.wEndYear = 1899;
    T.wEndMonth = 12;
    T.wEndDay = 30;
    T.rgFlags = WorkItem::TriggerKillAtDurationEnd;
    return T;
}

} // namespace TestTriggers
