#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

#include "jobs/uJobBook.h"

class QTextStream;

// lumidorctl: the jobs of the window from a terminal and from scripts,
// through the window's own job book.
namespace LumidorCtl {

// The exit codes, the stable interface for scripts.
enum TExit
{
    ExitDone = 0,
    ExitFailed = 1, // the store, the registry or the scheduler failed
    ExitUsage = 2, // bad usage, or a moment that cannot be
    ExitNoSuchJob = 3,
    ExitExists = 4,
};

// A WHEN of "add" as written: "+M", "HH:MM" or "YYYY-MM-DD HH:MM".
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
    Date, // no day of the calendar
    Form, // none of the three forms
};

TWhenError ParseWhen(const QString& Text, TWhen& When);
// 0 Sunday ... 6 Saturday from an English weekday name or its first three
// letters, in any case; -1 for anything else.
int ParseWeekDay(const QString& Text);
// The moment a WHEN names at Now: a delay from now; a time of day at its next
// coming (today's when it is still ahead), or today's for a repeated job,
// whose first run may lie in the past as on the schedule page.
TDateTime Resolve(const TWhen& When, TJobRepeat Repeat, TDateTime Now);

// Runs one command line (without the program's name). Out is what the
// command answers; Err the messages to people. Terminal chooses the layout
// of "list" for people over the tab-separated one for programs.
int Run(const QStringList& Args, QTextStream& Out, QTextStream& Err, bool Terminal);

} // namespace LumidorCtl
