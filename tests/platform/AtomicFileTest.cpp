#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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

} // namespace
