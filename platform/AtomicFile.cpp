#include "platform/AtomicFile.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemReason(int Error)
{
    return QString::fromLocal8Bit(std::strerror(Error));
}

bool WriteAll(int Fd, const QByteArray& Content)
{
    const char* Data = Content.constData();
    qsizetype Left = Content.size();
    while (Left > 0) {
        const ssize_t Written = ::write(Fd, Data, static_cast<size_t>(Left));
        if (Written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        Data += Written;
        Left -= Written;
    }
    return true;
}

// The folder must be synced too, or the rename itself may be lost on a crash.
mode_t CurrentUmask()
{
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    return Mask;
}

} // namespace

namespace AtomicFile {

bool Write(const QString& FileName, const QByteArray& Content, QString* ErrorText)
{
    // Renaming over a symbolic link would replace the link, not its target.
    QFileInfo Info(FileName);
    const QString Target = Info.isSymLink() && Info.exists() ? Info.canonicalFilePath() : FileName;
    const QFileInfo TargetInfo(Target);
    const QByteArray TargetPath = QFile::encodeName(Target);

    struct stat Old;
    const mode_t Mode = ::stat(TargetPath.constData(), &Old) == 0 ? (Old.st_mode & 07777)
                                                                  : (0666 & ~CurrentUmask());
    const QString Temporary = WriteTemporary(
        TargetInfo.absolutePath() + QLatin1Char('/') + QLatin1Char('.') + TargetInfo.fileName() + QStringLiteral(".tmp-"),
        Content, Mode, ErrorText);
    if (Temporary.isEmpty())
        return false;
    const QByteArray NativeTemporary = QFile::encodeName(Temporary);
    if (::rename(NativeTemporary.constData(), TargetPath.constData()) != 0) {
        const int Error = errno;
        (void)::unlink(NativeTemporary.constData());
        if (ErrorText)
            *ErrorText = SystemReason(Error);
        return false;
    }
    SyncFolder(TargetInfo.absolutePath());
    return true;
}

QString WriteTemporary(const QString& Prefix, const QByteArray& Content, mode_t Mode, QString* ErrorText)
{
    QByteArray Template = QFile::encodeName(Prefix + QStringLiteral("XXXXXX"));
    const int Fd = ::mkostemp(Template.data(), O_CLOEXEC);
    if (Fd < 0) {
        if (ErrorText)
            *ErrorText = SystemReason(errno);
        return {};
    }
    bool Ok = ::fchmod(Fd, Mode) == 0 && WriteAll(Fd, Content) && ::fsync(Fd) == 0;
    int Error = Ok ? 0 : errno;
    if (::close(Fd) != 0 && Ok) {
        Ok = false;
        Error = errno;
    }
    if (!Ok) {
        (void)::unlink(Template.constData());
        if (ErrorText)
            *ErrorText = SystemReason(Error);
        return {};
    }
    return QFile::decodeName(Template);
}

void SyncFolder(const QString& Folder)
{
    const int Fd = ::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (Fd < 0)
        return;
    (void)::fsync(Fd);
    ::close(Fd);
}

} // namespace AtomicFile
