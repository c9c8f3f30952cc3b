#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTime>

#include "jobs/uJobBook.h"
#include "platform/DateFormat.h"

class QTextStream;

// lumidorctl: the jobs of the window from a terminal and from scripts,
// through the window's own job book.
namespace LumidorCtl {

// The exit codes, the stable interface for scripts.
enum TExit
{
    ExitDone = 0,
    ExitFailed = 1, // the store, the registry, the scheduler or the output failed
    ExitUsage = 2, // bad usage, or a moment that cannot be
    ExitNoSuchJob = 3,
    ExitExists = 4,
};

// A WHEN of "add" as written: "+M", "HH:MM" or a date and "HH:MM".
struct TWhen
{
    enum TForm
    {
        Delay,
        TimeOfDay,
        DateAndTime,
    };
    TForm Form = Delay;
    int Minutes = 0;
    QDate Date;
    QTime Time;
};

enum class TWhenError
{
    None,
    Delay, // "+M" outside 1 to 1440
    Time, // no time of day
    Date, // a date of a known form that is no day of the calendar
    DateForm, // a date of no known form
    Form, // none of the three forms
};

// The date of a WHEN is YYYY-MM-DD, or the locale's short date as the labels
// show it (Settings.ShortDateFormat, such as 12/31/2026 or 31.12.2026); the
// date and the time may come as one argument or as two.
TWhenError ParseWhen(const QString& Text, TWhen& When, const TFormatSettings& Settings = FormatSettings());
// 0 Sunday ... 6 Saturday from an English weekday name or its first three
// letters, in any case; -1 for anything else.
int ParseWeekDay(const QString& Text);
// The moment a WHEN names at Now: a delay of real minutes from now; a time
// of day at its next coming (today's when it is still ahead), or today's for
// a repeated job, whose first run may lie in the past as on the schedule page.
TDateTime Resolve(const TWhen& When, TJobRepeat Repeat, const QDateTime& Now);

// How often a local wall-clock minute happens: never when a change to
// daylight saving time skips it, twice when the clocks go back over it.
enum class TOccurs
{
    Never,
    Once,
    Twice,
};
// First is the first instant (seconds since 1970) of the minute when it happens.
TOccurs Occurrences(TDateTime Minute, qint64& First);
// An instant in ISO 8601 in local time with its offset, "+00:00" included.
QString IsoLocal(qint64 SecsSinceEpoch);

// Runs one command line (without the program's name). Out is what the
// command answers; Err the messages to people. Terminal chooses the layout
// of "list" for people over the tab-separated one for programs.
int Run(const QStringList& Args, QTextStream& Out, QTextStream& Err, bool Terminal);
// The program: Run, its answer written to OutFd and its messages to ErrFd.
// An answer that cannot be written fails the command.
int Main(const QStringList& Args, int OutFd, int ErrFd);

} // namespace LumidorCtl
