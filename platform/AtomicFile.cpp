#include "platform/AtomicFile.h"

#include <QFileInfo>
#include <QMutex>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemReason(int Error)
{
    return QString::fromLocal8Bit(std::strerror(Error));
}

bool WriteAll(int Fd, const QByteArray& Content)
{
    const char* Data = Content.constData();
    qsizetype Left = Content.size();
    while (Left > 0) {
        const ssize_t Written = ::write(Fd, Data, static_cast<size_t>(Left));
        if (Written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        Data += Written;
        Left -= Written;
    }
    return true;
}

mode_t CurrentUmask()
{
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    return Mask;
}

constexpr int RandomPartLength = 6;

bool IsTemporaryName(const QByteArray& Name, const QByteArray& Prefix)
{
    if (Name.size() != Prefix.size() + RandomPartLength || !Name.startsWith(Prefix))
        return false;
    for (qsizetype I = Prefix.size(); I < Name.size(); ++I) {
        const char C = Name.at(I);
        if (!((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9')))
            return false;
    }
    return true;
}

// Whether the entry Name of the folder Dir is a stale temporary file, and if
// so removes it. The lock taken here is held until the unlink, so a writer
// never shares its file with us.
bool RemoveIfStale(int Dir, const char* Name, int MinAgeSeconds)
{
    struct stat Seen;
    // Only a regular file is ever opened: opening a device or a pipe may block or act.
    if (::fstatat(Dir, Name, &Seen, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(Seen.st_mode) || Seen.st_uid != ::geteuid())
        return false;
    const int Fd = ::openat(Dir, Name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (Fd < 0)
        return false;
    bool Removed = false;
    struct stat Opened;
    if (::fstat(Fd, &Opened) == 0 && Opened.st_dev == Seen.st_dev && Opened.st_ino == Seen.st_ino
        && ::flock(Fd, LOCK_EX | LOCK_NB) == 0) {
        // The age is read under the lock: a writer that wrote last is seen.
        struct stat Now;
        const bool Old = MinAgeSeconds <= 0
            || (::fstat(Fd, &Now) == 0 && std::time(nullptr) - Now.st_mtim.tv_sec >= MinAgeSeconds);
        struct stat Named;
        // The name must still be this file, not one that replaced it meanwhile.
        if (Old && ::fstatat(Dir, Name, &Named, AT_SYMLINK_NOFOLLOW) == 0 && Named.st_dev == Opened.st_dev
            && Named.st_ino == Opened.st_ino)
            Removed = ::unlinkat(Dir, Name, 0) == 0;
    }
    ::close(Fd);
    return Removed;
}

// Each file's stale temporaries are looked for once a process: a stale file
// is rare, a folder scan at every write is not free.
bool FirstWriteTo(const QString& Target)
{
    static QMutex Mutex;
    static QSet<QString> Seen;
    const QMutexLocker Lock(&Mutex);
    if (Seen.contains(Target))
        return false;
    Seen.insert(Target);
    return true;
}

} // namespace

namespace AtomicFile {

bool Write(const QString& FileName, const QByteArray& Content, QString* ErrorText)
{
    // Renaming over a symbolic link would replace the link, not its target.
    QFileInfo Info(FileName);
    const QString Target = Info.isSymLink() && Info.exists() ? Info.canonicalFilePath() : FileName;
    const QFileInfo TargetInfo(Target);
    const QByteArray TargetPath = QFile::encodeName(Target);

    struct stat Old;
    const mode_t Mode = ::stat(TargetPath.constData(), &Old) == 0 ? (Old.st_mode & 07777)
                                                                  : (0666 & ~CurrentUmask());
    const QString NamePrefix = QLatin1Char('.') + TargetInfo.fileName() + QStringLiteral(".tmp-");
    if (FirstWriteTo(TargetInfo.absoluteFilePath()))
        (void)RemoveStaleTemporaries(TargetInfo.absolutePath(), NamePrefix);
    const QString Temporary = WriteTemporary(TargetInfo.absolutePath() + QLatin1Char('/') + NamePrefix, Content, Mode, ErrorText);
    if (Temporary.isEmpty())
        return false;
    const QByteArray NativeTemporary = QFile::encodeName(Temporary);
    if (::rename(NativeTemporary.constData(), TargetPath.constData()) != 0) {
        const int Error = errno;
        (void)::unlink(NativeTemporary.constData());
        if (ErrorText)
            *ErrorText = SystemReason(Error);
        return false;
    }
    SyncFolder(TargetInfo.absolutePath());
    return true;
}

QString WriteTemporary(const QString& Prefix, const QByteArray& Content, mode_t Mode, QString* ErrorText)
{
    QByteArray Template = QFile::encodeName(Prefix + QStringLiteral("XXXXXX"));
    const int Fd = ::mkostemp(Template.data(), O_CLOEXEC);
    if (Fd < 0) {
        if (ErrorText)
            *ErrorText = SystemReason(errno);
        return {};
    }
    // Locked before anything is written; a new file has no other holder.
    (void)::flock(Fd, LOCK_EX | LOCK_NB);
    bool Ok = ::fchmod(Fd, Mode) == 0 && WriteAll(Fd, Content) && ::fsync(Fd) == 0;
    int Error = Ok ? 0 : errno;
    if (::close(Fd) != 0 && Ok) {
        Ok = false;
        Error = errno;
    }
    if (!Ok) {
        (void)::unlink(Template.constData());
        if (ErrorText)
            *ErrorText = SystemReason(Error);
        return {};
    }
    return QFile::decodeName(Template);
}

int RemoveStaleTemporaries(const QString& Folder, const QString& NamePrefix, int MinAgeSeconds)
{
    const QByteArray Prefix = QFile::encodeName(NamePrefix);
    if (Prefix.isEmpty() || Prefix.contains('/'))
        return 0;
    const int DirFd = ::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (DirFd < 0)
        return 0;
    DIR* Dir = ::fdopendir(DirFd);
    if (!Dir) {
        ::close(DirFd);
        return 0;
    }
    int Removed = 0;
    while (const dirent* Entry = ::readdir(Dir))
        if (IsTemporaryName(QByteArray(Entry->d_name), Prefix) && RemoveIfStale(DirFd, Entry->d_name, MinAgeSeconds))
            ++Removed;
    ::closedir(Dir);
    if (Removed)
        SyncFolder(Folder);
    return Removed;
}

// The folder must be synced too, or the rename itself may be lost on a crash.
void SyncFolder(const QString& Folder)
{
    const int Fd = ::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0)
        return;
    (void)::fsync(Fd);
    ::close(Fd);
}

} // namespace AtomicFile
