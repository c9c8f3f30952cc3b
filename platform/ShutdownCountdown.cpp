#include "platform/ShutdownCountdown.h"

#include "platform/InstanceLock.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace {

const QByteArray AbortRequest = "abort\n";
const QByteArray AbortAnswer = "aborted\n";

QString LockPath(const QString& Folder)
{
    return Folder + QStringLiteral("/countdown.lock");
}

QString SocketPath(const QString& Folder)
{
    return Folder + QStringLiteral("/countdown.sock");
}

} // namespace

namespace ShutdownCountdown {

QString Folder()
{
    const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!Runtime.isEmpty()) {
        const QString Own = InstanceLock::PrivateFolderIn(Runtime);
        if (!Own.isEmpty())
            return Own;
    }
    return InstanceLock::RuntimeFolder();
}

bool Running()
{
    const QString Dir = Folder();
    if (Dir.isEmpty())
        return false;
    TFileLock Probe;
    // No lock file: no countdown ran since the folder was made.
    if (!Probe.Open(LockPath(Dir), O_RDONLY | O_NOFOLLOW))
        return false;
    return !Probe.Lock(TFileLock::Shared, TFileLock::NoWait) && Probe.Error() == EWOULDBLOCK;
}

TAbort Abort(int TimeoutMs)
{
    if (!Running())
        return TAbort::NothingToAbort;
    const QDeadlineTimer Deadline(TimeoutMs);
    QLocalSocket Socket;
    // The holder takes its lock a moment before it listens.
    for (;;) {
        Socket.connectToServer(SocketPath(Folder()));
        if (Socket.waitForConnected(int(std::max<qint64>(Deadline.remainingTime(), 0))))
            break;
        if (!Running())
            return TAbort::NothingToAbort;
        if (Deadline.hasExpired())
            return TAbort::NotStopped;
        QThread::msleep(20);
    }
    Socket.write(AbortRequest);
    QByteArray Answer;
    while (!Answer.endsWith('\n') && Socket.waitForReadyRead(int(std::max<qint64>(Deadline.remainingTime(), 0))))
        Answer += Socket.readAll();
    return Answer == AbortAnswer ? TAbort::Aborted : TAbort::NotStopped;
}

} // namespace ShutdownCountdown

TCountdownChannel::TCountdownChannel(QObject* Parent) : QObject(Parent)
{
}

TCountdownChannel::~TCountdownChannel()
{
    StopListening();
}

TCountdownChannel::TState TCountdownChannel::Open()
{
    const QString Dir = ShutdownCountdown::Folder();
    if (Dir.isEmpty()) {
        FError = QStringLiteral("no private runtime folder");
        return Failed;
    }
    TFileLock Lock;
    if (!Lock.Open(LockPath(Dir), O_RDWR | O_CREAT | O_NOFOLLOW, 0600)) {
        FError = QStringLiteral("%1: %2").arg(LockPath(Dir), QString::fromLocal8Bit(strerror(Lock.Error())));
        return Failed;
    }
    if (!Lock.Lock(TFileLock::Exclusive, TFileLock::NoWait)) {
        FError = QStringLiteral("%1: %2").arg(LockPath(Dir), QString::fromLocal8Bit(strerror(Lock.Error())));
        return Lock.Error() == EWOULDBLOCK ? Busy : Failed;
    }
    // Holding the lock, a socket file left there is from a countdown that died.
    auto* Server = new QLocalServer(this);
    (void)QLocalServer::removeServer(SocketPath(Dir));
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!Server->listen(SocketPath(Dir))) {
        FError = QStringLiteral("%1: %2").arg(SocketPath(Dir), Server->errorString());
        delete Server;
        return Failed;
    }
    connect(Server, &QLocalServer::newConnection, this, &TCountdownChannel::Accept);
    FServer = Server;
    FLock = std::move(Lock);
    return Held;
}

void TCountdownChannel::StopListening()
{
    if (!FServer)
        return;
    FServer->close();
    delete FServer;
    FServer = nullptr;
}

void TCountdownChannel::Accept()
{
    while (FServer) {
        QLocalSocket* Socket = FServer->nextPendingConnection();
        if (!Socket)
            return;
        connect(Socket, &QLocalSocket::disconnected, Socket, &QObject::deleteLater);
        connect(Socket, &QLocalSocket::readyRead, this, [this, Socket] { Read(Socket); });
        Read(Socket);
    }
}

void TCountdownChannel::Read(QLocalSocket* Socket)
{
    if (!Socket->canReadLine()) {
        // Anything longer than the request is not ours.
        if (Socket->bytesAvailable() > AbortRequest.size())
            Socket->abort();
        return;
    }
    if (Socket->readLine(AbortRequest.size() + 1) != AbortRequest) {
        Socket->abort();
        return;
    }
    // Answered before the receiver hears of it: the receiver runs in this
    // same thread and acts on nothing after this.
    Socket->write(AbortAnswer);
    (void)Socket->waitForBytesWritten(1000);
    Socket->disconnectFromServer();
    emit AbortRequested();
}
