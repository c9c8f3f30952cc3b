#pragma once

#include <QString>
#include <QStringList>

#include "platform/ProfileStrings.h"

// The abstract INI file. HasKey and ListSubSections are built on the listing
// operations.
class TCustomIniFile
{
public:
    explicit TCustomIniFile(const QString& FileName = QString());
    virtual ~TCustomIniFile();

    const QString& FileName() const { return FFileName; }

    virtual QString ReadEntry(const QString& Section, const QString& Key, const QString& Default) = 0;
    virtual void WriteEntry(const QString& Section, const QString& Key, const QString& Value) = 0;

    virtual void ListKeys(const QString& Section, QStringList& Out) = 0;
    virtual void ListSections(QStringList& Out) = 0;
    virtual void ListSubSections(const QString& Prefix, QStringList& Out);
    virtual void GetSectionLines(const QString& Section, QStringList& Out) = 0;
    virtual void RemoveSection(const QString& Section) = 0;
    virtual void RemoveKey(const QString& Section, const QString& Key) = 0;
    virtual void Commit() = 0;
    virtual bool HasKey(const QString& Section, const QString& Key);

private:
    QString FFileName;
};

// An INI file reached through the platform's private-profile service: every
// call reads or writes the file at once. A write the service refuses raises
// EIniFileException "Unable to write to <file>".
class TIniFile : public TCustomIniFile
{
public:
    explicit TIniFile(const QString& FileName);
    ~TIniFile() override;

    QString ReadEntry(const QString& Section, const QString& Key, const QString& Default) override;
    void WriteEntry(const QString& Section, const QString& Key, const QString& Value) override;

    void ListKeys(const QString& Section, QStringList& Out) override;
    void ListSections(QStringList& Out) override;
    // "Key=Value" for every key, each value as ReadEntry gives it.
    void GetSectionLines(const QString& Section, QStringList& Out) override;
    void RemoveSection(const QString& Section) override;
    void RemoveKey(const QString& Section, const QString& Key) override;
    void Commit() override;

    // Every key line of the section with its own value, in line order.
    QList<ProfileStrings::TProfileLine> ReadSectionLines(const QString& Section);

    // EIniFileException "Unable to write to <file>", for a write refused.
    [[noreturn]] void RaiseWriteError() const;
};
