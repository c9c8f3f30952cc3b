#include "service/TaskProcess.h"

#include "platform/UserAccount.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Through syscall(): glibc 2.36 declares its wrappers without C linkage for C++.
int PidFdOpen(pid_t Pid)
{
    return int(::syscall(SYS_pidfd_open, Pid, 0));
}

int PidFdSendSignal(int PidFd, int Signal)
{
    return int(::syscall(SYS_pidfd_send_signal, PidFd, Signal, nullptr, 0));
}

constexpr char DefaultPath[] = "/usr/local/bin:/usr/bin:/bin";

const char* const SessionVariables[] = {"LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_NUMERIC", "LC_TIME",
    "LC_COLLATE", "LC_MONETARY", "LC_MESSAGES", "LC_PAPER", "LC_NAME", "LC_ADDRESS", "LC_TELEPHONE",
    "LC_MEASUREMENT", "LC_IDENTIFICATION", "TZ", "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR",
    "DBUS_SESSION_BUS_ADDRESS", "XDG_SESSION_TYPE", "XDG_SESSION_DESKTOP", "XDG_CURRENT_DESKTOP",
    "XDG_SESSION_ID", "XDG_SEAT", "XDG_VTNR", "DESKTOP_SESSION", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
    "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"};

std::vector<QByteArray> Bytes(const QStringList& List)
{
    std::vector<QByteArray> Out;
    Out.reserve(size_t(List.size()));
    for (const QString& Item : List)
        Out.push_back(Item.toLocal8Bit());
    return Out;
}

std::vector<char*> Pointers(std::vector<QByteArray>& List)
{
    std::vector<char*> Out;
    for (QByteArray& Item : List)
        Out.push_back(Item.data());
    Out.push_back(nullptr);
    return Out;
}

} // namespace

TTaskProcess::TTaskProcess(QObject* Parent)
    : QObject(Parent)
{
}

TTaskProcess::~TTaskProcess()
{
    // The run goes on without us; only its exit notice is lost.
    if (FPidFd >= 0)
        ::close(FPidFd);
}

bool TTaskProcess::Start(const QString& Program, const QStringList& Arguments, const QString& WorkingDirectory,
    const QStringList& Environment, QString& ErrorText)
{
    const QByteArray Path = QFile::encodeName(Program);
    const QByteArray Folder = QFile::encodeName(WorkingDirectory);
    std::vector<QByteArray> ArgBytes = Bytes(QStringList{Program} + Arguments);
    ArgBytes.front() = Path;
    std::vector<QByteArray> EnvBytes = Bytes(Environment);
    std::vector<char*> Argv = Pointers(ArgBytes);
    std::vector<char*> Envp = Pointers(EnvBytes);

    posix_spawnattr_t Attr;
    posix_spawn_file_actions_t Actions;
    posix_spawnattr_init(&Attr);
    posix_spawn_file_actions_init(&Actions);
    sigset_t Empty;
    sigset_t Defaults;
    sigemptyset(&Empty);
    sigemptyset(&Defaults);
    for (const int Signal : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD, SIGQUIT})
        sigaddset(&Defaults, Signal);
    int Error = posix_spawnattr_setflags(&Attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (!Error)
        Error = posix_spawnattr_setsigmask(&Attr, &Empty);
    if (!Error)
        Error = posix_spawnattr_setsigdefault(&Attr, &Defaults);
    if (!Error)
        Error = posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (!Error)
        Error = posix_spawn_file_actions_adddup2(&Actions, STDERR_FILENO, STDOUT_FILENO);
    if (!Error)
        Error = posix_spawn_file_actions_addclosefrom_np(&Actions, STDERR_FILENO + 1);
    if (!Error && !Folder.isEmpty())
        Error = posix_spawn_file_actions_addchdir_np(&Actions, Folder.constData());
    pid_t Pid = -1;
    if (!Error)
        Error = posix_spawn(&Pid, Path.constData(), &Actions, &Attr, Argv.data(), Envp.data());
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attr);
    if (Error) {
        ErrorText = QString::fromLocal8Bit(strerror(Error));
        return false;
    }
    FPid = Pid;
    FPidFd = PidFdOpen(Pid);
    if (FPidFd < 0) {
        ErrorText = QStringLiteral("started, but cannot watch it: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return true;
    }
    FNotifier = new QSocketNotifier(FPidFd, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TTaskProcess::Reap);
    return true;
}

void TTaskProcess::Terminate()
{
    if (FPidFd >= 0)
        (void)PidFdSendSignal(FPidFd, SIGTERM);
}

void TTaskProcess::Reap()
{
    int Status = 0;
    const pid_t Done = ::waitpid(FPid, &Status, WNOHANG);
    if (Done != FPid)
        return;
    FNotifier->setEnabled(false);
    ::close(FPidFd);
    FPidFd = -1;
    if (WIFSIGNALED(Status))
        emit Finished(128 + WTERMSIG(Status), WTERMSIG(Status));
    else
        emit Finished(WEXITSTATUS(Status), 0);
}

QStringList TaskEnvironment()
{
    QStringList Env;
    if (const std::optional<TUserAccount> Account = UserAccount::ByUid(geteuid())) {
        Env << QStringLiteral("HOME=") + Account->Home
            << QStringLiteral("USER=") + Account->Name
            << QStringLiteral("LOGNAME=") + Account->Name
            << QStringLiteral("SHELL=") + (Account->Shell.isEmpty() ? QStringLiteral("/bin/sh") : Account->Shell);
    } else if (qEnvironmentVariableIsSet("HOME")) {
        Env << QStringLiteral("HOME=") + qEnvironmentVariable("HOME");
    }
    Env << QStringLiteral("PATH=") + QLatin1String(DefaultPath);
    for (const char* Name : SessionVariables)
        if (qEnvironmentVariableIsSet(Name))
            Env << QLatin1String(Name) + QLatin1Char('=') + qEnvironmentVariable(Name);
    // A session bus at its usual place, even when our starter did not pass it on.
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") && qEnvironmentVariableIsSet("XDG_RUNTIME_DIR")) {
        const QString Bus = qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1String("/bus");
        struct stat Info;
        if (::stat(QFile::encodeName(Bus).constData(), &Info) == 0 && S_ISSOCK(Info.st_mode))
            Env << QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=") + Bus;
    }
    return Env;
}
