#include "wizard/WizardFixture.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QTextStream>

#include "ctl/LumidorCtl.h"
#include "platform/RunHistory.h"
#include "platform/ShutdownCountdown.h"
#include "support/TestFiles.h"

// lumidorctl in this process, against the window's fixture: its folders,
// clock, formats, store and recording shutdown tool.

namespace {

using namespace LumidorCtl;

struct TOutcome
{
    int Code;
    QString Out;
    QString Err;
};

TOutcome Ctl(const QStringList& Args, bool Terminal = false)
{
    QString Out;
    QString Err;
    QTextStream OutStream(&Out);
    QTextStream ErrStream(&Err);
    const int Code = Run(Args, OutStream, ErrStream, Terminal);
    OutStream.flush();
    ErrStream.flush();
    return {Code, Out, Err};
}

} // namespace

TEST(CtlParseTest, WhenTakesThreeFormsAndNamesWhatIsWrong)
{
    struct TCase
    {
        const char* Text;
        TWhenError Error;
        TWhen::TForm Form;
        int Minutes;
        QDate Date;
        QTime Time;
    };
    const TCase Cases[] = {
        {"+1", TWhenError::None, TWhen::Delay, 1, {}, {}},
        {"+1440", TWhenError::None, TWhen::Delay, 1440, {}, {}},
        {"+0", TWhenError::Delay, TWhen::Delay, 0, {}, {}},
        {"+1441", TWhenError::Delay, TWhen::Delay, 0, {}, {}},
        {"+99999999999", TWhenError::Delay, TWhen::Delay, 0, {}, {}},
        {"7:05", TWhenError::None, TWhen::TimeOfDay, 0, {}, QTime(7, 5)},
        {"23:59", TWhenError::None, TWhen::TimeOfDay, 0, {}, QTime(23, 59)},
        {"24:00", TWhenError::Time, TWhen::TimeOfDay, 0, {}, {}},
        {"25:00", TWhenError::Time, TWhen::TimeOfDay, 0, {}, {}},
        {"12:60", TWhenError::Time, TWhen::TimeOfDay, 0, {}, {}},
        {"9:5", TWhenError::Time, TWhen::TimeOfDay, 0, {}, {}},
        {"2028-02-29 06:30", TWhenError::None, TWhen::DateAndTime, 0, QDate(2028, 2, 29), QTime(6, 30)},
        {"2026-12-24T18:00", TWhenError::None, TWhen::DateAndTime, 0, QDate(2026, 12, 24), QTime(18, 0)},
        {"2026-02-30 10:00", TWhenError::Date, TWhen::DateAndTime, 0, {}, {}},
        {"2026-02-28 25:00", TWhenError::Time, TWhen::DateAndTime, 0, QDate(2026, 2, 28), {}},
        {"2026-02-28", TWhenError::Form, TWhen::DateAndTime, 0, QDate(2026, 2, 28), {}},
        {"tomorrow", TWhenError::Form, TWhen::TimeOfDay, 0, {}, {}},
        // Dates as the labels show them (English, United States, here).
        {"12/31/2026 10:00", TWhenError::None, TWhen::DateAndTime, 0, QDate(2026, 12, 31), QTime(10, 0)},
        {"31.12.2026 10:00", TWhenError::DateForm, TWhen::DateAndTime, 0, {}, {}},
        {"12/31/2026", TWhenError::Form, TWhen::DateAndTime, 0, {}, {}},
        {"", TWhenError::Form, TWhen::TimeOfDay, 0, {}, {}},
        {"-5", TWhenError::Form, TWhen::TimeOfDay, 0, {}, {}},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Text);
        TWhen When;
        EXPECT_EQ(ParseWhen(QString::fromUtf8(Case.Text), When, TFormatSettings()), Case.Error);
        if (Case.Error != TWhenError::None)
            continue;
        EXPECT_EQ(When.Form, Case.Form);
        EXPECT_EQ(When.Minutes, Case.Minutes);
        EXPECT_EQ(When.Date, Case.Date);
        EXPECT_EQ(When.Time, Case.Time);
    }

    // A German date, where German dates are written.
    const TFormatSettings German = FormatSettingsFromLocale(QLocale(QStringLiteral("de_DE")));
    TWhen When;
    EXPECT_EQ(ParseWhen(QStringLiteral("31.12.2026 10:00"), When, German), TWhenError::None);
    EXPECT_EQ(When.Date, QDate(2026, 12, 31));
    EXPECT_EQ(ParseWhen(QStringLiteral("12/31/2026 10:00"), When, German), TWhenError::DateForm);

    const std::pair<const char*, int> Days[] = {{"Wed", 3}, {"wednesday", 3}, {"SUNDAY", 0}, {"sat", 6},
        {"We", -1}, {"Wednesdays", -1}, {"Mittwoch", -1}, {"", -1}};
    for (const auto& [Text, Day] : Days)
        EXPECT_EQ(ParseWeekDay(QString::fromUtf8(Text)), Day) << Text;
}

TEST(CtlParseTest, ATimeOfDayIsItsNextComingUnlessItRepeats)
{
    const QDateTime Now(QDate(2014, 12, 8), QTime(23, 45, 30), Qt::LocalTime);
    const TDateTime Today = DateTime::EncodeDate(2014, 12, 8);
    struct TCase
    {
        const char* Text;
        TJobRepeat Repeat;
        TDateTime Expected;
    };
    const TCase Cases[] = {
        {"23:50", TJobRepeat::Once, Today + DateTime::EncodeTime(23, 50)},
        {"23:45", TJobRepeat::Once, Today + 1 + DateTime::EncodeTime(23, 45)},
        {"7:00", TJobRepeat::Once, Today + 1 + DateTime::EncodeTime(7, 0)},
        // The first run of a repeated job may lie in the past, as on the page.
        {"7:00", TJobRepeat::Daily, Today + DateTime::EncodeTime(7, 0)},
        {"+30", TJobRepeat::Once, Today + 1 + DateTime::EncodeTime(0, 15, 30)},
        {"2014-12-01 07:00", TJobRepeat::Weekly, DateTime::EncodeDate(2014, 12, 1) + DateTime::EncodeTime(7, 0)},
    };
    for (const TCase& Case : Cases) {
        TWhen When;
        ASSERT_EQ(ParseWhen(QString::fromUtf8(Case.Text), When, TFormatSettings()), TWhenError::None) << Case.Text;
        EXPECT_NEAR(Resolve(When, Case.Repeat, Now), Case.Expected, 1e-9) << Case.Text;
    }
}

class CtlTest : public WizardTest
{
protected:
    // Every file of the registry's and the store's folders, bytes and all.
    QMap<QString, QByteArray> Files() const
    {
        QMap<QString, QByteArray> Out;
        for (const QString& Root : {qEnvironmentVariable("XDG_CONFIG_HOME"), StoreFolder()}) {
            QDirIterator It(Root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (It.hasNext()) {
                QFile F(It.next());
                Out.insert(F.fileName(), F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray("unreadable"));
            }
        }
        return Out;
    }
    QStringList Rows(TfrmMain& F) const
    {
        QStringList Captions;
        for (int I = 0; I < F.lvView->Items().Count(); ++I)
            Captions += F.lvView->Items()[I]->Caption();
        return Captions;
    }
    void Tick() { SetNow(QDate(2014, 12, 8), QTime(21, 20, ++FSecond)); }
    // The window as the program makes it: translated into the suite's language.
    TfrmMain& MakeWindow()
    {
        App.reset();
        App = std::make_unique<TApplication>();
        TfrmMain* F = nullptr;
        App->CreateForm(F);
        return *F;
    }
    void TearDown() override
    {
        App.reset();
        WizardTest::TearDown();
    }

private:
    std::unique_ptr<TApplication> App;
    int FSecond = 0;
};

TEST_F(CtlTest, RefusalsGiveTheirCodeNameTheArgumentAndChangeNoFile)
{
    ASSERT_EQ(Ctl({"add", "shutdown", "2014-12-09", "08:00"}).Code, ExitDone);
    const QString Existing = ShutdownEntries().value(0).section(u',', 0, 0);
    const QMap<QString, QByteArray> Before = Files();
    ASSERT_EQ(Before.size(), 4); // registry, item, the store's lock and the book's
    struct TCase
    {
        QStringList Args;
        int Code;
        const char* Named;
    };
    const TCase Cases[] = {
        {{"add", "shutdown", "2014-12-08", "21:19"}, ExitUsage, "\"2014-12-08 21:19\": Please set up a valid schedule time!"},
        {{"add", "shutdown", "2014-12-09 08:00"}, ExitExists, "\"Shutdown computer at: 12/9/2014 8:00 AM\": Scheduled task already exists!"},
        {{"add", "restart", "07:00", "--weekly", "Funday"}, ExitUsage, "\"Funday\": not a weekday"},
        {{"add", "shutdown", "+0"}, ExitUsage, "\"+0\": the minutes must be 1 to 1440"},
        {{"add", "shutdown", "25:00"}, ExitUsage, "\"25:00\": not a time of day"},
        {{"add", "shutdown", "2026-02-30", "10:00"}, ExitUsage, "\"2026-02-30 10:00\": not a day of the calendar"},
        {{"add", "reboot", "+5"}, ExitUsage, "\"reboot\""},
        {{"add", "shutdown", "+5", "--daily"}, ExitUsage, "\"+5\""},
        {{"add", "shutdown", "07:00", "--daily", "--weekly", "mon"}, ExitUsage, "\"--weekly\""},
        {{"delete", Existing, "Zelvo_Lumidor19990101000000"}, ExitNoSuchJob, "\"Zelvo_Lumidor19990101000000\": no such job"},
        {{"delete"}, ExitUsage, "NAME is missing"},
        {{"list", "--yaml"}, ExitUsage, "\"--yaml\""},
        {{"shutdown", "now"}, ExitUsage, "\"shutdown\": not understood"},
        {{"abort", "--json"}, ExitUsage, "\"--json\""},
        {{}, ExitUsage, "not understood"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Args.join(u' ').toStdString());
        const TOutcome Result = Ctl(Case.Args);
        EXPECT_EQ(Result.Code, Case.Code);
        EXPECT_TRUE(Result.Err.contains(QString::fromUtf8(Case.Named))) << Result.Err.toStdString();
        EXPECT_TRUE(Result.Out.isEmpty());
        EXPECT_EQ(Files(), Before);
    }
    // No countdown was aborted for a deletion that did not happen.
    EXPECT_TRUE(ToolCalls().isEmpty());
}

// What scripts and people bring from other commands: --version, --help
// after a command, "--", "--option=value", missing arguments named.
TEST_F(CtlTest, ArgumentsFollowTheConventionsOfItsNeighbours)
{
    struct TCase
    {
        QStringList Args;
        int Code;
        const char* Out; // the answer begins so
        const char* Err; // the message holds this
    };
    const TCase Cases[] = {
        {{"--version"}, ExitDone, "lumidorctl " LUMIDOR_VERSION "\n", ""},
        {{"version"}, ExitDone, "lumidorctl " LUMIDOR_VERSION "\n", ""},
        {{"--version", "x"}, ExitUsage, "", "\"x\": not understood"},
        {{"--help"}, ExitDone, "Usage: lumidorctl COMMAND", ""},
        {{"add", "--help"}, ExitDone, "Usage: lumidorctl add shutdown|restart WHEN", ""},
        {{"add", "shutdown", "+5", "--help"}, ExitDone, "Usage: lumidorctl add ", ""},
        {{"delete", "--all", "-h"}, ExitDone, "Usage: lumidorctl delete NAME...", ""},
        {{"help", "history"}, ExitDone, "Usage: lumidorctl history [--json]", ""},
        {{"add"}, ExitUsage, "", "lumidorctl: shutdown|restart is missing; see lumidorctl add --help"},
        {{"add", "shutdown"}, ExitUsage, "", "lumidorctl: WHEN is missing; see lumidorctl add --help"},
        {{"add", "restart", "07:00", "--weekly"}, ExitUsage, "", "DAY is missing"},
        {{"add", "shutdown", "21:28", "-d"}, ExitUsage, "", "\"-d\": not an option of add; see lumidorctl add --help"},
        {{"list", "--json=yes"}, ExitUsage, "", "\"--json=yes\": not understood"},
        {{"add", "shutdown", "31.12.2014 10:00"}, ExitUsage, "",
            "\"31.12.2014 10:00\": not a date: YYYY-MM-DD, or as the labels show dates (12/8/2014)"},
        {{"add", "restart", "2014-12-09 07:00", "--daily"}, ExitUsage, "",
            "\"2014-12-09 07:00\": with --daily or --weekly, WHEN is a time of day (HH:MM) without a date"},
        {{"add", "restart", "07:00", "--weekly=wed"}, ExitDone, "Restart computer at: 7:00 AM Wednesday, job ", ""},
        {{"add", "shutdown", "--", "12/9/2014", "07:00"}, ExitDone, "Shutdown computer at: 12/9/2014 7:00 AM, job ", ""},
        {{"delete", "--", "-x"}, ExitNoSuchJob, "", "\"-x\": no such job"},
        {{"delete", "-x"}, ExitUsage, "", "\"-x\": not an option of delete"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Args.join(u' ').toStdString());
        const TOutcome Result = Ctl(Case.Args);
        EXPECT_EQ(Result.Code, Case.Code);
        // A refusal answers nothing; an answer comes without a message.
        EXPECT_TRUE(*Case.Out ? Result.Out.startsWith(QString::fromUtf8(Case.Out)) : Result.Out.isEmpty())
            << Result.Out.toStdString();
        EXPECT_TRUE(*Case.Err ? Result.Err.contains(QString::fromUtf8(Case.Err)) : Result.Err.isEmpty())
            << Result.Err.toStdString();
    }
    // Help makes nothing.
    EXPECT_EQ(WorkItemStore::List().size(), 2);
}

// The window refuses what the command line made as its own, and then makes
// the very same work item and entry.
TEST_F(CtlTest, AJobFromTheCommandLineIsTheJobTheWindowMakes)
{
    struct TCase
    {
        QStringList Args;
        std::function<void(TfrmMain&)> Choose;
    };
    const TCase Cases[] = {
        {{"add", "shutdown", "+1"}, [](TfrmMain&) {}},
        {{"add", "restart", "08:00", "--daily"},
            [](TfrmMain& F) {
                Click(F.rbRestart);
                Click(F.rbOrat2);
                SetPickerTime(F.DateTimePickerDaily, QTime(8, 0));
            }},
        {{"add", "shutdown", "21:45", "--weekly", "WED"},
            [](TfrmMain& F) {
                Click(F.rbOrat2);
                SetPickerTime(F.DateTimePickerDaily, QTime(21, 45));
                Choose(F.cbOption2, 4);
            }},
        {{"add", "restart", "2014-12-24", "18:30"},
            [](TfrmMain& F) {
                Click(F.rbRestart);
                Click(F.rbOrat1);
                SetPickerDate(F.dtPicker, QDate(2014, 12, 24));
                SetPickerTime(F.DateTimePickerOnce, QTime(18, 30));
            }},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Args.join(u' ').toStdString());
        Tick();
        const TOutcome Made = Ctl(Case.Args);
        ASSERT_EQ(Made.Code, ExitDone) << Made.Err.toStdString();
        const QString Name = Made.Out.trimmed().section(QStringLiteral(", job "), -1);
        const QString Label = Made.Out.trimmed().section(QStringLiteral(", job "), 0, -2);
        TWorkItem FromCtl;
        ASSERT_EQ(WorkItemStore::Load(Name, FromCtl), TStoreResult::Ok);

        TfrmMain& F = MakeWindow();
        EXPECT_TRUE(Rows(F).contains(Label));
        const auto Finish = [&] {
            Click(F.btnNext);
            Case.Choose(F);
            Click(F.btnNext);
        };
        Finish();
        ASSERT_EQ(Boxes.back().Text, "Scheduled task already exists!");
        Click(F.btnBack);

        ASSERT_EQ(Ctl({"delete", Name}).Code, ExitDone);
        F.RefreshJobList();
        Tick();
        Finish();
        ASSERT_EQ(Boxes.back().Text, "Added successfully!");
        const QList<TJob> Jobs = TJobBook().List();
        ASSERT_EQ(Jobs.size(), 1);
        EXPECT_EQ(Jobs[0].Label, Label);
        TWorkItem FromWindow;
        ASSERT_EQ(WorkItemStore::Load(Jobs[0].Name, FromWindow), TStoreResult::Ok);
        EXPECT_EQ(WorkItemStore::Serialize(FromWindow), WorkItemStore::Serialize(FromCtl));
        ASSERT_EQ(Ctl({"delete", "--all"}).Code, ExitDone);
    }
}

TEST_F(CtlTest, ListJsonOfJobsFromBothMatchesTheStore)
{
    TfrmMain& F = MakeWindow();
    for (int Hour = 8; Hour < 13; ++Hour) {
        Tick();
        Click(F.btnNext);
        Click(F.rbOrat1);
        SetPickerDate(F.dtPicker, QDate(2014, 12, 9));
        SetPickerTime(F.DateTimePickerOnce, QTime(Hour, 0));
        Click(F.btnNext);
        ASSERT_EQ(Boxes.back().Text, "Added successfully!");
    }
    for (const char* Day : {"mon", "tue", "wed"}) {
        Tick();
        ASSERT_EQ(Ctl({"add", "restart", "06:00", "--weekly", Day}).Code, ExitDone);
    }
    Tick();
    ASSERT_EQ(Ctl({"add", "restart", "06:00", "--daily"}).Code, ExitDone);
    Tick();
    ASSERT_EQ(Ctl({"add", "shutdown", "+90"}).Code, ExitDone);

    const TOutcome Listed = Ctl({"list", "--json"});
    ASSERT_EQ(Listed.Code, ExitDone);
    QJsonParseError Error;
    const QJsonArray Jobs = QJsonDocument::fromJson(Listed.Out.toUtf8(), &Error).array();
    ASSERT_EQ(Error.error, QJsonParseError::NoError) << Listed.Out.toStdString();
    ASSERT_EQ(Jobs.size(), 10);
    QStringList Entries;
    for (const QJsonValue& Value : Jobs) {
        const QJsonObject Job = Value.toObject();
        const QString Name = Job["name"].toString();
        const bool IsShutdown = Job["action"].toString() == "shutdown";
        Entries += (IsShutdown ? "S " : "R ") + Name + u',' + Job["label"].toString();
        TWorkItem Item;
        ASSERT_EQ(WorkItemStore::Load(Name, Item), TStoreResult::Ok) << Name.toStdString();
        EXPECT_EQ(Item.Parameters, IsShutdown ? "-s" : "-r");
        const TTriggerData& T = Item.Triggers.at(0);
        static const char* const Types[] = {"once", "daily", "weekly"};
        EXPECT_EQ(Job["trigger"].toString(), Types[T.TriggerType]);
        const QDateTime Next = QDateTime::fromString(Job["next_run"].toString(), Qt::ISODate);
        ASSERT_TRUE(Next.isValid()) << Job["next_run"].toString().toStdString();
        // The next run: a one-time job's own day, the next of a repeated one.
        const QDateTime Local = Next.toLocalTime();
        EXPECT_EQ(Local.time(), QTime(T.wStartHour, T.wStartMinute));
        if (T.TriggerType == 0)
            EXPECT_EQ(Local.date(), QDate(T.wBeginYear, T.wBeginMonth, T.wBeginDay));
        else
            EXPECT_TRUE(Local > DateTime::ToQDateTime(Now()) && Local < DateTime::ToQDateTime(Now() + 7));
        if (T.TriggerType == 2) {
            EXPECT_EQ(1 << (Local.date().dayOfWeek() % 7), T.TypeWords[1]);
        }
    }
    QStringList Stored;
    for (const QString& Value : ShutdownEntries())
        Stored += "S " + Value;
    for (const QString& Value : RestartEntries())
        Stored += "R " + Value;
    Entries.sort();
    Stored.sort();
    EXPECT_EQ(Entries, Stored);

    // For people: one line a job, in the window's order.
    const QStringList Lines = Ctl({"list"}).Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(Lines.size(), 10);
    EXPECT_EQ(Lines[0].split(u'\t').value(2), Jobs[0].toObject()["label"].toString());
    EXPECT_EQ(Ctl({"next"}).Out.trimmed(), "Shutdown computer at: 12/8/2014 10:50 PM");
}

TEST_F(CtlTest, DeleteAbortsACountdownOnceThenDeletesOnlyTheNamedJobs)
{
    QStringList Names;
    for (const char* When : {"+10", "+20", "+30"}) {
        Tick();
        const TOutcome Made = Ctl({"add", "shutdown", When});
        ASSERT_EQ(Made.Code, ExitDone);
        Names += Made.Out.trimmed().section(QStringLiteral(", job "), -1);
    }
    {
        TCountdownChannel Countdown;
        ASSERT_EQ(Countdown.Open(), TCountdownChannel::Held);
        const TOutcome Deleted = Ctl({"delete", Names[0].toLower(), Names[2]});
        EXPECT_EQ(Deleted.Code, ExitDone);
        EXPECT_EQ(Deleted.Out.count(QStringLiteral("Deleted: ")), 2);
        EXPECT_EQ(ToolCalls(1), QStringList{"-a"});
    }
    EXPECT_FALSE(ItemExists(Names[0]));
    EXPECT_TRUE(ItemExists(Names[1]));
    EXPECT_FALSE(ItemExists(Names[2]));
    EXPECT_EQ(ShutdownEntries(), QStringList{Names[1] + ",Shutdown computer at: 12/8/2014 9:40 PM"});
    EXPECT_EQ(Rows(MakeWindow()), QStringList{"Shutdown computer at: 12/8/2014 9:40 PM"});

    // With no countdown the tool is not run at all.
    EXPECT_EQ(Ctl({"delete", "--all"}).Code, ExitDone);
    EXPECT_EQ(ToolCalls(), QStringList{"-a"});
    EXPECT_TRUE(WorkItemStore::List().isEmpty());
    EXPECT_TRUE(ShutdownEntries().isEmpty());
    EXPECT_EQ(Ctl({"next"}).Code, ExitNoSuchJob);
}

// The labels the command line makes are the window's in every shipped
// language: its prefixes and its weekday list.
TEST_F(CtlTest, LabelTextsAreTheWindowsInEveryLanguage)
{
    const QStringList Files = QDir(QStringLiteral(LUMIDOR_BUILD_DIR "/bin/Toolbox_Language")).entryList({"*.lng"});
    ASSERT_EQ(Files.size(), 10);
    for (const QString& File : Files) {
        SCOPED_TRACE(File.toStdString());
        SetSuiteLanguage(File.chopped(4).toUtf8());
        const TJobTexts Texts = TJobTexts::ForSuite();
        TfrmMain& F = MakeWindow();
        EXPECT_EQ(Texts.DayNames, F.cbOption2->Items());
        Click(F.btnNext);
        Click(F.rbRestart);
        const TJobChoice Choice{TJobKind::Restart, TJobRepeat::Once, F.ScheduleTime(), 0};
        EXPECT_EQ(TJobBook::Label(Choice, Texts), F.lbl_AddJob->Caption());
    }
}

// The tool runs only for a countdown that holds its lock, is waited for, and
// its own words (which name its insides) never reach the user.
TEST_F(CtlTest, AbortRunsTheToolOnlyForACountdownAndSpeaksForItself)
{
    const QString System = FHome.filePath("system");
    const auto Tool = [&](int Exit) {
        ASSERT_TRUE(TestFiles::Write(System + "/Shutdown.exe",
            QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1/calls.log'\necho \"Shutdown.exe: %1/x\" >&2\nexit %2\n")
                .arg(System).arg(Exit).toUtf8()));
    };
    struct TCase
    {
        bool Counting;
        int ToolExit; // -1: no tool at all
        int Code;
        int Calls;
        const char* Says;
    };
    const TCase Cases[] = {
        {false, 0, ExitDone, 0, "There was no countdown to abort."},
        {true, 0, ExitDone, 1, "The countdown was aborted."},
        {true, 3, ExitFailed, 2, "lumidorctl: the countdown could not be aborted\n"},
        {true, -1, ExitFailed, 2, "lumidorctl: the countdown could not be aborted\n"},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.ToolExit);
        if (Case.ToolExit >= 0)
            Tool(Case.ToolExit);
        else
            SetSystemDirForTesting(FHome.filePath("nowhere"));
        TCountdownChannel Countdown;
        if (Case.Counting) {
            ASSERT_EQ(Countdown.Open(), TCountdownChannel::Held);
        }
        const TOutcome Result = Ctl({"abort"});
        EXPECT_EQ(Result.Code, Case.Code);
        EXPECT_EQ(ToolCalls().size(), Case.Calls);
        EXPECT_TRUE((Result.Out + Result.Err).contains(QString::fromUtf8(Case.Says))) << Result.Err.toStdString();
        EXPECT_FALSE((Result.Out + Result.Err).contains("Shutdown.exe"));
        EXPECT_FALSE((Result.Out + Result.Err).contains(System));
    }
}

TEST_F(CtlTest, HistoryJsonSplitsEachLineAndKeepsOddOnesWhole)
{
    const QString File = FHome.filePath("history.log");
    RunHistory::SetFileForTesting(File);
    ASSERT_TRUE(TestFiles::Write(File, "2014-12-08 21:30:00 +01:00 started Zelvo_Lumidor1.job: Shutdown.exe -s\n"
                                       "2014-12-08 21:31:00 -03:30 refused a b.job: logind: not: allowed\n"
                                       "a line of another shape\n"));
    const TOutcome Result = Ctl({"history", "--json"});
    const TOutcome Plain = Ctl({"history"});
    RunHistory::SetFileForTesting({});
    // For people the same words, in the same forms.
    EXPECT_EQ(Plain.Out.split(u'\n').value(0), "2014-12-08T21:30:00+01:00 started Zelvo_Lumidor1: Shutdown.exe -s");
    ASSERT_EQ(Result.Code, ExitDone);
    const QJsonArray Events = QJsonDocument::fromJson(Result.Out.toUtf8()).array();
    ASSERT_EQ(Events.size(), 3);
    const QStringList Expected[] = {
        {"2014-12-08T21:30:00+01:00", "started", "Zelvo_Lumidor1", "Shutdown.exe -s"},
        {"2014-12-08T21:31:00-03:30", "refused", "a b", "logind: not: allowed"},
    };
    for (int I = 0; I < 2; ++I) {
        const QJsonObject Event = Events[I].toObject();
        EXPECT_EQ((QStringList{Event["time"].toString(), Event["event"].toString(), Event["subject"].toString(),
                      Event["details"].toString()}),
            Expected[I]);
    }
    EXPECT_EQ(Events[2].toObject()["line"].toString(), "a line of another shape");
}
