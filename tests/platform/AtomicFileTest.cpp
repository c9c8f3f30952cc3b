#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& Path)
{
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

QStringList Leftovers(const QString& Folder)
{
    return QDir(Folder).entryList(QStringList{QStringLiteral("*.tmp-*")}, QDir::Files | QDir::Hidden);
}

mode_t ModeOf(const QString& Path)
{
    struct stat S;
    return ::stat(QFile::encodeName(Path).constData(), &S) == 0 ? (S.st_mode & 07777) : 0;
}

TEST(AtomicFileTest, ReplacesContentKeepingModeAndFollowingLinks)
{
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("a.ini"));
    ASSERT_TRUE(AtomicFile::Write(Path, "one"));
    EXPECT_EQ(ReadAll(Path), QByteArray("one"));
    ASSERT_EQ(::chmod(QFile::encodeName(Path).constData(), 0640), 0);
    ASSERT_TRUE(AtomicFile::Write(Path, "two"));
    EXPECT_EQ(ReadAll(Path), QByteArray("two"));
    EXPECT_EQ(ModeOf(Path), mode_t(0640));

    const QString Link = Dir.filePath(QStringLiteral("link.ini"));
    ASSERT_TRUE(QFile::link(Path, Link));
    ASSERT_TRUE(AtomicFile::Write(Link, "three"));
    EXPECT_TRUE(QFileInfo(Link).isSymLink());
    EXPECT_EQ(ReadAll(Path), QByteArray("three"));
    EXPECT_TRUE(Leftovers(Dir.path()).isEmpty());
}

TEST(AtomicFileTest, FailureReportsTheReasonAndLeavesNothingBehind)
{
    QTemporaryDir Dir;
    QString Reason;
    EXPECT_FALSE(AtomicFile::Write(Dir.filePath(QStringLiteral("missing/a.ini")), "x", &Reason));
    EXPECT_FALSE(Reason.isEmpty());

    // A target that is a folder cannot be renamed over.
    const QString Folder = Dir.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkdir(Folder));
    EXPECT_FALSE(AtomicFile::Write(Folder, "x"));
    EXPECT_TRUE(QFileInfo(Folder).isDir());
    EXPECT_TRUE(Leftovers(Dir.path()).isEmpty());
}

TEST(AtomicFileTest, FullDiskKeepsTheOldContent)
{
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("a.ini"));
    ASSERT_TRUE(AtomicFile::Write(Path, "old content"));
    rlimit Old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &Old), 0);
    rlimit Small = Old;
    Small.rlim_cur = 64;
    auto OldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &Small), 0);
    const bool Written = AtomicFile::Write(Path, QByteArray(4096, 'n'));
    ::setrlimit(RLIMIT_FSIZE, &Old);
    std::signal(SIGXFSZ, OldHandler);
    EXPECT_FALSE(Written);
    EXPECT_EQ(ReadAll(Path), QByteArray("old content"));
    EXPECT_TRUE(Leftovers(Dir.path()).isEmpty());
}

void MakeOld(const QString& Path, int Seconds)
{
    const timespec Times[2] = {{std::time(nullptr) - Seconds, 0}, {std::time(nullptr) - Seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(Path).constData(), Times, AT_SYMLINK_NOFOLLOW), 0);
}

// Another process that holds a file's lock, as a writer in the middle of its
// write does; ended with the object.
class TLockHolder
{
public:
    explicit TLockHolder(const QString& Path)
    {
        const QByteArray Native = QFile::encodeName(Path);
        int Ready[2];
        EXPECT_EQ(::pipe(Ready), 0);
        FPid = ::fork();
        if (FPid == 0) {
            const int Fd = ::open(Native.constData(), O_RDONLY);
            const char Byte = Fd >= 0 && ::flock(Fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(Ready[1], &Byte, 1);
            for (;;)
                ::pause();
        }
        ::close(Ready[1]);
        char Byte = 0;
        EXPECT_EQ(::read(Ready[0], &Byte, 1), 1);
        EXPECT_EQ(Byte, 'y');
        ::close(Ready[0]);
    }
    ~TLockHolder()
    {
        if (FPid > 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, nullptr, 0);
        }
    }

private:
    pid_t FPid = -1;
};

TEST(AtomicFileTest, RemovesOnlyStaleTemporariesOfItsOwnNameThatNoWriterHolds)
{
    enum TKind { Regular, SymLink, Fifo, Folder, OtherOwner };
    struct TCase
    {
        const char* Name;
        TKind Kind;
        int AgeSeconds;
        bool Locked, Removed;
    };
    const TCase Cases[] = {
        {".a.ini.tmp-Ab12Z9", Regular, 60, false, true},
        {".a.ini.tmp-zzzzzz", Regular, AtomicFile::StaleAfterSeconds, false, true},
        // Its writer may be between creating and locking it.
        {".a.ini.tmp-Young1", Regular, 0, false, false},
        // A writer in the middle of a long write.
        {".a.ini.tmp-Locked", Regular, 600, true, false},
        {".a.ini.tmp-Ab12Z", Regular, 60, false, false},
        {".a.ini.tmp-Ab12Z99", Regular, 60, false, false},
        {".a.ini.tmp-Ab_2Z9", Regular, 60, false, false},
        {"a.ini.tmp-Ab12Z9", Regular, 60, false, false},
        {".b.ini.tmp-Ab12Z9", Regular, 60, false, false},
        {".a.ini.tmp-Link01", SymLink, 60, false, false},
        {".a.ini.tmp-Fifo01", Fifo, 60, false, false},
        {".a.ini.tmp-Fold01", Folder, 60, false, false},
        {".a.ini.tmp-Other1", OtherOwner, 60, false, false},
    };
    QTemporaryDir Dir;
    const QString Victim = Dir.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(AtomicFile::Write(Victim, "kept"));
    MakeOld(Victim, 60);
    std::vector<std::unique_ptr<TLockHolder>> Holders;
    bool OtherOwnerMade = false;
    for (const TCase& C : Cases) {
        const QString Path = Dir.filePath(QString::fromLatin1(C.Name));
        const QByteArray Native = QFile::encodeName(Path);
        switch (C.Kind) {
        case Regular:
        case OtherOwner: {
            QFile F(Path);
            ASSERT_TRUE(F.open(QIODevice::WriteOnly));
            F.write("half");
            F.close();
            if (C.Kind == OtherOwner)
                OtherOwnerMade = ::geteuid() == 0 && ::chown(Native.constData(), 65534, 65534) == 0;
            break;
        }
        case SymLink: ASSERT_TRUE(QFile::link(Victim, Path)); break;
        case Fifo: ASSERT_EQ(::mkfifo(Native.constData(), 0600), 0); break;
        case Folder: ASSERT_TRUE(QDir().mkdir(Path)); break;
        }
        MakeOld(Path, C.AgeSeconds);
        if (C.Locked)
            Holders.push_back(std::make_unique<TLockHolder>(Path));
    }

    const int Expected = int(std::count_if(std::begin(Cases), std::end(Cases), [](const TCase& C) { return C.Removed; }));
    EXPECT_EQ(AtomicFile::RemoveStaleTemporaries(Dir.path(), QStringLiteral(".a.ini.tmp-")), Expected);
    for (const TCase& C : Cases) {
        if (C.Kind == OtherOwner && !OtherOwnerMade)
            continue;
        struct stat Info;
        const bool Exists = ::lstat(QFile::encodeName(Dir.filePath(QString::fromLatin1(C.Name))).constData(), &Info) == 0;
        EXPECT_EQ(Exists, !C.Removed) << C.Name;
    }
    EXPECT_EQ(ReadAll(Victim), QByteArray("kept"));

    // Once its writer is gone, the locked one is stale too.
    Holders.clear();
    EXPECT_EQ(AtomicFile::RemoveStaleTemporaries(Dir.path(), QStringLiteral(".a.ini.tmp-")), 1);
    EXPECT_FALSE(QFileInfo::exists(Dir.filePath(QStringLiteral(".a.ini.tmp-Locked"))));
}

TEST(AtomicFileTest, FirstWriteToAFileRemovesTheTemporariesAKilledWriterLeft)
{
    QTemporaryDir Dir;
    const QString Path = Dir.filePath(QStringLiteral("Lumidor.ini"));
    const QString Stale = Dir.filePath(QStringLiteral(".Lumidor.ini.tmp-k1LLed"));
    QFile F(Stale);
    ASSERT_TRUE(F.open(QIODevice::WriteOnly));
    F.close();
    MakeOld(Stale, 60);
    ASSERT_TRUE(AtomicFile::Write(Path, "new"));
    EXPECT_FALSE(QFileInfo::exists(Stale));
    EXPECT_EQ(ReadAll(Path), QByteArray("new"));
    EXPECT_TRUE(Leftovers(Dir.path()).isEmpty());
}

} // namespace
