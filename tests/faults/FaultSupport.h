#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

// Ways to make the disk say no, for a test that runs as root: permission bits
// do not stop root, so the faults are made with what does.
namespace Faults {

// Mounts made by the tests stay inside this process when it may have a
// mount namespace of its own; otherwise they are undone by the test itself.
inline void PrivateMounts()
{
    static const bool Done = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return false;
        return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    (void)Done;
}

// A tmpfs of a fixed size on a folder: a disk that fills up.
class TSmallDisk
{
public:
    TSmallDisk(const QString& Folder, int KiB) : FFolder(Folder)
    {
        PrivateMounts();
        QDir().mkpath(Folder);
        const QByteArray Options = QByteArray("size=") + QByteArray::number(KiB) + "k,mode=0700";
        FMounted = ::mount("tmpfs", Native(), "tmpfs", MS_NOSUID | MS_NODEV, Options.constData()) == 0;
        FError = errno;
    }
    ~TSmallDisk()
    {
        if (FMounted)
            (void)::umount2(Native(), MNT_DETACH);
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool Mounted() const { return FMounted; }
    QString Why() const { return QStringLiteral("cannot mount a tmpfs here (%1)").arg(QString::fromLocal8Bit(strerror(FError))); }

    // Takes every free block; Free gives them back.
    void Fill()
    {
        const QByteArray Path = QFile::encodeName(FFolder + QStringLiteral("/filler"));
        const int Fd = ::open(Path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (Fd < 0)
            return;
        const QByteArray Block(4096, 'x');
        while (::write(Fd, Block.constData(), size_t(Block.size())) > 0) {
        }
        while (::write(Fd, "x", 1) > 0) {
        }
        ::close(Fd);
    }
    void Free() { QFile::remove(FFolder + QStringLiteral("/filler")); }

    bool SetReadOnly(bool ReadOnly)
    {
        const unsigned long Flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (ReadOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", Native(), "tmpfs", Flags, nullptr) == 0;
    }

private:
    const char* Native() const
    {
        FNative = QFile::encodeName(FFolder);
        return FNative.constData();
    }

    QString FFolder;
    mutable QByteArray FNative;
    bool FMounted = false;
    int FError = 0;
};

// While it lives, the calling thread lacks the capabilities that let root
// read and write past permission bits, so that mode 000 and 0500 mean what
// they say. Only the effective set changes: the destructor takes them back.
class TNoDacOverride
{
public:
    TNoDacOverride()
    {
        FHeader.version = _LINUX_CAPABILITY_VERSION_3;
        FHeader.pid = 0;
        if (::syscall(SYS_capget, &FHeader, FSaved) != 0)
            return;
        __user_cap_data_struct Reduced[2] = {FSaved[0], FSaved[1]};
        for (int Cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            Reduced[Cap / 32].effective &= ~(1u << (Cap % 32));
        FActive = ::syscall(SYS_capset, &FHeader, Reduced) == 0;
    }
    ~TNoDacOverride()
    {
        if (FActive)
            (void)::syscall(SYS_capset, &FHeader, FSaved);
    }
    TNoDacOverride(const TNoDacOverride&) = delete;
    TNoDacOverride& operator=(const TNoDacOverride&) = delete;

    // True also for a user without those capabilities in the first place.
    bool Active() const { return FActive || ::geteuid() != 0; }

private:
    __user_cap_header_struct FHeader{};
    __user_cap_data_struct FSaved[2]{};
    bool FActive = false;
};

// chattr +i / -i; false where the file system has no such flag.
inline bool SetImmutable(const QString& Path, bool Immutable)
{
    const int Fd = ::open(QFile::encodeName(Path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (Fd < 0)
        return false;
    int Flags = 0;
    bool Ok = ::ioctl(Fd, FS_IOC_GETFLAGS, &Flags) == 0;
    if (Ok) {
        Flags = Immutable ? (Flags | FS_IMMUTABLE_FL) : (Flags & ~FS_IMMUTABLE_FL);
        Ok = ::ioctl(Fd, FS_IOC_SETFLAGS, &Flags) == 0;
    }
    ::close(Fd);
    return Ok;
}

inline QByteArray ReadAll(const QString& Path)
{
    QFile F(Path);
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

// Names in a folder other than the expected ones: leftovers of a failed write.
inline QStringList Leftovers(const QString& Folder, const QStringList& Expected)
{
    QStringList Out;
    for (const QString& Name : QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (!Expected.contains(Name))
            Out += Name;
    return Out;
}

} // namespace Faults
