#include "service/TaskService.h"

#include "platform/RunHistory.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/TriggerSchedule.h"
#include "platform/UserAccount.h"
#include "service/CommandLine.h"
#include "service/FolderWatch.h"
#include "service/HeadsUp.h"
#include "service/RunPlan.h"
#include "service/ServiceLog.h"
#include "service/TaskProcess.h"
#include "service/UserSession.h"
#include "service/WallClockTimer.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <climits>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int ExitCodeCannotStart = 127;
// With nothing to run the timer still waits, so that a change of the clock is seen.
constexpr qint64 IdleArmMs = qint64(365) * 86400 * 1000;

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

qint64 Seconds(qint64 Ms)
{
    return Ms >= 0 ? Ms / 1000 : -((-Ms + 999) / 1000);
}

QString UserName()
{
    if (const std::optional<TUserAccount> Account = UserAccount::ByUid(geteuid()))
        return Account->Name;
    return QString::number(geteuid());
}

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

QString Identity(const struct stat& Info)
{
    return QStringLiteral("%1:%2:%3.%4:%5.%6")
        .arg(Info.st_ino).arg(Info.st_size)
        .arg(Info.st_ctim.tv_sec).arg(Info.st_ctim.tv_nsec)
        .arg(Info.st_mtim.tv_sec).arg(Info.st_mtim.tv_nsec);
}

bool DeleteWhenDone(const TWorkItem& Item)
{
    return Item.Flags & WorkItem::FlagDeleteWhenDone;
}

// Notes in the item that the run at Due was dealt with, so that no later
// service reports it again; false when it already says so.
bool MarkHandled(TWorkItem& Item, qint64 Due)
{
    const std::optional<qint64> Known = RunPlan::MomentOf(Item.HandledRun);
    if (Known && *Known >= Due)
        return false;
    Item.HandledRun = TriggerSchedule::LocalFields(Due);
    return true;
}

QString ActionName(THeadsUpAction Action)
{
    return Action == THeadsUpAction::Restart ? QStringLiteral("restart") : QStringLiteral("shutdown");
}

} // namespace

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

    FullScan();
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
        const RunPlan::TMissedRuns Missed = RunPlan::MissedWhileStopped(Entry.Item, Entry.SavedAt, Now);
        if (Missed.Count > 0)
            ServiceLog::Write(QStringLiteral("%1: %2%3 run(s) missed while no service was running, the last due at %4; "
                                             "they do not run")
                                  .arg(Name, Missed.AtLeast ? QStringLiteral("at least ") : QString())
                                  .arg(Missed.Count).arg(Describe(Missed.Last)));
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
    if (FirstLook)
        ReportMissedWhileAway(FileName, Entry, Now);
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

void TTaskService::ProcessDue()
{
    const qint64 Now = NowMs();
    QStringList Names;
    for (const auto& [Name, Entry] : FEntries)
        if (Entry.Next && *Entry.Next * 1000 <= Now)
            Names += Name;
    for (const QString& Name : Names) {
        auto It = FEntries.find(Name);
        if (It == FEntries.end())
            continue;
        TEntry& Entry = It->second;
        qint64 Last = 0;
        while (Entry.Next && *Entry.Next * 1000 <= Now) {
            const qint64 Due = *Entry.Next;
            Entry.Handled = Due;
            Last = Due;
            if (RunPlan::IsLate(Due * 1000, Now)) {
                Tell(RunHistory::TEvent::Missed, Name,
                    QStringLiteral("the run due at %1, reached %2 s late (the computer was asleep or the clock "
                                   "was set); not run")
                        .arg(Describe(Due)).arg((Now - Due * 1000) / 1000));
                RecordHandled(Name, Due);
                // Runs that are late as well are missed in the same breath.
                Entry.Next = RunPlan::NextDue(Entry.Item, std::max(Due + 1, Seconds(Now - RunPlan::LateLimitMs)),
                    Entry.SavedAt, Entry.Handled);
            } else {
                Entry.Next = RunPlan::NextDue(Entry.Item, Due + 1, Entry.SavedAt, Entry.Handled);
                StartRun(Name, Entry, Due, Now);
                // StartRun may have let go of the entry (the item was deleted).
                It = FEntries.find(Name);
                if (It == FEntries.end())
                    break;
            }
        }
        if (It != FEntries.end() && !It->second.Next)
            DeleteIfDone(Name, std::max(Last + 1, Seconds(Now)), "it has no run left");
    }
}

void TTaskService::Arm()
{
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

void TTaskService::StartRun(const QString& FileName, TEntry& Entry, qint64 Due, qint64 Now)
{
    if (FRuns.count(FileName)) {
        Tell(RunHistory::TEvent::Refused, FileName,
            QStringLiteral("the run due at %1: its previous run still goes on").arg(Describe(Due)));
        RecordHandled(FileName, Due);
        return;
    }
    if (!StoreIsSafe())
        return;
    if ((Entry.Item.Flags & WorkItem::FlagRunOnlyIfLoggedOn)
        && !UserHasSession(geteuid(), FUserName, FOptions.UtmpFile)) {
        ServiceLog::Write(QStringLiteral("%1: not run at %2: it runs only while %3 is logged on, and %3 is not")
                              .arg(FileName, Describe(Due), FUserName));
        History(RunHistory::TEvent::Refused, FileName,
            QStringLiteral("the run due at %1: %2 is not logged on").arg(Describe(Due), FUserName));
        RecordHandled(FileName, Due);
        return;
    }

    // Checked and recorded on the item as it is now, under the store's lock,
    // so that an item deleted a moment ago is neither run nor brought back.
    QString Refusal;
    TWorkItem Run;
    const TStoreResult Recorded = WorkItemStore::Update(FileName, [&](TWorkItem& Item) {
        if (!Item.Application.startsWith(QLatin1Char('/')))
            Refusal = QStringLiteral("its application \"%1\" is not an absolute path").arg(Item.Application);
        else if (!Item.HasAccount || Item.Account != FUserName)
            Refusal = QStringLiteral("it is to run as \"%1\", and this service runs as %2")
                          .arg(Item.HasAccount ? Item.Account : QStringLiteral("the system account"), FUserName);
        if (!Refusal.isEmpty())
            return MarkHandled(Item, Due);
        TCalendarTime Started = TriggerSchedule::LocalFields(Seconds(Now));
        Started.wMilliseconds = uint16_t(Now % 1000);
        Item.MostRecentRun = Started;
        Item.Status = WorkItem::StatusRunning;
        Run = Item;
        return true;
    });
    if (Recorded == TStoreResult::NotFound) {
        ServiceLog::Write(QStringLiteral("%1: deleted before its run at %2; not run").arg(FileName, Describe(Due)));
        FEntries.erase(FileName);
        return;
    }
    if (Recorded != TStoreResult::Ok) {
        Tell(RunHistory::TEvent::Failed, FileName,
            QStringLiteral("the run due at %1: cannot record it in the item: %2; not run")
                .arg(Describe(Due), ResultText(Recorded)));
        return;
    }
    if (!Refusal.isEmpty()) {
        Tell(RunHistory::TEvent::Refused, FileName, QStringLiteral("the run due at %1: %2").arg(Describe(Due), Refusal));
        return;
    }

    const QStringList Arguments = SplitCommandLine(Run.Parameters);
    const QStringList Environment = TaskEnvironment();
    QString Folder = Run.WorkingDirectory;
    if (Folder.isEmpty())
        for (const QString& Variable : Environment)
            if (Variable.startsWith(QLatin1String("HOME=")))
                Folder = Variable.mid(5);
    auto* Process = new TTaskProcess(this);
    QString Error;
    if (!Process->Start(Run.Application, Arguments, Folder, Environment, Error)) {
        delete Process;
        Tell(RunHistory::TEvent::Failed, FileName,
            QStringLiteral("the run due at %1: cannot start %2: %3").arg(Describe(Due), Run.Application, Error));
        FRuns[FileName] = TRun{nullptr, Due, false};
        RunFinished(FileName, ExitCodeCannotStart, 0);
        return;
    }
    ServiceLog::Write(QStringLiteral("%1: started for the run due at %2 (%3 s late): %4 %5 (pid %6)")
                          .arg(FileName, Describe(Due)).arg(double(Now - Due * 1000) / 1000.0, 0, 'f', 3)
                          .arg(Run.Application, Arguments.join(QLatin1Char(' '))).arg(Process->Pid()));
    History(RunHistory::TEvent::Started, FileName,
        QStringLiteral("the run due at %1 (%2 s late): %3 %4")
            .arg(Describe(Due)).arg(double(Now - Due * 1000) / 1000.0, 0, 'f', 3)
            .arg(Run.Application, Arguments.join(QLatin1Char(' '))));
    if (!Error.isEmpty())
        ServiceLog::Write(QStringLiteral("%1: %2").arg(FileName, Error));
    FRuns[FileName] = TRun{Process, Due, false};
    connect(Process, &TTaskProcess::Finished, this,
        [this, FileName](int ExitCode, int Signal) { RunFinished(FileName, ExitCode, Signal); });
    // The shutdown tool may wait past any limit for a time the user postponed
    // to; it ends by itself at that time, on Abort or when dismissed.
    if (HeadsUpActionOf(Run) != THeadsUpAction::None)
        return;
    if (Run.MaxRunTime > 0 && Run.MaxRunTime <= uint32_t(INT_MAX))
        QTimer::singleShot(int(Run.MaxRunTime), Process, [this, FileName, Process] {
            ServiceLog::Write(QStringLiteral("%1: ran longer than its limit; ending it").arg(FileName));
            FRuns[FileName].TimedOut = true;
            Process->Terminate();
        });
}

void TTaskService::RunFinished(const QString& FileName, int ExitCode, int Signal)
{
    const auto Found = FRuns.find(FileName);
    if (Found == FRuns.end())
        return;
    const TRun Run = Found->second;
    FRuns.erase(Found);
    if (Run.Process)
        Run.Process->deleteLater();

    const qint64 From = std::max(Run.Due + 1, Seconds(NowMs()));
    bool Remove = false;
    const TStoreResult Recorded = WorkItemStore::Update(FileName, [&](TWorkItem& Item) {
        const bool RunsLeft = TriggerSchedule::NextRun(Item, From).has_value();
        if (DeleteWhenDone(Item) && !RunsLeft) {
            Remove = true;
            return false;
        }
        Item.Status = Run.TimedOut ? WorkItem::StatusTerminated : RunsLeft ? WorkItem::StatusReady : WorkItem::StatusNoMoreRuns;
        Item.ExitCode = uint32_t(ExitCode);
        return true;
    });
    const QString How = Signal ? QStringLiteral("ended by signal %1").arg(Signal)
                               : QStringLiteral("finished with exit code %1").arg(ExitCode);
    if (Run.TimedOut)
        History(RunHistory::TEvent::Failed, FileName, QStringLiteral("ran longer than its limit and was ended (%1)").arg(How));
    else if (Signal || ExitCode != 0)
        History(RunHistory::TEvent::Failed, FileName, How);
    else
        History(RunHistory::TEvent::Finished, FileName, How);
    if (Recorded == TStoreResult::NotFound) {
        ServiceLog::Write(QStringLiteral("%1: %2; the item was deleted meanwhile, nothing recorded").arg(FileName, How));
        FEntries.erase(FileName);
        return;
    }
    if (Recorded != TStoreResult::Ok) {
        ServiceLog::Write(QStringLiteral("%1: %2; cannot record it: %3").arg(FileName, How, ResultText(Recorded)));
        return;
    }
    ServiceLog::Write(QStringLiteral("%1: %2").arg(FileName, How));
    if (Remove) {
        const TStoreResult Removed = WorkItemStore::Remove(FileName);
        if (Removed == TStoreResult::Ok || Removed == TStoreResult::NotFound) {
            ServiceLog::Write(QStringLiteral("%1: deleted, it has no run left").arg(FileName));
            FEntries.erase(FileName);
        } else {
            ServiceLog::Write(QStringLiteral("%1: cannot delete it: %2").arg(FileName, ResultText(Removed)));
        }
    }
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

std::optional<qint64> TTaskService::HeadsUpMoment(const TEntry& Entry) const
{
    if (Entry.Action == THeadsUpAction::None || !Entry.Next || Entry.HeadsUpFor == Entry.Next)
        return std::nullopt;
    return RunPlan::HeadsUpAt(*Entry.Next, Entry.SavedAt, FLeadSeconds);
}

void TTaskService::ProcessHeadsUps()
{
    const qint64 Now = NowMs();
    for (auto& [Name, Entry] : FEntries) {
        const std::optional<qint64> HeadsUp = HeadsUpMoment(Entry);
        if (!HeadsUp || *HeadsUp * 1000 > Now || *Entry.Next * 1000 <= Now)
            continue;
        Entry.HeadsUpFor = Entry.Next;
        ServiceLog::Write(QStringLiteral("%1: heads-up for the %2 at %3")
                              .arg(Name, ActionName(Entry.Action), Describe(*Entry.Next)));
        FNotices->Show(Name, *Entry.Next, HeadsUpTextFor(Entry.Action, *Entry.Next), *Entry.Next * 1000 - Now);
    }
}

void TTaskService::SkipRun(const QString& FileName, qint64 Due)
{
    const qint64 Now = NowMs();
    const auto It = FEntries.find(FileName);
    if (It == FEntries.end() || It->second.Next != Due || Due * 1000 <= Now || FRuns.count(FileName)) {
        ServiceLog::Write(QStringLiteral("%1: \"Skip this time\" came too late for the run at %2").arg(FileName, Describe(Due)));
        return;
    }
    const TEntry& Entry = It->second;
    bool Current = false;
    bool Removed = false;
    std::optional<qint64> After;
    // Decided on the item as it is now, under the store's lock: a run that
    // the item no longer has is not skipped, and nothing else changes.
    const TStoreResult Result = WorkItemStore::UpdateOrRemove(FileName, [&](TWorkItem& Item) {
        Current = RunPlan::NextDue(Item, Seconds(Now), Entry.SavedAt, Entry.Handled) == Due;
        if (!Current)
            return TItemChange::Keep;
        After = RunPlan::NextDue(Item, Due + 1, Entry.SavedAt, Due);
        if (!After && DeleteWhenDone(Item)) {
            Removed = true;
            return TItemChange::Remove;
        }
        Item.SkippedRun = TriggerSchedule::LocalFields(Due);
        return TItemChange::Write;
    });
    if (Result != TStoreResult::Ok || !Current) {
        ServiceLog::Write(QStringLiteral("%1: cannot skip the run at %2: %3")
                              .arg(FileName, Describe(Due),
                                  Result != TStoreResult::Ok ? ResultText(Result) : QStringLiteral("the item has changed")));
        return;
    }
    const QString What = Removed ? QStringLiteral("the run due at %1; the item had no other run and is deleted")
                                       .arg(Describe(Due))
        : After ? QStringLiteral("the run due at %1; the next run stays, at %2").arg(Describe(Due), Describe(*After))
                : QStringLiteral("the run due at %1; it has no other run").arg(Describe(Due));
    Tell(RunHistory::TEvent::Skipped, FileName, QStringLiteral("by the user: ") + What);
    if (Removed)
        FEntries.erase(FileName);
    else
        Reload(FileName, Now);
    Arm();
}

void TTaskService::ReportMissedWhileAway(const QString& FileName, const TEntry& Entry, qint64 Now)
{
    // Runs from the item's save, last run or skip up to its next run passed
    // while no service was there to run them.
    const qint64 To = Entry.Next ? std::min(*Entry.Next * 1000, Now) : Now;
    const RunPlan::TMissedRuns Missed = RunPlan::MissedWhileStopped(Entry.Item, Entry.SavedAt, To);
    if (Missed.Count == 0)
        return;
    const QString Runs = Missed.Count == 1
        ? QStringLiteral("the run due at %1").arg(Describe(Missed.Last))
        : QStringLiteral("%1%2 runs due from %3 to %4")
              .arg(Missed.AtLeast ? QStringLiteral("at least ") : QString())
              .arg(Missed.Count).arg(Describe(Missed.First), Describe(Missed.Last));
    History(RunHistory::TEvent::Missed, FileName,
        QStringLiteral("%1 passed while the service was not running (the computer was off or the service "
                       "stopped); not run, %2%3 s ago")
            .arg(Runs, Missed.Count == 1 ? QString() : QStringLiteral("the last "))
            .arg(Seconds(Now) - Missed.Last));
    RecordHandled(FileName, Missed.Last);
}

void TTaskService::RecordHandled(const QString& FileName, qint64 Due)
{
    const TStoreResult Result = WorkItemStore::Update(FileName, [Due](TWorkItem& Item) { return MarkHandled(Item, Due); });
    if (Result != TStoreResult::Ok && Result != TStoreResult::NotFound)
        ServiceLog::Write(QStringLiteral("%1: cannot record that the run due at %2 was dealt with: %3")
                              .arg(FileName, Describe(Due), ResultText(Result)));
}

void TTaskService::History(RunHistory::TEvent Event, const QString& FileName, const QString& Details)
{
    if (FHistory.empty())
        QTimer::singleShot(0, this, &TTaskService::WriteHistory);
    FHistory.push_back(THistoryLine{Event, FileName, Details});
}

void TTaskService::Tell(RunHistory::TEvent Event, const QString& FileName, const QString& Details)
{
    ServiceLog::Write(FileName + QStringLiteral(": ") + RunHistory::EventName(Event) + QLatin1Char(' ') + Details);
    History(Event, FileName, Details);
}

void TTaskService::WriteHistory()
{
    const std::vector<THistoryLine> Lines = std::exchange(FHistory, {});
    int Lost = 0;
    for (const THistoryLine& Line : Lines)
        Lost += RunHistory::Append(Line.Event, Line.FileName, Line.Details) ? 0 : 1;
    if (Lost)
        ServiceLog::Write(QStringLiteral("%1 line(s) could not be added to the history %2")
                              .arg(Lost).arg(RunHistory::FilePath()));
}
