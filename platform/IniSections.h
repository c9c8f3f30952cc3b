#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The sections of an INI file read completely into memory, by the rules of
// the language files. Entries are trimmed; section and key names match
// without regard to case; a name that occurs more than once is found at its
// last occurrence. Writes change the memory only.
class TIniSections
{
public:
    TIniSections();
    ~TIniSections();
    TIniSections(const TIniSections&) = delete;
    TIniSections& operator=(const TIniSections&) = delete;

    // Replaces the content with the file's, decoded as TextDecoding reads
    // it. On failure raises EFOpenError, "Cannot open file "<name>".
    // <reason>", and keeps the content held before.
    void LoadFile(const QString& FileName);
    // Replaces the content with the result of parsing Lines.
    void ParseLines(const QStringList& Lines);
    // Appends an empty section, even when one of that name exists.
    QStringList& NewSection(const QString& Name);
    void ClearAll();

    QString ReadEntry(const QString& Section, const QString& Key, const QString& Default);
    void WriteEntry(const QString& Section, const QString& Key, const QString& Value);
    // The name of every line of the section, empty for a line without "=".
    void ListKeys(const QString& Section, QStringList& Out);
    void ListSections(QStringList& Out) const;
    void GetSectionLines(const QString& Section, QStringList& Out);
    void RemoveSection(const QString& Section);
    void RemoveKey(const QString& Section, const QString& Key);

private:
    struct TSection
    {
        QString Name;
        QStringList Lines;
        QHash<QString, qsizetype> LineIndex;
        bool LineIndexValid = false;
    };

    TSection* FindSection(const QString& Name);
    qsizetype FindLine(TSection& Section, const QString& Key);

    std::vector<std::unique_ptr<TSection>> Sections;
    QHash<QString, qsizetype> SectionIndex;
    bool SectionIndexValid = false;
};
