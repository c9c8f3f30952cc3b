#include "platform/InstanceLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

TEST(InstanceLockTest, WakeUpCarriesTheActivationOfTheLaterStart)
{
    TRuntimeDir runtime;
    TInstanceLock first(Name);
    std::vector<TActivation> received;
    QObject::connect(&first, &TInstanceLock::WakeUp, [&](const TActivation& Activation) { received.push_back(Activation); });
    ASSERT_EQ(first.Acquire(), TInstanceLock::First);

    const struct
    {
        QByteArray Token;
        QByteArray StartupId;
        QByteArray ExpectedToken;
        QByteArray ExpectedStartupId;
    } cases[] = {
        {"", "", "", ""},
        {"weston-7f3a-token", "", "weston-7f3a-token", ""},
        {"", "kde-launcher-42-host-0_TIME123456", "", "kde-launcher-42-host-0_TIME123456"},
        {"a=b", "id_TIME1", "a=b", "id_TIME1"},
        // What could not travel on one line stays behind; the wake-up still goes.
        {"two\nlines", "with blank", "", ""},
        {QByteArray(1025, 't'), QByteArray(1024, 's'), "", QByteArray(1024, 's')},
    };
    TInstanceLock later(Name);
    for (const auto& c : cases) {
        received.clear();
        ASSERT_TRUE(later.SendWakeUp(500, {c.Token, c.StartupId}));
        ASSERT_TRUE(WaitFor([&] { return received.size() == 1; })) << c.Token.toStdString();
        EXPECT_EQ(received[0].XdgActivationToken, c.ExpectedToken);
        EXPECT_EQ(received[0].DesktopStartupId, c.ExpectedStartupId);
    }

    // An older start sends the name alone and closes.
    received.clear();
    {
        QLocalSocket socket;
        socket.connectToServer(first.ChannelPath());
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(Name.toUtf8() + "\n");
        ASSERT_TRUE(socket.waitForBytesWritten(1000));
    }
    ASSERT_TRUE(WaitFor([&] { return received.size() == 1; }));
    EXPECT_TRUE(received[0].XdgActivationToken.isEmpty());

    // Keys of a newer start are passed over.
    received.clear();
    {
        QLocalSocket socket;
        socket.connectToServer(first.ChannelPath());
        ASSERT_TRUE(socket.waitForConnected(1000));
        socket.write(Name.toUtf8() + "\nWORKSPACE=2\nXDG_ACTIVATION_TOKEN=tok\n\n");
        ASSERT_TRUE(socket.waitForBytesWritten(1000));
        ASSERT_TRUE(WaitFor([&] { return received.size() == 1; }));
    }
    EXPECT_EQ(received[0].XdgActivationToken, "tok");
}

TEST(InstanceLockTest, WakeUpBeginsWithTheLineThatOlderInstancesRead)
{
    TRuntimeDir runtime;
    QLocalServer older;
    ASSERT_TRUE(older.listen(TInstanceLock(Name).ChannelPath()));
    TInstanceLock later(Name);
    ASSERT_TRUE(later.SendWakeUp(500, {"tok-1", "id_TIME7"}));
    ASSERT_TRUE(older.waitForNewConnection(2000));
    QLocalSocket* socket = older.nextPendingConnection();
    ASSERT_NE(socket, nullptr);
    QByteArray message;
    ASSERT_TRUE(WaitFor([&] {
        socket->waitForReadyRead(10);
        message += socket->readAll();
        return message.endsWith("\n\n");
    }));
    EXPECT_EQ(message, Name.toUtf8() + "\nXDG_ACTIVATION_TOKEN=tok-1\nDESKTOP_STARTUP_ID=id_TIME7\n\n");
}

TEST(InstanceLockTest, ActivationComesFromTheEnvironmentAndCarriesTheUsersTime)
{
    const QByteArray savedToken = qgetenv("XDG_ACTIVATION_TOKEN");
    const QByteArray savedId = qgetenv("DESKTOP_STARTUP_ID");
    qputenv("XDG_ACTIVATION_TOKEN", "token-9");
    qputenv("DESKTOP_STARTUP_ID", "bad id");
    TActivation fromEnvironment = TActivation::FromEnvironment();
    EXPECT_EQ(fromEnvironment.XdgActivationToken, "token-9");
    EXPECT_EQ(fromEnvironment.DesktopStartupId, "");
    qunsetenv("XDG_ACTIVATION_TOKEN");
    qputenv("DESKTOP_STARTUP_ID", "launcher-1-host_TIME77");
    fromEnvironment = TActivation::FromEnvironment();
    EXPECT_EQ(fromEnvironment.XdgActivationToken, "");
    EXPECT_EQ(fromEnvironment.DesktopStartupId, "launcher-1-host_TIME77");
    savedToken.isNull() ? qunsetenv("XDG_ACTIVATION_TOKEN") : qputenv("XDG_ACTIVATION_TOKEN", savedToken);
    savedId.isNull() ? qunsetenv("DESKTOP_STARTUP_ID") : qputenv("DESKTOP_STARTUP_ID", savedId);

    const struct
    {
        QByteArray Id;
        quint32 Time;
    } cases[] = {
        {"kde-launcher-42-host-0_TIME123456", 123456},
        {"gnome-shell/lumidor/2291-1-host_TIME4294967295", 4294967295u},
        {"a_TIME1_TIME2", 2},
        {"no-time-here", 0},
        {"x_TIME", 0},
        {"x_TIMEabc", 0},
        {"x_TIME4294967296", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ((TActivation{{}, c.Id}.StartupTime()), c.Time) << c.Id.toStdString();
}
