#include "platform/ShellExecute.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char** environ;

bool ShellExecute(const QString& File, const QString& Parameters)
{
    return StartDetached(File, QProcess::splitCommand(Parameters));
}

bool StartDetached(const QString& Program, const QStringList& Arguments, const QString& ErrorLog)
{
    std::vector<QByteArray> Words{QFile::encodeName(Program)};
    if (Words.front().isEmpty())
        return false;
    for (const QString& Argument : Arguments)
        Words.push_back(Argument.toLocal8Bit());
    std::vector<char*> Argv;
    for (QByteArray& Word : Words)
        Argv.push_back(Word.data());
    Argv.push_back(nullptr);

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
        && posix_spawn_file_actions_addopen(&Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
    // Opened here rather than in the child, so that a log that cannot be
    // opened costs the log, not the start.
    const int Log = ErrorLog.isEmpty()
        ? -1
        : ::open(QFile::encodeName(ErrorLog).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    Ready = Ready && posix_spawn_file_actions_addopen(&Actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0) == 0;
    if (Ready)
        Ready = Log >= 0 ? posix_spawn_file_actions_adddup2(&Actions, Log, STDERR_FILENO) == 0
                         : posix_spawn_file_actions_addopen(&Actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0;
    // The caller's descriptors stay with the caller: an inherited instance
    // lock would outlive the program that took it.
    Ready = Ready && posix_spawn_file_actions_addclosefrom_np(&Actions, STDERR_FILENO + 1) == 0;

    bool Started = false;
    if (Ready) {
        // The program's parent leaves at once, so that nobody has to reap it.
        const pid_t Child = ::fork();
        if (Child == 0) {
            pid_t Spawned = 0;
            _exit(posix_spawn(&Spawned, Argv[0], &Actions, &Attr, Argv.data(), environ) == 0 ? 0 : 1);
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
    if (Log >= 0)
        ::close(Log);
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attr);
    return Started;
}
