#pragma once

#include <QString>

#include "platform/FileLock.h"

// The task service holds "<store>/.service.lock" (flock, exclusive) for its
// whole life; the kernel drops it when the process ends, however it ends.
// One service per store: a second one sees the lock and leaves.

// Whether a task service holds the lock of the store in StoreDir.
bool TaskServiceRunning(const QString& StoreDir);

// Starts the task service on StoreDir unless one holds its lock, so that it
// never keeps the caller's terminal, pipes or session. For the user's own
// store, the user unit of the package through the systemd user manager on
// the session bus, when there is one and the unit takes the store's lock in
// time; otherwise the service program beside the running one, detached (own
// session, no shell, no wait, standard streams on /dev/null, its log in
// TaskServiceLogPath()). True when a service runs or was started.
bool StartTaskService(const QString& StoreDir);

// The user unit that StartTaskService asks the user manager for.
inline constexpr char TaskServiceUnit[] = "lumidor-taskd.service";
// The log of a service started without the user manager (whose journal
// keeps its log otherwise): lumidor-taskd.log in the user's state folder,
// moved to lumidor-taskd.log.old at a start once it is larger than 1 MiB.
QString TaskServiceLogPath();

// While one lives, StartTaskService starts nothing: for readers that must
// leave everything as they found it.
class TNoTaskServiceStart
{
public:
    TNoTaskServiceStart();
    ~TNoTaskServiceStart();
    TNoTaskServiceStart(const TNoTaskServiceStart&) = delete;
    TNoTaskServiceStart& operator=(const TNoTaskServiceStart&) = delete;
};

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
