#include "platform/ProfileStrings.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/TextDecoding.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include <sys/stat.h>
#include <time.h>

namespace {

// With a buffer of 2048 characters the service copies at most 2047.
constexpr qsizetype MaxValueLength = 2047;

const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

// The blanks are ASCII, so trimming bytes and trimming characters agree.
bool IsBlank(char16_t U)
{
    return (U >= 0x09 && U <= 0x0D) || U == 0x20 || U == 0x1A;
}

bool IsBlankByte(char C)
{
    return IsBlank(static_cast<unsigned char>(C));
}

QString TrimLeft(const QString& S)
{
    qsizetype I = 0;
    while (I < S.size() && IsBlank(S[I].unicode()))
        ++I;
    return S.mid(I);
}

QString TrimRight(const QString& S)
{
    qsizetype N = S.size();
    while (N > 0 && IsBlank(S[N - 1].unicode()))
        --N;
    return S.left(N);
}

QString Trim(const QString& S)
{
    return TrimLeft(TrimRight(S));
}

QByteArrayView TrimLeft(QByteArrayView S)
{
    qsizetype I = 0;
    while (I < S.size() && IsBlankByte(S[I]))
        ++I;
    return S.sliced(I);
}

QByteArray TrimLeft(const QByteArray& S)
{
    const QByteArrayView Trimmed = TrimLeft(QByteArrayView(S));
    return Trimmed.size() == S.size() ? S : Trimmed.toByteArray();
}

QStringView TrimView(QStringView S)
{
    qsizetype Begin = 0;
    qsizetype End = S.size();
    while (End > 0 && IsBlank(S[End - 1].unicode()))
        --End;
    while (Begin < End && IsBlank(S[Begin].unicode()))
        ++Begin;
    return S.sliced(Begin, End - Begin);
}

bool SameName(const QString& A, const QString& B)
{
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

bool HasLineBreak(const QString& S)
{
    return S.contains(QLatin1Char('\r')) || S.contains(QLatin1Char('\n'));
}

bool HasLineBreak(const QByteArray& S)
{
    return S.contains('\r') || S.contains('\n');
}

bool IsQuote(char16_t C)
{
    return C == u'"' || C == u'\'';
}

// The buffer limit never leaves half of a surrogate pair behind.
QString CutToBuffer(QString Value)
{
    if (Value.size() > MaxValueLength) {
        qsizetype N = MaxValueLength;
        if (Value[N - 1].isHighSurrogate())
            --N;
        Value.truncate(N);
    }
    return Value;
}

// One pair of matching quotes goes, then the buffer limit applies.
QString AsReturned(QString Value)
{
    if (Value.size() >= 2 && IsQuote(Value.front().unicode()) && Value.back() == Value.front())
        Value = Value.mid(1, Value.size() - 2);
    return CutToBuffer(std::move(Value));
}

// Names that SameName finds equal hash alike: each character is folded as
// the comparison folds it.
size_t FoldedHash(QStringView Name)
{
    size_t Hash = 0;
    for (qsizetype I = 0; I < Name.size(); ++I) {
        char32_t C = Name[I].unicode();
        if (QChar::isHighSurrogate(C) && I + 1 < Name.size() && Name[I + 1].isLowSurrogate())
            C = QChar::surrogateToUcs4(char16_t(C), Name[++I].unicode());
        Hash = Hash * 31 + QChar::toCaseFolded(C);
    }
    return Hash;
}

// Without a folded copy of every key: a long section is checked on each removal.
template <typename T>
bool DistinctKeys(const QList<T>& Entries)
{
    std::vector<std::pair<size_t, QStringView>> Keys;
    Keys.reserve(Entries.size());
    for (const T& Entry : Entries) {
        const QStringView Key = TrimView(Entry.Key);
        Keys.emplace_back(FoldedHash(Key), Key);
    }
    std::sort(Keys.begin(), Keys.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
    for (size_t I = 0; I < Keys.size(); ++I)
        for (size_t J = I + 1; J < Keys.size() && Keys[J].first == Keys[I].first; ++J)
            if (Keys[I].second.compare(Keys[J].second, Qt::CaseInsensitive) == 0)
                return false;
    return true;
}

enum class TLineKind : quint8 { Blank, Comment, Header, Key };
enum class TNewline : quint8 { None, CrLf, Cr, Lf };

QByteArrayView NewlineBytes(TNewline Newline)
{
    switch (Newline) {
    case TNewline::CrLf:
        return "\r\n";
    case TNewline::Cr:
        return "\r";
    case TNewline::Lf:
        return "\n";
    case TNewline::None:
        break;
    }
    return {};
}

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

// Spans hold 31 bits: a file of up to 1 GiB, with room for as much again of
// lines added to it.
constexpr qint64 MaxFileSize = 0x3FFF'FFFF;

// Lines [Begin, End) follow the header at Header; the nameless section at the
// top of the file has no header (-1).
struct TSectionRange
{
    qsizetype Header = -1;
    qsizetype Begin = 0;
    qsizetype End = 0;
};

// The file as lines that point into its bytes, so that a rewrite changes only
// the lines an operation touches, and reading a long section decodes only
// what the caller asks for. Lines are told apart on bytes: every character
// that decides a line's kind is ASCII, in UTF-8 and in Windows-1252 alike.
class TProfileFile
{
public:
    // A missing file is an empty one; false only when the file exists and
    // cannot be read, or is larger than MaxFileSize, which must stop any write.
    bool Load(const QString& FileName, struct stat* Identity = nullptr)
    {
        QFile File(FileName);
        if (!File.exists())
            return true;
        if (!File.open(QIODevice::ReadOnly) || File.size() > MaxFileSize)
            return false;
        if (Identity && ::fstat(File.handle(), Identity) != 0)
            return false;
        QByteArray Bytes = File.readAll();
        if (File.error() != QFileDevice::NoError || Bytes.size() > MaxFileSize)
            return false;
        FOriginal = Bytes;
        FBomSize = Bytes.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
        Split();
        return true;
    }

    QByteArray Bytes() const
    {
        qsizetype Size = FBomSize;
        for (const TLine& Line : FLines)
            Size += Line.Text.Size + NewlineBytes(Line.Newline).size();
        QByteArray Out;
        Out.reserve(Size);
        Out.append(FOriginal.constData(), FBomSize);
        for (const TLine& Line : FLines) {
            Out.append(View(Line.Text));
            Out.append(NewlineBytes(Line.Newline));
        }
        return Out;
    }

    const QByteArray& Original() const { return FOriginal; }

    std::optional<TSectionRange> FindSection(const QString& Section) const
    {
        const QString Name = Trim(Section);
        TSectionRange Range;
        Range.End = NextHeader(0);
        if (Name.isEmpty())
            return Range;
        while (Range.End < qsizetype(FLines.size())) {
            Range.Header = Range.End;
            Range.Begin = Range.Header + 1;
            Range.End = NextHeader(Range.Begin);
            if (SameName(Decode(FLines[Range.Header].Name), Name))
                return Range;
        }
        return std::nullopt;
    }

    std::optional<qsizetype> FindKey(const TSectionRange& Range, const QString& Key) const
    {
        const QString Name = Trim(Key);
        // Two ASCII names match as bytes; only other names need decoding,
        // since case folding maps some other letters onto ASCII ones.
        const QByteArray Latin = IsAscii(Name) ? Name.toLatin1() : QByteArray();
        for (qsizetype I = Range.Begin; I < Range.End; ++I) {
            const TLine& Line = FLines[I];
            if (Line.Kind != TLineKind::Key)
                continue;
            const QByteArrayView Bytes = View(Line.Name);
            const bool Same = !Latin.isNull() && IsAscii(Bytes)
                ? Bytes.size() == Latin.size() && qstrnicmp(Bytes.data(), Bytes.size(), Latin.constData(), Latin.size()) == 0
                : SameName(Decode(Line.Name), Name);
            if (Same)
                return I;
        }
        return std::nullopt;
    }

    QStringList Keys(const TSectionRange& Range) const
    {
        QStringList Out;
        for (qsizetype I = Range.Begin; I < Range.End; ++I)
            if (FLines[I].Kind == TLineKind::Key && FLines[I].HasValue)
                Out += Decode(FLines[I].Name);
        return Out;
    }

    QStringList Sections() const
    {
        QStringList Out;
        for (const TLine& Line : FLines)
            if (Line.Kind == TLineKind::Header)
                Out += Decode(Line.Name);
        return Out;
    }

    const TLine& Line(qsizetype Index) const { return FLines[Index]; }

    QString Name(const TLine& Line) const { return Decode(Line.Name); }

    // The value GetString gives for a key line.
    QString Value(const TLine& Line) const { return AsReturned(Decode(Line.Value)); }

    // The value GetString gives for a key line, and its bytes in the file.
    // Borrowed bytes point into the file read and live no longer than it.
    ProfileStrings::TProfileLine Read(const TLine& Line, bool Borrow = false) const
    {
        TSpan Span = Line.Value;
        const QByteArrayView Raw = View(Span);
        if (Raw.size() >= 2 && IsQuote(static_cast<unsigned char>(Raw.front())) && Raw.back() == Raw.front())
            Span = TSpan{Span.Begin + 1, Span.Size - 2, Span.Added};
        const QByteArrayView Bytes = View(Span);
        const QString Text = TextDecoding::DecodeUtf8OrCp1252(Bytes);
        ProfileStrings::TProfileLine Out{Name(Line), CutToBuffer(Text), QByteArray()};
        if (Out.Value.size() == Text.size())
            Out.ValueBytes = Borrow ? QByteArray::fromRawData(Bytes.data(), Bytes.size()) : Bytes.toByteArray();
        else if (Text.size() == Bytes.size()) // one byte a character
            Out.ValueBytes = Bytes.first(Out.Value.size()).toByteArray();
        else
            Out.ValueBytes = Out.Value.toUtf8();
        return Out;
    }

    void WriteString(const QString& Section, const QString& Key, const QString& RawValue)
    {
        const QString Value = TrimLeft(RawValue);
        PutKey(Section, Key, Value.toUtf8(),
               [&](const TLine& Old) { return Old.HasValue && Decode(Old.Value) == Value; });
    }

    void WriteBytes(const QString& Section, const QString& Key, const QByteArray& RawValue)
    {
        const QByteArray Value = TrimLeft(RawValue);
        PutKey(Section, Key, Value, [&](const TLine& Old) { return Old.HasValue && View(Old.Value) == Value; });
    }

    // What WriteBytes of each line gives when the section is missing and the
    // keys differ, without searching the growing section every time.
    void AppendSection(const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines)
    {
        if (Lines.isEmpty())
            return;
        EndLastLine();
        const TNewline End = Newline();
        // The new lines' bytes are written in place into room made once:
        // growing the buffer line by line costs more than the rest of a long
        // rewrite.
        QStringEncoder Encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        const QStringView Name = TrimView(Section);
        qsizetype Room = Encoder.requiredSpace(Name.size()) + 2;
        for (const ProfileStrings::TProfileLine& Line : Lines)
            Room += Encoder.requiredSpace(Line.Key.size()) + 1 + Line.ValueBytes.size();
        const qsizetype Base = FAdded.size();
        FAdded.resize(Base + Room);
        char* const Start = FAdded.data();
        char* Out = Start + Base;
        std::vector<TSpan> Spans;
        Spans.reserve(Lines.size() + 1);
        *Out++ = '[';
        Out = Encoder.appendToBuffer(Out, Name);
        *Out++ = ']';
        Spans.push_back(TSpan{Base, Out - Start - Base, true});
        for (const ProfileStrings::TProfileLine& Line : Lines) {
            const qsizetype Begin = Out - Start;
            Out = Encoder.appendToBuffer(Out, TrimView(Line.Key));
            *Out++ = '=';
            const QByteArrayView Value = TrimLeft(QByteArrayView(Line.ValueBytes));
            if (!Value.isEmpty())
                std::memcpy(Out, Value.data(), size_t(Value.size()));
            Out += Value.size();
            Spans.push_back(TSpan{Begin, Out - Start - Begin, true});
        }
        FAdded.truncate(Out - Start);
        FLines.reserve(FLines.size() + Spans.size());
        for (const TSpan& Span : Spans)
            FLines.push_back(Parse(Span, End));
    }

    // DeleteSection, then each line as WriteBytes would write it.
    void RewriteSection(const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines)
    {
        DeleteSection(Section);
        if (!FindSection(Section) && DistinctKeys(Lines)) {
            AppendSection(Section, Lines);
            return;
        }
        for (const ProfileStrings::TProfileLine& Line : Lines)
            WriteBytes(Section, Line.Key, Line.ValueBytes);
    }

    void DeleteKey(const QString& Section, const QString& Key)
    {
        if (const std::optional<TSectionRange> Range = FindSection(Section))
            if (const std::optional<qsizetype> At = FindKey(*Range, Key))
                FLines.erase(FLines.begin() + *At);
    }

    void DeleteSection(const QString& Section)
    {
        if (const std::optional<TSectionRange> Range = FindSection(Section)) {
            const qsizetype First = Range->Header >= 0 ? Range->Header : Range->Begin;
            FLines.erase(FLines.begin() + First, FLines.begin() + Range->End);
        }
    }

    // What RemoveValue writes, made straight from the bytes read: the kept
    // values are slices of the file and the keys are written by number, with
    // no decoding of ASCII values and no line table for the new lines.
    // Nothing when the section is missing, nameless or repeated, which the
    // general way handles.
    std::optional<QByteArray> WithoutValue(const QString& Section, const QString& Value, const QString& KeyPrefix) const
    {
        const std::optional<TSectionRange> Range = FindSection(Section);
        if (!Range || Range->Header < 0)
            return std::nullopt;
        const QString Name = Trim(Section);
        for (qsizetype I = NextHeader(Range->End); I < qsizetype(FLines.size()); I = NextHeader(I + 1))
            if (SameName(Decode(FLines[I].Name), Name))
                return std::nullopt;

        // ASCII bytes read as themselves, UTF-8 or not, and a text with other
        // characters never equals an ASCII one under AsciiText's rule.
        const bool AsciiValue = IsAscii(Value);
        const QByteArray Lower = AsciiValue ? Value.toLatin1().toLower() : QByteArray();
        const auto SameAscii = [&](QByteArrayView Bytes) {
            if (Bytes.size() != Lower.size())
                return false;
            for (qsizetype I = 0; I < Bytes.size(); ++I) {
                const char C = Bytes[I];
                if ((C >= 'A' && C <= 'Z' ? char(C + ('a' - 'A')) : C) != Lower[I])
                    return false;
            }
            return true;
        };
        // One pass over the whole section spares a test of each value.
        const qsizetype SectionBegin = FLines[Range->Header].Text.Begin;
        const qsizetype SectionEnd = Range->End < qsizetype(FLines.size()) ? FLines[Range->End].Text.Begin : FOriginal.size();
        const bool AsciiSection = AllAscii(QByteArrayView(FOriginal).sliced(SectionBegin, SectionEnd - SectionBegin));
        std::vector<QByteArrayView> Kept;
        Kept.reserve(Range->End - Range->Begin);
        std::vector<QByteArray> Owned; // values the buffer limit cut, in UTF-8
        qsizetype ValueBytes = 0;
        for (qsizetype I = Range->Begin; I < Range->End; ++I) {
            const TLine& Line = FLines[I];
            if (Line.Kind != TLineKind::Key || !Line.HasValue)
                continue;
            QByteArrayView Raw = View(Line.Value);
            if (Raw.size() >= 2 && IsQuote(static_cast<unsigned char>(Raw.front())) && Raw.back() == Raw.front())
                Raw = Raw.sliced(1, Raw.size() - 2);
            QByteArrayView Keep;
            if (Raw.size() <= MaxValueLength && (AsciiSection || IsAscii(Raw))) {
                if (AsciiValue && SameAscii(Raw))
                    continue;
                Keep = Raw;
            } else {
                ProfileStrings::TProfileLine Read = this->Read(Line, true);
                if (AsciiText::SameText(Read.Value, Value))
                    continue;
                Owned.push_back(std::move(Read.ValueBytes));
                Keep = Owned.back();
            }
            Kept.push_back(TrimLeft(Keep));
            ValueBytes += Kept.back().size();
        }

        // The file as read is contiguous: the lines before the section and
        // those after it go as two slices.
        const qsizetype Cut = SectionBegin;
        const qsizetype Rest = SectionEnd;
        const QByteArrayView Before = QByteArrayView(FOriginal).first(Cut);
        const QByteArrayView After = QByteArrayView(FOriginal).sliced(Rest);
        if (Kept.empty()) // the section goes altogether, as with no lines to add
            return Before.toByteArray().append(After);

        // New lines end like the first remaining line that has an end, and
        // the remaining last line gets one.
        TNewline End = TNewline::None;
        for (qsizetype I = 0; I < qsizetype(FLines.size()) && End == TNewline::None; ++I)
            if (I < Range->Header || I >= Range->End)
                End = FLines[I].Newline;
        if (End == TNewline::None)
            End = TNewline::CrLf;
        const QByteArrayView Newline = NewlineBytes(End);
        const bool EndLast = Rest == FOriginal.size() ? Range->Header > 0 && FLines[Range->Header - 1].Newline == TNewline::None
                                                       : FLines.back().Newline == TNewline::None;

        const QByteArray Header = HeaderText(Section);
        const QByteArray Prefix = TrimLeft(KeyPrefix).toUtf8();
        const qsizetype Count = qsizetype(Kept.size());
        const qsizetype Room = Before.size() + After.size() + Newline.size() + Header.size() + Newline.size() + ValueBytes
            + Count * (Prefix.size() + 20 + 1 + Newline.size());
        QByteArray Out(Room, Qt::Uninitialized);
        char* const Start = Out.data();
        char* At = Start;
        const auto Put = [&](QByteArrayView Bytes) {
            if (!Bytes.isEmpty())
                std::memcpy(At, Bytes.data(), size_t(Bytes.size()));
            At += Bytes.size();
        };
        Put(Before);
        Put(After);
        if (EndLast)
            Put(Newline);
        Put(Header);
        Put(Newline);
        for (qsizetype N = 0; N < Count; ++N) {
            Put(Prefix);
            char Digits[24];
            char* D = Digits + sizeof Digits;
            for (qsizetype Number = N + 1; Number > 0; Number /= 10)
                *--D = char('0' + Number % 10);
            Put(QByteArrayView(D, Digits + sizeof Digits - D));
            *At++ = '=';
            Put(Kept[size_t(N)]);
            Put(Newline);
        }
        Out.truncate(At - Start);
        return Out;
    }

private:
    template <typename Same>
    void PutKey(const QString& Section, const QString& Key, const QByteArray& Value, Same&& Unchanged)
    {
        const QString KeyName = Trim(Key);
        const std::optional<TSectionRange> Range = FindSection(Section);
        if (!Range) {
            EndLastLine();
            AppendLine(HeaderText(Section), Newline());
            AppendLine(KeyName.toUtf8() + '=' + Value, Newline());
            return;
        }
        if (const std::optional<qsizetype> At = FindKey(*Range, KeyName)) {
            const TLine& Old = FLines[*At];
            if (Unchanged(Old))
                return;
            // The name as the file spells it, now in UTF-8 like the new value.
            FLines[*At] = NewLine(Decode(Old.Name).toUtf8() + '=' + Value, Old.Newline);
            return;
        }
        // After the section's last line that is not blank, so that blank lines
        // separating it from the next section stay where they are.
        qsizetype After = Range->End - 1;
        while (After >= Range->Begin && FLines[After].Kind == TLineKind::Blank)
            --After;
        const TLine Line = NewLine(KeyName.toUtf8() + '=' + Value, Newline());
        if (After < 0) {
            FLines.insert(FLines.begin(), Line);
            return;
        }
        if (FLines[After].Newline == TNewline::None)
            FLines[After].Newline = Newline();
        FLines.insert(FLines.begin() + After + 1, Line);
    }

    static QByteArray HeaderText(const QString& Section) { return '[' + Trim(Section).toUtf8() + ']'; }

    static bool IsAscii(QByteArrayView Bytes)
    {
        for (char C : Bytes)
            if (static_cast<unsigned char>(C) >= 0x80)
                return false;
        return true;
    }

    // IsAscii without a branch a byte, for long texts.
    static bool AllAscii(QByteArrayView Bytes)
    {
        unsigned char Bits = 0;
        for (char C : Bytes)
            Bits |= static_cast<unsigned char>(C);
        return Bits < 0x80;
    }

    static bool IsAscii(const QString& Text)
    {
        for (QChar C : Text)
            if (C.unicode() >= 0x80)
                return false;
        return true;
    }

    const char* Data(TSpan Span) const { return (Span.Added ? FAdded : FOriginal).constData(); }

    QByteArrayView View(TSpan Span) const { return QByteArrayView(Data(Span) + Span.Begin, Span.Size); }

    QString Decode(TSpan Span) const { return TextDecoding::DecodeUtf8OrCp1252(View(Span)); }

    void Split()
    {
        const char* const Data = FOriginal.constData();
        const char* const End = Data + FOriginal.size();
        const char* Start = Data + FBomSize;
        FLines.reserve(std::count(Start, End, '\n') + 1);
        const auto Add = [&](const char* Stop, TNewline Newline) {
            FLines.push_back(Parse(TSpan{Start - Data, Stop - Start}, Newline));
        };
        // Lines end at LF, CR LF or a lone CR; memchr finds the LFs, and the
        // CRs are looked for only between them.
        while (Start < End) {
            const auto* Lf = static_cast<const char*>(std::memchr(Start, '\n', size_t(End - Start)));
            const char* Stop = Lf ? Lf : End;
            while (const auto* Cr = static_cast<const char*>(std::memchr(Start, '\r', size_t(Stop - Start)))) {
                if (Cr + 1 == Lf)
                    break;
                Add(Cr, TNewline::Cr);
                Start = Cr + 1;
            }
            if (!Lf) {
                if (Start < End)
                    Add(End, TNewline::None);
                break;
            }
            const bool CrLf = Lf > Start && Lf[-1] == '\r';
            Add(CrLf ? Lf - 1 : Lf, CrLf ? TNewline::CrLf : TNewline::Lf);
            Start = Lf + 1;
        }
    }

    TLine Parse(TSpan Text, TNewline End) const
    {
        TLine Line;
        Line.Text = Text;
        Line.Newline = End;
        const char* Data = this->Data(Text);
        qsizetype Begin = Text.Begin;
        qsizetype Stop = Text.Begin + Text.Size;
        while (Begin < Stop && IsBlankByte(Data[Begin]))
            ++Begin;
        while (Stop > Begin && IsBlankByte(Data[Stop - 1]))
            --Stop;
        if (Begin == Stop)
            return Line;
        if (Data[Begin] == ';') {
            Line.Kind = TLineKind::Comment;
            return Line;
        }
        if (Data[Begin] == '[') {
            qsizetype Close = Stop - 1;
            while (Close > Begin && Data[Close] != ']')
                --Close;
            if (Close > Begin) {
                Line.Kind = TLineKind::Header;
                Line.Name = Trimmed(Data, Begin + 1, Close, Text.Added);
                return Line;
            }
        }
        Line.Kind = TLineKind::Key;
        const void* Equals = std::memchr(Data + Begin, '=', size_t(Stop - Begin));
        if (!Equals) {
            Line.Name = TSpan{Begin, Stop - Begin, Text.Added};
            return Line;
        }
        const qsizetype At = static_cast<const char*>(Equals) - Data;
        Line.Name = Trimmed(Data, Begin, At, Text.Added);
        Line.Value = Trimmed(Data, At + 1, Stop, Text.Added);
        Line.HasValue = true;
        return Line;
    }

    static TSpan Trimmed(const char* Data, qsizetype Begin, qsizetype Stop, bool Added)
    {
        while (Begin < Stop && IsBlankByte(Data[Begin]))
            ++Begin;
        while (Stop > Begin && IsBlankByte(Data[Stop - 1]))
            --Stop;
        return TSpan{Begin, Stop - Begin, Added};
    }

    // A new line's bytes go with those of the other added lines.
    TLine NewLine(const QByteArray& Text, TNewline End)
    {
        const qsizetype Begin = FAdded.size();
        FAdded += Text;
        return Parse(TSpan{Begin, Text.size(), true}, End);
    }

    void AppendLine(const QByteArray& Text, TNewline End) { FLines.push_back(NewLine(Text, End)); }

    qsizetype NextHeader(qsizetype From) const
    {
        while (From < qsizetype(FLines.size()) && FLines[From].Kind != TLineKind::Header)
            ++From;
        return From;
    }

    // New lines end the way the file's lines already do; CR LF in a new file.
    TNewline Newline() const
    {
        for (const TLine& Line : FLines)
            if (Line.Newline != TNewline::None)
                return Line.Newline;
        return TNewline::CrLf;
    }

    void EndLastLine()
    {
        if (!FLines.empty() && FLines.back().Newline == TNewline::None)
            FLines.back().Newline = Newline();
    }

    QByteArray FOriginal;
    QByteArray FAdded; // the bytes of the lines added since
    qsizetype FBomSize = 0;
    std::vector<TLine> FLines;
};

bool Save(const QString& FileName, const TProfileFile& File)
{
    const QByteArray Bytes = File.Bytes();
    return Bytes == File.Original() || AtomicFile::Write(FileName, Bytes);
}

// The last file read, kept while the file on disk stays the same: the job
// list reads one entry at a time by position, and parsing the whole file for
// each entry would make it quadratic.
class TReadCache
{
public:
    using TFile = std::shared_ptr<const TProfileFile>;

    // A missing file reads as an empty one and is not kept.
    TFile Read(const QString& FileName)
    {
        QMutexLocker Lock(&FMutex);
        struct stat Now;
        if (FFile && FileName == FFileName && ::stat(QFile::encodeName(FileName).constData(), &Now) == 0
            && SameFile(Now, FIdentity))
            return FFile;
        ForgetLocked();
        const qint64 ReadAt = RealTimeNs();
        auto File = std::make_shared<TProfileFile>();
        struct stat Identity;
        Identity.st_ino = 0;
        if (!File->Load(FileName, &Identity))
            return nullptr;
        // Timestamps move in clock ticks, so a change made just after this read
        // could leave them as they are; a file changed that recently is read
        // again next time.
        if (Identity.st_ino != 0 && StatTimeNs(Identity.st_ctim) < ReadAt - RecentNs) {
            FFileName = FileName;
            FIdentity = Identity;
            FFile = File;
        }
        return File;
    }

    // What a reader made of a section of the file that Read gave last: the
    // job list asks for one position at a time.
    template <typename T>
    std::optional<QList<T>> Kept(const TFile& File, const QString& Section)
    {
        QMutexLocker Lock(&FMutex);
        const QHash<QString, QList<T>>& Hash = Sections<T>();
        if (File != FFile)
            return std::nullopt;
        const auto Found = Hash.constFind(Trim(Section).toCaseFolded());
        return Found == Hash.constEnd() ? std::nullopt : std::optional(*Found);
    }

    template <typename T>
    void Keep(const TFile& File, const QString& Section, const QList<T>& Items)
    {
        QMutexLocker Lock(&FMutex);
        if (File == FFile)
            Sections<T>().insert(Trim(Section).toCaseFolded(), Items);
    }

    void Forget()
    {
        QMutexLocker Lock(&FMutex);
        ForgetLocked();
    }

private:
    void ForgetLocked()
    {
        FFile.reset();
        FFileName.clear();
        FEntries.clear();
        FLines.clear();
    }

    template <typename T>
    QHash<QString, QList<T>>& Sections()
    {
        if constexpr (std::is_same_v<T, ProfileStrings::TProfileEntry>)
            return FEntries;
        else
            return FLines;
    }

    static constexpr qint64 RecentNs = 100'000'000;

    static qint64 StatTimeNs(const struct timespec& Time) { return qint64(Time.tv_sec) * 1'000'000'000 + Time.tv_nsec; }

    static qint64 RealTimeNs()
    {
        struct timespec Now;
        ::clock_gettime(CLOCK_REALTIME, &Now);
        return StatTimeNs(Now);
    }

    static bool SameFile(const struct stat& A, const struct stat& B)
    {
        return A.st_dev == B.st_dev && A.st_ino == B.st_ino && A.st_size == B.st_size
            && StatTimeNs(A.st_mtim) == StatTimeNs(B.st_mtim) && StatTimeNs(A.st_ctim) == StatTimeNs(B.st_ctim);
    }

    QMutex FMutex;
    QString FFileName;
    struct stat FIdentity = {};
    TFile FFile;
    QHash<QString, QList<ProfileStrings::TProfileEntry>> FEntries;
    QHash<QString, QList<ProfileStrings::TProfileLine>> FLines;
};

TReadCache& ReadCache()
{
    static TReadCache Cache;
    return Cache;
}

TReadCache::TFile ReadFile(const QString& FileName)
{
    return ReadCache().Read(FileName);
}

template <typename Edit>
bool Change(const QString& FileName, Edit&& Apply)
{
    ReadCache().Forget();
    TProfileFile File;
    if (!File.Load(FileName))
        return false;
    Apply(File);
    return Save(FileName, File);
}

} // namespace

namespace ProfileStrings {

QString GetString(const QString& FileName, const QString& Section, const QString& Key, const QString& Default)
{
    if (const TReadCache::TFile File = ReadFile(FileName))
        if (const std::optional<TSectionRange> Range = File->FindSection(Section))
            if (const std::optional<qsizetype> At = File->FindKey(*Range, Key))
                if (File->Line(*At).HasValue)
                    return File->Value(File->Line(*At));
    return AsReturned(TrimRight(Default));
}

QStringList GetKeys(const QString& FileName, const QString& Section)
{
    if (const TReadCache::TFile File = ReadFile(FileName))
        if (const std::optional<TSectionRange> Range = File->FindSection(Section))
            return File->Keys(*Range);
    return {};
}

QStringList GetSections(const QString& FileName)
{
    const TReadCache::TFile File = ReadFile(FileName);
    return File ? File->Sections() : QStringList();
}

QList<TProfileEntry> GetEntries(const QString& FileName, const QString& Section)
{
    const TReadCache::TFile File = ReadFile(FileName);
    QList<TProfileEntry> Out;
    if (!File)
        return Out;
    if (std::optional<QList<TProfileEntry>> Kept = ReadCache().Kept<TProfileEntry>(File, Section))
        return *Kept;
    const std::optional<TSectionRange> Range = File->FindSection(Section);
    if (!Range)
        return Out;
    // A key listed twice reads, like GetString, the value of its first line,
    // even when that line has no "=" (GetString then gives the empty default).
    QHash<QString, QString> FirstValue;
    for (qsizetype I = Range->Begin; I < Range->End; ++I) {
        const TLine& Line = File->Line(I);
        if (Line.Kind != TLineKind::Key)
            continue;
        const QString Name = File->Name(Line);
        const QString Folded = Name.toCaseFolded();
        auto Found = FirstValue.constFind(Folded);
        if (Found == FirstValue.constEnd())
            Found = FirstValue.insert(Folded, Line.HasValue ? File->Value(Line) : QString());
        if (Line.HasValue)
            Out.append(TProfileEntry{Name, *Found});
    }
    ReadCache().Keep(File, Section, Out);
    return Out;
}

QList<TProfileLine> GetLines(const QString& FileName, const QString& Section)
{
    const TReadCache::TFile File = ReadFile(FileName);
    QList<TProfileLine> Out;
    if (!File)
        return Out;
    if (std::optional<QList<TProfileLine>> Kept = ReadCache().Kept<TProfileLine>(File, Section))
        return *Kept;
    const std::optional<TSectionRange> Range = File->FindSection(Section);
    if (!Range)
        return Out;
    Out.reserve(Range->End - Range->Begin);
    for (qsizetype I = Range->Begin; I < Range->End; ++I)
        if (File->Line(I).Kind == TLineKind::Key && File->Line(I).HasValue)
            Out.append(File->Read(File->Line(I)));
    ReadCache().Keep(File, Section, Out);
    return Out;
}

bool WriteString(const QString& FileName, const QString& Section, const QString& Key, const QString& Value)
{
    if (HasLineBreak(Section) || HasLineBreak(Key) || HasLineBreak(Value))
        return false;
    return Change(FileName, [&](TProfileFile& File) { File.WriteString(Section, Key, Value); });
}

bool DeleteKey(const QString& FileName, const QString& Section, const QString& Key)
{
    return Change(FileName, [&](TProfileFile& File) { File.DeleteKey(Section, Key); });
}

bool DeleteSection(const QString& FileName, const QString& Section)
{
    return Change(FileName, [&](TProfileFile& File) { File.DeleteSection(Section); });
}

bool RewriteSection(const QString& FileName, const QString& Section, const QList<TProfileEntry>& Entries)
{
    if (HasLineBreak(Section))
        return false;
    for (const TProfileEntry& Entry : Entries)
        if (HasLineBreak(Entry.Key) || HasLineBreak(Entry.Value))
            return false;
    return Change(FileName, [&](TProfileFile& File) {
        File.DeleteSection(Section);
        if (!File.FindSection(Section) && DistinctKeys(Entries)) {
            QList<TProfileLine> Lines;
            Lines.reserve(Entries.size());
            for (const TProfileEntry& Entry : Entries)
                Lines.append(TProfileLine{Entry.Key, Entry.Value, Entry.Value.toUtf8()});
            File.AppendSection(Section, Lines);
            return;
        }
        for (const TProfileEntry& Entry : Entries)
            File.WriteString(Section, Entry.Key, Entry.Value);
    });
}

bool RewriteSectionLines(const QString& FileName, const QString& Section, const QList<TProfileLine>& Lines)
{
    if (HasLineBreak(Section))
        return false;
    for (const TProfileLine& Line : Lines)
        if (HasLineBreak(Line.Key) || HasLineBreak(Line.ValueBytes))
            return false;
    return Change(FileName, [&](TProfileFile& File) { File.RewriteSection(Section, Lines); });
}

bool RemoveLines(const QString& FileName, const QString& Section, const std::function<bool(const QString& Value)>& Drop,
                 const std::function<QString(qsizetype Number)>& KeyOf)
{
    if (HasLineBreak(Section))
        return false;
    bool Refused = false;
    const bool Written = Change(FileName, [&](TProfileFile& File) {
        QList<TProfileLine> Kept;
        const std::optional<TSectionRange> Range = File.FindSection(Section);
        if (Range) {
            Kept.reserve(Range->End - Range->Begin);
            for (qsizetype I = Range->Begin; I < Range->End; ++I) {
                const TLine& Line = File.Line(I);
                if (Line.Kind != TLineKind::Key || !Line.HasValue)
                    continue;
                TProfileLine Kept1 = File.Read(Line, true);
                if (Drop(Kept1.Value))
                    continue;
                // The decoded values of a long section would only take room.
                Kept1.Value.clear();
                Kept1.Key = KeyOf(Kept.size() + 1);
                if (HasLineBreak(Kept1.Key)) {
                    Refused = true;
                    return;
                }
                Kept.append(std::move(Kept1));
            }
        }
        File.RewriteSection(Section, Kept);
    });
    return Written && !Refused;
}

bool RemoveValue(const QString& FileName, const QString& Section, const QString& Value, const QString& KeyPrefix)
{
    if (HasLineBreak(Section))
        return false;
    if (!HasLineBreak(KeyPrefix)) {
        ReadCache().Forget();
        TProfileFile File;
        if (!File.Load(FileName))
            return false;
        if (const std::optional<QByteArray> Bytes = File.WithoutValue(Section, Value, KeyPrefix))
            return *Bytes == File.Original() || AtomicFile::Write(FileName, *Bytes);
    }
    return RemoveLines(
        FileName, Section, [&](const QString& Entry) { return AsciiText::SameText(Entry, Value); },
        [&](qsizetype Number) { return KeyPrefix + QString::number(Number); });
}

bool Flush(const QString& FileName)
{
    Q_UNUSED(FileName);
    return true;
}

} // namespace ProfileStrings
