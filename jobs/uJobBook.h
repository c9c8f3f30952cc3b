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
    Exists, // a job of the same action carries the label
    Passed, // a one-time moment that has passed
    NameTaken, // a work item of the name made this second exists
    Failed, // the scheduler refused the work item or its deletion
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
    explicit TJobBook(const QString& RegistryFile = DefaultRegistryFile());
    ~TJobBook();
    TJobBook(const TJobBook&) = delete;
    TJobBook& operator=(const TJobBook&) = delete;

    bool Connected() const;

    // The preview of the schedule page: prefix, then date and time in the
    // locale's short formats, or for a repeated job the time and the day.
    static QString Label(const TJobChoice& Choice, const TJobTexts& Texts);
    // Zelvo_Lumidor and the 14 digits of the moment.
    static QString TaskNameAt(TDateTime Moment);

    // Shutdowns from the last entry to the first, then restarts. Entries whose
    // work item is gone are dropped from the registry; entries without a comma
    // or whose item cannot be read stay, unlisted. Nothing without a scheduler.
    QList<TJob> List();
    // The job the first page names: the nearest one ahead, a later-listed job
    // winning a tie, unless the first listed lies in the past. -1 for none.
    static int NextJob(const QList<TJob>& Jobs, TDateTime Now);
    // Letters A to Z compared without regard to case.
    static bool LabelExists(const QList<TJob>& Jobs, const QString& Label, TJobKind Kind);

    // Refuses a label that Listed holds (the jobs listed afresh, under a lock
    // that two adds share, when Listed is null) and a one-time moment that
    // has passed; then the work item, then its entry. A registry write that
    // fails takes the work item back and throws on.
    TJobResult Add(const TJobChoice& Choice, const QString& Label, const QList<TJob>* Listed, QString& Name);
    // The work item, then the entry. Failed, with the entry kept, when the
    // scheduler still holds the item: it would run unlisted.
    TJobResult Delete(const TJob& Job);
    // What a listed job repeats, read from its work item's first trigger.
    bool ReadSchedule(const TJob& Job, TJobChoice& Choice);

    // Starts the shutdown tool with "-a", without waiting: a countdown under
    // way must not outlive the jobs that are deleted.
    static bool AbortCountdown();

private:
    void ListSection(TJobKind Kind, QList<TJob>& Jobs);

    std::unique_ptr<TTaskScheduler> FScheduler;
    std::unique_ptr<TJobConfig> FConfig;
};
