#include "platform/RunHistory.h"
#include "platform/TaskServiceLauncher.h"
#include "platform/WorkItemStore.h"
#include "service/ServiceLog.h"
#include "service/TaskService.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int Signal)
{
    const char Byte = char(Signal);
    (void)!::write(SignalPipe[1], &Byte, 1);
}

const char Usage[] = "Usage: lumidor-taskd [--store FOLDER] [--utmp FILE]\n"
                     "       lumidor-taskd --history\n"
                     "  --store FOLDER  the work items' folder (default: $LUMIDOR_TASK_STORE,\n"
                     "                  else $XDG_DATA_HOME/lumidor/tasks)\n"
                     "  --utmp FILE     ask this utmp file, not logind, whether the user is logged on\n"
                     "  --history       print the last runs, skips and misses, oldest first, and exit\n";

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    TTaskService::TOptions Options;
    const QStringList Args = App.arguments().mid(1);
    for (int I = 0; I < Args.size(); ++I) {
        const QString& Arg = Args.at(I);
        if ((Arg == QLatin1String("--store") || Arg == QLatin1String("--utmp")) && I + 1 < Args.size()) {
            (Arg == QLatin1String("--store") ? Options.StoreDir : Options.UtmpFile) = Args.at(++I);
        } else if (Arg == QLatin1String("--history") && Args.size() == 1) {
            QTextStream Out(stdout);
            for (const QString& Line : RunHistory::Read())
                Out << Line << '\n';
            return 0;
        } else if (Arg == QLatin1String("--help") || Arg == QLatin1String("-h")) {
            QTextStream(stdout) << Usage;
            return 0;
        } else {
            QTextStream(stderr) << "lumidor-taskd: unknown option \"" << Arg << "\"\n" << Usage;
            return 2;
        }
    }
    // The store's own code finds the folder through this variable; the
    // items' programs never see it (they get a clean environment).
    if (!Options.StoreDir.isEmpty())
        qputenv("LUMIDOR_TASK_STORE", QFile::encodeName(Options.StoreDir));
    Options.StoreDir = WorkItemStore::Folder();
    if (!Options.StoreDir.startsWith(QLatin1Char('/'))) {
        ServiceLog::Write(QStringLiteral("the store folder must be an absolute path, not \"%1\"").arg(Options.StoreDir));
        return 2;
    }
    // A folder that others could write is refused, not quietly repaired: it
    // may already hold items that are not the user's.
    struct stat Info;
    if (::lstat(QFile::encodeName(Options.StoreDir).constData(), &Info) == 0
        && (!S_ISDIR(Info.st_mode) || Info.st_uid != geteuid() || (Info.st_mode & (S_IWGRP | S_IWOTH)))) {
        ServiceLog::Write(QStringLiteral("refused: the store %1 must be a folder of this user that nobody else can write")
                              .arg(Options.StoreDir));
        return 1;
    }
    if (!WorkItemStore::EnsureFolder()) {
        ServiceLog::Write(QStringLiteral("the store %1 is not a folder of this user or cannot be made").arg(Options.StoreDir));
        return 1;
    }

    const TTaskServiceLock Lock(Options.StoreDir);
    if (!Lock.Held()) {
        // One service per store: the one that holds the lock does the work.
        if (Lock.HeldByAnother())
            return 0;
        ServiceLog::Write(Lock.ErrorText());
        return 1;
    }

    if (::pipe2(SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    struct sigaction Action {};
    Action.sa_handler = OnSignal;
    sigemptyset(&Action.sa_mask);
    Action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &Action, nullptr);
    sigaction(SIGINT, &Action, nullptr);
    // A log reader that went away must not take the service with it.
    signal(SIGPIPE, SIG_IGN);
    QSocketNotifier SignalNotifier(SignalPipe[0], QSocketNotifier::Read);
    QObject::connect(&SignalNotifier, &QSocketNotifier::activated, &App, [&App] {
        char Byte = 0;
        while (::read(SignalPipe[0], &Byte, 1) == 1) {
        }
        ServiceLog::Write(QStringLiteral("stopping"));
        App.quit();
    });

    TTaskService Service(Options);
    QObject::connect(&Service, &TTaskService::StoreGone, &App, &QCoreApplication::quit);
    if (!Service.Start())
        return 1;
    return App.exec();
}
