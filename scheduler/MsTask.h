#pragma once

#include <cstddef>
#include <cstdint>

// The Task Scheduler 1.0 interfaces that the scheduler client calls, with the
// published names, identifiers, records and result codes. On Linux the objects
// behind them are our own, over the task service's store
// (platform/WorkItemStore); the COM runtime is the few calls below, with
// reference counting and nothing else.

using HRESULT = int32_t;
using ULONG = uint32_t;
using DWORD = uint32_t;
using WORD = uint16_t;
using BOOL = int;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    bool operator==(const GUID&) const = default;
};
using CLSID = GUID;
using IID = GUID;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

constexpr bool SUCCEEDED(HRESULT Result) { return Result >= 0; }
constexpr bool FAILED(HRESULT Result) { return Result < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = HRESULT(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = HRESULT(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);
constexpr HRESULT CO_E_NOTINITIALIZED = HRESULT(0x800401F0u);
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) and (ERROR_FILE_EXISTS).
constexpr HRESULT HRESULT_FILE_NOT_FOUND = HRESULT(0x80070002u);
constexpr HRESULT HRESULT_FILE_EXISTS = HRESULT(0x80070050u);

constexpr HRESULT SCHED_S_TASK_READY = 0x00041300;
constexpr HRESULT SCHED_S_TASK_RUNNING = 0x00041301;
constexpr HRESULT SCHED_S_TASK_DISABLED = 0x00041302;
constexpr HRESULT SCHED_S_TASK_HAS_NOT_RUN = 0x00041303;
constexpr HRESULT SCHED_S_TASK_NO_MORE_RUNS = 0x00041304;
constexpr HRESULT SCHED_S_TASK_NOT_SCHEDULED = 0x00041305;
constexpr HRESULT SCHED_S_TASK_TERMINATED = 0x00041306;
constexpr HRESULT SCHED_S_TASK_NO_VALID_TRIGGERS = 0x00041307;
constexpr HRESULT SCHED_S_EVENT_TRIGGER = 0x00041308;
constexpr HRESULT SCHED_E_TRIGGER_NOT_FOUND = HRESULT(0x80041309u);
constexpr HRESULT SCHED_E_TASK_NOT_READY = HRESULT(0x8004130Au);
constexpr HRESULT SCHED_E_TASK_NOT_RUNNING = HRESULT(0x8004130Bu);
constexpr HRESULT SCHED_E_INVALID_TASK = HRESULT(0x8004130Eu);
constexpr HRESULT SCHED_E_UNKNOWN_OBJECT_VERSION = HRESULT(0x80041313u);
constexpr HRESULT SCHED_E_UNSUPPORTED_ACCOUNT_OPTION = HRESULT(0x80041314u);

constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

// Work item flags.
constexpr DWORD TASK_FLAG_INTERACTIVE = 0x1;
constexpr DWORD TASK_FLAG_DELETE_WHEN_DONE = 0x2;
constexpr DWORD TASK_FLAG_DISABLED = 0x4;
constexpr DWORD TASK_FLAG_START_ONLY_IF_IDLE = 0x10;
constexpr DWORD TASK_FLAG_KILL_ON_IDLE_END = 0x20;
constexpr DWORD TASK_FLAG_DONT_START_IF_ON_BATTERIES = 0x40;
constexpr DWORD TASK_FLAG_KILL_IF_GOING_ON_BATTERIES = 0x80;
constexpr DWORD TASK_FLAG_RUN_ONLY_IF_DOCKED = 0x100;
constexpr DWORD TASK_FLAG_HIDDEN = 0x200;
constexpr DWORD TASK_FLAG_RUN_IF_CONNECTED_TO_INTERNET = 0x400;
constexpr DWORD TASK_FLAG_RESTART_ON_IDLE_RESUME = 0x800;
constexpr DWORD TASK_FLAG_SYSTEM_REQUIRED = 0x1000;
constexpr DWORD TASK_FLAG_RUN_ONLY_IF_LOGGED_ON = 0x2000;

// Trigger flags, types and day and month bits.
constexpr DWORD TASK_TRIGGER_FLAG_HAS_END_DATE = 0x1;
constexpr DWORD TASK_TRIGGER_FLAG_KILL_AT_DURATION_END = 0x2;
constexpr DWORD TASK_TRIGGER_FLAG_DISABLED = 0x4;

enum TASK_TRIGGER_TYPE : uint32_t
{
    TASK_TIME_TRIGGER_ONCE = 0,
    TASK_TIME_TRIGGER_DAILY = 1,
    TASK_TIME_TRIGGER_WEEKLY = 2,
    TASK_TIME_TRIGGER_MONTHLYDATE = 3,
    TASK_TIME_TRIGGER_MONTHLYDOW = 4,
    TASK_EVENT_TRIGGER_ON_IDLE = 5,
    TASK_EVENT_TRIGGER_AT_SYSTEMSTART = 6,
    TASK_EVENT_TRIGGER_AT_LOGON = 7
};

constexpr WORD TASK_SUNDAY = 0x1;
constexpr WORD TASK_MONDAY = 0x2;
constexpr WORD TASK_TUESDAY = 0x4;
constexpr WORD TASK_WEDNESDAY = 0x8;
constexpr WORD TASK_THURSDAY = 0x10;
constexpr WORD TASK_FRIDAY = 0x20;
constexpr WORD TASK_SATURDAY = 0x40;

struct DAILY
{
    WORD DaysInterval;
};

struct WEEKLY
{
    WORD WeeksInterval;
    WORD rgfDaysOfTheWeek;
};

struct MONTHLYDATE
{
    DWORD rgfDays;
    WORD rgfMonths;
};

struct MONTHLYDOW
{
    WORD wWhichWeek;
    WORD rgfDaysOfTheWeek;
    WORD rgfMonths;
};

union TRIGGER_TYPE_UNION
{
    DAILY Daily;
    WEEKLY Weekly;
    MONTHLYDATE MonthlyDate;
    MONTHLYDOW MonthlyDOW;
};

struct TASK_TRIGGER
{
    WORD cbTriggerSize;
    WORD Reserved1;
    WORD wBeginYear;
    WORD wBeginMonth;
    WORD wBeginDay;
    WORD wEndYear;
    WORD wEndMonth;
    WORD wEndDay;
    WORD wStartHour;
    WORD wStartMinute;
    DWORD MinutesDuration;
    DWORD MinutesInterval;
    DWORD rgFlags;
    TASK_TRIGGER_TYPE TriggerType;
    TRIGGER_TYPE_UNION Type;
    WORD Reserved2;
    WORD wRandomMinutesInterval;
};

static_assert(sizeof(TASK_TRIGGER) == 48);
static_assert(offsetof(TASK_TRIGGER, wBeginYear) == 4);
static_assert(offsetof(TASK_TRIGGER, wEndYear) == 10);
static_assert(offsetof(TASK_TRIGGER, wStartHour) == 16);
static_assert(offsetof(TASK_TRIGGER, MinutesDuration) == 20);
static_assert(offsetof(TASK_TRIGGER, MinutesInterval) == 24);
static_assert(offsetof(TASK_TRIGGER, rgFlags) == 28);
static_assert(offsetof(TASK_TRIGGER, TriggerType) == 32);
static_assert(offsetof(TASK_TRIGGER, Type) == 36);
static_assert(offsetof(TASK_TRIGGER, Reserved2) == 44);
static_assert(offsetof(TASK_TRIGGER, wRandomMinutesInterval) == 46);
static_assert(offsetof(WEEKLY, rgfDaysOfTheWeek) == 2);
static_assert(offsetof(MONTHLYDATE, rgfMonths) == 4);
static_assert(offsetof(MONTHLYDOW, rgfDaysOfTheWeek) == 2);
static_assert(offsetof(MONTHLYDOW, rgfMonths) == 4);

struct SYSTEMTIME
{
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
static_assert(sizeof(SYSTEMTIME) == 16);

// {148BD52A-A2AB-11CE-B11F-00AA00530503}
constexpr CLSID CLSID_CTaskScheduler = {0x148BD52A, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
// {148BD527-A2AB-11CE-B11F-00AA00530503}
constexpr IID IID_ITaskScheduler = {0x148BD527, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
// {148BD520-A2AB-11CE-B11F-00AA00530503}
constexpr CLSID CLSID_CTask = {0x148BD520, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
// {A6B952F0-A4B1-11D0-997D-00AA006887EC}
constexpr IID IID_IScheduledWorkItem = {0xA6B952F0, 0xA4B1, 0x11D0, {0x99, 0x7D, 0x00, 0xAA, 0x00, 0x68, 0x87, 0xEC}};
// {148BD524-A2AB-11CE-B11F-00AA00530503}
constexpr IID IID_ITask = {0x148BD524, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};
// {0000010B-0000-0000-C000-000000000046}
constexpr IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000000-0000-0000-C000-000000000046}
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {148BD52B-A2AB-11CE-B11F-00AA00530503}
constexpr IID IID_ITaskTrigger = {0x148BD52B, 0xA2AB, 0x11CE, {0xB1, 0x1F, 0x00, 0xAA, 0x00, 0x53, 0x05, 0x03}};

// Objects live as long as someone holds a reference; Release of the last one
// frees the object. Texts handed out are CoTaskMemAlloc'ed; the caller frees them.
class IUnknown
{
public:
    virtual HRESULT QueryInterface(REFIID Iid, void** Object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

class ITaskTrigger : public IUnknown
{
public:
    virtual HRESULT SetTrigger(const TASK_TRIGGER* Trigger) = 0;
    virtual HRESULT GetTrigger(TASK_TRIGGER* Trigger) = 0;
    virtual HRESULT GetTriggerString(LPWSTR* Text) = 0;
};

class IScheduledWorkItem : public IUnknown
{
public:
    virtual HRESULT CreateTrigger(WORD* NewTrigger, ITaskTrigger** Trigger) = 0;
    virtual HRESULT GetTriggerCount(WORD* Count) = 0;
    virtual HRESULT GetTrigger(WORD Index, ITaskTrigger** Trigger) = 0;
    virtual HRESULT GetTriggerString(WORD Index, LPWSTR* Text) = 0;
    virtual HRESULT GetNextRunTime(SYSTEMTIME* Time) = 0;
    virtual HRESULT SetComment(LPCWSTR Comment) = 0;
    virtual HRESULT GetComment(LPWSTR* Comment) = 0;
    virtual HRESULT SetFlags(DWORD Flags) = 0;
    virtual HRESULT GetFlags(DWORD* Flags) = 0;
    virtual HRESULT SetAccountInformation(LPCWSTR AccountName, LPCWSTR Password) = 0;
    virtual HRESULT GetAccountInformation(LPWSTR* AccountName) = 0;
};

class ITask : public IScheduledWorkItem
{
public:
    virtual HRESULT SetApplicationName(LPCWSTR ApplicationName) = 0;
    virtual HRESULT GetApplicationName(LPWSTR* ApplicationName) = 0;
    virtual HRESULT SetParameters(LPCWSTR Parameters) = 0;
    virtual HRESULT GetParameters(LPWSTR* Parameters) = 0;
    virtual HRESULT GetWorkingDirectory(LPWSTR* WorkingDirectory) = 0;
    virtual HRESULT GetPriority(DWORD* Priority) = 0;
    virtual HRESULT GetMaxRunTime(DWORD* MaxRunTimeMS) = 0;
};

class IPersistFile : public IUnknown
{
public:
    virtual HRESULT Load(LPCWSTR FileName, DWORD Mode) = 0;
    virtual HRESULT Save(LPCWSTR FileName, BOOL Remember) = 0;
};

class ITaskScheduler : public IUnknown
{
public:
    virtual HRESULT Activate(LPCWSTR Name, REFIID Iid, IUnknown** Object) = 0;
    virtual HRESULT Delete(LPCWSTR Name) = 0;
    virtual HRESULT NewWorkItem(LPCWSTR Name, REFCLSID ClassId, REFIID Iid, IUnknown** Object) = 0;
};

// The COM runtime, per thread: initialisation is counted, and objects can be
// created only between CoInitializeEx and the matching CoUninitialize.
HRESULT CoInitializeEx(void* Reserved, DWORD CoInit);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID ClassId, IUnknown* Outer, DWORD Context, REFIID Iid, void** Object);
void* CoTaskMemAlloc(size_t Size);
void CoTaskMemFree(void* Memory);
