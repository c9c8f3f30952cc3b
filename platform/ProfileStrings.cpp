#include "platform/ProfileStrings.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QStringDecoder>

#include <memory>
#include <optional>
#include <vector>

#include <sys/stat.h>
#include <time.h>

namespace {

// With a buffer of 2048 characters the service copies at most 2047.
constexpr qsizetype MaxValueLength = 2047;

const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

bool IsBlank(QChar C)
{
    const char16_t U = C.unicode();
    return (U >= 0x09 && U <= 0x0D) || U == 0x20 || U == 0x1A;
}

QString TrimLeft(const QString& S)
{
    qsizetype I = 0;
    while (I < S.size() && IsBlank(S[I]))
        ++I;
    return S.mid(I);
}

QString TrimRight(const QString& S)
{
    qsizetype N = S.size();
    while (N > 0 && IsBlank(S[N - 1]))
        --N;
    return S.left(N);
}

QString Trim(const QString& S)
{
    return TrimLeft(TrimRight(S));
}

bool SameName(const QString& A, const QString& B)
{
    return A.compare(B, Qt::CaseInsensitive) == 0;
}

bool HasLineBreak(const QString& S)
{
    return S.contains(QLatin1Char('\r')) || S.contains(QLatin1Char('\n'));
}

// One pair of matching quotes goes, then the buffer limit applies; the limit
// never leaves half of a surrogate pair behind.
QString AsReturned(QString Value)
{
    if (Value.size() >= 2 && (Value.front() == QLatin1Char('"') || Value.front() == QLatin1Char('\''))
        && Value.back() == Value.front())
        Value = Value.mid(1, Value.size() - 2);
    if (Value.size() > MaxValueLength) {
        qsizetype N = MaxValueLength;
        if (Value[N - 1].isHighSurrogate())
            --N;
        Value.truncate(N);
    }
    return Value;
}

enum class TLineKind { Blank, Comment, Header, Key };

struct TLine
{
    QByteArray Text;    // the line's bytes as in the file, without its end
    QByteArray Newline; // CR LF, CR, LF, or empty for a last line without one
    TLineKind Kind = TLineKind::Blank;
    QString Name;       // of the section (Header) or of the key (Key)
    std::optional<QString> Value;
};

// Lines [Begin, End) follow the header at Header; the nameless section at the
// top of the file has no header (-1).
struct TSectionRange
{
    qsizetype Header = -1;
    qsizetype Begin = 0;
    qsizetype End = 0;
};

TLine ParseLine(QByteArray Text, QByteArray Newline)
{
    TLine Line;
    Line.Text = std::move(Text);
    Line.Newline = std::move(Newline);
    // A U+FEFF that starts a line is text: only the file's own mark at its
    // start is not (Load takes that off), and fromUtf8 would drop it.
    QStringDecoder Decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString Trimmed = Trim(Decoder(Line.Text));
    if (Trimmed.isEmpty())
        return Line;
    if (Trimmed.front() == QLatin1Char(';')) {
        Line.Kind = TLineKind::Comment;
        return Line;
    }
    const qsizetype Close = Trimmed.lastIndexOf(QLatin1Char(']'));
    if (Trimmed.front() == QLatin1Char('[') && Close > 0) {
        Line.Kind = TLineKind::Header;
        Line.Name = Trim(Trimmed.mid(1, Close - 1));
        return Line;
    }
    Line.Kind = TLineKind::Key;
    const qsizetype Equals = Trimmed.indexOf(QLatin1Char('='));
    if (Equals < 0) {
        Line.Name = Trimmed;
    } else {
        Line.Name = TrimRight(Trimmed.left(Equals));
        Line.Value = TrimLeft(Trimmed.mid(Equals + 1));
    }
    return Line;
}

// The file as lines that remember their bytes, so that a rewrite changes only
// the lines an operation touches.
class TProfileFile
{
public:
    // A missing file is an empty one; false only when the file exists and
    // cannot be read, which must stop any write.
    bool Load(const QString& FileName, struct stat* Identity = nullptr)
    {
        QFile File(FileName);
        if (!File.exists())
            return true;
        if (!File.open(QIODevice::ReadOnly))
            return false;
        if (Identity && ::fstat(File.handle(), Identity) != 0)
            return false;
        QByteArray Bytes = File.readAll();
        if (File.error() != QFileDevice::NoError)
            return false;
        FOriginal = Bytes;
        if (Bytes.startsWith(Utf8Bom)) {
            FBom = Utf8Bom;
            Bytes.remove(0, Utf8Bom.size());
        }
        Split(Bytes);
        return true;
    }

    QByteArray Bytes() const
    {
        QByteArray Out = FBom;
        for (const TLine& Line : FLines)
            Out += Line.Text + Line.Newline;
        return Out;
    }

    bool Changed() const { return Bytes() != FOriginal; }

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
            if (SameName(FLines[Range.Header].Name, Name))
                return Range;
        }
        return std::nullopt;
    }

    std::optional<qsizetype> FindKey(const TSectionRange& Range, const QString& Key) const
    {
        const QString Name = Trim(Key);
        for (qsizetype I = Range.Begin; I < Range.End; ++I)
            if (FLines[I].Kind == TLineKind::Key && SameName(FLines[I].Name, Name))
                return I;
        return std::nullopt;
    }

    QStringList Keys(const TSectionRange& Range) const
    {
        QStringList Out;
        for (qsizetype I = Range.Begin; I < Range.End; ++I)
            if (FLines[I].Kind == TLineKind::Key && FLines[I].Value)
                Out += FLines[I].Name;
        return Out;
    }

    QStringList Sections() const
    {
        QStringList Out;
        for (const TLine& Line : FLines)
            if (Line.Kind == TLineKind::Header)
                Out += Line.Name;
        return Out;
    }

    const TLine& Line(qsizetype Index) const { return FLines[Index]; }

    void WriteString(const QString& Section, const QString& Key, const QString& RawValue)
    {
        const QString Value = TrimLeft(RawValue);
        const QString KeyName = Trim(Key);
        const QByteArray KeyLine = (KeyName + QLatin1Char('=') + Value).toUtf8();
        const std::optional<TSectionRange> Range = FindSection(Section);
        if (!Range) {
            EndLastLine();
            FLines.push_back(ParseLine(('[' + Trim(Section) + ']').toUtf8(), Newline()));
            FLines.push_back(ParseLine(KeyLine, Newline()));
            return;
        }
        if (const std::optional<qsizetype> At = FindKey(*Range, KeyName)) {
            TLine& Old = FLines[*At];
            if (Old.Value == Value)
                return;
            Old = ParseLine((Old.Name + QLatin1Char('=') + Value).toUtf8(), Old.Newline);
            return;
        }
        // After the section's last line that is not blank, so that blank lines
        // separating it from the next section stay where they are.
        qsizetype After = Range->End - 1;
        while (After >= Range->Begin && FLines[After].Kind == TLineKind::Blank)
            --After;
        if (After < 0) {
            FLines.insert(FLines.begin(), ParseLine(KeyLine, Newline()));
            return;
        }
        if (FLines[After].Newline.isEmpty())
            FLines[After].Newline = Newline();
        FLines.insert(FLines.begin() + After + 1, ParseLine(KeyLine, Newline()));
    }

    // What WriteString of each entry gives when the section is missing and
    // the keys differ, without searching the growing section every time.
    void AppendSection(const QString& Section, const QList<ProfileStrings::TProfileEntry>& Entries)
    {
        if (Entries.isEmpty())
            return;
        EndLastLine();
        const QByteArray End = Newline();
        FLines.push_back(ParseLine(('[' + Trim(Section) + ']').toUtf8(), End));
        for (const ProfileStrings::TProfileEntry& Entry : Entries)
            FLines.push_back(ParseLine((Trim(Entry.Key) + QLatin1Char('=') + TrimLeft(Entry.Value)).toUtf8(), End));
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

private:
    void Split(const QByteArray& Bytes)
    {
        qsizetype Start = 0;
        const qsizetype Size = Bytes.size();
        for (qsizetype I = 0; I < Size; ++I) {
            const char C = Bytes[I];
            if (C != '\r' && C != '\n')
                continue;
            const qsizetype EndLength = (C == '\r' && I + 1 < Size && Bytes[I + 1] == '\n') ? 2 : 1;
            FLines.push_back(ParseLine(Bytes.mid(Start, I - Start), Bytes.mid(I, EndLength)));
            I += EndLength - 1;
            Start = I + 1;
        }
        if (Start < Size)
            FLines.push_back(ParseLine(Bytes.mid(Start), QByteArray()));
    }

    qsizetype NextHeader(qsizetype From) const
    {
        while (From < qsizetype(FLines.size()) && FLines[From].Kind != TLineKind::Header)
            ++From;
        return From;
    }

    // New lines end the way the file's lines already do; CR LF in a new file.
    QByteArray Newline() const
    {
        for (const TLine& Line : FLines)
            if (!Line.Newline.isEmpty())
                return Line.Newline;
        return QByteArrayLiteral("\r\n");
    }

    void EndLastLine()
    {
        if (!FLines.empty() && FLines.back().Newline.isEmpty())
            FLines.back().Newline = Newline();
    }

    QByteArray FOriginal;
    QByteArray FBom;
    std::vector<TLine> FLines;
};

bool Save(const QString& FileName, const TProfileFile& File)
{
    return !File.Changed() || AtomicFile::Write(FileName, File.Bytes());
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

    // The entries of a section of the file that Read gave last.
    std::optional<QList<ProfileStrings::TProfileEntry>> Entries(const TFile& File, const QString& Section)
    {
        QMutexLocker Lock(&FMutex);
        if (File != FFile)
            return std::nullopt;
        const auto Found = FEntries.constFind(Trim(Section).toCaseFolded());
        return Found == FEntries.constEnd() ? std::nullopt : std::optional(*Found);
    }

    void KeepEntries(const TFile& File, const QString& Section, const QList<ProfileStrings::TProfileEntry>& Entries)
    {
        QMutexLocker Lock(&FMutex);
        if (File == FFile)
            FEntries.insert(Trim(Section).toCaseFolded(), Entries);
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

bool DistinctKeys(const QList<ProfileStrings::TProfileEntry>& Entries)
{
    QSet<QString> Seen;
    for (const ProfileStrings::TProfileEntry& Entry : Entries) {
        const QString Folded = Trim(Entry.Key).toCaseFolded();
        if (Seen.contains(Folded))
            return false;
        Seen.insert(Folded);
    }
    return true;
}

} // namespace

namespace ProfileStrings {

QString GetString(const QString& FileName, const QString& Section, const QString& Key, const QString& Default)
{
    if (const TReadCache::TFile File = ReadFile(FileName))
        if (const std::optional<TSectionRange> Range = File->FindSection(Section))
            if (const std::optional<qsizetype> At = File->FindKey(*Range, Key))
                if (const std::optional<QString>& Value = File->Line(*At).Value)
                    return AsReturned(*Value);
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
    if (std::optional<QList<TProfileEntry>> Kept = ReadCache().Entries(File, Section))
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
        const QString Folded = Line.Name.toCaseFolded();
        auto Found = FirstValue.constFind(Folded);
        if (Found == FirstValue.constEnd())
            Found = FirstValue.insert(Folded, Line.Value ? AsReturned(*Line.Value) : QString());
        if (Line.Value)
            Out.append(TProfileEntry{Line.Name, *Found});
    }
    ReadCache().KeepEntries(File, Section, Out);
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
            File.AppendSection(Section, Entries);
            return;
        }
        for (const TProfileEntry& Entry : Entries)
            File.WriteString(Section, Entry.Key, Entry.Value);
    });
}

bool Flush(const QString& FileName)
{
    Q_UNUSED(FileName);
    return true;
}

} // namespace ProfileStrings
