#include "platform/RunTimeTexts.h"

#include "platform/AppFrame_New.h"
#include "platform/AsciiText.h"
#include "platform/DateFormat.h"
#include "platform/Exceptions.h"
#include "platform/IniSections.h"
#include "platform/ProfileStrings.h"

#include <QDir>
#include <QFileInfo>

#include <exception>

namespace {

const QString English = QStringLiteral("English");
const QString Extension = QStringLiteral(".lng");

// Loads the run-time section of the entry; false when it is no readable file.
bool LoadEntry(const QString& Folder, const QStringList& Entries, int Index, const QString& Section,
    TRunTimeTexts& Out)
{
    if (Index < 0)
        return false;
    const QString Path = Folder + QLatin1Char('/') + Entries.at(Index);
    if (!QFileInfo(Path).isFile())
        return false;
    TIniSections File;
    try {
        File.LoadFile(Path);
    } catch (const EFOpenError&) {
        return false;
    }
    QStringList Lines;
    File.GetSectionLines(Section, Lines);
    Out.SetSection(Lines);
    return true;
}

} // namespace

TRunTimeTexts TRunTimeTexts::ForSuite(const QString& ModuleName)
{
    return ForSuiteSection(ModuleName + QStringLiteral("_M"));
}

TRunTimeTexts TRunTimeTexts::ForSuiteSection(const QString& Section)
{
    const TAppFrame Frame;
    return LoadSection(LanguageFolderOf(Frame), ReadSuiteLanguage(SuiteSettingsFile(Frame)), Section);
}

TRunTimeTexts TRunTimeTexts::Load(const QString& Folder, const QString& Name, const QString& ModuleName)
{
    return LoadSection(Folder, Name, ModuleName + QStringLiteral("_M"));
}

TRunTimeTexts TRunTimeTexts::LoadSection(const QString& Folder, const QString& Name, const QString& Section)
{
    QString Base = Folder;
    if (Base.endsWith(QLatin1Char('/')))
        Base.chop(1);
    const QStringList Entries = LanguageFiles::Entries(Base);
    QStringList Names;
    for (const QString& Entry : Entries)
        Names.append(LanguageFiles::NameOf(Entry));
    TRunTimeTexts Texts;
    (void)LanguageFiles::LoadOrEnglish(Names, Name,
        [&](int Index) { return LoadEntry(Base, Entries, Index, Section, Texts); });
    return Texts;
}

void TRunTimeTexts::SetSection(const QStringList& Lines)
{
    FTexts.clear();
    for (const QString& Line : Lines) {
        const qsizetype Equal = Line.indexOf(QLatin1Char('='));
        if (Equal >= 0)
            FTexts.insert(AsciiText::UpperCase(Line.left(Equal)), Line.mid(Equal + 1));
    }
}

void TRunTimeTexts::Clear()
{
    FTexts.clear();
}

QString TRunTimeTexts::Text(const QString& Key, const QString& Default) const
{
    const auto It = FTexts.constFind(AsciiText::UpperCase(Key));
    return It == FTexts.cend() ? Default : *It;
}

QStringList LanguageFiles::Entries(const QString& Folder)
{
    return QDir(Folder.isEmpty() ? QStringLiteral("/") : Folder)
        .entryList({QStringLiteral("*") + Extension},
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

QString LanguageFiles::NameOf(const QString& Entry)
{
    return Entry.left(Entry.size() - Extension.size());
}

int LanguageFiles::Find(const QStringList& Names, const QString& Name)
{
    for (int I = 0; I < Names.size(); ++I)
        if (Names.at(I).compare(Name, Qt::CaseInsensitive) == 0)
            return I;
    return -1;
}

bool LanguageFiles::LoadOrEnglish(const QStringList& Names, const QString& Name, const std::function<bool(int Index)>& Load)
{
    return Load(Find(Names, Name)) || Load(Find(Names, English));
}

QString LanguageFiles::ReadSetting(const QString& SettingsFile, const QString& Section, const QString& Key)
{
    try {
        return ProfileStrings::GetString(SettingsFile, Section, Key, English);
    } catch (const std::exception&) {
        return QString();
    }
}

QString ReadSuiteLanguage(const QString& SettingsFile)
{
    return LanguageFiles::ReadSetting(SettingsFile, QStringLiteral("Main"), QStringLiteral("Language"));
}

QString ShortTimeText(const QDateTime& Moment)
{
    return FormatDateTime(FormatSettings().ShortTimeFormat, DateTime::FromQDateTime(Moment.toLocalTime()));
}
