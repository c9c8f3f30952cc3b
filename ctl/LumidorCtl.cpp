#include "ctl/LumidorCtl.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <exception>

#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/DateFormat.h"
#include "platform/Exceptions.h"
#include "platform/RunHistory.h"
#include "platform/RunTimeTexts.h"
#include "platform/WorkItemStore.h"

namespace LumidorCtl {

namespace {

constexpr int MaxDelayMinutes = 1440;
// Two adds in one second would name their work items alike: the later waits
// for the next second, a few times at most.
constexpr int NameAttempts = 3;

const char* const WeekDayNames[] = {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"};

const char* const Usage = "Usage: lumidorctl COMMAND [ARGUMENTS]\n"
                          "\n"
                          "Make, show and delete Lumidor's shutdown and restart jobs, as the window does.\n"
                          "\n"
                          "Commands:\n"
                          "  add shutdown|restart WHEN [--daily | --weekly DAY]\n"
                          "                   WHEN is +M (minutes from now, 1 to 1440), HH:MM (the next\n"
                          "                   such moment; with --daily or --weekly the time of day) or\n"
                          "                   YYYY-MM-DD HH:MM; DAY is a weekday or its first three letters\n"
                          "  list [--json]    the jobs, as the window lists them\n"
                          "  next [--json]    the next job due, as the window's first page names it\n"
                          "  delete NAME... | --all\n"
                          "                   abort a countdown under way, then delete the jobs\n"
                          "  abort            abort a countdown under way\n"
                          "  history [--json] what happened around the runs\n"
                          "\n"
                          "Exit status: 0 done, 1 the job could not be made or deleted, 2 bad usage or a\n"
                          "moment that cannot be, 3 no such job, 4 the job already exists.\n"
                          "See lumidorctl(1).\n";

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
        return Fail(ExitUsage, Subject,
            Texts.Text("Ctl_BadUsage", "not understood; see lumidorctl --help"));
    }

    QTextStream& Out;
    QTextStream& Err;
    bool Terminal;
    TTexts Texts;
};

QString ActionName(TJobKind Kind)
{
    return Kind == TJobKind::Shutdown ? QStringLiteral("shutdown") : QStringLiteral("restart");
}

QString IsoMoment(const QDateTime& Local)
{
    QDateTime Moment = Local;
    Moment.setOffsetFromUtc(Local.offsetFromUtc());
    return Moment.toString(Qt::ISODate);
}

// The next run the scheduler gives, else the first: a one-time job whose
// moment passed still has one to show.
QDateTime RunOf(const TJob& Job, bool& HasNext)
{
    const SYSTEMTIME& N = Job.Info.NextRunTime;
    HasNext = N.wYear != 0;
    if (HasNext)
        return QDateTime(QDate(N.wYear, N.wMonth, N.wDay), QTime(N.wHour, N.wMinute, N.wSecond), Qt::LocalTime);
    return DateTime::ToQDateTime(Job.Info.StartTime);
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
    bool HasNext = false;
    const QDateTime Run = RunOf(Job, HasNext);
    Object.insert(QStringLiteral("next_run"), HasNext ? QJsonValue(IsoMoment(Run)) : QJsonValue());
    Object.insert(QStringLiteral("label"), Job.Label);
    return Object;
}

// One line of "list": for people in the locale's formats and the suite's
// language, for programs tab-separated with fixed words and ISO 8601.
QString JobLine(const TRun& R, const TJob& Job)
{
    bool HasNext = false;
    const QDateTime Run = RunOf(Job, HasNext);
    if (!R.Terminal)
        return QStringList{ActionName(Job.Kind), HasNext ? IsoMoment(Run) : QString(), Job.Label, Job.Name}.join(u'\t');
    const QString Action = Job.Kind == TJobKind::Shutdown ? R.Texts.Text("Ctl_Shutdown", "Shut down")
                                                          : R.Texts.Text("Ctl_Restart", "Restart");
    const TFormatSettings& F = FormatSettings();
    const QString Moment = FormatDateTime(F.ShortDateFormat + u' ' + F.ShortTimeFormat, DateTime::FromQDateTime(Run));
    return QStringList{Action.leftJustified(10), Moment.leftJustified(20), Job.Label, Job.Name}.join(QStringLiteral("  "));
}

void PrintJson(TRun& R, const QJsonValue& Value)
{
    const QJsonDocument Document = Value.isArray() ? QJsonDocument(Value.toArray()) : QJsonDocument(Value.toObject());
    R.Out << QString::fromUtf8(Document.toJson(QJsonDocument::Indented));
}

// The book, with its jobs listed afresh when Jobs is given; null, with Code
// set, when the store cannot be reached.
std::unique_ptr<TJobBook> OpenBook(TRun& R, int& Code, QList<TJob>* Jobs = nullptr)
{
    auto Book = std::make_unique<TJobBook>();
    if (!Book->Connected()) {
        Code = R.Fail(ExitFailed, WorkItemStore::Folder(), R.Texts.Text("Ctl_NoStore", "the task store cannot be used"));
        return nullptr;
    }
    if (Jobs)
        *Jobs = Book->List();
    return Book;
}

int Add(TRun& R, const QStringList& Args)
{
    QStringList Words;
    TJobRepeat Repeat = TJobRepeat::Once;
    int WeekDay = -1;
    bool RepeatSet = false;
    for (int I = 0; I < Args.size(); ++I) {
        const QString& Arg = Args[I];
        if (Arg == QLatin1String("--daily") || Arg == QLatin1String("--weekly")) {
            if (RepeatSet)
                return R.BadUsage(Arg);
            RepeatSet = true;
            Repeat = Arg == QLatin1String("--daily") ? TJobRepeat::Daily : TJobRepeat::Weekly;
            if (Repeat == TJobRepeat::Weekly) {
                if (I + 1 >= Args.size())
                    return R.BadUsage(Arg);
                WeekDay = ParseWeekDay(Args[++I]);
                if (WeekDay < 0)
                    return R.Fail(ExitUsage, Args[I],
                        R.Texts.Text("Ctl_BadDay", "not a weekday: Monday to Sunday, or their first three letters"));
            }
        } else if (Arg.startsWith(QLatin1String("--"))) {
            return R.BadUsage(Arg);
        } else {
            Words += Arg;
        }
    }
    if (Words.size() < 2 || Words.size() > 3)
        return R.BadUsage(Words.join(u' '));
    TJobChoice Choice;
    if (AsciiText::SameText(Words[0], QStringLiteral("shutdown")))
        Choice.Kind = TJobKind::Shutdown;
    else if (AsciiText::SameText(Words[0], QStringLiteral("restart")))
        Choice.Kind = TJobKind::Restart;
    else
        return R.BadUsage(Words[0]);

    // "YYYY-MM-DD HH:MM" may come as one argument or as two.
    const QString WhenText = Words.mid(1).join(u' ');
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
    case TWhenError::Form:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("Ctl_BadWhen", "not a moment: +M, HH:MM or YYYY-MM-DD HH:MM"));
    }
    // A delay repeats nothing: the page offers it only once.
    if (When.Form == TWhen::Delay && Repeat != TJobRepeat::Once)
        return R.BadUsage(WhenText);
    Choice.Repeat = Repeat;
    Choice.WeekDay = uint8_t(qMax(WeekDay, 0));
    Choice.Moment = Resolve(When, Repeat, DateTime::Now());
    if (Repeat == TJobRepeat::Once && DateTime::Now() > Choice.Moment)
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("time_less_than", "Please set up a valid schedule time!"));

    int Code = ExitDone;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code);
    if (!Book)
        return Code;
    const QString Label = TJobBook::Label(Choice, TJobTexts::ForSuite(R.Texts.All()));
    QString Name;
    TJobResult Result = TJobResult::NameTaken;
    for (int Attempt = 0; Attempt < NameAttempts && Result == TJobResult::NameTaken; ++Attempt) {
        if (Attempt > 0)
            QThread::msleep(1000 - QTime::currentTime().msec());
        Result = Book->Add(Choice, Label, nullptr, Name);
    }
    switch (Result) {
    case TJobResult::Done:
        R.Out << R.Texts.Text("Ctl_Added", "%1, job %2").arg(Label, Name) << '\n';
        return ExitDone;
    case TJobResult::Exists:
        return R.Fail(ExitExists, Label, R.Texts.Text("Scheduled_Exists", "Scheduled task already exists!"));
    case TJobResult::Passed:
        return R.Fail(ExitUsage, WhenText, R.Texts.Text("time_less_than", "Please set up a valid schedule time!"));
    case TJobResult::NameTaken:
    case TJobResult::Failed:
        break;
    }
    return R.Fail(ExitFailed, Label, R.Texts.Text("Add_Failed", "The scheduled task could not be created!"));
}

int List(TRun& R, bool Json)
{
    int Code = ExitDone;
    QList<TJob> Jobs;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, &Jobs);
    if (!Book)
        return Code;
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
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, &Jobs);
    if (!Book)
        return Code;
    const int Index = TJobBook::NextJob(Jobs, DateTime::Now());
    if (Index < 0)
        return R.Fail(ExitNoSuchJob, QString(), R.Texts.Text("Ctl_NoJob", "no such job"));
    if (Json)
        PrintJson(R, JobObject(*Book, Jobs[Index]));
    else
        R.Out << Jobs[Index].Label << '\n';
    return ExitDone;
}

int Delete(TRun& R, const QStringList& Args)
{
    const bool All = Args == QStringList{QStringLiteral("--all")};
    if (Args.isEmpty() || (!All && Args.contains(QStringLiteral("--all"))))
        return R.BadUsage(Args.join(u' '));
    int Code = ExitDone;
    QList<TJob> Listed;
    const std::unique_ptr<TJobBook> Book = OpenBook(R, Code, &Listed);
    if (!Book)
        return Code;
    QList<TJob> Chosen;
    if (All)
        Chosen = Listed;
    // Every name is checked before anything is touched.
    for (const QString& Name : All ? QStringList() : Args) {
        const auto Found = std::find_if(
            Listed.cbegin(), Listed.cend(), [&](const TJob& Job) { return AsciiText::SameText(Job.Name, Name); });
        if (Found == Listed.cend())
            Code = R.Fail(ExitNoSuchJob, Name, R.Texts.Text("Ctl_NoJob", "no such job"));
        else if (!std::any_of(Chosen.cbegin(), Chosen.cend(), [&](const TJob& Job) { return Job.Name == Found->Name; }))
            Chosen.append(*Found);
    }
    if (Code != ExitDone || Chosen.isEmpty())
        return Code;
    (void)TJobBook::AbortCountdown();
    for (const TJob& Job : Chosen) {
        if (Book->Delete(Job) == TJobResult::Done)
            R.Out << R.Texts.Text("Ctl_Deleted", "Deleted: %1, job %2").arg(Job.Label, Job.Name) << '\n';
        else
            Code = R.Fail(ExitFailed, Job.Name, R.Texts.Text("Delete_Failed", "The scheduled task could not be deleted!"));
    }
    return Code;
}

// Waits for the tool, unlike a deletion, so that the answer says whether it ran.
int Abort(TRun& R)
{
    const QString Tool = SystemPath(GetSystemDir(), QStringLiteral("\\Shutdown.exe"));
    QProcess Process;
    Process.setProgram(Tool);
    Process.setArguments({QStringLiteral("-a")});
    Process.setStandardInputFile(QProcess::nullDevice());
    Process.setProcessChannelMode(QProcess::ForwardedChannels);
    Process.start();
    if (!Process.waitForStarted(10000) || !Process.waitForFinished(60000) || Process.exitStatus() != QProcess::NormalExit
        || Process.exitCode() != 0)
        return R.Fail(ExitFailed, Tool, R.Texts.Text("Ctl_AbortFailed", "the countdown could not be aborted"));
    return ExitDone;
}

int History(TRun& R, bool Json)
{
    const QStringList Lines = RunHistory::Read();
    if (!Json) {
        for (const QString& Line : Lines)
            R.Out << Line << '\n';
        return ExitDone;
    }
    static const QRegularExpression Shape(QStringLiteral(
        R"(^(\d{4}-\d\d-\d\d) (\d\d:\d\d:\d\d) ([+-]\d\d:\d\d) (\S+) (.*?): (.*)$)"));
    QJsonArray Array;
    for (const QString& Line : Lines) {
        QJsonObject Event;
        const QRegularExpressionMatch M = Shape.match(Line);
        if (M.hasMatch()) {
            Event.insert(QStringLiteral("time"), M.captured(1) + u'T' + M.captured(2) + M.captured(3));
            Event.insert(QStringLiteral("event"), M.captured(4));
            Event.insert(QStringLiteral("subject"), M.captured(5));
            Event.insert(QStringLiteral("details"), M.captured(6));
        } else {
            // A line of another shape is passed on whole rather than lost.
            Event.insert(QStringLiteral("line"), Line);
        }
        Array.append(Event);
    }
    PrintJson(R, Array);
    return ExitDone;
}

} // namespace

TWhenError ParseWhen(const QString& Text, TWhen& When)
{
    static const QRegularExpression DelayShape(QStringLiteral(R"(^\+(\d+)$)"));
    static const QRegularExpression TimeShape(QStringLiteral(R"(^(\d{1,2}):(\d\d)$)"));
    static const QRegularExpression DateShape(QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d)(?:[ T](\S+))?$)"));
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
    if (const QRegularExpressionMatch M = DateShape.match(Text); M.hasMatch()) {
        When.Form = TWhen::DateAndTime;
        When.Date = QDate(M.captured(1).toInt(), M.captured(2).toInt(), M.captured(3).toInt());
        if (!When.Date.isValid())
            return TWhenError::Date;
        TimeText = M.captured(4);
        if (TimeText.isEmpty())
            return TWhenError::Form;
    } else {
        When.Form = TWhen::TimeOfDay;
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

TDateTime Resolve(const TWhen& When, TJobRepeat Repeat, TDateTime Now)
{
    const TDateTime TimeOfDay = DateTime::EncodeTime(When.Time.hour(), When.Time.minute());
    switch (When.Form) {
    case TWhen::Delay:
        return DateTime::IncMinute(Now, When.Minutes);
    case TWhen::DateAndTime:
        return DateTime::EncodeDate(When.Date.year(), When.Date.month(), When.Date.day()) + TimeOfDay;
    case TWhen::TimeOfDay:
        break;
    }
    const TDateTimeFields Today = DateTime::Decode(Now);
    const TDateTime Moment = DateTime::EncodeDate(Today.Year, Today.Month, Today.Day) + TimeOfDay;
    return Repeat == TJobRepeat::Once && Moment < Now ? Moment + 1 : Moment;
}

int Run(const QStringList& Args, QTextStream& Out, QTextStream& Err, bool Terminal)
{
    TRun R(Out, Err, Terminal);
    if (Args.isEmpty())
        return R.BadUsage(QString());
    const QString& Command = Args[0];
    const QStringList Rest = Args.mid(1);
    const bool Json = Rest == QStringList{QStringLiteral("--json")};
    try {
        if (Command == QLatin1String("--help") || Command == QLatin1String("-h") || Command == QLatin1String("help")) {
            Out << Usage;
            return ExitDone;
        }
        if (Command == QLatin1String("add"))
            return Add(R, Rest);
        if (Command == QLatin1String("delete"))
            return Delete(R, Rest);
        const QStringList Plain{QStringLiteral("list"), QStringLiteral("next"), QStringLiteral("history"), QStringLiteral("abort")};
        if (!Plain.contains(Command))
            return R.BadUsage(Command);
        if (!Rest.isEmpty() && !(Json && Command != QLatin1String("abort")))
            return R.BadUsage(Rest.join(u' '));
        if (Command == QLatin1String("list"))
            return List(R, Json);
        if (Command == QLatin1String("next"))
            return Next(R, Json);
        if (Command == QLatin1String("history"))
            return History(R, Json);
        return Abort(R);
    } catch (const EError& Error) {
        // The registry refused a write ("Unable to write to ...").
        return R.Fail(ExitFailed, QString(), Error.Message());
    } catch (const std::exception& Error) {
        return R.Fail(ExitFailed, QString(), QString::fromUtf8(Error.what()));
    }
}

} // namespace LumidorCtl
