#include "platform/ShutdownCountdown.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <future>
#include <sys/stat.h>

namespace {

// $XDG_RUNTIME_DIR of the test's own, restored afterwards.
class TRuntime
{
public:
    TRuntime() : FOld(qgetenv("XDG_RUNTIME_DIR"))
    {
        chmod(QFile::encodeName(FDir.path()).constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", FDir.path().toUtf8());
    }
    ~TRuntime() { qputenv("XDG_RUNTIME_DIR", FOld); }
    QString Path() const { return FDir.path(); }

private:
    QTemporaryDir FDir;
    QByteArray FOld;
};

// Abort from another thread while this one serves the channel, as the tool's loop does.
ShutdownCountdown::TAbort AbortServed(int TimeoutMs)
{
    auto Result = std::async(std::launch::async, [TimeoutMs] { return ShutdownCountdown::Abort(TimeoutMs); });
    const QDeadlineTimer Deadline(TimeoutMs + 5000);
    while (Result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && !Deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Result.get();
}

} // namespace

TEST(ShutdownCountdownTest, OneCountdownAtATimeAndAbortIsAnsweredOnlyWhileItListens)
{
    using ShutdownCountdown::TAbort;
    TRuntime Runtime;
    EXPECT_EQ(ShutdownCountdown::Folder(), Runtime.Path() + "/lumidor");
    EXPECT_FALSE(ShutdownCountdown::Running());
    EXPECT_EQ(ShutdownCountdown::Abort(500), TAbort::NothingToAbort);

    int Requests = 0;
    {
        TCountdownChannel First;
        QObject::connect(&First, &TCountdownChannel::AbortRequested, [&] { ++Requests; });
        ASSERT_EQ(First.Open(), TCountdownChannel::Held) << First.ErrorText().toStdString();
        EXPECT_TRUE(ShutdownCountdown::Running());
        TCountdownChannel Second;
        EXPECT_EQ(Second.Open(), TCountdownChannel::Busy);

        EXPECT_EQ(AbortServed(3000), TAbort::Aborted);
        EXPECT_EQ(Requests, 1);

        // At its moment the countdown keeps its lock but no longer takes "-a".
        First.StopListening();
        EXPECT_EQ(AbortServed(400), TAbort::NotStopped);
        EXPECT_EQ(Requests, 1);
    }
    // The lock went with its holder; the socket file it left is nobody's.
    EXPECT_FALSE(ShutdownCountdown::Running());
    EXPECT_EQ(ShutdownCountdown::Abort(500), TAbort::NothingToAbort);
    TCountdownChannel Next;
    EXPECT_EQ(Next.Open(), TCountdownChannel::Held);
}

TEST(ShutdownCountdownTest, ARuntimeFolderOpenToOthersIsNotUsed)
{
    TRuntime Runtime;
    chmod(QFile::encodeName(Runtime.Path()).constData(), 0755);
    EXPECT_NE(ShutdownCountdown::Folder(), Runtime.Path() + "/lumidor");
    EXPECT_FALSE(ShutdownCountdown::Folder().isEmpty());
}
