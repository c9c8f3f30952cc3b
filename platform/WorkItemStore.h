#pragma once

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// The task service's store: one file "<name>.job" per work item in a folder of
// the user's own (default $XDG_DATA_HOME/lumidor/tasks, mode 0700). The client
// (scheduler/MsTask) creates, opens and deletes items here; the service runs
// them and records their runs through Update.
//
// File format, version 1, UTF-8 text, one "Key=Value" per line:
//   LumidorWorkItem 1            first line: magic and version
//   Application=...              texts escape "\" as "\\", LF as "\n", CR as "\r"
//   Parameters=...
//   WorkingDirectory=...
//   Comment=...
//   Author=...
//   Account=...                  only when an account was set
//   Flags=<decimal>
//   Priority=<decimal>
//   MaxRunTime=<decimal ms>
//   Status=<decimal HRESULT as unsigned>
//   ExitCode=<decimal>
//   MostRecentRun=<8 decimals: SYSTEMTIME fields, all 0 = has not run>
//   SkippedRun=<8 decimals, as MostRecentRun>   optional: the one run the
//                                user chose to skip
//   HandledRun=<8 decimals, as MostRecentRun>   optional: the latest run the
//                                service dealt with without running it
//                                (refused or missed)
//   Trigger=<20 decimals: the TTriggerData fields in declaration order, the
//            type part as its four 16-bit words>   (one line per trigger, in order)
//   End                          last line; a file without it is truncated
// Every key but Trigger at most once; unknown keys, bad numbers, a missing
// magic or end line make the file damaged: the item cannot be opened.
//
// Files are accepted only when they are regular files (never followed through a
// symbolic link) owned by the effective user and not writable by group or
// others, of at most MaxFileSize bytes.

// Same layout as the published TASK_TRIGGER (48 bytes, offsets as there).
struct TTriggerData
{
    uint16_t cbTriggerSize = 48;
    uint16_t Reserved1 = 0;
    uint16_t wBeginYear = 0;
    uint16_t wBeginMonth = 0;
    uint16_t wBeginDay = 0;
    uint16_t wEndYear = 0;
    uint16_t wEndMonth = 0;
    uint16_t wEndDay = 0;
    uint16_t wStartHour = 0;
    uint16_t wStartMinute = 0;
    uint32_t MinutesDuration = 0;
    uint32_t MinutesInterval = 0;
    uint32_t rgFlags = 0;
    uint32_t TriggerType = 0;
    // The type part (offset 36). Daily: [0] DaysInterval. Weekly: [0]
    // WeeksInterval, [1] rgfDaysOfTheWeek. Monthly by date: [0] | [1] << 16
    // rgfDays, [2] rgfMonths. Monthly by weekday: [0] wWhichWeek, [1]
    // rgfDaysOfTheWeek, [2] rgfMonths.
    uint16_t TypeWords[4] = {0, 0, 0, 0};
    uint16_t Reserved2 = 0;
    uint16_t wRandomMinutesInterval = 0;

    bool operator==(const TTriggerData&) const = default;
};
static_assert(sizeof(TTriggerData) == 48 && offsetof(TTriggerData, TriggerType) == 32);
static_assert(offsetof(TTriggerData, TypeWords) == 36 && offsetof(TTriggerData, wRandomMinutesInterval) == 46);

// Calendar fields in the SYSTEMTIME order; all 0 means "none".
struct TCalendarTime
{
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    bool operator==(const TCalendarTime&) const = default;
};
static_assert(sizeof(TCalendarTime) == 16);

namespace WorkItem {
// Work item flags (TASK_FLAG_*), as far as the store and the service use them.
constexpr uint32_t FlagDeleteWhenDone = 0x2;
constexpr uint32_t FlagDisabled = 0x4;
constexpr uint32_t FlagRunOnlyIfLoggedOn = 0x2000;
constexpr uint32_t FlagMask = 0x7fff;

// Trigger flags and types.
constexpr uint32_t TriggerHasEndDate = 0x1;
constexpr uint32_t TriggerKillAtDurationEnd = 0x2;
constexpr uint32_t TriggerDisabled = 0x4;
constexpr uint32_t TriggerOnce = 0;
constexpr uint32_t TriggerDaily = 1;
constexpr uint32_t TriggerWeekly = 2;
constexpr uint32_t TriggerMonthlyDate = 3;
constexpr uint32_t TriggerMonthlyDow = 4;
constexpr uint32_t TriggerOnIdle = 5;
constexpr uint32_t TriggerAtSystemStart = 6;
constexpr uint32_t TriggerAtLogon = 7;

// Status codes (SCHED_S_*) kept in TWorkItem::Status.
constexpr uint32_t StatusReady = 0x00041300;
constexpr uint32_t StatusRunning = 0x00041301;
constexpr uint32_t StatusHasNotRun = 0x00041303;
constexpr uint32_t StatusNoMoreRuns = 0x00041304;
constexpr uint32_t StatusNotScheduled = 0x00041305;
constexpr uint32_t StatusTerminated = 0x00041306;

constexpr uint32_t DefaultPriority = 0x20; // normal priority class
constexpr uint32_t DefaultMaxRunTime = 259200000; // three days in ms
} // namespace WorkItem

// Every value of one work item.
struct TWorkItem
{
    QString Application;
    QString Parameters;
    QString WorkingDirectory;
    QString Comment;
    QString Author;
    bool HasAccount = false;
    QString Account;
    uint32_t Flags = 0;
    uint32_t Priority = WorkItem::DefaultPriority;
    uint32_t MaxRunTime = WorkItem::DefaultMaxRunTime;
    uint32_t Status = WorkItem::StatusNotScheduled;
    uint32_t ExitCode = 0;
    TCalendarTime MostRecentRun;
    // Local time of the one run the user skipped; all 0 = none.
    TCalendarTime SkippedRun;
    // Local time of the latest run the service refused or found missed; all
    // 0 = none. With MostRecentRun it says how far the service has got, so
    // that no run is reported twice across its restarts.
    TCalendarTime HandledRun;
    std::vector<TTriggerData> Triggers;

    bool operator==(const TWorkItem&) const = default;
};

enum class TStoreResult
{
    Ok,
    NotFound,     // no such item
    Exists,       // an item of that name exists (on create)
    InvalidName,  // empty, a dot other than a trailing ".job", a "/", too long
    Damaged,      // the file is not ours, truncated, or unreadable as an item
    AccessDenied, // symbolic link, other owner, writable by others; or the folder is
    IoError       // the system refused a read or write
};

// What UpdateOrRemove does with the item after the change has seen it.
enum class TItemChange { Keep, Write, Remove };

namespace WorkItemStore {

constexpr qint64 MaxFileSize = 1024 * 1024;

// The store's folder: the one set for tests, else $LUMIDOR_TASK_STORE, else
// $XDG_DATA_HOME/lumidor/tasks (default ~/.local/share/lumidor/tasks).
QString Folder();
// Tests point the store elsewhere; an empty text restores the default.
void SetFolderForTesting(const QString& Folder);

// Creates the folder (mode 0700) when missing; false when it is not a real
// folder of the effective user or cannot be made.
bool EnsureFolder();

// The bare item name for "name" or "name.job" (".job" in any letter case);
// empty when the name is not valid.
QString ItemName(const QString& Name);
// Whether a file name ends in ".job", in any letter case.
bool HasJobExtension(const QString& FileName);
// The full path of an item's file (valid names only).
QString FilePath(const QString& Name);

// Names of the items, with ".job", in file-name order. Symbolic links and
// files of other users are left out; damaged files are listed (they fail to load).
QStringList List();

// Item lookup ignores the case of the letters A to Z, as item names do.
TStoreResult Load(const QString& Name, TWorkItem& Item);
// Writes a new item; never replaces one that exists, even if it appeared
// since the caller last looked.
TStoreResult Create(const QString& Name, const TWorkItem& Item);
// Rewrites an existing item atomically; NotFound when it is gone.
TStoreResult Replace(const QString& Name, const TWorkItem& Item);
// Read-modify-write under the store lock: Change gets the current item and
// returns false to leave it as it is.
TStoreResult Update(const QString& Name, const std::function<bool(TWorkItem&)>& Change);
TStoreResult Remove(const QString& Name);
// As Update, and the change may also delete the item, all under one hold of
// the store lock: a decision taken on the item as it is, never on a copy.
TStoreResult UpdateOrRemove(const QString& Name, const std::function<TItemChange(TWorkItem&)>& Change);

// Removes the temporary files (".tmp-" and six letters or digits) that
// writers killed during a change left in the store; returns how many. The
// first change in a process does so as well.
int RemoveStaleTemporaries();

// The lock file held (flock, exclusive, briefly) around every change. The
// service keeps its own lock elsewhere; this one is never held for long.
QString LockFilePath();

// The text form of an item and its parser (exposed for the service and tests).
QByteArray Serialize(const TWorkItem& Item);
bool Parse(const QByteArray& Content, TWorkItem& Item);

} // namespace WorkItemStore
