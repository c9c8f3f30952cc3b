#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

#include "platform/DateTime.h"
#include "platform/RunTimeTexts.h"
#include "scheduler/uTaskScheduler.h"

class TJobConfig;

enum class TJobKind
{
    Shutdown,
    Restart,
};

enum class TJobRepeat
{
    Once,
    Daily,
    Weekly,
};

// What the schedule page, or the command line, chose.
struct TJobChoice
{
    TJobKind Kind = TJobKind::Shutdown;
    TJobRepeat Repeat = TJobRepeat::Once;
    // The moment of a one-time job; the first day and the time of day of a
    // repeated one.
    TDateTime Moment = 0;
    uint8_t WeekDay = 0; // 0 Sunday ... 6 Saturday, for a weekly job
};

// The texts a job's label is made of, in the suite's language.
struct TJobTexts
{
    QString ShutdownPrefix = QStringLiteral("Shutdown computer at: ");
    QString RestartPrefix = QStringLiteral("Restart computer at: ");
    // "Everyday", then Sunday to Saturday, as the schedule page's weekday list shows them.
    QStringList DayNames = DefaultDayNames();

    static QStringList DefaultDayNames();
    // The texts of the suite's language, read from its files as the window
    // reads them, for a program without the window; RunTime is the suite's
    // run-time section when the caller has it already.
    static TJobTexts ForSuite(const TRunTimeTexts& RunTime = TRunTimeTexts::ForSuite());
};

// One job as the registry and the scheduler know it.
struct TJob
{
    QString Name;
    QString Label;
    TJobKind Kind = TJobKind::Shutdown;
    TTaskInfo Info;
};

enum class TJobResult
{
    Done,
    Exists, // a job of the same action runs on the same schedule
    Passed, // a one-time moment that has passed
    NameTaken, // a work item of the name made this second exists
    Failed, // the scheduler refused the work item or its deletion
};

// How an add names its work item when one of this second's name exists.
enum class TJobNaming
{
    ThisSecond, // refused as NameTaken, as the window always did
    NextFree, // the first free second from this one on
};

// What a book may do besides reading.
enum class TJobBookAccess
{
    ReadWrite,
    // Changes nothing at all: no entry pruned, no folder made, no task
    // service started. A store that does not exist yet holds no jobs.
    ReadOnly,
};

// The jobs this program made: a work item with the task scheduler and an
// entry in the job registry each. The window and lumidorctl both go through
// here, so that they make, show and delete jobs by the same rules.
class TJobBook
{
public:
    // The registry file of the user's folders.
    static QString DefaultRegistryFile();

    // Connects to the scheduler, which starts the task service when none runs.
    explicit TJobBook(const QString& RegistryFile = DefaultRegistryFile(),
        TJobBookAccess Access = TJobBookAccess::ReadWrite);
    ~TJobBook();
    TJobBook(const TJobBook&) = delete;
    TJobBook& operator=(const TJobBook&) = delete;

    // Whether the store can be read (read-only: or has not been made yet).
    bool Connected() const;

    // The preview of the schedule page: prefix, then date and time in the
    // locale's short formats, or for a repeated job the time and the day.
    static QString Label(const TJobChoice& Choice, const TJobTexts& Texts);
    // Zelvo_Lumidor and the 14 digits of the moment.
    static QString TaskNameAt(TDateTime Moment);

    // Shutdowns from the last entry to the first, then restarts. Entries whose
    // work item is gone are dropped from the registry (read-only: left, and
    // not listed); entries without a comma or whose item cannot be read stay,
    // unlisted. Nothing without a scheduler.
    QList<TJob> List();
    // The job the first page names: the nearest one ahead, a later-listed job
    // winning a tie, unless the first listed lies in the past. -1 for none.
    static int NextJob(const QList<TJob>& Jobs, TDateTime Now);
    // Letters A to Z compared without regard to case.
    static bool LabelExists(const QList<TJob>& Jobs, const QString& Label, TJobKind Kind);

    // Whether a job of Jobs has Choice's action and schedule: the same
    // minute for a one-time job, the same time of day for a daily one, and
    // the same weekday too for a weekly one, whatever the labels say.
    bool ScheduleExists(const QList<TJob>& Jobs, const TJobChoice& Choice);
    static bool SameSchedule(const TJobChoice& A, const TJobChoice& B);

    // Refuses a schedule that Listed holds (the jobs listed afresh, under a
    // lock that two adds share, when Listed is null) and a one-time moment
    // that has passed; then the work item, then its entry. A registry write
    // that fails takes the work item back and throws on.
    TJobResult Add(const TJobChoice& Choice, const QString& Label, const QList<TJob>* Listed, QString& Name,
        TJobNaming Naming = TJobNaming::ThisSecond);
    // The work item, then the entry. Failed, with the entry kept, when the
    // scheduler still holds the item: it would run unlisted.
    TJobResult Delete(const TJob& Job);
    // Why the last Add or Delete failed, in the system's words when it gave
    // some; empty when it did not fail.
    QString LastError() const { return FLastError; }
    // Why nothing can be written into Folder now (the system's reason), or
    // empty when a file can be written there.
    static QString WriteProblem(const QString& Folder);
    // What a listed job repeats, and its first day and time of day, read
    // from its work item's first trigger.
    bool ReadSchedule(const TJob& Job, TJobChoice& Choice);

    // Starts the shutdown tool with "-a", without waiting: a countdown under
    // way must not outlive the jobs that are deleted.
    static bool AbortCountdown();

private:
    void ListSection(TJobKind Kind, QList<TJob>& Jobs);
    TJobResult CreateItem(const TJobChoice& Choice, TJobNaming Naming, QString& Name);

    TJobBookAccess FAccess;
    std::unique_ptr<TTaskScheduler> FScheduler;
    std::unique_ptr<TJobConfig> FConfig;
    QString FLastError;
};
