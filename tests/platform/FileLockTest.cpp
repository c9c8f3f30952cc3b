#include "platform/FileLock.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class FileLockTest : public ::testing::Test
{
protected:
    QString Path() const { return Dir.filePath(QStringLiteral("lock")); }

    // A second open of the file: flock makes it a contender even in this process.
    bool OtherCanLock(TFileLock::TKind Kind)
    {
        TFileLock Other;
        EXPECT_TRUE(Other.Open(Path(), O_RDONLY));
        return Other.Lock(Kind, TFileLock::NoWait);
    }

    QTemporaryDir Dir;
};

TEST_F(FileLockTest, KindsExcludeEachOtherAsFlockDoes)
{
    const struct
    {
        TFileLock::TKind Held;
        TFileLock::TKind Wanted;
        bool Granted;
    } Cases[] = {
        {TFileLock::Shared, TFileLock::Shared, true},
        {TFileLock::Shared, TFileLock::Exclusive, false},
        {TFileLock::Exclusive, TFileLock::Shared, false},
        {TFileLock::Exclusive, TFileLock::Exclusive, false},
    };
    for (const auto& C : Cases) {
        TFileLock Holder;
        ASSERT_TRUE(Holder.Open(Path(), O_RDWR | O_CREAT));
        ASSERT_TRUE(Holder.Lock(C.Held, TFileLock::NoWait));
        TFileLock Other;
        ASSERT_TRUE(Other.Open(Path(), O_RDONLY));
        EXPECT_EQ(Other.Lock(C.Wanted, TFileLock::NoWait), C.Granted) << C.Held << " " << C.Wanted;
        EXPECT_EQ(Other.Held(), C.Granted);
        if (!C.Granted) {
            EXPECT_EQ(Other.Error(), EWOULDBLOCK);
        }
    }
}

TEST_F(FileLockTest, TheLockGoesWithTheObject)
{
    {
        TFileLock Holder;
        ASSERT_TRUE(Holder.Open(Path(), O_RDWR | O_CREAT, 0600));
        ASSERT_TRUE(Holder.Lock(TFileLock::Exclusive, TFileLock::NoWait));
        // Moving hands the lock on without dropping it.
        TFileLock Moved = std::move(Holder);
        EXPECT_FALSE(Holder.Held());
        EXPECT_TRUE(Moved.Held());
        EXPECT_FALSE(OtherCanLock(TFileLock::Shared));
        Moved.Release();
        EXPECT_FALSE(Moved.IsOpen());
        EXPECT_TRUE(OtherCanLock(TFileLock::Exclusive));
        ASSERT_TRUE(Moved.Open(Path(), O_RDWR));
        ASSERT_TRUE(Moved.Lock(TFileLock::Exclusive, TFileLock::NoWait));
    }
    EXPECT_TRUE(OtherCanLock(TFileLock::Exclusive));
}

TEST_F(FileLockTest, OpenedFilesCloseOnExecAndFailuresKeepTheReason)
{
    TFileLock Lock;
    EXPECT_FALSE(Lock.Lock(TFileLock::Shared, TFileLock::NoWait));
    EXPECT_FALSE(Lock.Open(Path(), O_RDONLY));
    EXPECT_EQ(Lock.Error(), ENOENT);
    EXPECT_FALSE(Lock.IsOpen());

    ASSERT_TRUE(Lock.Open(Path(), O_RDWR | O_CREAT, 0640));
    EXPECT_TRUE(::fcntl(Lock.Handle(), F_GETFD) & FD_CLOEXEC);
    struct stat Info {};
    ASSERT_EQ(::fstat(Lock.Handle(), &Info), 0);
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    EXPECT_EQ(Info.st_mode & 0777, 0640u & ~Mask);
}

TEST_F(FileLockTest, ABorrowedFileIsUnlockedButStaysOpen)
{
    const int Fd = ::open(QFile::encodeName(Path()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(Fd, 0);
    {
        TFileLock Lock;
        Lock.Borrow(Fd);
        ASSERT_TRUE(Lock.Lock(TFileLock::Exclusive, TFileLock::NoWait));
        EXPECT_FALSE(OtherCanLock(TFileLock::Shared));
    }
    EXPECT_TRUE(OtherCanLock(TFileLock::Exclusive));
    EXPECT_EQ(::fcntl(Fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    ::close(Fd);
}

TEST_F(FileLockTest, WaitingTakesTheLockOnceTheHolderLetsGo)
{
    TFileLock Holder;
    ASSERT_TRUE(Holder.Open(Path(), O_RDWR | O_CREAT));
    ASSERT_TRUE(Holder.Lock(TFileLock::Exclusive, TFileLock::NoWait));

    TFileLock Contender;
    ASSERT_TRUE(Contender.Open(Path(), O_RDONLY));
    std::atomic<bool> Asking = false;
    std::atomic<bool> Granted = false;
    std::thread Waiter([&] {
        Asking = true;
        Granted = Contender.Lock(TFileLock::Shared, TFileLock::Wait);
    });
    while (!Asking)
        std::this_thread::yield();
    // Give the waiter time to block, so that a lock that does not wait would fail.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(Granted);
    Holder.Release();
    Waiter.join();
    EXPECT_TRUE(Granted);
}

} // namespace
