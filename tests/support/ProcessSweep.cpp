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

bool NamesFolder(const QByteArray& Value, const QByteArray& Folder)
{
    // A value may be a list of paths (PATH, XDG_DATA_DIRS): any of them counts.
    for (qsizetype At = Value.indexOf(Folder); At >= 0; At = Value.indexOf(Folder, At + 1)) {
        const qsizetype End = At + Folder.size();
        const bool Starts = At == 0 || Value.at(At - 1) == ':';
        const bool Ends = End == Value.size() || Value.at(End) == '/' || Value.at(End) == ':';
        if (Starts && Ends)
            return true;
    }
    return false;
}

bool Carries(pid_t Pid, const QByteArray& Folder)
{
    // A zombie's environment reads empty: it has ended already.
    QFile Environ(QStringLiteral("/proc/%1/environ").arg(Pid));
    if (!Environ.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& Entry : Environ.readAll().split('\0')) {
        const qsizetype Equals = Entry.indexOf('=');
        if (Equals > 0 && NamesFolder(Entry.mid(Equals + 1), Folder))
            return true;
    }
    return false;
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
    QString Path = QDir::cleanPath(Folder);
    while (Path.size() > 1 && Path.endsWith(QLatin1Char('/')))
        Path.chop(1);
    return QFile::encodeName(Path);
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
