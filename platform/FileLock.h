#pragma once

#include <QString>

#include <sys/types.h>

// An flock lock on a file, released when the object goes. Locks belong to an
// open file, not to a process: two opens of one file in one process exclude
// each other as two processes do, and the kernel drops a lock when the last
// descriptor of its open file closes, however the process ends.
class TFileLock
{
public:
    enum TKind { Shared, Exclusive };
    enum TWait { Wait, NoWait };

    TFileLock() = default;
    ~TFileLock();
    TFileLock(TFileLock&& Other) noexcept;
    TFileLock& operator=(TFileLock&& Other) noexcept;
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // Opens Path with Flags plus O_CLOEXEC (Mode for a file that O_CREAT
    // makes), giving up any file held before. False with Error() set.
    bool Open(const QString& Path, int Flags, mode_t Mode = 0600);
    // Uses a descriptor that someone else opened and closes; Release then
    // unlocks it and leaves it open.
    void Borrow(int Fd);
    // Locks the file; a signal that interrupts the call does not end it.
    // False with Error() set: EWOULDBLOCK when NoWait found another holder.
    bool Lock(TKind Kind, TWait Wait);
    // Drops the lock and closes a file of our own.
    void Release();

    bool IsOpen() const { return FFd >= 0; }
    bool Held() const { return FHeld; }
    int Handle() const { return FFd; }
    // The errno of the last Open or Lock that failed.
    int Error() const { return FError; }

private:
    int FFd = -1;
    bool FOwned = false;
    bool FHeld = false;
    int FError = 0;
};
