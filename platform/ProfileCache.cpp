#include "platform/ProfileCache.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <sys/stat.h>
#include <time.h>

using ProfileFile::TProfileFile;
using ProfileFile::Trim;
using ProfileStrings::TProfileLine;

namespace {

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

    // The lines of a section of the file that Read gave last: the job list
    // asks for one position at a time.
    std::optional<QList<TProfileLine>> Kept(const TFile& File, const QString& Section)
    {
        QMutexLocker Lock(&FMutex);
        if (File != FFile)
            return std::nullopt;
        const auto Found = FLines.constFind(Trim(Section).toCaseFolded());
        return Found == FLines.constEnd() ? std::nullopt : std::optional(*Found);
    }

    void Keep(const TFile& File, const QString& Section, const QList<TProfileLine>& Lines)
    {
        QMutexLocker Lock(&FMutex);
        if (File == FFile)
            FLines.insert(Trim(Section).toCaseFolded(), Lines);
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
        FLines.clear();
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
    QHash<QString, QList<TProfileLine>> FLines;
};

TReadCache& ReadCache()
{
    static TReadCache Cache;
    return Cache;
}

} // namespace

namespace ProfileCache {

TFile Read(const QString& FileName)
{
    return ReadCache().Read(FileName);
}

std::optional<QList<TProfileLine>> Kept(const TFile& File, const QString& Section)
{
    return ReadCache().Kept(File, Section);
}

void Keep(const TFile& File, const QString& Section, const QList<TProfileLine>& Lines)
{
    ReadCache().Keep(File, Section, Lines);
}

void Forget()
{
    ReadCache().Forget();
}

bool Change(const QString& FileName, const std::function<void(TProfileFile& File)>& Edit)
{
    Forget();
    TProfileFile File;
    if (!File.Load(FileName))
        return false;
    Edit(File);
    const QByteArray Bytes = File.Bytes();
    return Bytes == File.Original() || AtomicFile::Write(FileName, Bytes);
}

} // namespace ProfileCache
