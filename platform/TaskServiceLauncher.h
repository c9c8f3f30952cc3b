#pragma once

#include <QString>

#include "platform/FileLock.h"

// The task service holds "<store>/.service.lock" (flock, exclusive) for its
// whole life; the kernel drops it when the process ends, however it ends.
// One service per store: a second one sees the lock and leaves.

// Whether a task service holds the lock of the store in StoreDir.
bool TaskServiceRunning(const QString& StoreDir);

// Starts the task service on StoreDir unless one holds its lock: the service
// program beside the running one, detached (own session, no shell, no wait,
// none of the caller's files). True when a service runs or was started.
bool StartTaskService(const QString& StoreDir);

// lumidor-taskd in the folder of the running program (or the one set for tests).
QString TaskServiceProgram();
// Tests point the launcher at a stand-in; an empty text restores the default.
void SetTaskServiceProgramForTesting(const QString& Program);

QString TaskServiceLockPath(const QString& StoreDir);

// The service's side: takes the lock without waiting and keeps it while the
// object lives.
class TTaskServiceLock
{
public:
    explicit TTaskServiceLock(const QString& StoreDir);
    ~TTaskServiceLock();
    TTaskServiceLock(const TTaskServiceLock&) = delete;
    TTaskServiceLock& operator=(const TTaskServiceLock&) = delete;

    bool Held() const { return FLock.Held(); }
    // Another process holds it (as opposed to a failure to open the file).
    bool HeldByAnother() const { return FHeldByAnother; }
    QString ErrorText() const { return FErrorText; }

private:
    TFileLock FLock;
    bool FHeldByAnother = false;
    QString FErrorText;
};
