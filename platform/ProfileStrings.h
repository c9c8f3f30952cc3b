#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Our private-profile service: INI files read and written with the rules of
// GetPrivateProfileStringW and WritePrivateProfileStringW. Every call sees the
// file as it is on disk (the last file read is kept while its size, times and
// inode stay the same); every change is one atomic rewrite of the whole file in which
// the lines the call does not touch keep their bytes. Files are UTF-8; a
// byte-order mark at the start is kept. A line that is not valid UTF-8 was
// written by another tool in the ANSI code page and reads as Windows-1252.
namespace ProfileStrings {

// One key line of a section: its key, the value of that very line as
// GetString would give it for the key's first line, and the bytes that value
// has in the file, which a rewrite puts back unchanged.
struct TProfileLine
{
    QString Key;
    QString Value;
    QByteArray ValueBytes;

    bool operator==(const TProfileLine&) const = default;
};

// The value as a caller with a buffer of 2048 characters gets it: trimmed,
// one pair of enclosing quotes removed, at most 2047 characters. A missing
// file, section or key, or a key line without "=", gives Default treated the
// same way (less its trailing blanks). Section and key match ignoring case.
QString GetString(const QString& FileName, const QString& Section, const QString& Key,
                  const QString& Default = QString());

// The key names of the first matching section in line order, duplicates
// included; lines without "=" and comments are not keys.
QStringList GetKeys(const QString& FileName, const QString& Section);

// Every section name in file order, duplicates included.
QStringList GetSections(const QString& FileName);

// Every key line of the first matching section in line order, each with its
// own value: a key used on two lines gives two different values here, where
// GetString gives the first line's value.
QList<TProfileLine> GetLines(const QString& FileName, const QString& Section);

// Replaces the first matching key's value, or adds the key after the last
// line of its section, or adds the section at the end of the file. Leading
// blanks of Value are dropped; an unchanged value writes nothing. False when
// the file could not be read or written, or when a text holds a line break.
bool WriteString(const QString& FileName, const QString& Section, const QString& Key, const QString& Value);

// Removes the first matching key line; the header stays. True when missing.
bool DeleteKey(const QString& FileName, const QString& Section, const QString& Key);

// Removes the first matching section with all its lines. True when missing.
bool DeleteSection(const QString& FileName, const QString& Section);

} // namespace ProfileStrings
