#include "scheduler/MsTask.h"

#include "platform/DateTime.h"
#include "platform/ProcessList.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"

#include <QString>
#include <QStringList>

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <unistd.h>

namespace {

thread_local int InitCount = 0;

QString FromWide(LPCWSTR Text)
{
    return QString::fromUtf16(Text);
}

HRESULT ToWide(const QString& Text, LPWSTR* Out)
{
    if (!Out)
        return E_INVALIDARG;
    auto* Copy = static_cast<LPWSTR>(CoTaskMemAlloc(size_t(Text.size() + 1) * sizeof(WCHAR)));
    if (!Copy)
        return E_OUTOFMEMORY;
    std::memcpy(Copy, Text.utf16(), size_t(Text.size()) * sizeof(WCHAR));
    Copy[Text.size()] = 0;
    *Out = Copy;
    return S_OK;
}

HRESULT FromStoreResult(TStoreResult Result)
{
    switch (Result) {
    case TStoreResult::Ok: return S_OK;
    case TStoreResult::NotFound: return HRESULT_FILE_NOT_FOUND;
    case TStoreResult::Exists: return HRESULT_FILE_EXISTS;
    case TStoreResult::InvalidName: return E_INVALIDARG;
    case TStoreResult::Damaged: return SCHED_E_UNKNOWN_OBJECT_VERSION;
    case TStoreResult::AccessDenied: return E_ACCESSDENIED;
    case TStoreResult::IoError: return E_FAIL;
    }
    return E_FAIL;
}

qint64 NowMoment()
{
    return DateTime::NowSecsSinceEpoch();
}

SYSTEMTIME ToSystemTime(const TCalendarTime& T)
{
    return {T.wYear, T.wMonth, T.wDayOfWeek, T.wDay, T.wHour, T.wMinute, T.wSecond, T.wMilliseconds};
}

// Who may be named as a work item's account: the user the store belongs to;
// root may name any existing user, and the system account (empty name).
HRESULT CheckAccount(const QString& Name)
{
    const uid_t Self = geteuid();
    if (Name.isEmpty())
        return Self == 0 ? S_OK : E_ACCESSDENIED;
    if (Name == ProcessList::AccountName(Self))
        return S_OK;
    if (Self == 0 && ProcessList::AccountUid(Name))
        return S_OK;
    return E_ACCESSDENIED;
}

// IUnknown's Release: Free disposes of the object with its last reference.
template <class TFree>
ULONG DropReference(ULONG& Refs, TFree Free)
{
    const ULONG Left = --Refs;
    if (Left == 0)
        Free();
    return Left;
}

// IUnknown for an object that offers one interface: the same reference count
// and interface query for each of them.
template <class Interface, const IID& InterfaceId>
class TSingleInterface : public Interface
{
public:
    HRESULT QueryInterface(REFIID Iid, void** Object) override
    {
        if (!Object)
            return E_POINTER;
        if (Iid != IID_IUnknown && Iid != InterfaceId) {
            *Object = nullptr;
            return E_NOINTERFACE;
        }
        *Object = static_cast<Interface*>(this);
        this->AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++FRefs; }
    ULONG Release() override { return DropReference(FRefs, [this] { delete this; }); }

private:
    ULONG FRefs = 1;
};

class CTask;

class CTaskTrigger final : public TSingleInterface<ITaskTrigger, IID_ITaskTrigger>
{
public:
    CTaskTrigger(CTask* Task, WORD Index);

    HRESULT SetTrigger(const TASK_TRIGGER* Trigger) override;
    HRESULT GetTrigger(TASK_TRIGGER* Trigger) override;
    HRESULT GetTriggerString(LPWSTR* Text) override;

private:
    ~CTaskTrigger() override;

    CTask* FTask;
    WORD FIndex;
};

// A work item in memory; saved to the store through IPersistFile.
class CTask final : public ITask, public IPersistFile
{
public:
    CTask(const QString& Name, TWorkItem Item, bool IsNew)
        : FName(Name), FItem(std::move(Item)), FIsNew(IsNew)
    {
    }

    TWorkItem& Item() { return FItem; }

    HRESULT QueryInterface(REFIID Iid, void** Object) override
    {
        if (!Object)
            return E_POINTER;
        if (Iid == IID_IUnknown || Iid == IID_ITask || Iid == IID_IScheduledWorkItem)
            *Object = static_cast<ITask*>(this);
        else if (Iid == IID_IPersistFile)
            *Object = static_cast<IPersistFile*>(this);
        else {
            *Object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++FRefs; }
    ULONG Release() override { return DropReference(FRefs, [this] { delete this; }); }

    // IScheduledWorkItem
    HRESULT CreateTrigger(WORD* NewTrigger, ITaskTrigger** Trigger) override
    {
        if (!NewTrigger || !Trigger)
            return E_INVALIDARG;
        if (FItem.Triggers.size() >= 0xffff)
            return E_FAIL;
        // As Windows makes it: today at the current minute, daily, disabled
        // until SetTrigger says otherwise.
        const TDateTimeFields Now = DateTime::Decode(DateTime::Now());
        TTriggerData Data;
        Data.wBeginYear = WORD(Now.Year);
        Data.wBeginMonth = WORD(Now.Month);
        Data.wBeginDay = WORD(Now.Day);
        Data.wStartHour = WORD(Now.Hour);
        Data.wStartMinute = WORD(Now.Minute);
        Data.rgFlags = TASK_TRIGGER_FLAG_DISABLED;
        Data.TriggerType = TASK_TIME_TRIGGER_DAILY;
        Data.TypeWords[0] = 1;
        FItem.Triggers.push_back(Data);
        *NewTrigger = WORD(FItem.Triggers.size() - 1);
        *Trigger = new CTaskTrigger(this, *NewTrigger);
        return S_OK;
    }
    HRESULT GetTriggerCount(WORD* Count) override
    {
        if (!Count)
            return E_INVALIDARG;
        *Count = WORD(FItem.Triggers.size());
        return S_OK;
    }
    HRESULT GetTrigger(WORD Index, ITaskTrigger** Trigger) override
    {
        if (!Trigger)
            return E_INVALIDARG;
        if (Index >= FItem.Triggers.size())
            return SCHED_E_TRIGGER_NOT_FOUND;
        *Trigger = new CTaskTrigger(this, Index);
        return S_OK;
    }
    HRESULT GetTriggerString(WORD Index, LPWSTR* Text) override
    {
        if (!Text)
            return E_INVALIDARG;
        if (Index >= FItem.Triggers.size())
            return SCHED_E_TRIGGER_NOT_FOUND;
        return ToWide(TriggerSchedule::Describe(FItem.Triggers[Index]), Text);
    }
    HRESULT GetNextRunTime(SYSTEMTIME* Time) override
    {
        if (!Time)
            return E_INVALIDARG;
        *Time = {};
        if (FItem.Flags & TASK_FLAG_DISABLED)
            return SCHED_S_TASK_DISABLED;
        bool AnyEnabled = false;
        bool AnyTimed = false;
        for (const TTriggerData& Trigger : FItem.Triggers) {
            if (Trigger.rgFlags & TASK_TRIGGER_FLAG_DISABLED)
                continue;
            AnyEnabled = true;
            AnyTimed = AnyTimed || !TriggerSchedule::IsEventTrigger(Trigger);
        }
        if (!AnyEnabled)
            return SCHED_S_TASK_NO_VALID_TRIGGERS;
        if (!AnyTimed)
            return SCHED_S_EVENT_TRIGGER;
        const std::optional<qint64> Run = TriggerSchedule::NextRun(FItem, NowMoment());
        if (!Run)
            return SCHED_S_TASK_NO_MORE_RUNS;
        *Time = ToSystemTime(TriggerSchedule::LocalFields(*Run));
        return S_OK;
    }
    HRESULT SetComment(LPCWSTR Comment) override { return SetText(FItem.Comment, Comment); }
    HRESULT GetComment(LPWSTR* Comment) override { return ToWide(FItem.Comment, Comment); }
    HRESULT SetFlags(DWORD Flags) override
    {
        FItem.Flags = Flags & WorkItem::FlagMask;
        return S_OK;
    }
    HRESULT GetFlags(DWORD* Flags) override
    {
        if (!Flags)
            return E_INVALIDARG;
        *Flags = FItem.Flags;
        return S_OK;
    }
    HRESULT SetAccountInformation(LPCWSTR AccountName, LPCWSTR Password) override
    {
        if (!AccountName)
            return E_INVALIDARG;
        const QString Name = FromWide(AccountName);
        if (Name.isEmpty() && Password)
            return E_INVALIDARG;
        const HRESULT Allowed = CheckAccount(Name);
        if (FAILED(Allowed))
            return Allowed;
        // Without a password a real user's item can run only in their session.
        if (!Name.isEmpty() && !Password && !(FItem.Flags & TASK_FLAG_RUN_ONLY_IF_LOGGED_ON))
            return SCHED_E_UNSUPPORTED_ACCOUNT_OPTION;
        // A password is never kept: the service runs items as their user anyway.
        FItem.HasAccount = true;
        FItem.Account = Name;
        return S_OK;
    }
    HRESULT GetAccountInformation(LPWSTR* AccountName) override
    {
        if (!AccountName)
            return E_INVALIDARG;
        if (!FItem.HasAccount)
            return HRESULT_FILE_NOT_FOUND;
        return ToWide(FItem.Account, AccountName);
    }

    // ITask
    HRESULT SetApplicationName(LPCWSTR Name) override { return SetText(FItem.Application, Name); }
    HRESULT GetApplicationName(LPWSTR* Name) override { return ToWide(FItem.Application, Name); }
    HRESULT SetParameters(LPCWSTR Parameters) override { return SetText(FItem.Parameters, Parameters); }
    HRESULT GetParameters(LPWSTR* Parameters) override { return ToWide(FItem.Parameters, Parameters); }
    HRESULT GetWorkingDirectory(LPWSTR* Folder) override { return ToWide(FItem.WorkingDirectory, Folder); }
    HRESULT GetPriority(DWORD* Priority) override
    {
        if (!Priority)
            return E_INVALIDARG;
        *Priority = FItem.Priority;
        return S_OK;
    }
    HRESULT GetMaxRunTime(DWORD* MaxRunTime) override
    {
        if (!MaxRunTime)
            return E_INVALIDARG;
        *MaxRunTime = FItem.MaxRunTime;
        return S_OK;
    }

    // IPersistFile
    HRESULT Load(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    // Only the item's own file: the store holds nothing else.
    HRESULT Save(LPCWSTR FileName, BOOL) override
    {
        if (FileName)
            return E_INVALIDARG;
        TStoreResult Result = FIsNew ? WorkItemStore::Create(FName, FItem) : WorkItemStore::Replace(FName, FItem);
        // Deleted since it was opened: saving brings it back.
        if (!FIsNew && Result == TStoreResult::NotFound)
            Result = WorkItemStore::Create(FName, FItem);
        if (Result == TStoreResult::Ok)
            FIsNew = false;
        return FromStoreResult(Result);
    }

private:
    ~CTask() override = default;

    HRESULT SetText(QString& Field, LPCWSTR Text)
    {
        if (!Text)
            return E_INVALIDARG;
        Field = FromWide(Text);
        return S_OK;
    }

    ULONG FRefs = 1;
    QString FName;
    TWorkItem FItem;
    bool FIsNew;
};

CTaskTrigger::CTaskTrigger(CTask* Task, WORD Index)
    : FTask(Task), FIndex(Index)
{
    FTask->AddRef();
}

CTaskTrigger::~CTaskTrigger()
{
    FTask->Release();
}

HRESULT CTaskTrigger::SetTrigger(const TASK_TRIGGER* Trigger)
{
    if (!Trigger)
        return E_INVALIDARG;
    TTriggerData Data;
    std::memcpy(static_cast<void*>(&Data), Trigger, sizeof Data);
    if (!TriggerSchedule::IsValid(Data))
        return E_INVALIDARG;
    if (FIndex >= FTask->Item().Triggers.size())
        return SCHED_E_TRIGGER_NOT_FOUND;
    FTask->Item().Triggers[FIndex] = Data;
    return S_OK;
}

HRESULT CTaskTrigger::GetTrigger(TASK_TRIGGER* Trigger)
{
    if (!Trigger)
        return E_INVALIDARG;
    if (FIndex >= FTask->Item().Triggers.size())
        return SCHED_E_TRIGGER_NOT_FOUND;
    std::memcpy(Trigger, &FTask->Item().Triggers[FIndex], sizeof *Trigger);
    return S_OK;
}

HRESULT CTaskTrigger::GetTriggerString(LPWSTR* Text)
{
    if (!Text)
        return E_INVALIDARG;
    if (FIndex >= FTask->Item().Triggers.size())
        return SCHED_E_TRIGGER_NOT_FOUND;
    return ToWide(TriggerSchedule::Describe(FTask->Item().Triggers[FIndex]), Text);
}

static_assert(sizeof(TASK_TRIGGER) == sizeof(TTriggerData) && std::is_trivially_copyable_v<TTriggerData>);

class CTaskScheduler final : public TSingleInterface<ITaskScheduler, IID_ITaskScheduler>
{
public:
    HRESULT Activate(LPCWSTR Name, REFIID Iid, IUnknown** Object) override
    {
        if (!Name || !Object)
            return E_INVALIDARG;
        TWorkItem Item;
        const HRESULT Loaded = FromStoreResult(WorkItemStore::Load(FromWide(Name), Item));
        if (FAILED(Loaded))
            return Loaded;
        return Hand(new CTask(WorkItemStore::ItemName(FromWide(Name)), std::move(Item), false), Iid, Object);
    }
    HRESULT Delete(LPCWSTR Name) override
    {
        if (!Name)
            return E_INVALIDARG;
        return FromStoreResult(WorkItemStore::Remove(FromWide(Name)));
    }
    HRESULT NewWorkItem(LPCWSTR Name, REFCLSID ClassId, REFIID Iid, IUnknown** Object) override
    {
        if (!Name || !Object)
            return E_INVALIDARG;
        const QString Item = WorkItemStore::ItemName(FromWide(Name));
        if (Item.isEmpty())
            return E_INVALIDARG;
        if (ClassId != CLSID_CTask)
            return CLASS_E_CLASSNOTAVAILABLE;
        TWorkItem Existing;
        // A damaged file of that name still takes the name.
        if (WorkItemStore::Load(Item, Existing) != TStoreResult::NotFound)
            return HRESULT_FILE_EXISTS;
        TWorkItem Fresh;
        Fresh.Author = ProcessList::AccountName(geteuid());
        return Hand(new CTask(Item, std::move(Fresh), true), Iid, Object);
    }

private:
    ~CTaskScheduler() override = default;

    // The caller's reference only, or nothing when the interface is not offered.
    static HRESULT Hand(CTask* Task, REFIID Iid, IUnknown** Object)
    {
        void* Interface = nullptr;
        const HRESULT Result = Task->QueryInterface(Iid, &Interface);
        Task->Release();
        if (FAILED(Result))
            return Result;
        *Object = static_cast<IUnknown*>(Interface);
        return S_OK;
    }
};

} // namespace

HRESULT CoInitializeEx(void* Reserved, DWORD)
{
    if (Reserved)
        return E_INVALIDARG;
    return InitCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (InitCount > 0)
        --InitCount;
}

HRESULT CoCreateInstance(REFCLSID ClassId, IUnknown* Outer, DWORD Context, REFIID Iid, void** Object)
{
    if (!Object)
        return E_POINTER;
    *Object = nullptr;
    if (InitCount == 0)
        return CO_E_NOTINITIALIZED;
    if (Outer)
        return CLASS_E_NOAGGREGATION;
    if (!(Context & CLSCTX_INPROC_SERVER) || ClassId != CLSID_CTaskScheduler)
        return REGDB_E_CLASSNOTREG;
    // A store that cannot be set up (not a folder of ours) is a scheduler
    // that is not there.
    if (!WorkItemStore::EnsureFolder())
        return E_ACCESSDENIED;
    // Whoever only runs the wizard still gets their items run. Whether the
    // service came up does not change the answer: the items wait in the store.
    (void)StartTaskService(WorkItemStore::Folder());
    auto* Scheduler = new CTaskScheduler;
    const HRESULT Result = Scheduler->QueryInterface(Iid, Object);
    Scheduler->Release();
    return Result;
}

void* CoTaskMemAlloc(size_t Size)
{
    return std::malloc(Size ? Size : 1);
}

void CoTaskMemFree(void* Memory)
{
    std::free(Memory);
}
