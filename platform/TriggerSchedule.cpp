#include "platform/TriggerSchedule.h"

#include <QDate>
#include <QStringList>

#include <atomic>
#include <ctime>
#include <time.h>

namespace {

constexpr qint64 UnixEpochJulianDay = 2440588;
constexpr qint64 SecondsPerDay = 86400;
// Beyond this every trigger has long stopped; it also bounds every search.
constexpr int LastYear = 30827;
// Monthly patterns repeat within the 8 years that can separate two 29ths of February.
constexpr int MonthlyYearsAhead = 9;

const char* const DayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const MonthNames[] = {"January", "February", "March", "April", "May", "June", "July", "August",
    "September", "October", "November", "December"};
const char* const WeekNames[] = {"first", "second", "third", "fourth", "last"};

// Picks up a changed time zone. glibc's tzset() looks at the zone file on
// every call; once a second is soon enough and keeps long job lists quick.
void RefreshZone()
{
    static std::atomic<qint64> Last{-1};
    struct timespec Now;
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &Now);
    const qint64 Second = qint64(Now.tv_sec);
    if (Last.exchange(Second, std::memory_order_relaxed) != Second)
        tzset();
}

long OffsetAt(qint64 Moment)
{
    const time_t Value = time_t(Moment);
    struct tm Fields;
    if (!localtime_r(&Value, &Fields))
        return 0;
    return Fields.tm_gmtoff;
}

QDate BeginDate(const TTriggerData& T)
{
    return QDate(T.wBeginYear, T.wBeginMonth, T.wBeginDay);
}

QDate LocalDate(qint64 Moment)
{
    const TCalendarTime Fields = TriggerSchedule::LocalFields(Moment);
    return QDate(Fields.wYear, Fields.wMonth, Fields.wDay);
}

bool MonthlyDateMatches(const TTriggerData& T, const QDate& Day)
{
    const uint32_t Days = uint32_t(T.TypeWords[0]) | (uint32_t(T.TypeWords[1]) << 16);
    if (!(T.TypeWords[2] & (1u << (Day.month() - 1))))
        return false;
    // Bit 31 stands for the last day of the month.
    return (Day.day() <= 31 && (Days & (1u << (Day.day() - 1)))) || ((Days & 0x80000000u) && Day.day() == Day.daysInMonth());
}

bool MonthlyDowMatches(const TTriggerData& T, const QDate& Day)
{
    if (!(T.TypeWords[2] & (1u << (Day.month() - 1))) || !(T.TypeWords[1] & (1u << (Day.dayOfWeek() % 7))))
        return false;
    const int Which = T.TypeWords[0];
    if (Which == 5)
        return Day.day() + 7 > Day.daysInMonth();
    return (Day.day() - 1) / 7 + 1 == Which;
}

// The first run at or after From on Day or later, trying days in order.
// Matches gives nothing for a run day, else the next day worth trying (always
// a later one), so that intervals of days, weeks and months are jumped over.
template <typename TMatch>
std::optional<qint64> Scan(const TTriggerData& T, QDate Day, const QDate& Last, qint64 From, TMatch Matches)
{
    const bool Repeats = T.MinutesInterval > 0 && T.MinutesDuration > T.MinutesInterval;
    // A repetition of an earlier day may still be running when a later day
    // starts, so the search ends at the first start at or after From.
    std::optional<qint64> Best;
    while (Day.isValid() && Day <= Last) {
        const std::optional<QDate> Next = Matches(Day);
        if (Next) {
            Day = *Next;
            continue;
        }
        const std::optional<qint64> Start
            = TriggerSchedule::LocalMoment(Day.year(), Day.month(), Day.day(), T.wStartHour, T.wStartMinute);
        if (Start && *Start >= From)
            return Best && *Best < *Start ? Best : Start;
        if (Start && Repeats) {
            const qint64 Interval = qint64(T.MinutesInterval) * 60;
            const qint64 End = *Start + qint64(T.MinutesDuration) * 60;
            const qint64 Run = *Start + ((From - *Start + Interval - 1) / Interval) * Interval;
            if (Run < End && (!Best || Run < *Best))
                Best = Run;
        }
        Day = Day.addDays(1);
    }
    return Best;
}

} // namespace

namespace TriggerSchedule {

TCalendarTime LocalFields(qint64 Moment)
{
    RefreshZone();
    const time_t Value = time_t(Moment);
    struct tm F;
    if (!localtime_r(&Value, &F))
        return {};
    return {uint16_t(F.tm_year + 1900), uint16_t(F.tm_mon + 1), uint16_t(F.tm_wday), uint16_t(F.tm_mday),
        uint16_t(F.tm_hour), uint16_t(F.tm_min), uint16_t(F.tm_sec), 0};
}

std::optional<qint64> LocalMoment(int Year, int Month, int Day, int Hour, int Minute, int Second)
{
    if (!QDate::isValid(Year, Month, Day) || Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0
        || Second > 59)
        return std::nullopt;
    RefreshZone();
    // The wall-clock fields read as if they were UTC; every moment that shows
    // them locally is Wall minus the offset in force at that moment.
    const qint64 Wall = (QDate(Year, Month, Day).toJulianDay() - UnixEpochJulianDay) * SecondsPerDay
        + qint64(Hour) * 3600 + qint64(Minute) * 60 + Second;
    const long Offsets[] = {OffsetAt(Wall - 2 * SecondsPerDay), OffsetAt(Wall), OffsetAt(Wall + 2 * SecondsPerDay)};
    std::optional<qint64> First;
    long Smallest = Offsets[0];
    long Largest = Offsets[0];
    for (const long Offset : Offsets) {
        Smallest = std::min(Smallest, Offset);
        Largest = std::max(Largest, Offset);
        const qint64 Candidate = Wall - Offset;
        if (OffsetAt(Candidate) == Offset && (!First || Candidate < *First))
            First = Candidate;
    }
    if (First)
        return First;
    // Skipped by a change: the first moment whose wall clock is past the
    // fields, which is the moment of the change.
    qint64 Low = Wall - Largest;
    qint64 High = Wall - Smallest;
    if (Low >= High)
        return std::nullopt;
    while (Low + 1 < High) {
        const qint64 Middle = Low + (High - Low) / 2;
        if (Middle + OffsetAt(Middle) > Wall)
            High = Middle;
        else
            Low = Middle;
    }
    return High;
}

bool IsEventTrigger(const TTriggerData& Trigger)
{
    return Trigger.TriggerType == WorkItem::TriggerOnIdle || Trigger.TriggerType == WorkItem::TriggerAtSystemStart
        || Trigger.TriggerType == WorkItem::TriggerAtLogon;
}

bool IsValid(const TTriggerData& T)
{
    if (T.cbTriggerSize != sizeof(TTriggerData) || T.TriggerType > WorkItem::TriggerAtLogon)
        return false;
    if (!QDate::isValid(T.wBeginYear, T.wBeginMonth, T.wBeginDay) || T.wBeginYear < 1601 || T.wBeginYear > LastYear)
        return false;
    if ((T.rgFlags & WorkItem::TriggerHasEndDate) && !QDate::isValid(T.wEndYear, T.wEndMonth, T.wEndDay))
        return false;
    if (T.wStartHour >= 24 || T.wStartMinute >= 60)
        return false;
    return T.MinutesInterval == 0 || T.MinutesDuration > T.MinutesInterval;
}

std::optional<qint64> NextRun(const TTriggerData& T, qint64 From)
{
    if ((T.rgFlags & WorkItem::TriggerDisabled) || T.TriggerType > WorkItem::TriggerMonthlyDow)
        return std::nullopt;
    const QDate Begin = BeginDate(T);
    if (!Begin.isValid() || T.wStartHour >= 24 || T.wStartMinute >= 60)
        return std::nullopt;
    QDate Last(LastYear, 12, 31);
    if (T.rgFlags & WorkItem::TriggerHasEndDate) {
        const QDate End(T.wEndYear, T.wEndMonth, T.wEndDay);
        if (!End.isValid())
            return std::nullopt;
        Last = std::min(Last, End);
    }
    const bool Repeats = T.MinutesInterval > 0 && T.MinutesDuration > T.MinutesInterval;
    // Runs of an earlier day may still repeat into From's day.
    const qint64 Reach = Repeats ? qint64(T.MinutesDuration) / 1440 + 2 : 2;
    const QDate Start = std::max(Begin, LocalDate(From).addDays(-Reach));
    const auto Never = [](const QDate&) { return std::optional<QDate>(); };

    switch (T.TriggerType) {
    case WorkItem::TriggerOnce:
        return Scan(T, Begin, std::min(Begin, Last), From, Never);
    case WorkItem::TriggerDaily: {
        const qint64 Every = std::max<qint64>(1, T.TypeWords[0]);
        return Scan(T, Start, Last, From, [&](const QDate& Day) -> std::optional<QDate> {
            const qint64 Off = Begin.daysTo(Day) % Every;
            if (Off == 0)
                return std::nullopt;
            return Day.addDays(Every - Off);
        });
    }
    case WorkItem::TriggerWeekly: {
        const qint64 Every = std::max<qint64>(1, T.TypeWords[0]);
        const uint16_t Days = T.TypeWords[1] & 0x7f;
        if (!Days)
            return std::nullopt;
        // Weeks run from Sunday; the begin date's week is the first.
        const QDate Anchor = Begin.addDays(-(Begin.dayOfWeek() % 7));
        return Scan(T, Start, Last, From, [&](const QDate& Day) -> std::optional<QDate> {
            const qint64 Week = Anchor.daysTo(Day) / 7;
            if (Week % Every != 0)
                return Anchor.addDays((Week + Every - Week % Every) * 7);
            if (Days & (1u << (Day.dayOfWeek() % 7)))
                return std::nullopt;
            return Day.addDays(1);
        });
    }
    case WorkItem::TriggerMonthlyDate:
    case WorkItem::TriggerMonthlyDow: {
        const bool ByDate = T.TriggerType == WorkItem::TriggerMonthlyDate;
        if (!(T.TypeWords[2] & 0xfff) || (ByDate && !T.TypeWords[0] && !T.TypeWords[1])
            || (!ByDate && (!(T.TypeWords[1] & 0x7f) || T.TypeWords[0] < 1 || T.TypeWords[0] > 5)))
            return std::nullopt;
        const QDate Horizon(Start.year() + MonthlyYearsAhead, 12, 31);
        return Scan(T, Start, std::min(Last, Horizon), From, [&](const QDate& Day) -> std::optional<QDate> {
            if (!(T.TypeWords[2] & (1u << (Day.month() - 1))))
                return QDate(Day.year(), Day.month(), 1).addMonths(1);
            if (ByDate ? MonthlyDateMatches(T, Day) : MonthlyDowMatches(T, Day))
                return std::nullopt;
            return Day.addDays(1);
        });
    }
    }
    return std::nullopt;
}

std::optional<qint64> NextRun(const TWorkItem& Item, qint64 From)
{
    if (Item.Flags & WorkItem::FlagDisabled)
        return std::nullopt;
    std::optional<qint64> Earliest;
    for (const TTriggerData& Trigger : Item.Triggers) {
        const std::optional<qint64> Run = NextRun(Trigger, From);
        if (Run && (!Earliest || *Run < *Earliest))
            Earliest = Run;
    }
    return Earliest;
}

QString Describe(const TTriggerData& T)
{
    switch (T.TriggerType) {
    case WorkItem::TriggerOnIdle:
        return QStringLiteral("When the computer is idle");
    case WorkItem::TriggerAtSystemStart:
        return QStringLiteral("At system startup");
    case WorkItem::TriggerAtLogon:
        return QStringLiteral("At logon");
    default:
        break;
    }
    if (T.TriggerType > WorkItem::TriggerMonthlyDow)
        return QStringLiteral("Trigger not set");

    const auto Date = [](int Year, int Month, int Day) { return QStringLiteral("%1/%2/%3").arg(Month).arg(Day).arg(Year); };
    const auto DayList = [](uint32_t Bits) {
        QStringList Names;
        for (int I = 0; I < 7; ++I)
            if (Bits & (1u << I))
                Names += QLatin1String(DayNames[I]);
        return Names.isEmpty() ? QStringLiteral("no day") : Names.join(QLatin1String(", "));
    };
    const auto MonthList = [](uint32_t Bits) {
        if ((Bits & 0xfff) == 0xfff)
            return QStringLiteral("every month");
        QStringList Names;
        for (int I = 0; I < 12; ++I)
            if (Bits & (1u << I))
                Names += QLatin1String(MonthNames[I]);
        return Names.isEmpty() ? QStringLiteral("no month") : Names.join(QLatin1String(", "));
    };

    QString Text = QStringLiteral("At %1:%2 ").arg(T.wStartHour).arg(T.wStartMinute, 2, 10, QLatin1Char('0'));
    const QString Starting = Date(T.wBeginYear, T.wBeginMonth, T.wBeginDay);
    const uint32_t Interval = std::max<uint32_t>(1, T.TypeWords[0]);
    switch (T.TriggerType) {
    case WorkItem::TriggerOnce:
        Text += QStringLiteral("on %1").arg(Starting);
        break;
    case WorkItem::TriggerDaily:
        Text += Interval == 1 ? QStringLiteral("every day") : QStringLiteral("every %1 days").arg(Interval);
        Text += QStringLiteral(", starting %1").arg(Starting);
        break;
    case WorkItem::TriggerWeekly:
        Text += QStringLiteral("every %1 of ").arg(DayList(T.TypeWords[1]));
        Text += Interval == 1 ? QStringLiteral("every week") : QStringLiteral("every %1 weeks").arg(Interval);
        Text += QStringLiteral(", starting %1").arg(Starting);
        break;
    case WorkItem::TriggerMonthlyDate: {
        const uint32_t Days = uint32_t(T.TypeWords[0]) | (uint32_t(T.TypeWords[1]) << 16);
        QStringList Numbers;
        for (int I = 0; I < 31; ++I)
            if (Days & (1u << I))
                Numbers += QString::number(I + 1);
        if (Days & 0x80000000u)
            Numbers += QStringLiteral("last");
        Text += QStringLiteral("on day %1 of %2, starting %3")
                    .arg(Numbers.isEmpty() ? QStringLiteral("none") : Numbers.join(QLatin1String(", ")),
                        MonthList(T.TypeWords[2]), Starting);
        break;
    }
    case WorkItem::TriggerMonthlyDow: {
        const int Which = T.TypeWords[0];
        Text += QStringLiteral("on the %1 %2 of %3, starting %4")
                    .arg(Which >= 1 && Which <= 5 ? QLatin1String(WeekNames[Which - 1]) : QLatin1String("unknown"),
                        DayList(T.TypeWords[1]), MonthList(T.TypeWords[2]), Starting);
        break;
    }
    }
    if (T.MinutesInterval > 0)
        Text += QStringLiteral(", repeating every %1 minutes for %2 minutes").arg(T.MinutesInterval).arg(T.MinutesDuration);
    if (T.rgFlags & WorkItem::TriggerHasEndDate)
        Text += QStringLiteral(", ending %1").arg(Date(T.wEndYear, T.wEndMonth, T.wEndDay));
    if (T.rgFlags & WorkItem::TriggerDisabled)
        Text += QStringLiteral(" (disabled)");
    return Text;
}

} // namespace TriggerSchedule
