#include "platform/TaskServiceLauncher.h"

#include "platform/FileLock.h"
#include "platform/ShellExecute.h"
#include "platform/UserFolders.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char ServiceProgramName[] = "lumidor-taskd";
// A client probing the lock holds it for microseconds; a service for ever.
constexpr int LockRetryMs = 200;
constexpr int LockRetryStepMs = 10;
// How long a unit the user manager started may take to hold the store's lock
// before the store is taken to be another one than the unit's.
constexpr int UnitStartMs = 2000;
constexpr int BusCallMs = 2000;
constexpr qint64 LogRotateBytes = 1024 * 1024;

std::atomic<int> StartsHeldBack{0};

QString& ProgramOverride()
{
    static QString Instance;
    return Instance;
}

QString OwnFolder()
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

// The session bus as libdbus would find it, but never by autolaunching one.
QString SessionBusAddress()
{
    const QString Address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!Address.isEmpty())
        return Address;
    const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    struct stat Info;
    if (Runtime.startsWith(QLatin1Char('/'))
        && ::stat(QFile::encodeName(Runtime + QLatin1String("/bus")).constData(), &Info) == 0 && S_ISSOCK(Info.st_mode))
        return QLatin1String("unix:path=") + Runtime + QLatin1String("/bus");
    return {};
}

// Asks the systemd user manager to start the unit; false when there is no
// manager on the session bus or it refuses (the unit is not installed).
bool StartUserUnit()
{
    const QString Address = SessionBusAddress();
    if (Address.isEmpty())
        return false;
    const QString Name = QStringLiteral("lumidor-launcher-%1").arg(quintptr(&StartsHeldBack));
    bool Started = false;
    {
        const QDBusConnection Bus = QDBusConnection::connectToBus(Address, Name);
        if (Bus.isConnected()) {
            QDBusMessage Call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.systemd1"),
                QStringLiteral("/org/freedesktop/systemd1"), QStringLiteral("org.freedesktop.systemd1.Manager"),
                QStringLiteral("StartUnit"));
            Call.setArguments({QString::fromLatin1(TaskServiceUnit), QStringLiteral("replace")});
            // No manager on the bus is an answer at once, not an activation.
            Call.setAutoStartService(false);
            Started = Bus.call(Call, QDBus::Block, BusCallMs).type() == QDBusMessage::ReplyMessage;
        }
    }
    QDBusConnection::disconnectFromBus(Name);
    return Started;
}

bool WaitForService(const QString& StoreDir, int TimeoutMs)
{
    const QDeadlineTimer Deadline(TimeoutMs);
    while (!TaskServiceRunning(StoreDir)) {
        if (Deadline.hasExpired())
            return false;
        ::usleep(20 * 1000);
    }
    return true;
}

// The log file, its folder made and an overgrown one moved aside; empty
// when the folder cannot be had.
QString PreparedLog()
{
    const QString Path = TaskServiceLogPath();
    const QString Folder = QFileInfo(Path).absolutePath();
    if (!QDir().mkpath(Folder))
        return {};
    if (QFileInfo(Path).size() > LogRotateBytes)
        (void)::rename(QFile::encodeName(Path).constData(), QFile::encodeName(Path + QLatin1String(".old")).constData());
    return Path;
}

} // namespace

QString TaskServiceLogPath()
{
    return UserFolders::State() + QLatin1String("/lumidor/lumidor-taskd.log");
}

TNoTaskServiceStart::TNoTaskServiceStart()
{
    ++StartsHeldBack;
}

TNoTaskServiceStart::~TNoTaskServiceStart()
{
    --StartsHeldBack;
}

QString TaskServiceLockPath(const QString& StoreDir)
{
    return StoreDir + QLatin1String("/.service.lock");
}

QString TaskServiceProgram()
{
    if (!ProgramOverride().isEmpty())
        return ProgramOverride();
    return OwnFolder() + QLatin1Char('/') + QLatin1String(ServiceProgramName);
}

void SetTaskServiceProgramForTesting(const QString& Program)
{
    ProgramOverride() = Program;
}

bool TaskServiceRunning(const QString& StoreDir)
{
    TFileLock Probe;
    if (!Probe.Open(TaskServiceLockPath(StoreDir), O_RDONLY | O_NOFOLLOW))
        return false;
    // A shared probe never keeps a starting service out for longer than the call.
    return !Probe.Lock(TFileLock::Shared, TFileLock::NoWait) && Probe.Error() == EWOULDBLOCK;
}

bool StartTaskService(const QString& StoreDir)
{
    if (TaskServiceRunning(StoreDir))
        return true;
    if (StartsHeldBack > 0)
        return false;
    // The unit serves the store of the user manager's environment; a store
    // of its own (or a program set for tests) is never the unit's.
    if (ProgramOverride().isEmpty() && QDir::cleanPath(StoreDir) == QDir::cleanPath(UserFolders::TaskStore())
        && StartUserUnit() && WaitForService(StoreDir, UnitStartMs))
        return true;
    const QString Program = TaskServiceProgram();
    if (::access(QFile::encodeName(Program).constData(), X_OK) != 0)
        return false;
    return StartDetached(Program, {QStringLiteral("--store"), StoreDir}, PreparedLog());
}

TTaskServiceLock::TTaskServiceLock(const QString& StoreDir)
{
    const QString Path = TaskServiceLockPath(StoreDir);
    if (!FLock.Open(Path, O_RDWR | O_CREAT | O_NOFOLLOW, 0600)) {
        FErrorText = QStringLiteral("cannot open %1: %2").arg(Path, QString::fromLocal8Bit(strerror(FLock.Error())));
        return;
    }
    for (int Waited = 0;; Waited += LockRetryStepMs) {
        if (FLock.Lock(TFileLock::Exclusive, TFileLock::NoWait))
            return;
        if (FLock.Error() != EWOULDBLOCK) {
            FErrorText = QStringLiteral("cannot lock %1: %2").arg(Path, QString::fromLocal8Bit(strerror(FLock.Error())));
            break;
        }
        if (Waited >= LockRetryMs) {
            FHeldByAnother = true;
            FErrorText = QStringLiteral("another task service holds %1").arg(Path);
            break;
        }
        ::usleep(LockRetryStepMs * 1000);
    }
    FLock.Release();
}

TTaskServiceLock::~TTaskServiceLock() = default;
