#include "support/ProcessSweep.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int PollMs = 20;
constexpr int KillWaitMs = 5000;
constexpr int Rounds = 3;

bool InName(char C)
{
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' || C == '-' || C == '.';
}

// Folder as a whole path, also within a list (PATH) or a shell command.
bool NamesFolder(const QByteArray& Value, const QByteArray& Folder)
{
    for (qsizetype At = Value.indexOf(Folder); At >= 0; At = Value.indexOf(Folder, At + 1)) {
        const qsizetype End = At + Folder.size();
        const bool Starts = At == 0 || (!InName(Value.at(At - 1)) && Value.at(At - 1) != '/');
        const bool Ends = End == Value.size() || !InName(Value.at(End));
        if (Starts && Ends)
            return true;
    }
    return false;
}

bool AnyNamesFolder(const QString& ProcFile, const QByteArray& Folder, bool Variables)
{
    QFile F(ProcFile);
    if (!F.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& Entry : F.readAll().split('\0')) {
        const qsizetype Equals = Variables ? Entry.indexOf('=') : -1;
        if (Variables && Equals <= 0)
            continue;
        if (NamesFolder(Entry.mid(Equals + 1), Folder))
            return true;
    }
    return false;
}

// A zombie's environment and command line read empty: it has ended already.
bool Carries(pid_t Pid, const QByteArray& Folder)
{
    const QString Proc = QStringLiteral("/proc/%1/").arg(Pid);
    return AnyNamesFolder(Proc + QLatin1String("environ"), Folder, true)
        || AnyNamesFolder(Proc + QLatin1String("cmdline"), Folder, false);
}

QList<pid_t> StillCarrying(const QList<pid_t>& Pids, const QByteArray& Folder)
{
    QList<pid_t> Left;
    for (pid_t Pid : Pids)
        if (Carries(Pid, Folder))
            Left += Pid;
    return Left;
}

QList<pid_t> WaitGone(QList<pid_t> Pids, const QByteArray& Folder, int Ms)
{
    const QDeadlineTimer Deadline(Ms);
    while (!(Pids = StillCarrying(Pids, Folder)).isEmpty() && !Deadline.hasExpired())
        QThread::msleep(PollMs);
    return Pids;
}

void Signal(const QList<pid_t>& Pids, int Number)
{
    for (pid_t Pid : Pids)
        (void)::kill(Pid, Number);
}

QByteArray Canonical(const QString& Folder)
{
    return QFile::encodeName(QDir::cleanPath(Folder));
}

} // namespace

QList<pid_t> ProcessesCarrying(const QString& Folder)
{
    const QByteArray Wanted = Canonical(Folder);
    QList<pid_t> Found;
    if (Wanted.size() <= 1)
        return Found;
    const pid_t Self = ::getpid();
    for (const QString& Entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool Number = false;
        const pid_t Pid = pid_t(Entry.toInt(&Number));
        if (!Number || Pid == Self)
            continue;
        struct stat Info;
        if (::stat(QFile::encodeName(QStringLiteral("/proc/") + Entry).constData(), &Info) != 0 || Info.st_uid != ::geteuid())
            continue;
        if (Carries(Pid, Wanted))
            Found += Pid;
    }
    return Found;
}

int EndProcessesCarrying(const QString& Folder, int GraceMs)
{
    const QByteArray Wanted = Canonical(Folder);
    int Ended = 0;
    for (int Round = 0; Round < Rounds; ++Round) {
        const QList<pid_t> Found = ProcessesCarrying(Folder);
        if (Found.isEmpty())
            break;
        Ended += int(Found.size());
        Signal(Found, SIGTERM);
        const QList<pid_t> Stubborn = WaitGone(Found, Wanted, GraceMs);
        Signal(Stubborn, SIGKILL);
        (void)WaitGone(Stubborn, Wanted, KillWaitMs);
    }
    return Ended;
}

void EndStartedPrograms(const std::vector<std::unique_ptr<QProcess>>& Started, const QString& Folder)
{
    for (const auto& Process : Started) {
        if (Process->state() != QProcess::NotRunning) {
            Process->kill();
            Process->waitForFinished(5000);
        }
    }
    EndProcessesCarrying(Folder);
}
