// The task service's mirror of the store (every item with its next run),
// kept up to date as the folder, the clock and the time zone change, and its
// one timer. Runs are in TaskServiceRuns.cpp, heads-ups in
// TaskServiceHeadsUp.cpp.
#include "service/TaskService.h"

#include "platform/RunHistory.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/TriggerSchedule.h"
#include "platform/UserAccount.h"
#include "service/FolderWatch.h"
#include "service/HeadsUp.h"
#include "service/RunPlan.h"
#include "service/ServiceLog.h"
#include "service/SleepNotices.h"
#include "service/TaskServiceCommon.h"
#include "service/WallClockTimer.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace TaskServiceCommon;

namespace {

// With nothing to run the timer still waits, so that a change of the clock is seen.
constexpr qint64 IdleArmMs = qint64(365) * 86400 * 1000;

QString UserName()
{
    if (const std::optional<TUserAccount> Account = UserAccount::ByUid(geteuid()))
        return Account->Name;
    return QString::number(geteuid());
}

QString Identity(const struct stat& Info)
{
    return QStringLiteral("%1:%2:%3.%4:%5.%6")
        .arg(Info.st_ino).arg(Info.st_size)
        .arg(Info.st_ctim.tv_sec).arg(Info.st_ctim.tv_nsec)
        .arg(Info.st_mtim.tv_sec).arg(Info.st_mtim.tv_nsec);
}

} // namespace

namespace TaskServiceCommon {

QString ResultText(TStoreResult Result)
{
    switch (Result) {
    case TStoreResult::Ok: return QStringLiteral("done");
    case TStoreResult::NotFound: return QStringLiteral("it does not exist");
    case TStoreResult::Exists: return QStringLiteral("it exists");
    case TStoreResult::InvalidName: return QStringLiteral("not a valid item name");
    case TStoreResult::Damaged: return QStringLiteral("the file is damaged");
    case TStoreResult::AccessDenied:
        return QStringLiteral("refused: the file must be a regular file of this user that nobody else can write");
    case TStoreResult::IoError: return QStringLiteral("the system refused a read or write");
    }
    return QString();
}

} // namespace TaskServiceCommon

TTaskService::TTaskService(const TOptions& Options, QObject* Parent)
    : QObject(Parent), FOptions(Options), FUserName(UserName())
{
}

TTaskService::~TTaskService() = default;

bool TTaskService::Start()
{
    if (!WorkItemStore::EnsureFolder()) {
        ServiceLog::Write(QStringLiteral("the store %1 is not a folder of %2 or cannot be made; stopping")
                              .arg(FOptions.StoreDir, FUserName));
        return false;
    }
    if (!StoreIsSafe())
        return false;
    if (const int Removed = WorkItemStore::RemoveStaleTemporaries())
        ServiceLog::Write(QStringLiteral("removed %1 temporary file(s) that writers killed during a change left in %2")
                              .arg(Removed).arg(FOptions.StoreDir));

    FTimer = new TWallClockTimer(this);
    FWatch = new TFolderWatch(this);
    if (!FTimer->IsValid() || !FWatch->WatchStore(FOptions.StoreDir, QFileInfo(TaskServiceLockPath(FOptions.StoreDir)).fileName())) {
        ServiceLog::Write(QStringLiteral("cannot set up the timer or watch %1; stopping").arg(FOptions.StoreDir));
        return false;
    }
    if (!FWatch->WatchTimeZone())
        ServiceLog::Write(QStringLiteral("cannot watch /etc for time zone changes; a change needs a restart"));

    FSleep = new TSleepNotices(this);
    (void)FSleep->Start();
    FLeadSeconds = HeadsUpLeadSeconds();
    FNotices = new TDesktopNotices(this);
    connect(FNotices, &TDesktopNotices::SkipChosen, this, &TTaskService::SkipRun);
    connect(FTimer, &TWallClockTimer::Expired, this, [this] {
        ProcessDue();
        ProcessHeadsUps();
        Arm();
    });
    connect(FTimer, &TWallClockTimer::ClockChanged, this, [this] {
        ServiceLog::Write(QStringLiteral("the clock was changed; every next run is computed again"));
        Recompute();
    });
    connect(FWatch, &TFolderWatch::TimeZoneChanged, this, [this] {
        ServiceLog::Write(QStringLiteral("the time zone was changed; every next run is computed again"));
        Recompute();
    });
    connect(FWatch, &TFolderWatch::ItemsChanged, this, &TTaskService::ReloadItems);
    connect(FWatch, &TFolderWatch::RescanNeeded, this, &TTaskService::FullScan);
    connect(FWatch, &TFolderWatch::StoreGone, this, [this] {
        ServiceLog::Write(QStringLiteral("the store %1 went away; stopping").arg(FOptions.StoreDir));
        emit StoreGone();
    });

    FStarting = true;
    FullScan();
    FStarting = false;
    SkipMissedWhileStopped();
    std::optional<qint64> First;
    QString FirstName;
    for (const auto& [Name, Entry] : FEntries)
        if (Entry.Next && (!First || *Entry.Next < *First)) {
            First = Entry.Next;
            FirstName = Name;
        }
    ServiceLog::Write(QStringLiteral("started for %1 on %2: %3 item(s), %4; %5")
                          .arg(FUserName, FOptions.StoreDir).arg(FEntries.size())
                          .arg(First ? QStringLiteral("next run: %1 at %2").arg(FirstName, Describe(*First))
                                     : QStringLiteral("no run ahead"))
                          .arg(FLeadSeconds ? QStringLiteral("heads-up %1 s before a shutdown or restart").arg(FLeadSeconds)
                                            : QStringLiteral("no heads-up")));
    return true;
}

// A run whose time passed before this service was up, if only by a moment, had
// no service to run it: it is missed, never run late by a service that came
// back meanwhile.
void TTaskService::SkipMissedWhileStopped()
{
    const qint64 Now = NowMs();
    QStringList Done;
    for (auto& [Name, Entry] : FEntries) {
        if (!Entry.Loaded)
            continue;
        // The run of an item saved during its own minute is the user's doing just now.
        if (Entry.Next && *Entry.Next * 1000 < Now && Entry.Next != RunPlan::DueOnSave(Entry.Item, Entry.SavedAt)) {
            Entry.Next = RunPlan::NextDue(Entry.Item, Seconds(Now) + 1, Entry.SavedAt, Entry.Handled);
            if (!Entry.Next)
                Done += Name;
        }
    }
    for (const QString& Name : Done)
        DeleteIfDone(Name, Seconds(Now) + 1, "its runs all lie in the past");
    Arm();
}

bool TTaskService::StoreIsSafe()
{
    struct stat Info;
    const bool Safe = ::lstat(QFile::encodeName(FOptions.StoreDir).constData(), &Info) == 0 && S_ISDIR(Info.st_mode)
        && Info.st_uid == geteuid() && !(Info.st_mode & (S_IWGRP | S_IWOTH));
    if (!Safe && !FStoreUnsafeLogged)
        ServiceLog::Write(QStringLiteral("refused: the store %1 must be a folder of %2 that nobody else can write; "
                                         "nothing runs until it is")
                              .arg(FOptions.StoreDir, FUserName));
    FStoreUnsafeLogged = !Safe;
    return Safe;
}

QString TTaskService::Describe(qint64 Moment) const
{
    const TCalendarTime F = TriggerSchedule::LocalFields(Moment);
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(F.wYear, 4, 10, QLatin1Char('0')).arg(F.wMonth, 2, 10, QLatin1Char('0'))
        .arg(F.wDay, 2, 10, QLatin1Char('0')).arg(F.wHour, 2, 10, QLatin1Char('0'))
        .arg(F.wMinute, 2, 10, QLatin1Char('0')).arg(F.wSecond, 2, 10, QLatin1Char('0'));
}

void TTaskService::FullScan()
{
    // Whatever is due now is handled with what was known, before anything changes.
    ProcessDue();
    StoreIsSafe();
    const QStringList Names = WorkItemStore::List();
    const QSet<QString> Present(Names.cbegin(), Names.cend());
    for (auto It = FEntries.begin(); It != FEntries.end();)
        It = Present.contains(It->first) ? std::next(It) : FEntries.erase(It);
    const qint64 Now = NowMs();
    for (const QString& Name : Names)
        Reload(Name, Now);
    Arm();
}

void TTaskService::ReloadItems(const QSet<QString>& FileNames)
{
    ProcessDue();
    const qint64 Now = NowMs();
    for (const QString& Name : FileNames)
        Reload(Name, Now);
    Arm();
}

void TTaskService::Reload(const QString& FileName, qint64 Now)
{
    struct stat Info;
    if (::lstat(QFile::encodeName(FOptions.StoreDir + QLatin1Char('/') + FileName).constData(), &Info) != 0) {
        FEntries.erase(FileName);
        return;
    }
    const QString NewIdentity = Identity(Info);
    const bool FirstLook = !FEntries.count(FileName);
    TEntry& Entry = FEntries[FileName];
    if (Entry.Identity == NewIdentity)
        return;
    Entry.Identity = NewIdentity;

    TWorkItem Item;
    const TStoreResult Loaded = WorkItemStore::Load(FileName, Item);
    if (Loaded != TStoreResult::Ok) {
        Entry.Loaded = false;
        Entry.Next.reset();
        ServiceLog::Write(QStringLiteral("%1 is left alone: %2").arg(FileName, ResultText(Loaded)));
        if (Loaded == TStoreResult::AccessDenied || Loaded == TStoreResult::Damaged)
            History(RunHistory::TEvent::Refused, FileName,
                QStringLiteral("left alone, it never runs: %1").arg(ResultText(Loaded)));
        return;
    }
    Entry.Item = std::move(Item);
    Entry.Loaded = true;
    Entry.SavedAt = Info.st_mtim.tv_sec;
    // No warning of a run that will be refused.
    Entry.Action = Entry.Item.Application.startsWith(QLatin1Char('/')) && Entry.Item.HasAccount
            && Entry.Item.Account == FUserName
        ? HeadsUpActionOf(Entry.Item)
        : THeadsUpAction::None;
    Entry.Next = RunPlan::NextDue(Entry.Item, Seconds(Now), Entry.SavedAt, Entry.Handled);
    // At start-up, up to this moment: SkipMissedWhileStopped leaves out a next
    // run whose second has begun. Later, up to the next run, which then runs.
    if (FirstLook)
        ReportMissedWhileAway(FileName, Entry, FStarting || !Entry.Next ? Now : std::min(*Entry.Next * 1000, Now));
    if (!Entry.Next)
        DeleteIfDone(FileName, Seconds(Now), "its runs all lie in the past");
}

void TTaskService::Recompute()
{
    ProcessDue();
    const qint64 Now = NowMs();
    QStringList Done;
    for (auto& [Name, Entry] : FEntries) {
        if (!Entry.Loaded)
            continue;
        Entry.Next = RunPlan::NextDue(Entry.Item, Seconds(Now), Entry.SavedAt, Entry.Handled);
        if (!Entry.Next)
            Done += Name;
    }
    for (const QString& Name : Done)
        DeleteIfDone(Name, Seconds(Now), "its runs all lie in the past");
    Arm();
}

void TTaskService::Arm()
{
    // Each arming starts the kernel's next count of time asleep.
    (void)FSleep->Watch().Look();
    // A heads-up whose run has started, moved or gone is taken down.
    for (const QString& Key : FNotices->Keys()) {
        const auto It = FEntries.find(Key);
        if (It == FEntries.end() || !It->second.Next || *It->second.Next != FNotices->ShownFor(Key))
            FNotices->Close(Key);
    }
    std::optional<qint64> First;
    for (const auto& [Name, Entry] : FEntries) {
        if (Entry.Next && (!First || *Entry.Next < *First))
            First = Entry.Next;
        const std::optional<qint64> HeadsUp = HeadsUpMoment(Entry);
        if (HeadsUp && (!First || *HeadsUp < *First))
            First = HeadsUp;
    }
    FTimer->ArmAt(First ? *First * 1000 : NowMs() + IdleArmMs);
}

void TTaskService::DeleteIfDone(const QString& FileName, qint64 From, const char* Why)
{
    const auto It = FEntries.find(FileName);
    if (It == FEntries.end() || !It->second.Loaded || FRuns.count(FileName))
        return;
    const TEntry& Entry = It->second;
    if (!DeleteWhenDone(Entry.Item) || !RunPlan::RunsAllPast(Entry.Item, From))
        return;
    const std::optional<qint64> OnSave = RunPlan::DueOnSave(Entry.Item, Entry.SavedAt);
    if (OnSave && (!Entry.Handled || *OnSave > *Entry.Handled))
        return;
    if (!StoreIsSafe())
        return;
    const TStoreResult Removed = WorkItemStore::Remove(FileName);
    if (Removed != TStoreResult::Ok && Removed != TStoreResult::NotFound) {
        ServiceLog::Write(QStringLiteral("%1: cannot delete it: %2").arg(FileName, ResultText(Removed)));
        return;
    }
    ServiceLog::Write(QStringLiteral("%1: deleted without running: %2").arg(FileName, QLatin1String(Why)));
    FEntries.erase(FileName);
}

