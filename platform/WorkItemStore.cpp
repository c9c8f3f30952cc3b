#include "platform/WorkItemStore.h"

#include "platform/AsciiText.h"
#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <type_traits>
#include <variant>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Magic[] = "LumidorWorkItem 1";
constexpr char EndLine[] = "End";
constexpr char Extension[] = ".job";
constexpr int MaxNameBytes = 255;

QString& FolderOverride()
{
    static QString Instance;
    return Instance;
}

// A file the store may read: a regular file of ours that nobody else can write.
TStoreResult CheckFileStat(const struct stat& Info)
{
    static const uid_t Self = geteuid();
    if (!S_ISREG(Info.st_mode) || Info.st_uid != Self || (Info.st_mode & (S_IWGRP | S_IWOTH)))
        return TStoreResult::AccessDenied;
    return TStoreResult::Ok;
}

constexpr char TemporaryPrefix[] = ".tmp-";

// Every temporary file of the store is written under the store's lock, so
// whoever holds it knows that any temporary file it sees is stale.
int RemoveStaleTemporariesLocked()
{
    return AtomicFile::RemoveStaleTemporaries(WorkItemStore::Folder(), QLatin1String(TemporaryPrefix), 0);
}

// The first hold of a store's lock in a process clears what writers killed
// before it left behind.
bool FirstHoldOf(const QString& Folder)
{
    static QSet<QString> Held;
    if (Held.contains(Folder))
        return false;
    Held.insert(Folder);
    return true;
}

// Held around every change, so that a check for an existing name and the
// write that follows it see the same folder.
class TStoreLock
{
public:
    TStoreLock()
    {
        if (FLock.Open(WorkItemStore::LockFilePath(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600)
            && FLock.Lock(TFileLock::Exclusive, TFileLock::Wait) && FirstHoldOf(WorkItemStore::Folder()))
            FRemovedOnFirstHold = RemoveStaleTemporariesLocked();
    }

    bool Held() const { return FLock.Held(); }
    int RemovedOnFirstHold() const { return FRemovedOnFirstHold; }

private:
    TFileLock FLock;
    int FRemovedOnFirstHold = 0;
};

// The file name in the folder that holds the item, matching the name without
// regard to the case of A to Z; empty when there is none.
QString ResolveFileName(const QString& Item)
{
    const QString Folder = WorkItemStore::Folder();
    const QString Exact = Item + QLatin1String(Extension);
    struct stat Info;
    if (::lstat(QFile::encodeName(Folder + QLatin1Char('/') + Exact).constData(), &Info) == 0)
        return Exact;
    DIR* Dir = ::opendir(QFile::encodeName(Folder).constData());
    if (!Dir)
        return {};
    QString Found;
    while (const dirent* Entry = ::readdir(Dir)) {
        const QString FileName = QFile::decodeName(Entry->d_name);
        if (WorkItemStore::HasJobExtension(FileName) && AsciiText::SameText(FileName.chopped(4), Item)) {
            Found = FileName;
            break;
        }
    }
    ::closedir(Dir);
    return Found;
}

// A synced temporary file beside the items, whose name no item can have.
QString WriteTemporary(const TWorkItem& Item)
{
    return AtomicFile::WriteTemporary(WorkItemStore::Folder() + QLatin1Char('/') + QLatin1String(TemporaryPrefix),
        WorkItemStore::Serialize(Item), 0600);
}

TStoreResult LoadFile(const QString& FileName, TWorkItem& Item)
{
    const QString Path = WorkItemStore::Folder() + QLatin1Char('/') + FileName;
    const int Fd = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0) {
        if (errno == ENOENT)
            return TStoreResult::NotFound;
        return errno == ELOOP ? TStoreResult::AccessDenied : TStoreResult::IoError;
    }
    struct stat Info;
    TStoreResult Result = ::fstat(Fd, &Info) == 0 ? CheckFileStat(Info) : TStoreResult::IoError;
    if (Result == TStoreResult::Ok && Info.st_size > WorkItemStore::MaxFileSize)
        Result = TStoreResult::Damaged;
    QByteArray Content;
    if (Result == TStoreResult::Ok) {
        Content.resize(qsizetype(Info.st_size) + 1);
        qsizetype Total = 0;
        for (;;) {
            const ssize_t Read = ::read(Fd, Content.data() + Total, size_t(Content.size() - Total));
            if (Read < 0 && errno == EINTR)
                continue;
            if (Read < 0) {
                Result = TStoreResult::IoError;
                break;
            }
            if (Read == 0)
                break;
            const bool Short = Read < Content.size() - Total;
            Total += Read;
            // Grown while we read: more than we accept anyway.
            if (Total == Content.size()) {
                Result = TStoreResult::Damaged;
                break;
            }
            // A regular file reads short only at its end.
            if (Short)
                break;
        }
        Content.truncate(Total);
    }
    ::close(Fd);
    if (Result != TStoreResult::Ok)
        return Result;
    TWorkItem Parsed;
    if (!WorkItemStore::Parse(Content, Parsed))
        return TStoreResult::Damaged;
    Item = std::move(Parsed);
    return TStoreResult::Ok;
}

// Replaces the file of an existing item; the caller holds the lock.
TStoreResult ReplaceLocked(const QString& FileName, const TWorkItem& Item)
{
    const QString Path = WorkItemStore::Folder() + QLatin1Char('/') + FileName;
    struct stat Info;
    if (::lstat(QFile::encodeName(Path).constData(), &Info) != 0)
        return errno == ENOENT ? TStoreResult::NotFound : TStoreResult::IoError;
    if (CheckFileStat(Info) != TStoreResult::Ok)
        return TStoreResult::AccessDenied;
    const QString Temporary = WriteTemporary(Item);
    if (Temporary.isEmpty())
        return TStoreResult::IoError;
    if (::rename(QFile::encodeName(Temporary).constData(), QFile::encodeName(Path).constData()) != 0) {
        ::unlink(QFile::encodeName(Temporary).constData());
        return TStoreResult::IoError;
    }
    AtomicFile::SyncFolder(WorkItemStore::Folder());
    return TStoreResult::Ok;
}

// With no folder there is no item either; otherwise the lock is a fault.
TStoreResult LockFailure()
{
    struct stat Info;
    return ::stat(QFile::encodeName(WorkItemStore::Folder()).constData(), &Info) != 0 && errno == ENOENT
        ? TStoreResult::NotFound
        : TStoreResult::IoError;
}

// --- text form ---

QByteArray Escape(const QString& Text)
{
    QByteArray Result;
    for (const char C : Text.toUtf8()) {
        switch (C) {
        case '\\': Result += "\\\\"; break;
        case '\n': Result += "\\n"; break;
        case '\r': Result += "\\r"; break;
        case '\0': Result += "\\0"; break;
        default: Result += C;
        }
    }
    return Result;
}

bool Unescape(const QByteArray& Raw, QString& Text)
{
    QByteArray Bytes;
    for (qsizetype I = 0; I < Raw.size(); ++I) {
        if (Raw[I] != '\\') {
            Bytes += Raw[I];
            continue;
        }
        if (++I == Raw.size())
            return false;
        switch (Raw[I]) {
        case '\\': Bytes += '\\'; break;
        case 'n': Bytes += '\n'; break;
        case 'r': Bytes += '\r'; break;
        case '0': Bytes += '\0'; break;
        default: return false;
        }
    }
    QStringDecoder Decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    Text = Decoder(Bytes);
    return !Decoder.hasError();
}

// Plain decimal digits only: no sign, no blanks, no overflow past Max.
bool ParseNumber(QByteArrayView Raw, uint64_t Max, uint64_t& Value)
{
    if (Raw.isEmpty() || Raw.size() > 20)
        return false;
    Value = 0;
    for (const char C : Raw) {
        if (C < '0' || C > '9')
            return false;
        const uint64_t Digit = uint64_t(C - '0');
        if (Value > (Max - Digit) / 10)
            return false;
        Value = Value * 10 + Digit;
    }
    return true;
}

bool ParseU32(const QByteArray& Raw, uint32_t& Value)
{
    uint64_t Wide = 0;
    if (!ParseNumber(Raw, UINT32_MAX, Wide))
        return false;
    Value = uint32_t(Wide);
    return true;
}

// Exactly one number per limit, each separated by one blank.
bool ParseWords(QByteArrayView Raw, std::vector<uint64_t>& Values, const std::vector<uint64_t>& Limits)
{
    Values.resize(Limits.size());
    qsizetype Start = 0;
    for (size_t I = 0; I < Limits.size(); ++I) {
        qsizetype End = Raw.indexOf(' ', Start);
        if ((End < 0) != (I + 1 == Limits.size()))
            return false;
        if (End < 0)
            End = Raw.size();
        if (!ParseNumber(Raw.sliced(Start, End - Start), Limits[I], Values[I]))
            return false;
        Start = End + 1;
    }
    return true;
}

QByteArray CalendarText(const TCalendarTime& R)
{
    return QByteArrayList{QByteArray::number(R.wYear), QByteArray::number(R.wMonth), QByteArray::number(R.wDayOfWeek),
        QByteArray::number(R.wDay), QByteArray::number(R.wHour), QByteArray::number(R.wMinute),
        QByteArray::number(R.wSecond), QByteArray::number(R.wMilliseconds)}
        .join(' ');
}

bool ParseCalendar(const QByteArray& Raw, TCalendarTime& R)
{
    std::vector<uint64_t> V;
    if (!ParseWords(Raw, V, std::vector<uint64_t>(8, UINT16_MAX)))
        return false;
    R = {uint16_t(V[0]), uint16_t(V[1]), uint16_t(V[2]), uint16_t(V[3]), uint16_t(V[4]), uint16_t(V[5]),
        uint16_t(V[6]), uint16_t(V[7])};
    return true;
}

QByteArray TriggerText(const TTriggerData& T)
{
    const uint64_t Values[] = {T.cbTriggerSize, T.Reserved1, T.wBeginYear, T.wBeginMonth, T.wBeginDay, T.wEndYear,
        T.wEndMonth, T.wEndDay, T.wStartHour, T.wStartMinute, T.MinutesDuration, T.MinutesInterval, T.rgFlags,
        T.TriggerType, T.TypeWords[0], T.TypeWords[1], T.TypeWords[2], T.TypeWords[3], T.Reserved2,
        T.wRandomMinutesInterval};
    QByteArrayList Parts;
    for (const uint64_t V : Values)
        Parts += QByteArray::number(qulonglong(V));
    return Parts.join(' ');
}

bool ParseTrigger(const QByteArray& Raw, TTriggerData& T)
{
    std::vector<uint64_t> Limits(20, UINT16_MAX);
    for (size_t I = 10; I <= 13; ++I)
        Limits[I] = UINT32_MAX;
    std::vector<uint64_t> V;
    if (!ParseWords(Raw, V, Limits))
        return false;
    T.cbTriggerSize = uint16_t(V[0]);
    T.Reserved1 = uint16_t(V[1]);
    T.wBeginYear = uint16_t(V[2]);
    T.wBeginMonth = uint16_t(V[3]);
    T.wBeginDay = uint16_t(V[4]);
    T.wEndYear = uint16_t(V[5]);
    T.wEndMonth = uint16_t(V[6]);
    T.wEndDay = uint16_t(V[7]);
    T.wStartHour = uint16_t(V[8]);
    T.wStartMinute = uint16_t(V[9]);
    T.MinutesDuration = uint32_t(V[10]);
    T.MinutesInterval = uint32_t(V[11]);
    T.rgFlags = uint32_t(V[12]);
    T.TriggerType = uint32_t(V[13]);
    for (int I = 0; I < 4; ++I)
        T.TypeWords[I] = uint16_t(V[size_t(14 + I)]);
    T.Reserved2 = uint16_t(V[18]);
    T.wRandomMinutesInterval = uint16_t(V[19]);
    return true;
}

bool ParseValue(const QByteArray& Raw, QString& Value)
{
    return Unescape(Raw, Value);
}

bool ParseValue(const QByteArray& Raw, uint32_t& Value)
{
    return ParseU32(Raw, Value);
}

bool ParseValue(const QByteArray& Raw, TCalendarTime& Value)
{
    return ParseCalendar(Raw, Value);
}

QByteArray ValueText(const QString& Value)
{
    return Escape(Value);
}

QByteArray ValueText(uint32_t Value)
{
    return QByteArray::number(Value);
}

QByteArray ValueText(const TCalendarTime& Value)
{
    return CalendarText(Value);
}

// When a field's line is in the file: always (a file without it is damaged),
// only when the value differs from "none", or only when an account was set.
enum class TPresence { Always, WhenSet, WithAccount };

struct TField
{
    const char* Key;
    std::variant<QString TWorkItem::*, uint32_t TWorkItem::*, TCalendarTime TWorkItem::*> Member;
    TPresence Presence;
};

// The fields of a work item in the order they are written; writing, reading
// and the check for missing lines all follow it. Triggers come after them.
const TField Fields[] = {
    {"Application", &TWorkItem::Application, TPresence::Always},
    {"Parameters", &TWorkItem::Parameters, TPresence::Always},
    {"WorkingDirectory", &TWorkItem::WorkingDirectory, TPresence::Always},
    {"Comment", &TWorkItem::Comment, TPresence::Always},
    {"Author", &TWorkItem::Author, TPresence::Always},
    {"Account", &TWorkItem::Account, TPresence::WithAccount},
    {"Flags", &TWorkItem::Flags, TPresence::Always},
    {"Priority", &TWorkItem::Priority, TPresence::Always},
    {"MaxRunTime", &TWorkItem::MaxRunTime, TPresence::Always},
    {"Status", &TWorkItem::Status, TPresence::Always},
    {"ExitCode", &TWorkItem::ExitCode, TPresence::Always},
    {"MostRecentRun", &TWorkItem::MostRecentRun, TPresence::Always},
    {"SkippedRun", &TWorkItem::SkippedRun, TPresence::WhenSet},
    {"HandledRun", &TWorkItem::HandledRun, TPresence::WhenSet},
};
constexpr char TriggerKey[] = "Trigger";

} // namespace

namespace WorkItemStore {

QString Folder()
{
    if (!FolderOverride().isEmpty())
        return FolderOverride();
    const QByteArray Explicit = qgetenv("LUMIDOR_TASK_STORE");
    if (!Explicit.isEmpty())
        return QFile::decodeName(Explicit);
    return UserFolders::TaskStore();
}

void SetFolderForTesting(const QString& Folder)
{
    FolderOverride() = Folder;
}

bool EnsureFolder()
{
    const QString Path = Folder();
    const QByteArray Native = QFile::encodeName(Path);
    if (::mkdir(Native.constData(), 0700) != 0 && errno == ENOENT) {
        (void)QDir().mkpath(QFileInfo(Path).absolutePath());
        (void)::mkdir(Native.constData(), 0700);
    }
    struct stat Info;
    if (::lstat(Native.constData(), &Info) != 0 || !S_ISDIR(Info.st_mode) || Info.st_uid != geteuid())
        return false;
    if ((Info.st_mode & 0777) != 0700 && ::chmod(Native.constData(), 0700) != 0)
        return false;
    return true;
}

bool HasJobExtension(const QString& FileName)
{
    return FileName.size() > 4 && AsciiText::SameText(FileName.right(4), QString::fromLatin1(Extension));
}

QString ItemName(const QString& Name)
{
    const QString Item = HasJobExtension(Name) ? Name.chopped(4) : Name;
    if (Item.isEmpty() || Item.toUtf8().size() + 4 > MaxNameBytes)
        return {};
    for (const QChar C : Item)
        if (C == QLatin1Char('.') || C == QLatin1Char('/') || C == QLatin1Char('\\') || C.unicode() < 0x20)
            return {};
    return Item;
}

QString FilePath(const QString& Name)
{
    return Folder() + QLatin1Char('/') + ItemName(Name) + QLatin1String(Extension);
}

QStringList List()
{
    QStringList Names;
    const QByteArray Native = QFile::encodeName(Folder());
    DIR* Dir = ::opendir(Native.constData());
    if (!Dir)
        return Names;
    while (const dirent* Entry = ::readdir(Dir)) {
        const QString FileName = QFile::decodeName(Entry->d_name);
        if (!HasJobExtension(FileName) || ItemName(FileName).isEmpty())
            continue;
        struct stat Info;
        if (::fstatat(::dirfd(Dir), Entry->d_name, &Info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(Info.st_mode)
            && Info.st_uid == geteuid())
            Names += FileName;
    }
    ::closedir(Dir);
    std::sort(Names.begin(), Names.end());
    return Names;
}

TStoreResult Load(const QString& Name, TWorkItem& Item)
{
    const QString Base = ItemName(Name);
    if (Base.isEmpty())
        return TStoreResult::InvalidName;
    // The name as written is by far the most common; the case-blind search
    // of the folder is only needed when that is missing.
    const QString Exact = Base + QLatin1String(Extension);
    const TStoreResult Result = LoadFile(Exact, Item);
    if (Result != TStoreResult::NotFound)
        return Result;
    const QString FileName = ResolveFileName(Base);
    if (FileName.isEmpty() || FileName == Exact)
        return TStoreResult::NotFound;
    return LoadFile(FileName, Item);
}

TStoreResult Create(const QString& Name, const TWorkItem& Item)
{
    const QString Base = ItemName(Name);
    if (Base.isEmpty())
        return TStoreResult::InvalidName;
    if (!EnsureFolder())
        return TStoreResult::AccessDenied;
    TStoreLock Lock;
    if (!Lock.Held())
        return TStoreResult::IoError;
    if (!ResolveFileName(Base).isEmpty())
        return TStoreResult::Exists;
    const QString Temporary = WriteTemporary(Item);
    if (Temporary.isEmpty())
        return TStoreResult::IoError;
    // link() refuses an existing target, so even a writer that ignores the
    // lock cannot have its item replaced.
    const QByteArray NativeTemporary = QFile::encodeName(Temporary);
    const int Linked = ::link(NativeTemporary.constData(), QFile::encodeName(FilePath(Base)).constData());
    const int LinkError = errno;
    ::unlink(NativeTemporary.constData());
    if (Linked != 0)
        return LinkError == EEXIST ? TStoreResult::Exists : TStoreResult::IoError;
    AtomicFile::SyncFolder(Folder());
    return TStoreResult::Ok;
}

// Work on an existing item's file, found under the store's lock and holding
// it, so that nothing is created or deleted between the look-up and the work.
static TStoreResult WithItemLocked(const QString& Name, const std::function<TStoreResult(const QString&)>& Work)
{
    const QString Base = ItemName(Name);
    if (Base.isEmpty())
        return TStoreResult::InvalidName;
    TStoreLock Lock;
    if (!Lock.Held())
        return LockFailure();
    const QString FileName = ResolveFileName(Base);
    if (FileName.isEmpty())
        return TStoreResult::NotFound;
    return Work(FileName);
}

TStoreResult Replace(const QString& Name, const TWorkItem& Item)
{
    return WithItemLocked(Name, [&](const QString& FileName) { return ReplaceLocked(FileName, Item); });
}

TStoreResult Update(const QString& Name, const std::function<bool(TWorkItem&)>& Change)
{
    return WithItemLocked(Name, [&](const QString& FileName) {
        TWorkItem Item;
        const TStoreResult Loaded = LoadFile(FileName, Item);
        if (Loaded != TStoreResult::Ok)
            return Loaded;
        if (!Change(Item))
            return TStoreResult::Ok;
        return ReplaceLocked(FileName, Item);
    });
}

// Deletes the file of an item; the caller holds the lock.
static TStoreResult RemoveLocked(const QString& FileName)
{
    const QByteArray Path = QFile::encodeName(Folder() + QLatin1Char('/') + FileName);
    struct stat Info;
    if (::lstat(Path.constData(), &Info) != 0)
        return errno == ENOENT ? TStoreResult::NotFound : TStoreResult::IoError;
    if (CheckFileStat(Info) != TStoreResult::Ok)
        return TStoreResult::AccessDenied;
    if (::unlink(Path.constData()) != 0)
        return errno == ENOENT ? TStoreResult::NotFound : TStoreResult::IoError;
    AtomicFile::SyncFolder(Folder());
    return TStoreResult::Ok;
}

TStoreResult Remove(const QString& Name)
{
    return WithItemLocked(Name, RemoveLocked);
}

TStoreResult UpdateOrRemove(const QString& Name, const std::function<TItemChange(TWorkItem&)>& Change)
{
    return WithItemLocked(Name, [&](const QString& FileName) {
        TWorkItem Item;
        const TStoreResult Loaded = LoadFile(FileName, Item);
        if (Loaded != TStoreResult::Ok)
            return Loaded;
        switch (Change(Item)) {
        case TItemChange::Keep: return TStoreResult::Ok;
        case TItemChange::Write: return ReplaceLocked(FileName, Item);
        case TItemChange::Remove: return RemoveLocked(FileName);
        }
        return TStoreResult::Ok;
    });
}

int RemoveStaleTemporaries()
{
    TStoreLock Lock;
    return Lock.Held() ? Lock.RemovedOnFirstHold() + RemoveStaleTemporariesLocked() : 0;
}

QString LockFilePath()
{
    return Folder() + QLatin1String("/.lock");
}

QByteArray Serialize(const TWorkItem& Item)
{
    QByteArray Out;
    Out += Magic;
    Out += '\n';
    const auto Line = [&Out](const char* Key, const QByteArray& Value) {
        Out += Key;
        Out += '=';
        Out += Value;
        Out += '\n';
    };
    for (const TField& Field : Fields) {
        if (Field.Presence == TPresence::WithAccount && !Item.HasAccount)
            continue;
        std::visit(
            [&](auto Member) {
                if (Field.Presence == TPresence::WhenSet && Item.*Member == std::remove_reference_t<decltype(Item.*Member)>())
                    return;
                Line(Field.Key, ValueText(Item.*Member));
            },
            Field.Member);
    }
    for (const TTriggerData& Trigger : Item.Triggers)
        Line(TriggerKey, TriggerText(Trigger));
    Out += EndLine;
    Out += '\n';
    return Out;
}

bool Parse(const QByteArray& Content, TWorkItem& Item)
{
    QList<QByteArray> Lines = Content.split('\n');
    // The content ends with the end line and its line feed, so the split
    // leaves one empty piece behind it.
    if (Lines.size() < 3 || !Lines.last().isEmpty() || Lines[Lines.size() - 2] != EndLine || Lines.first() != Magic)
        return false;
    Lines.removeLast();
    Lines.removeLast();
    Lines.removeFirst();

    TWorkItem Result;
    std::vector<bool> Seen(std::size(Fields), false);
    for (const QByteArray& Line : Lines) {
        const qsizetype Equals = Line.indexOf('=');
        if (Equals <= 0)
            return false;
        const QByteArrayView Key(Line.constData(), Equals);
        const QByteArray Value = Line.mid(Equals + 1);
        if (Key == TriggerKey) {
            TTriggerData Trigger;
            if (!ParseTrigger(Value, Trigger))
                return false;
            Result.Triggers.push_back(Trigger);
            continue;
        }
        const auto Found = std::find_if(std::begin(Fields), std::end(Fields),
            [&Key](const TField& Field) { return Key == Field.Key; });
        if (Found == std::end(Fields))
            return false;
        const size_t Index = size_t(Found - std::begin(Fields));
        if (Seen[Index])
            return false;
        Seen[Index] = true;
        if (!std::visit([&](auto Member) { return ParseValue(Value, Result.*Member); }, Found->Member))
            return false;
        if (Found->Presence == TPresence::WithAccount)
            Result.HasAccount = true;
    }
    for (size_t I = 0; I < std::size(Fields); ++I)
        if (Fields[I].Presence == TPresence::Always && !Seen[I])
            return false;
    Item = std::move(Result);
    return true;
}

} // namespace WorkItemStore
