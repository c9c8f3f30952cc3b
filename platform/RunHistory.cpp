#include "platform/RunHistory.h"

#include "platform/AtomicFile.h"
#include "platform/FileLock.h"
#include "platform/UserFolders.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Read no more than this of a file that someone else made huge.
constexpr qint64 MaxReadBytes = 4 * RunHistory::TrimAtBytes;

QString& FileOverride()
{
    static QString Instance;
    return Instance;
}

// "2026-12-09 21:30:00 +01:00": the file's own form of the same text.
QString Stamp()
{
    QString Text = RunHistory::LocalTimeText(QDateTime::currentSecsSinceEpoch());
    Text[10] = QLatin1Char(' ');
    return Text.insert(19, QLatin1Char(' '));
}

QByteArray LineFor(RunHistory::TEvent Event, const QString& Subject, const QString& Details)
{
    QString Text = Stamp() + QLatin1Char(' ') + RunHistory::EventName(Event) + QLatin1Char(' ') + Subject
        + QStringLiteral(": ") + Details;
    for (QChar& C : Text)
        if (C == QLatin1Char('\n') || C == QLatin1Char('\r'))
            C = QLatin1Char(' ');
    QByteArray Line = Text.toUtf8();
    if (Line.size() >= RunHistory::MaxLineBytes) {
        qsizetype Cut = RunHistory::MaxLineBytes - 1;
        // Never in the middle of a character.
        while (Cut > 0 && (uchar(Line.at(Cut)) & 0xC0) == 0x80)
            --Cut;
        Line.truncate(Cut);
    }
    return Line + '\n';
}

bool WriteAll(int Fd, const QByteArray& Data)
{
    qsizetype Done = 0;
    while (Done < Data.size()) {
        const ssize_t Wrote = ::write(Fd, Data.constData() + Done, size_t(Data.size() - Done));
        if (Wrote < 0 && errno == EINTR)
            continue;
        if (Wrote <= 0)
            return false;
        Done += Wrote;
    }
    return true;
}

QByteArray ReadTail(const QString& Path)
{
    QFile F(Path);
    struct stat Info;
    // A device in its place (it may never end) is no history.
    if (!F.open(QIODevice::ReadOnly) || ::fstat(F.handle(), &Info) != 0 || !S_ISREG(Info.st_mode))
        return {};
    const qint64 Size = F.size();
    if (Size > MaxReadBytes)
        (void)F.seek(Size - MaxReadBytes);
    return F.readAll();
}

QList<QByteArray> LastLines(const QByteArray& Content)
{
    QList<QByteArray> Lines = Content.split('\n');
    if (!Lines.isEmpty() && Lines.last().isEmpty())
        Lines.removeLast();
    if (Lines.size() > RunHistory::MaxEvents)
        Lines = Lines.mid(Lines.size() - RunHistory::MaxEvents);
    return Lines;
}

// Rewrites the file with its last MaxEvents lines; the caller holds the lock,
// so no line is appended to the file being replaced.
void Trim(const QString& Path)
{
    (void)AtomicFile::Write(Path, LastLines(ReadTail(Path)).join('\n') + '\n');
}

} // namespace

namespace RunHistory {

QString EventName(TEvent Event)
{
    struct TName
    {
        TEvent Event;
        const char* Name;
    };
    static constexpr TName Names[] = {
        {TEvent::Started, "started"},
        {TEvent::Finished, "finished"},
        {TEvent::Failed, "failed"},
        {TEvent::Missed, "missed"},
        {TEvent::Skipped, "skipped"},
        {TEvent::Refused, "refused"},
        {TEvent::Postponed, "postponed"},
        {TEvent::Cancelled, "cancelled"},
    };
    for (const TName& Name : Names)
        if (Name.Event == Event)
            return QLatin1String(Name.Name);
    return QStringLiteral("event");
}

QString LocalTimeText(qint64 SecsSinceEpoch)
{
    const time_t Time = time_t(SecsSinceEpoch);
    tm F{};
    if (!localtime_r(&Time, &F))
        return QString();
    const long Offset = F.tm_gmtoff < 0 ? -F.tm_gmtoff : F.tm_gmtoff;
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", F.tm_year + 1900, F.tm_mon + 1, F.tm_mday,
        F.tm_hour, F.tm_min, F.tm_sec, F.tm_gmtoff < 0 ? '-' : '+', Offset / 3600, Offset / 60 % 60);
}

QString FilePath()
{
    if (!FileOverride().isEmpty())
        return FileOverride();
    return UserFolders::HistoryFile();
}

void SetFileForTesting(const QString& FileName)
{
    FileOverride() = FileName;
}

bool Append(TEvent Event, const QString& Subject, const QString& Details)
{
    const QString Path = FilePath();
    const QString Folder = QFileInfo(Path).absolutePath();
    const QByteArray NativeFolder = QFile::encodeName(Folder);
    if (::mkdir(NativeFolder.constData(), 0700) != 0 && errno == ENOENT && QDir().mkpath(QFileInfo(Folder).absolutePath()))
        (void)::mkdir(NativeFolder.constData(), 0700);

    TFileLock Lock;
    if (!Lock.Open(Folder + QStringLiteral("/.history.lock"), O_RDWR | O_CREAT | O_NOFOLLOW, 0600)
        || !Lock.Lock(TFileLock::Exclusive, TFileLock::Wait))
        return false;
    const int Fd = ::open(QFile::encodeName(Path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (Fd < 0)
        return false;
    struct stat Before;
    const bool Regular = ::fstat(Fd, &Before) == 0 && S_ISREG(Before.st_mode);
    const QByteArray Line = LineFor(Event, Subject, Details);
    const bool Written = WriteAll(Fd, Line);
    // Half a line would glue itself to the next one.
    if (!Written && Regular)
        (void)::ftruncate(Fd, Before.st_size);
    ::close(Fd);
    if (Written && Regular && Before.st_size + Line.size() > TrimAtBytes)
        Trim(Path);
    return Written;
}

QStringList Read()
{
    QStringList Lines;
    for (const QByteArray& Line : LastLines(ReadTail(FilePath())))
        Lines += QString::fromUtf8(Line);
    return Lines;
}

} // namespace RunHistory
