#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/FileLock.h"

class QLocalServer;
class QLocalSocket;

// What a later start hands to the first so that the desktop lets it come to
// the front: the compositor's activation token on Wayland, the startup
// notification id on X11. Either may be empty.
struct TActivation
{
    QByteArray XdgActivationToken;
    QByteArray DesktopStartupId;

    // This process's own, from $XDG_ACTIVATION_TOKEN and $DESKTOP_STARTUP_ID;
    // a value that could not travel on one line is left out.
    static TActivation FromEnvironment();
    // The X server time of the user's action that the startup id carries
    // ("..._TIME<n>"), or 0.
    quint32 StartupTime() const;
};

// One running instance per name among the processes of one user: a lock file
// held with flock for the life of the process (the kernel drops it when the
// process dies, however it dies) and a local socket beside it on which the
// holder listens for wake-ups. Both live in the user's private runtime folder.
class TInstanceLock : public QObject
{
    Q_OBJECT

public:
    enum TState { Failed, First, Running };

    explicit TInstanceLock(const QString& Name, QObject* Parent = nullptr);
    ~TInstanceLock() override;

    // Takes the lock and opens the wake-up channel. First: this object holds
    // both until it is destroyed. Running: another process holds the lock.
    // Failed: neither could be set up; nothing is held.
    TState Acquire();

    // Asks the holder of the lock to come forward, handing it Activation.
    // Gives the holder up to TimeoutMs to open its channel; false when
    // nobody took the message. Needs no event loop and may run before any
    // application object exists.
    bool SendWakeUp(int TimeoutMs = 500, const TActivation& Activation = {}) const;

    QString LockFilePath() const;
    QString ChannelPath() const;

signals:
    // A later instance sent its wake-up; delivered by the event loop.
    void WakeUp(const TActivation& Activation);

private:
    struct TIncoming;

    void AcceptConnections();
    void ReadMessage(QLocalSocket* Socket, TIncoming& Incoming, bool Ended);
    void EndMessage(QLocalSocket* Socket, TIncoming& Incoming, bool Accepted);

    QString FName;
    QString FFolder;
    QString FBaseName;
    TFileLock FLock;
    QLocalServer* FServer = nullptr;
};

namespace InstanceLock {

// The folder for the lock and channel, one per user whatever the environment
// of a start says: <RunUserRoot>/<uid>/lumidor when <RunUserRoot>/<uid> is a
// folder owned by this user and closed to others (the runtime folder logind
// makes), otherwise <TempRoot>/lumidor-<uid>. The folder is created with mode
// 0700 and checked to be ours and no symbolic link; empty when no such folder
// can be had.
QString PrivateRuntimeFolder(const QString& RunUserRoot, const QString& TempRoot);

// The same for this process: /run/user and /tmp, or the folder set for tests.
QString RuntimeFolder();

// <Parent>/lumidor made and checked as above, for a parent the caller names
// (such as $XDG_RUNTIME_DIR): empty when Parent is no absolute folder of ours
// closed to others, or the folder cannot be had.
QString PrivateFolderIn(const QString& Parent);

// Tests keep their locks in a folder of their own; empty restores the real one.
void SetRuntimeFolderForTesting(const QString& Folder);

} // namespace InstanceLock
