#include "tools/ShutdownTool.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int StopPipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char Byte = 1;
    (void)!write(StopPipe[1], &Byte, 1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication App(argc, argv);
    TShutdownOptions Options;
    QString Error;
    if (!ParseShutdownArguments(App.arguments().mid(1), Options, Error)) {
        QTextStream(stderr) << "Shutdown.exe: " << Error << Qt::endl << ShutdownUsage() << Qt::endl;
        return ShutdownExitUsage;
    }
    TShutdownTool Tool(Options);

    // SIGTERM (a logout, the task service stopping or ending a run at its
    // maximum run time) ends the countdown in order: nothing happens, and the
    // user and the history are told so.
    std::unique_ptr<QSocketNotifier> Stop;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, StopPipe) == 0) {
        Stop = std::make_unique<QSocketNotifier>(StopPipe[0], QSocketNotifier::Read);
        QObject::connect(Stop.get(), &QSocketNotifier::activated, [&Tool] {
            char Byte = 0;
            (void)!read(StopPipe[0], &Byte, 1);
            Tool.StopWaiting();
        });
        struct sigaction Action = {};
        Action.sa_handler = OnTerminate;
        sigemptyset(&Action.sa_mask);
        Action.sa_flags = SA_RESTART;
        (void)sigaction(SIGTERM, &Action, nullptr);
    }
    return Tool.Run();
}
