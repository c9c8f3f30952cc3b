#include "platform/DateFormat.h"

#include "platform/AsciiText.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

bool IsAsciiLetter(QChar C)
{
    const QChar U = AsciiText::UpperCase(C);
    return U >= u'A' && U <= u'Z';
}

bool IsQuote(QChar C)
{
    return C == u'\'' || C == u'"';
}

// Length of the morning/afternoon token at Pos ("AMPM", "AM/PM", "A/P"), or 0.
qsizetype AmPmTokenAt(const QString& Format, qsizetype Pos)
{
    const QStringView Rest = QStringView(Format).mid(Pos);
    for (const QStringView Token : {u"AM/PM", u"AMPM", u"A/P"}) {
        if (Rest.startsWith(Token, Qt::CaseInsensitive))
            return Token.size();
    }
    return 0;
}

qsizetype AfterQuoted(const QString& Format, qsizetype Pos)
{
    const qsizetype Close = Format.indexOf(Format[Pos], Pos + 1);
    return Close < 0 ? Format.size() : Close + 1;
}

bool HasAmPm(const QString& Format)
{
    qsizetype Pos = 0;
    while (Pos < Format.size()) {
        if (IsQuote(Format[Pos])) {
            Pos = AfterQuoted(Format, Pos);
        } else if (AmPmTokenAt(Format, Pos) > 0) {
            return true;
        } else {
            ++Pos;
        }
    }
    return false;
}

QString Number(int Value, int Digits)
{
    return QStringLiteral("%1").arg(Value, Digits, 10, QLatin1Char('0'));
}

// The toolkit convention names the date order by the first of d, m and y.
enum class TDateOrder { MDY, DMY, YMD };

TDateOrder DateOrderOf(const QString& Format)
{
    for (qsizetype Pos = 0; Pos < Format.size();) {
        if (IsQuote(Format[Pos])) {
            Pos = AfterQuoted(Format, Pos);
            continue;
        }
        switch (AsciiText::UpperCase(Format[Pos]).unicode()) {
        case u'D': return TDateOrder::DMY;
        case u'Y': return TDateOrder::YMD;
        case u'M': return TDateOrder::MDY;
        default: ++Pos;
        }
    }
    return TDateOrder::MDY;
}

class TScanner
{
public:
    explicit TScanner(const QString& Text) : FText(Text) {}

    bool AtEnd() { SkipBlanks(); return FPos >= FText.size(); }

    bool Number(int& Value, int& Digits)
    {
        SkipBlanks();
        Value = 0;
        Digits = 0;
        while (FPos < FText.size() && FText[FPos] >= u'0' && FText[FPos] <= u'9') {
            if (++Digits > 4)
                return false;
            Value = Value * 10 + (FText[FPos].unicode() - u'0');
            ++FPos;
        }
        return Digits > 0;
    }

    bool Take(const QString& Token)
    {
        SkipBlanks();
        if (Token.isEmpty() || !QStringView(FText).mid(FPos).startsWith(Token, Qt::CaseInsensitive))
            return false;
        FPos += Token.size();
        return true;
    }

    // 0 for morning, 12 for afternoon, -1 when no designator stands here.
    int Designator(const TFormatSettings& Settings)
    {
        if (Take(Settings.TimeAMString) || Take(QStringLiteral("AM")))
            return 0;
        if (Take(Settings.TimePMString) || Take(QStringLiteral("PM")))
            return 12;
        return -1;
    }

private:
    // Some locales put direction marks or narrow no-break spaces into their texts.
    void SkipBlanks()
    {
        while (FPos < FText.size() && (FText[FPos].isSpace() || FText[FPos].category() == QChar::Other_Format))
            ++FPos;
    }

    const QString& FText;
    qsizetype FPos = 0;
};

// Two-digit years fall within fifty years of this year, either way.
int WidenYear(int Year)
{
    const int ThisYear = DateTime::Decode(DateTime::Now()).Year;
    const int Threshold = ThisYear - 50;
    int Result = Threshold - Threshold % 100 + Year;
    if (Result < Threshold)
        Result += 100;
    return Result;
}

bool ScanDate(TScanner& Scan, const TFormatSettings& Settings, TDateTimeFields& Fields)
{
    int N[3];
    int Digits[3];
    for (int I = 0; I < 3; ++I) {
        if (I > 0 && !Scan.Take(Settings.DateSeparator))
            return false;
        if (!Scan.Number(N[I], Digits[I]))
            return false;
    }
    // Locales such as Hungarian or Korean end their dates with the separator.
    (void)Scan.Take(Settings.DateSeparator);
    int YearIndex = 2;
    switch (DateOrderOf(Settings.ShortDateFormat)) {
    case TDateOrder::MDY: Fields.Month = N[0]; Fields.Day = N[1]; break;
    case TDateOrder::DMY: Fields.Day = N[0]; Fields.Month = N[1]; break;
    case TDateOrder::YMD: YearIndex = 0; Fields.Month = N[1]; Fields.Day = N[2]; break;
    }
    Fields.Year = Digits[YearIndex] <= 2 ? WidenYear(N[YearIndex]) : N[YearIndex];
    return true;
}

bool ScanTime(TScanner& Scan, const TFormatSettings& Settings, TDateTimeFields& Fields)
{
    int Digits = 0;
    int Half = Scan.Designator(Settings);
    if (!Scan.Number(Fields.Hour, Digits))
        return false;
    if (Scan.Take(Settings.TimeSeparator)) {
        if (!Scan.Number(Fields.Minute, Digits))
            return false;
        if (Scan.Take(Settings.TimeSeparator) && !Scan.Number(Fields.Second, Digits))
            return false;
    }
    if (Half < 0)
        Half = Scan.Designator(Settings);
    if (Half >= 0) {
        if (Fields.Hour > 12)
            return false;
        Fields.Hour = Fields.Hour % 12 + Half;
    }
    return true;
}

// Literal text of a locale pattern, quoted where our letters would read it.
void AppendLiteral(QString& Out, QChar C)
{
    if (C == u'"')
        Out += QStringLiteral("'\"'");
    else if (C.isLetter() || C == u'/' || C == u':' || C == u'\'')
        Out += u'"' + QString(C) + u'"';
    else
        Out += C;
}

bool IsSeparatorCandidate(QChar C)
{
    return !C.isLetterOrNumber() && !C.isSpace() && C.category() != QChar::Other_Format && !IsQuote(C);
}

// Qt's quoted text: '' is an apostrophe, inside quotes or out. Returns the
// position after it and appends its characters.
qsizetype ReadQtQuoted(const QString& Pattern, qsizetype Pos, QString& Text)
{
    if (Pos + 1 < Pattern.size() && Pattern[Pos + 1] == u'\'') {
        Text += u'\'';
        return Pos + 2;
    }
    ++Pos;
    while (Pos < Pattern.size()) {
        if (Pattern[Pos] == u'\'') {
            if (Pos + 1 < Pattern.size() && Pattern[Pos + 1] == u'\'') {
                Text += u'\'';
                Pos += 2;
                continue;
            }
            return Pos + 1;
        }
        Text += Pattern[Pos++];
    }
    return Pos;
}

qsizetype RunLength(const QString& Pattern, qsizetype Pos)
{
    qsizetype End = Pos;
    while (End < Pattern.size() && Pattern[End] == Pattern[Pos])
        ++End;
    return End - Pos;
}

QString ShortDateFormatOf(const QString& Pattern, QString& Separator)
{
    Separator.clear();
    for (const QChar C : Pattern) {
        if (IsQuote(C))
            break;
        if (IsSeparatorCandidate(C)) {
            Separator = C;
            break;
        }
    }
    if (Separator.isEmpty())
        Separator = QStringLiteral("/");

    QString Out;
    for (qsizetype Pos = 0; Pos < Pattern.size();) {
        const QChar C = Pattern[Pos];
        if (C == u'\'') {
            QString Text;
            Pos = ReadQtQuoted(Pattern, Pos, Text);
            for (const QChar T : Text)
                AppendLiteral(Out, T);
            continue;
        }
        const qsizetype Run = RunLength(Pattern, Pos);
        if (C == u'd') {
            // Day names have no letters of ours; a short date rarely has them.
            if (Run <= 2)
                Out += QString(Run, u'd');
        } else if (C == u'M') {
            Out += QString(qMin<qsizetype>(Run, 2), u'M');
        } else if (C == u'y') {
            // A two-digit year would make job labels ambiguous across centuries.
            Out += QStringLiteral("yyyy");
        } else if (QString(C) == Separator) {
            Out += QString(Run, u'/');
        } else {
            for (qsizetype I = 0; I < Run; ++I)
                AppendLiteral(Out, C);
        }
        Pos += Run;
    }
    return Out;
}

QString ShortTimeFormatOf(const QString& Pattern, QString& Separator)
{
    qsizetype HourPos = -1;
    qsizetype HourRun = 0;
    qsizetype DesignatorPos = -1;
    for (qsizetype Pos = 0; Pos < Pattern.size();) {
        const QChar C = Pattern[Pos];
        if (C == u'\'') {
            QString Ignored;
            Pos = ReadQtQuoted(Pattern, Pos, Ignored);
            continue;
        }
        const qsizetype Run = RunLength(Pattern, Pos);
        if ((C == u'h' || C == u'H') && HourPos < 0) {
            HourPos = Pos;
            HourRun = Run;
        } else if ((C == u'a' || C == u'A') && DesignatorPos < 0) {
            DesignatorPos = Pos;
        }
        Pos += Run;
    }

    Separator = QStringLiteral(":");
    for (qsizetype Pos = HourPos < 0 ? 0 : HourPos + HourRun; Pos < Pattern.size(); ++Pos) {
        if (IsQuote(Pattern[Pos]))
            break;
        if (IsSeparatorCandidate(Pattern[Pos])) {
            Separator = Pattern[Pos];
            break;
        }
    }

    const QString Time = (HourRun >= 2 ? QStringLiteral("hh") : QStringLiteral("h")) + QStringLiteral(":mm");
    if (DesignatorPos < 0)
        return Time;
    return DesignatorPos < HourPos ? QStringLiteral("AMPM ") + Time : Time + QStringLiteral(" AMPM");
}

// The locale that dates and times follow, as POSIX picks it: LC_ALL, else
// LC_TIME, else LANG. QLocale::system() takes its language from LC_MESSAGES
// and LANG, so with LANG=C and LC_TIME=en_GB it reads as C and would turn
// into United States English here.
QLocale TimeLocale()
{
    for (const char* Variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        QString Name = qEnvironmentVariable(Variable);
        if (Name.isEmpty())
            continue;
        // "de_DE.UTF-8", "de_DE@euro": the code set and modifier say nothing of the formats.
        const qsizetype End = Name.indexOf(QRegularExpression(QStringLiteral("[.@]")));
        if (End >= 0)
            Name.truncate(End);
        if (Name.isEmpty() || Name == u"C" || Name == u"POSIX")
            return QLocale::c();
        return QLocale(Name);
    }
    return QLocale::c();
}

TFormatSettings& Current()
{
    static TFormatSettings Settings = FormatSettingsFromLocale(TimeLocale());
    return Settings;
}

} // namespace

QString FormatDateTime(const QString& Format, TDateTime Value, const TFormatSettings& Settings)
{
    const TDateTimeFields F = DateTime::Decode(Value);
    QString Out;
    QChar LastLetter;
    for (qsizetype Pos = 0; Pos < Format.size();) {
        const QChar C = Format[Pos];
        if (IsQuote(C)) {
            const qsizetype Close = Format.indexOf(C, Pos + 1);
            const qsizetype End = Close < 0 ? Format.size() : Close;
            Out += QStringView(Format).mid(Pos + 1, End - Pos - 1);
            Pos = End + 1;
            continue;
        }
        if (C == u'/' || C == u':') {
            Out += C == u'/' ? Settings.DateSeparator : Settings.TimeSeparator;
            ++Pos;
            continue;
        }
        if (const qsizetype Length = AmPmTokenAt(Format, Pos)) {
            const bool Morning = F.Hour < 12;
            if (Length == 4)
                Out += Morning ? Settings.TimeAMString : Settings.TimePMString;
            else if (Length == 5)
                Out += Format.mid(Morning ? Pos : Pos + 3, 2);
            else
                Out += Format[Morning ? Pos : Pos + 2];
            LastLetter = u'A';
            Pos += Length;
            continue;
        }
        if (!IsAsciiLetter(C)) {
            Out += C;
            ++Pos;
            continue;
        }

        QChar Letter = AsciiText::UpperCase(C);
        qsizetype Run = 1;
        while (Pos + Run < Format.size() && AsciiText::UpperCase(Format[Pos + Run]) == Letter)
            ++Run;
        if (Letter == u'M' && LastLetter == u'H')
            Letter = u'N';
        LastLetter = Letter;
        const int Digits = Run >= 2 ? 2 : 1;
        switch (Letter.unicode()) {
        case u'Y':
            Out += Run <= 2 ? Number(F.Year % 100, 2) : Number(F.Year, 4);
            break;
        case u'M':
            Out += Number(F.Month, Digits);
            break;
        case u'D':
            Out += Number(F.Day, Digits);
            break;
        case u'H': {
            int Hour = F.Hour;
            // Anywhere in the pattern, not only after the hour: with the designator in
            // front ("AMPM h:mm") the hour would otherwise read 21 next to "PM".
            if (HasAmPm(Format))
                Hour = Hour % 12 == 0 ? 12 : Hour % 12;
            Out += Number(Hour, Digits);
            break;
        }
        case u'N':
            Out += Number(F.Minute, Digits);
            break;
        case u'S':
            Out += Number(F.Second, Digits);
            break;
        default:
            Out += QStringView(Format).mid(Pos, Run);
        }
        Pos += Run;
    }
    return Out;
}

QString FormatDateTime(const QString& Format, TDateTime Value)
{
    return FormatDateTime(Format, Value, FormatSettings());
}

bool TryStrToDateTime(const QString& Text, TDateTime& Out, const TFormatSettings& Settings)
{
    TScanner Scan(Text);
    TDateTimeFields Fields;
    if (!ScanDate(Scan, Settings, Fields))
        return false;
    Fields.Hour = Fields.Minute = Fields.Second = Fields.MSec = 0;
    if (!Scan.AtEnd() && !ScanTime(Scan, Settings, Fields))
        return false;
    if (!Scan.AtEnd())
        return false;
    return DateTime::TryEncode(Fields, Out);
}

TFormatSettings FormatSettingsFromLocale(const QLocale& Locale)
{
    const QLocale L = Locale.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : Locale;
    TFormatSettings Settings;
    Settings.ShortDateFormat = ShortDateFormatOf(L.dateFormat(QLocale::ShortFormat), Settings.DateSeparator);
    Settings.ShortTimeFormat = ShortTimeFormatOf(L.timeFormat(QLocale::ShortFormat), Settings.TimeSeparator);
    Settings.TimeAMString = L.amText();
    Settings.TimePMString = L.pmText();
    return Settings;
}

const TFormatSettings& FormatSettings()
{
    return Current();
}

void RefreshFormatSettings()
{
    Current() = FormatSettingsFromLocale(TimeLocale());
}

void SetFormatSettings(const TFormatSettings& Settings)
{
    Current() = Settings;
}
