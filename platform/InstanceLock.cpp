#include "platform/InstanceLock.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>
#include <memory>
#include <utility>

namespace {

// A wake-up is the name on a line, then "KEY=value" lines, then an empty
// line. An older instance reads only the first line, and an older later
// start sends only that line and closes. Anything longer is not ours.
constexpr qint64 MaxMessage = 4096;
constexpr qsizetype MaxValue = 1024;
constexpr char TokenKey[] = "XDG_ACTIVATION_TOKEN";
constexpr char StartupIdKey[] = "DESKTOP_STARTUP_ID";

// Tokens and startup ids are printable ASCII without blanks.
bool IsValue(const QByteArray& Value)
{
    if (Value.isEmpty() || Value.size() > MaxValue)
        return false;
    for (const char C : Value) {
        if (C <= ' ' || C > '~')
            return false;
    }
    return true;
}

bool IsClosedFolderOfOurs(const struct stat& Info)
{
    return S_ISDIR(Info.st_mode) && Info.st_uid == geteuid() && (Info.st_mode & 077) == 0;
}

// Creates Path (mode 0700) if missing; true when it is then a real folder of
// ours that nobody else can enter.
bool MakePrivateFolder(const QString& Path)
{
    const QByteArray path = QFile::encodeName(Path);
    if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    // lstat: a symbolic link planted under a shared folder must not be followed.
    if (lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return false;
    if ((info.st_mode & 077) != 0 && chmod(path.constData(), 0700) != 0)
        return false;
    return true;
}

void SleepMs(long Ms)
{
    timespec pause{0, Ms * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// The file names stay short whatever the executable is called: a socket
// path must fit into sun_path.
QString BaseNameFor(const QString& Name)
{
    const QByteArray hash = QCryptographicHash::hash(Name.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return QStringLiteral("instance-") + QString::fromLatin1(hash);
}

QString& FolderForTesting()
{
    static QString Folder;
    return Folder;
}

} // namespace

struct TInstanceLock::TIncoming
{
    bool Named = false;
    bool Judged = false;
    qint64 Size = 0;
    TActivation Activation;
};

TActivation TActivation::FromEnvironment()
{
    TActivation Result;
    const QByteArray Token = qgetenv(TokenKey);
    const QByteArray StartupId = qgetenv(StartupIdKey);
    if (IsValue(Token))
        Result.XdgActivationToken = Token;
    if (IsValue(StartupId))
        Result.DesktopStartupId = StartupId;
    return Result;
}

quint32 TActivation::StartupTime() const
{
    const qsizetype At = DesktopStartupId.lastIndexOf("_TIME");
    if (At < 0)
        return 0;
    bool Ok = false;
    const quint32 Time = DesktopStartupId.mid(At + 5).toUInt(&Ok);
    return Ok ? Time : 0;
}

TInstanceLock::TInstanceLock(const QString& Name, QObject* Parent)
    : QObject(Parent)
    , FName(Name)
    , FFolder(InstanceLock::RuntimeFolder())
    , FBaseName(BaseNameFor(Name))
{
}

TInstanceLock::~TInstanceLock()
{
    if (FServer)
        FServer->close();
    FLock.Release();
}

TInstanceLock::TState TInstanceLock::Acquire()
{
    if (FLock.Held())
        return First;
    if (FFolder.isEmpty())
        return Failed;

    TFileLock lock;
    if (!lock.Open(LockFilePath(), O_RDWR | O_CREAT | O_NOFOLLOW, 0600))
        return Failed;
    if (!lock.Lock(TFileLock::Exclusive, TFileLock::NoWait))
        return lock.Error() == EWOULDBLOCK ? Running : Failed;

    // Holding the lock, any socket file left there is from a process that died.
    auto* server = new QLocalServer(this);
    (void)QLocalServer::removeServer(ChannelPath());
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(ChannelPath())) {
        delete server;
        return Failed;
    }
    connect(server, &QLocalServer::newConnection, this, &TInstanceLock::AcceptConnections);
    FServer = server;
    FLock = std::move(lock);
    return First;
}

bool TInstanceLock::SendWakeUp(int TimeoutMs, const TActivation& Activation) const
{
    if (FFolder.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(ChannelPath());
    sockaddr_un address{};
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    QByteArray message = FName.toUtf8() + '\n';
    if (IsValue(Activation.XdgActivationToken))
        message += QByteArray(TokenKey) + '=' + Activation.XdgActivationToken + '\n';
    if (IsValue(Activation.DesktopStartupId))
        message += QByteArray(StartupIdKey) + '=' + Activation.DesktopStartupId + '\n';
    message += '\n';

    // The holder may have taken the lock but not yet opened its channel.
    const QDeadlineTimer deadline(TimeoutMs);
    for (;;) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) {
            const ssize_t sent = send(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL);
            ::close(fd);
            return sent == message.size();
        }
        ::close(fd);
        if (deadline.hasExpired())
            return false;
        SleepMs(20);
    }
}

QString TInstanceLock::LockFilePath() const
{
    return FFolder + QLatin1Char('/') + FBaseName + QStringLiteral(".lock");
}

QString TInstanceLock::ChannelPath() const
{
    return FFolder + QLatin1Char('/') + FBaseName + QStringLiteral(".sock");
}

void TInstanceLock::AcceptConnections()
{
    while (QLocalSocket* socket = FServer->nextPendingConnection()) {
        auto incoming = std::make_shared<TIncoming>();
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, incoming] { ReadMessage(socket, *incoming, false); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, incoming] { ReadMessage(socket, *incoming, true); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        ReadMessage(socket, *incoming, false);
    }
}

void TInstanceLock::ReadMessage(QLocalSocket* Socket, TIncoming& Incoming, bool Ended)
{
    if (Incoming.Judged)
        return;
    while (Socket->canReadLine()) {
        QByteArray line = Socket->readLine(MaxMessage + 1);
        Incoming.Size += line.size();
        if (Incoming.Size > MaxMessage || !line.endsWith('\n'))
            return EndMessage(Socket, Incoming, false);
        line.chop(1);
        if (!Incoming.Named) {
            if (line != FName.toUtf8())
                return EndMessage(Socket, Incoming, false);
            Incoming.Named = true;
            continue;
        }
        if (line.isEmpty())
            return EndMessage(Socket, Incoming, true);
        // Keys this instance does not know are a newer start's; they stay unread.
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals);
        const QByteArray value = equals < 0 ? QByteArray() : line.mid(equals + 1);
        if (!IsValue(value))
            continue;
        if (key == TokenKey)
            Incoming.Activation.XdgActivationToken = value;
        else if (key == StartupIdKey)
            Incoming.Activation.DesktopStartupId = value;
    }
    if (Incoming.Size + Socket->bytesAvailable() > MaxMessage)
        EndMessage(Socket, Incoming, false);
    else if (Ended)
        EndMessage(Socket, Incoming, Incoming.Named);
}

void TInstanceLock::EndMessage(QLocalSocket* Socket, TIncoming& Incoming, bool Accepted)
{
    // One message per connection; abort() comes back here through disconnected.
    Incoming.Judged = true;
    const TActivation activation = Incoming.Activation;
    Socket->abort();
    if (Accepted)
        emit WakeUp(activation);
}

namespace InstanceLock {

QString PrivateFolderIn(const QString& Parent)
{
    if (!QDir::isAbsolutePath(Parent))
        return QString();
    const QString parent = QDir::cleanPath(Parent);
    struct stat info {};
    if (lstat(QFile::encodeName(parent).constData(), &info) != 0 || !IsClosedFolderOfOurs(info))
        return QString();
    const QString folder = parent + QStringLiteral("/lumidor");
    return MakePrivateFolder(folder) ? folder : QString();
}

QString PrivateRuntimeFolder(const QString& RunUserRoot, const QString& TempRoot)
{
    // Never $XDG_RUNTIME_DIR or $TMPDIR: a start from a stripped environment
    // would look elsewhere and run as a second instance.
    if (QDir::isAbsolutePath(RunUserRoot)) {
        const QString own = PrivateFolderIn(QDir::cleanPath(RunUserRoot) + QLatin1Char('/') + QString::number(geteuid()));
        if (!own.isEmpty())
            return own;
    }
    const QString uid = QString::number(geteuid());
    const QString folder = QDir::cleanPath(TempRoot) + QStringLiteral("/lumidor-") + uid;
    return MakePrivateFolder(folder) ? folder : QString();
}

QString RuntimeFolder()
{
    if (!FolderForTesting().isEmpty())
        return FolderForTesting();
    return PrivateRuntimeFolder(QStringLiteral("/run/user"), QStringLiteral("/tmp"));
}

void SetRuntimeFolderForTesting(const QString& Folder)
{
    FolderForTesting() = Folder;
}

} // namespace InstanceLock
