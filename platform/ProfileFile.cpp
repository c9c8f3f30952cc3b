#include "platform/ProfileFile.h"

#include "platform/TextDecoding.h"

#include <QFile>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace ProfileFile {

namespace {

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

} // namespace

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

namespace {

QByteArray TrimLeft(const QByteArray& S)
{
    const QByteArrayView Trimmed = ProfileFile::TrimLeft(QByteArrayView(S));
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

} // namespace

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

// One pair of matching quotes goes, then the buffer limit applies.
QString AsReturned(QString Value)
{
    if (Value.size() >= 2 && IsQuote(Value.front().unicode()) && Value.back() == Value.front())
        Value = Value.mid(1, Value.size() - 2);
    return CutToBuffer(std::move(Value));
}

bool IsAscii(QByteArrayView Bytes)
{
    for (char C : Bytes)
        if (static_cast<unsigned char>(C) >= 0x80)
            return false;
    return true;
}

bool AllAscii(QByteArrayView Bytes)
{
    unsigned char Bits = 0;
    for (char C : Bytes)
        Bits |= static_cast<unsigned char>(C);
    return Bits < 0x80;
}

bool IsAscii(const QString& Text)
{
    for (QChar C : Text)
        if (C.unicode() >= 0x80)
            return false;
    return true;
}

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

QByteArray HeaderText(const QString& Section)
{
    return '[' + Trim(Section).toUtf8() + ']';
}

namespace {

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

// Spans hold 31 bits: a file of up to 1 GiB, with room for as much again of
// lines added to it.
constexpr qint64 MaxFileSize = 0x3FFF'FFFF;

} // namespace

bool TProfileFile::Load(const QString& FileName, struct stat* Identity)
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

QByteArray TProfileFile::Bytes() const
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

std::optional<TSectionRange> TProfileFile::FindSection(const QString& Section) const
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

std::optional<qsizetype> TProfileFile::FindKey(const TSectionRange& Range, const QString& Key) const
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

QStringList TProfileFile::Keys(const TSectionRange& Range) const
{
    QStringList Out;
    for (qsizetype I = Range.Begin; I < Range.End; ++I)
        if (FLines[I].Kind == TLineKind::Key && FLines[I].HasValue)
            Out += Decode(FLines[I].Name);
    return Out;
}

QStringList TProfileFile::Sections() const
{
    QStringList Out;
    for (const TLine& Line : FLines)
        if (Line.Kind == TLineKind::Header)
            Out += Decode(Line.Name);
    return Out;
}

QString TProfileFile::Name(const TLine& Line) const
{
    return Decode(Line.Name);
}

QString TProfileFile::Value(const TLine& Line) const
{
    return AsReturned(Decode(Line.Value));
}

ProfileStrings::TProfileLine TProfileFile::Read(const TLine& Line, bool Borrow) const
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

void TProfileFile::WriteString(const QString& Section, const QString& Key, const QString& RawValue)
{
    const QString Value = TrimLeft(RawValue);
    PutKey(Section, Key, Value.toUtf8(),
           [&](const TLine& Old) { return Old.HasValue && Decode(Old.Value) == Value; });
}

void TProfileFile::WriteBytes(const QString& Section, const QString& Key, const QByteArray& RawValue)
{
    const QByteArray Value = TrimLeft(RawValue);
    PutKey(Section, Key, Value, [&](const TLine& Old) { return Old.HasValue && View(Old.Value) == Value; });
}

void TProfileFile::AppendSection(const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines)
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

void TProfileFile::RewriteSection(const QString& Section, const QList<ProfileStrings::TProfileLine>& Lines)
{
    DeleteSection(Section);
    if (!FindSection(Section) && DistinctKeys(Lines)) {
        AppendSection(Section, Lines);
        return;
    }
    for (const ProfileStrings::TProfileLine& Line : Lines)
        WriteBytes(Section, Line.Key, Line.ValueBytes);
}

void TProfileFile::DeleteKey(const QString& Section, const QString& Key)
{
    if (const std::optional<TSectionRange> Range = FindSection(Section))
        if (const std::optional<qsizetype> At = FindKey(*Range, Key))
            FLines.erase(FLines.begin() + *At);
}

void TProfileFile::DeleteSection(const QString& Section)
{
    if (const std::optional<TSectionRange> Range = FindSection(Section)) {
        const qsizetype First = Range->Header >= 0 ? Range->Header : Range->Begin;
        FLines.erase(FLines.begin() + First, FLines.begin() + Range->End);
    }
}

qsizetype TProfileFile::NextHeader(qsizetype From) const
{
    while (From < qsizetype(FLines.size()) && FLines[From].Kind != TLineKind::Header)
        ++From;
    return From;
}

template <typename Same>
void TProfileFile::PutKey(const QString& Section, const QString& Key, const QByteArray& Value, Same&& Unchanged)
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

QString TProfileFile::Decode(TSpan Span) const
{
    return TextDecoding::DecodeUtf8OrCp1252(View(Span));
}

void TProfileFile::Split()
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

TLine TProfileFile::Parse(TSpan Text, TNewline End) const
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

TSpan TProfileFile::Trimmed(const char* Data, qsizetype Begin, qsizetype Stop, bool Added)
{
    while (Begin < Stop && IsBlankByte(Data[Begin]))
        ++Begin;
    while (Stop > Begin && IsBlankByte(Data[Stop - 1]))
        --Stop;
    return TSpan{Begin, Stop - Begin, Added};
}

TLine TProfileFile::NewLine(const QByteArray& Text, TNewline End)
{
    const qsizetype Begin = FAdded.size();
    FAdded += Text;
    return Parse(TSpan{Begin, Text.size(), true}, End);
}

void TProfileFile::AppendLine(const QByteArray& Text, TNewline End)
{
    FLines.push_back(NewLine(Text, End));
}

TNewline TProfileFile::Newline() const
{
    for (const TLine& Line : FLines)
        if (Line.Newline != TNewline::None)
            return Line.Newline;
    return TNewline::CrLf;
}

void TProfileFile::EndLastLine()
{
    if (!FLines.empty() && FLines.back().Newline == TNewline::None)
        FLines.back().Newline = Newline();
}

} // namespace ProfileFile
