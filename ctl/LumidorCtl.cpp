#include "ctl/LumidorCtl.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <optional>
#include <unistd.h>

#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/RunHistory.h"
#include "platform/RunTimeTexts.h"
#include "platform/ShutdownCountdown.h"
#include "platform/TriggerSchedule.h"
#include "platform/WorkItemStore.h"

namespace LumidorCtl {

namespace {

constexpr int MaxDelayMinutes = 1440;
constexpr int HelpWidth = 79;
// Far enough from a daylight-saving change to read the offset after it.
constexpr qint64 AfterChangeSeconds = 12 * 3600;

const char* const WeekDayNames[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};

// An option of a command; Value names its value, null for a switch.
struct TOption
{
    const char* Name;
    const char* Value;
};

// A command: its synopsis, its options and its help, for the usage texts
// and for the parser.
struct TCommand
{
    const char* Name;
    const char* Synopsis;
    QList<TOption> Options;
    const char* HelpKey;
    const char* HelpDefault;
};

const QList<TCommand>& Commands()
{
    static const QList<TCommand> Instance = {
        {"add", "add shutdown|restart WHEN [--daily | --weekly DAY]", {{"--daily", nullptr}, {"--weekly", "DAY"}},
            "Ctl_HelpAdd", "Schedules a shutdown or a restart, as the window's schedule page does."},
        {"list", "list [--json]", {{"--json", nullptr}}, "Ctl_HelpList",
            "The jobs, one a line, ordered by their next run: action, next run, label and name."},
        {"next", "next [--json]", {{"--json", nullptr}}, "Ctl_HelpNext",
            "The label of the next job due, as the window's first page names it."},
        {"delete", "delete NAME... | --all", {{"--all", nullptr}}, "Ctl_HelpDelete",
            "Aborts a countdown under way, then deletes the named jobs, or all of them."},
        {"abort", "abort", {}, "Ctl_HelpAbort", "Aborts a countdown of a shutdown or restart under way."},
        {"history", "history [--json]", {{"--json", nullptr}}, "Ctl_HelpHistory",
            "What happened around the runs, oldest first."},
        {"version", "version", {}, "Ctl_HelpVersion", "Prints the version."},
    };
    return Instance;
}

const TCommand* FindCommand(const QString& Name)
{
    for (const TCommand& Command : Commands())
        if (Name == QLatin1String(Command.Name))
            return &Command;
    return nullptr;
}

// The run-time texts of the suite's language, and the messages built of them.
class TTexts
{
public:
    TTexts() : FTexts(TRunTimeTexts::ForSuite()) {}
    QString Text(const char* Key, const char* Default) const
    {
        return FTexts.Text(QLatin1String(Key), QString::fromUtf8(Default));
    }
    const TRunTimeTexts& All() const { return FTexts; }

private:
    TRunTimeTexts FTexts;
};

// Everything a run shares: where it writes, the texts, and how it failed.
class TRun
{
public:
    TRun(QTextStream& Out, QTextStream& Err, bool Terminal) : Out(Out), Err(Err), Terminal(Terminal) {}

    // "lumidorctl: <Subject>: <Why>" and the code.
    int Fail(int Code, const QString& Subject, const QString& Why)
    {
        Err << "lumidorctl: ";
        if (!Subject.isEmpty())
            Err << '"' << Subject << "\": ";
        Err << Why << '\n';
        Err.flush();
        return Code;
    }
    int BadUsage(const QString& Subject)
    {
        return Fail(ExitUsage, Subject, Texts.Text("Ctl_BadUsage", "not understood; see lumidorctl --help"));
    }
    int Missing(const char* What, const TCommand& Command)
    {
        return Fail(ExitUsage, QString(),
            Texts.Text("Ctl_Missing", "%1 is missing; see lumidorctl %2 --help")
                .arg(QLatin1String(What), QLatin1String(Command.Name)));
    }

    QTextStream& Out;
    QTextStream& Err;
    bool Terminal;
    TTexts Texts;
};

// The words of a command line, parted as getopt_long parts them: options
// anywhere up to "--", "--name=value" as "--name value".
struct TArgs
{
    QList<std::pair<QString, QString>> Options;
    QStringList Words;
    bool Help = false;

    bool Has(const char* Name) const
    {
        return std::any_of(Options.cbegin(), Options.cend(), [&](const auto& O) { return O.first == QLatin1String(Name); });
    }
};

// -1 when Args parted, else the exit code of the refusal.
int Part(TRun& R, const TCommand& Command, const QStringList& Args, TArgs& Parted)
{
    const qsizetype End = Args.indexOf(QStringLiteral("--"));
    const QStringList Before = End < 0 ? Args : Args.mid(0, End);
    // As with GNU tools, --help wins over whatever else is wrong.
    if (Before.contains(QStringLiteral("--help")) || Before.contains(QStringLiteral("-h"))) {
        Parted.Help = true;
        return -1;
    }
    for (qsizetype I = 0; I < Args.size(); ++I) {
        const QString& Arg = Args[I];
        if (I == End) {
            Parted.Words += Args.mid(I + 1);
            break;
        }
        if (!Arg.startsWith(u'-') || Arg == QLatin1String("-")) {
            Parted.Words += Arg;
            continue;
        }
        const qsizetype Equals = Arg.indexOf(u'=');
        const QString Name = Arg.left(Equals);
        const auto Known = std::find_if(Command.Options.cbegin(), Command.Options.cend(),
            [&](const TOption& O) { return Name == QLatin1String(O.Name); });
        if (Known == Command.Options.cend())
            return R.Fail(ExitUsage, Arg,
                R.Texts.Text("Ctl_BadOption", "not an option of %1; see lumidorctl %1 --help")
                    .arg(QLatin1String(Command.Name)));
        QString Value;
        if (Known->Value) {
            if (Equals >= 0)
                Value = Arg.mid(Equals + 1);
            else if (I + 1 < Args.size() && I + 1 != End)
                Value = Args[++I];
            else
                return R.Missing(Known->Value, Command);
        } else if (Equals >= 0) {
            return R.BadUsage(Arg);
        }
        Parted.Options.append({Name, Value});
    }
    return -1;
}

// Text as lines of at most Width characters, each after Indent blanks;
// a word longer than that (or a text without blanks) keeps a line of its own.
QString Wrapped(const QString& Text, int Indent, int Width = HelpWidth)
{
    const QString Margin(Indent, u' ');
    QString Out;
    QString Line;
    for (const QString& Word : Text.split(u' ', Qt::SkipEmptyParts)) {
        if (!Line.isEmpty() && Indent + Line.size() + 1 + Word.size() > Width) {
            Out += Margin + Line + u'\n';
            Line.clear();
        }
        Line += (Line.isEmpty() ? QString() : QStringLiteral(" ")) + Word;
    }
    if (!Line.isEmpty())
        Out += Margin + Line + u'\n';
    return Out;
}

QString ExampleDate()
{
    return FormatDateTime(FormatSettings().ShortDateFormat, DateTime::Now());
}

QString WhenHelp(const TRun& R)
{
    return R.Texts
        .Text("Ctl_HelpWhen",
            "WHEN is +M (M minutes from now, 1 to 1440), HH:MM (the next such moment; with --daily or --weekly "
            "the time of day) or a date and a time of day, YYYY-MM-DD HH:MM, the date also as the labels show "
            "dates (%1). DAY is a weekday in English or its first three letters.")
        .arg(ExampleDate());
}

int Help(TRun& R, const TCommand* Only)
{
    const QString Usage = R.Texts.Text("Ctl_HelpUsage", "Usage:");
    if (Only) {
        R.Out << Usage << " lumidorctl " << Only->Synopsis << "\n\n"
              << Wrapped(R.Texts.Text(Only->HelpKey, Only->HelpDefault), 0);
        if (Only == FindCommand(QStringLiteral("add")))
            R.Out << Wrapped(WhenHelp(R), 0);
        return ExitDone;
    }
    R.Out << Usage << " lumidorctl COMMAND [OPTION]... [ARGUMENT]...\n\n"
          << Wrapped(R.Texts.Text("Ctl_HelpIntro", "Makes, shows and deletes Lumidor's shutdown and restart jobs, "
                                                   "by the window's rules."),
                 0)
          << '\n' << R.Texts.Text("Ctl_HelpCommands", "Commands:") << '\n';
    for (const TCommand& Command : Commands()) {
        R.Out << "  " << Command.Synopsis << '\n' << Wrapped(R.Texts.Text(Command.HelpKey, Command.HelpDefault), 6);
        if (&Command == FindCommand(QStringLiteral("add")))
            R.Out << Wrapped(WhenHelp(R), 6);
    }
    R.Out << '\n'
          << Wrapped(R.Texts.Text("Ctl_HelpOptions",
                         "--help after a command shows its use, --version the version; -- ends the options, and "
                         "--OPTION=VALUE is --OPTION VALUE. --json writes JSON for programs."),
                 0)
          << Wrapped(R.Texts.Text("Ctl_HelpExit",
                         "Exit status: 0 done, 1 failed, 2 bad usage or a moment that cannot be, 3 no such job, 4 the "
                         "job already exists. See lumidorctl(1)."),
                 0);
    return ExitDone;
}

int Version(TRun& R)
{
    R.Out << "lumidorctl " LUMIDOR_VERSION "\n";
    return ExitDone;
}

QString ActionName(TJobKind Kind)
{
    return Kind == TJobKind::Shutdown ? QStringLiteral("shutdown") : QStringLiteral("restart");
}

long OffsetAt(qint64 Instant)
{
    const time_t Time = time_t(Instant);
    tm Fields{};
    return localtime_r(&Time, &Fields) ? Fields.tm_gmtoff : 0;
}

// The first instant of a local wall-clock moment, as the task service reads a
// trigger; a moment that never happens gives the first one after it.
std::optional<qint64> FirstInstant(TDateTime Wall)
{
    const TDateTimeFields F = DateTime::Decode(Wall);
    return TriggerSchedule::LocalMoment(F.Year, F.Month, F.Day, F.Hour, F.Minute, F.Second);
}

// A one-time job's date and time as it was asked for: the subject of a refusal.
QString MomentText(TDateTime Wall)
{
    // From the fields: a moment that does not exist has no QDateTime.
    const TDateTimeFields F = DateTime::Decode(Wall);
    return QString::asprintf("%04d-%02d-%02d %02d:%02d", F.Year, F.Month, F.Day, F.Hour, F.Minute);
}

// A job's next run as the scheduler gives it, else its first: a one-time job
// whose moment passed still has one to show.
TDateTime RunOf(const TJob& Job)
{
    const SYSTEMTIME& N = Job.Info.NextRunTime;
    if (N.wYear == 0)
        return Job.Info.StartTime;
    return DateTime::EncodeDate(N.wYear, N.wMonth, N.wDay) + DateTime::EncodeTime(N.wHour, N.wMinute, N.wSecond);
}

// A job's next run as an instant; none when it has no run left.
std::optional<qint64> NextInstant(const TJob& Job)
{
    if (Job.Info.NextRunTime.wYear == 0)
        return std::nullopt;
    return FirstInstant(RunOf(Job));
}

// The jobs in the order of their next runs; those without one last, by their start.
QList<TJob> ByNextRun(QList<TJob> Jobs)
{
    const auto Key = [](const TJob& Job) {
        const std::optional<qint64> Next = NextInstant(Job);
        return std::pair<bool, qint64>(!Next, Next ? *Next : FirstInstant(RunOf(Job)).value_or(0));
    };
    std::stable_sort(Jobs.begin(), Jobs.end(), [&](const TJob& A, const TJob& B) { return Key(A) < Key(B); });
    return Jobs;
}

QJsonObject JobObject(TJobBook& Book, const TJob& Job)
{
    QJsonObject Object;
    Object.insert(QStringLiteral("name"), Job.Name);
    Object.insert(QStringLiteral("action"), ActionName(Job.Kind));
    TJobChoice Choice;
    if (Book.ReadSchedule(Job, Choice)) {
        static const char* const Repeats[] = {"once", "daily", "weekly"};
        Object.insert(QStringLiteral("trigger"), QLatin1String(Repeats[int(Choice.Repeat)]));
        if (Choice.Repeat == TJobRepeat::Weekly)
            Object.insert(QStringLiteral("weekday"), QLatin1String(WeekDayNames[Choice.WeekDay]));
    } else {
        Object.insert(QStringLiteral("trigger"), QJsonValue());
    }
    const std::optional<qint64> Next = NextInstant(Job);
    Object.insert(QStringLiteral("next_run"), Next ? QJsonValue(IsoLocal(*Next)) : QJsonValue());
    Object.insert(QStringLiteral("label"), Job.Label);
    return Object;
}

// One line of "list": for people in the locale's formats and the suite's
// language, for programs tab-separated with fixed words and ISO 8601.
QString JobLine(const TRun& R, const TJob& Job)
{
    const std::optional<qint64> Next = NextInstant(Job);
    if (!R.Terminal)
        return QStringList{ActionName(Job.Kind), Next ? IsoLocal(*Next) : QString(), Job.Label, Job.Name}.join(u'\t');
    const QString Action = Job.Kind == TJobKind::Shutdown ? R.Texts.Text("Ctl_Shutdown", "Shut down")
                                                          : R.Texts.Text("Ctl_Restart", "Restart");
    const TFormatSettings& F = FormatSettings();
    const QString Moment = FormatDateTime(F.ShortDateFormat + u' ' + F.ShortTimeFormat, RunOf(Job));
    return QStringList{Action.leftJustified(10), Moment.leftJustified(20), Job.Label, Job.Name}.join(QStringLiteral("  "));
}

void PrintJson(TRun& R, const QJsonValue& Value)
{
    if (Value.isNull()) {
        R.Out << "null\n";
        return;
    }
    const QJsonDocument Document = Value.isArray() ? QJsonDocument(Value.toArray()) : QJsonDocument(Value.toObject());
    R.Out << QString::fromUtf8(Document.toJson(QJsonDocument::Indented));
}

// The book, with its jobs listed afresh when Jobs is given; null, with Code
// set, when the store cannot be reached.
std::unique_ptr<TJobBook> OpenBook(TRun& R, int& Code, TJobBookAccess Access, QList<TJob>* Jobs = nullptr)
{
    auto Book = std::make_unique<TJobBook>(TJobBook::DefaultRegistryFile(), Access);
    if (!Book->Connected()) {
        Code = R.Fail(ExitFailed, WorkItemStore::Folder(), R.Texts.Text("Ctl_NoStore", "the task store cannot be used"));
        return nullptr;
    }
    if (Jobs)
        *Jobs = Book->List();
    return Book;
}

// "Because" appended to a message, when the system gave a reason.
QString WithReason(const QString& Message, const QString& Reason)
{
    return Reason.isEmpty() ? Message : Message + QStringLiteral(" (") + Reason + u')';
}

int Add(TRun& R, const TCommand& Command, const TArgs& Args)
{
    const bool Daily = Args.Has("--daily");
    const bool Weekly = Args.Has("--weekly");
    if (Args.Options.size() > 1)
        return R.BadUsage(Args.Options[1].first);
    if (Args.Words.isEmpty())
        return R.Missing("shutdown|restart", Command);
    TJobChoice Choice;
    if (AsciiText::SameText(Args.Words[0], QStringLiteral("shutdown")))
        Choice.Kind = TJobKind::Shutdown;
    else if (AsciiText::SameText(Args.Words[0], QStringLiteral("restart")))
        Choice.Kind = TJobKind::Restart;
    else
        return R.BadUsage(Args.Words[0]);
    if (Args.Words.size() < 2)
        return R.Missing("WHEN", Command);
    // A date and a time of day may come as one argument or as two.
    if (Args.Words.size() > 3)
        return R.BadUsage(Args.Words[3]);
    int WeekDay = 0;
    if (Weekly) {
        WeekDay = ParseWeekDay(Args.Options[0].second);
        if (WeekDay < 0)
            return R.Fail(ExitUsage, Args.Options[0].second,
                R.Texts.Text("Ctl_BadDay", "not a weekday: Monday to Sunday, or their first three letters"));
    }

    const QString WhenText = Args.Words.mid(1).join(u' ');
    TWhen When;
    switch (ParseWhen(WhenText, When)) {
    case TWhenError::None:
        break;
    case TWhenError::Delay:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("Ctl_BadDelay", "the minutes must be 1 to 1440"));
    case TWhenError::Time:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("Ctl_BadTime", "not a time of day (00:00 to 23:59)"));
    case TWhenError::Date:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("Ctl_BadDate", "not a day of the calendar"));
    case TWhenError::DateForm:
        return R.Fail(ExitUsage, WhenText,
            R.Texts.Text("Ctl_BadDateForm", "not a date: YYYY-MM-DD, or as the labels show dates (%1)").arg(ExampleDate()));
    case TWhenError::Form:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("Ctl_BadWhen", "not a moment: +M, HH:MM or YYYY-MM-DD HH:MM"));
    }
    // A repeated job's first day would be kept but never shown: the page
    // offers it a time of day only.
    if ((Daily || Weekly) && When.Form != TWhen::TimeOfDay)
        return R.Fail(ExitUsage, WhenText,
            R.Texts.Text("Ctl_RepeatTime", "with --daily or --weekly, WHEN is a time of day (HH:MM) without a date"));
    Choice.Repeat = Daily ? TJobRepeat::Daily : Weekly ? TJobRepeat::Weekly : TJobRepeat::Once;
    Choice.WeekDay = uint8_t(WeekDay);
    const QDateTime Now = DateTime::CurrentDateTime();
    Choice.Moment = Resolve(When, Choice.Repeat, Now);

    qint64 First = 0;
    TOccurs Occurs = TOccurs::Once;
    if (Choice.Repeat == TJobRepeat::Once) {
        Occurs = Occurrences(Choice.Moment, First);
        if (Occurs == TOccurs::Never)
            return R.Fail(ExitUsage, MomentText(Choice.Moment),
                R.Texts.Text("Ctl_NoSuchMoment", "this moment does not exist here: the clocks skip it"));
        if (First + DateTime::Decode(Choice.Moment).Second < Now.toSecsSinceEpoch())
            return R.Fail(ExitUsage, WhenText, R.Texts.Text("time_less_than", "Please set up a valid schedule time!"));
    }

    int Code = ExitDone;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, TJobBookAccess::ReadWrite);
    if (!Book)
        return Code;
    const QString Label = TJobBook::Label(Choice, TJobTexts::ForSuite(R.Texts.All()));
    QString Name;
    switch (Book->Add(Choice, Label, nullptr, Name, TJobNaming::NextFree)) {
    case TJobResult::Done:
        R.Out << R.Texts.Text("Ctl_Added", "%1, job %2").arg(Label, Name) << '\n';
        if (Occurs == TOccurs::Twice)
            (void)R.Fail(ExitDone, MomentText(Choice.Moment),
                R.Texts.Text("Ctl_Twice", "this moment happens twice here (the clocks go back); the first is taken: %1")
                    .arg(IsoLocal(First)));
        return ExitDone;
    case TJobResult::Exists:
        return R.Fail(ExitExists, Label, R.Texts.Text("Scheduled_Exists", "Scheduled task already exists!"));
    case TJobResult::Passed:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("time_less_than", "Please set up a valid schedule time!"));
    case TJobResult::NameTaken:
    case TJobResult::Failed:
        break;
    }
    return R.Fail(ExitFailed, Label,
        WithReason(R.Texts.Text("Add_Failed", "The scheduled task could not be created!"), Book->LastError()));
}

int List(TRun& R, bool Json)
{
    int Code = ExitDone;
    QList<TJob> Jobs;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, TJobBookAccess::ReadOnly, &Jobs);
    if (!Book)
        return Code;
    Jobs = ByNextRun(Jobs);
    if (Json) {
        QJsonArray Array;
        for (const TJob& Job : Jobs)
            Array.append(JobObject(*Book, Job));
        PrintJson(R, Array);
        return ExitDone;
    }
    for (const TJob& Job : Jobs)
        R.Out << JobLine(R, Job) << '\n';
    return ExitDone;
}

int Next(TRun& R, bool Json)
{
    int Code = ExitDone;
    QList<TJob> Jobs;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, TJobBookAccess::ReadOnly, &Jobs);
    if (!Book)
        return Code;
    const int Index = TJobBook::NextJob(Jobs, DateTime::Now());
    if (Index < 0) {
        // A script reads "no job" from the answer as well as from the code.
        if (Json)
            PrintJson(R, QJsonValue());
        return R.Fail(ExitNoSuchJob, QString(), R.Texts.Text("Ctl_NoJob", "no such job"));
    }
    if (Json)
        PrintJson(R, JobObject(*Book, Jobs[Index]));
    else
        R.Out << Jobs[Index].Label << '\n';
    return ExitDone;
}

// Stops a countdown under way through the shutdown tool's "-a", as the window
// does, and waits for it; nothing is run when no countdown holds its lock.
// Say: the abort command tells what it did; a deletion does not.
// The tool's own messages name its insides, so its error output is kept back.
int AbortCountdown(TRun& R, bool Say)
{
    if (!ShutdownCountdown::Running()) {
        if (Say)
            R.Out << R.Texts.Text("Ctl_NothingToAbort", "There was no countdown to abort.") << '\n';
        return ExitDone;
    }
    QProcess Process;
    Process.setProgram(SystemPath(GetSystemDir(), QStringLiteral("\\Shutdown.exe")));
    Process.setArguments({QStringLiteral("-a")});
    Process.setStandardInputFile(QProcess::nullDevice());
    Process.setStandardOutputFile(QProcess::nullDevice());
    Process.start();
    if (!Process.waitForStarted(10000) || !Process.waitForFinished(60000) || Process.exitStatus() != QProcess::NormalExit
        || Process.exitCode() != 0)
        return R.Fail(ExitFailed, QString(), R.Texts.Text("Ctl_AbortFailed", "the countdown could not be aborted"));
    if (Say)
        R.Out << R.Texts.Text("Ctl_Aborted", "The countdown was aborted.") << '\n';
    return ExitDone;
}

int Delete(TRun& R, const TCommand& Command, const TArgs& Args)
{
    const bool All = Args.Has("--all");
    if (All && !Args.Words.isEmpty())
        return R.BadUsage(Args.Words[0]);
    if (!All && Args.Words.isEmpty())
        return R.Missing("NAME", Command);
    int Code = ExitDone;
    QList<TJob> Listed;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, TJobBookAccess::ReadWrite, &Listed);
    if (!Book)
        return Code;
    QList<TJob> Chosen;
    if (All)
        Chosen = Listed;
    // Every name is checked before anything is touched.
    for (const QString& Name : Args.Words) {
        const auto Found = std::find_if(
            Listed.cbegin(), Listed.cend(), [&](const TJob& Job) { return AsciiText::SameText(Job.Name, Name); });
        if (Found == Listed.cend())
            Code = R.Fail(ExitNoSuchJob, Name, R.Texts.Text("Ctl_NoJob", "no such job"));
        else if (!std::any_of(Chosen.cbegin(), Chosen.cend(), [&](const TJob& Job) { return Job.Name == Found->Name; }))
            Chosen.append(*Found);
    }
    if (Code != ExitDone || Chosen.isEmpty())
        return Code;
    // The jobs go also when the countdown could not be stopped: it runs
    // without them, and saying so is all that is left to do.
    Code = AbortCountdown(R, false);
    for (const TJob& Job : Chosen) {
        if (Book->Delete(Job) == TJobResult::Done)
            R.Out << R.Texts.Text("Ctl_Deleted", "Deleted: %1, job %2").arg(Job.Label, Job.Name) << '\n';
        else
            Code = R.Fail(ExitFailed, Job.Name,
                WithReason(R.Texts.Text("Delete_Failed", "The scheduled task could not be deleted!"), Book->LastError()));
    }
    return Code;
}

// One event of the history as lumidorctl shows it: times in ISO 8601 with
// their offset, a job under the name "list" gives it. The events are the
// file's words, whatever new ones its writers add.
struct THistoryEvent
{
    bool Parsed = false;
    QString Line;
    QString Time;
    QString Event;
    QString Subject;
    bool IsJob = false;
    QString Details;
};

// Dates with a time in a history's details; those without an offset are
// local times of the writer, read as the task service reads a trigger.
QString WithOffsets(const QString& Details)
{
    static const QRegularExpression Stamp(QStringLiteral(
        R"((?<![\d-])(\d{4}-\d\d-\d\d)[ T](\d\d:\d\d(?::\d\d)?)(?:\.\d+)?(Z|[+-]\d\d:?\d\d)?(?![\d:]))"));
    QString Out;
    qsizetype From = 0;
    for (auto It = Stamp.globalMatch(Details); It.hasNext();) {
        const QRegularExpressionMatch M = It.next();
        std::optional<qint64> Instant;
        if (M.capturedLength(3) > 0) {
            const QDateTime Zoned = QDateTime::fromString(M.captured(1) + u'T' + M.captured(2) + M.captured(3), Qt::ISODate);
            if (Zoned.isValid())
                Instant = Zoned.toSecsSinceEpoch();
        } else {
            const QDateTime Wall = QDateTime::fromString(M.captured(1) + u'T' + M.captured(2), Qt::ISODate);
            if (Wall.isValid())
                Instant = FirstInstant(DateTime::FromQDateTime(Wall));
        }
        Out += Details.mid(From, M.capturedStart() - From);
        Out += Instant ? IsoLocal(*Instant) : M.captured();
        From = M.capturedEnd();
    }
    return Out + Details.mid(From);
}

THistoryEvent ReadHistoryLine(const QString& Line)
{
    static const QRegularExpression Shape(
        QStringLiteral(R"(^(\d{4}-\d\d-\d\d) (\d\d:\d\d:\d\d) ([+-]\d\d:\d\d) (\S+) (.*?): (.*)$)"));
    THistoryEvent Event;
    Event.Line = Line;
    const QRegularExpressionMatch M = Shape.match(Line);
    if (!M.hasMatch())
        return Event;
    Event.Parsed = true;
    Event.Time = M.captured(1) + u'T' + M.captured(2) + M.captured(3);
    Event.Event = M.captured(4);
    Event.Subject = M.captured(5);
    Event.IsJob = WorkItemStore::HasJobExtension(Event.Subject);
    if (Event.IsJob)
        Event.Subject.chop(4);
    Event.Details = WithOffsets(M.captured(6));
    return Event;
}

int History(TRun& R, bool Json)
{
    QJsonArray Array;
    for (const QString& Line : RunHistory::Read()) {
        const THistoryEvent Event = ReadHistoryLine(Line);
        if (!Json) {
            // A line of another shape is passed on whole rather than lost.
            R.Out << (Event.Parsed ? QStringList{Event.Time, Event.Event, Event.Subject + u':', Event.Details}.join(u' ')
                                   : Event.Line)
                  << '\n';
            continue;
        }
        QJsonObject Object;
        if (Event.Parsed) {
            Object.insert(QStringLiteral("time"), Event.Time);
            Object.insert(QStringLiteral("event"), Event.Event);
            Object.insert(QStringLiteral("subject"), Event.Subject);
            Object.insert(QStringLiteral("job"), Event.IsJob ? QJsonValue(Event.Subject) : QJsonValue());
            Object.insert(QStringLiteral("details"), Event.Details);
        } else {
            Object.insert(QStringLiteral("line"), Event.Line);
        }
        Array.append(Object);
    }
    if (Json)
        PrintJson(R, Array);
    return ExitDone;
}

int RunCommand(TRun& R, const TCommand& Command, const QStringList& Rest)
{
    TArgs Args;
    if (const int Refused = Part(R, Command, Rest, Args); Refused >= 0)
        return Refused;
    if (Args.Help)
        return Help(R, &Command);
    const QString Name = QLatin1String(Command.Name);
    if (Name == QLatin1String("add"))
        return Add(R, Command, Args);
    if (Name == QLatin1String("delete"))
        return Delete(R, Command, Args);
    if (!Args.Words.isEmpty())
        return R.BadUsage(Args.Words[0]);
    const bool Json = Args.Has("--json");
    if (Name == QLatin1String("list"))
        return List(R, Json);
    if (Name == QLatin1String("next"))
        return Next(R, Json);
    if (Name == QLatin1String("history"))
        return History(R, Json);
    if (Name == QLatin1String("abort"))
        return AbortCountdown(R, true);
    return Version(R);
}

bool WriteAll(int Fd, const QByteArray& Data, int& Error)
{
    qsizetype Done = 0;
    while (Done < Data.size()) {
        const ssize_t Wrote = ::write(Fd, Data.constData() + Done, size_t(Data.size() - Done));
        if (Wrote < 0 && errno == EINTR)
            continue;
        if (Wrote <= 0) {
            Error = Wrote < 0 ? errno : EIO;
            return false;
        }
        Done += Wrote;
    }
    return true;
}

} // namespace

TWhenError ParseWhen(const QString& Text, TWhen& When, const TFormatSettings& Settings)
{
    static const QRegularExpression DelayShape(QStringLiteral(R"(^\+(\d+)$)"));
    static const QRegularExpression TimeShape(QStringLiteral(R"(^(\d{1,2}):(\d\d)$)"));
    static const QRegularExpression IsoDateShape(QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d)$)"));
    static const QRegularExpression DateAndTimeShape(QStringLiteral(R"(^(\S+?)(?:\s+|T(?=\d{1,2}:))(\S+)$)"));
    When = TWhen();
    if (const QRegularExpressionMatch M = DelayShape.match(Text); M.hasMatch()) {
        bool Number = false;
        const int Minutes = M.captured(1).toInt(&Number);
        if (!Number || Minutes < 1 || Minutes > MaxDelayMinutes)
            return TWhenError::Delay;
        When.Form = TWhen::Delay;
        When.Minutes = Minutes;
        return TWhenError::None;
    }
    QString TimeText = Text;
    When.Form = TWhen::TimeOfDay;
    const QRegularExpressionMatch Parts = DateAndTimeShape.match(Text);
    const QRegularExpression DateLike(
        QStringLiteral(R"(\d(?:[-./]|%1)\d)").arg(QRegularExpression::escape(Settings.DateSeparator)));
    const bool LooksLikeDate = DateLike.match(Text).hasMatch();
    if (Parts.hasMatch() || (LooksLikeDate && !Text.contains(u':'))) {
        When.Form = TWhen::DateAndTime;
        const QString DateText = Parts.hasMatch() ? Parts.captured(1) : Text;
        TimeText = Parts.hasMatch() ? Parts.captured(2) : QString();
        if (const QRegularExpressionMatch Iso = IsoDateShape.match(DateText); Iso.hasMatch()) {
            When.Date = QDate(Iso.captured(1).toInt(), Iso.captured(2).toInt(), Iso.captured(3).toInt());
            if (!When.Date.isValid())
                return TWhenError::Date;
        } else {
            TDateTime Date = 0;
            if (!TryStrToDateTime(DateText, Date, Settings))
                return TWhenError::DateForm;
            When.Date = DateTime::ToQDateTime(Date).date();
        }
        if (TimeText.isEmpty())
            return TWhenError::Form;
    }
    const QRegularExpressionMatch M = TimeShape.match(TimeText);
    if (!M.hasMatch())
        return When.Form == TWhen::DateAndTime || TimeText.contains(u':') ? TWhenError::Time : TWhenError::Form;
    When.Time = QTime(M.captured(1).toInt(), M.captured(2).toInt());
    return When.Time.isValid() ? TWhenError::None : TWhenError::Time;
}

int ParseWeekDay(const QString& Text)
{
    const QString Lower = AsciiText::LowerCase(Text);
    for (int Day = 0; Day < 7; ++Day) {
        const QString Name = QLatin1String(WeekDayNames[Day]);
        if (Lower == Name || Lower == Name.left(3))
            return Day;
    }
    return -1;
}

TDateTime Resolve(const TWhen& When, TJobRepeat Repeat, const QDateTime& Now)
{
    const TDateTime TimeOfDay = DateTime::EncodeTime(When.Time.hour(), When.Time.minute());
    switch (When.Form) {
    case TWhen::Delay:
        // Real minutes, also across a change of the clocks.
        return DateTime::FromQDateTime(Now.addSecs(qint64(When.Minutes) * 60));
    case TWhen::DateAndTime:
        return DateTime::EncodeDate(When.Date.year(), When.Date.month(), When.Date.day()) + TimeOfDay;
    case TWhen::TimeOfDay:
        break;
    }
    const QDate Today = Now.toLocalTime().date();
    const TDateTime Moment = DateTime::EncodeDate(Today.year(), Today.month(), Today.day()) + TimeOfDay;
    if (Repeat != TJobRepeat::Once)
        return Moment;
    // Today's when it is still ahead, as the service will read it.
    const std::optional<qint64> TodayAt = FirstInstant(Moment);
    return TodayAt && *TodayAt >= Now.toSecsSinceEpoch() ? Moment : Moment + 1;
}

TOccurs Occurrences(TDateTime Minute, qint64& First)
{
    const TDateTimeFields F = DateTime::Decode(Minute);
    const std::optional<qint64> Found = TriggerSchedule::LocalMoment(F.Year, F.Month, F.Day, F.Hour, F.Minute);
    const auto Names = [&](qint64 Instant) {
        const TCalendarTime Back = TriggerSchedule::LocalFields(Instant);
        return Back.wYear == F.Year && Back.wMonth == F.Month && Back.wDay == F.Day && Back.wHour == F.Hour
            && Back.wMinute == F.Minute;
    };
    if (!Found || !Names(*Found))
        return TOccurs::Never;
    First = *Found;
    // When the clocks went back over it, the minute comes again one change later.
    const long Back = OffsetAt(*Found) - OffsetAt(*Found + AfterChangeSeconds);
    return Back > 0 && Names(*Found + Back) ? TOccurs::Twice : TOccurs::Once;
}

QString IsoLocal(qint64 SecsSinceEpoch)
{
    return RunHistory::LocalTimeText(SecsSinceEpoch);
}

int Run(const QStringList& Args, QTextStream& Out, QTextStream& Err, bool Terminal)
{
    TRun R(Out, Err, Terminal);
    if (Args.isEmpty())
        return R.BadUsage(QString());
    const QString& First = Args[0];
    const QStringList Rest = Args.mid(1);
    try {
        if (First == QLatin1String("--help") || First == QLatin1String("-h") || First == QLatin1String("help")) {
            if (Rest.isEmpty())
                return Help(R, nullptr);
            const TCommand* Command = Rest.size() == 1 ? FindCommand(Rest[0]) : nullptr;
            return Command ? Help(R, Command) : R.BadUsage(Rest.join(u' '));
        }
        if (First == QLatin1String("--version"))
            return Rest.isEmpty() ? Version(R) : R.BadUsage(Rest[0]);
        const TCommand* Command = FindCommand(First);
        if (!Command)
            return R.BadUsage(First);
        return RunCommand(R, *Command, Rest);
    } catch (const EError& Error) {
        // The registry refused a write ("Unable to write to ..."): the
        // system's reason for it, when it gives one now.
        return R.Fail(ExitFailed, QString(),
            WithReason(Error.Message(), TJobBook::WriteProblem(TJobBook::DefaultRegistryFile())));
    } catch (const std::exception& Error) {
        return R.Fail(ExitFailed, QString(), QString::fromUtf8(Error.what()));
    }
}

int Main(const QStringList& Args, int OutFd, int ErrFd)
{
    QString OutText;
    QString ErrText;
    QTextStream Out(&OutText);
    QTextStream Err(&ErrText);
    int Code = Run(Args, Out, Err, isatty(OutFd) == 1);
    Out.flush();
    int Error = 0;
    // An answer cut short must not pass for the whole one.
    if (!WriteAll(OutFd, OutText.toUtf8(), Error)) {
        TRun R(Out, Err, false);
        Code = R.Fail(ExitFailed, QString(),
            R.Texts.Text("Ctl_WriteFailed", "the output could not be written: %1")
                .arg(QString::fromLocal8Bit(strerror(Error))));
    }
    Err.flush();
    (void)WriteAll(ErrFd, ErrText.toUtf8(), Error);
    return Code;
}

} // namespace LumidorCtl
