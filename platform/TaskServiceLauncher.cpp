#include "platform/TaskServiceLauncher.h"

#include "platform/FileLock.h"
#include "platform/ShellExecute.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char ServiceProgramName[] = "lumidor-taskd";
// A client probing the lock holds it for microseconds; a service for ever.
constexpr int LockRetryMs = 200;
constexpr int LockRetryStepMs = 10;

QString& ProgramOverride()
{
    static QString Instance;
    return Instance;
}

QString OwnFolder()
{
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).absolutePath();
}

} // namespace

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
    const QString Program = TaskServiceProgram();
    if (::access(QFile::encodeName(Program).constData(), X_OK) != 0)
        return false;
    // The service's output goes where the caller's goes.
    return StartDetached(Program, {QStringLiteral("--store"), StoreDir}, TDetachedOutput::Inherit);
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
