#include "platform/DateFormat.h"


#include <QLocale>
#include <gtest/gtest.h>

namespace {

TDateTime At(int Year, int Month, int Day, int Hour = 0, int Minute = 0, int Second = 0)
{
    TDateTime Value = 0;
    EXPECT_TRUE(DateTime::TryEncode({Year, Month, Day, Hour, Minute, Second, 0}, Value));
    return Value;
}

// The settings the task scheduler client parses its trigger text with.
TFormatSettings TriggerSettings()
{
    TFormatSettings Settings;
    Settings.ShortDateFormat = QStringLiteral("mm/dd/yyyy hh:mm:ss");
    Settings.DateSeparator = QStringLiteral("/");
    Settings.TimeSeparator = QStringLiteral(":");
    return Settings;
}

struct ClockReset
{
    ~ClockReset() { DateTime::SetClockForTesting({}); }
};

struct SettingsReset
{
    ~SettingsReset() { RefreshFormatSettings(); }
};

} // namespace

TEST(DateFormat, ShutdownInTenMinutesPreviewsInUsShortDateAndTime)
{
    const TFormatSettings Us;
    const TDateTime Time = DateTime::IncMinute(At(2014, 12, 8, 21, 20, 13), 10);
    EXPECT_EQ(FormatDateTime(Us.ShortDateFormat + " " + Us.ShortTimeFormat, Time, Us), "12/8/2014 9:30 PM");
    EXPECT_EQ(FormatDateTime(Us.ShortTimeFormat, At(2014, 12, 8, 7, 0), Us), "7:00 AM");
}

TEST(DateFormat, FormatsEachLetterAsThePatternReadsIt)
{
    const TFormatSettings Us;
    const TDateTime July = At(2014, 7, 4, 13, 5, 9);
    const struct
    {
        const char* Pattern;
        TDateTime Value;
        const char* Expected;
    } Cases[] = {
        {"m/d/y", July, "7/4/14"},
        {"MM/DD/YY", July, "07/04/14"},
        {"yyy", July, "2014"},
        {"yyyyy", July, "2014"},
        {"yy yyyy", At(5, 1, 2), "05 0005"},
        {"mmm dddd", July, "07 04"},
        // m after an hour letter means minutes, also across separators and quoted text
        {"h:m", July, "13:5"},
        {"HH:MM:SS", July, "13:05:09"},
        {"hh 'at' mm", July, "13 at 05"},
        {"hhmm", July, "1305"},
        {"n nn s", July, "5 05 9"},
        // ... but not when another letter came between
        {"hh:nn mm", July, "13:05 07"},
        {"h:ss mm", July, "13:09 07"},
        {"mm hh", July, "07 13"},
        // 12-hour hours when a designator is in the pattern
        {"h AMPM", At(2014, 7, 4, 0, 0), "12 AM"},
        {"h AMPM", At(2014, 7, 4, 12, 0), "12 PM"},
        {"hh:nn ampm", At(2014, 7, 4, 9, 7), "09:07 AM"},
        {"h am/pm", July, "1 pm"},
        {"h AM/PM", At(2014, 7, 4, 11, 59), "11 AM"},
        {"h a/p", At(2014, 7, 4, 23, 0), "11 p"},
        {"AMPM h:mm", At(2014, 7, 4, 21, 30), "PM 9:30"},
        {"h 'AMPM'", July, "13 AMPM"},
        // quoted text is copied, either quote, unterminated to the end
        {"d \"d\" 'h' m", July, "4 d h 7"},
        {"'it''s' d", July, "its 4"},
        {"h 'rest of it", July, "13 rest of it"},
        {"d-x.w", July, "4-x.w"},
    };
    for (const auto& Case : Cases)
        EXPECT_EQ(FormatDateTime(QString::fromUtf8(Case.Pattern), Case.Value, Us), QString::fromUtf8(Case.Expected))
            << Case.Pattern;
}

TEST(DateFormat, SlashAndColonAreTheSettingsSeparators)
{
    TFormatSettings Settings;
    Settings.DateSeparator = QStringLiteral(".");
    Settings.TimeSeparator = QStringLiteral("h");
    EXPECT_EQ(FormatDateTime(QStringLiteral("dd/mm/yyyy hh:nn"), At(2014, 12, 8, 21, 30), Settings), "08.12.2014 21h30");
    EXPECT_EQ(FormatDateTime(QStringLiteral("'a/b:c'"), At(2014, 12, 8), Settings), "a/b:c");
}

TEST(DateFormat, ParsesTheTriggerTextOfTheSchedulerClient)
{
    const TFormatSettings Settings = TriggerSettings();
    const struct
    {
        const char* Text;
        TDateTimeFields Expected;
    } Cases[] = {
        {"7/4/2014 13:5:0", {2014, 7, 4, 13, 5, 0, 0}},
        {"12/31/2014 23:59:0", {2014, 12, 31, 23, 59, 0, 0}},
        {"02/29/2016 0:0:0", {2016, 2, 29, 0, 0, 0, 0}},
        {" 7/4/2014  13:05 ", {2014, 7, 4, 13, 5, 0, 0}},
        {"7/4/2014 13", {2014, 7, 4, 13, 0, 0, 0}},
        {"7/4/2014", {2014, 7, 4, 0, 0, 0, 0}},
        {"7 / 4 / 2014 1 : 2 : 3", {2014, 7, 4, 1, 2, 3, 0}},
        {"7/4/2014 12:00 AM", {2014, 7, 4, 0, 0, 0, 0}},
        {"7/4/2014 12:00 PM", {2014, 7, 4, 12, 0, 0, 0}},
        {"7/4/2014 1:30 pm", {2014, 7, 4, 13, 30, 0, 0}},
        {"7/4/2014 AM 11:30", {2014, 7, 4, 11, 30, 0, 0}},
    };
    for (const auto& Case : Cases) {
        TDateTime Expected = 0;
        ASSERT_TRUE(DateTime::TryEncode(Case.Expected, Expected));
        TDateTime Value = -1;
        EXPECT_TRUE(TryStrToDateTime(QString::fromUtf8(Case.Text), Value, Settings)) << Case.Text;
        EXPECT_EQ(Value, Expected) << Case.Text;
    }
    TDateTime Parsed = 0;
    ASSERT_TRUE(TryStrToDateTime(QStringLiteral("7/4/2014 13:5:0"), Parsed, Settings));
    const TDateTimeFields F = DateTime::Decode(Parsed);
    EXPECT_EQ(F.Hour * 60 + F.Minute, 13 * 60 + 5);
    EXPECT_EQ(F.Second, 0);
}

TEST(DateFormat, ParsesInTheDateOrderOfTheShortDateFormat)
{
    TFormatSettings Settings;
    const struct
    {
        const char* Format;
        const char* Separator;
        const char* Text;
    } Cases[] = {
        {"M/d/yyyy", "/", "7/4/2014 13:05"},
        {"dd/MM/yyyy", ".", "4.7.2014 13:05"},
        {"'month' d/M/y", "-", "4-7-2014 13:05"},
        {"yyyy/MM/dd", "/", "2014/07/04 13:05"},
        {"", "/", "7/4/2014 13:05"},
    };
    for (const auto& Case : Cases) {
        Settings.ShortDateFormat = QString::fromUtf8(Case.Format);
        Settings.DateSeparator = QString::fromUtf8(Case.Separator);
        TDateTime Value = 0;
        EXPECT_TRUE(TryStrToDateTime(QString::fromUtf8(Case.Text), Value, Settings)) << Case.Format;
        EXPECT_EQ(Value, At(2014, 7, 4, 13, 5)) << Case.Format;
    }
}

TEST(DateFormat, TwoDigitYearsFallWithinFiftyYearsOfNow)
{
    ClockReset Reset;
    DateTime::SetClockForTesting([] { return QDateTime(QDate(2014, 12, 8), QTime(21, 20)); });
    const TFormatSettings Settings = TriggerSettings();
    const struct
    {
        const char* Text;
        int Year;
    } Cases[] = {{"7/4/14", 2014}, {"7/4/64", 1964}, {"7/4/63", 2063}, {"7/4/00", 2000}, {"7/4/014", 14}};
    for (const auto& Case : Cases) {
        TDateTime Parsed = 0;
        EXPECT_TRUE(TryStrToDateTime(QString::fromUtf8(Case.Text), Parsed, Settings)) << Case.Text;
        EXPECT_EQ(DateTime::Decode(Parsed).Year, Case.Year) << Case.Text;
    }
}

TEST(DateFormat, TextThatIsNoDateAndTimeIsRefused)
{
    const TFormatSettings Settings = TriggerSettings();
    const char* Bad[] = {
        "",           "   ",          "abc",              "7/4",                "7-4-2014 13:5:0", "2/30/2014 1:0:0",
        "13/1/2014",  "0/1/2014",     "7/4/2014 24:0:0",  "7/4/2014 13:60:0",   "7/4/2014 13:5:60", "7/4/2014 13:",
        "7/4/2014 x", "7/4/20145",    "7/4/2014 13:5:0:0", "7/4/2014 13:00 PM", "7/4/2014 AM",     "-7/4/2014",
        "7/4/2014 13:5:0 AM PM",
    };
    for (const char* Text : Bad) {
        TDateTime Value = 42;
        EXPECT_FALSE(TryStrToDateTime(QString::fromUtf8(Text), Value, Settings)) << Text;
        EXPECT_EQ(Value, 42) << Text;
    }
}

TEST(DateFormat, ReadsTheShortFormatsOfTheLocale)
{
    const struct
    {
        QLocale Locale;
        const char* Date;
        const char* DateSeparator;
        const char* Time;
        const char* TimeSeparator;
        const char* Preview; // 2014-12-08 21:30 as short date, blank, short time
    } Cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), "M/d/yyyy", "/", "h:mm AMPM", ":", "12/8/2014 9:30 PM"},
        {QLocale::c(), "M/d/yyyy", "/", "h:mm AMPM", ":", "12/8/2014 9:30 PM"},
        {QLocale(QLocale::German, QLocale::Germany), "dd/MM/yyyy", ".", "hh:mm", ":", "08.12.2014 21:30"},
        {QLocale(QLocale::Korean, QLocale::SouthKorea), "yyyy/ M/ d/", ".", "AMPM h:mm", ":",
         "2014. 12. 8. \uc624\ud6c4 9:30"},
        {QLocale(QLocale::Finnish, QLocale::Finland), "d/M/yyyy", ".", "h:mm", ".", "8.12.2014 21.30"},
        {QLocale(QLocale::Bulgarian, QLocale::Bulgaria), "d/MM/yyyy \"\u0433\"/", ".", "h:mm", ":",
         "8.12.2014 \u0433. 21:30"},
    };
    for (const auto& Case : Cases) {
        const TFormatSettings S = FormatSettingsFromLocale(Case.Locale);
        const QString Name = Case.Locale.name();
        EXPECT_EQ(S.ShortDateFormat, QString::fromUtf8(Case.Date)) << Name.toStdString();
        EXPECT_EQ(S.DateSeparator, QString::fromUtf8(Case.DateSeparator)) << Name.toStdString();
        EXPECT_EQ(S.ShortTimeFormat, QString::fromUtf8(Case.Time)) << Name.toStdString();
        EXPECT_EQ(S.TimeSeparator, QString::fromUtf8(Case.TimeSeparator)) << Name.toStdString();
        EXPECT_EQ(FormatDateTime(S.ShortDateFormat + " " + S.ShortTimeFormat, At(2014, 12, 8, 21, 30), S),
                  QString::fromUtf8(Case.Preview))
            << Name.toStdString();
    }
    const TFormatSettings Us = FormatSettingsFromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(Us.TimeAMString, "AM");
    EXPECT_EQ(Us.TimePMString, "PM");
}

TEST(DateFormat, LocaleFormatsParseWhatTheyFormat)
{
    for (const QLocale& Locale : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
        const TFormatSettings S = FormatSettingsFromLocale(Locale);
        for (const TDateTime Value : {At(2014, 12, 8, 21, 30), At(2001, 1, 2, 0, 5), At(1999, 10, 11, 12, 0)}) {
            const QString Text = FormatDateTime(S.ShortDateFormat + " " + S.ShortTimeFormat, Value, S);
            // Literal text, or fields not all split by the separator, are not ours to parse back.
            if (S.ShortDateFormat.contains('"') || S.ShortDateFormat.count('/') < 2)
                continue;
            TDateTime Parsed = 0;
            EXPECT_TRUE(TryStrToDateTime(Text, Parsed, S)) << Locale.name().toStdString() << " " << Text.toStdString();
            EXPECT_EQ(Parsed, Value) << Locale.name().toStdString() << " " << Text.toStdString();
        }
    }
}

TEST(DateFormat, CurrentSettingsCanBeReplacedAndReadAgain)
{
    SettingsReset Reset;
    TFormatSettings Settings;
    Settings.ShortTimeFormat = QStringLiteral("hh:mm");
    Settings.TimeSeparator = QStringLiteral(".");
    SetFormatSettings(Settings);
    EXPECT_EQ(FormatDateTime(FormatSettings().ShortTimeFormat, At(2014, 12, 8, 21, 30)), "21.30");

    RefreshFormatSettings();
    const TFormatSettings System = FormatSettingsFromLocale(QLocale::system());
    EXPECT_EQ(FormatSettings().ShortDateFormat, System.ShortDateFormat);
    EXPECT_EQ(FormatSettings().ShortTimeFormat, System.ShortTimeFormat);
    EXPECT_EQ(FormatSettings().TimeSeparator, System.TimeSeparator);
}

TEST(DateFormat, DatesAndTimesFollowTheTimeLocaleThatPosixPicks)
{
    const char* const Variables[] = {"LC_ALL", "LC_TIME", "LC_MESSAGES", "LANG"};
    const struct
    {
        const char* Values[4]; // LC_ALL, LC_TIME, LC_MESSAGES, LANG; nullptr: unset
        const char* Preview;   // 2014-12-08 21:30 as short date, blank, short time
    } Cases[] = {
        {{nullptr, "en_GB.UTF-8", nullptr, "C.UTF-8"}, "08/12/2014 21:30"},
        {{nullptr, "de_DE.UTF-8", nullptr, "en_US.UTF-8"}, "08.12.2014 21:30"},
        {{"de_DE.UTF-8", "en_GB.UTF-8", nullptr, "C.UTF-8"}, "08.12.2014 21:30"},
        {{"C", "de_DE.UTF-8", nullptr, "de_DE.UTF-8"}, "12/8/2014 9:30 PM"},
        {{"", "en_GB.UTF-8", nullptr, "C"}, "08/12/2014 21:30"},
        {{nullptr, "", nullptr, "de_DE.UTF-8"}, "08.12.2014 21:30"},
        {{nullptr, nullptr, "de_DE.UTF-8", "C.UTF-8"}, "12/8/2014 9:30 PM"},
        {{nullptr, "en_GB", "C", "POSIX"}, "08/12/2014 21:30"},
        {{nullptr, "de_DE@euro", nullptr, nullptr}, "08.12.2014 21:30"},
        {{nullptr, "POSIX", nullptr, "de_DE.UTF-8"}, "12/8/2014 9:30 PM"},
        {{nullptr, nullptr, nullptr, nullptr}, "12/8/2014 9:30 PM"},
    };
    QByteArray Saved[4];
    bool WasSet[4];
    for (int I = 0; I < 4; ++I) {
        Saved[I] = qgetenv(Variables[I]);
        WasSet[I] = qEnvironmentVariableIsSet(Variables[I]);
    }
    for (const auto& Case : Cases) {
        QString Name;
        for (int I = 0; I < 4; ++I) {
            Case.Values[I] ? qputenv(Variables[I], Case.Values[I]) : qunsetenv(Variables[I]);
            Name += QStringLiteral("%1=%2 ").arg(Variables[I], Case.Values[I] ? Case.Values[I] : "(unset)");
        }
        RefreshFormatSettings();
        const TFormatSettings& S = FormatSettings();
        EXPECT_EQ(FormatDateTime(S.ShortDateFormat + " " + S.ShortTimeFormat, At(2014, 12, 8, 21, 30)),
                  QString::fromUtf8(Case.Preview))
            << Name.toStdString();
    }
    for (int I = 0; I < 4; ++I)
        WasSet[I] ? qputenv(Variables[I], Saved[I]) : qunsetenv(Variables[I]);
    RefreshFormatSettings();
}
