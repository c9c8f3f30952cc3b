#include "platform/TaskServiceLauncher.h"

#include "platform/ShellExecute.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
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
    const int Fd = ::open(QFile::encodeName(TaskServiceLockPath(StoreDir)).constData(),
        O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (Fd < 0)
        return false;
    // A shared probe never keeps a starting service out for longer than the call.
    const bool Busy = ::flock(Fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(Fd);
    return Busy;
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
    const QByteArray Path = QFile::encodeName(TaskServiceLockPath(StoreDir));
    const int Fd = ::open(Path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (Fd < 0) {
        FErrorText = QStringLiteral("cannot open %1: %2").arg(QFile::decodeName(Path), QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    for (int Waited = 0;; Waited += LockRetryStepMs) {
        if (::flock(Fd, LOCK_EX | LOCK_NB) == 0) {
            FFd = Fd;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            FErrorText = QStringLiteral("cannot lock %1: %2").arg(QFile::decodeName(Path), QString::fromLocal8Bit(strerror(errno)));
            break;
        }
        if (Waited >= LockRetryMs) {
            FHeldByAnother = true;
            FErrorText = QStringLiteral("another task service holds %1").arg(QFile::decodeName(Path));
            break;
        }
        ::usleep(LockRetryStepMs * 1000);
    }
    ::close(Fd);
}

TTaskServiceLock::~TTaskServiceLock()
{
    if (FFd >= 0)
        ::close(FFd);
}
