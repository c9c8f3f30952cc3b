#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

#include "platform/RunTimeTexts.h"
#include "toolkit/Classes.h"

class TExtIniFile;

// The language catalogue: lists the language files of a folder, loads the
// one the suite is set to (falling back to English), rewrites the captions
// of the application's windows from it, and answers run-time text requests.
//
// A language file "<name>.lng" holds section "Main" (key "DisplayName"),
// one section per window, ModuleName + "_" + the window's name, with keys
// such as "btnNext.Caption", "cbOption.Items[0].Caption" and
// "lvView.Columns[0].Caption", and the run-time texts in ModuleName + "_M".
class TLanguage : public TObject
{
public:
    explicit TLanguage(const QString& ModuleName);
    ~TLanguage() override;

    TLanguage(const TLanguage&) = delete;
    TLanguage& operator=(const TLanguage&) = delete;

    // Appends every "*.lng" entry of Folder to the lists, loading each file
    // once for its display name; the last file loaded stays in force.
    void ScanLanguages(const QString& Folder);
    // A value of a settings file; "English" when the file, the section or the
    // key is missing.
    QString ReadSetting(const QString& FileName, const QString& Section, const QString& Key);
    // Loads the named language, else English, else keeps the language in force.
    void SelectLanguage(const QString& Name);
    // TranslateComponent for every top-level component of the application.
    void TranslateApplication();
    // Rewrites the captions of C and of the components it owns from the
    // section ModuleName + "_" + C's name. Errors end the walk silently.
    void TranslateComponent(TComponent* C);

    // A value of the loaded language file, or Default.
    QString ReadText(const QString& Section, const QString& Key, const QString& Default);
    // The run-time text for Key (letter case ignored), or Default when no
    // language is loaded or the key is missing; a key with an empty value
    // gives empty text.
    QString GetText(const QString& Key, const QString& Default) const;

    const QString& ModuleName() const { return FModuleName; }
    const QString& LanguageFolder() const { return FLanguageFolder; }
    // Position in LanguageNames of the language in force; -1 before any.
    int LanguageIndex() const { return FLanguageIndex; }
    const QStringList& LanguageNames() const { return FLanguageNames; }
    const QStringList& DisplayNames() const { return FDisplayNames; }

private:
    bool IsLanguageFile(int Index) const;
    bool LoadLanguage(int Index);
    void TranslateOwned(TComponent* X, const QString& Section);

    QString FModuleName;
    QString FLanguageFolder;
    int FLanguageIndex = -1;
    QStringList FLanguageNames;
    QStringList FDisplayNames;
    // Parallel to FLanguageNames: the entry names as the scan found them.
    QStringList FFileNames;
    std::unique_ptr<TExtIniFile> FLanguageFile;
    // Section ModuleName + "_M" of the loaded file.
    TRunTimeTexts FRuntimeTexts;
};
