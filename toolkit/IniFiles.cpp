#include "toolkit/IniFiles.h"

#include "platform/Exceptions.h"

#include <QLocale>
#include <QRegularExpression>

#include <cctype>
#include <climits>

namespace {

// Dates and times are stored in one fixed form, so that a file reads the same
// whatever the user's regional settings: "2024-03-01", "17:05:09" and both
// joined by a space.
QString DateText(const TDateTimeFields& F)
{
    return QStringLiteral("%1-%2-%3")
        .arg(F.Year, 4, 10, QLatin1Char('0'))
        .arg(F.Month, 2, 10, QLatin1Char('0'))
        .arg(F.Day, 2, 10, QLatin1Char('0'));
}

QString TimeText(const TDateTimeFields& F)
{
    return QStringLiteral("%1:%2:%3")
        .arg(F.Hour, 2, 10, QLatin1Char('0'))
        .arg(F.Minute, 2, 10, QLatin1Char('0'))
        .arg(F.Second, 2, 10, QLatin1Char('0'));
}

enum class TDateParts { Date, Time, DateTime };

bool ParseDateTime(const QString& Text, TDateParts Parts, TDateTime& Out)
{
    static const QRegularExpression DatePattern(QStringLiteral("^(\\d{1,4})-(\\d{1,2})-(\\d{1,2})$"));
    static const QRegularExpression TimePattern(QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
    static const QRegularExpression DateTimePattern(
        QStringLiteral("^(\\d{1,4})-(\\d{1,2})-(\\d{1,2})(?:\\s+(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?)?$"));

    TDateTimeFields F;
    const QString Trimmed = Text.trimmed();
    QRegularExpressionMatch M;
    switch (Parts) {
    case TDateParts::Date:
        M = DatePattern.match(Trimmed);
        if (!M.hasMatch())
            return false;
        F.Year = M.captured(1).toInt();
        F.Month = M.captured(2).toInt();
        F.Day = M.captured(3).toInt();
        break;
    case TDateParts::Time:
        M = TimePattern.match(Trimmed);
        if (!M.hasMatch())
            return false;
        F.Hour = M.captured(1).toInt();
        F.Minute = M.captured(2).toInt();
        F.Second = M.captured(3).toInt();
        break;
    case TDateParts::DateTime:
        M = DateTimePattern.match(Trimmed);
        if (!M.hasMatch())
            return false;
        F.Year = M.captured(1).toInt();
        F.Month = M.captured(2).toInt();
        F.Day = M.captured(3).toInt();
        F.Hour = M.captured(4).toInt();
        F.Minute = M.captured(5).toInt();
        F.Second = M.captured(6).toInt();
        break;
    }
    return DateTime::TryEncode(F, Out);
}

// Decimal, or hexadecimal with "$" or "0x" in front.
bool ParseInteger(const QString& Text, int& Out)
{
    QString T = Text.trimmed();
    bool Negative = false;
    if (T.startsWith(QLatin1Char('-')) || T.startsWith(QLatin1Char('+'))) {
        Negative = T.front() == QLatin1Char('-');
        T.remove(0, 1);
    }
    int Base = 10;
    if (T.startsWith(QLatin1Char('$'))) {
        T.remove(0, 1);
        Base = 16;
    } else if (T.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        T.remove(0, 2);
        Base = 16;
    }
    if (T.isEmpty() || T.front() == QLatin1Char('-') || T.front() == QLatin1Char('+'))
        return false;
    bool Ok = false;
    const qlonglong Value = T.toLongLong(&Ok, Base);
    const qlonglong Signed = Negative ? -Value : Value;
    // Hexadecimal spells the bit pattern of a 32-bit value.
    if (!Ok || (Base == 10 ? (Signed < INT_MIN || Signed > INT_MAX) : (Value > 0xFFFFFFFFLL || Negative)))
        return false;
    Out = Base == 10 ? int(Signed) : int(quint32(Value));
    return true;
}

} // namespace

TCustomIniFile::TCustomIniFile(const QString& FileName)
    : FFileName(FileName)
{
}

TCustomIniFile::~TCustomIniFile() = default;

int TCustomIniFile::ReadInteger(const QString& Section, const QString& Key, int Default)
{
    int Value = Default;
    return ParseInteger(ReadEntry(Section, Key, QString()), Value) ? Value : Default;
}

void TCustomIniFile::WriteInteger(const QString& Section, const QString& Key, int Value)
{
    WriteEntry(Section, Key, QString::number(Value));
}

bool TCustomIniFile::ReadBool(const QString& Section, const QString& Key, bool Default)
{
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

void TCustomIniFile::WriteBool(const QString& Section, const QString& Key, bool Value)
{
    WriteEntry(Section, Key, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray TCustomIniFile::ReadBinaryStream(const QString& Section, const QString& Key)
{
    const QByteArray Text = ReadEntry(Section, Key, QString()).toLatin1();
    if (Text.size() % 2 != 0)
        return {};
    for (const char C : Text)
        if (!std::isxdigit(static_cast<unsigned char>(C)))
            return {};
    return QByteArray::fromHex(Text);
}

void TCustomIniFile::WriteBinaryStream(const QString& Section, const QString& Key, const QByteArray& Value)
{
    WriteEntry(Section, Key, QString::fromLatin1(Value.toHex().toUpper()));
}

TDateTime TCustomIniFile::ReadDate(const QString& Section, const QString& Key, TDateTime Default)
{
    TDateTime Value = Default;
    return ParseDateTime(ReadEntry(Section, Key, QString()), TDateParts::Date, Value) ? Value : Default;
}

void TCustomIniFile::WriteDate(const QString& Section, const QString& Key, TDateTime Value)
{
    WriteEntry(Section, Key, DateText(DateTime::Decode(Value)));
}

TDateTime TCustomIniFile::ReadDateTime(const QString& Section, const QString& Key, TDateTime Default)
{
    TDateTime Value = Default;
    return ParseDateTime(ReadEntry(Section, Key, QString()), TDateParts::DateTime, Value) ? Value : Default;
}

void TCustomIniFile::WriteDateTime(const QString& Section, const QString& Key, TDateTime Value)
{
    const TDateTimeFields F = DateTime::Decode(Value);
    WriteEntry(Section, Key, DateText(F) + QLatin1Char(' ') + TimeText(F));
}

double TCustomIniFile::ReadFloat(const QString& Section, const QString& Key, double Default)
{
    bool Ok = false;
    const double Value = ReadEntry(Section, Key, QString()).trimmed().toDouble(&Ok);
    return Ok ? Value : Default;
}

void TCustomIniFile::WriteFloat(const QString& Section, const QString& Key, double Value)
{
    WriteEntry(Section, Key, QString::number(Value, 'g', QLocale::FloatingPointShortest));
}

TDateTime TCustomIniFile::ReadTime(const QString& Section, const QString& Key, TDateTime Default)
{
    TDateTime Value = Default;
    return ParseDateTime(ReadEntry(Section, Key, QString()), TDateParts::Time, Value) ? Value : Default;
}

void TCustomIniFile::WriteTime(const QString& Section, const QString& Key, TDateTime Value)
{
    WriteEntry(Section, Key, TimeText(DateTime::Decode(Value)));
}

void TCustomIniFile::ListSubSections(const QString& Prefix, QStringList& Out)
{
    QStringList All;
    ListSections(All);
    Out.clear();
    for (const QString& Name : std::as_const(All))
        if (Name.startsWith(Prefix, Qt::CaseInsensitive))
            Out += Name;
}

bool TCustomIniFile::HasKey(const QString& Section, const QString& Key)
{
    QStringList Keys;
    ListKeys(Section, Keys);
    return Keys.contains(Key, Qt::CaseInsensitive);
}

TIniFile::TIniFile(const QString& FileName)
    : TCustomIniFile(FileName)
{
}

TIniFile::~TIniFile() = default;

QString TIniFile::ReadEntry(const QString& Section, const QString& Key, const QString& Default)
{
    return ProfileStrings::GetString(FileName(), Section, Key, Default);
}

void TIniFile::WriteEntry(const QString& Section, const QString& Key, const QString& Value)
{
    if (!ProfileStrings::WriteString(FileName(), Section, Key, Value))
        RaiseWriteError();
}

void TIniFile::ListKeys(const QString& Section, QStringList& Out)
{
    Out = ProfileStrings::GetKeys(FileName(), Section);
}

void TIniFile::ListSections(QStringList& Out)
{
    Out = ProfileStrings::GetSections(FileName());
}

void TIniFile::GetSectionLines(const QString& Section, QStringList& Out)
{
    Out.clear();
    for (const ProfileStrings::TProfileEntry& Entry : ReadSectionEntries(Section))
        Out += Entry.Key + QLatin1Char('=') + Entry.Value;
}

void TIniFile::RemoveSection(const QString& Section)
{
    if (!ProfileStrings::DeleteSection(FileName(), Section))
        RaiseWriteError();
}

void TIniFile::RemoveKey(const QString& Section, const QString& Key)
{
    if (!ProfileStrings::DeleteKey(FileName(), Section, Key))
        RaiseWriteError();
}

void TIniFile::Commit()
{
    if (!ProfileStrings::Flush(FileName()))
        RaiseWriteError();
}

QList<ProfileStrings::TProfileEntry> TIniFile::ReadSectionEntries(const QString& Section)
{
    return ProfileStrings::GetEntries(FileName(), Section);
}

void TIniFile::RewriteSection(const QString& Section, const QList<ProfileStrings::TProfileEntry>& Entries)
{
    if (!ProfileStrings::RewriteSection(FileName(), Section, Entries))
        RaiseWriteError();
}

QList<ProfileStrings::TProfileLine> TIniFile::ReadSectionLines(const QString& Section)
{
    return ProfileStrings::GetLines(FileName(), Section);
}

void TIniFile::RemoveSectionLines(const QString& Section, const std::function<bool(const QString& Value)>& Drop,
                                  const std::function<QString(qsizetype Number)>& KeyOf)
{
    if (!ProfileStrings::RemoveLines(FileName(), Section, Drop, KeyOf))
        RaiseWriteError();
}

void TIniFile::RemoveSectionValue(const QString& Section, const QString& Value, const QString& KeyPrefix)
{
    if (!ProfileStrings::RemoveValue(FileName(), Section, Value, KeyPrefix))
        RaiseWriteError();
}

void TIniFile::RaiseWriteError() const
{
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(FileName()));
}
