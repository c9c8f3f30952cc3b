#include "jobs/SectionRenumbering.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/ProfileCache.h"

#include <cstring>
#include <optional>
#include <vector>

using namespace ProfileFile;
using ProfileStrings::TProfileLine;

namespace {

// What RemoveValue writes, made straight from the bytes read: the kept
// values are slices of the file and the keys are written by number, with
// no decoding of ASCII values and no line table for the new lines.
// Nothing when the section is missing, nameless or repeated, which the
// general way handles.
std::optional<QByteArray> WithoutValue(const TProfileFile& File, const QString& Section, const QString& Value,
                                       const QString& KeyPrefix)
{
    const QByteArray& Original = File.Original();
    const std::optional<TSectionRange> Range = File.FindSection(Section);
    if (!Range || Range->Header < 0)
        return std::nullopt;
    const QString Name = Trim(Section);
    for (qsizetype I = File.NextHeader(Range->End); I < File.LineCount(); I = File.NextHeader(I + 1))
        if (SameName(File.Name(File.Line(I)), Name))
            return std::nullopt;

    // ASCII bytes read as themselves, UTF-8 or not, and a text with other
    // characters never equals an ASCII one under AsciiText's rule.
    const bool AsciiValue = IsAscii(Value);
    const QByteArray AsciiBytes = AsciiValue ? Value.toLatin1() : QByteArray();
    // One pass over the whole section spares a test of each value.
    const qsizetype SectionBegin = File.Line(Range->Header).Text.Begin;
    const qsizetype SectionEnd = Range->End < File.LineCount() ? File.Line(Range->End).Text.Begin : Original.size();
    const bool AsciiSection = AllAscii(QByteArrayView(Original).sliced(SectionBegin, SectionEnd - SectionBegin));
    std::vector<QByteArrayView> Kept;
    Kept.reserve(Range->End - Range->Begin);
    std::vector<QByteArray> Owned; // values the buffer limit cut, in UTF-8
    qsizetype ValueBytes = 0;
    for (qsizetype I = Range->Begin; I < Range->End; ++I) {
        const TLine& Line = File.Line(I);
        if (Line.Kind != TLineKind::Key || !Line.HasValue)
            continue;
        QByteArrayView Raw = File.View(Line.Value);
        if (Raw.size() >= 2 && IsQuote(static_cast<unsigned char>(Raw.front())) && Raw.back() == Raw.front())
            Raw = Raw.sliced(1, Raw.size() - 2);
        QByteArrayView Keep;
        if (Raw.size() <= MaxValueLength && (AsciiSection || IsAscii(Raw))) {
            if (AsciiValue && AsciiText::SameText(Raw, AsciiBytes))
                continue;
            Keep = Raw;
        } else {
            TProfileLine Read = File.Read(Line, true);
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
    const QByteArrayView Before = QByteArrayView(Original).first(Cut);
    const QByteArrayView After = QByteArrayView(Original).sliced(Rest);
    if (Kept.empty()) // the section goes altogether, as with no lines to add
        return Before.toByteArray().append(After);

    // New lines end like the first remaining line that has an end, and
    // the remaining last line gets one.
    TNewline End = TNewline::None;
    for (qsizetype I = 0; I < File.LineCount() && End == TNewline::None; ++I)
        if (I < Range->Header || I >= Range->End)
            End = File.Line(I).Newline;
    if (End == TNewline::None)
        End = TNewline::CrLf;
    const QByteArrayView Newline = NewlineBytes(End);
    const bool EndLast = Rest == Original.size() ? Range->Header > 0 && File.Line(Range->Header - 1).Newline == TNewline::None
                                                   : File.Line(File.LineCount() - 1).Newline == TNewline::None;

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

} // namespace

namespace SectionRenumbering {

bool RemoveLines(const QString& FileName, const QString& Section, const std::function<bool(const QString& Value)>& Drop,
                 const std::function<QString(qsizetype Number)>& KeyOf)
{
    if (HasLineBreak(Section))
        return false;
    bool Refused = false;
    const bool Written = ProfileCache::Change(FileName, [&](TProfileFile& File) {
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
        ProfileCache::Forget();
        TProfileFile File;
        if (!File.Load(FileName))
            return false;
        if (const std::optional<QByteArray> Bytes = WithoutValue(File, Section, Value, KeyPrefix))
            return *Bytes == File.Original() || AtomicFile::Write(FileName, *Bytes);
    }
    return RemoveLines(
        FileName, Section, [&](const QString& Entry) { return AsciiText::SameText(Entry, Value); },
        [&](qsizetype Number) { return KeyPrefix + QString::number(Number); });
}

} // namespace SectionRenumbering
