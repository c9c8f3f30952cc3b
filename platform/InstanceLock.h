#pragma once

#include <QObject>
#include <QString>

#include "platform/FileLock.h"

class QLocalServer;
class QLocalSocket;

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

    // Asks the holder of the lock to come forward. Gives the holder up to
    // TimeoutMs to open its channel; false when nobody took the message.
    // Needs no event loop and may run before any application object exists.
    bool SendWakeUp(int TimeoutMs = 500) const;

    QString LockFilePath() const;
    QString ChannelPath() const;

signals:
    // A later instance sent its wake-up; delivered by the event loop.
    void WakeUp();

private:
    void AcceptConnections();
    void ReadMessage(QLocalSocket* Socket);

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

// Tests keep their locks in a folder of their own; empty restores the real one.
void SetRuntimeFolderForTesting(const QString& Folder);

} // namespace InstanceLock
