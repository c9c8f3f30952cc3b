#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// The run-time texts of one language file: section ModuleName + "_M", keys
// matched ignoring the case of A to Z. The window's catalogue holds one, and
// the programs without a window (the shutdown tool, the task service) load
// theirs with ForSuite, by the same rules as the window.
class TRunTimeTexts
{
public:
    // No language: every Text is its default.
    TRunTimeTexts() = default;

    // The language the suite is set to, from the window's language folder:
    // Load(LanguageFolderOf, ReadSuiteLanguage(SuiteSettingsFile)).
    static TRunTimeTexts ForSuite(const QString& ModuleName = QStringLiteral("Lumidor"));
    // The language file of Folder named Name (letter case ignored); when that
    // is missing, no file or unreadable, English; without English no texts.
    static TRunTimeTexts Load(const QString& Folder, const QString& Name,
        const QString& ModuleName = QStringLiteral("Lumidor"));
    // Any one section of the suite's language file, by the same rules: a
    // window's texts ("Lumidor_frmMain") for a program that has no window.
    static TRunTimeTexts ForSuiteSection(const QString& Section);
    static TRunTimeTexts LoadSection(const QString& Folder, const QString& Name, const QString& Section);

    // Takes the section's lines ("Key=Text"); lines without "=" are no key,
    // a later line wins over an earlier one of the same key.
    void SetSection(const QStringList& Lines);
    void Clear();

    // The text for Key, or Default when the key is missing; a key with an
    // empty value gives empty text.
    QString Text(const QString& Key, const QString& Default) const;

private:
    QHash<QString, QString> FTexts;
};

namespace LanguageFiles {

// Every "*.lng" entry of Folder, hidden ones and sub-folders too, sorted by
// name ignoring case, so that the order does not depend on the file system.
QStringList Entries(const QString& Folder);
// The language name of an entry: its name less ".lng".
QString NameOf(const QString& Entry);
// The position of the first of Names equal to Name ignoring case; -1 if none.
int Find(const QStringList& Names, const QString& Name);
// Load of the position of Name in Names, else of English; false when
// neither loads. Load is given -1 for a name that is not listed.
bool LoadOrEnglish(const QStringList& Names, const QString& Name, const std::function<bool(int Index)>& Load);
// A value of a settings file through the profile rules; "English" when the
// file, the section or the key is missing, empty text when reading fails.
QString ReadSetting(const QString& SettingsFile, const QString& Section, const QString& Key);

} // namespace LanguageFiles

// LanguageFiles::ReadSetting of [Main] Language.
QString ReadSuiteLanguage(const QString& SettingsFile);

// A time of day in the locale's short time format, as the window's preview
// shows it (FormatSettings().ShortTimeFormat).
QString ShortTimeText(const QDateTime& Moment);
