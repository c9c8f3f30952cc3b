#include "tools/ShutdownRecord.h"

#include "platform/AtomicFile.h"
#include "platform/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ShutdownRecord {

QString FilePath()
{
    const QString Runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString Folder = Runtime.isEmpty() ? InstanceLock::RuntimeFolder() : Runtime + QStringLiteral("/lumidor");
    return Folder.isEmpty() ? QString() : Folder + QStringLiteral("/shutdown-schedule");
}

TScheduledShutdown Read()
{
    QFile File(FilePath());
    if (File.fileName().isEmpty() || !File.open(QIODevice::ReadOnly))
        return {};
    // "<type> <microseconds>"; anything else is no record.
    const QStringList Words = QString::fromUtf8(File.read(256)).simplified().split(QLatin1Char(' '));
    bool Ok = false;
    const qulonglong Usec = Words.size() == 2 ? Words.at(1).toULongLong(&Ok) : 0;
    if (!Ok || (Words.at(0) != QLatin1String("poweroff") && Words.at(0) != QLatin1String("reboot")))
        return {};
    return {Words.at(0), Usec};
}

bool Write(const TScheduledShutdown& Schedule)
{
    const QString File = FilePath();
    if (File.isEmpty() || !QDir().mkpath(QFileInfo(File).path()))
        return false;
    const QString Line = Schedule.Type + QLatin1Char(' ') + QString::number(Schedule.Usec) + QLatin1Char('\n');
    return AtomicFile::Write(File, Line.toUtf8());
}

void Remove()
{
    const QString File = FilePath();
    if (!File.isEmpty())
        (void)QFile::remove(File);
}

bool IsOwn(const TScheduledShutdown& Logind)
{
    return !Logind.IsEmpty() && Logind == Read();
}

} // namespace ShutdownRecord
