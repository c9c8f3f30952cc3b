#pragma once

#include <QString>
#include <QStringList>

#include "platform/Exceptions.h"
#include "platform/IniSections.h"
#include "toolkit/IniFiles.h"

// An INI file read completely into memory, by the rules of TIniSections.
// Writes change the memory only: nothing ever goes back to a file.
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
    TIniSections FSections;
};
