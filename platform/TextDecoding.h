#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Text files as the language files come: in UTF-16 or UTF-8 when a
// byte-order mark says so, otherwise in Windows-1252, the stand-in for the
// ANSI code page.
namespace TextDecoding {

// UTF-16 LE, UTF-16 BE or UTF-8 by the byte-order mark, which is dropped;
// Windows-1252 without one.
QString Decode(const QByteArray& Bytes);
QString DecodeCp1252(QByteArrayView Bytes);

// Text that should be UTF-8 but may come from a tool that wrote the ANSI
// code page: UTF-8 when Bytes are well-formed UTF-8 (no overlong form, no
// surrogate, nothing past U+10FFFF, no cut sequence), otherwise Windows-1252.
// A U+FEFF at the start is text here, not a mark.
QString DecodeUtf8OrCp1252(QByteArrayView Bytes);

// Lines end at CR LF, a lone CR or a lone LF; a NUL ends the text.
QStringList SplitLines(QString Text);

// The file's bytes. Raises EFOpenError, "Cannot open file "<name>".
// <reason>", when it cannot be opened or read.
QByteArray ReadWholeFile(const QString& FileName);

// ReadWholeFile, Decode and SplitLines.
QStringList ReadLines(const QString& FileName);

} // namespace TextDecoding
