#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "platform/Exceptions.h"
#include "toolkit/IniFiles.h"

// An INI file read completely into memory. Entries are trimmed; section and
// key names match without regard to case; a name that occurs more than once
// is found at its last occurrence. Writes change the memory only: nothing
// ever goes back to a file.
class TExtIniFile : public TCustomIniFile
{
public:
    TExtIniFile();
    ~TExtIniFile() override;

    // Replaces the content with the file's. On failure raises EFOpenError,
    // "Cannot open file "<name>". <reason>", and keeps the content held before.
    void LoadFile(const QString& FileName);
    // Replaces the content with the result of parsing Lines.
    void ParseLines(const QStringList& Lines);
    // Appends an empty section, even when one of that name exists.
    QStringList& NewSection(const QString& Name);
    void ClearAll();

    QString ReadEntry(const QString& Section, const QString& Key, const QString& Default) override;
    void WriteEntry(const QString& Section, const QString& Key, const QString& Value) override;
    void ListKeys(const QString& Section, QStringList& Out) override;
    void ListSections(QStringList& Out) override;
    void GetSectionLines(const QString& Section, QStringList& Out) override;
    void RemoveSection(const QString& Section) override;
    void RemoveKey(const QString& Section, const QString& Key) override;
    void Commit() override;

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
