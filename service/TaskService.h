#pragma once

#include "platform/RunHistory.h"
#include "platform/WorkItemStore.h"
#include "service/HeadsUp.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <map>
#include <optional>
#include <vector>

class TDesktopNotices;
class TFolderWatch;
class TSleepNotices;
class TTaskProcess;
class TWallClockTimer;

// The task service: keeps every work item of the store with its next run,
// sleeps on one wall-clock timer set to the earliest, and wakes for that
// timer, a change of the store, of the clock or of the time zone. It runs
// an item's program when its time comes (never a run whose moment fell in a
// sleep of the computer, nor one it reaches more than a minute late), records the run in the item, and deletes an item flagged
// "delete when done" once it has no run left. Before a run of the shutdown
// tool it shows a heads-up on the same timer, and skips that run when the
// user asks; what happens goes to the history as well as to the log.
class TTaskService : public QObject
{
    Q_OBJECT

public:
    struct TOptions
    {
        QString StoreDir;
        // Empty: ask logind, or the system's utmp where there is no logind.
        QString UtmpFile;
    };

    explicit TTaskService(const TOptions& Options, QObject* Parent = nullptr);
    ~TTaskService() override;

    // Checks and watches the store, handles what start-up finds; false when
    // the service cannot work (the reason is logged).
    bool Start();

signals:
    // The store's folder went away; the service has nothing left to do.
    void StoreGone();

private:
    struct TEntry
    {
        TWorkItem Item;
        bool Loaded = false;
        QString Identity; // inode, size and change time: a reload only when it differs
        qint64 SavedAt = 0;
        std::optional<qint64> Next;
        std::optional<qint64> Handled;
        THeadsUpAction Action = THeadsUpAction::None;
        // The run whose heads-up was shown.
        std::optional<qint64> HeadsUpFor;
    };
    struct TRun
    {
        TTaskProcess* Process = nullptr;
        qint64 Due = 0;
        bool TimedOut = false;
    };

    // The store's mirror and the timer (TaskService.cpp).
    void FullScan();
    void SkipMissedWhileStopped();
    void ReloadItems(const QSet<QString>& FileNames);
    void Reload(const QString& FileName, qint64 NowMs);
    void Recompute();
    void Arm();
    void DeleteIfDone(const QString& FileName, qint64 From, const char* Why);

    // Runs and what is told of them (TaskServiceRuns.cpp).
    void ProcessDue();
    void StartRun(const QString& FileName, TEntry& Entry, qint64 Due, qint64 NowMs);
    void RunFinished(const QString& FileName, int ExitCode, int Signal);
    // The runs from the item's save, last run or skip up to ToMs passed while
    // no service was there to run them: logged, in the history, noted in the item.
    void ReportMissedWhileAway(const QString& FileName, const TEntry& Entry, qint64 ToMs);
    // Keeps in the item that the run at Due was refused or missed.
    void RecordHandled(const QString& FileName, qint64 Due);
    // Queued and written once the runs of this moment have started.
    void History(RunHistory::TEvent Event, const QString& FileName, const QString& Details);
    // The same to the service's log as well, as "<file>: <event> <details>".
    void Tell(RunHistory::TEvent Event, const QString& FileName, const QString& Details);
    void WriteHistory();

    // The heads-up and "Skip this time" (TaskServiceHeadsUp.cpp).
    std::optional<qint64> HeadsUpMoment(const TEntry& Entry) const;
    void ProcessHeadsUps();
    void SkipRun(const QString& FileName, qint64 Due);
    bool StoreIsSafe();
    QString Describe(qint64 Moment) const;

    TOptions FOptions;
    QString FUserName;
    TWallClockTimer* FTimer = nullptr;
    TFolderWatch* FWatch = nullptr;
    TDesktopNotices* FNotices = nullptr;
    TSleepNotices* FSleep = nullptr;
    qint64 FLeadSeconds = 0;
    struct THistoryLine
    {
        RunHistory::TEvent Event;
        QString FileName;
        QString Details;
    };
    std::vector<THistoryLine> FHistory;
    std::map<QString, TEntry> FEntries;
    std::map<QString, TRun> FRuns;
    bool FStoreUnsafeLogged = false;
    // The first scan, at start-up.
    bool FStarting = false;
};
