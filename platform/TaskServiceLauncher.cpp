#include "platform/TaskServiceLauncher.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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
    const QByteArray Program = QFile::encodeName(TaskServiceProgram());
    if (::access(Program.constData(), X_OK) != 0)
        return false;
    const QByteArray Store = QFile::encodeName(StoreDir);
    char StoreOption[] = "--store";
    char* const Argv[] = {const_cast<char*>(Program.constData()), StoreOption, const_cast<char*>(Store.constData()), nullptr};

    // Everything the intermediate child needs is made before fork, which in
    // a threaded program may only be followed by async-signal-safe calls.
    posix_spawnattr_t Attr;
    posix_spawn_file_actions_t Actions;
    if (posix_spawnattr_init(&Attr) != 0)
        return false;
    if (posix_spawn_file_actions_init(&Actions) != 0) {
        posix_spawnattr_destroy(&Attr);
        return false;
    }
    sigset_t Empty;
    sigset_t Defaults;
    sigemptyset(&Empty);
    sigemptyset(&Defaults);
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD})
        sigaddset(&Defaults, Signal);
    bool Ready = posix_spawnattr_setflags(&Attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0
        && posix_spawnattr_setsigmask(&Attr, &Empty) == 0 && posix_spawnattr_setsigdefault(&Attr, &Defaults) == 0
        && posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0
        // The caller's descriptors stay with the caller: an inherited
        // instance lock would outlive the program that took it.
        && posix_spawn_file_actions_addclosefrom_np(&Actions, STDERR_FILENO + 1) == 0;

    bool Started = false;
    if (Ready) {
        // The service's parent leaves at once, so that nobody has to reap it.
        const pid_t Child = ::fork();
        if (Child == 0) {
            pid_t Service = 0;
            _exit(posix_spawn(&Service, Argv[0], &Actions, &Attr, Argv, environ) == 0 ? 0 : 1);
        }
        if (Child > 0) {
            int Status = 0;
            pid_t Waited;
            do
                Waited = ::waitpid(Child, &Status, 0);
            while (Waited < 0 && errno == EINTR);
            Started = Waited == Child && WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attr);
    return Started;
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
