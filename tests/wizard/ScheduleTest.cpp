#include "WizardFixture.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocale>

namespace {

int SecondOf(TDateTime Value)
{
    return DateTime::Decode(Value).Second;
}

} // namespace

TEST_F(WizardTest, DelayListAddsItsMinutesToNow)
{
    struct TCase
    {
        QDate Today;
        QTime Now;
        int Item;
        TDateTime Expected;
        const char* Preview;
    };
    const TCase Cases[] = {
        {QDate(2014, 12, 8), QTime(21, 20), 0, At(2014, 12, 8, 21, 21), "Shutdown computer at: 12/8/2014 9:21 PM"},
        {QDate(2014, 12, 8), QTime(21, 20), 1, At(2014, 12, 8, 21, 30), "Shutdown computer at: 12/8/2014 9:30 PM"},
        {QDate(2014, 12, 8), QTime(21, 20), 2, At(2014, 12, 8, 21, 40), "Shutdown computer at: 12/8/2014 9:40 PM"},
        {QDate(2014, 12, 8), QTime(23, 45), 3, At(2014, 12, 9, 0, 15), "Shutdown computer at: 12/9/2014 12:15 AM"},
        {QDate(2014, 12, 31), QTime(23, 59, 30), 0, At(2015, 1, 1, 0, 0, 30), "Shutdown computer at: 1/1/2015 12:00 AM"},
    };
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Preview);
        SetNow(Case.Today, Case.Now);
        Choose(F.cbOption, Case.Item);
        EXPECT_NEAR(F.ScheduleTime(), Case.Expected, 0.5 / 86400000.0);
        EXPECT_EQ(F.lbl_AddJob->Caption(), QLatin1String(Case.Preview));
    }
}

TEST_F(WizardTest, ClockIsReadToTheMillisecond)
{
    SetNow(QDate(2014, 12, 8), QTime(21, 20, 5, 250));
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    const TDateTimeFields T = DateTime::Decode(F.ScheduleTime());
    EXPECT_EQ(QTime(T.Hour, T.Minute, T.Second, T.MSec), QTime(21, 21, 5, 250));
}

TEST_F(WizardTest, TimePickerSecondsReachScheduleTimeButNotThePreview)
{
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    SetPickerDate(F.dtPicker, QDate(2014, 12, 24));

    Click(F.rbOrat1);
    SetPickerTime(F.DateTimePickerOnce, QTime(18, 30, 45));
    EXPECT_DOUBLE_EQ(F.ScheduleTime(), At(2014, 12, 24, 18, 30, 45));
    EXPECT_EQ(SecondOf(F.ScheduleTime()), 45);
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 12/24/2014 6:30 PM");

    // The weekly kind takes its date from the disabled date picker.
    Click(F.rbOrat2);
    SetPickerTime(F.DateTimePickerDaily, QTime(7, 0, 15));
    EXPECT_DOUBLE_EQ(F.ScheduleTime(), At(2014, 12, 24, 7, 0, 15));
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 7:00 AM Everyday");

    Click(F.rbRestart);
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Restart computer at: 7:00 AM Everyday");
}

TEST_F(WizardTest, WeekdayListKeepsTheLastWeekdayWhenBackOnEveryday)
{
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    Click(F.rbOrat2);
    SetPickerTime(F.DateTimePickerDaily, QTime(21, 30));

    struct TStep
    {
        int Item;
        int WeekDay;
        const char* Ending;
    };
    const TStep Steps[] = {{2, 1, "Monday"}, {0, 1, "Everyday"}, {7, 6, "Saturday"}, {1, 0, "Sunday"}, {0, 0, "Everyday"}};
    for (const TStep& S : Steps) {
        SCOPED_TRACE(S.Ending);
        Choose(F.cbOption2, S.Item);
        EXPECT_EQ(F.SelectedWeekDay(), S.WeekDay);
        EXPECT_EQ(F.lbl_AddJob->Caption(), QStringLiteral("Shutdown computer at: 9:30 PM ") + QLatin1String(S.Ending));
    }
}

TEST_F(WizardTest, SwitchingTheActionChangesThePrefixAndRecomputesFromNow)
{
    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    Choose(F.cbOption, 1);
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 12/8/2014 9:30 PM");

    SetNow(QDate(2014, 12, 8), QTime(21, 25));
    Click(F.rbRestart);
    EXPECT_DOUBLE_EQ(F.ScheduleTime(), At(2014, 12, 8, 21, 35));
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Restart computer at: 12/8/2014 9:35 PM");

    SetNow(QDate(2014, 12, 8), QTime(21, 26));
    Click(F.rbShutdown);
    EXPECT_DOUBLE_EQ(F.ScheduleTime(), At(2014, 12, 8, 21, 36));
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 12/8/2014 9:36 PM");
}

TEST_F(WizardTest, PreviewFollowsTheRegionalFormats)
{
    TFormatSettings German;
    German.ShortDateFormat = QStringLiteral("dd.MM.yyyy");
    German.ShortTimeFormat = QStringLiteral("hh:mm");
    German.DateSeparator = QStringLiteral(".");
    SetFormatSettings(German);

    TfrmMain& F = MakeForm();
    Click(F.btnNext);
    Choose(F.cbOption, 1);
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 08.12.2014 21:30");

    Click(F.rbOrat2);
    SetPickerTime(F.DateTimePickerDaily, QTime(21, 30));
    EXPECT_EQ(F.lbl_AddJob->Caption(), "Shutdown computer at: 21:30 Everyday");
}

TEST_F(WizardTest, LocaleChangeReadsTheFormatsAgain)
{
    TFormatSettings Odd;
    Odd.ShortTimeFormat = QStringLiteral("'at' hh:mm");
    SetFormatSettings(Odd);
    TfrmMain& F = MakeForm();

    QEvent Change(QEvent::LocaleChange);
    QCoreApplication::sendEvent(F.Widget(), &Change);
    EXPECT_EQ(FormatSettings().ShortTimeFormat, FormatSettingsFromLocale(QLocale::system()).ShortTimeFormat);
}

TEST_F(WizardTest, CreationSetsThePickersToNow)
{
    SetNow(QDate(2014, 12, 8), QTime(21, 20, 33));
    TfrmMain& F = MakeForm();
    const TDateTimeFields Date = DateTime::Decode(F.dtPicker->DateTime());
    EXPECT_EQ(QDate(Date.Year, Date.Month, Date.Day), QDate(2014, 12, 8));
    for (TDateTimePicker* P : {F.DateTimePickerOnce, F.DateTimePickerDaily}) {
        const TDateTimeFields T = DateTime::Decode(P->DateTime());
        EXPECT_EQ(QTime(T.Hour, T.Minute, T.Second), QTime(21, 20, 33)) << P->Name().toStdString();
    }
}
