#pragma once

#include <QString>
#include <QStringList>
#include <QByteArray>

#include "platform/DateTime.h"
#include "platform/ProfileStrings.h"

// The abstract INI file. Typed reads and writes are built on ReadEntry and
// WriteEntry; HasKey and ListSubSections on the listing operations.
class TCustomIniFile
{
public:
    explicit TCustomIniFile(const QString& FileName = QString());
    virtual ~TCustomIniFile();

    const QString& FileName() const { return FFileName; }

    virtual QString ReadEntry(const QString& Section, const QString& Key, const QString& Default) = 0;
    virtual void WriteEntry(const QString& Section, const QString& Key, const QString& Value) = 0;

    virtual int ReadInteger(const QString& Section, const QString& Key, int Default);
    virtual void WriteInteger(const QString& Section, const QString& Key, int Value);
    virtual bool ReadBool(const QString& Section, const QString& Key, bool Default);
    virtual void WriteBool(const QString& Section, const QString& Key, bool Value);
    virtual QByteArray ReadBinaryStream(const QString& Section, const QString& Key);
    virtual void WriteBinaryStream(const QString& Section, const QString& Key, const QByteArray& Value);
    virtual TDateTime ReadDate(const QString& Section, const QString& Key, TDateTime Default);
    virtual void WriteDate(const QString& Section, const QString& Key, TDateTime Value);
    virtual TDateTime ReadDateTime(const QString& Section, const QString& Key, TDateTime Default);
    virtual void WriteDateTime(const QString& Section, const QString& Key, TDateTime Value);
    virtual double ReadFloat(const QString& Section, const QString& Key, double Default);
    virtual void WriteFloat(const QString& Section, const QString& Key, double Value);
    virtual TDateTime ReadTime(const QString& Section, const QString& Key, TDateTime Default);
    virtual void WriteTime(const QString& Section, const QString& Key, TDateTime Value);

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

    // Every key of the section with its value as ReadEntry gives it, in line
    // order, from one read of the file.
    QList<ProfileStrings::TProfileEntry> ReadSectionEntries(const QString& Section);
    // RemoveSection followed by WriteEntry of each entry, as one atomic write.
    void RewriteSection(const QString& Section, const QList<ProfileStrings::TProfileEntry>& Entries);
    // Every key line of the section with its own value, in line order.
    QList<ProfileStrings::TProfileLine> ReadSectionLines(const QString& Section);
    // Drops every line of the section whose value Drop accepts and renames
    // the rest KeyOf(1), KeyOf(2) ... in order, the values keeping their
    // bytes, in one atomic write.
    void RemoveSectionLines(const QString& Section, const std::function<bool(const QString& Value)>& Drop,
                            const std::function<QString(qsizetype Number)>& KeyOf);

    // RemoveSectionLines dropping the values that AsciiText::SameText finds
    // equal to Value, the rest renamed KeyPrefix1, KeyPrefix2 ...
    void RemoveSectionValue(const QString& Section, const QString& Value, const QString& KeyPrefix);

private:
    [[noreturn]] void RaiseWriteError() const;
};
