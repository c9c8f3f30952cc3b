#include "platform/InstanceLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Name = QStringLiteral("{8F3AAD20-3A75-4DC8-B076-AB6BB5F11678}TEST_PLATFORM");

class TRuntimeDir
{
public:
    TRuntimeDir()
        : FOld(InstanceLock::RuntimeFolder())
    {
        InstanceLock::SetRuntimeFolderForTesting(FDir.path());
    }
    ~TRuntimeDir() { InstanceLock::SetRuntimeFolderForTesting(FOld); }
    QString Path() const { return FDir.path(); }

private:
    QTemporaryDir FDir;
    QString FOld;
};

bool WaitFor(const std::function<bool()>& Done, int Ms = 2000)
{
    QDeadlineTimer deadline(Ms);
    while (!Done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return Done();
}

mode_t ModeOf(const QString& Path)
{
    struct stat info {};
    lstat(QFile::encodeName(Path).constData(), &info);
    return info.st_mode & 07777;
}

} // namespace

TEST(InstanceLockTest, RuntimeFolderIsPrivateAndFallsBackToAFolderOfOursInTemp)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString uid = QString::number(geteuid());
    const QString runUser = root.path() + "/run/user";
    const QString openRoot = root.path() + "/open";
    const QString temp = root.path() + "/tmp";
    ASSERT_TRUE(QDir().mkpath(runUser + "/" + uid) && QDir().mkpath(openRoot + "/" + uid) && QDir().mkpath(temp));
    ASSERT_EQ(chmod(QFile::encodeName(runUser + "/" + uid).constData(), 0700), 0);
    ASSERT_EQ(chmod(QFile::encodeName(openRoot + "/" + uid).constData(), 0755), 0);
    const QString fallback = temp + "/lumidor-" + uid;

    struct TCase
    {
        QString RunUser;
        QString Expected;
    } cases[] = {
        {runUser, runUser + "/" + uid + "/lumidor"},
        {runUser + "/", runUser + "/" + uid + "/lumidor"},
        {"", fallback},
        {"relative/run", fallback},
        {openRoot, fallback},
        {root.path() + "/missing", fallback},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(InstanceLock::PrivateRuntimeFolder(c.RunUser, temp), c.Expected) << c.RunUser.toStdString();
        EXPECT_EQ(ModeOf(c.Expected), mode_t(0700)) << c.RunUser.toStdString();
    }

    // A folder of ours left open is closed again.
    ASSERT_EQ(chmod(QFile::encodeName(fallback).constData(), 0755), 0);
    EXPECT_EQ(InstanceLock::PrivateRuntimeFolder("", temp), fallback);
    EXPECT_EQ(ModeOf(fallback), mode_t(0700));

    // A planted symbolic link or a file in its place is refused.
    ASSERT_TRUE(QDir(fallback).removeRecursively());
    ASSERT_TRUE(QFile::link(runUser, fallback));
    EXPECT_EQ(InstanceLock::PrivateRuntimeFolder("", temp), QString());
    ASSERT_TRUE(QFile::remove(fallback));
    QFile file(fallback);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(InstanceLock::PrivateRuntimeFolder("", temp), QString());
}

TEST(InstanceLockTest, RuntimeFolderIsTheSameWhateverTheEnvironmentSays)
{
    QTemporaryDir other;
    ASSERT_TRUE(other.isValid());
    ASSERT_EQ(chmod(QFile::encodeName(other.path()).constData(), 0700), 0);
    const QString forTests = InstanceLock::RuntimeFolder();
    InstanceLock::SetRuntimeFolderForTesting(QString());
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const bool runtimeWasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    const bool tempWasSet = qEnvironmentVariableIsSet("TMPDIR");

    const QString expected = InstanceLock::PrivateRuntimeFolder("/run/user", "/tmp");
    ASSERT_FALSE(expected.isEmpty());
    qputenv("XDG_RUNTIME_DIR", other.path().toUtf8());
    qputenv("TMPDIR", other.path().toUtf8());
    EXPECT_EQ(InstanceLock::RuntimeFolder(), expected);
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("TMPDIR");
    EXPECT_EQ(InstanceLock::RuntimeFolder(), expected);
    EXPECT_EQ(TInstanceLock(Name).LockFilePath(), expected + "/" + QFileInfo(TInstanceLock(Name).LockFilePath()).fileName());

    runtimeWasSet ? qputenv("XDG_RUNTIME_DIR", savedRuntime) : qunsetenv("XDG_RUNTIME_DIR");
    tempWasSet ? qputenv("TMPDIR", savedTemp) : qunsetenv("TMPDIR");
    InstanceLock::SetRuntimeFolderForTesting(forTests);
}

TEST(InstanceLockTest, LaterHolderOfTheSameNameWakesTheFirstAndOtherNamesRunBeside)
{
    TRuntimeDir runtime;
    auto first = std::make_unique<TInstanceLock>(Name);
    int wakeUps = 0;
    QObject::connect(first.get(), &TInstanceLock::WakeUp, [&] { ++wakeUps; });
    ASSERT_EQ(first->Acquire(), TInstanceLock::First);
    EXPECT_TRUE(first->LockFilePath().startsWith(runtime.Path() + "/"));

    TInstanceLock later(Name);
    EXPECT_EQ(later.Acquire(), TInstanceLock::Running);
    EXPECT_TRUE(later.SendWakeUp());
    EXPECT_TRUE(WaitFor([&] { return wakeUps == 1; }));
    EXPECT_TRUE(later.SendWakeUp());
    EXPECT_TRUE(WaitFor([&] { return wakeUps == 2; }));

    TInstanceLock other(Name + "X");
    EXPECT_EQ(other.Acquire(), TInstanceLock::First);
    EXPECT_NE(other.ChannelPath(), first->ChannelPath());

    // When the holder goes, the next one is first again, over the stale files.
    first.reset();
    EXPECT_EQ(later.Acquire(), TInstanceLock::First);
    EXPECT_EQ(ModeOf(later.LockFilePath()), mode_t(0600));
}

TEST(InstanceLockTest, WakeUpWithoutListenerGivesUpAfterTheTimeout)
{
    TRuntimeDir runtime;
    TInstanceLock lonely(Name);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(lonely.SendWakeUp(100));
    const qint64 took = clock.elapsed();
    EXPECT_GE(took, 100);
    EXPECT_LT(took, 1000);
}

TEST(InstanceLockTest, ForeignMessagesOnTheChannelAreIgnored)
{
    TRuntimeDir runtime;
    TInstanceLock first(Name);
    int wakeUps = 0;
    QObject::connect(&first, &TInstanceLock::WakeUp, [&] { ++wakeUps; });
    ASSERT_EQ(first.Acquire(), TInstanceLock::First);

    const QByteArray messages[] = {
        "hello\n",
        Name.toUtf8() + "X\n",
        Name.toLower().toUtf8() + "\n",
        QByteArray(10000, 'x'),
        Name.toUtf8(), // no end of line
    };
    for (const QByteArray& message : messages) {
        QLocalSocket socket;
        socket.connectToServer(first.ChannelPath());
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(message);
        ASSERT_TRUE(socket.waitForBytesWritten(1000));
        // The listener drops the connection once it has judged the message.
        if (message.endsWith('\n') || message.size() > 4096)
            EXPECT_TRUE(WaitFor([&] { socket.waitForReadyRead(10); return socket.state() == QLocalSocket::UnconnectedState; }));
        else
            WaitFor([] { return false; }, 100);
    }
    EXPECT_EQ(wakeUps, 0);
}

TEST(InstanceLockTest, ChannelThatCannotBeOpenedReleasesTheLock)
{
    TRuntimeDir runtime;
    // A socket path longer than the system allows.
    const QString deep = runtime.Path() + "/" + QString(120, QLatin1Char('d'));
    ASSERT_TRUE(QDir().mkpath(deep));
    ASSERT_EQ(chmod(QFile::encodeName(deep).constData(), 0700), 0);
    InstanceLock::SetRuntimeFolderForTesting(deep);

    TInstanceLock lock(Name);
    EXPECT_EQ(lock.Acquire(), TInstanceLock::Failed);
    EXPECT_FALSE(lock.SendWakeUp(50));
    const int fd = open(QFile::encodeName(lock.LockFilePath()).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}
