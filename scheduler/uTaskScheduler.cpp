#include "scheduler/uTaskScheduler.h"

#include "platform/AsciiText.h"
#include "platform/DateFormat.h"

#include <QSysInfo>

#include <unistd.h>

namespace {

constexpr DWORD NewTaskFlags = TASK_FLAG_RUN_ONLY_IF_LOGGED_ON | TASK_FLAG_DELETE_WHEN_DONE;

// The desktop shells whose owner is the user at the desktop, as Explorer.EXE is on Windows.
const char* const DesktopShells[] = {"gnome-shell", "plasmashell", "xfce4-panel", "xfce4-session", "mate-panel",
    "mate-session", "cinnamon", "budgie-panel", "lxqt-panel", "lxqt-session", "lxpanel", "lxsession",
    "enlightenment", "gala", "phosh", "sway", "Hyprland", "kwin_wayland", "kwin_x11"};

// Qt 6.4 hands out UTF-16 as ushort.
LPCWSTR Wide(const QString& Text)
{
    return reinterpret_cast<LPCWSTR>(Text.utf16());
}

// Reads a text that a getter hands out and frees the platform's copy.
template <typename TGetter>
QString ReadText(TGetter Getter)
{
    LPWSTR Text = nullptr;
    if (FAILED(Getter(&Text)) || !Text)
        return {};
    const QString Result = QString::fromUtf16(Text);
    CoTaskMemFree(Text);
    return Result;
}

// The process of the first desktop shell in snapshot order; 0 when none runs.
uint32_t DesktopShellProcessId()
{
    QStringList Shells;
    for (const char* Shell : DesktopShells)
        Shells += AsciiText::LowerCase(QLatin1String(Shell));
    for (const TProcessEntry& Entry : ProcessList::Snapshot())
        if (Shells.contains(AsciiText::LowerCase(Entry.ExeName)))
            return Entry.ProcessId;
    return 0;
}

} // namespace

TTaskScheduler::TTaskScheduler()
{
    (void)Connect();
}

TTaskScheduler::~TTaskScheduler()
{
    ForgetFound();
    if (!Scheduler)
        return;
    ITaskScheduler* Connected = Scheduler;
    Scheduler = nullptr;
    Connected->Release();
    CoUninitialize();
}

HRESULT TTaskScheduler::Connect()
{
    if (Scheduler)
        return S_OK;
    (void)CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    void* Object = nullptr;
    const HRESULT Result
        = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskScheduler, &Object);
    Scheduler = Result == S_OK ? static_cast<ITaskScheduler*>(Object) : nullptr;
    return Result;
}

bool TTaskScheduler::CreateTask(const TTaskInfo& Info)
{
    ForgetFound();
    if (Info.TaskName.isEmpty() || !Scheduler)
        return false;
    IUnknown* WorkItem = nullptr;
    if (Scheduler->NewWorkItem(Wide(Info.TaskName), CLSID_CTask, IID_IScheduledWorkItem, &WorkItem) != S_OK)
        return false;
    ITask* Task = nullptr;
    const HRESULT AsTask = WorkItem->QueryInterface(IID_ITask, reinterpret_cast<void**>(&Task));
    WorkItem->Release();
    if (AsTask != S_OK)
        return false;

    (void)Task->SetApplicationName(Wide(Info.ApplicationName));
    (void)Task->SetParameters(Wide(Info.Parameters));
    (void)Task->SetFlags(NewTaskFlags);

    QString UserName;
    QString Domain;
    QString SidText;
    GetProcessAccount(DesktopShellProcessId(), UserName, Domain, SidText);
    // No desktop shell to ask (or its owner is unknown): the user running us.
    if (UserName.isEmpty())
        UserName = ProcessList::AccountName(geteuid());
    const HRESULT Account = Task->SetAccountInformation(Wide(UserName), nullptr);

    (void)SetTaskTrigger(Task, Info);
    const bool Saved = Account == S_OK && SaveTask(Task) == S_OK;
    Task->Release();
    return Saved;
}

bool TTaskScheduler::SetTaskTrigger(ITask* Task, const TTaskInfo& Info)
{
    WORD Index = 0;
    ITaskTrigger* Trigger = nullptr;
    if (Task->CreateTrigger(&Index, &Trigger) != S_OK)
        return false;

    const TDateTimeFields Start = DateTime::Decode(Info.StartTime);
    const TDateTimeFields End = DateTime::Decode(Info.EndTime);
    TASK_TRIGGER Data = {};
    Data.cbTriggerSize = sizeof(TASK_TRIGGER);
    Data.wBeginYear = WORD(Start.Year);
    Data.wBeginMonth = WORD(Start.Month);
    Data.wBeginDay = WORD(Start.Day);
    Data.wEndYear = WORD(End.Year);
    Data.wEndMonth = WORD(End.Month);
    Data.wEndDay = WORD(End.Day);
    Data.wStartHour = WORD(Start.Hour);
    Data.wStartMinute = WORD(Start.Minute);
    // Without HAS_END_DATE the end date is carried but not heeded.
    Data.rgFlags = TASK_TRIGGER_FLAG_KILL_AT_DURATION_END;
    Data.TriggerType = TASK_TRIGGER_TYPE(Info.TriggerKind <= 8 ? Info.TriggerKind : 0);
    // The first word of the type part is 1 for every type: every day, every week.
    Data.Type.Daily.DaysInterval = 1;
    if (Data.TriggerType == TASK_TIME_TRIGGER_WEEKLY)
        Data.Type.Weekly.rgfDaysOfTheWeek = Info.WeekDay <= 6 ? WORD(1u << Info.WeekDay) : 0;

    const bool Set = Trigger->SetTrigger(&Data) == S_OK;
    Trigger->Release();
    return Set;
}

HRESULT TTaskScheduler::SaveTask(ITask* Task)
{
    IPersistFile* File = nullptr;
    if (Task->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&File)) != S_OK || !File)
        return -1;
    const HRESULT Result = File->Save(nullptr, 1);
    File->Release();
    return Result;
}

ITask* TTaskScheduler::ActivateTask(const QString& Name)
{
    if (!Scheduler)
        return nullptr;
    IUnknown* Object = nullptr;
    if (Scheduler->Activate(Wide(Name), IID_ITask, &Object) != S_OK || !Object)
        return nullptr;
    return static_cast<ITask*>(Object);
}

bool TTaskScheduler::TaskExists(const QString& FileName)
{
    // Enumerated names carry the extension, so a name without it never
    // matches. The one name is looked up rather than compared against every
    // enumerated one: the store resolves it ignoring the case of A to Z just as
    // the comparison would, and a refresh of many jobs stays linear.
    static constexpr QStringView Extension = u".job";
    ForgetFound();
    if (!Scheduler || FileName.size() <= Extension.size()
        || !AsciiText::SameText(QStringView(FileName).right(Extension.size()), Extension))
        return false;
    ITask* Task = ActivateTask(FileName);
    if (!Task)
        return false;
    FFound = Task;
    FFoundName = FileName.chopped(Extension.size());
    FFoundAt = std::chrono::steady_clock::now();
    return true;
}

// Only at once: a moment later the item may have been run or deleted.
ITask* TTaskScheduler::TakeFound(const QString& Name)
{
    ITask* Task = nullptr;
    if (FFound && Name == FFoundName && std::chrono::steady_clock::now() - FFoundAt < std::chrono::milliseconds(100))
        std::swap(Task, FFound);
    ForgetFound();
    return Task;
}

void TTaskScheduler::ForgetFound()
{
    if (FFound)
        FFound->Release();
    FFound = nullptr;
    FFoundName.clear();
}

bool TTaskScheduler::GetTaskInfo(const QString& Name, TTaskInfo& Info)
{
    Info.TaskName.clear();
    Info.ApplicationName.clear();
    Info.Parameters.clear();
    Info.WorkingDirectory.clear();
    Info.AccountName.clear();
    Info.Comment.clear();
    Info.TriggerText.clear();

    ITask* Task = TakeFound(Name);
    if (!Task)
        Task = ActivateTask(Name);
    if (!Task)
        return false;

    const QString Application = ReadText([Task](LPWSTR* Out) { return Task->GetApplicationName(Out); });
    const QString Parameters = ReadText([Task](LPWSTR* Out) { return Task->GetParameters(Out); });
    const QString WorkingDirectory = ReadText([Task](LPWSTR* Out) { return Task->GetWorkingDirectory(Out); });
    DWORD Priority = 0;
    (void)Task->GetPriority(&Priority);
    const QString Account = ReadText([Task](LPWSTR* Out) { return Task->GetAccountInformation(Out); });
    DWORD MaxRunTime = 0;
    (void)Task->GetMaxRunTime(&MaxRunTime);
    const QString Comment = ReadText([Task](LPWSTR* Out) { return Task->GetComment(Out); });
    SYSTEMTIME NextRun = {};
    (void)Task->GetNextRunTime(&NextRun);
    WORD Count = 0;
    (void)Task->GetTriggerCount(&Count);

    QString TriggerText;
    if (Count > 0) {
        TriggerText = ReadText([Task, Count](LPWSTR* Out) { return Task->GetTriggerString(WORD(Count - 1), Out); });
        ITaskTrigger* First = nullptr;
        if (Task->GetTrigger(0, &First) == S_OK && First) {
            TASK_TRIGGER Data = {};
            Data.cbTriggerSize = sizeof(TASK_TRIGGER);
            if (First->GetTrigger(&Data) == S_OK) {
                const QString Text = QStringLiteral("%1/%2/%3 %4:%5:%6")
                                         .arg(Data.wBeginMonth)
                                         .arg(Data.wBeginDay)
                                         .arg(Data.wBeginYear)
                                         .arg(Data.wStartHour)
                                         .arg(Data.wStartMinute)
                                         .arg(0);
                TFormatSettings Settings;
                Settings.ShortDateFormat = QStringLiteral("mm/dd/yyyy");
                Settings.DateSeparator = QStringLiteral("/");
                Settings.TimeSeparator = QStringLiteral(":");
                // A trigger whose fields make no date counts as one that
                // cannot be read, rather than ending the caller's whole list.
                TDateTime Start = 0;
                if (TryStrToDateTime(Text, Start, Settings))
                    Info.StartTime = Start;
            }
            First->Release();
        }
    }
    Task->Release();

    Info.TaskName = Name;
    Info.ApplicationName = Application;
    Info.Parameters = Parameters;
    Info.WorkingDirectory = WorkingDirectory;
    Info.AccountName = Account;
    Info.Comment = Comment;
    Info.TriggerText = TriggerText;
    Info.Priority = Priority;
    Info.MaxRunTime = MaxRunTime;
    Info.NextRunTime = NextRun;
    return true;
}

bool TTaskScheduler::DeleteTask(const QString& Name)
{
    ForgetFound();
    // Unconnected, nothing was deleted, so the answer is no.
    if (!Scheduler)
        return false;
    return Scheduler->Delete(Wide(Name)) == S_OK;
}

uint32_t TTaskScheduler::FindProcessId(const QString& ExeName) const
{
    for (const TProcessEntry& Entry : ProcessList::Snapshot())
        if (AsciiText::SameText(Entry.ExeName, ExeName))
            return Entry.ProcessId;
    return 0;
}

void GetProcessAccount(uint32_t ProcessId, QString& UserName, QString& Domain, QString& SidText)
{
    SidText.clear();
    const std::optional<uint32_t> Owner = ProcessList::ProcessOwner(ProcessId);
    if (!Owner)
        return;
    const QString Account = ProcessList::AccountName(*Owner);
    if (!Account.isEmpty()) {
        // A directory account may come as "DOMAIN\name"; a local one belongs to this machine.
        const qsizetype Separator = Account.indexOf(QLatin1Char('\\'));
        UserName = Separator < 0 ? Account : Account.mid(Separator + 1);
        Domain = Separator < 0 ? QSysInfo::machineHostName() : Account.left(Separator);
    }
    (void)SidToText(ProcessList::UnixUserSid(*Owner), SidText);
}

bool SidToText(const TAccountSid& Sid, QString& Text)
{
    return ProcessList::SidToString(Sid, Text);
}
