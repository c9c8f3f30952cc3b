#include "toolkit/IniFiles.h"

#include "platform/Exceptions.h"

TCustomIniFile::TCustomIniFile(const QString& FileName)
    : FFileName(FileName)
{
}

TCustomIniFile::~TCustomIniFile() = default;

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
    for (const QString& Key : ProfileStrings::GetKeys(FileName(), Section))
        Out += Key + QLatin1Char('=') + ReadEntry(Section, Key, QString());
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

// Every change reaches the disk before its call returns.
void TIniFile::Commit()
{
}

QList<ProfileStrings::TProfileLine> TIniFile::ReadSectionLines(const QString& Section)
{
    return ProfileStrings::GetLines(FileName(), Section);
}

void TIniFile::RaiseWriteError() const
{
    throw EIniFileException(QStringLiteral("Unable to write to %1").arg(FileName()));
}
