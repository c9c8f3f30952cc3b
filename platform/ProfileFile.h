#pragma once

#include "platform/ProfileStrings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct stat;

// The line table under the private-profile service: a file read once and
// changed in memory, written back by the caller.
namespace ProfileFile {

// With a buffer of 2048 characters the service copies at most 2047.
constexpr qsizetype MaxValueLength = 2047;

// The blanks (ASCII controls, space and ^Z) trimmed off the ends.
QString TrimLeft(const QString& S);
QString TrimRight(const QString& S);
QString Trim(const QString& S);
QByteArrayView TrimLeft(QByteArrayView S);

// Section and key names match ignoring case.
bool SameName(const QString& A, const QString& B);
bool HasLineBreak(const QString& S);
bool HasLineBreak(const QByteArray& S);
bool IsQuote(char16_t C);
// A value as GetString gives it: one pair of enclosing quotes removed, cut
// at MaxValueLength characters without splitting a surrogate pair.
QString AsReturned(QString Value);

bool IsAscii(QByteArrayView Bytes);
// IsAscii without a branch a byte, for long texts.
bool AllAscii(QByteArrayView Bytes);
bool IsAscii(const QString& Text);

enum class TLineKind : quint8 { Blank, Comment, Header, Key };

enum class TNewline : quint8 { None, CrLf, Cr, Lf };

QByteArrayView NewlineBytes(TNewline Newline);

// Bytes [Begin, Begin + Size) of the file, or of the lines added since it was
// read; the parts of one line are all in the same.
// Eight bytes, so that the line table of a long file stays small: most of a
// long file's parse went in faults on its fresh pages.
struct TSpan
{
    TSpan() = default;
    TSpan(qsizetype At, qsizetype Length, bool IsAdded = false)
        : Begin(quint32(At))
        , Size(quint32(Length))
        , Added(IsAdded)
    {
    }

    quint32 Begin = 0;
    quint32 Size : 31 = 0;
    bool Added : 1 = false;
};
static_assert(sizeof(TSpan) == 8);

struct TLine
{
    TSpan Text;  // the line's bytes, without its end
    TSpan Name;  // of the section (Header) or of the key (Key), trimmed
    TSpan Value; // after the first "=", trimmed (Key with HasValue)
    TLineKind Kind = TLineKind::Blank;
    TNewline Newline = TNewline::None;
    bool HasValue = false;
};
static_assert(sizeof(TLine) <= 28);

// Lines [Begin, End) follow the header at Header; the nameless section at the
// top of the file has no header (-1).
struct TSectionRange
{
    qsizetype Header = -1;
    qsizetype Begin = 0;
    qsizetype End = 0;
};

// "[Section]" with the name trimmed, in UTF-8.
QByteArray HeaderText(const QString& Section);

// The file as lines that point into its bytes, so that a rewrite changes only
// the lines an operation touches, and reading a long section decodes only
// what the caller asks for. Lines are told apart on bytes: every character
// that decides a line's kind is ASCII, in UTF-8 and in Windows-1252 alike.
class TProfileFile
{
public:
    // A missing file is an empty one; false only when the file exists and
    // cannot be read, or is larger than MaxFileSize, which must stop any write.
    bool Load(const QString& FileName, struct stat* Identity = nullptr);
    QByteArray Bytes() const;
    const QByteArray& Original() const { return FOriginal; }
    std::optional<TSectionRange> FindSection(const QString& Section) const;
    std::optional<qsizetype> FindKey(const TSectionRange& Range, const QString& Key) const;
    QStringList Keys(const TSectionRange& Range) const;
    QStringList Sections() const;

    const TLine& Line(qsizetype Index) const { return FLines[Index]; }
    qsizetype LineCount() const { return qsizetype(FLines.size()); }
    // The first header at or after From; LineCount() when none.
    qsizetype NextHeader(qsizetype From) const;
    QByteArrayView View(TSpan Span) const { return QByteArrayView(Data(Span) + Span.Begin, Span.Size); }

    QString Name(const TLine& Line) const;
    // The value GetString gives for a key line.
    QString Value(const TLine& Line) const;
    // The value GetString gives for a key line, and its bytes in the file.
    // Borrowed bytes point into the file read and live no longer than it.
    ProfileStrings::TProfileLine Read(const TLine& Line, bool Borrow = false) const;
    void WriteString(const QString& Section, const QString& Key, const QString& RawValue);
    void WriteBytes(const QString& Section, const QString& Key, const QByteArray& RawValue);
    // What WriteBytes of each line gives when the section is missing and the
    // keys differ, without searching the growing section every time.
    void AppendSection(const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines);
    // DeleteSection, then each line as WriteBytes would write it.
    void RewriteSection(const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines);
    void DeleteKey(const QString& Section, const QString& Key);
    void DeleteSection(const QString& Section);

private:
    template <typename Same>
    void PutKey(const QString& Section, const QString& Key, const QByteArray& Value, Same&& Unchanged);
    const char* Data(TSpan Span) const { return (Span.Added ? FAdded : FOriginal).constData(); }
    QString Decode(TSpan Span) const;
    void Split();
    TLine Parse(TSpan Text, TNewline End) const;
    static TSpan Trimmed(const char* Data, qsizetype Begin, qsizetype Stop, bool Added);
    // A new line's bytes go with those of the other added lines.
    TLine NewLine(const QByteArray& Text, TNewline End);
    void AppendLine(const QByteArray& Text, TNewline End);
    // New lines end the way the file's lines already do; CR LF in a new file.
    TNewline Newline() const;
    void EndLastLine();

    QByteArray FOriginal;
    QByteArray FAdded; // the bytes of the lines added since
    qsizetype FBomSize = 0;
    std::vector<TLine> FLines;
};

} // namespace ProfileFile
