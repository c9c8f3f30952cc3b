#include "jobs/uJobBook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#include "jobs/uJobConfig.h"
#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/DateFormat.h"
#include "platform/FileLock.h"
#include "platform/RunTimeTexts.h"
#include "platform/ShellExecute.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"

namespace {

const QString JobConfigSuffix = QStringLiteral("\\Zelvo\\Corvane V8\\Lumidor\\Lumidor.ini");
const QString ShutdownTool = QStringLiteral("\\Shutdown.exe");
const QString TaskNamePrefix = QStringLiteral("Zelvo_Lumidor");
const QString TaskNameStamp = QStringLiteral("yyymmddhhmmss");
const QString JobExtension = QStringLiteral(".job");
// A day of names for adds that come faster than one a second.
constexpr int MaxNameSeconds = 86400;
constexpr double SecondsPerDay = 86400.0;

// The registry file with its folders, empty when it is new.
void EnsureRegistryFile(const QString& FileName)
{
    (void)QDir().mkpath(QFileInfo(FileName).absolutePath());
    QFile File(FileName);
    if (!File.exists() && File.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        File.close();
}

// Held from the duplicate test to the registry entry, so that two adds at
// once cannot both find a label free. Without a store there is nothing to guard.
TFileLock LockForAdding()
{
    TFileLock Lock;
    if (WorkItemStore::EnsureFolder() && Lock.Open(WorkItemStore::Folder() + QStringLiteral("/.jobbook.lock"), O_RDWR | O_CREAT))
        (void)Lock.Lock(TFileLock::Exclusive, TFileLock::Wait);
    return Lock;
}

} // namespace

QStringList TJobTexts::DefaultDayNames()
{
    return {QStringLiteral("Everyday"), QStringLiteral("Sunday"), QStringLiteral("Monday"), QStringLiteral("Tuesday"),
        QStringLiteral("Wednesday"), QStringLiteral("Thursday"), QStringLiteral("Friday"), QStringLiteral("Saturday")};
}

TJobTexts TJobTexts::ForSuite(const TRunTimeTexts& RunTime)
{
    TJobTexts Texts;
    Texts.ShutdownPrefix = RunTime.Text(QStringLiteral("Shutdown_at"), Texts.ShutdownPrefix);
    Texts.RestartPrefix = RunTime.Text(QStringLiteral("Restart_at"), Texts.RestartPrefix);
    const TRunTimeTexts Window = TRunTimeTexts::ForSuiteSection(QStringLiteral("Lumidor_frmMain"));
    for (int I = 0; I < Texts.DayNames.size(); ++I)
        Texts.DayNames[I] = Window.Text(QStringLiteral("cbOption2.Items[%1].Caption").arg(I), Texts.DayNames[I]);
    return Texts;
}

QString TJobBook::DefaultRegistryFile()
{
    const TAppFrame AppFrame;
    return SystemPath(AppFrame.AppDataPath, JobConfigSuffix);
}

TJobBook::TJobBook(const QString& RegistryFile, TJobBookAccess Access)
    : FAccess(Access)
{
    if (Access == TJobBookAccess::ReadOnly) {
        // A folder that is missing holds nothing, and making it is a change.
        if (QFileInfo(QFileInfo(RegistryFile).absolutePath()).isDir())
            FConfig = std::make_unique<TJobConfig>(RegistryFile);
        if (QFileInfo(WorkItemStore::Folder()).isDir()) {
            const TNoTaskServiceStart NoStart;
            FScheduler = std::make_unique<TTaskScheduler>();
        }
        return;
    }
    // The registry first, as the window always made them.
    FConfig = std::make_unique<TJobConfig>(RegistryFile);
    FScheduler = std::make_unique<TTaskScheduler>();
}

TJobBook::~TJobBook()
{
    FConfig.reset();
    FScheduler.reset();
}

bool TJobBook::Connected() const
{
    if (!FScheduler)
        return FAccess == TJobBookAccess::ReadOnly;
    return FScheduler->Connected();
}

QString TJobBook::Label(const TJobChoice& Choice, const TJobTexts& Texts)
{
    QString Prefix = Choice.Kind == TJobKind::Shutdown ? Texts.ShutdownPrefix : Texts.RestartPrefix;
    // Translators write the prefix without the blank before the time.
    if (!Prefix.isEmpty() && !Prefix.back().isSpace())
        Prefix += u' ';
    const TFormatSettings& Settings = FormatSettings();
    if (Choice.Repeat == TJobRepeat::Once)
        return Prefix + FormatDateTime(Settings.ShortDateFormat + u' ' + Settings.ShortTimeFormat, Choice.Moment);
    const int Day = Choice.Repeat == TJobRepeat::Daily ? 0 : Choice.WeekDay + 1;
    return Prefix + FormatDateTime(Settings.ShortTimeFormat, Choice.Moment) + u' ' + Texts.DayNames.value(Day);
}

QString TJobBook::TaskNameAt(TDateTime Moment)
{
    return TaskNamePrefix + FormatDateTime(TaskNameStamp, Moment);
}

QList<TJob> TJobBook::List()
{
    QList<TJob> Jobs;
    // Without the scheduler no work item can be seen, and an entry removed
    // now might belong to a job that still runs.
    if (!FScheduler || !FScheduler->Connected() || !FConfig)
        return Jobs;
    ListSection(TJobKind::Shutdown, Jobs);
    ListSection(TJobKind::Restart, Jobs);
    return Jobs;
}

void TJobBook::ListSection(TJobKind Kind, QList<TJob>& Jobs)
{
    const bool IsShutdown = Kind == TJobKind::Shutdown;
    const int Count = IsShutdown ? FConfig->ShutdownJobCount() : FConfig->RestartJobCount();
    // From the last entry to the first, so that removals keep the positions still to come.
    for (int I = Count - 1; I >= 0; --I) {
        const QString Value = IsShutdown ? FConfig->GetShutdownJob(I) : FConfig->GetRestartJob(I);
        TJob Job;
        Job.Kind = Kind;
        if (!TJobConfig::SplitEntry(Value, Job.Name, Job.Label))
            continue;
        if (!FScheduler->TaskExists(Job.Name + JobExtension)) {
            if (FAccess == TJobBookAccess::ReadOnly)
                continue;
            if (IsShutdown)
                FConfig->RemoveShutdownJob(Value);
            else
                FConfig->RemoveRestartJob(Value);
            continue;
        }
        if (!FScheduler->GetTaskInfo(Job.Name, Job.Info))
            continue;
        Jobs.append(Job);
    }
}

int TJobBook::NextJob(const QList<TJob>& Jobs, TDateTime Now)
{
    int Next = -1;
    double Best = 0;
    for (int I = 0; I < Jobs.size(); ++I) {
        const double Distance = Jobs[I].Info.StartTime - Now;
        if (I == 0) {
            Next = 0;
            Best = Distance;
        }
        if (Distance >= 0 && Distance <= Best) {
            Next = I;
            Best = Distance;
        }
    }
    return Next;
}

bool TJobBook::LabelExists(const QList<TJob>& Jobs, const QString& Label, TJobKind Kind)
{
    for (const TJob& Job : Jobs)
        if (Job.Kind == Kind && AsciiText::SameText(Job.Label, Label))
            return true;
    return false;
}

bool TJobBook::SameSchedule(const TJobChoice& A, const TJobChoice& B)
{
    if (A.Kind != B.Kind || A.Repeat != B.Repeat)
        return false;
    // Work items keep minutes: seconds never tell two jobs apart.
    const TDateTimeFields FA = DateTime::Decode(A.Moment);
    const TDateTimeFields FB = DateTime::Decode(B.Moment);
    if (FA.Hour != FB.Hour || FA.Minute != FB.Minute)
        return false;
    switch (A.Repeat) {
    case TJobRepeat::Once:
        return FA.Year == FB.Year && FA.Month == FB.Month && FA.Day == FB.Day;
    case TJobRepeat::Daily:
        return true;
    case TJobRepeat::Weekly:
        return A.WeekDay == B.WeekDay;
    }
    return false;
}

bool TJobBook::ScheduleExists(const QList<TJob>& Jobs, const TJobChoice& Choice)
{
    for (const TJob& Job : Jobs) {
        TJobChoice Listed;
        if (Job.Kind == Choice.Kind && ReadSchedule(Job, Listed) && SameSchedule(Listed, Choice))
            return true;
    }
    return false;
}

TJobResult TJobBook::Add(const TJobChoice& Choice, const QString& Label, const QList<TJob>* Listed, QString& Name,
    TJobNaming Naming)
{
    FLastError.clear();
    const TFileLock Lock = LockForAdding();
    const QList<TJob> Jobs = Listed ? *Listed : List();
    if (ScheduleExists(Jobs, Choice))
        return TJobResult::Exists;
    // A daily or weekly job may start in the past: it runs again.
    if (Choice.Repeat == TJobRepeat::Once && DateTime::Now() > Choice.Moment)
        return TJobResult::Passed;
    // Nothing will run, so nothing is recorded.
    const TJobResult Created = CreateItem(Choice, Naming, Name);
    if (Created != TJobResult::Done)
        return Created;
    try {
        EnsureRegistryFile(FConfig->FileName());
        FConfig->AddJob(Name, Label, Choice.Kind == TJobKind::Shutdown);
    } catch (...) {
        // A work item without its entry would run but never be listed.
        (void)FScheduler->DeleteTask(Name);
        throw;
    }
    return TJobResult::Done;
}

TJobResult TJobBook::CreateItem(const TJobChoice& Choice, TJobNaming Naming, QString& Name)
{
    if (!FScheduler || !FConfig || FAccess == TJobBookAccess::ReadOnly) {
        FLastError = WriteProblem(WorkItemStore::Folder() + QStringLiteral("/x") + JobExtension);
        return TJobResult::Failed;
    }
    TTaskInfo Info;
    Info.ApplicationName = SystemPath(GetSystemDir(), ShutdownTool);
    Info.Parameters = Choice.Kind == TJobKind::Shutdown ? QStringLiteral("-s") : QStringLiteral("-r");
    Info.StartTime = Choice.Moment;
    if (Choice.Repeat == TJobRepeat::Daily)
        Info.TriggerKind = 1;
    if (Choice.Repeat == TJobRepeat::Weekly) {
        Info.TriggerKind = 2;
        Info.WeekDay = Choice.WeekDay;
    }
    const TDateTime Now = DateTime::Now();
    const auto Taken = [this](const QString& Candidate) {
        TWorkItem Existing;
        return Connected() && WorkItemStore::Load(Candidate, Existing) != TStoreResult::NotFound;
    };
    // Every add of the book holds the adding lock, so a name found free
    // stays free until it is taken here.
    for (int Ahead = 0; Ahead < MaxNameSeconds; ++Ahead) {
        Info.TaskName = TaskNameAt(Now + Ahead / SecondsPerDay);
        if (Naming == TJobNaming::NextFree && Taken(Info.TaskName))
            continue;
        Name = Info.TaskName;
        if (FScheduler->CreateTask(Info))
            return TJobResult::Done;
        if (!Taken(Info.TaskName)) {
            FLastError = WriteProblem(WorkItemStore::FilePath(Info.TaskName));
            return TJobResult::Failed;
        }
        if (Naming == TJobNaming::ThisSecond)
            return TJobResult::NameTaken;
    }
    return TJobResult::NameTaken;
}

QString TJobBook::WriteProblem(const QString& FileName)
{
    const QFileInfo Target(FileName);
    if (Target.exists() && !Target.isFile())
        return QString::fromLocal8Bit(strerror(Target.isDir() ? EISDIR : EINVAL));
    // What the system says to a write beside it is what it said to the writer.
    QString Error;
    const QString Probe
        = AtomicFile::WriteTemporary(Target.absolutePath() + QStringLiteral("/.tmp-"), QByteArray(), 0600, &Error);
    if (Probe.isEmpty())
        return Error;
    (void)QFile::remove(Probe);
    return {};
}

TJobResult TJobBook::Delete(const TJob& Job)
{
    FLastError.clear();
    QString Name = Job.Name;
    Name.remove(u',');
    // One that is already gone counts as deleted.
    if (!FScheduler->DeleteTask(Name) && FScheduler->TaskExists(Name + JobExtension)) {
        FLastError = WriteProblem(WorkItemStore::FilePath(Name));
        return TJobResult::Failed;
    }
    const QString Value = TJobConfig::JoinEntry(Name, Job.Label);
    if (Job.Kind == TJobKind::Restart)
        FConfig->RemoveRestartJob(Value);
    else
        FConfig->RemoveShutdownJob(Value);
    return TJobResult::Done;
}

bool TJobBook::ReadSchedule(const TJob& Job, TJobChoice& Choice)
{
    Choice = TJobChoice();
    Choice.Kind = Job.Kind;
    Choice.Moment = Job.Info.StartTime;
    ITask* Task = FScheduler ? FScheduler->ActivateTask(Job.Name) : nullptr;
    if (!Task)
        return false;
    ITaskTrigger* First = nullptr;
    TASK_TRIGGER Data = {};
    Data.cbTriggerSize = sizeof(TASK_TRIGGER);
    const bool Read = Task->GetTrigger(0, &First) == S_OK && First && First->GetTrigger(&Data) == S_OK;
    if (First)
        First->Release();
    Task->Release();
    if (!Read)
        return false;
    Choice.Moment = DateTime::EncodeDate(Data.wBeginYear, Data.wBeginMonth, Data.wBeginDay)
        + DateTime::EncodeTime(Data.wStartHour, Data.wStartMinute);
    if (Data.TriggerType == TASK_TIME_TRIGGER_DAILY)
        Choice.Repeat = TJobRepeat::Daily;
    if (Data.TriggerType == TASK_TIME_TRIGGER_WEEKLY) {
        Choice.Repeat = TJobRepeat::Weekly;
        for (uint8_t Day = 0; Day < 7; ++Day)
            if (Data.Type.Weekly.rgfDaysOfTheWeek & (1u << Day)) {
                Choice.WeekDay = Day;
                break;
            }
    }
    return true;
}

bool TJobBook::AbortCountdown()
{
    return ShellExecute(SystemPath(GetSystemDir(), ShutdownTool), QStringLiteral("-a"));
}
