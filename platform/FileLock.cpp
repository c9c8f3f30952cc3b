#include "platform/FileLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

TFileLock::~TFileLock()
{
    Release();
}

TFileLock::TFileLock(TFileLock&& Other) noexcept
    : FFd(std::exchange(Other.FFd, -1))
    , FOwned(std::exchange(Other.FOwned, false))
    , FHeld(std::exchange(Other.FHeld, false))
    , FError(Other.FError)
{
}

TFileLock& TFileLock::operator=(TFileLock&& Other) noexcept
{
    if (this != &Other) {
        Release();
        FFd = std::exchange(Other.FFd, -1);
        FOwned = std::exchange(Other.FOwned, false);
        FHeld = std::exchange(Other.FHeld, false);
        FError = Other.FError;
    }
    return *this;
}

bool TFileLock::Open(const QString& Path, int Flags, mode_t Mode)
{
    Release();
    int Fd;
    do
        Fd = ::open(QFile::encodeName(Path).constData(), Flags | O_CLOEXEC, Mode);
    while (Fd < 0 && errno == EINTR);
    if (Fd < 0) {
        FError = errno;
        return false;
    }
    FFd = Fd;
    FOwned = true;
    return true;
}

void TFileLock::Borrow(int Fd)
{
    Release();
    FFd = Fd;
}

bool TFileLock::Lock(TKind Kind, TWait Wait)
{
    if (FFd < 0) {
        FError = EBADF;
        return false;
    }
    const int Operation = (Kind == Exclusive ? LOCK_EX : LOCK_SH) | (Wait == NoWait ? LOCK_NB : 0);
    int Result;
    do
        Result = ::flock(FFd, Operation);
    while (Result != 0 && errno == EINTR);
    if (Result != 0) {
        FError = errno;
        return false;
    }
    FHeld = true;
    return true;
}

void TFileLock::Release()
{
    if (FFd < 0)
        return;
    if (FOwned)
        (void)::close(FFd);
    else if (FHeld)
        (void)::flock(FFd, LOCK_UN);
    FFd = -1;
    FOwned = false;
    FHeld = false;
}
